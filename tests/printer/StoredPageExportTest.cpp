// Export from stored pages: a loaded file fed to the export filters as a report run feeds them, and the
// PDF filter writing the pages themselves.

#include "printer/ExportFilters.h"
#include "printer/QRPrinter.h"
#include "printer/StoredPageExport.h"

#include "DamagedFiles.h"
#include "PopplerProbe.h"
#include "pagestore/PageListFixture.h"
#include "preview/RecordedPages.h"

#include "platform/gdi/Canvas.h"
#include "platform/system/Errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace pagimo;
using namespace pagimo::printer;

namespace {

// Records what a report run would hand a filter.
class TCollectingFilter : public TQRExporter {
public:
    struct TText {
        long double X, Y;
        gdi::TFont Font;
        uint32_t Background;
        TAlignment Alignment;
        std::string Text;
    };
    using TQRExporter::TQRExporter;
    void StartExport(int32_t w, int32_t l, const gdi::TFont& font) override {
        ++Starts;
        Width = w, Length = l, Font = font;
        Started = true;
    }
    void EndExportPage() override { ++Ends; }
    void FinishExport() override { ++Finishes; }
    void NewExportPage() override { Pages.emplace_back(); }
    void ExportText(long double x, long double y, const gdi::TFont& font, uint32_t background, TAlignment alignment,
                    const std::string& text) override {
        Pages.back().push_back({x, y, font, background, alignment, text});
    }
    int Starts = 0, Ends = 0, Finishes = 0;
    int32_t Width = 0, Length = 0;
    gdi::TFont Font;
    std::vector<std::vector<TText>> Pages;
};

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class StoredPageExport : public ::testing::Test {
protected:
    void SetUp() override {
        File = Dir.File("three.qrp");
        test::PrinterWithPages(3)->SaveReportFile(File);
        Loaded.OpenReportFile(File);
    }
    test::TTempDir Dir;
    std::string File;
    TQRPrinter Loaded;
};

// Page i draws "Page i" 24 px high at (200, 200) and 20 lines 11 px high at (200, 400 + 45 k), in
// tenths of a millimetre; the export gets them back at the same places, within a pixel's rounding.
TEST_F(StoredPageExport, FeedsTheFilterEveryTextOfEveryPageWhereAndAsItWasDrawn) {
    TCollectingFilter filter("unused");
    Loaded.ExportPages(filter);
    EXPECT_EQ(filter.Starts, 1);
    EXPECT_EQ(filter.Finishes, 1);
    EXPECT_EQ(filter.Ends, 3);
    ASSERT_EQ(filter.Pages.size(), 3u);
    EXPECT_NEAR(filter.Width, 2100, 3);
    EXPECT_NEAR(filter.Length, 2970, 3);
    EXPECT_EQ(filter.Font.Height, -11) << "the font most of the page's text uses";
    constexpr long double Pixel = 254.0L / 96;
    for (size_t p = 0; p < 3; ++p) {
        const auto& texts = filter.Pages[p];
        ASSERT_EQ(texts.size(), 21u);
        EXPECT_EQ(texts[0].Text, "Page " + std::to_string(p + 1));
        EXPECT_NEAR(static_cast<double>(texts[0].X), 200, static_cast<double>(Pixel));
        EXPECT_NEAR(static_cast<double>(texts[0].Y), 200, static_cast<double>(Pixel));
        EXPECT_EQ(texts[0].Font.Name, "Arial");
        EXPECT_EQ(texts[0].Font.Height, -24);
        EXPECT_EQ(texts[0].Alignment, taLeftJustify);
        EXPECT_EQ(texts[0].Background, gdi::clWhite) << "drawn on the device context's opaque white";
        for (size_t k = 1; k < texts.size(); ++k) {
            EXPECT_EQ(texts[k].Text.substr(0, texts[k].Text.find(' ', 5)), "Line " + std::to_string(k));
            EXPECT_NEAR(static_cast<double>(texts[k].Y), 400 + 45.0 * static_cast<double>(k - 1),
                        static_cast<double>(Pixel));
            EXPECT_EQ(texts[k].Font.Height, -11);
        }
    }
}

TEST_F(StoredPageExport, TextCsvAndHtmlFiltersWriteTheLoadedPages) {
    TQRExportFilterLibrary library;
    RegisterStandardExportFilters(library);
    const std::string txt = Dir.File("out.txt"), csv = Dir.File("out.csv"), html = Dir.File("out.html");
    Loaded.ExportPages(*library.CreateExporter(2, txt));
    Loaded.ExportPages(*library.CreateExporter(3, csv));
    Loaded.ExportPages(*library.CreateExporter(4, html));

    const std::string text = ReadAll(txt);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 2) << "a form feed before pages 2 and 3";
    EXPECT_TRUE(text.starts_with("Page 1\n")) << text.substr(0, 80);
    EXPECT_NE(text.find("\fPage 3\n"), std::string::npos);

