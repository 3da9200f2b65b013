#pragma once
// PDF files read back with poppler's command-line tools (pdfinfo, pdftotext), for tests that write PDF.

#include <cstdio>
#include <filesystem>
#include <string>

namespace pagimo::test {

inline std::string CommandOutput(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

// The page count pdfinfo reports; -1 when the file is not a PDF it can read.
inline int PdfPageCount(const std::filesystem::path& pdf) {
    const std::string info = CommandOutput("pdfinfo '" + pdf.string() + "'");
    const auto at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
}

// The text of pages first..last (0: to the end) in reading order.
inline std::string PdfPagesText(const std::filesystem::path& pdf, int first = 1, int last = 0) {
    std::string command = "pdftotext -f " + std::to_string(first);
    if (last > 0) command += " -l " + std::to_string(last);
    return CommandOutput(command + " '" + pdf.string() + "' -");
}

} // namespace pagimo::test
