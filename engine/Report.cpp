#include "engine/Report.h"

#include "engine/CSVTable.h"
#include "engine/CompositeReport.h"
#include "engine/CountingTarget.h"
#include "engine/SQLQuery.h"
#include "engine/SQLiteDataSet.h"
#include "platform/gdi/Canvas.h"
#include "platform/system/Errors.h"
#include "printer/QRPrinter.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include <QGuiApplication>

namespace pagimo::engine {

using controls::TQRUnit;

const system::TEnumInfo& ReportOptionInfo() {
    static const system::TEnumInfo info{"TQRReportOption", {"FirstPageHeader", "LastPageFooter", "Compression"}};
    return info;
}

const system::TEnumInfo& ColumnOrderInfo() {
    static const system::TEnumInfo info{"TQRColumnOrder", {"coDown", "coAcross"}};
    return info;
}

const system::TPropertyList& TQRReportPrinterSettings::ClassProperties() {
    using namespace system;
    using S = TQRReportPrinterSettings;
    static const TPropertyList list(
        nullptr, {IntProperty<S>("Copies", &S::Copies, &S::SetCopies, std::nullopt),
                  BoolProperty<S>("Duplex", &S::Duplex, &S::SetDuplex, std::nullopt),
                  IntProperty<S>("FirstPage", &S::FirstPage, &S::SetFirstPage, std::nullopt),
                  IntProperty<S>("LastPage", &S::LastPage, &S::SetLastPage, std::nullopt),
                  EnumProperty<S, TQRBin>("OutputBin", QRBinInfo(), &S::OutputBin, &S::SetOutputBin, std::nullopt)});
    return list;
}

TQRFunctions::TQRFunctions() : FNames{"PAGENUMBER", "COLUMNNUMBER", "REPORTTITLE"}, FExpressions{"0", "0", "''"} {}

void TQRFunctions::Set(const std::string& name, const std::string& expression) {
    std::string upper = name;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (size_t i = 0; i < FNames.size(); ++i) {
        if (system::SameText(FNames[i], upper)) {
            if (i < FExpressions.size()) FExpressions[i] = expression;
            return;
        }
    }
    FNames.resize(std::min(FNames.size(), FExpressions.size()));
    FExpressions.resize(FNames.size());
    FNames.push_back(upper);
    FExpressions.push_back(expression);
}

std::optional<std::string> TQRFunctions::Find(std::string_view name) const {
    for (size_t i = 0; i < FNames.size() && i < FExpressions.size(); ++i) {
        if (system::SameText(FNames[i], name)) return FExpressions[i];
    }
    return std::nullopt;
}

const system::TPropertyList& TQRFunctions::ClassProperties() {
    using namespace system;
    static const TPropertyList list(
        nullptr, {StringListProperty<TQRFunctions>("Strings", &TQRFunctions::Names, &TQRFunctions::SetNames),
                  StringListProperty<TQRFunctions>("DATA", &TQRFunctions::Expressions, &TQRFunctions::SetExpressions)});
    return list;
}

bool TQRReportBands::Has(TQRBandType type) const {
    return FReport.BandOfType(type) != nullptr;
}

void TQRReportBands::Set(TQRBandType type, bool present) {
    if (present == Has(type)) return;
    if (present) {
        FReport.NewBandOfType(type);
    } else if (TQRCustomBand* band = FReport.BandOfType(type); band && band->Owner()) {
        band->Owner()->FreeComponent(band);
    }
}

const system::TPropertyList& TQRReportBands::ClassProperties() {
    using namespace system;
    auto flag = [](const char* name, TQRBandType type) {
        return TPropertyInfo{name,
                             [type](TPersistent& o, const TFormValue& v, TLoadContext&) {
                                 static_cast<TQRReportBands&>(o).Set(type, BooleanValue(v));
                             },
                             nullptr, nullptr, "Boolean"};
    };
    static const TPropertyList list(nullptr, {flag("HasTitle", rbTitle), flag("HasPageHeader", rbPageHeader),
                                              flag("HasColumnHeader", rbColumnHeader), flag("HasDetail", rbDetail),
                                              flag("HasPageFooter", rbPageFooter), flag("HasSummary", rbSummary)});
    return list;
}

TCustomQRReport::TCustomQRReport()
    : FController(std::make_unique<TQRController>(this)), FPage(std::make_unique<TQRPage>()),
      FPrinterSettings(std::make_unique<TQRReportPrinterSettings>()), FFunctions(std::make_unique<TQRFunctions>()),
      FBandFlags(std::make_unique<TQRReportBands>(*this)) {
    FController->SetOwningReport(this);
    Font()->SetName("Arial");
    Font()->SetSize(10);
    FPage->SetFontSizeSource([this] { return Font()->Size(); });
    FPage->SetOnChange([this](TQRPage::TChange change) {
        if (change == TQRPage::pcResize) {
            TQRBasePanel::SetBounds(
                FLeft, FTop,
                Rnd(FPage->ValueFromNative(TQRUnit::Pixels, true, FPage->NativeValue(TQRPage::WidthIndex))),
                Rnd(FPage->ValueFromNative(TQRUnit::Pixels, false, FPage->NativeValue(TQRPage::LengthIndex))));
        } else if (change == TQRPage::pcArrangeBands && !Loading()) {
            ArrangeBands();
        }
    });
    FPage->ResizeOwner();
    // A new report takes the paper of the current printer, read through a temporary report printer.
    // Without a GUI application there is no printer support to ask; without a printer, or when the
    // printer's paper is not one of the standard sizes, the page keeps the locale's default paper.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const printer::TQRPrinter current;
        const TQRPaperSize paper = current.PaperSize();
        if (current.HasPrinters() && paper != TQRPaperSize::Default && paper != TQRPaperSize::Custom)
            FPage->SetPaperSize(paper);
    }
}

