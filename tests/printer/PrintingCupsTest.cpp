// The printer layer and the printer settings against a real CUPS queue on an IPP Everywhere printer
// (Letter, Legal, A4, Envelope #10 and DL; sources auto, main, manual, by-pass-tray; duplex).

#include "CupsFixture.h"
#include "PdfProbe.h"

#include "platform/printing/CupsQueue.h"
#include "platform/printing/Printer.h"
#include "platform/system/Errors.h"
#include "platform/system/Rnd.h"
#include "printer/PrinterSettings.h"

#include <QFont>
#include <QPainter>

#include <gtest/gtest.h>

using namespace pagimo;
using namespace pagimo::printing;
using namespace pagimo::printer;
using namespace std::chrono_literals;

namespace {

class CupsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Fixture = test::TCupsFixture::Shared();
        if (!Fixture) GTEST_SKIP() << "no private CUPS: " << test::TCupsFixture::Error();
    }
    test::TCupsFixture* Fixture = nullptr;
};

TDevModeHandle ModeOf(TPrinter& p) {
    std::string device, driver, port;
    TDevModeHandle mode;
    p.GetPrinter(device, driver, port, mode);
    return mode;
}

} // namespace

TEST_F(CupsTest, PrinterSeesTheQueueAndItsDefaultMode) {
    TPrinter p;
    ASSERT_EQ(p.Printers().size(), 1u);
    EXPECT_EQ(p.Printers()[0].Name, Fixture->Queue());
    EXPECT_TRUE(p.Printers()[0].IsDefault);
    EXPECT_EQ(p.PrinterIndex(), 0);

    std::string device, driver, port;
    TDevModeHandle mode;
    p.GetPrinter(device, driver, port, mode);
    ASSERT_TRUE(mode);
    EXPECT_EQ(device, Fixture->Queue());
    EXPECT_EQ(port, Fixture->PrinterUri());
    EXPECT_EQ(mode->dmPaperSize, DMPAPER_LETTER); // the printer's default media
    EXPECT_EQ(mode->dmCopies, 1);
    EXPECT_EQ(mode->dmDefaultSource, DMBIN_AUTO);
    EXPECT_EQ(mode->dmDuplex, DMDUP_SIMPLEX);
    for (uint32_t f : {DM_ORIENTATION, DM_PAPERSIZE, DM_COPIES, DM_DEFAULTSOURCE, DM_DUPLEX}) {
        EXPECT_EQ(mode->dmFields & f, f) << f;
    }

    auto papers = p.DeviceCapabilities(DC_PAPERS);
    std::sort(papers.begin(), papers.end());
    EXPECT_EQ(papers, (std::vector<int16_t>{DMPAPER_LETTER, DMPAPER_LEGAL, DMPAPER_A4, DMPAPER_ENV_10, 27}));
    auto bins = p.DeviceCapabilities(DC_BINS);
    std::sort(bins.begin(), bins.end());
    EXPECT_EQ(bins, (std::vector<int16_t>{DMBIN_UPPER, DMBIN_MANUAL, DMBIN_AUTO}));

    // Selecting a printer out of range is refused; -1 is the default printer.
    EXPECT_THROW(p.SetPrinterIndex(1), EQRError);
    p.SetPrinterIndex(-1);
    EXPECT_EQ(p.PrinterIndex(), 0);
}

