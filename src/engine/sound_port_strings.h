#pragma once

namespace zeltrak {

// Texts about the sound ports that are not in the numbered table.
// Shown by the port when the device refuses the current format, with its own caption.
inline constexpr const char* kFormatRefusedText = "Sound Card not present or sampling rate not supported.";
inline constexpr const char* kFormatRefusedCaption = "Vornal";
// Shown by callers that would play and record through one device that cannot do both.
inline constexpr const char* kNoDuplexText = "The Sound Card you are using does not support duplex operations.";

}  // namespace zeltrak
