#pragma once
// The graphic printable controls: TQRShape draws a rectangle, an ellipse or lines with its own pen
// and brush; TQRImage prints a picture at its natural size, centred, or stretched to the control.

#include "controls/Printable.h"
#include "expr/EvDataSet.h"
#include "platform/graphics/Picture.h"

#include <span>
#include <vector>

namespace pagimo::system {
class TClassRegistry;
}

namespace pagimo::controls {

enum class TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
const system::TEnumInfo& BrushStyleInfo();

// A pen as a report stores it: colour, style and width (device pixels when printed).
class TQRPen : public system::TPersistent {
public:
    const char* ClassName() const override { return "TPen"; }

    TColor Color() const { return FColor; }
    void SetColor(TColor color) { Set(FColor, color); }
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle style) { Set(FStyle, style); }
    int Width() const { return FWidth; }
    void SetWidth(int width) { Set(FWidth, width); }
    void Assign(const TQRPen& other);

    // Called after every change (the owner repaints).
    void SetOnChange(std::function<void()> onChange) { FOnChange = std::move(onChange); }

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

private:
    TColor FColor = clBlack;
    TPenStyle FStyle = TPenStyle::psSolid;
    int FWidth = 1;
    std::function<void()> FOnChange;

    template <class T> void Set(T& field, T value) {
        if (field == value) return;
        field = value;
        if (FOnChange) FOnChange();
    }
};

// A brush as a report stores it: colour and style.
class TQRBrush : public system::TPersistent {
public:
    const char* ClassName() const override { return "TBrush"; }

    TColor Color() const { return FColor; }
    void SetColor(TColor color) { Set(FColor, color); }
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle style) { Set(FStyle, style); }
    void Assign(const TQRBrush& other);

    void SetOnChange(std::function<void()> onChange) { FOnChange = std::move(onChange); }

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = TBrushStyle::bsSolid;
    std::function<void()> FOnChange;

    template <class T> void Set(T& field, T value) {
        if (field == value) return;
        field = value;
        if (FOnChange) FOnChange();
    }
};

enum TQRShapeType { qrsRectangle, qrsCircle, qrsVertLine, qrsHorLine, qrsTopAndBottom, qrsRightAndLeft };
const system::TEnumInfo& ShapeTypeInfo();

class TQRShape : public TQRPrintable {
public:
    TQRShape(); // 65 x 65 pixels

    static const char* StaticClassName() { return "TQRShape"; }
    const char* ClassName() const override { return StaticClassName(); }

    TQRShapeType Shape() const { return FShape; }
    void SetShape(TQRShapeType shape) { FShape = shape; }
    TQRPen* Pen() const { return FPen.get(); }
    void SetPen(const TQRPen& pen) { FPen->Assign(pen); }
    TQRBrush* Brush() const { return FBrush.get(); }
    void SetBrush(const TQRBrush& brush) { FBrush->Assign(brush); }

    // Draws the figure on the final pass; a shape has no frame.
    void PrintAt(int32_t ofsX, int32_t ofsY) override;

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

private:
    TQRShapeType FShape = qrsRectangle;
    std::unique_ptr<TQRPen> FPen = std::make_unique<TQRPen>();
    std::unique_ptr<TQRBrush> FBrush = std::make_unique<TQRBrush>();
};

// The picture holder of an image control as a stored description reaches it: "Picture.Data".
class TQRPicture : public graphics::TPicture, public system::TPersistent {
public:
    const char* ClassName() const override { return "TPicture"; }
    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }
};

// The stored form of a picture ("Data"): a length byte and the graphic's class name (TBitmap,
// TJPEGImage, TMetafile, TIcon; TPngImage for PNG and TImageFile for the other formats Qt reads), then
// a 32-bit little-endian byte count and the graphic's file bytes.
// Reading also takes the file bytes without the count. Empty data is an empty picture.
std::vector<uint8_t> PictureData(const graphics::TPicture& picture);
// Throws EPropertyValue for data that is not a picture; the picture is then unchanged.
void LoadPictureData(graphics::TPicture& picture, std::span<const uint8_t> data);

class TQRImage : public TQRPrintable {
public:
    TQRImage(); // 105 x 105 pixels

    static const char* StaticClassName() { return "TQRImage"; }
    const char* ClassName() const override { return StaticClassName(); }

    TQRPicture* Picture() const { return FPicture.get(); }
    // Copies the picture (and runs the picture-changed step through its change notice).
    void SetPicture(const graphics::TPicture& picture) { FPicture->Assign(picture); }
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool autoSize);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool stretch);
    bool Center() const { return FCenter; }
    void SetCenter(bool center);
    // True when the picture is a bitmap covering the whole control.
    bool Opaque() const { return FOpaque; }

    // A picture file to print instead of Picture, read when a run starts; a relative name is taken
    // from the description's folder. Not stored in the description's Picture.Data.
    std::string FileName() const { return FFileName; }
    void SetFileName(const std::string& name) { FFileName = name; }
    // The folder relative names are taken from (the description's, set while it is read).
    void SetBaseFolder(const std::string& folder) { FBaseFolder = folder; }
    // FileName as the run reads it.
    std::string FilePath() const { return Resolve(FFileName); }

    void StartPrinting() override;
    void EndPrinting() override;
    // Draws the picture (stretched, or at its natural size clipped to the control), then the frame.
    void PrintAt(int32_t ofsX, int32_t ofsY) override;

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    // The picture a print shows: Picture, or the file's, or (TQRDBImage) the field's.
    virtual const graphics::TPicture& Shown() const { return FFilePicture.Empty() ? *FPicture : FFilePicture; }
    // A path relative to the description's folder.
    std::string Resolve(const std::string& name) const;
    // Tells the report once per run that the control prints no picture, and why.
    void TellNotDrawn(const std::string& why, const char* property);
    bool FNotDrawnTold = false;

private:
    std::unique_ptr<TQRPicture> FPicture = std::make_unique<TQRPicture>();
    graphics::TPicture FFilePicture;
    graphics::TPicture FDecoded; // FileName's picture as last decoded, and the bytes it came from
    std::vector<uint8_t> FDecodedBytes;
    std::string FFileName;
    std::string FBaseFolder;
    bool FAutoSize = false;
    bool FStretch = false;
    bool FCenter = false;
    bool FOpaque = false;

    void PictureChanged();
};

// A data-aware picture: the value of DataField of DataSet in the current record, a picture in any
// supported format (a blob) or the name of a picture file (relative to the description's folder).
// Sized like an image control (AutoSize only from Picture, the field's size changes per record).
class TQRDBImage : public TQRImage {
public:
    static const char* StaticClassName() { return "TQRDBImage"; }
    const char* ClassName() const override { return StaticClassName(); }

    system::TComponent* DataSet() const { return FDataSet; }
    void SetDataSet(system::TComponent* dataSet) { FDataSet = dataSet; }
    std::string DataField() const { return FDataField; }
    void SetDataField(const std::string& field) { FDataField = field; }

    void StartPrinting() override;
    void PrintAt(int32_t ofsX, int32_t ofsY) override;

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    const graphics::TPicture& Shown() const override { return FFieldPicture; }
    void Notification(system::TComponent* component, system::TOperation operation) override;

private:
    system::TComponent* FDataSet = nullptr;
    std::string FDataField;
    const expr::TQREvField* FField = nullptr;
    graphics::TPicture FFieldPicture;
    std::string FShownBytes; // the field value FFieldPicture was made from
    bool FShownValid = false;
};

void RegisterGraphicControlClasses(system::TClassRegistry& registry);

} // namespace pagimo::controls
