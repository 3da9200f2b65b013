#pragma once
// Pages decoded ahead on worker threads: splay decoding and the checks of a QRP file's pages are
// independent page by page, so whole-file commands read them on a small pool while the calling thread
// draws or writes them in page order. The output is the same as with one thread.

#include "tools/CommandLine.h"
#include "tools/PageSource.h"

#include <condition_variable>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pagimo::tools {

// -j N / --jobs N: worker threads for decoding; default the number of cores (at least 1, at most 16).
int JobsOption(TArgs& args);

// The pages of document (opened from path) with pages first..last decoded ahead on jobs threads, each
// with a file handle of its own, at most a few pages per thread ahead of the reader; asking for them
// in that order is then served from the workers, any other page as by document itself. With one job
// or one page, document is returned as it is.
std::unique_ptr<pagestore::TPageDocument> Prefetch(std::unique_ptr<pagestore::TPageDocument> document,
                                                   const std::string& path, int jobs, int first, int last);

// Work on pages first..last shared by jobs threads, its results taken in page order: each thread opens
// path for itself and takes the next batch of pages, at most a few batches ahead of the reader, and
// produce(document, n) makes page n's result there; consume(n, result) runs on the calling thread,
// page after page in order, so whatever it writes is the same whatever the number of threads. An
// exception from produce reaches the caller at its page, as it would without threads. With one job,
// or one page, both run on the calling thread on document.
template <class T>
void InPageOrder(pagestore::TPageDocument& document, const std::string& path, int jobs, int first, int last,
                 const std::function<T(pagestore::TPageDocument&, int)>& produce,
                 const std::function<void(int, T&&)>& consume) {
    if (jobs <= 1 || last <= first) {
        for (int n = first; n <= last; ++n)
            consume(n, produce(document, n));
        return;
    }
    // Batches amortise the hand-over for pages that take microseconds (info, text of short pages).
    constexpr int BatchPages = 16;
    struct TBatch {
        std::vector<T> Results;
        std::exception_ptr Error; // produce failed at the page after the results
    };
    const int batches = (last - first) / BatchPages + 1;
    const int window = jobs * 3;
    std::mutex lock;
    std::condition_variable changed;
    std::map<int, TBatch> done;
    int next = 0, reading = 0;
    bool stop = false;
    const auto work = [&] {
        std::unique_ptr<pagestore::TPageDocument> own;
        std::exception_ptr openError;
        try {
            own = OpenDocument(path);
        } catch (...) {
            openError = std::current_exception();
        }
        for (;;) {
            int b = 0;
            {
                std::unique_lock guard(lock);
                changed.wait(guard, [&] { return stop || next >= batches || next < reading + window; });
                if (stop || next >= batches) return;
                b = next++;
            }
            TBatch batch;
            const int from = first + b * BatchPages, to = std::min(last, from + BatchPages - 1);
            batch.Results.reserve(static_cast<size_t>(to - from + 1));
            for (int n = from; n <= to; ++n) {
                try {
                    if (openError) std::rethrow_exception(openError);
                    batch.Results.push_back(produce(*own, n));
                } catch (...) {
                    batch.Error = std::current_exception();
                    break;
                }
            }
            {
                std::lock_guard guard(lock);
                done.emplace(b, std::move(batch));
            }
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    const auto finish = [&] {
        {
            std::lock_guard guard(lock);
            stop = true;
        }
        changed.notify_all();
        for (auto& t : workers)
            t.join();
    };
    for (int i = 0; i < std::min(jobs, batches); ++i)
        workers.emplace_back(work);
    try {
        for (int b = 0; b < batches; ++b) {
            TBatch batch;
            {
                std::unique_lock guard(lock);
                changed.wait(guard, [&] { return done.count(b) != 0; });
                batch = std::move(done.at(b));
                done.erase(b);
                reading = b + 1;
            }
            changed.notify_all();
            const int from = first + b * BatchPages;
            for (size_t i = 0; i < batch.Results.size(); ++i)
                consume(from + static_cast<int>(i), std::move(batch.Results[i]));
            if (batch.Error) std::rethrow_exception(batch.Error);
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

} // namespace pagimo::tools
