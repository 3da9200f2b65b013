// The example reports (examples/*.form over the database the build makes from examples/invoices.sql),
// run through qrptool as a user runs them: each records its pages, the invoice list adds up and
// exports to the files kept in tests/data/examples, the labels fill both columns, and the handbook
// loses no word where its paragraphs cross page breaks.

#include "QrptoolRun.h"
#include "TempDir.h"
#include "TestPaths.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using pagimo::test::RunQrptool;
using pagimo::test::TRun;

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path Database() {
    return fs::path(PAGIMO_BINARY_DIR) / "examples" / "invoices.db";
}

fs::path Form(const std::string& name) {
    return pagimo::test::SourceDir() / "examples" / (name + ".form");
}

// Rows of a query on the example database, each row's columns joined by a tab.
std::vector<std::string> Query(const std::string& sql) {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(Database().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        ADD_FAILURE() << "cannot open " << Database();
        return rows;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db);
    } else {
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                if (i) row += '\t';
                if (const unsigned char* t = sqlite3_column_text(st, i)) row += reinterpret_cast<const char*>(t);
            }
            rows.push_back(row);
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

// The records of a CSV file (CRLF between records, fields quoted when they hold a comma or a quote).
std::vector<std::vector<std::string>> CsvRecords(const std::string& text) {
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                records.back().back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                records.back().back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            records.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            records.emplace_back(1);
            ++i;
        } else {
            records.back().back() += c;
        }
    }
    if (records.back() == std::vector<std::string>(1)) records.pop_back();
    return records;
}

class Examples : public ::testing::Test {
protected:
    pagimo::test::TTempDir Temp;
    fs::path Dir = Temp.Path();

    // qrptool with the given arguments, in a fixed locale so that amounts print as 1,234.50.
    TRun Qrptool(const std::string& args) { return RunQrptool(Dir, args, "LC_ALL=C.UTF-8"); }

    TRun Report(const std::string& example, const std::string& args) {
        return Qrptool("report " + Form(example).string() + " --db " + Database().string() + " " + args);
    }

    // The report exported through the filter of the extension; empty (with a failure) when it fails.
    std::string Export(const std::string& example, const std::string& extension) {
        const fs::path out = Dir / (example + "." + extension);
        const TRun r = Report(example, "-o " + out.string());
        EXPECT_EQ(r.Status, 0) << r.Err;
        return ReadAll(out);
    }

    int Pages(const fs::path& qrp) {
        const TRun r = Qrptool("info " + qrp.string());
        EXPECT_EQ(r.Status, 0) << r.Err;
        std::smatch m;
        if (!std::regex_search(r.Out, m, std::regex("Pages: +([0-9]+)"))) return -1;
        return std::stoi(m[1]);
    }
};

TEST_F(Examples, EachRecordsItsPagesPlainAndCompressed) {
    ASSERT_TRUE(fs::exists(Database())) << "the build makes it";
    const std::map<std::string, int> expected = {{"invoice", 2}, {"labels", 2}, {"handbook", 0}};
    for (const auto& [name, count] : expected) {
        SCOPED_TRACE(name);
        const fs::path plain = Dir / (name + ".qrp"), compressed = Dir / (name + "_compressed.qrp");
        TRun r = Report(name, "-o " + plain.string() + " --strict");
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(r.Err, "") << "a strict run of an example finds no mistake";
        r = Report(name, "-o " + compressed.string() + " --compress");
        ASSERT_EQ(r.Status, 0) << r.Err;
        const int pages = Pages(plain);
        if (count) {
            EXPECT_EQ(pages, count);
        }
        EXPECT_EQ(Pages(compressed), pages);
        EXPECT_LT(fs::file_size(compressed), fs::file_size(plain));
        EXPECT_NE(Qrptool("info " + compressed.string()).Out.find("Compressed:  yes"), std::string::npos);
    }
}

TEST_F(Examples, InvoiceExportsMatchTheKeptFiles) {
    for (const char* extension : {"txt", "csv", "html"}) {
        SCOPED_TRACE(extension);
        const std::string expected =
            ReadAll(pagimo::test::DataDir() / "examples" / (std::string("invoice.") + extension));
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(Export("invoice", extension), expected);
    }
}

