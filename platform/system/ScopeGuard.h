#pragma once
// The one scope guard: runs a function when the scope that holds it is left by any way out, an
// exception included. The function must not throw (it runs from a destructor).
//
//     system::TScopeGuard restore([&] { busy = false; });

#include <utility>

namespace pagimo::system {

template <class F> class [[nodiscard]] TScopeGuard {
public:
    explicit TScopeGuard(F f) : FF(std::move(f)) {}
    ~TScopeGuard() {
        if (FArmed) FF();
    }
    TScopeGuard(const TScopeGuard&) = delete;
    TScopeGuard& operator=(const TScopeGuard&) = delete;

    // The scope was left as planned and the function is not wanted any more.
    void Dismiss() { FArmed = false; }

private:
    F FF;
    bool FArmed = true;
};

} // namespace pagimo::system
