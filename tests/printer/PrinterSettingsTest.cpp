// The paper and bin vocabulary, paper detection, settings without a printer, and the export filter
// registry. This program sees no printer: CUPS_SERVER points at a port where nothing listens.

#include "printer/PrinterSettings.h"
#include "platform/printing/Printer.h"
#include "platform/system/Errors.h"
#include "printer/ExportFilter.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace pagimo;
using namespace pagimo::printer;

namespace {

const bool NoPrinters = [] { return setenv("CUPS_SERVER", "localhost:9", 1) == 0; }();

constexpr long double Screen = 96.0L / 254;

struct TPaperRow {
    TQRPaperSize Size;
    int32_t Width, Length;
    const char* Why;
    friend void PrintTo(const TPaperRow& row, std::ostream* out) { *out << row.Why; }
};

class PaperTable : public ::testing::TestWithParam<TPaperRow> {};

} // namespace

TEST_P(PaperTable, SheetInTenthsOfAMillimetre) {
    const auto& row = GetParam();
    EXPECT_EQ(PaperWidthTenths(row.Size), row.Width) << row.Why;
    EXPECT_EQ(PaperLengthTenths(row.Size), row.Length) << row.Why;
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PaperTable,
    ::testing::Values(TPaperRow{TQRPaperSize::A4, 2100, 2970, "metric size, exact"},
                      TPaperRow{TQRPaperSize::Letter, 2159, 2794, "inch size rounded to 0.1 mm"},
                      TPaperRow{TQRPaperSize::Env9, 984, 2254, "98.43 mm rounds down"},
                      TPaperRow{TQRPaperSize::Note, 2159, 2790, "Note is 279.0 mm long, not 279.4"},
                      TPaperRow{TQRPaperSize::Ledger, 4318, 2794, "Ledger is wider than long"},
                      TPaperRow{TQRPaperSize::CSheet, 1000, 1000, "the sheet sizes are 100 mm squares"},
                      TPaperRow{TQRPaperSize::Default, 0, 0, "Default has no fixed size"}),
    [](const ::testing::TestParamInfo<TPaperRow>& row) { return std::string(PaperInfo(row.param.Size).Name); });

TEST(PaperVocabulary, CodesNamesAndBins) {
    EXPECT_EQ(PaperNames().size(), 28u);
    EXPECT_EQ(PaperNames()[7], "Executive7 1/2 x 10 in");
    EXPECT_EQ(PaperNames()[22], "Envelope #12 4 \u00be x 11");
    EXPECT_EQ(PaperNames()[27], "Custom Size");
    for (int i = 1; i <= 26; ++i)
        EXPECT_EQ(PaperInfo(static_cast<TQRPaperSize>(i)).Code, i);
    EXPECT_EQ(PaperInfo(TQRPaperSize::Custom).Code, printing::DMPAPER_USER);

    EXPECT_EQ(BinInfo(TQRBin::First).Code, BinInfo(TQRBin::Upper).Code);
    EXPECT_EQ(BinInfo(TQRBin::Cassette).Code, 14);
    EXPECT_EQ(BinInfo(TQRBin::Last).Code, 14);
    EXPECT_EQ(BinInfo(TQRBin::LargeCapacity).Code, 11);

    TQRPaperSize size{};
    EXPECT_TRUE(PaperSizeFromName("a4", size));
    EXPECT_EQ(size, TQRPaperSize::A4);
    EXPECT_TRUE(PaperSizeFromName("qr11X17", size));
    EXPECT_EQ(size, TQRPaperSize::qr11X17);
    EXPECT_FALSE(PaperSizeFromName("A0", size));
    TQRBin bin{};
    EXPECT_TRUE(BinFromName("manual", bin));
    EXPECT_EQ(bin, TQRBin::Manual);
    EXPECT_FALSE(BinFromName("Tray7", bin));
}

// Detection compares whole 4 mm steps and applies every match in table order, so later entries of
// the same size win; for square sheets the landscape test comes last.
TEST(PaperDetection, LastMatchOfTheTableWins) {
    struct TRow {
        int32_t W, H;
        TQRPaperSize Size;
        TPrinterOrientation Orientation;
        const char* Why;
    } rows[] = {
        {794, 1123, TQRPaperSize::A4Small, poPortrait, "A4 pages: A4Small follows A4"},
        {1123, 794, TQRPaperSize::A4Small, poLandscape, "landscape A4"},
        {816, 1056, TQRPaperSize::Note, poPortrait, "Letter pages: Note is 279 mm, same 4 mm step"},
        {1056, 1632, TQRPaperSize::qr11X17, poPortrait, "Tabloid pages: 11x17 follows"},
        {1123, 1587, TQRPaperSize::A3, poPortrait, "A3 as recorded here: 1587 px is just short of 420 mm"},
        {1123, 1588, TQRPaperSize::A3, poPortrait, "A3 as other programs record it"},
        {378, 378, TQRPaperSize::ESheet, poLandscape, "100 mm square: ESheet, landscape last"},
    };
    for (const auto& r : rows) {
        const auto matches = MatchPaper(r.W, r.H, Screen);
        ASSERT_FALSE(matches.empty()) << r.Why;
        EXPECT_EQ(matches.back().Size, r.Size) << r.Why;
        EXPECT_EQ(matches.back().Orientation, r.Orientation) << r.Why;
    }
    EXPECT_TRUE(MatchPaper(500, 500, Screen).empty());
    EXPECT_TRUE(MatchPaper(794, 1123, 0).empty());
    const auto a4 = MatchPaper(794, 1123, Screen);
    ASSERT_EQ(a4.size(), 2u);
    EXPECT_EQ(a4[0].Size, TQRPaperSize::A4);
}

