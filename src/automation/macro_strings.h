#pragma once

namespace zeltrak {

// The macro processor's own words.
inline constexpr const char* kMacroUnrecognized = "Macro Command Processor: Unrecognized command \"%s\" at line %d";
inline constexpr const char* kMacroExecuteFailed =
    "Macro Command Processor: DDE Execute command \"%s\" at line %d cannot be processed";
inline constexpr const char* kMacroRequestFailed =
    "Macro Command Processor: DDE Request item \"%s\" at line %d is unrecognized";
inline constexpr const char* kMacroLineTooLong = "Macro Command Processor: line %d is longer than 255 characters";

// Reading a .mac file.
inline constexpr const char* kMacroOpenFailed = "Failure opening macro file: %s";
inline constexpr const char* kMacroBinaryFile = "\"%s\" is not a macro command file (binary data)";
inline constexpr const char* kMacroHugeFile = "\"%s\" is not a macro command file (larger than 1 MiB)";

// The one Output item whose empty value is no error (there is no peak before the first frame).
inline constexpr const char* kMacroPeakFrequencyItem = "Peak Frequency";
// Replaced by the local date and time in Send, OutputComment and SetOutputFile texts.
inline constexpr const char* kMacroAutoDateTime = "AutoDateTime";
inline constexpr const char* kMacroDateTimeFormat = "%04d_%02d_%02d_%02d%02d%02d";

}  // namespace zeltrak
