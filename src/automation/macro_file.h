#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace zeltrak {

// Larger than this is no hand-written script: refusing it keeps a wrongly chosen file out of the editor.
inline constexpr std::size_t kMaxMacroFileBytes = 1024 * 1024;

enum class MacroTextFault { None, Binary, TooLarge };

// Splits a script's bytes into lines (LF or CR LF ends a line; a last line without an end
// counts). A NUL byte or more than kMaxMacroFileBytes refuses the text and leaves `lines` empty.
MacroTextFault SplitMacroText(std::string_view bytes, std::vector<std::string>& lines);

// The lines of a .mac file; false with the message in `error` when it cannot be read or is no script.
bool ReadMacroFile(const std::string& path, std::vector<std::string>& lines, std::string& error);

}  // namespace zeltrak
