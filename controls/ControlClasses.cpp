#include "controls/ControlClasses.h"

#include "controls/GraphicControls.h"

namespace pagimo::controls {

void RegisterControlClasses(system::TClassRegistry& registry) {
    RegisterGraphicControlClasses(registry);
}

} // namespace pagimo::controls
