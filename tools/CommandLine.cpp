#include "tools/CommandLine.h"

#include <charconv>

namespace pagimo::tools {

bool TArgs::Flag(const std::string& name) {
    bool found = false;
    for (auto it = FArgs.begin(); it != FArgs.end();) {
        if (*it == name) {
            it = FArgs.erase(it);
            found = true;
        } else {
            ++it;
        }
    }
    return found;
}

std::optional<std::string> TArgs::Option(const std::string& name) {
    auto all = Options(name);
    if (all.empty()) return std::nullopt;
    return all.back();
}

std::vector<std::string> TArgs::Options(const std::string& name) {
    std::vector<std::string> values;
    for (auto it = FArgs.begin(); it != FArgs.end();) {
        if (*it == name) {
            if (it + 1 == FArgs.end()) throw EUsage{"option " + name + " needs a value"};
            values.push_back(*(it + 1));
            it = FArgs.erase(it, it + 2);
        } else if (it->starts_with(name + "=")) {
            values.push_back(it->substr(name.size() + 1));
            it = FArgs.erase(it);
        } else {
            ++it;
        }
    }
    return values;
}

std::vector<std::string> TArgs::Positionals() const {
    std::vector<std::string> out;
    bool onlyPositionals = false;
    for (const auto& a : FArgs) {
        if (!onlyPositionals && a == "--") {
            onlyPositionals = true;
        } else if (!onlyPositionals && a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9')) {
            throw EUsage{"unknown option " + a};
        } else {
            out.push_back(a);
        }
    }
    return out;
}

int ParseInt(const std::string& text, const std::string& what) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) throw EUsage{what + " must be a whole number: " + text};
    return value;
}

} // namespace pagimo::tools
