#pragma once
// TQRBarcode: a barcode or 2D code of the value of an expression, evaluated at each print like the
// expression control's. The symbol is encoded by libzint and drawn as filled rectangles (with the
// human-readable text of linear codes as text), so PDF and print keep it sharp at any resolution.
// Its size: Module tenths of a millimetre per module, or (Module 0) as large as the control allows;
// linear codes fill the control's height, 2D codes keep their modules square (PDF417: its rows). An
// input the symbology cannot encode (letters in an EAN-13, a wrong check digit) prints nothing and
// is told to the report like an expression error.

#include "controls/Printable.h"
#include "expr/Evaluator.h"

#include <optional>
#include <string>
#include <vector>

namespace pagimo::system {
class TClassRegistry;
}

namespace pagimo::controls {

enum TQRBarcodeType { bcCode128, bcCode39, bcEAN13, bcEAN8, bcUPCA, bcITF14, bcQRCode, bcDataMatrix, bcPDF417 };
const system::TEnumInfo& BarcodeTypeInfo();

// A symbol laid out in units of the control: rectangles and texts, in tenths of a millimetre from
// the control's top-left corner.
struct TQRBarcodeSymbol {
    struct TBar {
        Extended Left, Top, Width, Height;
    };
    struct TText {
        Extended X, Baseline, Size; // Size: the font's character height
        int Align;                  // 0 centre, 1 left, 2 right of X
        std::string Text;
    };
    std::vector<TBar> Bars;
    std::vector<TText> Texts;
    Extended Width = 0, Height = 0;
};

// Encodes data (UTF-8) as the symbology into a box of width x height tenths of a millimetre, with
// modules of `module` tenths (0: as large as fits). Throws EQRError with the library's reason when
// the data cannot be encoded.
TQRBarcodeSymbol EncodeBarcode(TQRBarcodeType type, const std::string& data, Extended width, Extended height,
                               Extended module, bool showText);

class TQRBarcode : public TQRPrintable {
public:
    TQRBarcode();
    ~TQRBarcode() override;
    static const char* StaticClassName() { return "TQRBarcode"; }
    const char* ClassName() const override { return StaticClassName(); }

    TQRBarcodeType Symbology() const { return FSymbology; }
    void SetSymbology(TQRBarcodeType type) { FSymbology = type; }
    std::string Expression() const { return FExpression; }
    void SetExpression(const std::string& expression) { FExpression = expression; }
    bool ShowText() const { return FShowText; }
    void SetShowText(bool show) { FShowText = show; }
    // The colour of the bars and the text.
    TColor BarColor() const { return FBarColor; }
    void SetBarColor(TColor color) { FBarColor = color; }
    // Tenths of a millimetre per module; 0 fits the symbol to the control.
    Extended Module() const { return FModule; }
    void SetModule(Extended module) { FModule = module; }

    void StartPrinting() override;
    void PrintAt(int32_t ofsX, int32_t ofsY) override;
    void EndPrinting() override;
    bool UsesPageTotal() const override;

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

private:
    TQRBarcodeType FSymbology = bcCode128;
    std::string FExpression;
    bool FShowText = true;
    TColor FBarColor = clBlack;
    Extended FModule = 0;
    expr::TQREvaluator FEvaluator;
    bool FErrorTold = false;
};

void RegisterBarcodeClasses(system::TClassRegistry& registry);

} // namespace pagimo::controls
