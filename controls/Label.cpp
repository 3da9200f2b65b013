#include "controls/Label.h"

#include "controls/ControlHost.h"
#include "expr/Evaluator.h"
#include "platform/gdi/Canvas.h"
#include "platform/system/ScopeGuard.h"
#include "printer/ExportFilter.h"

#include <QString>

#include <cmath>
#include <map>

namespace pagimo::controls {

const system::TEnumInfo& BiDiModeInfo() {
    static const system::TEnumInfo info{
        "TBiDiMode", {"bdLeftToRight", "bdRightToLeft", "bdRightToLeftNoAlign", "bdRightToLeftReadingOnly"}};
    return info;
}

void TQRStrings::SetStrings(const std::vector<std::string>& lines) {
    FLines = lines;
    if (FOnChange) FOnChange();
}

void TQRStrings::Add(const std::string& line) {
    FLines.push_back(line);
    if (FOnChange) FOnChange();
}

void TQRStrings::Clear() {
    FLines.clear();
    if (FOnChange) FOnChange();
}

const system::TPropertyList& TQRStrings::ClassProperties() {
    static const system::TPropertyList list(
        nullptr, {system::StringListProperty<TQRStrings>("Strings", &TQRStrings::Strings, &TQRStrings::SetStrings)});
    return list;
}

TQRCustomLabel::TQRCustomLabel()
    : FFont(std::make_unique<TFont>()), FLines(std::make_unique<TQRStrings>()),
      FHighlightFont(std::make_unique<TFont>()) {
    FFont->SetOnChange([this] { FontChanged(); });
    FLines->SetOnChange([this] {
        FLinesValid = false;
        ++FLinesChanges;
    });
    SetCaption("");
    SetTransparent(false);
}

TQRCustomLabel::~TQRCustomLabel() {
    FFont->SetOnChange(nullptr);
    FLines->SetOnChange(nullptr);
}

void TQRCustomLabel::SetCaption(const std::string& caption) {
    FCaption = caption;
    FPrintText = caption;
    FLinesValid = false;
    if (!Loading()) BuildLines();
}

void TQRCustomLabel::SetPrintText(const std::string& text) {
    FPrintText = text;
    FLinesValid = false;
}

void TQRCustomLabel::SetAutoSize(bool autoSize) {
    FAutoSize = autoSize;
    FLinesValid = false;
}

void TQRCustomLabel::SetAlignment(TAlignment alignment) {
    TQRPrintable::SetAlignment(alignment);
    FLinesValid = false;
}

void TQRCustomLabel::SetParentFont(bool parentFont) {
    FParentFont = parentFont;
    if (parentFont) SyncParentFont();
}

void TQRCustomLabel::FontChanged() {
    if (!FSyncingFont) FParentFont = false;
    FLinesValid = false;
    ++FFontChanges;
    if (!Loading()) BuildLines();
}

void TQRCustomLabel::SyncParentFont() {
    if (!FParentFont) return;
    auto* parent = dynamic_cast<TQRFontParent*>(ParentPanel());
    if (!parent || parent->EffectiveFont() == *FFont) return;
    AssignFontQuietly(parent->EffectiveFont());
}

void TQRCustomLabel::AssignFontQuietly(const TFont& font) {
    FSyncingFont = true;
    system::TScopeGuard done([this] { FSyncingFont = false; });
    FFont->Assign(font);
}

void TQRCustomLabel::SetParentComponent(system::TComponent* parent) {
    TQRPrintable::SetParentComponent(parent);
    SyncParentFont();
    if (!Loading()) BuildLines();
}

void TQRCustomLabel::Loaded() {
    TQRPrintable::Loaded();
    SyncParentFont();
    // The point size outlives a change of screen resolution, the stored height does not.
    if (FFontSize > 0 && FFontSize != FFont->Size()) FFont->SetSize(FFontSize);
    BuildLines();
}

TAlignment TQRCustomLabel::EffectiveAlignment() const {
    if (!UseRightToLeftAlignment()) return Alignment();
    switch (Alignment()) {
    case taLeftJustify:
        return taRightJustify;
    case taRightJustify:
        return taLeftJustify;
    case taCenter:
        break;
    }
    return taCenter;
}

int TQRCustomLabel::TextWidth(std::string_view text) const {
    const TQRControlReport* report = ControlReport();
    const int width = report ? report->MeasureTextWidth(*FFont, text) : FMeasure.Width(*FFont, text);
    return static_cast<int>(std::lround(static_cast<double>(width) * Zoom() / 100.0));
}

int TQRCustomLabel::LineHeight() const {
    const TQRControlReport* report = ControlReport();
    return report ? report->TextHeight(*FFont, "W") : FMeasure.Height(*FFont);
}

std::vector<std::string> TQRCustomLabel::BreakText(std::string_view text) const {
    std::vector<std::string> lines;
    TLineBreaker breaker({Width(), FAutoSize, FWordWrap}, [this](std::string_view t) { return TextWidth(t); });
    breaker.BreakText(text, lines);
    return lines;
}

TQRCustomLabel::TLinesInputs TQRCustomLabel::LinesInputs() const {
    TLinesInputs in;
    in.Parent = ParentPanel();
    in.Report = ParentReport();
    if (FTextFromCaption)
        in.Text = FPrintText;
    else if (FLines->Empty() && !Printing())
        in.Text = Name();
    in.LinesChanges = FLinesChanges;
    in.FontChanges = FFontChanges;
    in.Left = Left();
    in.Width = Width();
    in.Height = Height();
    in.Zoom = Zoom();
    in.FrameWidth = Frame()->Width();
    in.FrameLeft = Frame()->DrawLeft();
    in.FrameRight = Frame()->DrawRight();
    in.Alignment = static_cast<int>(EffectiveAlignment());
    in.AutoSize = FAutoSize;
    in.WordWrap = FWordWrap;
    in.FromCaption = FTextFromCaption;
    in.Printing = Printing();
    return in;
}

void TQRCustomLabel::BuildLines() {
    if (!ParentPanel()) return;
    TLinesInputs inputs = LinesInputs();
    if (FBuiltFrom && *FBuiltFrom == inputs) {
        FLinesValid = true;
        return;
    }
    FWrappedLines.clear();
    const bool hasReport = ParentReport() != nullptr;
    const int minHeight = LineHeight() * Zoom() / 100 + 1;
    if (FTextFromCaption) {
        FWrappedLines = BreakText(FPrintText);
        if (hasReport && !FSelfResizing && Height() < minHeight) {
            FSelfResizing = true;
            SetHeight(minHeight);
            FSelfResizing = false;
        }
    } else if (!FLines->Empty()) {
        if (FAutoSize) {
            FWrappedLines = FLines->Lines();
        } else {
            for (const std::string& line : FLines->Lines()) {
                std::vector<std::string> broken = BreakText(line);
                FWrappedLines.insert(FWrappedLines.end(), broken.begin(), broken.end());
            }
        }
    } else if (!Printing()) {
        // An empty memo shows itself by its name.
        FWrappedLines = BreakText(Name());
    }
    if (FAutoSize && hasReport && !FSelfResizing) {
        int w = 0;
        bool measured = true;
        for (const std::string& line : FWrappedLines) {
            const int lineWidth = TextWidth(line);
            measured = measured && lineWidth > 0;
            w = std::max(w, lineWidth);
        }
        // Without a font database nothing can be measured; the control keeps its size then.
        if (measured) {
            if (Frame()->DrawLeft()) w += Frame()->Width();
            if (Frame()->DrawRight()) w += Frame()->Width();
            FSelfResizing = true;
            int32_t left = Left();
            switch (EffectiveAlignment()) {
            case taRightJustify:
                left += Width() - w;
                break;
            case taCenter:
                left += (Width() - w) / 2;
                break;
            case taLeftJustify:
                break;
            }
            const int32_t height = std::max(Height(), minHeight);
            SetBounds(left, Top(), w, height);
            FSelfResizing = false;
        }
    }
    FLinesValid = true;
    // Taken after the build, which may have resized the control.
    FBuiltFrom = LinesInputs();
}

void TQRCustomLabel::StartPrinting() {
    TQRPrintable::StartPrinting();
    FHighlight.reset();
    FHighlighted = FHighlightTold = false;
    if (!FHighlightCondition.empty()) {
        FHighlight = std::make_unique<expr::TQREvaluator>();
        FHighlightTold = PrepareForRun(*FHighlight, FHighlightCondition,
                                       dynamic_cast<TQRControlReport*>(ParentReport()), *this, "HighlightCondition");
    }
    // A run may measure text on another device than the last one did.
    FBuiltFrom.reset();
    FNextLine = 0;
    SyncParentFont();
    SetCaption(FCaption);
}

bool TQRCustomLabel::UsesPageTotal() const {
    return TQRPrintable::UsesPageTotal() || NamesPageTotal(FHighlightCondition);
}

void TQRCustomLabel::EndPrinting() {
    FHighlight.reset();
    TQRPrintable::EndPrinting();
}

namespace {

// Puts a text back when a print that replaced it for the moment ends, also by an exception.
class TRestoreText {
public:
    explicit TRestoreText(std::string& text) : FText(text) {}
    ~TRestoreText() {
        if (FActive) FText = std::move(FSaved);
    }
    void Save() {
        FSaved = FText;
        FActive = true;
    }

private:
    std::string& FText;
    std::string FSaved;
    bool FActive = false;
};

printer::TAlignment ExportAlignment(TAlignment a) {
    switch (a) {
    case taRightJustify:
        return printer::taRightJustify;
    case taCenter:
        return printer::taCenter;
    case taLeftJustify:
        break;
    }
    return printer::taLeftJustify;
}

} // namespace

void TQRCustomLabel::PrintAt(int32_t ofsX, int32_t ofsY) {
    if (!PrintEnabled()) return;
    TQRPrintTarget* target = PrintTarget();
    TQRPrintableReport* report = ParentReport();
    if (!target || !report) return;
    // A text continued on the next page keeps the highlight it started with.
    if (PrintFinished())
        FHighlighted = FHighlight && FHighlight->Prepared() &&
                       ConditionValue(*FHighlight, "HighlightCondition", false, FHighlightTold);
    std::optional<TFont> plainFont;
    const TColor plainColor = Color();
    system::TScopeGuard plain([&] {
        if (plainFont) AssignFontQuietly(*plainFont);
        SetColor(plainColor);
    });
    if (FHighlighted) {
        plainFont = *FFont;
        const TFont fresh;
        TFont font = *FFont;
        if (FHighlightFont->Name() != fresh.Name()) font.SetName(FHighlightFont->Name());
        if (FHighlightFont->Height() != fresh.Height()) font.SetHeight(FHighlightFont->Height());
        if (FHighlightFont->Style() != fresh.Style()) font.SetStyle(FHighlightFont->Style());
        if (FHighlightFont->Charset() != fresh.Charset()) font.SetCharset(FHighlightFont->Charset());
        if (FHighlightFont->Color() != fresh.Color()) font.SetColor(FHighlightFont->Color());
        AssignFontQuietly(font);
        if (FHighlightColor != clNone) SetColor(FHighlightColor);
    }
    TQRControlReport* controlReport = ControlReport();
    gdi::TCanvas* canvas = target->PageCanvas();
    const bool finalPass = report->FinalPass() && !report->Exporting();
    const TQRPrintableSize& size = *Size();
    const int pixelsPerInch = static_cast<int>(std::lround(static_cast<double>(target->ScaleY()) * 254.0));

    // The line height in tenths of a millimetre, from the font as the page canvas has it.
    auto selectFont = [&]() -> Extended {
        if (canvas && target->ScaleY() > 0) {
            canvas->Font = DeviceFont(*FFont, pixelsPerInch);
            return canvas->TextHeight(std::string_view("W")) / target->ScaleY();
        }
        return static_cast<Extended>(LineHeight()) * 254 / 96;
    };
    Extended lineHeight = selectFont();
    Extended height = size.NativeValue(TQRPrintableSize::HeightIndex);
    const Extended top = size.NativeValue(TQRPrintableSize::TopIndex) + ofsY;

    TRestoreText restore(FPrintText);
    if (!FPrintText.empty() && OnPrint) {
        std::string value = FPrintText;
        OnPrint(*this, value);
        lineHeight = selectFont();
        height = size.NativeValue(TQRPrintableSize::HeightIndex);
        if (value != FPrintText) {
            restore.Save();
            FPrintText = std::move(value);
        }
    }

    BuildLines();
    // Read after the lines are built: AutoSize may have moved the control to keep its text's
    // anchor, and fill, text and frame all follow the control where it now is.
    const Extended width = size.NativeValue(TQRPrintableSize::WidthIndex);
    const Extended left = size.NativeValue(TQRPrintableSize::LeftIndex) + ofsX;

    if (finalPass && !Transparent()) {
        target->FillRect(
            {target->DeviceX(left), target->DeviceY(top), target->DeviceX(left + width), target->DeviceY(top + height)},
            Color());
    }
    const Extended inset = Rnd(static_cast<Extended>(Frame()->Width()) / 72 * 254);
    const Extended textTop = Frame()->DrawTop() ? top + inset : top;
    const Extended textLeft = Frame()->DrawLeft() ? left + inset : left;
    Extended bottom = textTop + height + 1;
    Extended y = textTop;
    Extended x = textLeft;

    const TAlignment alignment = EffectiveAlignment();
    uint32_t options = 0;
    uint32_t textAlign = gdi::TA_TOP;
    if (UseRightToLeftReading()) {
        options |= gdi::ETO_RTLREADING;
        textAlign |= gdi::TA_RTLREADING;
    }
    switch (alignment) {
    case taLeftJustify:
        textAlign |= gdi::TA_LEFT;
        break;
    case taRightJustify:
        textAlign |= gdi::TA_RIGHT;
        x += width;
        break;
    case taCenter:
        textAlign |= gdi::TA_CENTER;
        x += width / 2;
        break;
    }
    if (canvas) {
        canvas->SetBkMode(gdi::TRANSPARENT);
        canvas->SetTextAlign(textAlign);
    }

    printer::TQRExporter* exporter = report->Exporting() && controlReport ? controlReport->ExportFilter() : nullptr;
    // What every exported line of this print carries.
    const gdi::TFont exportFont = exporter ? ToGdiFont(*FFont) : gdi::TFont();
    const uint32_t exportBackground = static_cast<uint32_t>(ColorToRGB(Color())) & 0xFFFFFF;
    const printer::TAlignment exportAlignment = ExportAlignment(alignment);
    TQRStretchParent* stretchParent = StretchParent();
    Extended growth = 0;
    // Whether this print has grown the band yet; until it has, growth other controls already gave
    // the band is used first.
    bool hasExpanded = false;
    auto fits = [&]() {
        if (bottom >= y + lineHeight) return true;
        if (!FAutoStretch || !stretchParent || !stretchParent->CanExpand(lineHeight)) return false;
        const Extended previous = growth;
        stretchParent->ExpandBand(lineHeight, growth, hasExpanded);
        bottom = textTop + height + 1 + growth;
        if (finalPass && !Transparent()) {
            target->FillRect({target->DeviceX(left), target->DeviceY(textTop + height + previous),
                              target->DeviceX(left + width), target->DeviceY(textTop + height + growth)},
                             Color());
        }
        // A band that reports no growth gives no room: stop rather than loop.
        return growth > previous;
    };

    if (PrintFinished()) FNextLine = 0;
    const int count = static_cast<int>(FWrappedLines.size());
    if (FNextLine < 0) FNextLine = 0;
    while (FNextLine < count && fits()) {
        const std::string& line = FWrappedLines[static_cast<size_t>(FNextLine)];
        if (finalPass && canvas && !line.empty()) {
            const std::u16string text =
                QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())).toStdU16String();
            canvas->ExtTextOut(target->DeviceX(x), target->DeviceY(y), options, nullptr, text);
        }
        if (exporter) {
            exporter->ExportText(x, y, exportFont, exportBackground, exportAlignment, line);
        }
        y += lineHeight;
        ++FNextLine;
    }
    SetPrintFinished(!(FNextLine < count && FAutoStretch));
    if (canvas) canvas->SelectClipRgnNone();

    if (finalPass && Frame()->HasAnyEdge()) {
        Frame()->StrokeFrameEdges([target](const TRect& r, TColor c) { target->FillRect(r, c); },
                                  {target->DeviceX(left), target->DeviceY(top), target->DeviceX(left + width),
                                   target->DeviceY(top + height + growth)},
                                  target->ScaleX(), target->ScaleY());
    }
}

