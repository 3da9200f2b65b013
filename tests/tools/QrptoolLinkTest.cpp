// qrptool is headless and starts lean: it loads neither Qt Widgets nor Qt's printer support, and needs
// no Qt DBus of its own (Debian's Qt Gui brings that in). The commands that print or run reports live
// in the helper qrptool-print, which needs Qt Widgets only because Qt's printer support is built on
// it; no other library either program loads asks for it.

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

TEST(QrptoolLinks, LoadsNeitherQtWidgetsNorPrinterSupport) {
    const std::map<std::string, std::string> loaded = Loaded(QRPTOOL_PATH);
    ASSERT_FALSE(loaded.empty()) << "ldd listed nothing for " << QRPTOOL_PATH;
    for (const auto& [name, path] : loaded) {
        EXPECT_FALSE(IsWidgets(name)) << "qrptool loads " << name;
        EXPECT_NE(name.rfind("libQt6PrintSupport.so", 0), 0u) << "qrptool loads " << name;
        EXPECT_NE(name.rfind("libcups.so", 0), 0u) << "qrptool loads " << name;
    }
}

TEST(QrptoolLinks, ThePrintingHelperNeedsNoQtWidgetsOfItsOwn) {
    const std::set<std::string> own = Needed(QRPTOOL_PRINT_PATH);
    ASSERT_FALSE(own.empty()) << "readelf found no dynamic section in " << QRPTOOL_PRINT_PATH;
    for (const std::string& name : own)
        EXPECT_FALSE(IsWidgets(name)) << "qrptool-print itself needs " << name;
    EXPECT_TRUE(own.count("libQt6PrintSupport.so.6"));
    const std::map<std::string, std::string> loaded = Loaded(QRPTOOL_PRINT_PATH);
    ASSERT_FALSE(loaded.empty()) << "ldd listed nothing for " << QRPTOOL_PRINT_PATH;
    // Who brings Qt Widgets in: only Qt's printer support may.
    for (const auto& [name, path] : loaded) {
        if (name.rfind("libQt6PrintSupport.so", 0) == 0) continue;
        for (const std::string& need : Needed(path))
            EXPECT_FALSE(IsWidgets(need)) << name << " (" << path << ") needs " << need;
    }
}

TEST(QrptoolLinks, NeedsNoDBusOfItsOwn) {
    for (const char* program : {QRPTOOL_PATH, QRPTOOL_PRINT_PATH}) {
        SCOPED_TRACE(program);
        const std::set<std::string> own = Needed(program);
        ASSERT_FALSE(own.empty());
        for (const std::string& name : own)
            EXPECT_FALSE(IsDBus(name)) << "the program itself needs " << name;
        // Only Qt Gui may bring Qt DBus in. (The plain libdbus-1 comes with libcups, through Avahi.)
        for (const auto& [name, path] : Loaded(program)) {
            if (name.rfind("libQt6Gui.so", 0) == 0) continue;
            for (const std::string& need : Needed(path))
                EXPECT_FALSE(IsDBus(need)) << name << " (" << path << ") needs " << need;
        }
    }
}

TEST(QrptoolLinks, WritesPngThroughLibpngItself) {
    // PNG pages go through libpng directly (no scan of Qt's image-format plugins before saving).
    const std::set<std::string> own = Needed(QRPTOOL_PATH);
    EXPECT_TRUE(own.count("libpng16.so.16")) << "qrptool does not link libpng itself";
}

} // namespace
