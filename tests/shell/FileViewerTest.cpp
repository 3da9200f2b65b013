// pagimo as a file viewer: its command line, a window per file, its end with the last window, and its
// clean end on a terminating signal.

#include "shell/Application.h"
#include "shell/CommandLine.h"
#include "shell/ViewSession.h"

#include "pagestore/Stream.h"
#include "preview/RecordedPages.h"
#include "preview/StandardPreview.h"
#include "preview/StandardPreviewInterface.h"
#include "preview/WindowParts.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>

using namespace pagimo;
using namespace pagimo::shell;

namespace {

struct TCase {
    std::vector<std::string> Args;
    bool Help, Version;
    std::vector<std::string> Files;
    std::string Error;
    const char* Why;
};

TEST(ViewerCommandLine, ReadsFilesAndItsOwnOptionsAndLetsQtOptionsThrough) {
    const TCase cases[] = {
        {{}, false, false, {}, "", "the main window"},
        {{"a.qrp", "b.qrp"}, false, false, {"a.qrp", "b.qrp"}, "", "a window per file"},
        {{"--help"}, true, false, {}, "", "help"},
        {{"-h", "a.qrp"}, true, false, {"a.qrp"}, "", "help wins over files"},
        {{"--version"}, false, true, {}, "", "version"},
        {{"--bogus", "a.qrp"}, false, false, {"a.qrp"}, "unknown option '--bogus'", "usage error"},
        {{"-platform", "offscreen", "a.qrp"}, false, false, {"a.qrp"}, "", "Qt's option and its value"},
        {{"--style=fusion"}, false, false, {}, "unknown option '--style=fusion'", "Qt takes no '=' form"},
        {{"-style"}, false, false, {}, "option '-style' needs a value", "a value is missing"},
        {{"--", "-odd.qrp"}, false, false, {"-odd.qrp"}, "", "file names after --"},
        {{"-"}, false, false, {"-"}, "", "a lone dash is a name"},
    };
    for (const TCase& c : cases) {
        const TViewerCommandLine cl = ParseViewerCommandLine(c.Args);
        EXPECT_EQ(cl.Help, c.Help) << c.Why;
        EXPECT_EQ(cl.Version, c.Version) << c.Why;
        EXPECT_EQ(cl.Files, c.Files) << c.Why;
        EXPECT_EQ(cl.Error, c.Error) << c.Why;
    }
}

// Run without any display and without Qt's offscreen platform: these must not need one.
std::pair<int, std::string> RunWithoutDisplay(const std::string& args) {
    const std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + std::string(PAGIMO_PATH) + " " + args + " 2>&1";
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[1024];
    for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int status = pipe ? ::pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(ViewerCommandLine, HelpAndVersionNeedNoDisplayAndBadOptionsExitWithTwo) {
    EXPECT_EQ(RunWithoutDisplay("--version"), (std::pair<int, std::string>{0, "pagimo 1.2\n"}));
    const auto help = RunWithoutDisplay("--help");
    EXPECT_EQ(help.first, 0);
    EXPECT_TRUE(help.second.starts_with("usage: pagimo [FILE.qrp ...]")) << help.second;
    const auto bad = RunWithoutDisplay("--frobnicate");
    EXPECT_EQ(bad.first, 2);
    EXPECT_TRUE(bad.second.starts_with("pagimo: unknown option '--frobnicate'\nusage:")) << bad.second;
}

class FileViewer : public ::testing::Test {
protected:
    void SetUp() override {
        preview::InstallStandardPreviewInterface();
        ASSERT_TRUE(Dir.isValid());
        for (int i : {1, 2}) {
            Files << Dir.filePath(QStringLiteral("report-%1.qrp").arg(i));
            test::PrinterWithPages(i + 1)->SaveReportFile(Files.back().toStdString());
        }
    }
    QTemporaryDir Dir;
    QStringList Files;
};

// Two files, two windows captioned after them; the loop the program runs ends when both are closed.
TEST_F(FileViewer, AWindowPerFileAndTheProgramEndsWithTheLast) {
    TViewSession session;
    for (const QString& f : Files)
        session.Show(f);
    ASSERT_EQ(session.OpenWindows().size(), 2u);
    QStringList captions, counters;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : session.OpenWindows()) {
            auto* preview = dynamic_cast<preview::TQRStandardPreview*>(w);
            captions << preview->windowTitle();
            counters << test::Part<QLabel>(*preview, "Panel1")->text();
        }
        session.OpenWindows().front()->close();
        QTimer::singleShot(0, [&session] { session.OpenWindows().front()->close(); });
    });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); }); // a loop that did not end is a failure
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(session.OpenWindows().empty());
    EXPECT_EQ(captions, (QStringList{QStringLiteral("report-1.qrp \u2013 Pagimo"),
                                     QStringLiteral("report-2.qrp \u2013 Pagimo")}));
    EXPECT_EQ(counters, (QStringList{QStringLiteral("Page 1 of 2"), QStringLiteral("Page 1 of 3")}));
}

// SIGTERM (a log-out) ends the loop as closing does; a page store's temporary file does not stay.
TEST_F(FileViewer, ATerminatingSignalEndsTheLoopAndRemovesThePageStoreFile) {
    auto* app = static_cast<TApplication*>(QCoreApplication::instance());
    app->EndOnTerminationSignals();
    std::string spill;
    {
        auto stream = std::make_shared<pagestore::TQRStream>(16);
        const std::string bytes(64, 'x');
        stream->WriteBuffer(bytes.data(), bytes.size());
        spill = stream->SpillFileName();
        ASSERT_TRUE(std::filesystem::exists(spill));
        TViewSession session;
        session.Show(Files.front());
        QTimer::singleShot(0, [] { ::raise(SIGTERM); });
        QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
        EXPECT_EQ(QCoreApplication::exec(), 128 + SIGTERM);
        session.CloseAll();
    }
    EXPECT_FALSE(std::filesystem::exists(spill));
}

} // namespace

namespace {

// A file that is no report at all (a picture renamed) is said so and its window goes; the program
// then ends as it does when the last window is closed.
TEST_F(FileViewer, AFileThatIsNoReportIsSaidSoAndItsWindowCloses) {
    const QString picture = Dir.filePath(QStringLiteral("picture.qrp"));
    QImage(40, 30, QImage::Format_RGB32).save(picture, "PNG");
    TViewSession session;
    session.Show(picture);
    ASSERT_EQ(session.OpenWindows().size(), 1u);
    QStringList messages;
    dynamic_cast<preview::TQRStandardPreview*>(session.OpenWindows().front())->OnMessage =
        [&messages](const QString& text) { messages << text; };
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(session.OpenWindows().empty());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("is not a QRP file"))) << messages[0].toStdString();
}

} // namespace
