#include "controls/Barcode.h"

#include "controls/ControlHost.h"
#include "platform/gdi/Canvas.h"
#include "platform/system/Component.h"
#include "platform/system/Errors.h"

#include <QString>

#include <zint.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace pagimo::controls {

namespace {

struct TSymbology {
    int Zint;
    const char* Name;
    bool TwoDimensional;
};

constexpr TSymbology Symbologies[] = {
    {BARCODE_CODE128, "Code 128", false}, {BARCODE_CODE39, "Code 39", false},
    {BARCODE_EANX, "EAN-13", false},      {BARCODE_EANX, "EAN-8", false},
    {BARCODE_UPCA, "UPC-A", false},       {BARCODE_ITF14, "ITF-14", false},
    {BARCODE_QRCODE, "QR Code", true},    {BARCODE_DATAMATRIX, "Data Matrix", true},
    {BARCODE_PDF417, "PDF417", true},
};

// Zint's vector output measures two units per module at scale 1.
constexpr Extended UnitsPerModule = 2;

struct TSymbolDeleter {
    void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};
using TSymbolPtr = std::unique_ptr<zint_symbol, TSymbolDeleter>;

bool AllDigits(const std::string& data) {
    return !data.empty() && std::all_of(data.begin(), data.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// EAN-13 and EAN-8 share one symbology in the library, which picks by the length; a length of the
// other code is refused here rather than printed as the wrong symbol.
void CheckLength(TQRBarcodeType type, const std::string& data) {
    if (type == bcEAN13 && !(AllDigits(data) && (data.size() == 12 || data.size() == 13)))
        throw EQRError("EAN-13 takes 12 digits (13 with the check digit)");
    if (type == bcEAN8 && !(AllDigits(data) && (data.size() == 7 || data.size() == 8)))
        throw EQRError("EAN-8 takes 7 digits (8 with the check digit)");
}

TSymbolPtr Encode(TQRBarcodeType type, const std::string& data, float height, bool showText) {
    TSymbolPtr symbol(ZBarcode_Create());
    if (!symbol) throw EQRError("out of memory");
    symbol->symbology = Symbologies[type].Zint;
    symbol->input_mode = UNICODE_MODE;
    symbol->show_hrt = showText ? 1 : 0;
    symbol->output_options |= BARCODE_QUIET_ZONES;
    // Text beyond ASCII goes into 2D codes as UTF-8, said so by its ECI, which readers honour; the
    // library would otherwise pick a one-byte character set that most readers take for Latin-1.
    if (Symbologies[type].TwoDimensional &&
        std::any_of(data.begin(), data.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        symbol->eci = 26;
    if (height > 0) symbol->height = height;
    const int rc = ZBarcode_Encode_and_Buffer_Vector(symbol.get(), reinterpret_cast<const unsigned char*>(data.data()),
                                                     static_cast<int>(data.size()), 0);
    if (rc >= ZINT_ERROR || !symbol->vector) {
        std::string reason = symbol->errtxt;
        // "Error 348: Invalid character in data" reads better without the library's number.
        if (const size_t colon = reason.find(": "); reason.rfind("Error ", 0) == 0 && colon != std::string::npos)
            reason = reason.substr(colon + 2);
        throw EQRError(reason.empty() ? std::string("cannot be encoded") : reason);
    }
    return symbol;
}

} // namespace

const system::TEnumInfo& BarcodeTypeInfo() {
    static const system::TEnumInfo info{
        "TQRBarcodeType",
        {"bcCode128", "bcCode39", "bcEAN13", "bcEAN8", "bcUPCA", "bcITF14", "bcQRCode", "bcDataMatrix", "bcPDF417"}};
    return info;
}

TQRBarcodeSymbol EncodeBarcode(TQRBarcodeType type, const std::string& data, Extended width, Extended height,
                               Extended module, bool showText) {
    CheckLength(type, data);
    const bool twoD = Symbologies[type].TwoDimensional;
    TSymbolPtr symbol = Encode(type, data, 0, showText);
    const auto* v = symbol->vector;
    // Tenths of a millimetre per vector unit.
    Extended s = module > 0 ? module / UnitsPerModule
                 : twoD     ? std::min(width / v->width, height / v->height)
                            : width / v->width;
    if (!(s > 0) || !std::isfinite(static_cast<double>(s))) throw EQRError("the control has no room for the symbol");
    if (!twoD && height > 0) {
        // Bars as tall as the control leaves room for, below them the text and quiet zones.
        const Extended overhead = v->height - UnitsPerModule * symbol->height;
        const Extended bars = std::max<Extended>(UnitsPerModule, height / s - overhead);
        symbol = Encode(type, data, static_cast<float>(bars / UnitsPerModule), showText);
        v = symbol->vector;
    }
    TQRBarcodeSymbol out;
    out.Width = v->width * s;
    out.Height = v->height * s;
    for (const zint_vector_rect* r = v->rectangles; r; r = r->next)
        if (r->colour == -1) out.Bars.push_back({r->x * s, r->y * s, r->width * s, r->height * s});
    for (const zint_vector_string* t = v->strings; t; t = t->next)
        out.Texts.push_back(
            {t->x * s, t->y * s, t->fsize * s, t->halign,
             std::string(reinterpret_cast<const char*>(t->text), static_cast<size_t>(std::max(0, t->length)))});
    return out;
}

TQRBarcode::TQRBarcode() {
    SetBounds(Left(), Top(), 150, 60);
}

TQRBarcode::~TQRBarcode() = default;

bool TQRBarcode::UsesPageTotal() const {
    return TQRPrintable::UsesPageTotal() || NamesPageTotal(FExpression);
}

void TQRBarcode::StartPrinting() {
    TQRPrintable::StartPrinting();
    FErrorTold =
        PrepareForRun(FEvaluator, FExpression, dynamic_cast<TQRControlReport*>(ParentReport()), *this, "Expression");
}

void TQRBarcode::EndPrinting() {
    FEvaluator.SetDataSets({});
    FEvaluator.Unprepare();
    TQRPrintable::EndPrinting();
}

void TQRBarcode::PrintAt(int32_t ofsX, int32_t ofsY) {
    TQRPrintTarget* target = PrintTarget();
    TQRPrintableReport* report = ParentReport();
    if (!target || !report || !PrintEnabled()) return;
    auto* controlReport = dynamic_cast<TQRControlReport*>(report);
    auto tell = [&](const std::string& text) {
        if (FErrorTold || !controlReport) return;
        FErrorTold = true;
        controlReport->Diagnose(
            {TQRRunDiagnostic::NotDrawn, Name(), controlReport->CurrentPageCount(), text, this, "Expression"});
    };
    const expr::EvResult value = FEvaluator.Prepared() ? FEvaluator.Value() : expr::EvResult::String({});
    if (value.Kind == expr::resError) {
        tell("no barcode: " + (value.StrResult.empty() ? std::string("expression error") : value.StrResult));
        TQRPrintable::PrintAt(ofsX, ofsY);
        return;
    }
    const std::optional<std::string> data = expr::ResultText(value);
    const TQRPrintableSize& size = *Size();
    TQRBarcodeSymbol symbol;
    if (!data->empty()) {
        try {
            symbol = EncodeBarcode(FSymbology, *data, size.NativeValue(TQRPrintableSize::WidthIndex),
                                   size.NativeValue(TQRPrintableSize::HeightIndex), FModule, FShowText);
        } catch (const EQRError& e) {
            tell("no " + std::string(Symbologies[FSymbology].Name) + " of '" + *data + "': " + e.what());
        }
    }
    gdi::TCanvas* canvas = target->PageCanvas();
    if (canvas && report->FinalPass() && !report->Exporting() && !symbol.Bars.empty()) {
        const Extended left = ofsX + size.NativeValue(TQRPrintableSize::LeftIndex);
        const Extended top = ofsY + size.NativeValue(TQRPrintableSize::TopIndex);
        const double x0 = target->DeviceX(left), y0 = target->DeviceY(top);
        const double sx = static_cast<double>(target->ScaleX()), sy = static_cast<double>(target->ScaleY());
        // The bars go to the device as one polygon set in sixteenths of a device pixel, so that a
        // module of a third of a millimetre keeps its width on a 96 dpi page picture.
        constexpr double Sub = 16;
        gdi::TShape bars;
        bars.Kind = gdi::TShapeKind::skPolygon;
        bars.Stroke = false;
        for (const TQRBarcodeSymbol::TBar& b : symbol.Bars) {
            const double l = (x0 + b.Left * sx) * Sub, t = (y0 + b.Top * sy) * Sub;
            const double r = l + b.Width * sx * Sub, d = t + b.Height * sy * Sub;
            bars.Points.insert(bars.Points.end(),
                               {QPointF(std::round(l), std::round(t)), QPointF(std::round(r), std::round(t)),
                                QPointF(std::round(r), std::round(d)), QPointF(std::round(l), std::round(d))});
            bars.Counts.push_back(4);
        }
        gdi::TDrawState state = canvas->DrawState();
        state.Transform = QTransform::fromScale(1 / Sub, 1 / Sub) * state.Transform;
        state.Pen.Style = gdi::PS_NULL;
        state.Brush.Style = gdi::BS_SOLID;
        state.Brush.Color = static_cast<gdi::TColorRef>(ColorToRGB(FBarColor)) & 0xFFFFFF;
        state.PolyFillMode = gdi::WINDING;
        canvas->Device().DrawShape(bars, state);
        for (const TQRBarcodeSymbol::TText& text : symbol.Texts) {
            gdi::TFont font;
            font.Name = "Arial";
            font.Height = -std::max<int32_t>(1, static_cast<int32_t>(std::lround(text.Size * sy)));
            font.Color = state.Brush.Color;
            canvas->Font = font;
            canvas->SetBkMode(gdi::TRANSPARENT);
            canvas->SetTextAlign(gdi::TA_BASELINE | (text.Align == 1   ? gdi::TA_LEFT
                                                     : text.Align == 2 ? gdi::TA_RIGHT
                                                                       : gdi::TA_CENTER));
            canvas->ExtTextOut(
                static_cast<int32_t>(std::lround(x0 + text.X * sx)),
                static_cast<int32_t>(std::lround(y0 + text.Baseline * sy)), 0, nullptr,
                QString::fromUtf8(text.Text.data(), static_cast<qsizetype>(text.Text.size())).toStdU16String());
        }
    }
    TQRPrintable::PrintAt(ofsX, ofsY);
}

const system::TPropertyList& TQRBarcode::ClassProperties() {
    using namespace system;
    using B = TQRBarcode;
    static const TPropertyList list(
        &TQRPrintable::ClassProperties(),
        {ColorProperty<B>("Color", &B::BarColor, &B::SetBarColor, clBlack),
         StringProperty<B>("Expression", &B::Expression, &B::SetExpression),
         {"Module",
          [](TPersistent& o, const TFormValue& v, TLoadContext&) {
              const Extended m = NumberValue(v);
              // A module wider than ten centimetres is no barcode a report prints.
              if (!std::isfinite(static_cast<double>(m)) || m < 0 || m > 1000)
                  throw EPropertyValue("module width out of range");
              static_cast<B&>(o).SetModule(m);
          },
          [](const TPersistent& o) -> std::optional<TFormValue> {
              const Extended m = static_cast<const B&>(o).Module();
              if (m == 0) return std::nullopt;
              return TFormValue::Flt(m);
          },
          nullptr, "Extended (0.1 mm)", nullptr, false, TFormValue::Int(0)},
         BoolProperty<B>("ShowText", &B::ShowText, &B::SetShowText, true),
         EnumProperty<B, TQRBarcodeType>("Symbology", BarcodeTypeInfo(), &B::Symbology, &B::SetSymbology, bcCode128)});
    return list;
}

void RegisterBarcodeClasses(system::TClassRegistry& registry) {
    registry.Register<TQRBarcode>();
}

} // namespace pagimo::controls
