// The repository's Slurm job array script on a real Slurm: a private one-node cluster on the loopback
// (scripts/slurm-cluster.sh, everything in the test's folder), four tasks bursting 2,000 invoices into
// one shared folder, checked against a local run without shards.

#include "QrptoolRun.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using pagimo::test::RunQrptool;

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SlurmBatch, JobArrayEqualsALocalRun) {
    if (::geteuid() != 0) GTEST_SKIP() << "the private cluster runs its daemons as root";
    if (Shell("command -v sbatch >/dev/null && test -x /usr/sbin/slurmctld -a -x /usr/sbin/slurmd -a -x "
              "/usr/sbin/munged") != 0)
        GTEST_SKIP() << "Slurm is not installed (slurmctld slurmd slurm-client munge)";
    std::string tmpl = (fs::temp_directory_path() / "pagimo-slurm-XXXXXX").string();
    const fs::path dir = mkdtemp(tmpl.data());
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                             fs::perms::others_exec);
    const std::string source = pagimo::test::SourceDir().string(), cluster = (dir / "cluster").string();
    // The daemons are stopped by the process ids in the cluster's folder, so the folder goes after them.
    struct TStop {
        std::string Command;
        fs::path Dir;
        bool Remove = false;
        ~TStop() {
            std::system(Command.c_str());
            if (Remove) fs::remove_all(Dir);
        }
    } stop{source + "/scripts/slurm-cluster.sh stop " + cluster, dir};

    const std::string db = (dir / "invoices.db").string();
    ASSERT_EQ(Shell("(cat " + source +
                    "/examples/invoices.sql; echo 'CREATE TABLE batch_size AS SELECT 2000 AS invoices;'; cat " +
                    source + "/examples/batch/more-invoices.sql) | sqlite3 " + db),
              0);
    const std::string form = source + "/examples/invoice-pages.form";
    const auto local = RunQrptool(dir, "report " + form + " --db " + db + " --burst '[L.number]' -o '" +
                                           (dir / "local/{key}.pdf").string() + "'");
    ASSERT_EQ(local.Status, 0) << local.Err;

    ASSERT_EQ(
        Shell(source + "/scripts/slurm-cluster.sh start " + cluster + " 2 >" + (dir / "start.txt").string() + " 2>&1"),
        0)
        << "see " << cluster << "/log";
    // Submitted as the script's header shows: the variables in sbatch's environment.
    const std::string submit = "cd " + dir.string() + " && SLURM_CONF=" + cluster + "/slurm.conf FORM=" + form +
                               " DB=" + db + " OUT=" + (dir / "shared").string() + " QRPTOOL=" + QRPTOOL_PATH +
                               " sbatch --wait --quiet --array=0-3 " + source + "/examples/batch/slurm-burst.sh";
    EXPECT_EQ(Shell(submit), 0) << "the job array failed; its logs are pagimo-burst-*.log in " << dir;
    for (int task = 0; task < 4; ++task)
        EXPECT_TRUE(fs::exists(dir / "shared" / ("manifest." + std::to_string(task) + "-of-4.csv"))) << task;
    const auto check =
        RunQrptool(dir, "manifest check " + (dir / "shared").string() + " --against " + (dir / "local").string());
    EXPECT_EQ(check.Status, 0) << check.Out;
    EXPECT_NE(check.Out.find("2000 output(s) listed: all there and whole, the same as the other run"),
              std::string::npos)
        << check.Out;
    stop.Remove = !HasFailure();
}

} // namespace
