#pragma once
#include <array>
#include <string_view>

// The generator's own words, kept together so that every dialog and message uses the same text.
namespace zeltrak::generator_text {

inline constexpr char kFileOpenFailure[] = "Generator - Failure opening file: %s";
inline constexpr std::string_view kLoadFailure = "Failure Loading Resources - insufficient memory.";
inline constexpr std::string_view kMonoNotAvailable = "N/A";
inline constexpr std::string_view kMonoExplanation =
    "The analyzer is currently setup for single channel operation (mono), to generate separate signals for each "
    "channel you must change to stereo format - this is controlled under the <Options><Settings> menu.";

inline constexpr std::array<std::string_view, 7> kUnitNames = {
    "dB Full Scale", "Percent Full Scale", "Volts rms", "Millivolts rms", "dBV rms", "dBmV rms", "dBu rms"};

inline constexpr std::array<std::string_view, 8> kCardPresetLabels = {
    "Tavrin Sound Card - (Max Volume Wave & Master)",
    "DAL CardD - Jumper Setting 1 (+4dB)",
    "DAL CardD - Jumper Setting 2 (CD) - default",
    "DAL CardD - Jumper Setting 2 (-10dB)",
    "Turtle Beach Tahiti/Monterey - Max Volume",
    "AudioTrix Pro - Max Volume",
    "Sound Blaster 16 AWE32 - Max Volume (line out)",
    "Sound Blaster 16 AWE32 - Max Volume (speaker out)",
};

// Output level dialog.
inline constexpr const char* kFullScaleNotPositive = "Full Scale Level must be greater than 0.0 volts";
inline constexpr const char* kLevelDbFullScale = "Output Level must be between 0.0 and -96 dB";
inline constexpr const char* kLevelPercent = "Output Level must be between 0.0 and 100 percent";
inline constexpr const char* kLevelVolts = "Output Level must be between 0.0 and %f volts";
inline constexpr const char* kLevelMillivolts = "Output Level must be between 0.0 and %f millivolts";
inline constexpr const char* kLevelDbv = "Output Level must be between %f and %f dBV";
inline constexpr const char* kLevelDbmv = "Output Level must be between %f and %f dBmV";
inline constexpr const char* kLevelDbu = "Output Level must be between %f and %f dBu";

// Parameter dialogs.
inline constexpr const char* kBurstNotPositive = "Burst time must be greater than 0";
inline constexpr const char* kCycleNotPositive = "Cycle time must be greater than 0";
inline constexpr const char* kBurstNotBelowCycle = "Burst time must be less than the cycle time.";
inline constexpr const char* kStartFrequency = "Start Frequency must be between %6.2f and %6.2f Hz.";
inline constexpr const char* kStopFrequency = "Stop Frequency must be between %6.2f and %6.2f Hz.";
inline constexpr const char* kSweepTime = "Sweep time must be between %ld and %ld Milliseconds.";
inline constexpr const char* kStartLevel = "Start Level must be between %6.2f and %6.2f dB.";
inline constexpr const char* kStopLevel = "Stop Level must be between %6.2f and %6.2f dB.";
inline constexpr const char* kSignalFrequency = "Signal Frequency must be between %6.2f and %6.2f Hz.";
inline constexpr const char* kWaveFrequency = "Frequency must be between %6.2f and %6.2f Hz.";
inline constexpr const char* kDutyCycle = "Duty cycle must be between %ld and %ld Percent.";
inline constexpr const char* kPulseWidthRange = "Pulse Width must be between %ld and %ld microseconds.";
inline constexpr const char* kPulseIntervalRange = "Repetition Interval must be between %ld and %ld microseconds.";
inline constexpr const char* kPulseWidthNotBelowInterval = "Pulse Width must be less than the repitition interval";
inline constexpr const char* kToneFrequency = "Frequency must be between 0 and %ld Hz.";
inline constexpr const char* kTonePower = "Power must be between %d and %d dB.";
inline constexpr const char* kImdLowFrequency = "Low Frequency must be between 0.0 and %ld";
inline constexpr const char* kImdHighFrequency = "High Frequency must be between 1000.0 and %ld";
inline constexpr const char* kImdHighNotAboveLow = "High Frequency must be greater than the Low Frequency";
inline constexpr const char* kImdPowerRatio = "Power Ratio must be between 1 and 10";
inline constexpr const char* kDtmfPulseWidth = "Pulse Width must be between %ld and %ld Milliseconds.";
inline constexpr const char* kDtmfSpacing = "Interpulse Spacing Width must be between %ld and %ld Milliseconds.";
inline constexpr const char* kDtmfTwist = "Twist must be between -30 and +30 dB";

}  // namespace zeltrak::generator_text