TCustomQRReport::~TCustomQRReport() {
    BeginDestroy();
    for (TQRCustomBand* b : FBands)
        b->SetParentReport(nullptr);
    FBands.clear();
    FBandSet.clear();
    FBandList.clear();
    FChildOfValid = false;
}

void TCustomQRReport::SetParentComponent(system::TComponent* parent) {
    FParentComponent = parent;
}

std::vector<system::TComponent*> TCustomQRReport::GetChildren() const {
    std::vector<system::TComponent*> out(FBands.begin(), FBands.end());
    for (system::TComponent* c : TQRBasePanel::GetChildren()) {
        if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
    }
    return out;
}

void TCustomQRReport::SetUnits(TQRUnit units) {
    FPage->SetUnits(units);
    for (TQRCustomBand* b : FBands) {
        b->Size()->SetUnits(units);
        for (controls::TQRPrintable* p : b->Printables())
            p->Size()->SetUnits(units);
    }
    for (controls::TQRPrintable* p : Printables())
        p->Size()->SetUnits(units);
}

void TCustomQRReport::SetZoom(int zoom) {
    if (zoom < 1 || zoom > 300) return;
    TQRBasePanel::SetZoom(zoom);
    FPage->SetZoom(zoom);
    for (TQRCustomBand* b : FBands) {
        b->SetZoom(zoom);
        b->Size()->SetZoom(zoom);
    }
}

void TCustomQRReport::AddBand(TQRCustomBand* band) {
    if (!FBandSet.insert(band).second) return;
    FBands.push_back(band);
    band->SetParentReport(this);
    band->Size()->SetUnits(Units());
    band->Size()->SetFontSizeSource([this] { return Font()->Size(); });
    if (!Loading() && !band->Loading())
        RebuildBandList();
    else
        FBandList.push_back(band);
    FChildOfValid = false;
}

