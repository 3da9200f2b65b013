// Opened files, measured in the same run on one 1,000-page text-heavy file (qrptool sample):
//   BM_QrptoolExportCsv / BM_QrptoolExportPdf - `qrptool export FILE OUT.csv|OUT.pdf`, whole process;
//   BM_QrptoolConvert                         - `qrptool convert FILE OUT.pdf`, whole process, the baseline;
//   BM_InfoReadPages  - what qrptool info did per page before it checked pages: the record and the body;
//   BM_InfoCheckPages - what it does now: the chain walked, the body decoded and its records walked.
//   BM_QrptoolJobs/command/jobs - `qrptool convert|text|info|export ... -j N` on a 10,000-page splay-coded
//                     file, whole process, -j 1 against -j 2 (the workers decode and check pages; the output
//                     is the same bytes whatever N);
// All report pages per second ("pages_per_s"); plain and splay-coded files for the info pair.
//
// Run with: bench_opened --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "pagestore/PageList.h"
#include "tools/SamplePages.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace pagimo;
namespace fs = std::filesystem;

namespace {

constexpr int Pages = 1000;

fs::path WorkDir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("pagimo-bench-opened-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

int Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const fs::path& SampleFile(bool compressed) {
    static const fs::path plain = [] {
        const fs::path f = WorkDir() / "plain.qrp";
        Run({QRPTOOL_PATH, "sample", f.string(), "--pages", std::to_string(Pages)});
        return f;
    }();
    static const fs::path coded = [] {
        const fs::path f = WorkDir() / "coded.qrp";
        Run({QRPTOOL_PATH, "sample", f.string(), "--pages", std::to_string(Pages), "--compress"});
        return f;
    }();
    return compressed ? coded : plain;
}

void Process(benchmark::State& state, const std::vector<std::string>& args) {
    for (auto _ : state) {
        if (Run(args) != 0) state.SkipWithError("qrptool failed");
    }
    state.counters["pages_per_s"] = benchmark::Counter(
        static_cast<double>(Pages) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_QrptoolExportCsv(benchmark::State& state) {
    Process(state, {QRPTOOL_PATH, "export", SampleFile(false).string(), (WorkDir() / "out.csv").string()});
}
void BM_QrptoolExportPdf(benchmark::State& state) {
    Process(state, {QRPTOOL_PATH, "export", SampleFile(false).string(), (WorkDir() / "out.pdf").string()});
}
void BM_QrptoolConvert(benchmark::State& state) {
    Process(state, {QRPTOOL_PATH, "convert", SampleFile(false).string(), (WorkDir() / "convert.pdf").string()});
}

const fs::path& LargeCodedFile() {
    static const fs::path coded = [] {
        const fs::path f = WorkDir() / "coded-10000.qrp";
        Run({QRPTOOL_PATH, "sample", f.string(), "--pages", "10000", "--compress"});
        return f;
    }();
    return coded;
}

void BM_QrptoolJobs(benchmark::State& state) {
    static const char* const names[] = {"convert", "text", "info", "export"};
    const std::string command = names[state.range(0)], jobs = std::to_string(state.range(1));
    const std::string file = LargeCodedFile().string(), out = (WorkDir() / "jobs-out").string();
    std::vector<std::string> args = {QRPTOOL_PATH, command, file};
    if (command == "convert") args.push_back(out + ".pdf");
    if (command == "text") args.insert(args.end(), {"-o", out + ".txt"});
    if (command == "export") args.push_back(out + ".csv");
    args.insert(args.end(), {"-j", jobs});
    state.SetLabel(command + " -j " + jobs);
    for (auto _ : state) {
        if (Run(args) != 0) state.SkipWithError("qrptool failed");
    }
    state.counters["pages_per_s"] =
        benchmark::Counter(10000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Each iteration opens the file afresh, as a run of qrptool info does.
void BM_InfoReadPages(benchmark::State& state) {
    const fs::path& file = SampleFile(state.range(0) != 0);
    size_t bytes = 0;
    for (auto _ : state) {
        pagestore::TQRPageList list;
        list.OpenFile(file.string());
        for (int32_t n = 1; n <= list.NumPages(); ++n) {
            benchmark::DoNotOptimize(list.PageRecord(n));
            bytes += list.FetchPage(n)->Bytes().size();
        }
    }
    benchmark::DoNotOptimize(bytes);
    state.counters["pages_per_s"] = benchmark::Counter(
        static_cast<double>(Pages) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_InfoCheckPages(benchmark::State& state) {
    const fs::path& file = SampleFile(state.range(0) != 0);
    std::string reason;
    size_t bytes = 0;
    for (auto _ : state) {
        pagestore::TQRPageList list;
        list.OpenFile(file.string());
        const int32_t reachable = list.ReachablePages(&reason);
        for (int32_t n = 1; n <= reachable; ++n) {
            benchmark::DoNotOptimize(list.PageRecord(n));
            if (auto picture = list.CheckedPage(n, reason)) bytes += picture->Bytes().size();
        }
    }
    benchmark::DoNotOptimize(bytes);
    state.counters["pages_per_s"] = benchmark::Counter(
        static_cast<double>(Pages) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_QrptoolExportCsv)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QrptoolExportPdf)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QrptoolConvert)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QrptoolJobs)
    ->ArgsProduct({{0, 1, 2, 3}, {1, 2}})
    ->ArgNames({"command", "jobs"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_InfoReadPages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoCheckPages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
