// Form-description reader: any input ends in a component tree or an EQRError, never a crash, and
// whatever is read writes out and reads back to the same text.

#include "engine/FormFuzzRegistry.h"
#include "engine/FormReader.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const pagimo::system::TClassRegistry registry = pagimo::engine::FuzzRegistry();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        auto root = pagimo::engine::ReadForm(text, registry, {"fuzz.form", ""});
        const std::string written = pagimo::engine::WriteForm(*root);
        auto again = pagimo::engine::ReadForm(written, registry, {"fuzz.form", ""});
        if (pagimo::engine::WriteForm(*again) != written) std::abort();
    } catch (const pagimo::EQRError&) {
    }
    return 0;
}
