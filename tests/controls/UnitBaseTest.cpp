#include "controls/UnitBase.h"
#include "platform/system/Measurement.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace pagimo::controls;

namespace {

// A four-value holder like a control's size: height, left, top, width.
class THolder : public TQRUnitBase {
public:
    THolder() : TQRUnitBase(4) {}
    const char* ClassName() const override { return "THolder"; }
    bool Horizontal(size_t i) const override { return i == 1 || i == 3; }
};

struct TConversionRow {
    TQRUnit Unit;
    bool Horizontal;
    int FontPoints;
    int Zoom;
    long double Stored;
    long double Expected;
    const char* Why;
};

class Conversion : public ::testing::TestWithParam<TConversionRow> {};

TEST_P(Conversion, StoredToUnitAndBack) {
    const auto& row = GetParam();
    THolder h;
    h.SetZoom(row.Zoom);
    h.SetFontSizeSource([p = row.FontPoints] { return p; });
    const long double v = h.ValueFromNative(row.Unit, row.Horizontal, row.Stored);
    EXPECT_NEAR(static_cast<double>(v), static_cast<double>(row.Expected), 1e-9) << row.Why;
    EXPECT_NEAR(static_cast<double>(h.ValueToNative(row.Unit, row.Horizontal, v)), static_cast<double>(row.Stored),
                1e-9)
        << row.Why;
}

INSTANTIATE_TEST_SUITE_P(
    Units, Conversion,
    ::testing::Values(TConversionRow{TQRUnit::MM, true, 10, 100, 127, 12.7L, "tenths of a millimetre to mm"},
                      TConversionRow{TQRUnit::Inches, false, 10, 100, 254, 1, "one inch"},
                      TConversionRow{TQRUnit::Pixels, true, 10, 100, 2100, 2100 / (254.0L / 96), "A4 width at 96 ppi"},
                      TConversionRow{TQRUnit::Pixels, true, 10, 200, 254, 192, "zoom doubles pixels"},
                      TConversionRow{TQRUnit::Characters, true, 10, 100, 80, 80 / (80 / 10.0L / 2.54L) / 10,
                                     "character width from the report font"},
                      TConversionRow{TQRUnit::Characters, false, -10, 100, 145.3L, 145.3L / (145.3L / 10 / 2.54L) / 10,
                                     "negative font size counts by its absolute value"},
                      TConversionRow{TQRUnit::Characters, true, 0, 100, 100, 100 / (80 / 12.0L / 2.54L) / 10,
                                     "no font: the 12 point panel default, not a division by zero"},
                      TConversionRow{TQRUnit::Native, false, 10, 100, 1846.79L, 1846.79L, "native is stored"}));

TEST(UnitBase, PixelUnitsDoNotNest) {
    THolder h;
    h.SetUnits(TQRUnit::MM);
    h.EnterPixelUnits();
    h.EnterPixelUnits();
    h.LeavePixelUnits();
    EXPECT_EQ(h.Units(), TQRUnit::Pixels);
}

TEST(UnitBase, ZeroZoomConvertsToZeroInsteadOfDividing) {
    THolder h;
    h.SetZoom(0);
    EXPECT_EQ(h.ValueToNative(TQRUnit::Pixels, true, 50), 0);
}

TEST(UnitBase, ValuesStreamInStoredUnitsWhateverTheUnit) {
    THolder h;
    h.SetUnits(TQRUnit::MM);
    h.SetValue(0, 4.7625L);
    h.SetUnits(TQRUnit::Inches);
    ASSERT_EQ(h.StoredValues().size(), 4u);
    EXPECT_NEAR(static_cast<double>(h.StoredValues()[0]), 47.625, 1e-12);
    EXPECT_NEAR(static_cast<double>(h.GetValue(0)), 47.625 / 254, 1e-12);
}

TEST(Measurement, UnknownAndPosixLocalesAreMetric) {
    using pagimo::system::MeasurementSystemOf;
    using pagimo::system::TMeasurementSystem;
    EXPECT_EQ(MeasurementSystemOf("C"), TMeasurementSystem::msMetric);
    EXPECT_EQ(MeasurementSystemOf("xx_NOWHERE.UTF-8"), TMeasurementSystem::msMetric);
}

} // namespace

namespace {

// Compiles a U.S. locale into a private folder (LOCPATH), as the machine may have none installed.
TEST(Measurement, UsLocaleMeasuresInInches) {
    char tmpl[] = "/tmp/pagimo-locale-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    ASSERT_NE(dir, nullptr);
    const std::string folder = dir;
    const std::string command = "localedef -i en_US -f UTF-8 " + folder + "/en_US.UTF-8 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        std::filesystem::remove_all(folder);
        GTEST_SKIP() << "localedef cannot build en_US here";
    }
    const char* old = std::getenv("LOCPATH");
    const std::string saved = old ? old : "";
    setenv("LOCPATH", folder.c_str(), 1);
    EXPECT_EQ(pagimo::system::MeasurementSystemOf("en_US.UTF-8"), pagimo::system::TMeasurementSystem::msUS);
    if (old)
        setenv("LOCPATH", saved.c_str(), 1);
    else
        unsetenv("LOCPATH");
    std::filesystem::remove_all(folder);
}

} // namespace