void TCustomQRReport::RemoveBand(TQRCustomBand* band) {
    // Bands mostly go in reverse order of coming: search from the end.
    auto eraseFromBack = [band](std::vector<TQRCustomBand*>& v) {
        auto it = std::find(v.rbegin(), v.rend(), band);
        if (it != v.rend()) v.erase(std::prev(it.base()));
    };
    if (FBandSet.erase(band)) eraseFromBack(FBands);
    eraseFromBack(FBandList);
    FChildOfValid = false;
    if (FController->Detail() == band) FController->SetDetail(nullptr);
    if (FController->Header() == band) FController->SetHeader(nullptr);
    if (FController->Footer() == band) FController->SetFooter(nullptr);
}

void TCustomQRReport::Notification(system::TComponent* component, system::TOperation operation) {
    if (operation != system::opRemove) return;
    if (component == FDataSet) FDataSet = nullptr;
    if (component == FParentComponent) FParentComponent = nullptr;
    if (auto* band = dynamic_cast<TQRCustomBand*>(component)) RemoveBand(band);
    if (FGeneration) FGeneration->Forget(component);
}

TQRCustomBand* TCustomQRReport::ChildOf(const TQRCustomBand* band) const {
    if (!FChildOfValid) {
        FChildOf.clear();
        for (TQRCustomBand* b : FBandList) {
            auto* child = dynamic_cast<TQRChildBand*>(b);
            if (child && child->ParentBand()) FChildOf.emplace(child->ParentBand(), child);
        }
        FChildOfValid = true;
    }
    auto it = FChildOf.find(band);
    return it == FChildOf.end() ? nullptr : it->second;
}

TQRCustomBand* TCustomQRReport::BandOfType(TQRBandType type) const {
    for (TQRCustomBand* b : FBandList) {
        if (b->BandType() == type) return b;
    }
    return nullptr;
}

TQRCustomBand* TCustomQRReport::NewBandOfType(TQRBandType type) {
    system::TComponent* owner = Owner() ? Owner() : this;
    auto* band = system::TComponent::Create<TQRBand>(owner);
    const std::string base = BandTypeDefaultName(type);
    for (int n = 1;; ++n) {
        const std::string name = base + std::to_string(n);
        if (!owner->FindComponent(name) && !system::SameText(owner->Name(), name)) {
            band->SetName(name);
            break;
        }
    }
    band->SetBandType(type);
    AddBand(band);
    return band;
}

namespace {

TQRCustomBand* ParentOf(TQRCustomBand* b) {
    auto* child = dynamic_cast<TQRChildBand*>(b);
    return child ? child->ParentBand() : nullptr;
}

} // namespace

void TCustomQRReport::RebuildBandList() {
    Execute(); // binds the report's bands to the main controller (no run: only assignments)
    FController->CollectControllers();
    std::vector<TQRCustomBand*> previous = FBandList;
    std::unordered_set<const TQRCustomBand*> inPrevious(previous.begin(), previous.end());
    for (TQRCustomBand* b : FBands) {
        if (inPrevious.insert(b).second) previous.push_back(b);
    }
    // Each band's child bands in the order the report has them, taken from the front as they are
    // placed.
    std::unordered_map<const TQRCustomBand*, std::deque<TQRCustomBand*>> children;
    for (TQRCustomBand* c : FBands) {
        if (c->BandType() == rbChild) {
            if (TQRCustomBand* parent = ParentOf(c)) children[parent].push_back(c);
        }
    }
    std::vector<TQRCustomBand*> list;
    std::unordered_set<const TQRCustomBand*> inList;
    auto taken = [&](TQRCustomBand* b) { return inList.contains(b); };
    auto take = [&](TQRCustomBand* b) {
        list.push_back(b);
        inList.insert(b);
    };
    auto append = [&](TQRCustomBand* b) {
        if (!b || taken(b) || b->Destroying()) return;
        if (!FBandSet.contains(b)) return;
        take(b);
        // Its chain of child bands follows it.
        for (TQRCustomBand* parent = b;;) {
            TQRCustomBand* next = nullptr;
            if (auto it = children.find(parent); it != children.end()) {
                auto& queue = it->second;
                while (!queue.empty() && taken(queue.front()))
                    queue.pop_front();
                if (!queue.empty()) next = queue.front();
            }
            if (!next) break;
            take(next);
            parent = next;
        }
    };
    auto appendType = [&](TQRBandType type) {
        for (TQRCustomBand* b : previous) {
            if (b->BandType() == type) append(b);
        }
    };
    appendType(rbPageHeader);
    appendType(rbTitle);
    appendType(rbColumnHeader);
    std::vector<TQRCustomBand*> controllerBands;
    FController->RegisterBands(controllerBands);
    for (TQRCustomBand* b : controllerBands)
        append(b);
    appendType(rbPageFooter);
    for (TQRCustomBand* b : previous)
        append(b);
    FBandList = std::move(list);
    FChildOfValid = false;
    ArrangeBands();
}

