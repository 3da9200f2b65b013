// The damaged-page policy of qrptool's commands, the conventions they share (standard output,
// image formats, versions) and their clean end on a terminating signal.

#include "DamagedFiles.h"
#include "PageListFixture.h"
#include "PopplerProbe.h"
#include "QrptoolRun.h"

#include "platform/emf/EmfPicture.h"
#include "platform/emf/LittleEndian.h"
#include "platform/emf/RecordLayouts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>

using namespace pagimo::test;

namespace {

class QrptoolDamage : public ::testing::Test {
protected:
    void SetUp() override {
        auto bytes = MakeFile(Tmp.File("good.qrp"), 20, false);
        BreakRecordInsidePage(bytes, 7);
        Damaged = Tmp.File("seven.qrp");
        WriteFileBytes(Damaged, bytes);
    }
    TRun Run(const std::string& args) { return RunQrptool(Tmp.Path(), args); }
    bool Exists(const std::string& name) const { return std::filesystem::exists(Tmp.File(name)); }
    TTempDir Tmp;
    std::string Damaged;
};

TEST_F(QrptoolDamage, InfoListsTheDamagedPageWithItsReasonAndExitsWithOne) {
    const auto text = Run("info " + Damaged);
    EXPECT_EQ(text.Status, 1);
    EXPECT_NE(text.Out.find("     7 "), std::string::npos);
    EXPECT_NE(text.Out.find("DAMAGED: Metafile is not valid (its record chain is broken at record 3"),
              std::string::npos)
        << text.Out;
    EXPECT_NE(text.Out.find("\nDAMAGED: 1 of 20 pages cannot be drawn\n"), std::string::npos);
    const auto json = Run("info --json " + Damaged);
    EXPECT_EQ(json.Status, 1);
    EXPECT_NE(json.Out.find("\"usable_pages\": 19"), std::string::npos) << json.Out.substr(json.Out.size() - 300);
    EXPECT_NE(json.Out.find("\"damaged\": [{\"page\": 7, \"reason\": \"Metafile is not valid"), std::string::npos);
    EXPECT_NE(json.Out.find("\"valid\": false}"), std::string::npos);
}

// Without --keep-going the first damaged page stops every drawing command, and nothing is written.
TEST_F(QrptoolDamage, DrawingCommandsStopAtTheDamagedPageAndWriteNothing) {
    for (const std::string& args :
         {"convert " + Damaged + " " + Tmp.File("out.pdf"), "export " + Damaged + " " + Tmp.File("out.csv"),
          "text " + Damaged + " -o " + Tmp.File("out.txt"), "render " + Damaged + " -o " + Tmp.File("out-%d.png"),
          "convert " + Damaged + " " + Tmp.File("out-%d.svg"), "convert " + Damaged + " " + Tmp.File("out.html")}) {
        const auto run = Run(args);
        EXPECT_EQ(run.Status, 1) << args;
        EXPECT_NE(run.Err.find("Page 7 cannot be drawn: Metafile is not valid"), std::string::npos) << run.Err;
    }
    for (const char* name : {"out.pdf", "out.csv", "out.txt", "out.html"})
        EXPECT_FALSE(Exists(name)) << name;
    EXPECT_EQ(Tmp.Count(), 3u) << "the two QRP files and stderr.txt: every page is checked before one is rendered";
}

TEST_F(QrptoolDamage, KeepGoingLeavesTheDamagedPageEmptyNamesItAndExitsWithOne) {
    const auto convert = Run("convert " + Damaged + " " + Tmp.File("out.pdf") + " --keep-going");
    EXPECT_EQ(convert.Status, 1);
    EXPECT_NE(convert.Err.find("page 7 cannot be drawn"), std::string::npos) << convert.Err;
    const auto pdf = Tmp.Path() / "out.pdf";
    EXPECT_EQ(PdfPageCount(pdf), 20);
    EXPECT_EQ(PdfPagesText(pdf, 7, 7).find_first_not_of(" \n\f"), std::string::npos) << "page 7 is empty";
    EXPECT_NE(PdfPagesText(pdf, 8, 8).find("Page 8"), std::string::npos) << PdfPagesText(pdf, 8, 8);

    const auto text = Run("text " + Damaged + " --keep-going");
    EXPECT_EQ(text.Status, 1);
    EXPECT_EQ(std::count(text.Out.begin(), text.Out.end(), '\f'), 19) << "page numbers stay";

    const auto csv = Run("export " + Damaged + " " + Tmp.File("out.csv") + " --keep-going --pages 6-8");
    EXPECT_EQ(csv.Status, 1);
    EXPECT_TRUE(Exists("out.csv"));

    const auto render = Run("render " + Damaged + " --pages 6-8 -o " + Tmp.File("p-%d.png") + " --keep-going");
    EXPECT_EQ(render.Status, 1);
    const auto svg = Run("convert " + Damaged + " --pages 6-8 " + Tmp.File("p-%d.svg") + " --keep-going");
    EXPECT_EQ(svg.Status, 1);
    const auto html = Run("convert " + Damaged + " " + Tmp.File("all.html") + " --keep-going");
    EXPECT_EQ(html.Status, 1);
    for (const char* name : {"p-6.png", "p-7.png", "p-8.png", "p-6.svg", "p-7.svg", "p-8.svg", "all.html"})
        EXPECT_TRUE(Exists(name)) << name;
    const auto svgBytes = FileBytes(Tmp.File("p-7.svg"));
    const std::string crossed(svgBytes.begin(), svgBytes.end());
    EXPECT_NE(crossed.find("<g class=\"mark\" role=\"img\" aria-label=\"Page 7 cannot be drawn"), std::string::npos)
        << "crossed out with the reason, as render draws it";
}

TEST_F(QrptoolDamage, AForeignFileIsNotAQrpFile) {
    const std::string foreign = Tmp.File("program.qrp");
    const auto bytes = ForeignFile();
    WriteFileBytes(foreign, bytes);
    for (const std::string command : {"info ", "convert ", "text "}) {
        const auto run = Run(command + foreign + (command == "convert " ? " " + Tmp.File("o.pdf") : ""));
        EXPECT_EQ(run.Status, 1);
        EXPECT_NE(run.Err.find("File " + foreign + " is not a QRP file"), std::string::npos) << run.Err;
    }
}

TEST_F(QrptoolDamage, AMetafileCutInsideItsHeaderIsReportedNotReadPast) {
    // The header record's type and signature are there, its byte count (nBytes) is not.
    for (size_t size : {44u, 48u, 51u}) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> bytes(size, 0);
        pagimo::emf::PutU32(bytes.data() + pagimo::emf::RecordTypeAt, pagimo::emf::EmrHeader);
        pagimo::emf::PutU32(bytes.data() + pagimo::emf::THeaderLayout::SignatureAt, pagimo::emf::EmfSignature);
        const std::string cut = Tmp.File("cut.emf");
        WriteFileBytes(cut, bytes);
        const auto run = Run("info " + cut);
        EXPECT_EQ(run.Status, 1);
        EXPECT_NE(run.Err.find("is damaged: its header is incomplete"), std::string::npos) << run.Err;
    }
}

