#pragma once
// Small argument reader shared by qrptool's commands.

#include <optional>
#include <string>
#include <vector>

namespace pagimo::tools {

// Exit statuses: 0 success, 1 the work failed (bad file, printing error), 2 a usage error.
constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// Thrown for a malformed command line; qrptool prints the text and the command's usage, exit 2.
struct EUsage {
    std::string Message;
};

// The arguments after the command name. Options may be written "--name value" or "--name=value".
class TArgs {
public:
    explicit TArgs(std::vector<std::string> args) : FArgs(std::move(args)) {}

    bool Flag(const std::string& name);                       // removes --name when present
    std::optional<std::string> Option(const std::string& name); // removes --name VALUE
    std::vector<std::string> Options(const std::string& name);  // every --name VALUE, in order
    // The remaining arguments once all options were taken; an unknown "--x" is a usage error.
    std::vector<std::string> Positionals() const;

private:
    std::vector<std::string> FArgs;
};

int ParseInt(const std::string& text, const std::string& what); // throws EUsage

} // namespace pagimo::tools
