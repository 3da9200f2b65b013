#pragma once
// Exceptions carrying the system's message texts.

#include <stdexcept>
#include <string>

namespace pagimo {

// Base of every error the report library raises; what() is the text shown to the user.
class EQRError : public std::runtime_error {
public:
    explicit EQRError(const std::string& message) : std::runtime_error(message) {}
};

// Formats a message text with one %s (file names and the like).
std::string FormatMessage(const char* pattern, const std::string& argument);

} // namespace pagimo
