// Pages made to be expensive, through qrptool as a user meets them: every command that draws or
// reads pages ends with exit status 1 and says that the page cannot be drawn completely, under 1 GB;
// render and thumbnail keep what they drew. Pages just within the budget are drawn.
// With PAGIMO_HOSTILE_DIR set the pages are also written there (scripts/hostile-pages.sh measures
// time and memory of each run on them).

#include "HostilePages.h"
#include "PageListFixture.h"
#include "QrptoolRun.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>

using namespace pagimo::test;

TEST(QrptoolHostile, EachPageEndsWithExitOneAndSaysItCannotBeDrawnCompletely) {
    TTempDir tmp;
    const char* keep = std::getenv("PAGIMO_HOSTILE_DIR");
    for (const auto& page : hostile::Pages()) {
        SCOPED_TRACE(page.Name);
        const std::string file = tmp.File(page.Name + ".emf");
        const auto bytes = page.Make();
        WriteFileBytes(file, bytes);
        if (keep) WriteFileBytes((std::filesystem::path(keep) / (page.Name + ".emf")).string(), bytes);
        const std::string png = tmp.File(page.Name + ".png");
        const auto render = RunQrptool(tmp.Path(), "render " + file + " -o " + png);
        EXPECT_EQ(render.Status, 1);
        EXPECT_NE(render.Err.find("Page 1 cannot be drawn completely: "), std::string::npos) << render.Err;
        EXPECT_NE(render.Err.find("than any real page"), std::string::npos) << render.Err;
        EXPECT_TRUE(std::filesystem::exists(png)) << "what could be drawn is kept";
        EXPECT_LT(render.PeakKb, 1024 * 1024 * MemoryFactor);
        const std::string pdf = tmp.File(page.Name + ".pdf");
        const auto convert = RunQrptool(tmp.Path(), "convert " + file + " " + pdf);
        EXPECT_EQ(convert.Status, 1);
        EXPECT_NE(convert.Err.find("Page 1 cannot be drawn completely: "), std::string::npos) << convert.Err;
        EXPECT_FALSE(std::filesystem::exists(pdf));
        for (const std::string& other :
             {"thumbnail " + file + " " + png, "text " + file, "export " + file + " " + tmp.File(page.Name + ".csv")}) {
            const auto run = RunQrptool(tmp.Path(), other);
            EXPECT_EQ(run.Status, 1) << other;
            EXPECT_NE(run.Err.find("age 1 cannot be drawn completely: "), std::string::npos) << other << run.Err;
            EXPECT_LT(run.PeakKb, 1024 * 1024 * MemoryFactor) << other;
        }
        const std::string svg = tmp.File(page.Name + ".svg");
        const auto web = RunQrptool(tmp.Path(), "convert " + file + " " + svg);
        EXPECT_EQ(web.Status, 1);
        EXPECT_NE(web.Err.find("Page 1 cannot be drawn completely: "), std::string::npos) << web.Err;
        EXPECT_TRUE(std::filesystem::exists(svg)) << "as render, what could be drawn is kept";
        std::filesystem::remove(file);
        std::filesystem::remove(png);
        std::filesystem::remove(svg);
    }
}

// Pages just within the budget are drawn in full and succeed.
TEST(QrptoolHostile, PagesJustWithinTheBudgetAreDrawnInFull) {
    TTempDir tmp;
    const char* keep = std::getenv("PAGIMO_HOSTILE_DIR");
    for (const auto& page : hostile::NearLimitPages()) {
        SCOPED_TRACE(page.Name);
        const std::string file = tmp.File(page.Name + ".emf");
        const auto bytes = page.Make();
        WriteFileBytes(file, bytes);
        if (keep) WriteFileBytes((std::filesystem::path(keep) / (page.Name + ".emf")).string(), bytes);
        const auto render = RunQrptool(tmp.Path(), "render " + file + " -o " + tmp.File(page.Name + ".png"));
        EXPECT_EQ(render.Status, 0) << render.Err;
        std::filesystem::remove(file);
    }
}

// The thumbnailer limits itself before it reads a file: a page that takes more processor time or
// memory than allowed (a page within its budget drawn 4096 pixels wide, under limits lowered through
// QRPTOOL_LIMITS) stops with a message and exit status 1, and leaves no core file even where cores
// are wanted.
TEST(QrptoolHostile, TheThumbnailerStopsAtItsLimitsWithAMessageAndNoCore) {
    TTempDir tmp;
    const struct {
        const char* Limits;
        const char* Page;
        const char* Said;
    } cases[] = {
        {"cpu=2", "near-polygon", "qrptool thumbnail: stopped: a page took more than 2 s of processor time"},
        {"memory=100", "near-polygon", "out of memory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Page);
        if (MemoryFactor > 1 && std::string_view(c.Limits).starts_with("memory")) continue; // no such limit there
        const std::string file = tmp.File(std::string(c.Page) + ".emf");
        for (const auto& page : hostile::NearLimitPages())
            if (page.Name == c.Page) WriteFileBytes(file, page.Make());
        const auto run =
            RunQrptool(tmp.Path(), "thumbnail -s 4096 " + file + " " + tmp.File("thumb.png"),
                       "cd " + tmp.Path().string() + " && ulimit -c unlimited && QRPTOOL_LIMITS=" + c.Limits);
        EXPECT_EQ(run.Status, 1);
        EXPECT_NE(run.Err.find(c.Said), std::string::npos) << run.Err;
        for (const auto& entry : std::filesystem::directory_iterator(tmp.Path()))
            EXPECT_FALSE(entry.path().filename().string().starts_with("core")) << entry.path();
        EXPECT_FALSE(std::filesystem::exists(tmp.File("thumb.png")));
    }
}

// A page may claim any size: one of 20,000 pixels a side (a file of a few hundred bytes) is rendered
// within the pixel limit, said so with exit status 1, in bounded memory.
TEST(QrptoolHostile, APageClaimingAHugeSizeIsRenderedWithinThePixelLimit) {
    TTempDir tmp;
    const std::string file = tmp.File("huge.emf");
    WriteFileBytes(file, pagimo::emf::TEmfWriter(20000, 20000, 96).Finish());
    const auto run = RunQrptool(tmp.Path(), "render " + file + " -o " + tmp.File("huge.png"));
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("page 1 cannot be drawn completely: 20000 x 20000 pixels at 96 dpi pass the limit of "
                           "150000000 pixels; drawn at 12247 x 12247"),
              std::string::npos)
        << run.Err;
    EXPECT_TRUE(std::filesystem::exists(tmp.File("huge.png")));
    EXPECT_LT(run.PeakKb, 1024 * 1024 * MemoryFactor);
}
