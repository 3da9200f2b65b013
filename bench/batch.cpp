// Batches of invoices (examples/invoice-pages.form over the example database grown by
// examples/batch/more-invoices.sql), measured in the same run:
//   BM_BurstPdf/N   - one `qrptool report --burst '[L.number]' -o DIR/{key}.pdf` process over N invoices:
//                     wall time per output and the process's peak resident memory (1,000 and 10,000
//                     invoices: memory must not grow with the outputs);
//   BM_LoopPdf      - the baseline: one `qrptool report --param NUMBER=... -o N.pdf` process per invoice,
//                     a sample of 100 of the 10,000, as a shell loop would run them: time per output;
//   BM_SlurmBurst/T - the repository's job array script (examples/batch/slurm-burst.sh) with T tasks over
//                     40,000 invoices (enough work per task that the scheduler's start of the job and its tasks is not
//                     most of it) on a private one-node Slurm cluster of 2 CPUs
//                     (scripts/slurm-cluster.sh): wall time from submission until the last task ends,
//                     with the shared folder on the disk (tmpfs:0) and in memory (tmpfs:1).
//
// Run with: bench_batch --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
// (the Slurm rows need root and Debian's slurmctld, slurmd, slurm-client and munge; skipped without).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string Source = PAGIMO_SOURCE_DIR;
const std::string Form = Source + "/examples/invoice-pages.form";

const fs::path& WorkDir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("pagimo-bench-batch-" + std::to_string(getpid()));
        fs::create_directories(d);
        fs::permissions(d, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
        return d;
    }();
    return dir;
}

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        ::pclose(pipe);
    }
    return out;
}

// The example database with `invoices` invoices, made once per size.
std::string Database(int invoices) {
    const std::string db = (WorkDir() / ("invoices-" + std::to_string(invoices) + ".db")).string();
    if (!fs::exists(db))
        Shell("(cat " + Source + "/examples/invoices.sql; echo 'CREATE TABLE batch_size AS SELECT " +
              std::to_string(invoices) + " AS invoices;'; cat " + Source +
              "/examples/batch/more-invoices.sql) | sqlite3 " + db);
    return db;
}

std::string Burst(const std::string& db, const fs::path& out) {
    return std::string(QRPTOOL_PATH) + " report " + Form + " --db " + db + " --burst '[L.number]' -o '" +
           (out / "{key}.pdf").string() + "' --quiet";
}

void BM_BurstPdf(benchmark::State& state) {
    const int invoices = static_cast<int>(state.range(0));
    const std::string db = Database(invoices);
    const fs::path out = WorkDir() / "burst", peak = WorkDir() / "peak.txt";
    long kilobytes = 0;
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        if (Shell("/usr/bin/time -f %M -o " + peak.string() + " " + Burst(db, out)) != 0)
            state.SkipWithError("qrptool failed");
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::ifstream(peak) >> kilobytes;
    }
    state.counters["ms_per_output"] =
        1000 * seconds / (static_cast<double>(invoices) * static_cast<double>(state.iterations()));
    state.counters["peak_rss_kB"] = static_cast<double>(kilobytes);
    fs::remove_all(out);
}

void BM_LoopPdf(benchmark::State& state) {
    const int invoices = 10000, sample = 100;
    const std::string db = Database(invoices);
    const fs::path out = WorkDir() / "loop";
    fs::create_directories(out);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (int i = 0; i < sample; ++i) {
            char number[32];
            std::snprintf(number, sizeof number, "2027-%06d", 7 + i * (invoices - 7) / sample);
            const std::string command = std::string(QRPTOOL_PATH) + " report " + Form + " --db " + db +
                                        " --param NUMBER=" + number + " -o " +
                                        (out / (std::string(number) + ".pdf")).string() + " --quiet";
            if (Shell(command) != 0) state.SkipWithError("qrptool failed");
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["ms_per_output"] =
        1000 * seconds / (static_cast<double>(sample) * static_cast<double>(state.iterations()));
    fs::remove_all(out);
}

// A private cluster for the Slurm rows, started on first use and stopped when the program ends.
std::string Cluster(std::string& error) {
    static std::string conf, failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        const std::string dir = (WorkDir() / "cluster").string();
        if (::geteuid() != 0)
            failure = "the private Slurm cluster runs as root";
        else if (Shell(Source + "/scripts/slurm-cluster.sh start " + dir + " 2 >/dev/null 2>&1") != 0)
            failure = "the private Slurm cluster did not start (slurmctld slurmd slurm-client munge installed?)";
        else
            conf = dir + "/slurm.conf";
        std::atexit([] { Shell(Source + "/scripts/slurm-cluster.sh stop " + (WorkDir() / "cluster").string()); });
    }
    error = failure;
    return conf;
}

void BM_SlurmBurst(benchmark::State& state) {
    std::string error;
    const std::string conf = Cluster(error);
    if (conf.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    const int tasks = static_cast<int>(state.range(0));
    const std::string db = Database(40000);
    // The shared folder on this machine's disk, or in memory (tmpfs): on the disk of this virtual
    // machine two processes creating thousands of files side by side slow each other down, as a
    // cluster's shared file system does in its own way; the tmpfs rows show what the tasks
    // themselves scale to.
    const bool memory = state.range(1) != 0;
    const fs::path out =
        memory ? fs::path("/dev/shm") / ("pagimo-bench-shared-" + std::to_string(getpid())) : WorkDir() / "shared";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        state.ResumeTiming();
        // Submitted, then squeue asked ten times a second until no task is left: sbatch --wait polls
        // too seldom to time a job of seconds.
        const std::string job =
            Output("cd " + WorkDir().string() + " && SLURM_CONF=" + conf + " FORM=" + Form + " DB=" + db +
                   " OUT=" + out.string() + " QRPTOOL=" + QRPTOOL_PATH + " sbatch --parsable --array=0-" +
                   std::to_string(tasks - 1) + " " + Source + "/examples/batch/slurm-burst.sh");
        if (job.empty()) {
            state.SkipWithError("sbatch failed");
            return;
        }
        while (!Output("SLURM_CONF=" + conf + " squeue -h -j " + job.substr(0, job.find_first_of(";\n"))).empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (Shell(std::string(QRPTOOL_PATH) + " manifest check " + out.string() + " >/dev/null") != 0)
        state.SkipWithError("the outputs are not all there");
    fs::remove_all(out);
}

} // namespace

BENCHMARK(BM_BurstPdf)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_LoopPdf)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_SlurmBurst)
    ->ArgsProduct({{1, 4}, {0, 1}})
    ->ArgNames({"tasks", "tmpfs"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The cluster's daemons are stopped by the process ids in its folder, before the folder goes.
    Shell(Source + "/scripts/slurm-cluster.sh stop " + (WorkDir() / "cluster").string());
    std::error_code ec;
    fs::remove_all(WorkDir(), ec);
    return 0;
}