std::vector<system::TPropertyInfo> TQRCustomLabel::LabelProperties(std::initializer_list<std::string_view> names) {
    using namespace system;
    using L = TQRCustomLabel;
    static const std::map<std::string, TPropertyInfo, std::less<>> all = [] {
        std::map<std::string, TPropertyInfo, std::less<>> m;
        auto add = [&m](TPropertyInfo info) {
            std::string name = info.Name;
            m.emplace(std::move(name), std::move(info));
        };
        add(EnumProperty<L, TAlignment>("Alignment", AlignmentInfo(), &L::Alignment, &L::SetAlignment, taLeftJustify));
        add(BoolProperty<L>("AlignToBand", &L::AlignToBand, &L::SetAlignToBand, false));
        add(BoolProperty<L>("AutoSize", &L::AutoSize, &L::SetAutoSize, true));
        add(BoolProperty<L>("AutoStretch", &L::AutoStretch, &L::SetAutoStretch, false));
        add(EnumProperty<L, TBiDiMode>("BiDiMode", BiDiModeInfo(), &L::BiDiMode, &L::SetBiDiMode, bdLeftToRight));
        add(StringProperty<L>("Caption", &L::CaptionValue, &L::SetCaption));
        add(ColorProperty<L>("Color", &L::Color, &L::SetColor, clWhite));
        add(ObjectProperty<L, TFont>("Font", &L::Font));
        add(IntProperty<L>("FontSize", &L::StoredFontSize, &L::SetFontSize, std::nullopt));
        add(StringProperty<L>("HighlightCondition", &L::HighlightCondition, &L::SetHighlightCondition));
        add(ColorProperty<L>("HighlightColor", &L::HighlightColor, &L::SetHighlightColor, clNone));
        add(ObjectProperty<L, TFont>("HighlightFont", &L::HighlightFont));
        add(ObjectProperty<L, TQRStrings>("Lines", &L::SourceLines));
        add(BoolProperty<L>("ParentBiDiMode", &L::ParentBiDiMode, &L::SetParentBiDiMode, true));
        add(BoolProperty<L>("ParentFont", &L::ParentFont, &L::SetParentFont, true));
        add(BoolProperty<L>("Transparent", &L::Transparent, &L::SetTransparent, false));
        add(BoolProperty<L>("WordWrap", &L::WordWrap, &L::SetWordWrap, true));
        return m;
    }();
    std::vector<TPropertyInfo> out;
    for (std::string_view name : names) {
        auto it = all.find(name);
        if (it != all.end()) out.push_back(it->second);
    }
    return out;
}

