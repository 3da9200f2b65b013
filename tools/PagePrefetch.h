#pragma once
// Pages decoded ahead on worker threads: splay decoding and the checks of a QRP file's pages are
// independent page by page, so whole-file commands read them on a small pool while the calling thread
// draws or writes them in page order. The output is the same as with one thread.

#include "tools/CommandLine.h"
#include "tools/PageSource.h"

#include <memory>
#include <string>

namespace pagimo::tools {

// -j N / --jobs N: worker threads for decoding; default the number of cores (at least 1, at most 16).
int JobsOption(TArgs& args);

// The pages of document (opened from path) with pages first..last decoded ahead on jobs threads, each
// with a file handle of its own, at most a few pages per thread ahead of the reader; asking for them
// in that order is then served from the workers, any other page as by document itself. With one job
// or one page, document is returned as it is.
std::unique_ptr<pagestore::TPageDocument> Prefetch(std::unique_ptr<pagestore::TPageDocument> document,
                                                   const std::string& path, int jobs, int first, int last);

} // namespace pagimo::tools
