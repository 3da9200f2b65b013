// The project's fontconfig file: each Windows face that reports name resolves to the intended
// scalable face, and the text faces cover Czech.

#include <gtest/gtest.h>

#include <fontconfig/fontconfig.h>

#include <cstdlib>
#include <string>

namespace {

struct TMatch {
    std::string Family, File;
    bool Scalable = false;
    int Weight = 0;
    bool CoversCzech = false;
};

TMatch Match(FcConfig* config, const std::string& request) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(request.c_str()));
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    TMatch m;
    if (match) {
        FcChar8* s = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &s) == FcResultMatch) m.Family = reinterpret_cast<char*>(s);
        if (FcPatternGetString(match, FC_FILE, 0, &s) == FcResultMatch) m.File = reinterpret_cast<char*>(s);
        FcBool scalable = FcFalse;
        FcPatternGetBool(match, FC_SCALABLE, 0, &scalable);
        m.Scalable = scalable;
        FcPatternGetInteger(match, FC_WEIGHT, 0, &m.Weight);
        FcCharSet* charset = nullptr;
        if (FcPatternGetCharSet(match, FC_CHARSET, 0, &charset) == FcResultMatch) {
            m.CoversCzech = true;
            for (char32_t c : std::u32string(U"ěščřžýáíéůúťďňĚŠČŘŽÝÁÍÉŮÚŤĎŇ"))
                m.CoversCzech &= FcCharSetHasChar(charset, c);
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return m;
}

class FontConfig : public testing::Test {
protected:
    void SetUp() override {
        const char* file = std::getenv("FONTCONFIG_FILE");
        ASSERT_NE(file, nullptr);
        ASSERT_NE(std::string(file).find("resources/fonts/fonts.conf"), std::string::npos);
        Config = FcInitLoadConfigAndFonts();
        ASSERT_NE(Config, nullptr);
    }
    void TearDown() override {
        if (Config) FcConfigDestroy(Config);
    }
    FcConfig* Config = nullptr;
};

} // namespace

TEST_F(FontConfig, WindowsFacesResolveToTheirStandIns) {
    const std::pair<const char*, const char*> table[] = {
        {"MS Sans Serif", "Tahoma"},
        {"Microsoft Sans Serif", "Tahoma"},
        {"MS Shell Dlg", "Tahoma"},
        {"MS Shell Dlg 2", "Tahoma"},
        {"Small Fonts", "Tahoma"},
        {"Segoe UI", "Tahoma"},
        {"Tahoma", "Tahoma"},
        {"Arial", "Liberation Sans"},
        {"Helvetica", "Liberation Sans"},
        {"Times New Roman", "Liberation Serif"},
        {"Courier New", "Liberation Mono"},
        {"Courier", "Liberation Mono"},
        {"Verdana", "DejaVu Sans"},
        {"Calibri", "Carlito"},
        {"Cambria", "Caladea"},
    };
    for (auto [request, expected] : table) {
        const TMatch m = Match(Config, request);
        EXPECT_EQ(m.Family, expected) << request;
        EXPECT_TRUE(m.Scalable) << request << " -> " << m.File;
        EXPECT_TRUE(m.CoversCzech) << request << " -> " << m.File;
        EXPECT_EQ(m.File.find("ms_sans_serif"), std::string::npos) << request;
        EXPECT_EQ(m.File.find("small_fonts"), std::string::npos) << request;
    }
}

// The Wine package's tahomabd.ttf has regular outlines under bold advances; bold Tahoma and the
// dialog faces that resolve to it must reach a face that draws bold.
TEST_F(FontConfig, BoldDialogFaceIsARealBoldFace) {
    for (const char* request : {"MS Sans Serif:bold", "Tahoma:bold", "Tahoma:demibold"}) {
        const TMatch m = Match(Config, request);
        EXPECT_EQ(m.Family, "DejaVu Sans") << request;
        EXPECT_GE(m.Weight, FC_WEIGHT_BOLD) << request;
        EXPECT_EQ(m.File.find("tahomabd"), std::string::npos) << request;
    }
    EXPECT_EQ(Match(Config, "Tahoma").Family, "Tahoma") << "regular Tahoma stays";
}

TEST_F(FontConfig, SymbolFacesAreScalable) {
    for (const char* request : {"Symbol", "Wingdings"}) {
        const TMatch m = Match(Config, request);
        EXPECT_EQ(m.Family, request);
        EXPECT_TRUE(m.Scalable) << m.File;
    }
}