const system::TPropertyList& TQRCustomLabel::ClassProperties() {
    static const system::TPropertyList list(&TQRPrintable::ClassProperties(), {});
    return list;
}

const system::TPropertyList& TQRLabel::ClassProperties() {
    static const system::TPropertyList list(
        &TQRPrintable::ClassProperties(),
        LabelProperties({"Alignment", "AlignToBand", "AutoSize", "AutoStretch", "BiDiMode", "Caption", "Color", "Font",
                         "FontSize", "ParentBiDiMode", "ParentFont", "Transparent", "WordWrap", "HighlightCondition",
                         "HighlightColor", "HighlightFont"}));
    return list;
}

TQRMemo::TQRMemo() {
    FTextFromCaption = false;
}

void TQRMemo::PrintAt(int32_t ofsX, int32_t ofsY) {
    SetCaption("");
    TQRCustomLabel::PrintAt(ofsX, ofsY);
    SetCaption(Name());
}

const system::TPropertyList& TQRMemo::ClassProperties() {
    static const system::TPropertyList list(
        &TQRPrintable::ClassProperties(),
        LabelProperties({"Alignment", "AlignToBand", "AutoSize", "AutoStretch", "BiDiMode", "Color", "Font", "FontSize",
                         "Lines", "ParentBiDiMode", "ParentFont", "Transparent", "WordWrap", "HighlightCondition",
                         "HighlightColor", "HighlightFont"}));
    return list;
}

} // namespace pagimo::controls
