#pragma once
// The text controls a stored description can name: labels, memos, system data and expressions.

#include "controls/ExprControl.h"
#include "controls/Label.h"
#include "controls/SysData.h"

namespace pagimo::controls {

// Registers TQRLabel, TQRMemo, TQRSysData and TQRExpr under their class names.
void RegisterTextControlClasses(system::TClassRegistry& registry);

} // namespace pagimo::controls
