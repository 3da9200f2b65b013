#pragma once
// The program's version, one number for the viewer and qrptool ("1.2").

namespace pagimo {

const char* ProgramVersion();

} // namespace pagimo
