#pragma once
// Tab-separated text back as rows of fields; two tabs, or a trailing one, leave an empty field.
#include <sstream>
#include <string>
#include <vector>

namespace zeltrak::testing {

inline std::vector<std::vector<std::string>> ParseTabTable(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        rows.emplace_back();
        std::size_t start = 0;
        for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            rows.back().push_back(line.substr(start, tab - start));
        rows.back().push_back(line.substr(start));
    }
    return rows;
}

}  // namespace zeltrak::testing
