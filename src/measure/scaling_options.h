#pragma once
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "files/calibration_record.h"

namespace zeltrak {

// The scaling choices of a command line. Only what the command line names is set; the rest
// keeps the values of the settings it is copied into.
struct ScalingOptions {
    std::optional<uint16_t> ampScaleType;        // --amplitude linear|db
    std::optional<uint16_t> freqScaleType;       // --frequency linear|log|octave
    std::optional<uint16_t> octaveNumber;        // --octave N
    std::optional<uint16_t> standardWeighting;   // --weighting flat|A|B|C
    std::optional<uint16_t> spectralDensityType; // --psd squared|root (turns PSD on)
    std::optional<std::string> micLeft;          // --mic-comp LEFT[,RIGHT]
    std::optional<std::string> micRight;
    std::optional<CalibrationRecord> calibration;  // --cal FILE.cal, loaded and enabled
};

// The octave fractions the analyser offers.
inline constexpr uint16_t kOctaveChoices[] = {1, 3, 6, 9, 12, 24, 48, 96};
// Room for a file name in the settings (259 characters and the terminator).
inline constexpr size_t kMaxMicFileName = 259;

// The values of the scaling options, one parser each (case does not matter); false when
// `text` is none of the choices.
bool ParseAmplitudeScale(const std::string& text, uint16_t& type);      // linear|db
bool ParseFrequencyScale(const std::string& text, uint16_t& type);      // linear|log|octave
bool ParseOctaveNumber(const std::string& text, uint16_t& number);      // one of kOctaveChoices
bool ParseWeighting(const std::string& text, uint16_t& weighting);      // flat|none|A|B|C
bool ParseDensityType(const std::string& text, uint16_t& type);         // squared|root
// "LEFT[,RIGHT]": at least one name, none longer than kMaxMicFileName.
bool ParseMicCompNames(const std::string& text, std::string& left, std::string& right);

// A calibration file named on the command line must exist: the silent defaults of a missing
// file would be calibrated nonsense.
enum class CalibrationFileStatus { Ok, Unreadable, NotCalibration };
CalibrationFileStatus LoadCalibrationOption(const std::string& path, CalibrationRecord& record);

// --octave alone asks for octave bands; with another frequency scale it is a contradiction
// (false).
bool SettleOctaveChoice(ScalingOptions& options);

// Copies the options that were given into a scaling block of the settings (any struct with
// the fields of the Scaling section).
template <class Block>
void CopyScalingOptions(const ScalingOptions& o, Block& block) {
    if (o.ampScaleType) block.AmpScaleType = *o.ampScaleType;
    if (o.freqScaleType) block.FreqScaleType = *o.freqScaleType;
    if (o.octaveNumber) block.OctaveNumber = *o.octaveNumber;
    if (o.standardWeighting) block.StandardWeighting = *o.standardWeighting;
    if (o.spectralDensityType) {
        block.SpectralDensityFlag = 1;
        block.SpectralDensityType = *o.spectralDensityType;
    }
    if (o.micLeft || o.micRight) {
        block.MicCompEnable = 1;
        const auto put = [](char* field, size_t size, const std::string& text) {
            std::memset(field, 0, size);
            std::memcpy(field, text.data(), text.size() < size ? text.size() : size - 1);
        };
        put(block.MicCompFilenameLeft, sizeof block.MicCompFilenameLeft, o.micLeft.value_or(""));
        put(block.MicCompFilenameRight, sizeof block.MicCompFilenameRight, o.micRight.value_or(""));
    }
}

}  // namespace zeltrak
