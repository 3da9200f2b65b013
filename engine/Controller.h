#pragma once
// Controllers walk the records of a data set (or of a record source event) and print, for each
// record, the bands that belong to it; sub-details hang controllers under a master record, and
// groups print headers and footers around runs of equal expression values.

#include "engine/CustomBand.h"
#include "engine/DataSet.h"

#include <functional>
#include <memory>
#include <vector>

namespace pagimo::engine {

class TQRGroup;
class TQRControllerBand;

// A record source without a data set: MoreData comes in true on the first call.
using TQRNeedDataEvent = std::function<void(system::TComponent& sender, bool& moreData)>;

class TQRCustomController {
public:
    explicit TQRCustomController(system::TComponent* host) : FHost(host) {}
    virtual ~TQRCustomController();

    TCustomQRReport* OwningReport() const { return FReport; }
    void SetOwningReport(TCustomQRReport* report) { FReport = report; }
    system::TComponent* Host() const { return FHost; }
    system::TComponent* Master() const { return FMaster; }
    void SetMaster(system::TComponent* master) { FMaster = master; }
    bool PrintBefore() const { return FPrintBefore; }
    void SetPrintBefore(bool v) { FPrintBefore = v; }
    bool PrintIfEmpty() const { return FPrintIfEmpty; }
    void SetPrintIfEmpty(bool v) { FPrintIfEmpty = v; }
    int DetailNumber() const { return FDetailNumber; }
    const std::vector<TQRGroup*>& Groups() const { return FGroups; }

    // The run protocol the report drives.
    virtual void CollectControllers();
    // Tells the report of every data set of the tree that is read but not open (no records then).
    virtual void CheckDataSets();
    virtual void PrepareRun();
    virtual void Execute();
    virtual void ReleaseRun();
    virtual void RunWithoutData();
    // The bands of this controller's tree in band-list order.
    virtual void RegisterBands(std::vector<TQRCustomBand*>& list);

    void RunBeforeControllers();
    void RunAfterControllers();
    bool CheckGroups();
    // Reprinted headers (ReprintOnNewPage) begin no new group value.
    void PrintGroupHeaders(bool reprint = false);
    void PrintGroupFooters();
    void ReprintGroupHeaders();
    void NotifyExprs();
    void AddNotifyExpr(controls::TQRPrintable* control) { FRecordListeners.push_back(control); }

protected:
    TCustomQRReport* FReport = nullptr;
    system::TComponent* FHost;
    system::TComponent* FMaster = nullptr;
    bool FPrintBefore = false;
    bool FPrintIfEmpty = true;
    int FDetailNumber = 0;
    std::vector<TQRCustomController*> FBeforeControllers;
    std::vector<TQRCustomController*> FAfterControllers;
    std::vector<TQRGroup*> FGroups;
    std::vector<controls::TQRPrintable*> FRecordListeners;

    void CollectDataSets();
    void PrintBandOf(TQRCustomBand* band);
};

class TQRController : public TQRCustomController {
public:
    using TQRCustomController::TQRCustomController;

    TQRDataSet* DataSet() const { return FDataSet; }
    void SetDataSet(TQRDataSet* dataSet) { FDataSet = dataSet; }
    TQRCustomBand* Detail() const { return FDetail; }
    void SetDetail(TQRCustomBand* band) { FDetail = band; }
    TQRCustomBand* Header() const { return FHeader; }
    void SetHeader(TQRCustomBand* band) { FHeader = band; }
    TQRCustomBand* Footer() const { return FFooter; }
    void SetFooter(TQRCustomBand* band) { FFooter = band; }
    TQRNeedDataEvent OnNeedData;

    void CheckDataSets() override;
    void PrepareRun() override;
    void Execute() override;
    void RunWithoutData() override;
    void RegisterBands(std::vector<TQRCustomBand*>& list) override;

private:
    TQRDataSet* FDataSet = nullptr;
    TQRCustomBand* FDetail = nullptr;
    TQRCustomBand* FHeader = nullptr;
    TQRCustomBand* FFooter = nullptr;
    bool FRefreshParams = false;

    void RefreshParams();
};

// Gives the query parameters of dataSet the values of the report functions of their names (as
// TCustomQRReport::FunctionValue reads them), each assigned by the parameter's type; a parameter
// without such a function, or whose type the value does not fit, keeps its value. The data set is
// not reopened.
void AssignParamsFromFunctions(TQRDataSet& dataSet, const TCustomQRReport& report);

// A band that owns a controller whose detail is the band itself.
class TQRControllerBand : public TQRCustomBand {
public:
    TQRControllerBand();
    ~TQRControllerBand() override;
    TQRController* Controller() const { return FController.get(); }
    system::TComponent* Master() const { return FController->Master(); }
    // The report or another controller band; a chain leading back to this band is refused.
    void SetMaster(system::TComponent* master);

