#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "engine/processing_settings.h"

namespace zeltrak {

class TFormatQuery;

// The outcome of accepting a settings dialog: on failure `message` holds the text to show
// (captioned with the program title) and the live settings stay untouched.
struct ValidationResult {
    bool ok = true;
    std::string message;

    static ValidationResult Fail(std::string text) { return {false, std::move(text)}; }
};

// What the processing settings dialog holds when it is accepted. Typed entries stay text,
// the way the user left them; choices are already values.
struct ProcessingDialogFields {
    uint16_t channels = 1;
    uint16_t bytesPerSample = 2;
    std::string samplingRate = "44100";
    uint32_t fftSize = 4096;
    std::string decimationRatio = "1";
    bool applyLowPassFilter = true;
    std::string averageBlocks = "1";  // "Infinite" or a number
    bool peakHold = false;
    uint16_t smoothingWindow = 4;
    std::string overlapPercent = "0";
    uint16_t averageType = AveragingCode(AveragingType::Exponential);
    uint16_t channelProcessing = 0;
    std::string delayTimeMsec = "0";
    uint16_t delayChannel = 0;
    bool enableOverloadDetection = true;
    bool excludeOverloadFlag = false;

    static ProcessingDialogFields From(const SettingsBlock& s);
};

// Free memory in bytes as the system reports it.
using FreeMemoryProbe = std::function<uint64_t()>;

// Accepts the processing dialog: validates in order, the first failure wins. On success
// `settings` receives the new values; on failure it is left as it was, and `fields` may have
// an entry reset (the rate to the device maximum, the overlap to "50"). The rules are the same
// in every operating mode.
ValidationResult AcceptProcessingDialog(ProcessingDialogFields& fields, TFormatQuery& device,
                                        const FreeMemoryProbe& freeMemory, SettingsBlock& settings);

// Bytes the engine needs for these settings: raw input, frames, spectra and linear
// averaging history. Used to refuse settings that cannot be allocated.
uint64_t EstimateProcessingMemory(const SettingsBlock& s);

struct TriggerDialogFields {
    bool enable = false;
    bool autoReset = true;
    uint32_t channel = 0;
    std::string threshold = "25";
    uint16_t triggerType = 0;
    std::string delayMsec = "0";
    uint16_t delayType = 0;
    uint16_t triggerSlope = 0;

    static TriggerDialogFields From(const TriggerBlock& t);
};
ValidationResult AcceptTriggerDialog(const TriggerDialogFields& fields, TriggerBlock& trigger);

struct FileOptionsDialogFields {
    std::string realTimeBufferSecs = "60";
    std::string maxRamRecordingSecs = "300";
    std::string maxDiskRecordingMB = "2000";
    bool realTimeWaveBufferEnable = true;
    uint32_t waveFileMode = 1;  // first choice 0 (memory), second 1 (disk)
    bool makeBackup = true;
    bool includeCalibrationData = true;

    static FileOptionsDialogFields From(const FileIOBlock& f);
};
ValidationResult AcceptFileOptionsDialog(const FileOptionsDialogFields& fields, FileIOBlock& fileIO);

// The scaling dialog's frequency-axis list: Linear, Logarithmic, then 1/N-octave bands.
inline constexpr int kFrequencyAxisChoices = 10;
struct FrequencyAxisChoice {
    uint16_t freqScaleType;
    uint16_t octaveNumber;  // 0: keep the stored one
};
FrequencyAxisChoice FrequencyAxisFromChoice(int choice);
int ChoiceFromFrequencyAxis(uint16_t freqScaleType, uint16_t octaveNumber);

struct ScalingDialogFields {
    uint16_t ampScaleType = 1;
    int frequencyAxisChoice = 1;
    bool spectralDensity = false;
    uint16_t spectralDensityType = 0;
    uint16_t standardWeighting = 0;
    bool micCompEnable = false;
    std::string micCompFilenameLeft;
    std::string micCompFilenameRight;

    static ScalingDialogFields From(const ScalingBlock& s);
};
inline constexpr std::size_t kMicCompNameChars = 256;
// Refuses, and leaves `scaling` as it was, when compensation is on and a named curve file
// cannot be read.
ValidationResult AcceptScalingDialog(const ScalingDialogFields& fields, ScalingBlock& scaling);

// Title and filter of the file chooser for compensation curves.
inline constexpr const char* kMicCompDialogTitle = "Open Mic Compensation File";
std::string MicCompFileFilter();

}  // namespace zeltrak