TEST_F(CupsTest, DeviceCapsFollowPaperAndOrientationOfTheMode) {
    TPrinter p;
    TDevModeHandle mode = ModeOf(p);
    mode->dmPaperSize = DMPAPER_A4;
    mode->dmOrientation = DMORIENT_PORTRAIT;
    const int dpi = p.GetDeviceCaps(LOGPIXELSX);
    ASSERT_GT(dpi, 0);
    EXPECT_EQ(p.GetDeviceCaps(LOGPIXELSY), dpi);
    EXPECT_NEAR(p.GetDeviceCaps(PHYSICALWIDTH), 210.0 / 25.4 * dpi, 6);  // Qt keeps page sizes in whole points
    EXPECT_NEAR(p.GetDeviceCaps(PHYSICALHEIGHT), 297.0 / 25.4 * dpi, 6); // Qt keeps page sizes in whole points
    const int offX = p.GetDeviceCaps(PHYSICALOFFSETX), offY = p.GetDeviceCaps(PHYSICALOFFSETY);
    EXPECT_GT(offX, 0);
    EXPECT_GT(offY, 0);
    EXPECT_LE(p.GetDeviceCaps(HORZRES) + offX, p.GetDeviceCaps(PHYSICALWIDTH));
    EXPECT_LE(p.GetDeviceCaps(VERTRES) + offY, p.GetDeviceCaps(PHYSICALHEIGHT));

    mode->dmOrientation = DMORIENT_LANDSCAPE;
    EXPECT_NEAR(p.GetDeviceCaps(PHYSICALWIDTH), 297.0 / 25.4 * dpi, 6);  // Qt keeps page sizes in whole points
    EXPECT_NEAR(p.GetDeviceCaps(PHYSICALHEIGHT), 210.0 / 25.4 * dpi, 6); // Qt keeps page sizes in whole points
}

TEST_F(CupsTest, SettingsReadTheQueue) {
    TPrinter p;
    TPrinterSettings s;
    s.SetDevice(&p);
    EXPECT_EQ(s.DeviceName(), Fixture->Queue());
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::Letter);
    EXPECT_EQ(s.Copies(), 1);
    EXPECT_FALSE(s.Duplex());
    EXPECT_EQ(s.OutputBin(), TQRBin::Auto);
    EXPECT_EQ(s.Orientation(), poPortrait);
    EXPECT_EQ(s.DotsPerInchX(), p.GetDeviceCaps(LOGPIXELSX));
    // The printable area's offset, in tenths of a millimetre, rounded halves to even.
    EXPECT_EQ(s.UnprintableLeft(),
              Rnd(static_cast<Extended>(p.GetDeviceCaps(PHYSICALOFFSETX)) / s.DotsPerInchX() * 254));
    EXPECT_EQ(s.UnprintableTop(),
              Rnd(static_cast<Extended>(p.GetDeviceCaps(PHYSICALOFFSETY)) / s.DotsPerInchY() * 254));
    EXPECT_NEAR(s.UnprintableTop(), 64, 4); // 6.35 mm on Letter

    for (int i = 0; i < PaperSizeCount; ++i) {
        const auto size = static_cast<TQRPaperSize>(i);
        const bool listed = size == TQRPaperSize::Letter || size == TQRPaperSize::Legal || size == TQRPaperSize::A4 ||
                            size == TQRPaperSize::Env10 || size == TQRPaperSize::Custom;
        EXPECT_EQ(s.PaperAvailable(size), listed) << PaperInfo(size).Name;
    }

    // Guarded setters: a size the driver does not list is ignored, Custom and Default are accepted.
    s.SetPaperSize(TQRPaperSize::A3);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::Letter);
    s.SetPaperSize(TQRPaperSize::A4);
    EXPECT_EQ(s.SheetWidth(), 2100);
    EXPECT_EQ(s.SheetLength(), 2970);
    s.SetSheetWidth(1000); // not Custom: ignored
    EXPECT_EQ(s.SheetWidth(), 2100);
    s.SetPaperSize(TQRPaperSize::Default);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::Default);
    EXPECT_NEAR(s.SheetWidth(), 2159, 1); // the measured Letter sheet
    EXPECT_NEAR(s.SheetLength(), 2794, 1);
    s.SetPaperSize(TQRPaperSize::Custom);
    s.SetSheetWidth(1000);
    s.SetSheetLength(1500);
    EXPECT_EQ(s.SheetWidth(), 1000);
    EXPECT_EQ(s.SheetLength(), 1500);
    s.SetCopies(3);
    EXPECT_EQ(s.Copies(), 3);
    s.SetOrientation(poLandscape);
    EXPECT_EQ(s.Orientation(), poLandscape);
}

