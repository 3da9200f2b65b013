#pragma once
// Size holders: lengths stored in tenths of a millimetre, read and written in a selectable unit.

#include "platform/system/Persistent.h"
#include "platform/system/Rnd.h"

#include <functional>
#include <vector>

namespace pagimo::controls {

using pagimo::Extended;

enum class TQRUnit { MM, Inches, Pixels, Characters, Native };
const system::TEnumInfo& QRUnitInfo();

// Largest stored value a description may give (tenths of a millimetre).
constexpr long double MaxStoredValue = 1e7L;

// Screen pixels per inch of the reference device every holder converts against.
constexpr int ScreenPixelsPerInch = 96;

// The unit a new holder starts in: Inches under a U.S. measurement locale, else MM.
TQRUnit DefaultUnits();

// Base of TQRPage, TQRBandSize and TQRPrintableSize: a fixed number of stored values, each on one axis.
class TQRUnitBase : public system::TPersistent {
public:
    explicit TQRUnitBase(size_t valueCount);

    TQRUnit Units() const { return FUnits; }
    virtual void SetUnits(TQRUnit units) { FUnits = units; }
    int Resolution() const { return FResolution; }
    int Zoom() const { return FZoom; }
    void SetZoom(int zoom) { FZoom = zoom; }
    bool ParentUpdating() const { return FParentUpdating; }

    // Font size in points of the report that owns this holder, for the Characters unit.
    void SetFontSizeSource(std::function<int()> source) { FFontSize = std::move(source); }

    Extended ValueFromNative(TQRUnit unit, bool horizontal, Extended stored) const;
    Extended ValueToNative(TQRUnit unit, bool horizontal, Extended value) const;

    // One level only: a second Enter overwrites the remembered unit with Pixels.
    void EnterPixelUnits();
    void LeavePixelUnits();

    // Value i in the current Units; writing it goes through SetValue so subclasses add behaviour.
    Extended GetValue(size_t index) const;
    virtual void SetValue(size_t index, Extended value);
    Extended NativeValue(size_t index) const { return FValues.at(index); }
    size_t ValueCount() const { return FValues.size(); }
    // The values as stored (tenths of a millimetre), streamed as "Values".
    const std::vector<Extended>& StoredValues() const { return FValues; }
    virtual void SetStoredValues(const std::vector<Extended>& values);

    virtual bool Horizontal(size_t index) const = 0;

    // Value `index` read by name (Page.LeftMargin, Size.Height). It is not written back: Values stores
    // the same number. A description may name the report's Units before or after such a value, so the
    // value waits until the report has read all of its properties and then is read in the report's
    // Units (ApplyNamedValues); a holder outside a report reads it in its own Units when it has loaded.
    static system::TPropertyInfo NamedValue(std::string name, size_t index);
    // Stores the named values read so far, converted from units. Throws EPropertyValue for a value
    // that is out of range.
    void ApplyNamedValues(TQRUnit units);
    // Sizes the owning window from the values; holders without a window do nothing.
    virtual void ResizeOwner() {}

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    std::vector<Extended> FValues;
    bool FParentUpdating = false;
    struct TNamedValue {
        std::string Name;
        size_t Index;
        Extended Value;
    };
    std::vector<TNamedValue> FNamedValues;

    void StoreNative(size_t index, Extended value) { FValues.at(index) = value; }

private:
    TQRUnit FUnits;
    TQRUnit FUnitsBeforePixels;
    int FResolution = ScreenPixelsPerInch;
    int FZoom = 100;
    std::function<int()> FFontSize;

    Extended FontPoints() const;
};

} // namespace pagimo::controls
