#include "controls/ControlClasses.h"

#include "controls/Barcode.h"
#include "controls/GraphicControls.h"
#include "controls/TextControls.h"

namespace pagimo::controls {

void RegisterControlClasses(system::TClassRegistry& registry) {
    RegisterTextControlClasses(registry);
    RegisterGraphicControlClasses(registry);
    RegisterBarcodeClasses(registry);
}

} // namespace pagimo::controls
