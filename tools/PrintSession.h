#pragma once
// The Qt application object the printing commands need (printer support and fonts live there).

namespace pagimo::tools {

// Creates it once (offscreen unless a platform is chosen), pointing fontconfig at the project's font
// aliases unless FONTCONFIG_FILE is set.
void EnsurePrintSession();

} // namespace pagimo::tools