void TCustomQRReport::ArrangeBands() {
    auto px = [&](size_t index) {
        return Rnd(FPage->ValueFromNative(TQRUnit::Pixels, FPage->Horizontal(index), FPage->NativeValue(index)));
    };
    const int32_t left = px(TQRPage::LeftMarginIndex);
    const int32_t full = px(TQRPage::WidthIndex) - left - px(TQRPage::RightMarginIndex);
    const int64_t columns = std::max(1, FPage->Columns());
    const int64_t columnWidth = (full - int64_t{px(TQRPage::ColumnSpaceIndex)} * (columns - 1)) / columns;
    int64_t top = px(TQRPage::TopMarginIndex);
    // A child band is laid out as the first band up its chain that is not a child; parents mostly
    // come first in the list, so their answer is kept.
    std::unordered_map<const TQRCustomBand*, TQRBandType> kindOf;
    for (TQRCustomBand* b : FBandList) {
        TQRCustomBand* kind = b;
        std::optional<TQRBandType> known;
        for (int steps = 0; kind && kind->BandType() == rbChild && steps < 100000; ++steps) {
            if (auto it = kindOf.find(kind); it != kindOf.end()) {
                known = it->second;
                break;
            }
            kind = ParentOf(kind);
        }
        const TQRBandType t = known ? *known : kind ? kind->BandType() : rbChild;
        kindOf[b] = t;
        const bool fullWidth =
            t == rbTitle || t == rbPageHeader || t == rbPageFooter || t == rbSummary || t == rbOverlay;
        b->Size()->EnterPixelUnits();
        b->Size()->SetWidth(fullWidth ? full : static_cast<Extended>(columnWidth));
        b->Size()->LeavePixelUnits();
        b->TQRBasePanel::SetBounds(left, static_cast<int32_t>(std::clamp<int64_t>(top, INT32_MIN, INT32_MAX)),
                                   b->Width(), b->Height());
        top += b->Height();
    }
}

void TCustomQRReport::Loaded() {
    // Sizes given by name (Page.LeftMargin, Size.Height, Size.Left) are read in the Units the
    // report ends up with, wherever the description says Units.
    const TQRUnit units = Units();
    FPage->ApplyNamedValues(units);
    for (TQRCustomBand* b : FBands) {
        b->Size()->ApplyNamedValues(units);
        for (controls::TQRPrintable* p : b->Printables())
            p->Size()->ApplyNamedValues(units);
    }
    for (controls::TQRPrintable* p : Printables())
        p->Size()->ApplyNamedValues(units);
    TQRBasePanel::Loaded();
    FPage->ResizeOwner();
    RebuildBandList();
}

void TCustomQRReport::Execute() {
    FController->SetOwningReport(this);
}

void TQRReport::Execute() {
    FController->SetDetail(BandOfType(rbDetail));
    FController->SetHeader(BandOfType(rbTitle));
    FController->SetFooter(BandOfType(rbSummary));
    FController->SetDataSet(DataSet());
    FController->OnNeedData = OnNeedData;
    TCustomQRReport::Execute();
}

