#include "files/ini_store.h"

#include "base/strings.h"

#include "files/atomic_file.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/input_file.h"

namespace zeltrak {

namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s, std::size_t begin, std::size_t end) {
    while (begin < end && IsBlank(s[begin])) ++begin;
    while (end > begin && IsBlank(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

std::size_t FirstNonBlank(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return i;
}

// "[name]" with optional blanks; a line that opens a bracket but never closes it is not a
// header, so that one damaged line does not swallow the keys that follow.
bool ParseSectionHeader(const std::string& line, std::string& name) {
    const std::size_t open = FirstNonBlank(line);
    if (open >= line.size() || line[open] != '[') return false;
    const std::size_t close = line.find(']', open + 1);
    if (close == std::string::npos) return false;
    name = Trim(line, open + 1, close);
    return true;
}

bool IsComment(const std::string& line) {
    const std::size_t i = FirstNonBlank(line);
    return i < line.size() && line[i] == ';';
}

// "key = value"; the value loses surrounding blanks and one pair of matching quotes.
bool ParseKeyLine(const std::string& line, std::string& key, std::string* value) {
    if (IsComment(line)) return false;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = Trim(line, 0, eq);
    if (key.empty()) return false;
    if (value) {
        std::string v = Trim(line, eq + 1, line.size());
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        *value = std::move(v);
    }
    return true;
}

// The text a value is written as: reading drops surrounding blanks, CRs at the end of the
// line and one pair of matching quotes, so a value with any of these is written inside a pair
// of quotes of its own.
std::string StoredValue(const std::string& value) {
    if (value.empty()) return value;
    const char first = value.front(), last = value.back();
    const bool quoted = value.size() >= 2 && (first == '"' || first == '\'') && last == first;
    return IsBlank(first) || IsBlank(last) || last == '\r' || quoted ? '"' + value + '"' : value;
}

std::string FormatFixed6(double value) {
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (result.ec != std::errc{}) return "0.000000";
    return std::string(buffer, result.ptr);
}

}  // namespace

int64_t ParseDecimalInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (IsBlank(text[i]) || text[i] == '\n' || text[i] == '\r')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Accumulate the magnitude with saturation so that absurd digit strings stay defined.
    uint64_t magnitude = 0;
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (negative ? 1u : 0u);
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (magnitude > (limit - digit) / 10) {
            magnitude = limit;
            break;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (negative) return magnitude == limit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(magnitude);
    return static_cast<int64_t>(magnitude);
}

double ParseDecimalDouble(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Only digits make a number: the words "nan" and "inf" read as 0, as in a plain conversion.
    const bool startsNumber = i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == '.');
    if (!startsNumber) return 0.0;
    double value = 0.0;
    // from_chars ignores the locale, unlike strtod under a desktop locale with decimal commas.
    const auto result = std::from_chars(text.data() + i, text.data() + text.size(), value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large: saturate the way strtod does; too small: zero.
        const bool huge = std::strtod(text.c_str() + i, nullptr) != 0.0;
        value = huge ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (result.ec != std::errc{}) {
        value = 0.0;
    }
    return negative ? -value : value;
}

bool TIniStore::Load(const std::string& path) {
    lines_.clear();
    crlf_ = false;
    bom_ = false;
    std::string text;
    const InputFileStatus status = ReadRegularFile(path, kMaxFileBytes, text);
    keepFile_ = status == InputFileStatus::NotRegular || status == InputFileStatus::TooLarge;
    path_ = path;
    if (status != InputFileStatus::Ok) return false;
    Parse(text);
    return true;
}

void TIniStore::Parse(const std::string& text) {
    lines_.clear();
    crlf_ = false;
    // Editors that save "UTF-8 with BOM" put it before the first section header.
    bom_ = text.compare(0, 3, kUtf8Bom) == 0;
    std::size_t start = bom_ ? 3 : 0;
    bool sawLineEnd = false;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        const bool last = nl == std::string::npos;
        std::size_t end = last ? text.size() : nl;
        // CRs before the LF belong to the line end (CR CR LF comes from converting a CR LF
        // file once more), and so do CRs at the very end (a file cut between CR and LF).
        const std::size_t withCr = end;
        while (end > start && text[end - 1] == '\r') --end;
        if (end < withCr && !last && !sawLineEnd) crlf_ = true;
        if (!last) sawLineEnd = true;
        lines_.push_back(text.substr(start, end - start));
        start = last ? text.size() : nl + 1;
    }
}

std::string TIniStore::Text() const {
    const char* eol = crlf_ ? "\r\n" : "\n";
    std::string out = bom_ ? kUtf8Bom : "";
    for (const std::string& line : lines_) {
        out += line;
        out += eol;
    }
    return out;
}

bool TIniStore::Save() const { return SaveAs(path_); }

bool TIniStore::SaveAs(const std::string& path) const {
    if (keepFile_) return false;
    const std::string text = Text();
    return ReplaceFileAtomically(path, [&text](int fd) { return WriteAll(fd, text.data(), text.size()); }) ==
           ReplaceResult::Done;
}

bool TIniStore::FindSection(const std::string& section, SectionSpan& span) const {
    std::string name;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!ParseSectionHeader(lines_[i], name) || !EqualsIgnoreCase(name, section)) continue;
        span.header = i;
        span.end = i + 1;
        while (span.end < lines_.size() && !ParseSectionHeader(lines_[span.end], name)) ++span.end;
        return true;
    }
    return false;
}

