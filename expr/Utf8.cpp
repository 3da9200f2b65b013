#include "expr/Utf8.h"

#include <algorithm>

namespace pagimo::expr {

std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
    const std::size_t length = system::DecodeUtf8(text, at).Length;
    return length == 0 ? 1 : length;
}

std::size_t Utf8CutLength(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t next = at + Utf8SequenceLength(text, at);
        if (next > maxBytes) break;
        at = next;
    }
    return at;
}

bool CutToResultLength(std::string& text) {
    if (text.size() <= MaxResultBytes) return false;
    text.resize(Utf8CutLength(text, MaxResultBytes));
    return true;
}

std::size_t Utf8Length(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); at += Utf8SequenceLength(text, at))
        ++count;
    return count;
}

std::size_t Utf8Offset(std::string_view text, std::size_t index) {
    std::size_t at = 0;
    for (; at < text.size() && index > 0; --index)
        at += Utf8SequenceLength(text, at);
    return std::min(at, text.size());
}

} // namespace pagimo::expr