TEST(QrptoolConventions, DashIsStandardOutputAndImagesArePngOrJpeg) {
    TTempDir tmp;
    const std::string file = tmp.File("r.qrp");
    MakeFile(file, 2, true);
    const auto pdf = RunQrptool(tmp.Path(), "convert " + file + " -");
    EXPECT_EQ(pdf.Status, 0);
    EXPECT_TRUE(pdf.Out.starts_with("%PDF-")) << pdf.Out.substr(0, 10);
    const auto csv = RunQrptool(tmp.Path(), "export " + file + " - --format csv");
    EXPECT_EQ(csv.Status, 0);
    EXPECT_NE(csv.Out.find("Page 2, line 1"), std::string::npos);
    EXPECT_EQ(RunQrptool(tmp.Path(), "export " + file + " -").Status, 2) << "standard output needs a format";
    const auto png = RunQrptool(tmp.Path(), "render " + file + " --page 2 -o -");
    EXPECT_EQ(png.Status, 0);
    EXPECT_TRUE(png.Out.starts_with("\x89PNG"));
    EXPECT_EQ(RunQrptool(tmp.Path(), "render " + file + " -o -").Status, 2) << "one page only";
    const auto jpg = RunQrptool(tmp.Path(), "render " + file + " --page 1 -o " + tmp.File("p.jpg"));
    EXPECT_EQ(jpg.Status, 0);
    EXPECT_TRUE(FileBytes(tmp.File("p.jpg")).size() > 1000);
    EXPECT_EQ(FileBytes(tmp.File("p.jpg"))[0], 0xFF);
    EXPECT_EQ(RunQrptool(tmp.Path(), "render " + file + " --page 1 -o " + tmp.File("p.gif")).Status, 2);
    EXPECT_EQ(RunQrptool(tmp.Path(), "text " + file + " -o " + tmp.File("t.txt")).Status, 0);
    EXPECT_EQ(FileBytes(tmp.File("t.txt")).size(), RunQrptool(tmp.Path(), "text " + file).Out.size());
    for (const char* args : {"--version", "version"}) {
        const auto v = RunQrptool(tmp.Path(), args);
        EXPECT_EQ(v.Status, 0);
        EXPECT_EQ(v.Out, "qrptool 1.2\n");
    }
}

