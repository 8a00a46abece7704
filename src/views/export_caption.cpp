#include "views/export_caption.h"

#include <ctime>

#include "engine/engine_strings.h"
#include "engine/settings_names.h"

namespace zeltrak {

namespace {

constexpr char kDash[] = " \u2014 ";
constexpr char kDot[] = " \u00b7 ";
constexpr char kEllipsis[] = "\u2026";

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t CharCount(const std::string& text) {
    std::size_t n = 0;
    for (char c : text) n += !IsContinuationByte(c);
    return n;
}

// The byte offset where character number index starts (text.size() past the end).
std::size_t ByteOfChar(const std::string& text, std::size_t index) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsContinuationByte(text[i])) continue;
        if (chars++ == index) return i;
    }
    return text.size();
}

std::string LocalDateTime(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

std::string SourceName(const TExportCaptionInputs& inputs) {
    if (inputs.settings.Mode.OpMode == kModeRealTime) return kCaptionLiveSource;
    if (inputs.filePath.empty()) return kEngineUntitled;
    // Both separators: a settings file may carry a path written elsewhere.
    const std::size_t slash = inputs.filePath.find_last_of("/\\");
    return ElideMiddle(slash == std::string::npos ? inputs.filePath : inputs.filePath.substr(slash + 1),
                       kCaptionFileNameChars);
}

std::string SettingsLine(const ProcessingSettings& settings) {
    const SettingsBlock& s = settings.Settings();
    const ScalingBlock& c = settings.Scaling();
    std::string line = "FFT " + std::to_string(s.FFTsize);
    line += kDot + std::string(WindowTypeName(s.SmoothingWindow));
    line += kDot + std::string(AverageTypeName(s.AverageType)) + " averaging " + std::to_string(s.AverageBlocks);
    if (s.PeakHold) line += kDot + std::string("Peak Hold");
    line += kDot + std::string(AmplitudeScaleName(c.AmpScaleType));
    if (c.StandardWeighting) line += kDot + std::string("Weighting ") + WeightingName(c.StandardWeighting);
    if (c.SpectralDensityFlag) line += kDot + std::string(SpectralDensityName(c.SpectralDensityType));
    line += kDot + std::to_string(s.format.rate) + " Hz";
    if (s.DecimationRatio > 1) line += kDot + std::string("Decimation ") + std::to_string(s.DecimationRatio);
    return line;
}

}  // namespace

std::string ElideMiddle(const std::string& text, std::size_t maxChars) {
    const std::size_t chars = CharCount(text);
    if (chars <= maxChars || maxChars < 2) return text;
    // The end keeps the larger half: it holds the extension and usually the distinguishing part.
    const std::size_t head = (maxChars - 1) / 2;
    const std::size_t tail = maxChars - 1 - head;
    return text.substr(0, ByteOfChar(text, head)) + kEllipsis + text.substr(ByteOfChar(text, chars - tail));
}

std::vector<std::string> ExportCaptionLines(const TExportCaptionInputs& inputs,
                                            std::chrono::system_clock::time_point when) {
    return {inputs.viewName + kDash + SourceName(inputs) + kDash + LocalDateTime(when),
            SettingsLine(inputs.settings)};
}

std::string CaptionComment(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "# " + line + "\n";
    return text;
}

}  // namespace zeltrak
