// The report printer without a printer: recording, states, coordinates, messages, hooks and the
// file operations. (Printing itself is tested against a real queue in the cups suite.)

#include "printer/QRPrinter.h"
#include "pagestore/PageList.h"
#include "platform/gdi/Canvas.h"
#include "platform/system/Errors.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace pagimo;
using namespace pagimo::printer;
namespace fs = std::filesystem;

namespace {

const bool NoPrinters = [] { return setenv("CUPS_SERVER", "localhost:9", 1) == 0; }();

struct TMessage {
    int Message;
    intptr_t WParam, LParam;
    bool operator==(const TMessage&) const = default;
};

// A window that records the report printer's messages; optionally runs a handler for each.
class TWindow : public QObject {
public:
    std::vector<TMessage> Got;
    std::function<void(const TQRMessageEvent&)> OnMessage;

protected:
    bool event(QEvent* e) override {
        if (e->type() >= QEvent::Type(WM_USER) && e->type() <= QEvent::Type(WM_USER + 4)) {
            auto* m = static_cast<TQRMessageEvent*>(e);
            Got.push_back({m->Message(), m->WParam, m->LParam});
            if (OnMessage) OnMessage(*m);
            return true;
        }
        return QObject::event(e);
    }
};

struct TCountingInterface : TQRPreviewInterface {
    static inline int Opened = 0;
    QObject* OpenPreview(TQRPrinter&) override {
        ++Opened;
        return nullptr;
    }
};

void Deliver() {
    QCoreApplication::sendPostedEvents();
}

void DrawPage(TQRPrinter& p, int n) {
    p.PageCanvas()->TextOut(p.DeviceX(200), p.DeviceY(200), "Page " + std::to_string(n));
}

void Record(TQRPrinter& p, int pages) {
    p.StartDocument();
    for (int i = 1; i <= pages; ++i) {
        p.NewPage();
        DrawPage(p, i);
    }
    p.FinishDocument();
}

fs::path TempPath(const std::string& name) {
    return fs::temp_directory_path() / ("pagimo-qrprinter-" + std::to_string(getpid()) + "-" + name);
}

} // namespace

TEST(QRPrinterWithoutPrinter, ConstructionAndCoordinates) {
    ASSERT_TRUE(NoPrinters);
    TQRPrinter p;
    EXPECT_FALSE(p.HasPrinters());
    EXPECT_EQ(p.OriginLeft(), 0);
    EXPECT_EQ(p.OriginTop(), 0);
    EXPECT_EQ(p.Output(), okPages);
    EXPECT_EQ(p.JobState(), jsReady);
    EXPECT_EQ(p.ScaleX(), 1.0L);
    // Halves go to the even neighbour.
    EXPECT_EQ(p.DeviceWidth(2.5L), 2);
    EXPECT_EQ(p.DeviceWidth(3.5L), 4);
    EXPECT_EQ(p.DeviceHeight(-2.5L), -2);
    EXPECT_EQ(p.DeviceX(p.OriginLeft()), 0);

    // The paper a report names is kept (it is layout); Default is the locale's paper, not 0 x 0.
    EXPECT_EQ(p.PaperSize(), TQRPaperSize::A4);
    p.SetPaperSize(TQRPaperSize::Letter);
    EXPECT_EQ(p.PaperSize(), TQRPaperSize::Letter);
    p.SetPaperSize(TQRPaperSize::Default);
    EXPECT_GT(p.OrientedWidth(), 2000);
    EXPECT_GT(p.OrientedLength(), 2700);
    p.SetPaperSize(TQRPaperSize::A4);

    p.StartDocument();
    EXPECT_NEAR(static_cast<double>(p.ScaleX()), 96.0 / 254, 1e-12);
    EXPECT_EQ(p.DeviceX(2100), 794);
    EXPECT_EQ(p.DeviceY(2970), 1123);
    p.NewPage();
    p.FinishDocument();
    auto page = p.FetchPage(1);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->Width(), 794);
    EXPECT_EQ(page->Height(), 1123);

    // A landscape document records its pages landscape, printer or not.
    TQRPrinter landscape;
    landscape.SetOrientation(poLandscape);
    Record(landscape, 1);
    auto turned = landscape.FetchPage(1);
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->Width(), 1123);
    EXPECT_EQ(turned->Height(), 794);

    // Neither printing nor selecting a printer does anything here.
    p.Print();
    p.SelectPrinter(0);
    EXPECT_EQ(p.JobState(), jsFinished);
}