// A command ended by SIGTERM while its pages spill to a temporary file leaves nothing behind.
TEST(QrptoolSignals, TerminationRemovesThePageStoreFile) {
    TTempDir tmp;
    const std::string out = tmp.File("big.qrp");
    const std::string tmpdir = "TMPDIR=" + tmp.Path().string();
    char* const argv[] = {const_cast<char*>(QRPTOOL_PATH), const_cast<char*>("sample"), const_cast<char*>(out.c_str()),
                          const_cast<char*>("--pages"), const_cast<char*>("1000000"), nullptr};
    char* const envp[] = {const_cast<char*>(tmpdir.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, QRPTOOL_PATH, nullptr, nullptr, argv, envp), 0);
    // The page store spills to QRP*.tmp once it has grown past its memory limit.
    bool spilled = false;
    for (int i = 0; i < 3000 && !spilled; ++i) {
        for (const auto& e : std::filesystem::directory_iterator(tmp.Path()))
            spilled = spilled || e.path().filename().string().starts_with("QRP");
        if (!spilled) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(spilled);
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "ends as signalled";
    EXPECT_EQ(tmp.Count(), 0u) << "no page store, no partial output";
}

} // namespace

namespace {

TEST(QrptoolInfo, BytesAfterTheLastPageAndOddFileNamesAreReported) {
    TTempDir tmp;
    // A name that is not valid UTF-8 still gives JSON that parses.
    const std::string name = tmp.File("caf\xE9.qrp");
    auto bytes = MakeFile(name, 3, false);
    bytes.insert(bytes.end(), 100, 'x');
    WriteFileBytes(name, bytes);
    const auto text = RunQrptool(tmp.Path(), "info '" + name + "'");
    EXPECT_EQ(text.Status, 1);
    EXPECT_NE(text.Out.find("100 bytes follow the last page record"), std::string::npos) << text.Out;
    EXPECT_NE(text.Out.find("DAMAGED: 100 bytes after the last page"), std::string::npos) << text.Out;
    const auto json = RunQrptool(tmp.Path(), "info --json '" + name + "'");
    EXPECT_EQ(json.Status, 1);
    EXPECT_NE(json.Out.find("caf\\ufffd.qrp\""), std::string::npos) << json.Out.substr(0, 120);
    EXPECT_NE(json.Out.find("\"trailing_bytes\": 100"), std::string::npos);
    EXPECT_NE(json.Out.find("\"valid\": false"), std::string::npos);
}

} // namespace

