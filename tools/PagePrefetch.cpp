#include "tools/PagePrefetch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace pagimo::tools {

namespace {

class TPrefetchingSource : public TPageSource {
public:
    TPrefetchingSource(std::unique_ptr<TPageSource> main, const std::string& path, int jobs, int first, int last)
        : FMain(std::move(main)), FFirst(first), FLast(last), FWindow(static_cast<size_t>(jobs) * 4),
          FSlots(FWindow), FNext(first), FWanted(first) {
        for (int i = 0; i < jobs; ++i)
            FWorkers.emplace_back([this, path] { Work(path); });
    }
    ~TPrefetchingSource() override {
        {
            std::lock_guard lock(FLock);
            FStop = true;
        }
        FChanged.notify_all();
        for (auto& t : FWorkers)
            t.join();
    }

    int Count() const override { return FMain->Count(); }
    std::string Incomplete(int n) const override { return FMain->Incomplete(n); }

    std::unique_ptr<emf::TEmfPicture> Checked(int n, std::string& reason) override {
        std::unique_lock lock(FLock);
        if (n != FWanted || n < FFirst || n > FLast) {
            lock.unlock();
            return FMain->Checked(n, reason);
        }
        TSlot& slot = FSlots[Index(n)];
        FChanged.wait(lock, [&] { return slot.Page == n; });
        std::unique_ptr<emf::TEmfPicture> picture = std::move(slot.Picture);
        reason = std::move(slot.Reason);
        slot.Page = 0;
        ++FWanted;
        lock.unlock();
        FChanged.notify_all();
        return picture;
    }

private:
    struct TSlot {
        int Page = 0; // the page the slot holds, 0 when empty
        std::unique_ptr<emf::TEmfPicture> Picture;
        std::string Reason;
    };

    size_t Index(int n) const { return static_cast<size_t>(n - FFirst) % FWindow; }

    void Work(const std::string& path) {
        std::unique_ptr<TPageSource> source;
        try {
            source = TPageSource::Open(path);
        } catch (...) {
            // The file opened once already; should it fail now, the pages come from the main source.
        }
        for (;;) {
            int n = 0;
            {
                std::unique_lock lock(FLock);
                // A page is taken only when it is within the window ahead of the reader.
                FChanged.wait(lock, [&] { return FStop || FNext > FLast || FNext < FWanted + static_cast<int>(FWindow); });
                if (FStop || FNext > FLast) return;
                n = FNext++;
            }
            TSlot result;
            result.Page = n;
            if (source) {
                result.Picture = source->Checked(n, result.Reason);
            } else {
                result.Reason = "the file could not be opened again";
            }
            {
                std::lock_guard lock(FLock);
                FSlots[Index(n)] = std::move(result);
            }
            FChanged.notify_all();
            if (!source) return;
        }
    }

    std::unique_ptr<TPageSource> FMain;
    const int FFirst, FLast;
    const size_t FWindow;
    std::vector<TSlot> FSlots;
    std::mutex FLock;
    std::condition_variable FChanged;
    int FNext;   // the next page a worker takes
    int FWanted; // the next page the reader asks for
    bool FStop = false;
    std::vector<std::thread> FWorkers;
};

} // namespace

int JobsOption(TArgs& args) {
    auto value = args.Option("-j");
    if (auto jobs = args.Option("--jobs")) value = jobs;
    if (!value) return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 16);
    const int jobs = ParseInt(*value, "-j");
    if (jobs < 1 || jobs > 64) throw EUsage{"-j takes 1 to 64 threads"};
    return jobs;
}

std::unique_ptr<TPageSource> Prefetch(std::unique_ptr<TPageSource> source, const std::string& path, int jobs,
                                      int first, int last) {
    if (last <= 0 || last > source->Count()) last = source->Count();
    first = std::max(1, first);
    if (jobs <= 1 || last - first < 1) return source;
    return std::make_unique<TPrefetchingSource>(std::move(source), path, jobs, first, last);
}

} // namespace pagimo::tools
