// Page store speed: the splay coder next to zlib level 1 on the same buffers, and FetchPage in a
// 100,000-page file.
//
//   build/release/bench/bench_pagestore --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//       --benchmark_enable_random_interleaving=true

#include "pagestore/Compress.h"
#include "pagestore/PageList.h"
#include "platform/system/File.h"
#include "tests/TestPaths.h"
#include "tools/SamplePages.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

using namespace pagimo;
using namespace pagimo::pagestore;

namespace {

constexpr size_t DataSize = 1 << 20;

// Report pages as the recorder writes them: concatenated EMF pages of text lines, rules and boxes.
std::vector<uint8_t> EmfPages() {
    std::vector<uint8_t> out;
    for (int page = 1; out.size() < DataSize; ++page) {
        const auto bytes = tools::TSamplePageWriter::Page(page, 10 + page % 30, 7);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    out.resize(DataSize);
    return out;
}

// Real metafiles from other programs, when the shared corpus lies beside the checkout (found as the
// tests find it).
std::vector<uint8_t> CorpusEmf() {
    std::vector<uint8_t> out;
    const std::filesystem::path corpus = test::CorpusDir();
    if (corpus.empty()) return out;
    const std::filesystem::path dir = corpus / "emf";
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir, ec)) {
        const auto ext = e.path().extension().string();
        if ((ext == ".emf" || ext == ".EMF") && e.path().string().find("corrupted") == std::string::npos) {
            files.push_back(e.path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        out.insert(out.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (out.size() >= 4 * DataSize) break;
    }
    if (out.size() > 4 * DataSize) out.resize(4 * DataSize);
    return out;
}

std::vector<uint8_t> Text() {
    static const char* const Words[] = {"the",    "report",  "page",  "of",       "total", "amount", "and",
                                        "in",     "invoice", "for",   "customer", "date",  "to",     "is",
                                        "number", "with",    "order", "payment",  "a",     "balance"};
    std::mt19937 rng(3);
    std::string text;
    while (text.size() < DataSize) {
        text += Words[rng() % 20];
        text += rng() % 12 == 0 ? ".\n" : " ";
    }
    return {text.begin(), text.begin() + DataSize};
}

std::vector<uint8_t> RandomBytes() {
    std::mt19937 rng(5);
    std::vector<uint8_t> v(DataSize);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng() >> 24);
    return v;
}

const std::vector<uint8_t>& Data(int kind) {
    static const std::vector<uint8_t> sets[] = {EmfPages(), Text(), RandomBytes(), CorpusEmf()};
    return sets[kind];
}

const char* const KindNames[] = {"emf_pages", "text", "random", "emf_corpus"};

void SplayEncodeBench(benchmark::State& state) {
    const auto& data = Data(static_cast<int>(state.range(0)));
    if (data.empty()) return state.SkipWithError("no data (the shared corpus is absent)");
    size_t codeSize = 0;
    for (auto _ : state) {
        TSplayEncoder encoder;
        encoder.Encode(data);
        encoder.Finish();
        codeSize = encoder.Output().size();
        benchmark::DoNotOptimize(codeSize);
    }
    state.SetLabel(KindNames[state.range(0)]);
    state.counters["ratio"] = static_cast<double>(codeSize) / static_cast<double>(data.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void SplayDecodeBench(benchmark::State& state) {
    const auto& data = Data(static_cast<int>(state.range(0)));
    if (data.empty()) return state.SkipWithError("no data (the shared corpus is absent)");
    const auto code = SplayEncode(data);
    std::vector<uint8_t> out(data.size());
    for (auto _ : state) {
        SplayDecode(code, out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    if (out != data) state.SkipWithError("round trip failed");
    state.SetLabel(KindNames[state.range(0)]);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void ZlibCompressBench(benchmark::State& state) {
    const auto& data = Data(static_cast<int>(state.range(0)));
    if (data.empty()) return state.SkipWithError("no data (the shared corpus is absent)");
    std::vector<uint8_t> out(compressBound(data.size()));
    uLongf outSize = 0;
    for (auto _ : state) {
        outSize = out.size();
        compress2(out.data(), &outSize, data.data(), data.size(), 1);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(KindNames[state.range(0)]);
    state.counters["ratio"] = static_cast<double>(outSize) / static_cast<double>(data.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void ZlibUncompressBench(benchmark::State& state) {
    const auto& data = Data(static_cast<int>(state.range(0)));
    if (data.empty()) return state.SkipWithError("no data (the shared corpus is absent)");
    std::vector<uint8_t> packed(compressBound(data.size()));
    uLongf packedSize = packed.size();
    compress2(packed.data(), &packedSize, data.data(), data.size(), 1);
    std::vector<uint8_t> out(data.size());
    for (auto _ : state) {
        uLongf outSize = out.size();
        uncompress(out.data(), &outSize, packed.data(), packedSize);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(KindNames[state.range(0)]);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

BENCHMARK(SplayEncodeBench)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(ZlibCompressBench)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(SplayDecodeBench)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(ZlibUncompressBench)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// A 100,000-page QRP file of small pages (plain or splay-coded), written once per process.
constexpr int32_t FilePages = 100000;

const std::string& PagesFile(bool compressed) {
    static std::string names[2];
    std::string& name = names[compressed];
    if (name.empty()) {
        name = TempDirectory() + "/bench-pages-" + std::to_string(::getpid()) + (compressed ? "-z" : "") + ".qrp";
        TQRPageList list;
        list.SetPageStream(std::make_shared<TQRStream>(100000));
        list.SetCompressed(compressed);
        for (int32_t n = 1; n <= FilePages; ++n)
            list.StorePage(tools::TSamplePageWriter::Picture(n, 1 + n % 3));
        list.CloseRecording();
        list.CopyToFile(name);
        std::atexit([] {
            for (auto& n : names) {
                if (!n.empty()) std::filesystem::remove(n);
            }
        });
    }
    return name;
}

enum { fpFirst, fpLast, fpMiddle, fpRandom };
const char* const PlaceNames[] = {"first", "last", "middle", "random"};

void FetchPageBench(benchmark::State& state) {
    const auto place = static_cast<int>(state.range(0));
    const bool compressed = state.range(1) != 0;
    TQRPageList list;
    list.OpenFile(PagesFile(compressed));
    // Warm: the page index is complete and the file is in the page cache.
    for (int32_t n = 1; n <= FilePages; n += 997)
        list.FetchPage(n);
    list.FetchPage(FilePages - 1);
    std::mt19937 rng(11);
    for (auto _ : state) {
        int32_t n = 1;
        switch (place) {
        case fpFirst:
            n = 1;
            break;
        case fpLast:
            n = FilePages;
            break;
        case fpMiddle:
            n = FilePages / 2;
            break;
        default:
            n = 1 + static_cast<int32_t>(rng() % FilePages);
            break;
        }
        auto picture = list.FetchPage(n);
        benchmark::DoNotOptimize(picture.get());
    }
    state.SetLabel(std::string(PlaceNames[place]) + (compressed ? " splay-coded" : " plain"));
}

// The first jump to the middle of a freshly opened file: the index is built by walking half the chain.
void FirstJumpBench(benchmark::State& state) {
    const auto& name = PagesFile(false);
    for (auto _ : state) {
        TQRPageList list;
        list.OpenFile(name);
        auto picture = list.FetchPage(FilePages / 2);
        benchmark::DoNotOptimize(picture.get());
    }
}

BENCHMARK(FetchPageBench)->ArgsProduct({{fpFirst, fpLast, fpMiddle, fpRandom}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(FirstJumpBench)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
