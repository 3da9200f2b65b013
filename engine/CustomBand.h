#pragma once
// Bands: horizontal strips of a report that print as a unit. A band makes room for itself (a new
// column or page when it does not fit), paints its background, lets its controls print, grows
// while they need room, draws its frame, advances the report and then prints its child band.

#include "engine/BandSize.h"
#include "engine/BasePanel.h"

#include <functional>

namespace pagimo::engine {

class TQRCustomController;

enum TQRBandType {
    rbTitle,
    rbPageHeader,
    rbDetail,
    rbPageFooter,
    rbSummary,
    rbGroupHeader,
    rbGroupFooter,
    rbSubDetail,
    rbColumnHeader,
    rbOverlay,
    rbChild
};
const system::TEnumInfo& BandTypeInfo();
const char* BandTypeCaption(TQRBandType type);
const char* BandTypeDefaultName(TQRBandType type);

class TQRCustomBand : public TQRBasePanel, public controls::TQRStretchParent {
public:
    using TBeforePrintEvent = std::function<void(TQRCustomBand& sender, bool& printBand)>;
    using TAfterPrintEvent = std::function<void(TQRCustomBand& sender, bool bandPrinted)>;

    TQRCustomBand();
    ~TQRCustomBand() override;

    virtual TQRBandType BandType() const { return FBandType; }
    // Changing the type re-orders the report's band list.
    virtual void SetBandType(TQRBandType type);

    TQRBandSize* Size() const { return FSize.get(); }
    bool AlignToBottom() const { return FAlignToBottom; }
    void SetAlignToBottom(bool v) { FAlignToBottom = v; }
    bool ForceNewColumn() const { return FForceNewColumn; }
    void SetForceNewColumn(bool v) { FForceNewColumn = v; }
    bool ForceNewPage() const { return FForceNewPage; }
    void SetForceNewPage(bool v) { FForceNewPage = v; }
    // An expression that must be true for the band to print (empty: always); false skips the band
    // as a BeforePrint veto does. The run prepares it (TQRGeneration::BandConditionHolds).
    std::string PrintCondition() const { return FPrintCondition; }
    void SetPrintCondition(const std::string& condition) { FPrintCondition = condition; }
    TQRCustomBand* LinkBand() const { return FLinkBand; }
    // A link whose chain leads back to this band is refused (the old value stays).
    void SetLinkBand(TQRCustomBand* band);

    TBeforePrintEvent BeforePrint;
    TAfterPrintEvent AfterPrint;

    TCustomQRReport* Report() const override { return FReport; }
    void SetParentReport(TCustomQRReport* report) { FReport = report; }
    TQRCustomController* NotifyController() const { return FNotifyController; }
    void SetNotifyController(TQRCustomController* c) { FNotifyController = c; }
    const controls::TRect& BandOutline() const { return FBandOutline; }
    Extended Expanded() const { return FExpanded; }

    // The band print procedure; called only through the run's PrintBand.
    void Print();
    // The space check of the run in progress (a new column or page when the band does not fit);
    // nothing between runs.
    void MakeSpace();
    Extended StretchHeight(bool withLinks) const;
    bool CanExpand(Extended amount) const override;
    bool ExpandBand(Extended amount, Extended& newExpansion, bool& hasExpanded) override;
    // The first rbChild band whose ParentBand is this band, in the report's band list.
    TQRCustomBand* GetChildBand() const;
    bool HasChild() const { return GetChildBand() != nullptr; }
    void SetHasChild(bool hasChild);

    bool IsBand() const override { return true; }
    controls::TQRUnit PanelUnits() const override { return FSize->Units(); }
    void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
    void SetParentComponent(system::TComponent* parent) override;
    system::TComponent* GetParentComponent() const override;

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    void Loaded() override;
    void Notification(system::TComponent* component, system::TOperation operation) override;
    TQRBandType FBandType = rbTitle;

private:
    std::unique_ptr<TQRBandSize> FSize;
    TCustomQRReport* FReport = nullptr;
    TQRCustomController* FNotifyController = nullptr;
    TQRCustomBand* FLinkBand = nullptr;
    controls::TRect FBandOutline;
    Extended FExpanded = 0;
    bool FAlignToBottom = false;
    bool FForceNewColumn = false;
    bool FForceNewPage = false;
    std::string FPrintCondition;
    // HasChild = True read from a description: the child is made after loading, unless the
    // description brings its own child band.
    bool FChildWanted = false;
};

class TQRBand : public TQRCustomBand {
public:
    static const char* StaticClassName() { return "TQRBand"; }
    const char* ClassName() const override { return StaticClassName(); }
    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }
};

class TQRChildBand : public TQRCustomBand {
public:
    TQRChildBand() { FBandType = rbChild; }
    static const char* StaticClassName() { return "TQRChildBand"; }
    const char* ClassName() const override { return StaticClassName(); }

    TQRCustomBand* ParentBand() const { return FParentBand; }
    // A parent chain that leads back to this band is refused; an accepted value re-orders the list.
    void SetParentBand(TQRCustomBand* band);

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    void Notification(system::TComponent* component, system::TOperation operation) override;

private:
    TQRCustomBand* FParentBand = nullptr;
    // How many child bands have named this band as parent (at least; one that went away is not
    // taken off): zero means no parent chain can lead back here.
    int FChildren = 0;

    void LinkParent(TQRCustomBand* band);
};

} // namespace pagimo::engine