int TCustomQRReport::MeasureTextWidth(const controls::TFont& font, std::string_view text) const {
    return FMeasure.Width(font, text);
}

int TCustomQRReport::TextHeight(const controls::TFont& font, std::string_view) const {
    return FMeasure.Height(font);
}

bool TCustomQRReport::IsBandReport() const {
    return dynamic_cast<const TQRReport*>(this) != nullptr;
}

int TCustomQRReport::DetailNumber() const {
    return FController->DetailNumber();
}

int TCustomQRReport::RecordCount() const {
    // Any failure counts as one record, so progress is still reported.
    try {
        if (!FDataSet || !FDataSet->Active()) return 1;
        return FDataSet->RecordCount();
    } catch (...) {
        return 1;
    }
}

void TCustomQRReport::CollectDataSets(std::vector<TQRDataSet*>& out) const {
    out.clear();
    // The form that holds the report: the root of the ownership tree.
    const system::TComponent* form = this;
    while (form->Owner())
        form = form->Owner();
    std::function<void(const system::TComponent*)> walk = [&](const system::TComponent* c) {
        for (system::TComponent* owned : c->Components()) {
            if (auto* d = dynamic_cast<TQRDataSet*>(owned)) out.push_back(d);
            walk(owned);
        }
    };
    if (auto* d = dynamic_cast<const TQRDataSet*>(form)) out.push_back(const_cast<TQRDataSet*>(d));
    walk(form);
}

Extended TCustomQRReport::PageFooterArea() const {
    Extended size = 0;
    for (TQRCustomBand* b : FBands) {
        if (b->BandType() != rbPageFooter || !b->Enabled()) continue;
        int steps = 0;
        for (TQRCustomBand* c = b; c && steps < 100000; c = c->GetChildBand(), ++steps) {
            size += c->Size()->NativeValue(TQRBandSize::HeightIndex);
        }
    }
    return size;
}

void TCustomQRReport::AttachBands() {
    for (TQRCustomBand* b : FBands)
        b->SetParentReport(this);
    ForEachPrintable([this](controls::TQRPrintable& p) { p.SetParentReport(this); });
}

void TCustomQRReport::ForEachPrintable(const std::function<void(controls::TQRPrintable&)>& f) const {
    for (controls::TQRPrintable* p : Printables())
        f(*p);
    for (TQRCustomBand* b : FBands) {
        for (controls::TQRPrintable* p : b->Printables())
            f(*p);
    }
}

TQRDocumentSettings TCustomQRReport::DocumentSettings() const {
    TQRDocumentSettings s;
    static_cast<printer::TQRPrinterSettings&>(s) = *FPrinterSettings;
    s.SetPaperSize(FPage->PaperSize());
    if (s.PaperSize() == TQRPaperSize::Custom) {
        s.PaperWidth = Rnd(FPage->NativeValue(TQRPage::WidthIndex));
        s.PaperLength = Rnd(FPage->NativeValue(TQRPage::LengthIndex));
    }
    s.SetOrientation(FPage->Orientation());
    s.SetJobTitle(FReportTitle);
    s.Compressed = HasOption(Compression);
    return s;
}

void TCustomQRReport::FitMarginsToPaper() {
    auto native = [&](size_t i) { return FPage->NativeValue(i); };
    std::vector<Extended> values = FPage->StoredValues();
    if (native(TQRPage::WidthIndex) - native(TQRPage::LeftMarginIndex) - native(TQRPage::RightMarginIndex) < 0) {
        values[TQRPage::LeftMarginIndex] = values[TQRPage::RightMarginIndex] = 0;
    }
    if (native(TQRPage::LengthIndex) - native(TQRPage::TopMarginIndex) - native(TQRPage::BottomMarginIndex) < 0) {
        values[TQRPage::TopMarginIndex] = values[TQRPage::BottomMarginIndex] = 0;
    }
    FPage->SetStoredValues(values);
}

