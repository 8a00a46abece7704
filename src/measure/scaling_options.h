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

// Takes the scaling options out of `args` ("--name value" or "--name=value"); everything else
// is left in `rest`, in order. On a bad option or value returns false with a message in
// `error`, and `options` is not to be used.
bool ParseScalingOptions(const std::vector<std::string>& args, ScalingOptions& options, std::vector<std::string>& rest,
                         std::string& error);

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
