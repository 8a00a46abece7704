#pragma once
// printf-style formatting into a std::string of exactly the length needed (std::format is not in
// g++ 12). A std::string argument is passed as its C string.
#include <cstdio>
#include <string>

namespace zeltrak {
namespace format_detail {
inline const char* Arg(const std::string& s) { return s.c_str(); }
template <typename T>
T Arg(T value) {
    return value;
}
}  // namespace format_detail

template <typename... Args>
std::string FormatText(const char* format, const Args&... args) {
    const int n = std::snprintf(nullptr, 0, format, format_detail::Arg(args)...);
    if (n <= 0) return std::string();
    std::string out(static_cast<std::size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, format, format_detail::Arg(args)...);
    return out;
}

}  // namespace zeltrak
