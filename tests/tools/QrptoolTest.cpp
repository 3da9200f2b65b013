// qrptool as a user runs it: exit statuses, what goes to stdout and stderr.

#include "PageListFixture.h"
#include "QrptoolRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

using namespace pagimo::test;

namespace {

TRun Qrptool(const TTempDir& tmp, const std::string& args) {
    return RunQrptool(tmp.Path(), args);
}

} // namespace

TEST(Qrptool, InfoDescribesEveryPageAndEndsWithAVerdict) {
    TTempDir tmp;
    const std::string file = tmp.File("r.qrp");
    ASSERT_EQ(Qrptool(tmp, "sample " + file + " --pages 4 --compress").Status, 0);
    const auto text = Qrptool(tmp, "info " + file);
    EXPECT_EQ(text.Status, 0) << text.Err;
    EXPECT_NE(text.Out.find("Format:      3 350"), std::string::npos) << text.Out;
    EXPECT_NE(text.Out.find("Pages:       4"), std::string::npos);
    EXPECT_NE(text.Out.find("Compressed:  yes"), std::string::npos);
    // The sample is recorded on a 794 x 1123 pixel canvas, whose frame is that size at 96 per inch.
    EXPECT_NE(text.Out.find("210.08 x 297.13"), std::string::npos);
    EXPECT_NE(text.Out.find("794 x 1123"), std::string::npos);
    EXPECT_NE(text.Out.find("OK: 4 pages read without errors"), std::string::npos);

    const auto json = Qrptool(tmp, "info --json " + file);
    EXPECT_EQ(json.Status, 0);
    for (const char* key : {"\"format\": [3, 350]", "\"page_count\": 4", "\"compressed\": true", "\"timestamp\": \"",
                            "\"number\": 4", "\"offset\": 128", "\"body_bytes\": ", "\"emf_bytes\": ",
                            "\"frame_mm\": [210.08, 297.13]", "\"pixels\": [794, 1123]"}) {
        EXPECT_NE(json.Out.find(key), std::string::npos) << key << " in " << json.Out;
    }
}

TEST(Qrptool, DamagedOrMissingFilesFailWithTheErrorOnStderr) {
    TTempDir tmp;
    const std::string file = tmp.File("d.qrp");
    auto bytes = MakeFile(file, 3, false);
    bytes.erase(bytes.end() - 40, bytes.end());
    WriteFileBytes(file, bytes);
    // The pages before the damage are described; the damaged one is named with its reason.
    const auto run = Qrptool(tmp, "info --json " + file);
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Out.find("\"valid\": false"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("{\"page\": 3, \"reason\": \"not reachable: File " + file + " is damaged"),
              std::string::npos)
        << run.Out;

    const auto missing = Qrptool(tmp, "info " + tmp.File("none.qrp"));
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Err.find("Cannot open file " + tmp.File("none.qrp")), std::string::npos);
}

TEST(Qrptool, UsageErrorsExitWithTwoAndHelpWithZero) {
    TTempDir tmp;
    EXPECT_EQ(Qrptool(tmp, "info").Status, 2);
    EXPECT_EQ(Qrptool(tmp, "info a.qrp b.qrp").Status, 2);
    EXPECT_EQ(Qrptool(tmp, "info --bogus a.qrp").Status, 2);
    EXPECT_EQ(Qrptool(tmp, "sample x.qrp --pages many").Status, 2);
    EXPECT_EQ(Qrptool(tmp, "frobnicate").Status, 2);
    const auto help = Qrptool(tmp, "info --help");
    EXPECT_EQ(help.Status, 0);
    EXPECT_TRUE(help.Out.starts_with("usage: qrptool info FILE.qrp [--json]"));
    EXPECT_NE(Qrptool(tmp, "--help").Out.find("info"), std::string::npos);
}
