// The printable base on bands and reports: alignment within the band, bounds following Size,
// enabled rules and frames on the print pass.

#include "engine/Report.h"
#include "engine/TraceTarget.h"

#include <gtest/gtest.h>

using namespace pagimo;
using namespace pagimo::engine;
using controls::TQRPrintable;
using controls::TQRUnit;
using system::TComponent;

namespace {

class Printable : public ::testing::Test {
protected:
    std::unique_ptr<TQRReport> R = std::make_unique<TQRReport>();
    TQRBand* B = nullptr;

    void SetUp() override {
        R->SetUnits(TQRUnit::MM);
        B = TComponent::Create<TQRBand>(R.get());
        B->SetName("Detail");
        B->SetParentComponent(R.get());
        B->SetBandType(rbDetail);
        B->TQRBasePanel::SetBounds(0, 0, 651, 40);
    }
    TQRPrintable* Control(TQRBasePanel* parent, int width) {
        auto* c = TComponent::Create<TQRPrintable>(R.get());
        c->SetParentComponent(parent);
        c->SetBounds(10, 4, width, 18);
        return c;
    }
};

struct TAlignRow {
    controls::TAlignment Alignment;
    bool OnBand;
    int32_t Left;
    const char* Why;
};

class AlignToBand : public Printable, public ::testing::WithParamInterface<TAlignRow> {};

TEST_P(AlignToBand, PlacesTheControl) {
    const auto& row = GetParam();
    TQRPrintable* c = Control(row.OnBand ? static_cast<TQRBasePanel*>(B) : R.get(), 100);
    c->SetAlignment(row.Alignment);
    c->SetAlignToBand(true);
    EXPECT_EQ(c->Left(), row.Left) << row.Why;
}

INSTANTIATE_TEST_SUITE_P(Printable, AlignToBand,
                         ::testing::Values(TAlignRow{controls::taCenter, true, 275, "(651 - 100) / 2 truncated"},
                                           TAlignRow{controls::taRightJustify, true, 551, "651 - 100"},
                                           TAlignRow{controls::taLeftJustify, true, 0, "left edge"},
                                           TAlignRow{controls::taCenter, false, 10, "on the report: unchanged"},
                                           TAlignRow{controls::taRightJustify, false, 10, "on the report: unchanged"},
                                           TAlignRow{controls::taLeftJustify, false, 0,
                                                     "left still applies on the report"}));

TEST_F(Printable, BoundsAndSizeFollowEachOther) {
    TQRPrintable* c = Control(B, 309);
    // 309 pixels at 96 per inch in tenths of a millimetre.
    EXPECT_NEAR(static_cast<double>(c->Size()->NativeValue(controls::TQRPrintableSize::WidthIndex)), 817.5625, 1e-9);
    c->Size()->SetUnits(TQRUnit::MM);
    c->Size()->SetTop(10);
    EXPECT_EQ(c->Top(), 38) << "100 tenths at 96 pixels per inch is 37.8 pixels";
}

TEST_F(Printable, SameBoundsWriteNothing) {
    TQRPrintable* c = Control(B, 100);
    c->Size()->SetUnits(TQRUnit::Native);
    c->Size()->SetWidth(264.9L); // 100.1 pixels: rounds to the same window width
    c->SetBounds(c->Left(), c->Top(), c->Width(), c->Height());
    EXPECT_NEAR(static_cast<double>(c->Size()->NativeValue(controls::TQRPrintableSize::WidthIndex)), 264.9, 1e-9);
}

TEST_F(Printable, PrintEnabledIsFalseOnlyForVisibleDisabledControls) {
    TQRPrintable* c = Control(B, 10);
    EXPECT_TRUE(c->PrintEnabled());
    c->SetEnabled(false);
    EXPECT_FALSE(c->PrintEnabled());
    c->SetVisible(false);
    EXPECT_TRUE(c->PrintEnabled());
}

TEST_F(Printable, FramesDrawOnTheFinalPassOnly) {
    TQRPrintable* c = Control(B, 100);
    c->Frame()->SetDrawLeft(true);
    TQRTraceTarget target;
    R->SetPrintTarget(&target);
    R->CreateReport(false);
    ASSERT_EQ(target.Pages().size(), 1u);
    int frames = 0;
    for (const auto& f : target.Pages()[0])
        frames += f.Color == controls::clBlack;
    EXPECT_EQ(frames, 1);
    R->SetFinalPass(false);
    R->CreateReport(false);
    frames = 0;
    for (const auto& f : target.Pages()[0])
        frames += f.Color == controls::clBlack;
    EXPECT_EQ(frames, 0) << "nothing drawn on an export pass";
    EXPECT_EQ(target.State(), TQRTraceTarget::tsAborted) << "an export pass leaves no document";
}

TEST_F(Printable, DestroyingTheBandFirstLeavesControlsDetached) {
    TQRPrintable* c = Control(B, 10);
    R->FreeComponent(B);
    EXPECT_EQ(c->ParentPanel(), nullptr);
    R->FreeComponent(c);
}

TEST_F(Printable, RemovingAChildBandHandsItsChildToTheParent) {
    B->SetHasChild(true);
    auto* child = static_cast<TQRChildBand*>(B->GetChildBand());
    child->SetHasChild(true);
    auto* grandChild = static_cast<TQRChildBand*>(child->GetChildBand());
    ASSERT_NE(grandChild, nullptr);
    B->SetHasChild(false);
    EXPECT_EQ(B->GetChildBand(), grandChild);
    EXPECT_EQ(grandChild->ParentBand(), B);
}

TEST_F(Printable, CircularParentBandIsRefused) {
    B->SetHasChild(true);
    auto* child = static_cast<TQRChildBand*>(B->GetChildBand());
    child->SetHasChild(true);
    auto* grandChild = static_cast<TQRChildBand*>(child->GetChildBand());
    child->SetParentBand(grandChild);
    EXPECT_EQ(child->ParentBand(), B);
}

} // namespace
