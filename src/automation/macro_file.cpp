#include "automation/macro_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "automation/macro_strings.h"
#include "base/text_format.h"

namespace zeltrak {

MacroTextFault SplitMacroText(std::string_view bytes, std::vector<std::string>& lines) {
    lines.clear();
    if (bytes.size() > kMaxMacroFileBytes) return MacroTextFault::TooLarge;
    if (bytes.find('\0') != std::string_view::npos) return MacroTextFault::Binary;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        if (end == std::string_view::npos) break;
        bytes.remove_prefix(end + 1);
    }
    return MacroTextFault::None;
}

bool ReadMacroFile(const std::string& path, std::vector<std::string>& lines, std::string& error) {
    lines.clear();
    std::error_code ec;
    std::ifstream in(path, std::ios::binary);
    // A folder opens as a stream on Linux and reads as nothing: it is no file either.
    if (!in || std::filesystem::is_directory(path, ec)) {
        error = FormatText(kMacroOpenFailed, path);
        return false;
    }
    // One byte past the limit is enough to tell a huge file; the rest is never read.
    std::string bytes(kMaxMacroFileBytes + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) {
        error = FormatText(kMacroOpenFailed, path);
        return false;
    }
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    switch (SplitMacroText(bytes, lines)) {
        case MacroTextFault::None: return true;
        case MacroTextFault::Binary: error = FormatText(kMacroBinaryFile, path); return false;
        case MacroTextFault::TooLarge: error = FormatText(kMacroHugeFile, path); return false;
    }
    return false;
}

}  // namespace zeltrak
