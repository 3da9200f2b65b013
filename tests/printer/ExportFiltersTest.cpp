// The text, CSV and HTML export filters driven through the filter contract the way a report run drives
// them, their registration, and what they leave on disk when writing fails.

#include "TempDir.h"
#include "printer/ExportFilters.h"
#include "printer/StoredPageExport.h"
#include "platform/system/Errors.h"
#include "printer/QRPrinter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <limits>
#include <sstream>
#include <unistd.h>

using namespace pagimo;
using namespace pagimo::printer;
namespace fs = std::filesystem;

namespace {

const bool NoPrinters = [] { return setenv("CUPS_SERVER", "localhost:9", 1) == 0; }();

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Spaces(size_t n) {
    return std::string(n, ' ');
}

std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ExportFilters : public ::testing::Test {
protected:
    pagimo::test::TTempDir Temp;
    fs::path Dir = Temp.Path();
    gdi::TFont Font; // Arial, 13 px: the report font and the detail font

    // Two invoice pages as a report run hands them over: the report ends a page before its first one,
    // headers with a right-aligned page number, detail lines with right-aligned amounts placed a
    // little lower than their names, Czech diacritics, a name with comma, quotes and markup
    // characters, and a centred total. Positions are cell and row multiples of the report font.
    void RunInvoice(TQRFileExportFilter& f) {
        f.StartExport(2100, 2970, Font);
        const long double c = f.CellWidth(), r = f.RowHeight(), top = 150;
        gdi::TFont bold = Font;
        bold.Weight = gdi::FW_BOLD;
        auto detail = [&](long double row, const std::string& name, const std::string& qty, const std::string& price) {
            const long double y = top + row * r;
            f.ExportText(10 * c, y, Font, gdi::clWhite, taLeftJustify, name);
            f.ExportText(40 * c, y + 3, Font, gdi::clWhite, taRightJustify, qty);
            f.ExportText(55 * c, y + 3, Font, gdi::clWhite, taRightJustify, price);
        };
        f.EndExportPage();
        for (int page = 1; page <= 2; ++page) {
            f.NewExportPage();
            f.ExportText(10 * c, top, bold, gdi::clWhite, taLeftJustify, "Faktura");
            f.ExportText(60 * c, top, Font, 0x00FFFF, taRightJustify, "Strana " + std::to_string(page));
            if (page == 1) {
                detail(2, "Šroubek M6", "12", "1 234,50");
                detail(3, "Matice, \"DIN\" <&>", "3", "99,00");
                detail(4, "Žluťoučký kůň", "1500", "12,00");
            } else {
                detail(2, "Podložka", "7", "0,50");
                f.ExportText(35 * c, top + 4 * r, bold, 0x1FFFFFFF, taCenter, "Celkem 1 234");
            }
            f.EndExportPage();
        }
        f.FinishExport();
    }
};

TEST_F(ExportFilters, TextPlacesLinesOnTheCharacterGridPageByPage) {
    const fs::path out = Dir / "invoice.txt";
    TQRTextExportFilter f(out.string());
    RunInvoice(f);
    // The left margin (10 cells) is dropped; right-aligned amounts end in the same column; pages are
    // separated by a form feed.
    const std::string expected = "Faktura" + Spaces(35) + "Strana 1\n" + "\n" +                //
                                 "Šroubek M6" + Spaces(18) + "12" + Spaces(7) + "1 234,50\n" + //
                                 "Matice, \"DIN\" <&>" + Spaces(12) + "3" + Spaces(10) + "99,00\n" + "Žluťoučký kůň" +
                                 Spaces(13) + "1500" + Spaces(10) + "12,00\n" +                 //
                                 "\f" + "Faktura" + Spaces(35) + "Strana 2\n" + "\n" +          //
                                 "Podložka" + Spaces(21) + "7" + Spaces(11) + "0,50\n" + "\n" + //
                                 Spaces(19) + "Celkem 1 234\n";
    EXPECT_EQ(ReadAll(out), expected);
    EXPECT_FALSE(f.Started);
}

// Pages are written as they end, and the margin is only known at the end: a document of several
// megabytes whose leftmost text comes on its last page is shifted left as a whole, across the
// rewrite's buffer boundaries, and a second run with the same filter starts its margin afresh.
TEST_F(ExportFilters, TextDropsTheDocumentsMarginFoundOnItsLastPage) {
    const fs::path out = Dir / "long.txt";
    TQRTextExportFilter f(out.string());
    const std::string word = "Odstavec s diakritikou: p\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd k\u016f\u0148";
    const int pages = 1000, rows = 40;
    for (int run = 0; run < 2; ++run) {
        f.StartExport(2100, 2970, Font);
        const long double c = f.CellWidth(), r = f.RowHeight();
        std::string expected;
        for (int p = 0; p < pages; ++p) {
            f.NewExportPage();
            const bool last = p == pages - 1;
            // The second run's last page stays at the others' column: its margin is 12 cells.
            const long double x = (last && run == 0 ? 4 : 12) * c;
            if (p > 0) expected += '\f';
            for (int row = 0; row < rows; ++row) {
                f.ExportText(x, 100 + row * r, Font, gdi::clWhite, taLeftJustify, word);
                expected += (run == 0 && !last ? Spaces(8) : std::string()) + word + "\n";
            }
            f.EndExportPage();
        }
        f.FinishExport();
        const std::string got = ReadAll(out);
        ASSERT_GT(got.size(), 2u << 20) << "the document must span several rewrite buffers";
        EXPECT_TRUE(got == expected) << "run " << run << ": " << got.size() << " bytes against " << expected.size();
    }
}

TEST_F(ExportFilters, TextPushesOverlappingTextsRightAndKeepsDistinctLinesApart) {
    const fs::path out = Dir / "overlap.txt";
    TQRTextExportFilter f(out.string());
    f.StartExport(2100, 2970, Font);
    const long double c = f.CellWidth(), r = f.RowHeight();
    f.NewExportPage();
    // A long label runs into the next field, and a right-aligned number runs past the left edge.
    f.ExportText(5 * c, 100, Font, gdi::clWhite, taLeftJustify, "Dlouhý popisek");
    f.ExportText(10 * c, 100, Font, gdi::clWhite, taLeftJustify, "Pole");
    f.ExportText(2 * c, 100, Font, gdi::clWhite, taRightJustify, "123456");
    // Two lines of a small font closer than one row still get a row each, in order.
    f.ExportText(5 * c, 100 + 0.6L * r, Font, gdi::clWhite, taLeftJustify, "druhý");
    f.ExportText(5 * c, 100 + 1.2L * r, Font, gdi::clWhite, taLeftJustify, "třetí");
    f.EndExportPage();
    f.FinishExport();
    EXPECT_EQ(ReadAll(out), "123456 Dlouhý popisek Pole\n"
                            "     druhý\n"
                            "     třetí\n");
}

TEST_F(ExportFilters, CsvWritesOneQuotedRecordPerPrintedLine) {
    const fs::path out = Dir / "invoice.csv";
    TQRCSVExportFilter f(out.string());
    RunInvoice(f);
    EXPECT_EQ(ReadAll(out), "Faktura,Strana 1\r\n"
                            "Šroubek M6,12,\"1 234,50\"\r\n"
                            "\"Matice, \"\"DIN\"\" <&>\",3,\"99,00\"\r\n"
                            "Žluťoučký kůň,1500,\"12,00\"\r\n"
                            "Faktura,Strana 2\r\n"
                            "Podložka,7,\"0,50\"\r\n"
                            "Celkem 1 234\r\n");
}

TEST_F(ExportFilters, CsvKeepsEmptyFieldsAndQuotesLineBreaks) {
    const fs::path out = Dir / "fields.csv";
    TQRCSVExportFilter f(out.string());
    f.StartExport(2100, 2970, Font);
    f.NewExportPage();
    f.ExportText(300, 200, Font, gdi::clWhite, taLeftJustify, "");
    f.ExportText(100, 200, Font, gdi::clWhite, taLeftJustify, "a\nb");
    f.ExportText(500, 200, Font, gdi::clWhite, taLeftJustify, "\"");
    f.ExportText(100, 400, Font, gdi::clWhite, taLeftJustify, ""); // a line of empty texts only
    f.EndExportPage();
    f.FinishExport();
    EXPECT_EQ(ReadAll(out), "\"a\nb\",,\"\"\"\"\r\n");
}

TEST_F(ExportFilters, HtmlPositionsEscapedTextsInPaperSizedPages) {
    const fs::path out = Dir / "invoice.html";
    TQRPrinter printer;
    printer.SetDocumentTitle("Faktura <2026> & spol.");
    TQRHTMLExportFilter f(out.string());
    f.Printer = &printer;
    RunInvoice(f);
    const std::string html = ReadAll(out);
    const long double c = f.CellWidth();
    auto mm = [](long double tenths) {
        std::ostringstream s;
        s << std::fixed << std::setprecision(2) << static_cast<double>(tenths / 10);
        std::string v = s.str();
        while (v.back() == '0')
            v.pop_back();
        if (v.back() == '.') v.pop_back();
        return v + "mm";
    };

    EXPECT_EQ(html.rfind("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
                         "<title>Faktura &lt;2026&gt; &amp; spol.</title>\n",
                         0),
              0u);
    EXPECT_NE(html.find("<div class=\"page\" style=\"width:210mm;height:297mm\">\n"
                        "<span style=\"left:" +
                        mm(10 * c) +
                        ";top:15mm;font-family:&#39;Arial&#39;,sans-serif;font-size:13px;font-weight:700;"
                        "color:#000000;\">Faktura</span>\n"),
              std::string::npos);
    // Right-aligned, on a yellow background (COLORREF 0x00FFFF is red + green).
    EXPECT_NE(html.find("<span style=\"left:" + mm(60 * c) +
                        ";top:15mm;transform:translateX(-100%);font-family:&#39;Arial&#39;,sans-serif;"
                        "font-size:13px;color:#000000;background-color:#ffff00;\">Strana 2</span>"),
              std::string::npos);
    EXPECT_NE(html.find(">Matice, &quot;DIN&quot; &lt;&amp;&gt;</span>"), std::string::npos);
    EXPECT_NE(html.find(">Žluťoučký kůň</span>"), std::string::npos);
    // Centred; a clear background draws none.
    EXPECT_NE(html.find("transform:translateX(-50%);font-family:&#39;Arial&#39;,sans-serif;font-size:13px;"
                        "font-weight:700;color:#000000;\">Celkem 1 234</span>"),
              std::string::npos);
    size_t pages = 0, spans = 0;
    for (size_t at = 0; (at = html.find("<div class=\"page\"", at)) != std::string::npos; ++at)
        ++pages;
    for (size_t at = 0; (at = html.find("<span ", at)) != std::string::npos; ++at)
        ++spans;
    EXPECT_EQ(pages, 2u);
    EXPECT_EQ(spans, 2u + 9u + 2u + 3u + 1u);
    EXPECT_EQ(html.substr(html.size() - 23), "</div>\n</body>\n</html>\n");
}

TEST_F(ExportFilters, HtmlStylesFontsAndNeutralisesHostileNames) {
    const fs::path out = Dir / "Přehled.html";
    TQRHTMLExportFilter f(out.string());
    f.StartExport(2970, 2100, Font);
    f.NewExportPage();
    gdi::TFont font;
    font.Name = "Evil'</style><script>";
    font.Height = -20;
    font.Italic = font.Underline = font.StrikeOut = true;
    font.Color = 0x0000FF; // red
    f.ExportText(0, 0, font, 0x80000005, taLeftJustify, "<script>alert(1)</script>\x01\xff");
    f.EndExportPage();
    f.FinishExport();
    const std::string html = ReadAll(out);
    EXPECT_NE(html.find("<title>Přehled</title>"), std::string::npos); // no report printer: the file's name
    EXPECT_NE(html.find("style=\"width:297mm;height:210mm\""), std::string::npos);
    EXPECT_NE(html.find("<span style=\"left:0mm;top:0mm;font-family:&#39;Evil\\&#39;&lt;/style&gt;&lt;script&gt;&#39;,"
                        "sans-serif;font-size:20px;font-style:italic;text-decoration:underline line-through;"
                        "color:#ff0000;\">&lt;script&gt;alert(1)&lt;/script&gt; \xEF\xBF\xBD</span>"),
              std::string::npos)
        << html;
    EXPECT_EQ(html.find("<script>"), std::string::npos);
}

TEST_F(ExportFilters, BadInputNeitherCrashesNorCorruptsTheOutput) {
    const fs::path out = Dir / "bad.txt";
    TQRTextExportFilter f(out.string());
    f.StartExport(0, -5, gdi::TFont{}); // no paper: A4 assumed
    // A text before any page opens one; coordinates that are not numbers or far off stay bounded.
    f.ExportText(std::numeric_limits<long double>::quiet_NaN(), 0, Font, gdi::clWhite, taLeftJustify, "a\tb");
    f.ExportText(-1e30L, 1e30L, Font, gdi::clWhite, taCenter, "\xC3\x28 \xF0\x9F\x98\x80");
    f.EndExportPage();
    f.EndExportPage();
    f.FinishExport();
    const std::string text = ReadAll(out);
    EXPECT_EQ(text.substr(0, 4), "a b\n");
    EXPECT_NE(text.find("\xEF\xBF\xBD( \xF0\x9F\x98\x80\n"), std::string::npos);
    EXPECT_LT(text.size(), 1000u) << "off-paper positions are drawn to the paper's edge";
}

TEST_F(ExportFilters, UncreatableTargetRaisesAndLeavesNothingBehind) {
    // A folder that does not exist: the error comes at the start, before the report runs.
    const std::string missing = (Dir / "no-such-folder" / "out.csv").string();
    TQRCSVExportFilter a(missing);
    try {
        a.StartExport(2100, 2970, Font);
        FAIL() << "no error";
    } catch (const EQRError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + missing);
    }
    EXPECT_FALSE(a.Started);

