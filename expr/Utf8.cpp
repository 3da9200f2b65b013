#include "expr/Utf8.h"

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

void CutToResultLength(std::string& text) {
    if (text.size() > MaxResultBytes) text.resize(Utf8CutLength(text, MaxResultBytes));
}

} // namespace pagimo::expr
