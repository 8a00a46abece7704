#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zeltrak {

// An INI document with the semantics of the classic private-profile functions:
// section and key names compare without case, a key name may contain blanks, every value
// is text, and a missing file, section or key reads as the caller's default.
//
// The document keeps the file's lines as they were read. Writing a key rewrites only that
// key's line; new keys go after the last key of their section, new sections at the end, so
// comments, foreign keys and their order survive a round trip.
class TIniStore {
public:
    // No settings file comes near this; a larger file is not loaded and never written back,
    // so that a stray multi-gigabyte file can neither exhaust memory nor be replaced.
    static constexpr std::size_t kMaxFileBytes = 16u * 1024u * 1024u;

    TIniStore() = default;

    // Reads `path`; a missing or unreadable file gives an empty document (and false). Only
    // regular files of at most kMaxFileBytes are read: a FIFO or a device fails at once.
    // What exists but could not be read (too large, not a regular file) is never written back.
    bool Load(const std::string& path);
    // Parses text that is already in memory. A leading UTF-8 byte-order mark is kept aside
    // and written back by Text().
    void Parse(const std::string& text);
    // Writes the document back to the file it was loaded from (or `path`), replacing the
    // file atomically. Returns false when it could not be written.
    bool Save() const;
    bool SaveAs(const std::string& path) const;
    std::string Text() const;
    const std::string& Path() const { return path_; }

    // The value of `key` in `section`, or `fallback`. With bufferSize > 0 the result is cut
    // to bufferSize - 1 characters, as a read into a fixed text field of that many bytes.
    std::string GetString(const std::string& section, const std::string& key, const std::string& fallback,
                          std::size_t bufferSize = 0) const;
    // Plain decimal conversion of the text: leading blanks and a sign are taken, reading stops
    // at the first non-digit, no digits give 0. A missing key gives `fallback`.
    int64_t GetInt(const std::string& section, const std::string& key, int64_t fallback) const;
    double GetDouble(const std::string& section, const std::string& key, double fallback) const;
    bool HasKey(const std::string& section, const std::string& key) const;

    // A value with surrounding blanks or quotes is written quoted, so that it reads back whole.
    void SetString(const std::string& section, const std::string& key, const std::string& value);
    void SetInt(const std::string& section, const std::string& key, int64_t value);
    // Written with "%f" (six decimals), as every floating value in the configuration files.
    void SetDouble(const std::string& section, const std::string& key, double value);
    // Removes the key's line; nothing happens when it is missing.
    void DeleteKey(const std::string& section, const std::string& key);
    // Removes the section header and every line up to the next section.
    void DeleteSection(const std::string& section);

    // Section names in file order, and the keys of one section in file order.
    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(const std::string& section) const;

private:
    struct SectionSpan {
        std::size_t header;  // index of the "[name]" line
        std::size_t end;     // one past the last line that belongs to the section
    };

    bool FindSection(const std::string& section, SectionSpan& span) const;
    bool FindKeyLine(const SectionSpan& span, const std::string& key, std::size_t& index) const;

    std::vector<std::string> lines_;
    std::string path_;
    bool crlf_ = false;      // the file used CR LF; new lines follow suit
    bool bom_ = false;       // the text began with a UTF-8 byte-order mark
    bool keepFile_ = false;  // Load found something it would not read: never overwrite it
};

// Plain decimal text-to-integer and text-to-float conversions shared by every reader of
// configuration text: junk after the number is ignored, no number gives 0.
int64_t ParseDecimalInt(const std::string& text);
double ParseDecimalDouble(const std::string& text);

}  // namespace zeltrak
