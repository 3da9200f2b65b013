#include "controls/ControlClasses.h"

namespace pagimo::controls {

void RegisterControlClasses(system::TClassRegistry& registry) {
    (void)registry;
}

} // namespace pagimo::controls