namespace {

// Pages read and worked on by worker threads change nothing of what is written.
TEST(QrptoolJobs, OutputsWithSeveralThreadsAreTheSameAsWithOne) {
    TTempDir tmp;
    const std::string coded = tmp.File("coded.qrp");
    MakeFile(coded, 40, true);
    auto bytes = MakeFile(tmp.File("plain.qrp"), 30, false);
    BreakRecordInsidePage(bytes, 11);
    const std::string damaged = tmp.File("damaged.qrp");
    WriteFileBytes(damaged, bytes);
    for (const std::string& input : {coded, damaged}) {
        for (const std::string kind : {"text", "csv", "html", "txt", "info"}) {
            std::string outputs[2];
            for (int i = 0; i < 2; ++i) {
                const std::string jobs = i == 0 ? " -j 1" : " -j 3";
                // Same names in two folders, so that titles taken from the name agree.
                std::filesystem::create_directories(tmp.File("j" + std::to_string(i)));
                const std::string out = tmp.File("j" + std::to_string(i) + "/out." + kind);
                const auto run = kind == "text"   ? RunQrptool(tmp.Path(), "text " + input + " --keep-going" + jobs)
                                 : kind == "info" ? RunQrptool(tmp.Path(), "info --json " + input + jobs)
                                                  : RunQrptool(tmp.Path(), "export " + input + " " + out + " --keep-going" + jobs);
                const auto written = FileBytes(out);
                outputs[i] = kind == "text" || kind == "info" ? run.Out : std::string(written.begin(), written.end());
                EXPECT_FALSE(outputs[i].empty()) << kind << " of " << input;
            }
            EXPECT_TRUE(outputs[0] == outputs[1]) << kind << " of " << input;
        }
    }
    // Without --keep-going the damaged page stops text at the same page with the same message,
    // whichever worker read it.
    const auto stopOne = RunQrptool(tmp.Path(), "text " + damaged + " -j 1");
    const auto stopThree = RunQrptool(tmp.Path(), "text " + damaged + " -j 3");
    EXPECT_EQ(stopOne.Status, 1);
    EXPECT_EQ(stopThree.Status, stopOne.Status);
    EXPECT_EQ(stopThree.Err, stopOne.Err);
    EXPECT_EQ(stopThree.Out, stopOne.Out);
    // PDF pages carry a creation time; their pages and text are compared.
    const auto one = RunQrptool(tmp.Path(), "convert " + coded + " " + tmp.File("one.pdf") + " -j 1");
    const auto three = RunQrptool(tmp.Path(), "convert " + coded + " " + tmp.File("three.pdf") + " -j 3");
    ASSERT_EQ(one.Status, 0);
    ASSERT_EQ(three.Status, 0);
    EXPECT_EQ(PdfPagesText(tmp.File("one.pdf")), PdfPagesText(tmp.File("three.pdf")));
    EXPECT_EQ(PdfPageCount(tmp.File("three.pdf")), 40);
}

TEST(QrptoolJobs, ConvertWritesManyFilesIntoAFolder) {
    TTempDir tmp;
    MakeFile(tmp.File("a.qrp"), 2, false);
    MakeFile(tmp.File("b.qrp"), 3, true);
    std::filesystem::create_directory(tmp.File("pdf"));
    const auto run = RunQrptool(tmp.Path(), "convert " + tmp.File("a.qrp") + " " + tmp.File("b.qrp") + " " +
                                                tmp.File("missing.qrp") + " --out-dir " + tmp.File("pdf"));
    EXPECT_EQ(run.Status, 1) << "one input is missing";
    EXPECT_NE(run.Err.find("Cannot open file " + tmp.File("missing.qrp")), std::string::npos) << run.Err;
    EXPECT_EQ(PdfPageCount(tmp.File("pdf/a.pdf")), 2);
    EXPECT_EQ(PdfPageCount(tmp.File("pdf/b.pdf")), 3);
}

} // namespace
