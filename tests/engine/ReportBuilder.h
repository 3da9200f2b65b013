#pragma once
// Building reports in code for the engine tests: a band of a given type and height (tenths of a
// millimetre) placed on the report.

#include "engine/Report.h"

#include <string>
#include <type_traits>

namespace pagimo::test {

template <class B = engine::TQRBand>
B* AddBand(engine::TCustomQRReport& report, const std::string& name, engine::TQRBandType type,
           controls::Extended height) {
    auto* b = system::TComponent::Create<B>(&report);
    b->SetName(name);
    b->SetParentComponent(&report);
    if constexpr (std::is_same_v<B, engine::TQRBand>) b->SetBandType(type);
    b->Size()->SetUnits(controls::TQRUnit::Native);
    b->Size()->SetHeight(height);
    return b;
}

} // namespace pagimo::test