TEST(QRPrinterWithoutPrinter, RecordingPostsPagesInOrder) {
    TQRPrinter p;
    TWindow window;
    p.SetNotifyWindow(&window);
    p.StartDocument();
    for (int i = 1; i <= 4; ++i) {
        p.NewPage();
        DrawPage(p, i);
        // The page being drawn counts in PageTotal but is not stored yet.
        EXPECT_EQ(p.PageTotal(), i);
        EXPECT_EQ(p.FetchPage(i), nullptr);
        if (i > 1) {
            EXPECT_NE(p.FetchPage(i - 1), nullptr);
        }
        p.SetProgress(i * 25);
    }
    EXPECT_TRUE(window.Got.empty()) << "messages are posted, not sent";
    p.FinishDocument();
    Deliver();
    const std::vector<TMessage> expected{
        {MsgProgressUpdate, 25, 0}, {MsgPageAvailable, 1, 0}, {MsgProgressUpdate, 50, 0},  {MsgPageAvailable, 2, 0},
        {MsgProgressUpdate, 75, 0}, {MsgPageAvailable, 3, 0}, {MsgProgressUpdate, 100, 0}, {MsgPageAvailable, 4, 0}};
    EXPECT_EQ(window.Got, expected);
    EXPECT_EQ(p.PageTotal(), 4);
    EXPECT_EQ(p.PagesAvailable(), 4);
    EXPECT_EQ(p.JobState(), jsFinished);
    EXPECT_NE(p.FetchPage(4), nullptr);
    EXPECT_EQ(p.FetchPage(5), nullptr);
    EXPECT_EQ(p.FetchPage(0), nullptr);
    EXPECT_EQ(p.Pages().NumPages(), 4);
}

TEST(QRPrinterWithoutPrinter, StateErrorsAndReset) {
    TQRPrinter p;
    try {
        p.NewPage();
        FAIL() << "NewPage before StartDocument";
    } catch (const EQRError& e) {
        EXPECT_STREQ(e.what(), "Illegal call to NewPage");
    }
    p.FinishDocument(); // ignored while ready
    EXPECT_EQ(p.JobState(), jsReady);
    EXPECT_EQ(p.FetchPage(1), nullptr);

    p.StartDocument();
    try {
        p.StartDocument();
        FAIL() << "StartDocument twice";
    } catch (const EQRError& e) {
        EXPECT_STREQ(e.what(), "QRPrinter not ready");
    }
    EXPECT_EQ(p.JobState(), jsBusy);
    p.NewPage();
    p.NewPage();
    p.FinishDocument();
    EXPECT_THROW(p.NewPage(), EQRError);
    EXPECT_THROW(p.StartDocument(), EQRError);

    p.Reset();
    EXPECT_EQ(p.JobState(), jsReady);
    EXPECT_EQ(p.FetchPage(1), nullptr);
    EXPECT_EQ(p.Pages().NumPages(), 0);
    Record(p, 2); // the same printer serves the next document
    EXPECT_EQ(p.PageTotal(), 2);
    EXPECT_NE(p.FetchPage(2), nullptr);

    // Reset during a document cancels it; its drawing goes nowhere and its FinishDocument is ignored.
    TQRPrinter q;
    q.StartDocument();
    q.NewPage();
    q.Reset();
    EXPECT_TRUE(q.CancelRequested());
    ASSERT_NE(q.PageCanvas(), nullptr);
    DrawPage(q, 1);
    q.FinishDocument();
    EXPECT_EQ(q.JobState(), jsReady);
}

TEST(QRPrinterWithoutPrinter, AbortKeepsRecordedPagesWithoutMessages) {
    TQRPrinter p;
    TWindow window;
    p.SetNotifyWindow(&window);
    p.StartDocument();
    for (int i = 1; i <= 3; ++i) {
        p.NewPage();
        DrawPage(p, i);
    }
    p.AbortDocument();
    Deliver();
    EXPECT_EQ(p.JobState(), jsFinished);
    EXPECT_EQ(window.Got.size(), 2u) << "only the two pages closed by NewPage";
    EXPECT_NE(p.FetchPage(3), nullptr) << "the interrupted page stays viewable";

    // The header was not rewritten: it still says one page.
    const fs::path file = TempPath("aborted.qrp");
    p.SaveReportFile(file.string());
    std::ifstream in(file, std::ios::binary);
    char header[12] = {};
    in.read(header, sizeof header);
    EXPECT_EQ(header[8], 1);
    fs::remove(file);
}

