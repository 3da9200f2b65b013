// qrptool is headless: it needs neither Qt Widgets nor Qt DBus of its own. ldd lists libQt6Widgets
// only because Qt's printer support (which qrptool prints through) is built on it, and libQt6DBus
// only because Debian's Qt Gui is linked against it; no other library qrptool loads asks for them.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>

namespace {

std::string Output(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string out;
    if (!pipe) return out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        out.append(buffer, n);
    return out;
}

// The libraries a file asks for itself (its NEEDED entries).
std::set<std::string> Needed(const std::string& file) {
    std::set<std::string> names;
    const std::string out = Output("readelf -d '" + file + "' 2>/dev/null");
    const std::regex needed(R"(\(NEEDED\)\s+Shared library: \[([^\]]+)\])");
    for (std::sregex_iterator it(out.begin(), out.end(), needed), end; it != end; ++it)
        names.insert((*it)[1]);
    return names;
}

// Every library the loader brings in for file, by name, with its path.
std::map<std::string, std::string> Loaded(const std::string& file) {
    std::map<std::string, std::string> libraries;
    const std::string out = Output("ldd '" + file + "' 2>/dev/null");
    const std::regex line(R"((\S+) => (/\S+) \()");
    for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it)
        libraries[(*it)[1]] = (*it)[2];
    return libraries;
}

bool IsWidgets(const std::string& name) {
    return name.rfind("libQt6Widgets.so", 0) == 0;
}

bool IsDBus(const std::string& name) {
    return name.rfind("libQt6DBus.so", 0) == 0;
}

TEST(QrptoolLinks, NeedsNoQtWidgetsOfItsOwn) {
    const std::set<std::string> own = Needed(QRPTOOL_PATH);
    ASSERT_FALSE(own.empty()) << "readelf found no dynamic section in " << QRPTOOL_PATH;
    for (const std::string& name : own)
        EXPECT_FALSE(IsWidgets(name)) << "qrptool itself needs " << name;
    const std::map<std::string, std::string> loaded = Loaded(QRPTOOL_PATH);
    ASSERT_FALSE(loaded.empty()) << "ldd listed nothing for " << QRPTOOL_PATH;
    // Who brings Qt Widgets in: only Qt's printer support may.
    for (const auto& [name, path] : loaded) {
        if (name.rfind("libQt6PrintSupport.so", 0) == 0) continue;
        for (const std::string& need : Needed(path))
            EXPECT_FALSE(IsWidgets(need)) << name << " (" << path << ") needs " << need;
    }
}

} // namespace

TEST(QrptoolLinks, NeedsNoDBusOfItsOwn) {
    const std::set<std::string> own = Needed(QRPTOOL_PATH);
    ASSERT_FALSE(own.empty());
    for (const std::string& name : own)
        EXPECT_FALSE(IsDBus(name)) << "qrptool itself needs " << name;
    // Only Qt Gui may bring Qt DBus in. (The plain libdbus-1 comes with libcups, through Avahi.)
    for (const auto& [name, path] : Loaded(QRPTOOL_PATH)) {
        if (name.rfind("libQt6Gui.so", 0) == 0) continue;
        for (const std::string& need : Needed(path))
            EXPECT_FALSE(IsDBus(need)) << name << " (" << path << ") needs " << need;
    }
}

TEST(QrptoolLinks, WritesPngThroughLibpngItself) {
    // PNG pages go through libpng directly (no scan of Qt's image-format plugins before saving).
    const std::set<std::string> own = Needed(QRPTOOL_PATH);
    EXPECT_TRUE(own.count("libpng16.so.16")) << "qrptool does not link libpng itself";
}