void TCustomQRReport::CreateReport(bool composite, TQRRunPosition* carry) {
    TQRRunPosition fresh;
    Generate(composite, composite ? (carry ? carry : &fresh) : nullptr, nullptr);
}

void TCustomQRReport::ExportTo(printer::TQRExporter& filter) {
    Generate(false, nullptr, &filter);
}

bool TCustomQRReport::NeedsPageNumbering() const {
    bool needed = false;
    ForEachPrintable([&needed](controls::TQRPrintable& p) { needed = needed || p.UsesPageTotal(); });
    for (TQRCustomBand* b : FBands) {
        needed = needed || controls::NamesPageTotal(b->PrintCondition());
        if (auto* group = dynamic_cast<TQRGroup*>(b))
            needed = needed || group->ResetPageNumber() || controls::NamesPageTotal(group->Expression());
    }
    for (const std::string& e : FFunctions->Expressions())
        needed = needed || controls::NamesPageTotal(e);
    return needed;
}

void TCustomQRReport::Generate(bool composite, TQRRunPosition* carry, printer::TQRExporter* filter) {
    if (FGeneration) return;
    if (!FTarget) throw EQRError("QRPrinter not ready");
    FitMarginsToPaper();
    // A report that prints its page total runs twice: a counting pass through the path of an export
    // pass (nothing drawn, pages not begun) onto a target that keeps nothing, then the real run.
    // A composite part counts nothing: its numbers continue the document's.
    TQRPageNumbering numbering;
    const bool count = !composite && NeedsPageNumbering();
    {
        TQRCountingTarget counter(*FTarget);
        TQRGeneration run(*this, count ? static_cast<TQRReportTarget&>(counter) : *FTarget, composite ? carry : nullptr,
                          count ? nullptr : filter);
        if (count) run.CountPages(numbering);
        bool printReport = true;
        if (BeforePrint) BeforePrint(*this, printReport);
        if (!printReport) return;
        run.Begin();
        FController->Execute();
        run.Finish();
        if (carry) *carry = run.Position();
        if (!count || FCancelled) return;
    }
    TQRGeneration run(*this, *FTarget, nullptr, filter);
    run.NumberPages(numbering);
    run.Begin();
    FController->Execute();
    run.Finish();
}

void TCustomQRReport::Cancel() {
    if (!FGeneration) return;
    FCancelled = true;
    if (FTarget) FTarget->RequestCancel();
}

void TCustomQRReport::PrintBand(TQRCustomBand* band) {
    if (FGeneration) FGeneration->PrintBand(band);
}

void TCustomQRReport::NewPage() {
    if (FGeneration) FGeneration->NewPage();
}

void TCustomQRReport::NewColumn() {
    if (FGeneration) FGeneration->NewColumn();
}

void TCustomQRReport::EndPage() {
    if (FGeneration) FGeneration->EndPage();
}

void TCustomQRReport::RequestNewPage() {
    if (FGeneration) FGeneration->RequestNewPage();
}

void TCustomQRReport::RequestNewColumn() {
    if (FGeneration) FGeneration->RequestNewColumn();
}

int32_t TCustomQRReport::AvailableSpace() const {
    return FGeneration ? FGeneration->AvailableSpace() : 0;
}

const std::vector<TQRDataSet*>& TCustomQRReport::AllDataSets() const {
    static const std::vector<TQRDataSet*> none;
    return FGeneration ? FGeneration->AllDataSets() : none;
}

