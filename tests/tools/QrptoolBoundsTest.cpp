// qrptool report over descriptions made to be large: everything still comes out in order, a run
// that would never stop breaking pages ends at its page limit, and a terminating signal ends a run
// through its own path with nothing left behind.

#include "QrptoolRun.h"
#include "TempDir.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

using pagimo::test::RunQrptool;
using pagimo::test::TRun;

class QrptoolBounds : public ::testing::Test {
protected:
    pagimo::test::TTempDir Temp;
    fs::path Dir = Temp.Path();

    // A title band followed by a chain of count - 1 child bands, each with a label naming it.
    std::string ChildChain(int count) {
        std::ostringstream o;
        o << "object F: TForm\n  object Report: TQRReport\n    Units = Native\n    Page.PaperSize = A4\n"
          << "    object B0: TQRBand\n      BandType = rbTitle\n      Size.Values = (\n        100\n        1900)\n"
          << "    end\n";
        for (int i = 1; i < count; ++i) {
            o << "    object B" << i << ": TQRChildBand\n      ParentBand = B" << i - 1
              << "\n      Size.Values = (\n        100\n        1900)\n"
              << "      object L" << i << ": TQRLabel\n        Caption = 'Band " << i
              << "'\n        Size.Values = (\n          50\n          10\n          10\n          500)\n"
              << "      end\n    end\n";
        }
        o << "  end\nend\n";
        return Write("chain.form", o.str());
    }
    // A title band holding one stretching memo of lines lines.
    std::string LongMemo(int lines) {
        std::ostringstream o;
        o << "object F: TForm\n  object Report: TQRReport\n    Units = Native\n    Page.PaperSize = A4\n"
          << "    object T: TQRBand\n      BandType = rbTitle\n      Size.Values = (\n        100\n        1900)\n"
          << "      object M: TQRMemo\n        AutoStretch = True\n"
          << "        Size.Values = (\n          50\n          10\n          10\n          1800)\n"
          << "        Lines.Strings = (";
        for (int i = 0; i < lines; ++i)
            o << "\n          'Line " << i << " of the memo'";
        o << ")\n      end\n    end\n  end\nend\n";
        return Write("memo.form", o.str());
    }
    std::string Write(const std::string& name, const std::string& text) {
        const fs::path path = Dir / name;
        std::ofstream(path) << text;
        return path.string();
    }
    size_t Entries() { return static_cast<size_t>(std::distance(fs::directory_iterator(Dir), {})); }
};

TEST_F(QrptoolBounds, LongBandChainsAndMemosComeOutWholeAndInOrder) {
    const std::string chain = ChildChain(3000);
    const TRun trace = RunQrptool(Dir, "report " + chain + " --trace");
    ASSERT_EQ(trace.Status, 0) << trace.Err;
    // Every band once, in the order of the chain.
    std::istringstream lines(trace.Out);
    int expected = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string name;
        words >> name;
        if (name.size() > 1 && name[0] == 'B' && std::isdigit(static_cast<unsigned char>(name[1]))) {
            EXPECT_EQ(name, "B" + std::to_string(expected)) << line;
            ++expected;
        }
    }
    EXPECT_EQ(expected, 3000);

    const std::string memo = LongMemo(4000);
    const std::string out = (Dir / "memo.qrp").string();
    const TRun run = RunQrptool(Dir, "report " + memo + " -o " + out);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TRun text = RunQrptool(Dir, "text " + out);
    ASSERT_EQ(text.Status, 0) << text.Err;
    // Each line printed once, on the pages in turn: the memo's lines are broken once per run and
    // each page goes on where the last one stopped.
    size_t at = 0;
    for (int i = 0; i < 4000; ++i) {
        const std::string want = "Line " + std::to_string(i) + " of the memo";
        const size_t found = text.Out.find(want, at);
        ASSERT_NE(found, std::string::npos) << want;
        at = found + want.size();
    }
    EXPECT_EQ(text.Out.find("Line 0 of the memo", 1), std::string::npos) << "printed once";
}

TEST_F(QrptoolBounds, ARunStopsAtItsPageLimitAndKeepsTheOldOutput) {
    const std::string memo = LongMemo(2000);
    const std::string out = Write("old.qrp", "the old file");
    const TRun limited = RunQrptool(Dir, "report " + memo + " -o " + out + " --max-pages 5");
    EXPECT_EQ(limited.Status, 1);
    EXPECT_NE(limited.Err.find("Report: the report gives more than 5 pages (MaxPages sets the limit)"),
              std::string::npos)
        << limited.Err;
    std::ifstream in(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the old file");

    for (const char* bad : {"0", "-3", "x", "5x"}) {
        const TRun r = RunQrptool(Dir, "report " + memo + " -o " + out + " --max-pages " + bad);
        EXPECT_EQ(r.Status, 2) << bad;
        EXPECT_NE(r.Err.find("--max-pages"), std::string::npos) << r.Err;
    }
    const TRun enough = RunQrptool(Dir, "report " + memo + " -o " + out + " --max-pages 1000");
    EXPECT_EQ(enough.Status, 0) << enough.Err;
}

TEST_F(QrptoolBounds, ATerminatingSignalEndsTheRunWithNothingLeft) {
    const std::string memo = LongMemo(60000);
    const std::string out = (Dir / "out.qrp").string();
    const fs::path tmp = Dir / "tmp";
    fs::create_directory(tmp);
    const std::string tmpdir = "TMPDIR=" + tmp.string();
    const std::string err = (Dir / "err.txt").string();
    char* const argv[] = {const_cast<char*>(QRPTOOL_PATH), const_cast<char*>("report"), const_cast<char*>(memo.c_str()),
                          const_cast<char*>("-o"), const_cast<char*>(out.c_str()), nullptr};
    char* const envp[] = {const_cast<char*>(tmpdir.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, QRPTOOL_PATH, &actions, nullptr, argv, envp), 0);
    posix_spawn_file_actions_destroy(&actions);
    // The recorded pages spill to a page-store file once the run has made a few dozen pages.
    bool running = false;
    for (int i = 0; i < 6000 && !running; ++i) {
        for (const auto& e : fs::directory_iterator(tmp))
            running = running || e.path().filename().string().starts_with("QRP");
        if (!running) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(running);
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "ends as signalled";
    std::ifstream in(err);
    const std::string said(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(said.find("the run was interrupted at page"), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(fs::is_empty(tmp)) << "no page store left";
    EXPECT_EQ(Entries(), 3u) << "the description, the error text and the empty temporary folder";
}

} // namespace
