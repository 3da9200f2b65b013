#include "controls/GraphicControls.h"

#include "controls/ControlHost.h"
#include "platform/emf/LittleEndian.h"
#include "platform/gdi/Canvas.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/ImageFile.h"
#include "platform/graphics/Metafile.h"
#include "platform/graphics/PictureFormats.h"
#include "platform/system/Component.h"
#include "platform/system/Errors.h"
#include "platform/system/ScopeGuard.h"

#include <filesystem>

namespace pagimo::controls {

using system::TFormValue;
using system::TPersistent;

namespace {

// The largest picture file a report reads (a file name or a field that names one).
constexpr uint64_t MaxPictureFileBytes = uint64_t(64) << 20;

gdi::TColorRef RgbOf(TColor color) {
    return static_cast<gdi::TColorRef>(ColorToRGB(color)) & 0xFFFFFFu;
}

gdi::TPen CanvasPen(const TQRPen& pen) {
    gdi::TPen p;
    p.Color = RgbOf(pen.Color());
    p.Width = pen.Width();
    p.Style = static_cast<uint32_t>(pen.Style()); // the pen styles share GDI's numbering
    return p;
}

gdi::TBrush CanvasBrush(const TQRBrush& brush) {
    gdi::TBrush b;
    b.Color = RgbOf(brush.Color());
    switch (brush.Style()) {
    case TBrushStyle::bsSolid:
        b.Style = gdi::BS_SOLID;
        break;
    case TBrushStyle::bsClear:
        b.Style = gdi::BS_NULL;
        break;
    default:
        b.Style = gdi::BS_HATCHED;
        b.Hatch = static_cast<uint32_t>(brush.Style()) - static_cast<uint32_t>(TBrushStyle::bsHorizontal);
        break;
    }
    return b;
}

QRect ToQRect(const TRect& r) {
    return {QPoint(r.Left, r.Top), QSize(r.Right - r.Left, r.Bottom - r.Top)};
}

struct TGraphicClass {
    const char* Name;
    graphics::TGraphicKind Kind;
};

// The first name of a kind is the one written.
constexpr TGraphicClass GraphicClasses[] = {
    {"TBitmap", graphics::TGraphicKind::gkBitmap},     {"TJPEGImage", graphics::TGraphicKind::gkJpeg},
    {"TMetafile", graphics::TGraphicKind::gkMetafile}, {"TIcon", graphics::TGraphicKind::gkIcon},
    {"TPngImage", graphics::TGraphicKind::gkImage},    {"TImageFile", graphics::TGraphicKind::gkImage},
};

// Draws a picture into a device rectangle: bitmaps from their own bits, other raster pictures from
// their decoded image, metafiles by playing them.
void DrawPicture(gdi::TCanvas& canvas, const QRect& destination, const graphics::TPicture& picture) {
    const graphics::TGraphic* graphic = picture.Graphic();
    if (!graphic || graphic->Empty()) return;
    if (const graphics::TBitmap* bitmap = picture.Bitmap()) {
        if (!bitmap->Monochrome()) canvas.SetStretchBltMode(gdi::COLORONCOLOR);
        gdi::TDib dib;
        dib.Info = bitmap->DibInfo();
        dib.Bits = bitmap->DibBits();
        canvas.StretchDIBits(destination, QRect(0, 0, bitmap->Width(), bitmap->Height()), dib, gdi::SRCCOPY);
    } else if (graphic->Kind() == graphics::TGraphicKind::gkMetafile) {
        canvas.StretchDraw(destination, static_cast<const graphics::TMetafile*>(graphic)->Picture());
    } else {
        canvas.StretchDraw(destination, graphic->Image());
    }
}

} // namespace

// ---- Pen and brush ----

const system::TEnumInfo& BrushStyleInfo() {
    static const system::TEnumInfo info{
        "TBrushStyle",
        {"bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal", "bsBDiagonal", "bsCross", "bsDiagCross"}};
    return info;
}

void TQRPen::Assign(const TQRPen& other) {
    FColor = other.FColor;
    FStyle = other.FStyle;
    FWidth = other.FWidth;
    if (FOnChange) FOnChange();
}

const system::TPropertyList& TQRPen::ClassProperties() {
    static const system::TPropertyList list(
        nullptr, {ColorProperty<TQRPen>("Color", &TQRPen::Color, &TQRPen::SetColor, clBlack),
                  system::EnumProperty<TQRPen, TPenStyle>("Style", PenStyleInfo(), &TQRPen::Style, &TQRPen::SetStyle,
                                                          TPenStyle::psSolid),
                  {"Width",
                   [](TPersistent& o, const TFormValue& v, system::TLoadContext&) {
                       // Wider pens than this are no pens a report draws; refusing them keeps the canvas sane.
                       const int64_t w = system::IntegerValue(v);
                       if (w < 0 || w > 10000) throw system::EPropertyValue("pen width out of range");
                       static_cast<TQRPen&>(o).SetWidth(static_cast<int>(w));
                   },
                   [](const TPersistent& o) -> std::optional<TFormValue> {
                       const int w = static_cast<const TQRPen&>(o).Width();
                       if (w == 1) return std::nullopt;
                       return TFormValue::Int(w);
                   },
                   nullptr, "Integer", nullptr, false, TFormValue::Int(1)}});
    return list;
}

void TQRBrush::Assign(const TQRBrush& other) {
    FColor = other.FColor;
    FStyle = other.FStyle;
    if (FOnChange) FOnChange();
}

const system::TPropertyList& TQRBrush::ClassProperties() {
    static const system::TPropertyList list(
        nullptr, {ColorProperty<TQRBrush>("Color", &TQRBrush::Color, &TQRBrush::SetColor, clWhite),
                  system::EnumProperty<TQRBrush, TBrushStyle>("Style", BrushStyleInfo(), &TQRBrush::Style,
                                                              &TQRBrush::SetStyle, TBrushStyle::bsSolid)});
    return list;
}

// ---- TQRShape ----

const system::TEnumInfo& ShapeTypeInfo() {
    static const system::TEnumInfo info{
        "TQRShapeType",
        {"qrsRectangle", "qrsCircle", "qrsVertLine", "qrsHorLine", "qrsTopAndBottom", "qrsRightAndLeft"}};
    return info;
}

TQRShape::TQRShape() {
    SetBounds(Left(), Top(), 65, 65);
}

void TQRShape::PrintAt(int32_t ofsX, int32_t ofsY) {
    TQRPrintTarget* target = PrintTarget();
    TQRPrintableReport* report = ParentReport();
    if (!target || !report || !report->FinalPass() || !PrintEnabled()) return;
    gdi::TCanvas* canvas = target->PageCanvas();
    if (!canvas) return;
    canvas->Brush = CanvasBrush(*FBrush);
    canvas->Pen = CanvasPen(*FPen);

    const TQRPrintableSize& size = *Size();
    const Extended l = ofsX + size.NativeValue(TQRPrintableSize::LeftIndex);
    const Extended t = ofsY + size.NativeValue(TQRPrintableSize::TopIndex);
    const Extended w = size.NativeValue(TQRPrintableSize::WidthIndex);
    const Extended h = size.NativeValue(TQRPrintableSize::HeightIndex);
    auto line = [&](Extended x1, Extended y1, Extended x2, Extended y2) {
        canvas->MoveTo(target->DeviceX(x1), target->DeviceY(y1));
        canvas->LineTo(target->DeviceX(x2), target->DeviceY(y2));
    };
    switch (FShape) {
    case qrsRectangle:
        canvas->Rectangle(target->DeviceX(l), target->DeviceY(t), target->DeviceX(l + w), target->DeviceY(t + h));
        break;
    case qrsCircle:
        canvas->Ellipse(target->DeviceX(l), target->DeviceY(t), target->DeviceX(l + w), target->DeviceY(t + h));
        break;
    case qrsVertLine:
        line(l + w / 2, t, l + w / 2, t + h);
        break;
    case qrsHorLine:
        line(l, t + h / 2, l + w, t + h / 2);
        break;
    case qrsTopAndBottom:
        line(l, t, l + w, t);
        line(l, t + h, l + w, t + h);
        break;
    case qrsRightAndLeft:
        line(l, t, l, t + h);
        line(l + w, t, l + w, t + h);
        break;
    }
}

const system::TPropertyList& TQRShape::ClassProperties() {
    static const system::TPropertyList list(
        &TQRPrintable::ClassProperties(),
        {system::ObjectProperty<TQRShape, TQRBrush>("Brush", &TQRShape::Brush),
         system::ObjectProperty<TQRShape, TQRPen>("Pen", &TQRShape::Pen),
         system::EnumProperty<TQRShape, TQRShapeType>("Shape", ShapeTypeInfo(), &TQRShape::Shape, &TQRShape::SetShape,
                                                      qrsRectangle)});
    return list;
}

// ---- Picture data ----

std::vector<uint8_t> PictureData(const graphics::TPicture& picture) {
    const graphics::TGraphic* graphic = picture.Graphic();
    if (!graphic || graphic->Empty()) return {};
    const char* name = nullptr;
    for (const auto& c : GraphicClasses) {
        if (c.Kind == graphic->Kind()) {
            name = c.Name;
            break;
        }
    }
    // A PNG is a TPngImage, any other format of Qt's readers a TImageFile.
    if (const auto* image = dynamic_cast<const graphics::TImageFile*>(graphic); image && image->Format() != "png")
        name = "TImageFile";
    const std::vector<uint8_t> bytes = graphic->SaveToBytes();
    std::vector<uint8_t> data;
    const size_t nameLength = std::char_traits<char>::length(name);
    data.reserve(1 + nameLength + 4 + bytes.size());
    data.push_back(static_cast<uint8_t>(nameLength));
    data.insert(data.end(), name, name + nameLength);
    uint8_t count[4];
    emf::PutU32(count, static_cast<uint32_t>(bytes.size()));
    data.insert(data.end(), count, count + 4);
    data.insert(data.end(), bytes.begin(), bytes.end());
    return data;
}

void LoadPictureData(graphics::TPicture& picture, std::span<const uint8_t> data) {
    if (data.empty()) {
        picture.Clear();
        return;
    }
    const size_t nameLength = data[0];
    if (nameLength == 0 || 1 + nameLength > data.size()) throw system::EPropertyValue("picture data has no class name");
    const std::string name(reinterpret_cast<const char*>(data.data()) + 1, nameLength);
    const TGraphicClass* cls = nullptr;
    for (const auto& c : GraphicClasses) {
        if (system::SameText(c.Name, name)) cls = &c;
    }
    if (!cls) throw system::EPropertyValue("unknown picture class '" + name + "'");

    std::span<const uint8_t> body = data.subspan(1 + nameLength);
    graphics::TGraphicKind sniffed;
    const bool bare = graphics::SniffGraphicKind(body, sniffed) && sniffed == cls->Kind;
    if (!bare) {
        // The usual form: a byte count, then the file.
        if (body.size() < 4) throw system::EPropertyValue("picture data is truncated");
        const uint32_t count = emf::GetU32(body.data());
        if (count > body.size() - 4) throw system::EPropertyValue("picture data is truncated");
        body = body.subspan(4, count);
    }
    std::unique_ptr<graphics::TGraphic> graphic = graphics::CreateGraphic(cls->Kind);
    try {
        graphic->LoadFromBytes(body);
    } catch (const EQRError& e) {
        throw system::EPropertyValue(e.what());
    }
    picture.SetGraphic(std::move(graphic));
}

const system::TPropertyList& TQRPicture::ClassProperties() {
    static const system::TPropertyList list(
        nullptr, {{"Data",
                   [](TPersistent& o, const TFormValue& v, system::TLoadContext&) {
                       if (v.Kind != TFormValue::fvBinary)
                           throw system::EPropertyValue(std::string("expected binary data, found ") + v.KindName());
                       LoadPictureData(static_cast<TQRPicture&>(o), v.Bytes);
                   },
                   [](const TPersistent& o) -> std::optional<TFormValue> {
                       std::vector<uint8_t> data = PictureData(static_cast<const TQRPicture&>(o));
                       if (data.empty()) return std::nullopt;
                       return TFormValue::Binary(std::move(data));
                   },
                   nullptr, "binary data"}});
    return list;
}

// ---- TQRImage ----

TQRImage::TQRImage() {
    SetBounds(Left(), Top(), 105, 105);
    FPicture->OnChange = [this] { PictureChanged(); };
}

void TQRImage::SetAutoSize(bool autoSize) {
    if (autoSize == FAutoSize) return;
    FAutoSize = autoSize;
    PictureChanged();
}

void TQRImage::SetStretch(bool stretch) {
    if (stretch == FStretch) return;
    FStretch = stretch;
    PictureChanged();
}

void TQRImage::SetCenter(bool center) {
    if (center == FCenter) return;
    FCenter = center;
    PictureChanged();
}

void TQRImage::PictureChanged() {
    const int32_t w = FPicture->Width(), h = FPicture->Height();
    if (FAutoSize && w > 0 && h > 0) SetBounds(Left(), Top(), w, h);
    FOpaque = FPicture->Bitmap() && !FPicture->Empty() && w >= Width() && h >= Height();
}

std::string TQRImage::Resolve(const std::string& name) const {
    const std::filesystem::path path(name);
    if (path.is_absolute() || FBaseFolder.empty()) return name;
    return (std::filesystem::path(FBaseFolder) / path).string();
}

void TQRImage::TellNotDrawn(const std::string& why, const char* property) {
    if (FNotDrawnTold) return;
    FNotDrawnTold = true;
    if (auto* report = dynamic_cast<TQRControlReport*>(ParentReport()))
        report->Diagnose({TQRRunDiagnostic::NotDrawn, Name(), report->CurrentPageCount(), why, this, property});
}

void TQRImage::StartPrinting() {
    TQRPrintable::StartPrinting();
    FNotDrawnTold = false;
    FFilePicture.Clear();
    if (FFileName.empty()) return;
    // Read once per run, so that a report shows the file as it is when the report runs; the same bytes
    // as the run before are not decoded again (a description run once per key reads its logo often).
    try {
        std::vector<uint8_t> bytes = graphics::ReadPictureFile(Resolve(FFileName), MaxPictureFileBytes);
        if (bytes != FDecodedBytes || FDecoded.Empty()) {
            FDecoded.Clear();
            FDecodedBytes.clear();
            FDecoded.LoadFromBytes(bytes);
            FDecodedBytes = std::move(bytes);
        }
        FFilePicture = FDecoded;
    } catch (const EQRError& e) {
        TellNotDrawn(std::string("no picture from ") + FFileName + ": " + e.what(), "FileName");
    }
}

void TQRImage::EndPrinting() {
    FFilePicture.Clear();
    TQRPrintable::EndPrinting();
}

void TQRImage::PrintAt(int32_t ofsX, int32_t ofsY) {
    TQRPrintTarget* target = PrintTarget();
    gdi::TCanvas* canvas = target ? target->PageCanvas() : nullptr;
    const graphics::TPicture& picture = Shown();
    if (canvas && !picture.Empty() && ParentReport() && ParentReport()->FinalPass()) {
        const TRect control = DeviceRect(ofsX, ofsY);
        if (FStretch) {
            DrawPicture(*canvas, ToQRect(control), picture);
        } else {
            canvas->IntersectClipRect(control.Left, control.Top, control.Right, control.Bottom);
            // The clip goes also when drawing fails.
            system::TScopeGuard unclip([canvas] { canvas->SelectClipRgnNone(); });
            // The picture's natural size at the screen's resolution, in device pixels.
            const int32_t w = Rnd(Extended(picture.Width()) / ScreenPixelsPerInch * 254 * target->ScaleX());
            const int32_t h = Rnd(Extended(picture.Height()) / ScreenPixelsPerInch * 254 * target->ScaleY());
            QRect destination(control.Left, control.Top, w, h);
            if (FCenter) {
                const int32_t controlW = Rnd(Size()->NativeValue(TQRPrintableSize::WidthIndex) * target->ScaleX());
                const int32_t controlH = Rnd(Size()->NativeValue(TQRPrintableSize::HeightIndex) * target->ScaleY());
                destination.translate((controlW - w) / 2, (controlH - h) / 2);
            }
            DrawPicture(*canvas, destination, picture);
        }
    }
    TQRPrintable::PrintAt(ofsX, ofsY);
}

const system::TPropertyList& TQRImage::ClassProperties() {
    using system::BoolProperty;
    static const system::TPropertyList list(
        &TQRPrintable::ClassProperties(),
        {BoolProperty<TQRImage>("AutoSize", &TQRImage::AutoSize, &TQRImage::SetAutoSize, false),
         BoolProperty<TQRImage>("Center", &TQRImage::Center, &TQRImage::SetCenter, false),
         system::ObjectProperty<TQRImage, TQRPicture>("Picture", &TQRImage::Picture),
         BoolProperty<TQRImage>("Stretch", &TQRImage::Stretch, &TQRImage::SetStretch, false),
         system::Described({"FileName",
                            [](TPersistent& o, const TFormValue& v, system::TLoadContext& context) {
                                auto& image = static_cast<TQRImage&>(o);
                                image.SetFileName(system::StringValue(v));
                                image.SetBaseFolder(context.BaseFolder());
                            },
                            [](const TPersistent& o) -> std::optional<TFormValue> {
                                const std::string name = static_cast<const TQRImage&>(o).FileName();
                                if (name.empty()) return std::nullopt;
                                return TFormValue::Str(name);
                            },
                            nullptr},
                           "String", TFormValue::Str(""))});
    return list;
}

// ---- TQRDBImage ----

void TQRDBImage::Notification(system::TComponent* component, system::TOperation operation) {
    TQRImage::Notification(component, operation);
    if (operation == system::opRemove && component == FDataSet) FDataSet = nullptr;
}

void TQRDBImage::StartPrinting() {
    TQRImage::StartPrinting();
    FField = nullptr;
    FFieldPicture.Clear();
    FShownBytes.clear();
    FShownValid = false;
    auto* report = dynamic_cast<TQRControlReport*>(ParentReport());
    if (!report || !FDataSet) return;
    for (const expr::TQREvDataSet* d : report->EvDataSets())
        if (d && system::SameText(d->Name(), FDataSet->Name())) FField = d->FindField(FDataField);
    if (!FField)
        report->Diagnose(
            {TQRRunDiagnostic::UnknownName, Name(), 0, FDataSet->Name() + "." + FDataField, this, "DataField"});
}

void TQRDBImage::PrintAt(int32_t ofsX, int32_t ofsY) {
    std::string value;
    if (FField && !FField->Bytes(value)) value.clear();
    // A field that holds the same as at the last print shows the picture made then.
    if (!FShownValid || value != FShownBytes) {
        FShownValid = true;
        FShownBytes = value;
        FFieldPicture.Clear();
        const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(value.data()), value.size());
        graphics::TGraphicKind kind;
        try {
            if (graphics::SniffGraphicKind(bytes, kind))
                FFieldPicture.LoadFromBytes(bytes);
            else if (!value.empty() && value.size() < 4096 && value.find('\0') == std::string::npos)
                FFieldPicture.LoadFromBytes(graphics::ReadPictureFile(Resolve(value), MaxPictureFileBytes));
            else if (!value.empty())
                throw EQRError("the field holds no picture");
        } catch (const EQRError& e) {
            TellNotDrawn(std::string("no picture in ") + FDataField + ": " + e.what(), "DataField");
        }
    }
    TQRImage::PrintAt(ofsX, ofsY);
}

const system::TPropertyList& TQRDBImage::ClassProperties() {
    static const system::TPropertyList list(
        &TQRImage::ClassProperties(),
        {system::ComponentProperty<TQRDBImage, system::TComponent>("DataSet", &TQRDBImage::DataSet,
                                                                   &TQRDBImage::SetDataSet),
         system::Described({"DataField",
                            [](TPersistent& o, const TFormValue& v, system::TLoadContext& context) {
                                auto& image = static_cast<TQRDBImage&>(o);
                                image.SetDataField(system::StringValue(v));
                                // A field may name a file, taken from the description's folder.
                                image.SetBaseFolder(context.BaseFolder());
                            },
                            [](const TPersistent& o) -> std::optional<TFormValue> {
                                const std::string field = static_cast<const TQRDBImage&>(o).DataField();
                                if (field.empty()) return std::nullopt;
                                return TFormValue::Str(field);
                            },
                            nullptr},
                           "String", TFormValue::Str(""))});
    return list;
}

void RegisterGraphicControlClasses(system::TClassRegistry& registry) {
    registry.Register<TQRShape>();
    registry.Register<TQRImage>();
    registry.Register<TQRDBImage>();
}

} // namespace pagimo::controls
