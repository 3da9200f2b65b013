#pragma once
// Text of the report language: string functions count characters (UTF-8 code points), and a cut
// never splits a UTF-8 sequence. A byte that starts no well-formed sequence counts as one character,
// so damaged text is still walked byte by byte.

#include "platform/system/Utf8.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace pagimo::expr {

// Longest stored text of an expression value, in bytes: no limit a report meets, only a bound against
// hostile data (a field of a gigabyte joined to itself). A longer text is cut and flagged (EvResult::Cut).
constexpr std::size_t MaxResultBytes = std::size_t(1) << 20;

using system::IsUtf8Continuation;

// Number of bytes of the well-formed sequence starting at text[at]; 1 for a stray or malformed
// byte, so that damaged text is still walked byte by byte.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

// The largest length <= maxBytes that does not end inside a well-formed sequence.
std::size_t Utf8CutLength(std::string_view text, std::size_t maxBytes);

// Cuts text in place to at most MaxResultBytes bytes without splitting a character; true when it cut.
bool CutToResultLength(std::string& text);

// The number of characters of text.
std::size_t Utf8Length(std::string_view text);
// The byte offset of character `index` (0-based) of text; text.size() when text has fewer characters.
std::size_t Utf8Offset(std::string_view text, std::size_t index);

} // namespace pagimo::expr