TEST_F(CupsTest, ApplySettingsWritesTheModeBitByBit) {
    TPrinter p;
    TPrinterSettings s;
    s.SetDevice(&p);
    TDevModeHandle mode = ModeOf(p);

    // A mode that says the upper bin reads as First; writing Upper or First both give 1.
    mode->dmDefaultSource = DMBIN_UPPER;
    s.ReadSettings();
    EXPECT_EQ(s.OutputBin(), TQRBin::First);
    s.SetOutputBin(TQRBin::Upper);
    s.ApplySettings();
    EXPECT_EQ(mode->dmDefaultSource, DMBIN_UPPER);

    // Code 14 reads as Cassette, the first entry that carries it.
    mode->dmDefaultSource = DMBIN_CASSETTE;
    s.ReadSettings();
    EXPECT_EQ(s.OutputBin(), TQRBin::Cassette);

    // Bit 8 of the previous source survives: Manual over 257 gives 260.
    mode->dmDefaultSource = 257;
    s.SetOutputBin(TQRBin::Manual);
    s.ApplySettings();
    EXPECT_EQ(mode->dmDefaultSource, 260);

    // Vertical duplex reads as duplex; applying writes horizontal.
    mode->dmDuplex = DMDUP_VERTICAL;
    s.ReadSettings();
    EXPECT_TRUE(s.Duplex());
    s.ApplySettings();
    EXPECT_EQ(mode->dmDuplex, DMDUP_HORIZONTAL);

    // Custom paper writes both lengths and the user code when the mode declares paper sizes.
    s.SetPaperSize(TQRPaperSize::Custom);
    s.SetSheetWidth(1000);
    s.SetSheetLength(1500);
    s.SetCopies(2);
    s.SetOrientation(poLandscape);
    s.ApplySettings();
    EXPECT_EQ(mode->dmPaperWidth, 1000);
    EXPECT_EQ(mode->dmPaperLength, 1500);
    EXPECT_EQ(mode->dmPaperSize, DMPAPER_USER);
    EXPECT_EQ(mode->dmCopies, 2);
    EXPECT_EQ(mode->dmOrientation, DMORIENT_LANDSCAPE);

    // The mode's 16-bit fields take the largest value that fits rather than a wrapped one.
    s.SetCopies(40000);
    s.SetSheetLength(50000);
    s.ApplySettings();
    EXPECT_EQ(mode->dmCopies, 32767);
    EXPECT_EQ(mode->dmPaperLength, 32767);

    // A mode without the paper-size field keeps its paper; copies, bin and orientation are written anyway.
    mode->dmFields &= ~(DM_PAPERSIZE | DM_COPIES | DM_DEFAULTSOURCE | DM_ORIENTATION);
    mode->dmPaperSize = DMPAPER_LETTER;
    s.ApplySettings();
    EXPECT_EQ(mode->dmPaperSize, DMPAPER_LETTER);
    EXPECT_TRUE(s.HasDevModeField(DM_COPIES | DM_DEFAULTSOURCE | DM_ORIENTATION));
    EXPECT_FALSE(s.HasDevModeField(DM_PAPERSIZE));
    EXPECT_FALSE(s.HasDevModeField(-1));

    // RefreshDeviceMode drops all of it: the next mode is the driver's default again.
    RefreshDeviceMode(p);
    TDevModeHandle fresh = ModeOf(p);
    EXPECT_NE(fresh.get(), mode.get());
    EXPECT_EQ(fresh->dmCopies, 1);
    EXPECT_EQ(fresh->dmDuplex, DMDUP_SIMPLEX);
}

