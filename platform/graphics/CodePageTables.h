#pragma once
// Tables behind DecodeAnsi; not part of the library's interface.

namespace pagimo::graphics::detail {

extern const char16_t CodePage1250High[128];
extern const char16_t CodePage1251High[128];
extern const char16_t CodePage1252High[128];
extern const char16_t CodePage1253High[128];
extern const char16_t CodePage1254High[128];
extern const char16_t CodePage1255High[128];
extern const char16_t CodePage1256High[128];
extern const char16_t CodePage1257High[128];
extern const char16_t CodePage1258High[128];
extern const char16_t CodePage874High[128];
extern const char16_t CodePage437High[128];
extern const char16_t CodePage850High[128];

} // namespace pagimo::graphics::detail