    const std::string records = ReadAll(csv);
    EXPECT_EQ(std::count(records.begin(), records.end(), '\n'), 63) << "21 printed lines a page";
    EXPECT_TRUE(records.starts_with("Page 1\r\n\"Line 1 of a page that the preview shows, with some words.\"\r\n"))
        << records.substr(0, 120);

    const std::string document = ReadAll(html);
    EXPECT_EQ(std::count(document.begin(), document.end(), '\n') > 60, true);
    size_t spans = 0;
    for (size_t at = 0; (at = document.find("<span ", at)) != std::string::npos; ++at)
        ++spans;
    EXPECT_EQ(spans, 63u);
    EXPECT_NE(document.find("<title>three.qrp</title>"), std::string::npos) << "named after the file";
    EXPECT_NE(document.find("left:20.11mm;top:20.11mm;"), std::string::npos) << "the heading's place";
}

TEST_F(StoredPageExport, ThePdfFilterWritesEveryPageAsVectorText) {
    const std::string pdf = Dir.File("out.pdf");
    TQRPDFExportFilter filter(pdf);
    Loaded.ExportPages(filter);
    EXPECT_EQ(test::PdfPageCount(pdf), 3);
    const std::string page2 = test::PdfPagesText(pdf, 2, 2);
    EXPECT_NE(page2.find("Page 2"), std::string::npos) << page2;
    EXPECT_NE(page2.find("Line 20 of a page that the preview shows"), std::string::npos);
}

// A damaged page stops the export before any file is written; going on, it keeps its place empty.
TEST_F(StoredPageExport, ADamagedPageStopsTheExportOrStaysEmpty) {
    auto bytes = test::FileBytes(File);
    test::BreakRecordInsidePage(bytes, 2);
    const std::string damaged = Dir.File("damaged.qrp");
    test::WriteFileBytes(damaged, bytes);
    TQRPrinter p;
    p.OpenReportFile(damaged);
    for (const char* name : {"d.csv", "d.pdf"}) {
        TQRExportFilterLibrary library;
        RegisterStandardExportFilters(library);
        const auto filter = library.CreateExporter(std::string(name).ends_with("csv") ? 3 : 5, Dir.File(name));
        try {
            p.ExportPages(*filter);
            ADD_FAILURE() << name << " was exported";
        } catch (const EQRError& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with("Page 2 cannot be drawn: Metafile is not valid")) << e.what();
        }
        EXPECT_FALSE(std::filesystem::exists(Dir.File(name)));
    }
    EXPECT_EQ(Dir.Count(), 2u) << "only the two QRP files, no temporary file left";

    TCollectingFilter filter("unused");
    TStoredExportOptions options;
    options.KeepGoing = true;
    std::vector<int32_t> reported;
    options.OnDamagedPage = [&reported](int32_t n, const std::string&) { reported.push_back(n); };
    EXPECT_EQ(ExportStoredPages(filter, *p.Document(), options), 1);
    EXPECT_EQ(reported, std::vector<int32_t>{2});
    ASSERT_EQ(filter.Pages.size(), 3u);
    EXPECT_EQ(filter.Pages[0].size(), 21u);
    EXPECT_TRUE(filter.Pages[1].empty());
    EXPECT_EQ(filter.Pages[2].size(), 21u);
}

// Generated pages: text filters still run the report again; the PDF filter takes the stored pages.
TEST_F(StoredPageExport, GeneratedPagesGoToTheReportUnlessTheFilterTakesPictures) {
    auto generated = test::PrinterWithPages(2);
    int reruns = 0;
    generated->ExportHook = [&reruns](TQRExporter&) { ++reruns; };
    TCollectingFilter texts("unused");
    generated->ExportPages(texts);
    EXPECT_EQ(reruns, 1);
    EXPECT_TRUE(texts.Pages.empty());
    const std::string pdf = Dir.File("generated.pdf");
    TQRPDFExportFilter filter(pdf);
    generated->ExportPages(filter);
    EXPECT_EQ(reruns, 1);
    EXPECT_EQ(test::PdfPageCount(pdf), 2);
}

} // namespace
