#include "tools/PagePrefetch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace pagimo::tools {

namespace {

class TPrefetchingDocument : public pagestore::TPageDocument {
public:
    TPrefetchingDocument(std::unique_ptr<pagestore::TPageDocument> main, const std::string& path, int jobs, int first,
                         int last)
        : FMain(std::move(main)), FFirst(first), FLast(last), FWindow(static_cast<size_t>(jobs) * 4), FSlots(FWindow),
          FNext(first), FWanted(first) {
        for (int i = 0; i < jobs; ++i)
            FWorkers.emplace_back([this, path] { Work(path); });
    }
    ~TPrefetchingDocument() override {
        {
            std::lock_guard lock(FLock);
            FStop = true;
        }
        FChanged.notify_all();
        for (auto& t : FWorkers)
            t.join();
    }

    int32_t PageCount() override { return FMain->PageCount(); }
    std::optional<pagestore::TPageSheet> Sheet(int32_t n) override { return FMain->Sheet(n); }

    pagestore::TDocumentPage Page(int32_t n) override {
        std::unique_lock lock(FLock);
        if (n != FWanted || n < FFirst || n > FLast) {
            lock.unlock();
            return FMain->Page(n);
        }
        TSlot& slot = FSlots[Index(n)];
        FChanged.wait(lock, [&] { return slot.Page == n; });
        pagestore::TDocumentPage page = std::move(slot.Content);
        slot.Page = 0;
        ++FWanted;
        lock.unlock();
        FChanged.notify_all();
        return page;
    }

private:
    struct TSlot {
        int32_t Page = 0; // the page the slot holds, 0 when empty
        pagestore::TDocumentPage Content;
    };

    size_t Index(int n) const { return static_cast<size_t>(n - FFirst) % FWindow; }

    void Work(const std::string& path) {
        std::unique_ptr<pagestore::TPageDocument> source;
        try {
            source = OpenDocument(path);
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
                result.Content = source->Page(n);
            } else {
                result.Content.State = pagestore::TDocumentPage::dpDamaged;
                result.Content.Problem = "the file could not be opened again";
            }
            {
                std::lock_guard lock(FLock);
                FSlots[Index(n)] = std::move(result);
            }
            FChanged.notify_all();
            if (!source) return;
        }
    }

    std::unique_ptr<pagestore::TPageDocument> FMain;
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

std::unique_ptr<pagestore::TPageDocument> Prefetch(std::unique_ptr<pagestore::TPageDocument> document,
                                                   const std::string& path, int jobs, int first, int last) {
    if (last <= 0 || last > document->PageCount()) last = document->PageCount();
    first = std::max(1, first);
    if (jobs <= 1 || last - first < 1) return document;
    return std::make_unique<TPrefetchingDocument>(std::move(document), path, jobs, first, last);
}

} // namespace pagimo::tools