TEST_F(CupsTest, ModeReachesTheJobAndAbortSendsNothing) {
    const size_t before = Fixture->Documents().size();
    TPrinter p;

    // An aborted document never reaches the printer.
    p.SetTitle("Aborted job");
    p.BeginDoc();
    p.Canvas()->drawText(100, 100, QStringLiteral("never printed"));
    p.Abort();
    EXPECT_TRUE(p.Aborted());
    EXPECT_FALSE(p.Printing());

    TPrinterSettings s;
    s.SetDevice(&p);
    TDevModeHandle mode = ModeOf(p);
    mode->dmDuplex = DMDUP_VERTICAL; // the printer's mode says duplex; settings pass it on
    s.ReadSettings();
    s.SetPaperSize(TQRPaperSize::A4);
    s.SetCopies(2);
    s.SetOutputBin(TQRBin::Manual);
    s.ApplySettings();

    p.SetTitle("Mode check");
    p.BeginDoc();
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(p.GetDeviceCaps(LOGPIXELSY) / 6);
    p.Canvas()->setFont(font);
    p.Canvas()->drawText(200, 400, QStringLiteral("Mode check page one"));
    p.NewPage();
    p.Canvas()->setFont(font);
    p.Canvas()->drawText(200, 400, QStringLiteral("Mode check page two"));
    EXPECT_EQ(p.PageNumber(), 2);
    p.EndDoc();
    EXPECT_GT(p.LastJobId(), 0);

    const auto docs = Fixture->WaitForDocuments(before + 1, 20s);
    ASSERT_EQ(docs.size(), before + 1) << "the aborted job must not arrive, the printed one must";
    const auto& pdf = docs.back();
    const auto pages = test::PdfPages(*Fixture, pdf);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_TRUE(test::NearPt(pages[0].WidthPt, 210) && test::NearPt(pages[0].HeightPt, 297))
        << pages[0].WidthPt << " x " << pages[0].HeightPt;
    const std::string text = test::PdfText(*Fixture, pdf);
    EXPECT_NE(text.find("Mode check page one"), std::string::npos) << text;
    EXPECT_NE(text.find("Mode check page two"), std::string::npos) << text;
    EXPECT_EQ(text.find("never printed"), std::string::npos);

    const auto job = Fixture->PrinterJob(static_cast<int>(docs.size()));
    EXPECT_EQ(job.at("copies"), "2");
    EXPECT_EQ(job.at("sides"), "two-sided-short-edge");
    EXPECT_EQ(job.at("job-name"), "Mode check");
    EXPECT_NE(job.at("media-col").find("x-dimension=21000 y-dimension=29700"), std::string::npos)
        << job.at("media-col");
    EXPECT_NE(job.at("media-col").find("media-source=manual"), std::string::npos) << job.at("media-col");
}

TEST(CupsQueue, BinCodesAndSourceKeywords) {
    const std::vector<std::string> offered{"auto", "main", "manual", "by-pass-tray"};
    EXPECT_EQ(SourceOfBinCode(DMBIN_UPPER, offered), "main");
    EXPECT_EQ(SourceOfBinCode(DMBIN_MANUAL, offered), "manual");
    EXPECT_EQ(SourceOfBinCode(DMBIN_AUTO, offered), "auto");
    EXPECT_EQ(SourceOfBinCode(DMBIN_LOWER, offered), ""); // nothing fits: the printer chooses
    EXPECT_EQ(SourceOfBinCode(DMBIN_MANUAL, {"by-pass-tray"}), "by-pass-tray");
    EXPECT_EQ(BinCodeOfSource("tray-2"), DMBIN_LOWER);
    EXPECT_EQ(BinCodeOfSource("roll-7"), 0);
    EXPECT_EQ(SourceChoiceName("by-pass-tray"), "ByPassTray");
    EXPECT_EQ(SourceChoiceName("main"), "Main");
}