// The totals the report prints, against sums computed here from the invoice lines themselves.
TEST_F(Examples, InvoiceTotalsAddUp) {
    const std::vector<std::string> lines = SplitLines(Export("invoice", "txt"));
    // 52761.25 as 52,761.25.
    auto amount = [](double v) {
        char digits[32];
        std::snprintf(digits, sizeof digits, "%.2f", v);
        const std::string plain = digits;
        const size_t point = plain.find('.');
        std::string grouped;
        for (size_t i = 0; i < point; ++i) {
            if (i > 0 && (point - i) % 3 == 0) grouped += ',';
            grouped += plain[i];
        }
        return grouped + plain.substr(point);
    };
    auto lineWith = [&](const std::string& a, const std::string& b) {
        for (const std::string& l : lines)
            if (l.find(a) != std::string::npos && l.find(b) != std::string::npos) return l;
        return std::string();
    };
    auto endsWith = [](const std::string& line, const std::string& tail) {
        return line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
    };

    for (const std::string& row : Query("SELECT i.number, sum(l.quantity * l.unit_price) FROM invoices i "
                                        "JOIN invoice_lines l ON l.invoice = i.id GROUP BY i.id")) {
        const std::string number = row.substr(0, row.find('\t'));
        const std::string line = lineWith("Invoice total", number);
        EXPECT_TRUE(endsWith(line, amount(std::stod(row.substr(row.find('\t') + 1))))) << line;
    }
    std::vector<std::string> customerTotals;
    for (const std::string& l : lines)
        if (l.find("Customer total:") != std::string::npos) customerTotals.push_back(l);
    const auto customers = Query("SELECT c.name, sum(l.quantity * l.unit_price) FROM customers c "
                                 "JOIN invoices i ON i.customer = c.id JOIN invoice_lines l ON l.invoice = i.id "
                                 "GROUP BY c.id ORDER BY c.id");
    ASSERT_EQ(customerTotals.size(), customers.size()) << "one group footer per customer, each sum reset after it";
    for (size_t i = 0; i < customers.size(); ++i) {
        const std::string name = customers[i].substr(0, customers[i].find('\t'));
        EXPECT_NE(customerTotals[i].find(name), std::string::npos) << customerTotals[i];
        EXPECT_TRUE(endsWith(customerTotals[i], amount(std::stod(customers[i].substr(name.size() + 1)))))
            << customerTotals[i];
    }
    EXPECT_TRUE(endsWith(lineWith("Grand total", ""), amount(60862.25))) << lineWith("Grand total", "");
    EXPECT_TRUE(endsWith(lineWith("Invoices:", ""), "Invoices: 6")) << lineWith("Invoices:", "");
}

// Seven labels down the left column, seven down the right, the remaining four on page 2; every
// customer's name and town on them.
TEST_F(Examples, LabelsFillTwoColumns) {
    const TRun r = Report("labels", "--trace");
    ASSERT_EQ(r.Status, 0) << r.Err;
    std::map<std::pair<int, int>, int> labels; // (page, left) -> count
    int page = 0;
    for (const std::string& line : SplitLines(r.Out)) {
        std::smatch m;
        if (std::regex_match(line, m, std::regex("page ([0-9]+)"))) page = std::stoi(m[1]);
        if (std::regex_match(line, m, std::regex(" +Label +([0-9]+) .*"))) ++labels[{page, std::stoi(m[1])}];
    }
    const std::map<std::pair<int, int>, int> expected = {{{1, 50}, 7}, {{1, 1050}, 7}, {{2, 50}, 4}};
    EXPECT_EQ(labels, expected) << r.Out;

    // Both columns meet on the same printed lines: the CSV records of page 1 pair customer k with
    // customer k + 7; every field is a whole name or a whole town line.
    const std::vector<std::vector<std::string>> records = CsvRecords(Export("labels", "csv"));
    std::set<std::string> fields;
    for (const auto& record : records)
        fields.insert(record.begin(), record.end());
    const auto customers = Query("SELECT name, postcode || '  ' || town FROM customers ORDER BY id");
    ASSERT_EQ(customers.size(), 18u);
    for (const std::string& row : customers) {
        EXPECT_EQ(fields.count(row.substr(0, row.find('\t'))), 1u) << row;
        EXPECT_EQ(fields.count(row.substr(row.find('\t') + 1)), 1u) << row;
    }
    ASSERT_FALSE(records.empty());
    const std::vector<std::string> first = {customers[0].substr(0, customers[0].find('\t')),
                                            customers[7].substr(0, customers[7].find('\t'))};
    EXPECT_EQ(records.front(), first);
}