TEST(SettingsWithoutPrinter, GuardedSettersIgnoreTheDeviceSettingsButKeepTheLayout) {
    ASSERT_TRUE(NoPrinters);
    printing::TPrinter device;
    ASSERT_TRUE(device.Printers().empty());
    TPrinterSettings s;
    s.SetDevice(&device); // nothing installed: nothing is read
    EXPECT_FALSE(s.HasDevModeField(printing::DM_COPIES));
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::A4);
    // Paper and sheet are layout: a report names them and keeps them without a printer.
    s.SetPaperSize(TQRPaperSize::A5);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::A5);
    EXPECT_EQ(s.SheetWidth(), 1480);
    s.SetPaperSize(TQRPaperSize::A4);
    s.SetCopies(3);
    s.SetOutputBin(TQRBin::Manual);
    EXPECT_EQ(s.Copies(), 1);
    EXPECT_EQ(s.OutputBin(), TQRBin::First);
    // Orientation is a matter of layout, not of the missing printer: it is taken.
    s.SetOrientation(poLandscape);
    EXPECT_EQ(s.Orientation(), poLandscape);
    s.SetOrientation(poPortrait);
    s.ApplySettings(); // no mode: nothing to write, no failure
    EXPECT_EQ(s.DotsPerInchX(), 0);
    EXPECT_EQ(s.UnprintableLeft(), 0);

    // Default takes the locale's paper instead of a sheet of 0 x 0.
    s.SetPaperSize(TQRPaperSize::Default);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::Default);
    const bool letter = printing::LocaleDefaultPaper() == printing::DMPAPER_LETTER;
    EXPECT_EQ(s.SheetWidth(), letter ? 2159 : 2100);
    EXPECT_EQ(s.SheetLength(), letter ? 2794 : 2970);
    s.SetPaperSize(TQRPaperSize::Custom);
    s.SetSheetWidth(1420);
    s.SetSheetLength(2900);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::Custom);
    EXPECT_EQ(s.SheetWidth(), 1420);
    EXPECT_EQ(s.SheetLength(), 2900);

    // The printer layer without a printer: no capabilities, no document.
    EXPECT_EQ(device.GetDeviceCaps(printing::LOGPIXELSX), 0);
    EXPECT_TRUE(device.DeviceCapabilities(printing::DC_PAPERS).empty());
    EXPECT_THROW(device.BeginDoc(), EQRError);
    EXPECT_FALSE(device.Printing());
}

TEST(SettingsWithoutPrinter, LocalePaperFollowsTheMeasurementSystem) {
    const char* old = std::getenv("LC_ALL");
    const std::string saved = old ? old : "";
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(printing::LocaleDefaultPaper(), printing::DMPAPER_A4); // the C locale measures metric
    if (old) {
        setenv("LC_ALL", saved.c_str(), 1);
    } else {
        unsetenv("LC_ALL");
    }
}

namespace {

class TTextExporter : public TQRExporter {
public:
    using TQRExporter::TQRExporter;
    void StartExport(int32_t, int32_t, const gdi::TFont&) override {}
    void EndExportPage() override {}
    void FinishExport() override {}
    void NewExportPage() override {}
    void ExportText(long double, long double, const gdi::TFont&, uint32_t, TAlignment, const std::string&) override {}
};

} // namespace

TEST(ExportFilterLibrary, SaveFilterAndEntrySelection) {
    TQRExportFilterLibrary library;
    EXPECT_EQ(library.BuildSaveFilter(), "Report file(*.QRP)|*.QRP");
    EXPECT_EQ(library.EntryForFilterIndex(1), nullptr);
    EXPECT_EQ(library.CreateExporter(2, "x.txt"), nullptr);

    auto make = [](const std::string& name) { return std::make_unique<TTextExporter>(name); };
    library.Register(make, "Text file", "TXT");
    library.Register(make, "Comma separated", "CSV");
    EXPECT_EQ(library.BuildSaveFilter(),
              "Report file(*.QRP)|*.QRP|Text file (*.TXT)|*.TXT|Comma separated (*.CSV)|*.CSV");
    ASSERT_NE(library.EntryForFilterIndex(3), nullptr);
    EXPECT_EQ(library.EntryForFilterIndex(3)->Extension, "CSV");
    EXPECT_EQ(library.EntryForFilterIndex(4), nullptr);
    EXPECT_EQ(library.EntryForFilterIndex(0), nullptr);

    auto exporter = library.CreateExporter(2, "/tmp/out.txt");
    ASSERT_NE(exporter, nullptr);
    EXPECT_EQ(exporter->FileName, "/tmp/out.txt");
    EXPECT_FALSE(exporter->Started);
    EXPECT_EQ(exporter->Report, nullptr);
    EXPECT_FALSE(exporter->IsContinuous());
}
