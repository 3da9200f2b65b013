#include "controls/UnitBase.h"

#include "platform/system/Measurement.h"

#include <cmath>

namespace pagimo::controls {

using system::TFormValue;

const system::TEnumInfo& QRUnitInfo() {
    static const system::TEnumInfo info{"TQRUnit", {"MM", "Inches", "Pixels", "Characters", "Native"}};
    return info;
}

TQRUnit DefaultUnits() {
    return system::LocaleMeasurementSystem() == system::TMeasurementSystem::msUS ? TQRUnit::Inches : TQRUnit::MM;
}

TQRUnitBase::TQRUnitBase(size_t valueCount)
    : FValues(valueCount, 0), FUnits(DefaultUnits()), FUnitsBeforePixels(FUnits) {}

Extended TQRUnitBase::FontPoints() const {
    int points = FFontSize ? FFontSize() : 0;
    if (points < 0) points = -points;
    // Without a report (or with a zero-sized font) the panel default of 12 points keeps the
    // character cell finite.
    return points == 0 ? 12 : points;
}

Extended TQRUnitBase::ValueFromNative(TQRUnit unit, bool horizontal, Extended stored) const {
    switch (unit) {
    case TQRUnit::MM:
        return stored / 10;
    case TQRUnit::Inches:
        return stored / 254;
    case TQRUnit::Pixels:
        return stored / (254.0L / FResolution) * FZoom / 100;
    case TQRUnit::Characters: {
        const Extended f = FontPoints();
        const Extended cell = horizontal ? 80 / f / 2.54L : 145.3L / f / 2.54L;
        return stored / cell / 10;
    }
    case TQRUnit::Native:
        return stored;
    }
    return stored;
}

Extended TQRUnitBase::ValueToNative(TQRUnit unit, bool horizontal, Extended value) const {
    switch (unit) {
    case TQRUnit::MM:
        return value * 10;
    case TQRUnit::Inches:
        return value * 254;
    case TQRUnit::Pixels:
        // A zoom of 0 would divide by zero; the panels never store one, but a holder read from a
        // damaged description might.
        if (FZoom == 0) return 0;
        return value * (254.0L / FResolution) / FZoom * 100;
    case TQRUnit::Characters: {
        const Extended f = FontPoints();
        const Extended cell = horizontal ? 80 / f / 2.54L : 145.3L / f / 2.54L;
        return value * cell * 10;
    }
    case TQRUnit::Native:
        return value;
    }
    return value;
}

void TQRUnitBase::EnterPixelUnits() {
    FUnitsBeforePixels = FUnits;
    SetUnits(TQRUnit::Pixels);
}

void TQRUnitBase::LeavePixelUnits() {
    SetUnits(FUnitsBeforePixels);
}

Extended TQRUnitBase::GetValue(size_t index) const {
    return ValueFromNative(FUnits, Horizontal(index), FValues.at(index));
}

void TQRUnitBase::SetValue(size_t index, Extended value) {
    StoreNative(index, ValueToNative(FUnits, Horizontal(index), value));
}

void TQRUnitBase::SetStoredValues(const std::vector<Extended>& values) {
    for (size_t i = 0; i < values.size() && i < FValues.size(); ++i)
        FValues[i] = values[i];
    ResizeOwner();
}

system::TPropertyInfo TQRUnitBase::NamedValue(std::string name, size_t index) {
    return {name,
            [name, index](system::TPersistent& o, const TFormValue& v, system::TLoadContext&) {
                auto& holder = static_cast<TQRUnitBase&>(o);
                const Extended x = system::NumberValue(v);
                if (!std::isfinite(x)) throw system::EPropertyValue("value out of range");
                holder.FNamedValues.push_back({name, index, x});
            },
            nullptr, nullptr, "Extended (in Units)"};
}

void TQRUnitBase::ApplyNamedValues(TQRUnit units) {
    if (FNamedValues.empty()) return;
    std::vector<TNamedValue> values = std::move(FNamedValues);
    FNamedValues.clear();
    const TQRUnit saved = FUnits;
    SetUnits(units);
    try {
        for (const TNamedValue& v : values) {
            const Extended native = ValueToNative(units, Horizontal(v.Index), v.Value);
            if (!std::isfinite(native) || native > MaxStoredValue || native < -MaxStoredValue)
                throw system::EPropertyValue(v.Name + ": value out of range");
            SetValue(v.Index, v.Value);
        }
    } catch (...) {
        SetUnits(saved);
        throw;
    }
    SetUnits(saved);
}

const system::TPropertyList& TQRUnitBase::ClassProperties() {
    static const system::TPropertyList list(
        nullptr,
        {{"Values",
          [](system::TPersistent& o, const TFormValue& v, system::TLoadContext&) {
              auto& holder = static_cast<TQRUnitBase&>(o);
              if (v.Kind != TFormValue::fvList) {
                  throw system::EPropertyValue(std::string("expected a list of numbers, found ") + v.KindName());
              }
              if (v.Items.size() > holder.ValueCount()) {
                  throw system::EPropertyValue("expected at most " + std::to_string(holder.ValueCount()) +
                                               " values, found " + std::to_string(v.Items.size()));
              }
              std::vector<Extended> values;
              for (const auto& item : v.Items) {
                  const Extended x = system::NumberValue(item);
                  // A kilometre is far beyond any sheet; larger values are damage.
                  if (!std::isfinite(x) || x > MaxStoredValue || x < -MaxStoredValue) {
                      throw system::EPropertyValue("value out of range");
                  }
                  values.push_back(x);
              }
              holder.SetStoredValues(values);
          },
          [](const system::TPersistent& o) -> std::optional<TFormValue> {
              std::vector<TFormValue> items;
              for (Extended x : static_cast<const TQRUnitBase&>(o).StoredValues()) {
                  items.push_back(TFormValue::Flt(x));
              }
              return TFormValue::List(std::move(items));
          },
          nullptr, "list of numbers"}});
    return list;
}

} // namespace pagimo::controls