// Every word of every paragraph comes out, in order, although paragraphs run over page breaks: the
// words of the export, with the page furniture taken out, are exactly the words of the chapters.
TEST_F(Examples, HandbookStretchesOverPagesWithoutLosingText) {
    const std::string text = Export("handbook", "txt");

    std::vector<std::string> expected;
    for (const std::string& row : Query("SELECT c.title, p.number, p.body FROM paragraphs p "
                                        "JOIN chapters c ON c.id = p.chapter ORDER BY p.chapter, p.number")) {
        const size_t tab1 = row.find('\t'), tab2 = row.find('\t', tab1 + 1);
        std::vector<std::string> words = Words(row.substr(tab2 + 1));
        if (row.substr(tab1 + 1, tab2 - tab1 - 1) == "1") {
            std::vector<std::string> title = Words(row.substr(0, tab1));
            words.insert(words.begin(), title.begin(), title.end());
        }
        expected.insert(expected.end(), words.begin(), words.end());
    }

    // Page furniture: title and subtitle on page 1, the running header on the others, the page
    // number at the foot of every page, the closing line; and the paragraph numbers in the margin.
    const std::regex paragraphNumber("[0-9]+\\.[0-9]+"), chapterNumber("[0-9]+\\.");
    const std::vector<std::string> header = Words("Příručka sestav / Report handbook");
    std::vector<std::string> got;
    int page = 0, continued = 0;
    std::istringstream in(text);
    for (std::string pageText; std::getline(in, pageText, '\f');) {
        ++page;
        SCOPED_TRACE("page " + std::to_string(page));
        std::vector<std::vector<std::string>> lines;
        for (const std::string& line : SplitLines(pageText))
            if (!Words(line).empty()) lines.push_back(Words(line));
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines.back(), std::vector<std::string>{std::to_string(page)});
        lines.pop_back();
        if (page == 1) {
            EXPECT_EQ(lines.front(), header) << "the title";
            lines.erase(lines.begin(), lines.begin() + 2);
        } else {
            EXPECT_EQ(lines.front(), header) << "the running header";
            lines.erase(lines.begin());
            const std::string& first = lines.front().front();
            if (!std::regex_match(first, paragraphNumber) && !std::regex_match(first, chapterNumber)) ++continued;
        }
        for (std::vector<std::string>& w : lines) {
            if (std::regex_match(w.front(), paragraphNumber)) w.erase(w.begin());
            got.insert(got.end(), w.begin(), w.end());
        }
    }
    EXPECT_GT(page, 5);
    EXPECT_GT(continued, 0) << "some paragraph runs over a page break";
    const std::vector<std::string> end = Words("— Konec / The end —");
    ASSERT_GE(got.size(), end.size());
    EXPECT_EQ(std::vector<std::string>(got.end() - static_cast<long>(end.size()), got.end()), end);
    got.resize(got.size() - end.size());
    // Compared without the spaces: a line may end after the hyphen of "sub-detail".
    std::string gotText, expectedText;
    for (const std::string& w : got)
        gotText += w;
    for (const std::string& w : expected)
        expectedText += w;
    const auto [a, b] = std::mismatch(gotText.begin(), gotText.end(), expectedText.begin(), expectedText.end());
    EXPECT_TRUE(a == gotText.end() && b == expectedText.end())
        << "from byte " << (a - gotText.begin()) << ": printed '"
        << std::string(a, a + std::min<long>(60, gotText.end() - a)) << "', stored '"
        << std::string(b, b + std::min<long>(60, expectedText.end() - b)) << "'";
    EXPECT_GT(expectedText.size(), 30000u);
}

// The band trace measures text on the device a recorded run measures with, so the handbook's
// stretching paragraphs take the same room in both: the same pages, and detail bands of many heights.
TEST_F(Examples, HandbookTraceHasThePagesOfTheRecordedRun) {
    const TRun trace = Report("handbook", "--trace");
    ASSERT_EQ(trace.Status, 0) << trace.Err;
    int pageLines = 0;
    std::set<std::string> detailHeights;
    for (const std::string& line : SplitLines(trace.Out)) {
        if (line.rfind("page ", 0) == 0) ++pageLines;
        std::istringstream fields(line);
        std::string name, left, top, width, height;
        if (fields >> name >> left >> top >> width >> height && name == "ParagraphBand")
            detailHeights.insert(height);
    }
    const fs::path out = Dir / "handbook.qrp";
    const TRun recorded = Report("handbook", "-o " + out.string());
    ASSERT_EQ(recorded.Status, 0) << recorded.Err;
    const TRun info = Qrptool("info " + out.string());
    ASSERT_EQ(info.Status, 0) << info.Err;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(info.Out, m, std::regex("Pages: +([0-9]+)"))) << info.Out;
    EXPECT_EQ(trace.Out.substr(trace.Out.rfind('\n', trace.Out.size() - 2) + 1), m[1].str() + " page(s)\n");
    EXPECT_EQ(std::to_string(pageLines), m[1].str());
    EXPECT_GT(detailHeights.size(), 1u) << "paragraphs of different lengths stretch their bands differently";
}

} // namespace
