// Pages made to be expensive, through qrptool as a user meets them: render and convert each end with
// exit status 1 and say that the page cannot be drawn completely; render keeps what it drew. Pages
// just within the budget are drawn.
// With PAGIMO_HOSTILE_DIR set the pages are also written there (scripts/hostile-pages.sh measures
// time and memory of each run on them).

#include "HostilePages.h"
#include "PageListFixture.h"
#include "QrptoolRun.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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
        const std::string pdf = tmp.File(page.Name + ".pdf");
        const auto convert = RunQrptool(tmp.Path(), "convert " + file + " " + pdf);
        EXPECT_EQ(convert.Status, 1);
        EXPECT_NE(convert.Err.find("Page 1 cannot be drawn completely: "), std::string::npos) << convert.Err;
        EXPECT_FALSE(std::filesystem::exists(pdf));
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
