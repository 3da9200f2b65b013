// Golden check of a recorded report: the band fills in the page pictures that the report printer
// records lie where the band trace of the same report puts the bands.

#include "TempDir.h"
#include "TestPaths.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/Report.h"
#include "engine/ReportRun.h"
#include "engine/TraceTarget.h"
#include "platform/gdi/EmfPlayer.h"
#include "printer/QRPrinter.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

using namespace pagimo;
using namespace pagimo::engine;
namespace fs = std::filesystem;

namespace {

// Collects the solid fills a page picture makes, in page pixels.
class TFillDevice : public gdi::TDevice {
public:
    struct TFill {
        QRect Box;
        gdi::TColorRef Color;
    };
    std::vector<TFill> Fills;
    void DrawShape(const gdi::TShape& shape, const gdi::TDrawState& state) override {
        if (shape.Kind != gdi::TShapeKind::skRectangle || !shape.Fill || state.Brush.Style != gdi::BS_SOLID) return;
        Fills.push_back({state.Transform.mapRect(shape.Box), state.Brush.Color});
    }
    void DrawText(const gdi::TTextRun&, const gdi::TDrawState&) override {}
    void DrawDib(const gdi::TDibDraw&, const gdi::TDrawState&) override {}
    gdi::TDeviceCaps Caps() const override { return gdi::TDeviceCaps::Screen(1920, 1440); }
};

TEST(RecordedReport, BandFillsLieWhereTheTraceHasTheBands) {
    const pagimo::test::TTempDir temp;
    const fs::path& dir = temp.Path();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "sales.sqlite").c_str(), &db), SQLITE_OK);
    std::ifstream sql(test::DataDir() / "sales.sql");
    const std::string text{std::istreambuf_iterator<char>(sql), {}};
    ASSERT_EQ(sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    fs::copy_file(test::DataDir() / "sales.form", dir / "sales.form");

    system::TClassRegistry registry;
    RegisterReportClasses(registry);
    RegisterFormHostClasses(registry);
    auto root = ReadFormFile(dir / "sales.form", registry);
    TQRReport* report = FindFirstReport(*root);
    ASSERT_NE(report, nullptr);
    // Each band in a colour of its own: the fills tell the bands apart.
    std::map<gdi::TColorRef, std::string> names;
    gdi::TColorRef next = 0x102030;
    for (TQRCustomBand* b : report->BandList()) {
        b->SetColor(static_cast<controls::TColor>(next));
        names[next] = b->Name();
        next += 0x000101;
    }
    std::vector<std::pair<std::string, int>> traced;
    for (TQRCustomBand* b : report->BandList()) {
        b->AfterPrint = [&traced](TQRCustomBand& s, bool printed) {
            if (printed) traced.emplace_back(s.Name(), s.BandOutline().Top);
        };
    }
    TQRTraceTarget trace;
    report->SetPrintTarget(&trace);
    report->CreateReport(false);
    for (TQRCustomBand* b : report->BandList())
        b->AfterPrint = nullptr;

    TQRReportRunner runner(*report);
    std::unique_ptr<printer::TQRPrinter> pages = runner.Record();
    ASSERT_EQ(pages->PageTotal(), 1);
    std::unique_ptr<emf::TEmfPicture> page = pages->FetchPage(1);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Width(), 794);
    EXPECT_EQ(page->Height(), 1123);
    TFillDevice device;
    const auto result = gdi::TEmfPlayer::Play(*page, device, QRectF(0, 0, page->Width(), page->Height()));
    EXPECT_TRUE(result.Complete);
    std::vector<std::pair<std::string, int>> recorded;
    for (const auto& f : device.Fills) {
        if (auto it = names.find(f.Color); it != names.end()) recorded.emplace_back(it->second, f.Box.top());
    }
    ASSERT_EQ(recorded.size(), traced.size());
    for (size_t i = 0; i < traced.size(); ++i) {
        EXPECT_EQ(recorded[i].first, traced[i].first) << i;
        // Tenths of a millimetre to pixels at 96 per inch; the picture's frame may shift a pixel.
        EXPECT_NEAR(recorded[i].second, traced[i].second * 96.0 / 254.0, 1.0) << traced[i].first;
    }
}

} // namespace