    void SetParentComponent(system::TComponent* parent) override;
    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    void Notification(system::TComponent* component, system::TOperation operation) override;

private:
    std::unique_ptr<TQRController> FController;
};

class TQRSubDetail;

// A sub-detail's Bands.HasHeader and Bands.HasFooter: setting one true adds a group header or footer
// band to the report and makes it the sub-detail's; setting it false removes that band. Not stored:
// a written description names the bands in HeaderBand and FooterBand.
class TQRSubDetailGroupBands : public system::TPersistent {
public:
    explicit TQRSubDetailGroupBands(TQRSubDetail& owner) : FOwner(owner) {}
    const char* ClassName() const override { return "TQRSubDetailGroupBands"; }
    bool HasHeader() const;
    void SetHasHeader(bool v);
    bool HasFooter() const;
    void SetHasFooter(bool v);

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

private:
    friend class TQRSubDetail;
    TQRSubDetail& FOwner;
    // Wishes read while loading; met after loading unless the description named its own bands.
    bool FHeaderWanted = false;
    bool FFooterWanted = false;
};

class TQRSubDetail : public TQRControllerBand, public controls::TQRRecordSource {
public:
    TQRSubDetail() : FBands(std::make_unique<TQRSubDetailGroupBands>(*this)) { FBandType = rbSubDetail; }
    TQRSubDetailGroupBands* Bands() const { return FBands.get(); }
    static const char* StaticClassName() { return "TQRSubDetail"; }
    const char* ClassName() const override { return StaticClassName(); }

    TQRDataSet* DataSet() const { return Controller()->DataSet(); }
    void SetDataSet(TQRDataSet* d) { Controller()->SetDataSet(d); }
    TQRCustomBand* HeaderBand() const { return Controller()->Header(); }
    void SetHeaderBand(TQRCustomBand* band);
    TQRCustomBand* FooterBand() const { return Controller()->Footer(); }
    void SetFooterBand(TQRCustomBand* band);
    bool PrintBefore() const { return Controller()->PrintBefore(); }
    void SetPrintBefore(bool v);
    bool PrintIfEmpty() const { return Controller()->PrintIfEmpty(); }
    void SetPrintIfEmpty(bool v) { Controller()->SetPrintIfEmpty(v); }
    void AddRecordListener(controls::TQRPrintable* control) override { Controller()->AddNotifyExpr(control); }

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    void Loaded() override;
    void Notification(system::TComponent* component, system::TOperation operation) override;

private:
    std::unique_ptr<TQRSubDetailGroupBands> FBands;
};

// A group band: its header prints when the value of Expression changes between records, its footer
// when a run of equal values ends. What a group remembers during a run lives in the run's record
// of it (TQRGroupRun).
class TQRGroup : public TQRCustomBand {
public:
    TQRGroup() { FBandType = rbGroupHeader; }
    static const char* StaticClassName() { return "TQRGroup"; }
    const char* ClassName() const override { return StaticClassName(); }

    std::string Expression() const { return FExpression; }
    void SetExpression(const std::string& e) { FExpression = e; }
    TQRCustomBand* FooterBand() const { return FFooterBand; }
    void SetFooterBand(TQRCustomBand* band);
    system::TComponent* Master() const { return FMaster; }
    // The report or a controller band; other components are ignored.
    void SetMaster(system::TComponent* master);
    bool ReprintOnNewPage() const { return FReprintOnNewPage; }
    void SetReprintOnNewPage(bool v) { FReprintOnNewPage = v; }
    // Each group value counts its pages from 1: PAGENUMBER and TOTALPAGES (and the page number and
    // page count of system data) restart on the page where the group's header prints.
    bool ResetPageNumber() const { return FResetPageNumber; }
    void SetResetPageNumber(bool v) { FResetPageNumber = v; }

    void SetParentComponent(system::TComponent* parent) override;
    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    void Notification(system::TComponent* component, system::TOperation operation) override;

private:
    std::string FExpression;
    TQRCustomBand* FFooterBand = nullptr;
    system::TComponent* FMaster = nullptr;
    bool FReprintOnNewPage = false;
    bool FResetPageNumber = false;
};

} // namespace pagimo::engine
