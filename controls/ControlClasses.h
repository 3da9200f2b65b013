#pragma once
// Registers every printable control class under its class name, so stored report descriptions can
// create them.

#include "platform/system/Component.h"

namespace pagimo::controls {

void RegisterControlClasses(system::TClassRegistry& registry);

} // namespace pagimo::controls
