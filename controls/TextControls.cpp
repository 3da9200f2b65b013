#include "controls/TextControls.h"

namespace pagimo::controls {

void RegisterTextControlClasses(system::TClassRegistry& registry) {
    registry.Register<TQRLabel>();
    registry.Register<TQRMemo>();
    registry.Register<TQRSysData>();
    registry.Register<TQRExpr>();
}

} // namespace pagimo::controls