TEST(QRPrinterWithoutPrinter, SaveOpenAndExport) {
    const fs::path file = TempPath("saved.qrp");
    {
        TQRPrinter p;
        p.StartDocument();
        p.NewPage();
        p.SaveReportFile(file.string()); // still recording: nothing happens
        EXPECT_FALSE(fs::exists(file));
        p.NewPage();
        p.FinishDocument();
        int exports = 0;
        p.ExportHook = [&](TQRExporter&) { ++exports; };
        class TNullExporter : public TQRExporter {
        public:
            using TQRExporter::TQRExporter;
            void StartExport(int32_t, int32_t, const gdi::TFont&) override {}
            void EndExportPage() override {}
            void FinishExport() override {}
            void NewExportPage() override {}
            void ExportText(long double, long double, const gdi::TFont&, uint32_t, TAlignment,
                            const std::string&) override {}
        } filter("out.txt");
        p.ExportPages(filter);
        EXPECT_EQ(exports, 1);
        p.SaveReportFile(file.string());
        ASSERT_TRUE(fs::exists(file));

        // Opening a file in place of a recording: the pages are the file's, the hooks are gone.
        p.PrintSetupHook = [](QObject*) {};
        p.OpenReportFile(file.string());
        EXPECT_EQ(p.JobState(), jsFinished);
        EXPECT_TRUE(p.LoadedFromFile());
        EXPECT_EQ(p.PageTotal(), 2);
        EXPECT_FALSE(p.ExportHook);
        EXPECT_FALSE(p.PrintSetupHook);
        p.ExportPages(filter); // no callback: nothing
        EXPECT_EQ(exports, 1);
        EXPECT_NE(p.FetchPage(2), nullptr);

        // Saving over the file being viewed keeps the pages shown.
        p.SaveReportFile(file.string());
        EXPECT_NE(p.FetchPage(1), nullptr);
    }
    {
        // A missing file leaves the printer ready and without pages.
        TQRPrinter p;
        try {
            p.OpenReportFile(TempPath("missing.qrp").string());
            FAIL() << "opening a missing file";
        } catch (const EQRError& e) {
            EXPECT_NE(std::string(e.what()).find("Cannot open file"), std::string::npos) << e.what();
        }
        EXPECT_EQ(p.JobState(), jsReady);
        EXPECT_EQ(p.FetchPage(1), nullptr);
    }
    {
        // A file whose first page is damaged still opens: the page says why it cannot be drawn.
        std::string bytes;
        {
            std::ifstream in(file, std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        bytes[128 + 8] = 'X'; // the first EMF record's type
        const fs::path damaged = TempPath("damaged.qrp");
        std::ofstream(damaged, std::ios::binary) << bytes;
        TQRPrinter p;
        p.OpenReportFile(damaged.string());
        EXPECT_EQ(p.JobState(), jsFinished);
        std::string reason;
        EXPECT_EQ(p.FetchPage(1, reason), nullptr);
        EXPECT_EQ(reason, "Metafile is not valid");
        EXPECT_THROW(p.CheckPages(1, 0), EQRError);
        fs::remove(damaged);
    }
    {
        // An empty recording saves as the header alone; opening it gives no pages.
        TQRPrinter p;
        p.StartDocument();
        p.FinishDocument();
        p.SaveReportFile(file.string());
        EXPECT_EQ(fs::file_size(file), 128u);
        TQRPrinter q;
        q.OpenReportFile(file.string());
        EXPECT_EQ(q.PageTotal(), 0);
        EXPECT_EQ(q.PaperSize(), TQRPaperSize::A4);
    }
    fs::remove(file);
}

TEST(QRPrinterWithoutPrinter, PreviewHooksAndMessagesToTheReport) {
    // PreviewShown turning off cancels a running document and runs the hook; the value is stored
    // even when the hook throws.
    TQRPrinter p;
    int hooks = 0;
    p.AfterPreviewHook = [&](TQRPrinter& sender) {
        EXPECT_EQ(&sender, &p);
        ++hooks;
        throw EQRError("hook failed");
    };
    p.SetPreviewShown(true);
    EXPECT_EQ(hooks, 0);
    p.StartDocument();
    EXPECT_THROW(p.SetPreviewShown(false), EQRError);
    EXPECT_EQ(hooks, 1);
    EXPECT_FALSE(p.PreviewShown());
    EXPECT_TRUE(p.CancelRequested());
    p.SetPreviewShown(false); // already off: nothing
    EXPECT_EQ(hooks, 1);

    // ShowPreview: the handler replaces the preview; otherwise the installed interface class opens it.
    int handled = 0;
    p.PreviewHandler = [&](TQRPrinter&) { ++handled; };
    p.ShowPreview();
    EXPECT_EQ(handled, 1);
    p.PreviewHandler = nullptr;
    SetPreviewInterfaceClass([] { return std::make_unique<TCountingInterface>(); });
    p.ShowPreview();
    SetPreviewInterfaceClass(nullptr);
    p.ShowPreview(); // the base class opens nothing
    EXPECT_EQ(TCountingInterface::Opened, 1);

    // Print of generated pages asks the report to print again.
    TWindow report;
    TQRPrinter q;
    q.SetReportWindow(&report);
    Record(q, 1);
    q.Print();
    Deliver();
    ASSERT_EQ(report.Got.size(), 1u);
    EXPECT_EQ(report.Got[0], (TMessage{MsgPrintReport, 0, 0}));

    // PreviewClosed is sent: the report sees it at once and may free the printer in its handler.
    auto* owned = new TQRPrinter;
    owned->SetReportWindow(&report);
    report.OnMessage = [&](const TQRMessageEvent& m) {
        if (m.Message() == MsgPreviewClosed) delete reinterpret_cast<TQRPrinter*>(m.LParam);
    };
    owned->PreviewClosed(nullptr);
    ASSERT_EQ(report.Got.size(), 2u);
    EXPECT_EQ(report.Got[1].Message, MsgPreviewClosed);
}

TEST(QRPrinterWithoutPrinter, WindowsAreNotifiedSafely) {
    // A notify window that is destroyed is no longer posted to.
    TQRPrinter p;
    {
        TWindow window;
        p.SetNotifyWindow(&window);
    }
    EXPECT_EQ(p.NotifyWindow(), nullptr);
    Record(p, 2);
    Deliver();

    // A preview control holding the printer hears that it goes away.
    struct TControl : QObject, TQRNotifyWindow {
        TQRPrinter* Printer = nullptr;
        void ReportPrinterDestroyed(TQRPrinter& printer) override {
            if (Printer == &printer) Printer = nullptr;
        }
    } control;
    auto q = std::make_unique<TQRPrinter>();
    control.Printer = q.get();
    q->SetNotifyWindow(&control);
    q.reset();
    EXPECT_EQ(control.Printer, nullptr);

    // The report window's questions, as the preview asks them.
    struct TReport : QObject, TQRReportWindow {
        TQRPrinter* Current = nullptr;
        bool IsCompositeReport() const override { return false; }
        TQRPrinter* CurrentPrinter() const override { return Current; }
    } report;
    TQRPrinter r;
    r.SetReportWindow(&report);
    auto* asked = dynamic_cast<TQRReportWindow*>(r.ReportWindow());
    ASSERT_NE(asked, nullptr);
    EXPECT_FALSE(asked->PrinterBusy());
    report.Current = &r;
    r.StartDocument();
    EXPECT_TRUE(asked->PrinterBusy());
}

TEST(QrptoolWithoutPrinter, PrintSaysNoPrinterIsInstalled) {
    const std::string qrptool = PAGIMO_BINARY_DIR "/tools/qrptool";
    if (!fs::exists(qrptool)) GTEST_SKIP() << "qrptool is not built";
    const fs::path file = TempPath("tool.qrp");
    {
        TQRPrinter p;
        Record(p, 1);
        p.SaveReportFile(file.string());
    }
    const std::string command = "CUPS_SERVER=localhost:9 " + qrptool + " print " + file.string() + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    const int status = pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(out.find("No printer is installed"), std::string::npos) << out;
    fs::remove(file);
}
