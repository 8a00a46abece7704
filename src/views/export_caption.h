#pragma once
#include <chrono>
#include <string>
#include <vector>

#include "engine/processing_settings.h"

namespace zeltrak {

inline constexpr const char* kCaptionLiveSource = "Real-Time input";
// Longest file name (in characters) the caption keeps whole; longer ones lose their middle so
// that both lines fit below a 600 px image.
inline constexpr std::size_t kCaptionFileNameChars = 40;
// Every exported text starts with this many comment lines, so a reader can skip a fixed count.
inline constexpr std::size_t kCaptionLineCount = 2;

// What an export says about where its data came from.
struct TExportCaptionInputs {
    std::string viewName;
    // The open wave file's path; empty when it has no name yet.
    std::string filePath;
    ProcessingSettings settings;
};

// The caption of an exported view, kCaptionLineCount lines:
//   "Spectrum — tone.wav — 2026-12-07 09:14"
//   "FFT 4096 · Hanning · Linear averaging 10 · Logarithmic (dB) · 48000 Hz"
// The source is "Real-Time input" in Real-Time mode, else the file's name without its folder
// ("Untitled" without one). The date is local time; weighting, density, peak hold and
// decimation appear only when they are on.
std::vector<std::string> ExportCaptionLines(const TExportCaptionInputs& inputs,
                                            std::chrono::system_clock::time_point when);

// The lines as text comments: each behind "# ", each ending in a newline.
std::string CaptionComment(const std::vector<std::string>& lines);

// text cut to at most maxChars UTF-8 characters by putting "…" in place of its middle.
std::string ElideMiddle(const std::string& text, std::size_t maxChars);

}  // namespace zeltrak