namespace {

// A literal as a report function's expression: a number, a quoted string or True/False.
std::optional<TFieldValue> Literal(std::string_view e) {
    while (!e.empty() && e.front() == ' ')
        e.remove_prefix(1);
    while (!e.empty() && e.back() == ' ')
        e.remove_suffix(1);
    if (e.empty()) return std::nullopt;
    if (e.size() >= 2 && e.front() == '\'' && e.back() == '\'') {
        std::string s;
        for (size_t i = 1; i + 1 < e.size(); ++i) {
            s += e[i];
            if (e[i] == '\'' && i + 2 < e.size() && e[i + 1] == '\'') ++i;
        }
        return s;
    }
    if (system::SameText(e, "True")) return true;
    if (system::SameText(e, "False")) return false;
    int64_t i = 0;
    if (auto [end, ec] = std::from_chars(e.data(), e.data() + e.size(), i);
        ec == std::errc() && end == e.data() + e.size()) {
        return i;
    }
    double d = 0;
    if (auto [end, ec] = std::from_chars(e.data(), e.data() + e.size(), d, std::chars_format::fixed);
        ec == std::errc() && end == e.data() + e.size()) {
        return d;
    }
    return std::nullopt;
}

} // namespace

std::optional<TFieldValue> TCustomQRReport::FunctionValue(std::string_view name) const {
    if (expr::TQREvEnvironment* environment = Environment(); environment && environment->Prepared()) {
        if (!environment->Contains(name)) return std::nullopt;
        const expr::EvResult r = environment->Value(name);
        if (r.Kind == expr::resError) return std::nullopt;
        return FromEvResult(r);
    }
    // No run: no page or column has begun.
    if (system::SameText(name, "PAGENUMBER") || system::SameText(name, "COLUMNNUMBER")) return int64_t{0};
    if (system::SameText(name, "REPORTTITLE")) return FReportTitle;
    auto e = FFunctions->Find(name);
    if (!e) return std::nullopt;
    return Literal(*e);
}

expr::TQREvDataSets TCustomQRReport::EvDataSets() const {
    return FGeneration ? FGeneration->EvDataSets() : expr::TQREvDataSets{};
}

const system::TPropertyList& TCustomQRReport::ClassProperties() {
    using namespace system;
    using R = TCustomQRReport;
    static const TPropertyList list(
        &TQRBasePanel::ClassProperties(),
        {ObjectProperty<R, TQRReportBands>("Bands", &R::Bands),
         EnumProperty<R, TQRColumnOrder>("ColumnOrder", ColumnOrderInfo(), &R::ColumnOrder, &R::SetColumnOrder, coDown),
         ComponentProperty<R, TQRDataSet>("DataSet", &R::DataSet, &R::SetDataSet),
         StringListProperty<R>("Description", &R::Description, &R::SetDescription),
         ObjectProperty<R, TQRFunctions>("Functions", &R::Functions),
         SetProperty<R>("Options", ReportOptionInfo(), &R::Options, &R::SetOptions, std::nullopt),
         ObjectProperty<R, TQRPage>("Page", &R::Page),
         ObjectProperty<R, TQRReportPrinterSettings>("PrinterSettings", &R::PrinterSettings),
         BoolProperty<R>("PrintIfEmpty", &R::PrintIfEmpty, &R::SetPrintIfEmpty, std::nullopt),
         StringProperty<R>("ReportTitle", &R::ReportTitle, &R::SetReportTitle),
         BoolProperty<R>("ShowProgress", &R::ShowProgress, &R::SetShowProgress, true),
         BoolProperty<R>("SnapToGrid", &R::SnapToGrid, &R::SetSnapToGrid, std::nullopt),
         EnumProperty<R, TQRUnit>("Units", controls::QRUnitInfo(), &R::Units, &R::SetUnits, std::nullopt),
         IntProperty<R>("Zoom", &R::Zoom, &R::SetZoom, std::nullopt)});
    return list;
}

void RegisterReportClasses(system::TClassRegistry& registry) {
    registry.Register<TQRReport>();
    registry.Register<TQRBand>();
    registry.Register<TQRChildBand>();
    registry.Register<TQRGroup>();
    registry.Register<TQRSubDetail>();
    registry.Register<TQRSQLiteQuery>();
    registry.Register<TQRSQLiteTable>();
    registry.Register<TQRSQLQuery>();
    registry.Register<TQRCSVTable>();
    registry.Register<TQRMemoryTable>();
    registry.Register<TQRCompositeReport>();
}

} // namespace pagimo::engine
