#pragma once
// Reads tab-separated text back into rows of fields, an empty field kept wherever two tabs
// (or a trailing tab) leave one.
#include <string>
#include <vector>

namespace zeltrak::testing {

inline std::vector<std::vector<std::string>> ParseTabTable(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos) lineEnd = text.size();
        const std::string line = text.substr(lineStart, lineEnd - lineStart);
        std::vector<std::string> fields;
        for (std::size_t start = 0;;) {
            const std::size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        rows.push_back(fields);
        lineStart = lineEnd + 1;
    }
    return rows;
}

}  // namespace zeltrak::testing
