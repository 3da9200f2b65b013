#include "platform/system/Errors.h"

#include <cstring>

namespace pagimo {

std::string FormatMessage(const char* pattern, const std::string& argument) {
    std::string out = pattern;
    if (auto at = out.find("%s"); at != std::string::npos) out.replace(at, 2, argument);
    return out;
}

} // namespace pagimo
