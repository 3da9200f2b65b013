// qrptool's outputs as data that must not be lost: a full disk keeps the old file and says so, a
// name planted beside the target is never followed or removed, and no output replaces its input.

#include "PageListFixture.h"
#include "QrptoolRun.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace pagimo::test;
namespace fs = std::filesystem;

namespace {

class QrptoolOutput : public ::testing::Test {
protected:
    void SetUp() override {
        Input = Tmp.File("big.qrp");
        MakeFile(Input, 120, false);
    }
    // Runs qrptool with files limited to limitKb kilobytes: writes past the limit fail as on a full
    // disk (qrptool ignores the signal that would end it there).
    TRun RunLimited(const std::string& args, int limitKb) {
        return RunQrptool(Tmp.Path(), args, "ulimit -f " + std::to_string(limitKb) + ";");
    }
    std::string Contents(const std::string& name) {
        std::ifstream in(Tmp.File(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    TTempDir Tmp;
    std::string Input;
};

TEST_F(QrptoolOutput, AFullDiskKeepsTheOldFileAndSaysSo) {
    for (const char* name : {"out.pdf", "out.csv", "out.png", "out.txt", "thumb.png"}) {
        std::ofstream(Tmp.File(name)) << "old";
        const std::string out = Tmp.File(name);
        const std::string ext = fs::path(name).extension().string();
        const std::string args = name[0] == 't'  ? "thumbnail -s 4096 " + Input + " " + out
                                 : ext == ".pdf" ? "convert " + Input + " " + out
                                 : ext == ".csv" ? "export " + Input + " " + out
                                 : ext == ".png" ? "render " + Input + " --page 1 --dpi 600 -o " + out
                                                 : "text " + Input + " -o " + out;
        const auto run = RunLimited(args, 24);
        EXPECT_EQ(run.Status, 1) << args;
        EXPECT_NE(run.Err.find("Cannot create file " + out), std::string::npos) << run.Err;
        EXPECT_EQ(Contents(name), "old") << name;
    }
    EXPECT_EQ(Tmp.Count(), 7u) << "the input, the five old files and stderr.txt: no temporary file left";
}

TEST_F(QrptoolOutput, AReportToPdfOnAFullDiskKeepsTheOldFile) {
    const fs::path form = DataDir() / "help-report.form";
    const std::string out = Tmp.File("report.pdf");
    std::ofstream(out) << "old";
    const auto run = RunQrptool(Tmp.Path(), "report " + form.string() + " -o " + out,
                                "ulimit -f 1;"); // its one page is about 1.3 KB
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("Cannot create file " + out), std::string::npos) << run.Err;
    EXPECT_EQ(Contents("report.pdf"), "old");
}

// The temporary name is new and exclusive each time: what stands beside the target is left alone.
TEST_F(QrptoolOutput, ALinkPlantedBesideTheTargetIsNeitherFollowedNorRemoved) {
    const std::string victim = Tmp.File("victim.txt");
    std::ofstream(victim) << "precious";
    fs::create_symlink(victim, Tmp.File("out.pdf.part"));
    ASSERT_EQ(RunQrptool(Tmp.Path(), "convert " + Input + " " + Tmp.File("out.pdf")).Status, 0);
    EXPECT_EQ(Contents("victim.txt"), "precious");
    EXPECT_TRUE(fs::is_symlink(Tmp.File("out.pdf.part")));
    // A failed run does not remove it either.
    EXPECT_EQ(RunQrptool(Tmp.Path(), "convert " + Tmp.File("none.qrp") + " " + Tmp.File("out.pdf")).Status, 1);
    EXPECT_TRUE(fs::is_symlink(Tmp.File("out.pdf.part")));
}

TEST_F(QrptoolOutput, NoCommandWritesOverItsOwnInput) {
    const auto before = FileBytes(Input);
    fs::create_symlink(Input, Tmp.File("alias.qrp"));
    for (const std::string& args : {"convert " + Input + " " + Input, "export " + Input + " " + Tmp.File("alias.qrp") +
                                    " --format csv", "text " + Input + " -o " + Input}) {
        const auto run = RunQrptool(Tmp.Path(), args);
        EXPECT_EQ(run.Status, 1) << args;
        EXPECT_NE(run.Err.find(": it is the input file"), std::string::npos) << run.Err;
    }
    EXPECT_EQ(FileBytes(Input), before);

    // A report's description and its data are inputs too.
    const fs::path csv = Tmp.Path() / "rows.csv";
    std::ofstream(csv) << "name\nAnna\n";
    const fs::path form = Tmp.Path() / "rows.form";
    std::ofstream(form) << "object Form: TForm\n"
                           "  object Rows: TQRCSVTable\n    FileName = 'rows.csv'\n    Active = True\n  end\n"
                           "  object Report: TQRReport\n    DataSet = Rows\n  end\nend\n";
    const auto run = RunQrptool(Tmp.Path(), "report " + form.string() + " -o " + csv.string());
    EXPECT_EQ(run.Status, 1) << run.Err;
    EXPECT_NE(run.Err.find("it is the input file"), std::string::npos) << run.Err;
    EXPECT_EQ(Contents("rows.csv"), "name\nAnna\n");
}

// Two inputs that would write one output through --out-dir (one name in two folders, one file
// twice) are refused before anything is converted.
TEST_F(QrptoolOutput, InputsOfOneNameAreRefusedWithOutDir) {
    fs::create_directories(Tmp.Path() / "a");
    fs::create_directories(Tmp.Path() / "b");
    fs::create_directories(Tmp.Path() / "out");
    fs::copy_file(Input, Tmp.Path() / "a" / "report.qrp");
    fs::copy_file(Input, Tmp.Path() / "b" / "report.qrp");
    const std::string a = (Tmp.Path() / "a" / "report.qrp").string(), b = (Tmp.Path() / "b" / "report.qrp").string();
    for (const std::string& inputs : {a + " " + b, a + " " + a}) {
        const auto run = RunQrptool(Tmp.Path(), "convert " + inputs + " --out-dir " + (Tmp.Path() / "out").string());
        EXPECT_EQ(run.Status, 1) << inputs;
        EXPECT_NE(run.Err.find("would both be written to " + (Tmp.Path() / "out" / "report.pdf").string() +
                               "; nothing was converted"),
                  std::string::npos)
            << run.Err;
        EXPECT_TRUE(fs::is_empty(Tmp.Path() / "out"));
    }
}

} // namespace