    // A target that cannot be replaced (a folder of that name): the error comes at the end, and the
    // temporary file is gone with it.
    fs::create_directory(Dir / "taken.html");
    TQRHTMLExportFilter b((Dir / "taken.html").string());
    b.StartExport(2100, 2970, Font);
    b.NewExportPage();
    b.ExportText(0, 0, Font, gdi::clWhite, taLeftJustify, "x");
    b.EndExportPage();
    try {
        b.FinishExport();
        FAIL() << "no error";
    } catch (const EQRError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + (Dir / "taken.html").string());
    }
    EXPECT_EQ(Listing(Dir), std::vector<std::string>{"taken.html"});
    EXPECT_TRUE(fs::is_empty(Dir / "taken.html"));
}

TEST_F(ExportFilters, AbandonedRunKeepsTheOldFileAndLeavesNoTemporary) {
    const fs::path out = Dir / "old.txt";
    std::ofstream(out) << "old";
    {
        TQRTextExportFilter f(out.string());
        f.StartExport(2100, 2970, Font);
        f.NewExportPage();
        f.ExportText(0, 0, Font, gdi::clWhite, taLeftJustify, "new");
        EXPECT_EQ(Listing(Dir).size(), 2u); // the temporary file beside the target
    }                                       // destroyed without FinishExport, as after a failed or cancelled run
    EXPECT_EQ(Listing(Dir), std::vector<std::string>{"old.txt"});
    EXPECT_EQ(ReadAll(out), "old");

    TQRTextExportFilter g(out.string());
    g.StartExport(2100, 2970, Font);
    g.NewExportPage();
    g.ExportText(0, 0, Font, gdi::clWhite, taLeftJustify, "new");
    g.EndExportPage();
    g.FinishExport();
    EXPECT_EQ(Listing(Dir), std::vector<std::string>{"old.txt"});
    EXPECT_EQ(ReadAll(out), "new\n");
}