bool TIniStore::FindKeyLine(const SectionSpan& span, const std::string& key, std::size_t& index) const {
    std::string name;
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        if (ParseKeyLine(lines_[i], name, nullptr) && EqualsIgnoreCase(name, key)) {
            index = i;
            return true;
        }
    }
    return false;
}

std::string TIniStore::GetString(const std::string& section, const std::string& key, const std::string& fallback,
                                 std::size_t bufferSize) const {
    std::string value = fallback;
    SectionSpan span{};
    std::size_t index = 0;
    std::string name;
    if (FindSection(section, span) && FindKeyLine(span, key, index)) ParseKeyLine(lines_[index], name, &value);
    if (bufferSize > 0 && value.size() > bufferSize - 1) value.resize(bufferSize - 1);
    return value;
}

bool TIniStore::HasKey(const std::string& section, const std::string& key) const {
    SectionSpan span{};
    std::size_t index = 0;
    return FindSection(section, span) && FindKeyLine(span, key, index);
}

int64_t TIniStore::GetInt(const std::string& section, const std::string& key, int64_t fallback) const {
    return HasKey(section, key) ? ParseDecimalInt(GetString(section, key, "")) : fallback;
}

double TIniStore::GetDouble(const std::string& section, const std::string& key, double fallback) const {
    return HasKey(section, key) ? ParseDecimalDouble(GetString(section, key, "")) : fallback;
}

void TIniStore::SetString(const std::string& section, const std::string& key, const std::string& text) {
    const std::string value = StoredValue(text);
    SectionSpan span{};
    if (!FindSection(section, span)) {
        if (!lines_.empty() && !lines_.back().empty()) lines_.push_back("");
        lines_.push_back("[" + section + "]");
        lines_.push_back(key + "=" + value);
        return;
    }
    std::size_t index = 0;
    std::string name;
    if (FindKeyLine(span, key, index)) {
        ParseKeyLine(lines_[index], name, nullptr);
        lines_[index] = name + "=" + value;  // keep the stored spelling of the key
        return;
    }
    // After the section's last non-blank line, so that the blank line before the next
    // section stays where it was.
    std::size_t insertAt = span.end;
    while (insertAt > span.header + 1 && Trim(lines_[insertAt - 1], 0, lines_[insertAt - 1].size()).empty())
        --insertAt;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), key + "=" + value);
}

void TIniStore::SetInt(const std::string& section, const std::string& key, int64_t value) {
    SetString(section, key, std::to_string(value));
}

void TIniStore::SetDouble(const std::string& section, const std::string& key, double value) {
    SetString(section, key, FormatFixed6(value));
}

void TIniStore::DeleteKey(const std::string& section, const std::string& key) {
    SectionSpan span{};
    std::size_t index = 0;
    if (FindSection(section, span) && FindKeyLine(span, key, index))
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
}

void TIniStore::DeleteSection(const std::string& section) {
    SectionSpan span{};
    if (FindSection(section, span))
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(span.header),
                     lines_.begin() + static_cast<std::ptrdiff_t>(span.end));
}

std::vector<std::string> TIniStore::Sections() const {
    std::vector<std::string> names;
    std::string name;
    for (const std::string& line : lines_)
        if (ParseSectionHeader(line, name)) names.push_back(name);
    return names;
}

std::vector<std::string> TIniStore::Keys(const std::string& section) const {
    std::vector<std::string> keys;
    SectionSpan span{};
    if (!FindSection(section, span)) return keys;
    std::string name;
    for (std::size_t i = span.header + 1; i < span.end; ++i)
        if (ParseKeyLine(lines_[i], name, nullptr)) keys.push_back(name);
    return keys;
}

}  // namespace zeltrak
