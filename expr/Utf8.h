#pragma once
// Byte-counted text that never splits a UTF-8 sequence. Where the report language counts bytes
// (the 255-byte limit, COPY, PRETTY) a multi-byte UTF-8 sequence plays the part of a double-byte
// character: it is kept whole or left out whole.

#include "platform/system/Utf8.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace pagimo::expr {

// Longest stored text of an expression value, in bytes.
constexpr std::size_t MaxResultBytes = 255;

using system::IsUtf8Continuation;

// Number of bytes of the well-formed sequence starting at text[at]; 1 for a stray or malformed
// byte, so that damaged text is still walked byte by byte.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

// The largest length <= maxBytes that does not end inside a well-formed sequence.
std::size_t Utf8CutLength(std::string_view text, std::size_t maxBytes);

// Cuts text in place to at most MaxResultBytes bytes without splitting a character.
void CutToResultLength(std::string& text);

} // namespace pagimo::expr