TEST(ExportFilterRegistry, StandardFiltersFollowTheReportFileInTheSaveFilter) {
    TQRExportFilterLibrary library;
    RegisterStandardExportFilters(library);
    RegisterStandardExportFilters(library); // a second registration adds nothing
    EXPECT_EQ(library.BuildSaveFilter(), "Report file(*.QRP)|*.QRP|Text file (*.txt)|*.txt|CSV file (*.csv)|*.csv|"
                                         "HTML document (*.html)|*.html|PDF document (*.pdf)|*.pdf");
    EXPECT_EQ(library.CreateExporter(1, "a.QRP"), nullptr);
    const auto text = library.CreateExporter(2, "a.txt");
    const auto csv = library.CreateExporter(3, "a.csv");
    const auto html = library.CreateExporter(4, "a.html");
    EXPECT_NE(dynamic_cast<TQRTextExportFilter*>(text.get()), nullptr);
    EXPECT_NE(dynamic_cast<TQRCSVExportFilter*>(csv.get()), nullptr);
    EXPECT_NE(dynamic_cast<TQRHTMLExportFilter*>(html.get()), nullptr);
    EXPECT_EQ(html->FileName, "a.html");
    EXPECT_FALSE(html->Started);
    EXPECT_NE(dynamic_cast<TQRPDFExportFilter*>(library.CreateExporter(5, "a.pdf").get()), nullptr);
    EXPECT_EQ(library.CreateExporter(6, "a.x"), nullptr);
}

} // namespace
