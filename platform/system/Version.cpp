#include "platform/system/Version.h"

namespace pagimo {

const char* ProgramVersion() {
    return PAGIMO_VERSION;
}

} // namespace pagimo
