#include "generator/signal_validation.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace zeltrak {
namespace {

constexpr long F = 22050;  // 44100 Hz output

// The default tones with one slot replaced.
std::string CheckTone(int slot, int32_t enabled, float hz, float db) {
    TonesSetup tones;
    tones.slots[slot] = {enabled, hz, db, 1.0f};
    return ValidateTones(tones, F);
}

// (what the check answered, what it should answer)
using Case = std::pair<std::string, std::string>;

TEST(SignalValidation, EachDialogRefusesWithItsFirstFailingMessage) {
    const std::string hz = "between   0.00 and 22050.00 Hz.";
    const Case cases[] = {
        {ValidateNoiseBurst({1, 0, 2000}), "Burst time must be greater than 0"},
        {ValidateNoiseBurst({1, 1, 0}), "Cycle time must be greater than 0"},
        {ValidateNoiseBurst({0, 500, 500}), "Burst time must be less than the cycle time."},
        {ValidateNoiseBurst({0, 1, 2}), ""},
        {ValidateFrequencySweep({0.0f, 22050.0f, 600000, 2}, F), ""},
        {ValidateFrequencySweep({-0.01f, 100.0f, 1000, 1}, F), "Start Frequency must be " + hz},
        {ValidateFrequencySweep({10.0f, 22050.5f, 1000, 1}, F), "Stop Frequency must be " + hz},
        {ValidateFrequencySweep({10.0f, 20.0f, 600001, 1}, F), "Sweep time must be between 1 and 600000 Milliseconds."},
        {ValidateLevelSweep({-96.0f, 0.0f, 0.0f, 1}, F), ""},
        {ValidateLevelSweep({-96.5f, 0.0f, 10.0f, 1}, F), "Start Level must be between   0.00 and -96.00 dB."},
        {ValidateLevelSweep({-6.0f, 0.1f, 10.0f, 1}, F), "Stop Level must be between   0.00 and -96.00 dB."},
        {ValidateLevelSweep({-6.0f, 0.0f, 22051.0f, 1}, F), "Signal Frequency must be " + hz},
        {ValidateSawtooth({1, 0.0f}, F), "Frequency must be " + hz},
        {ValidateSawtooth({-1, 22050.0f}, F), ""},
        {ValidateTriangular({22050.5f}, F), "Frequency must be " + hz},
        {ValidateSquare({1000.0f, 99}, F), ""},
        {ValidateSquare({1000.0f, 100}, F), "Duty cycle must be between 1 and 99 Percent."},
        {ValidatePulse({22, 23, 0}, F), ""},
        {ValidatePulse({21, 1000, 0}, F), "Pulse Width must be between 22 and 2200000 microseconds."},
        {ValidatePulse({100, 220000001, 0}, F), "Repetition Interval must be between 22 and 220000000 microseconds."},
        {ValidatePulse({500, 500, 1}, F), "Pulse Width must be less than the repitition interval"},
        {ValidatePulse({199, 1000, 0}, 0), "Pulse Width must be between 200 and 20000000 microseconds."},
        {CheckTone(3, 0, 25000.0f, 0.0f), ""},
        {CheckTone(3, 1, 25000.0f, 0.0f), "Frequency must be between 0 and 22050 Hz."},
        {CheckTone(9, 1, 0.0f, -96.1f), "Power must be between -96 and 0 dB."},
        {ValidateToneBurst({0, 10, 20}, F), "Frequency must be between 0 and 22050 Hz."},
        {ValidateToneBurst({22050, 10, 20}, F), ""},
        {ValidateImd({0, 0.0f, 0.0f, 0.0f}, F), ""},
        {ValidateImd({2, 22050.0f, 23000.0f, 4.0f}, F), "Low Frequency must be between 0.0 and 22050"},
        {ValidateImd({2, 100.0f, 1000.0f, 4.0f}, F), "High Frequency must be between 1000.0 and 22050"},
        {ValidateImd({2, 3000.0f, 2000.0f, 4.0f}, F), "High Frequency must be greater than the Low Frequency"},
        {ValidateImd({2, 60.0f, 7000.0f, 10.5f}, F), "Power Ratio must be between 1 and 10"},
        {ValidateImd({2, 60.0f, 7000.0f, 1.0f}, F), ""},
        {ValidateDtmf({"1", 10001, 100, 0.0f, 0}), "Pulse Width must be between 1 and 10000 Milliseconds."},
        {ValidateDtmf({"1", 100, 0, 0.0f, 0}), "Interpulse Spacing Width must be between 1 and 10000 Milliseconds."},
        {ValidateDtmf({"", 1, 10000, 30.0f, 1}), ""},
        {ValidateDtmf({"1", 100, 100, -30.5f, 0}), "Twist must be between -30 and +30 dB"},
    };
    for (const auto& [got, expected] : cases) EXPECT_EQ(got, expected);
}

TEST(SignalValidation, OutputLevelByUnitsAndFullScale) {
    using U = OutputUnits;
    using M = FullScaleMode;
    const Case cases[] = {
        {ValidateOutputLevel({-6, -6, U::DbFullScale, 1, M::Typed, 0.0f}),
         "Full Scale Level must be greater than 0.0 volts"},
        {ValidateOutputLevel({-96, 0, U::DbFullScale, 1, M::Unknown, 0.0f}), ""},
        {ValidateOutputLevel({-6, 0.5f, U::DbFullScale, 1, M::Unknown, 0.0f}),
         "Output Level must be between 0.0 and -96 dB"},
        {ValidateOutputLevel({0, 100, U::PercentFullScale, 1, M::Unknown, 0.0f}),
         "Output Level must be between 0.0 and 100 percent"},
        {ValidateOutputLevel({2.13f, 0.1f, U::VoltsRms, 2, M::Preset, 2.13f}), ""},
        {ValidateOutputLevel({2.2f, 0.1f, U::VoltsRms, 2, M::Preset, 2.13f}),
         "Output Level must be between 0.0 and 2.130000 volts"},
        {ValidateOutputLevel({2130.5f, 1, U::MillivoltsRms, 2, M::Preset, 2.13f}),
         "Output Level must be between 0.0 and 2130.000000 millivolts"},
        {ValidateOutputLevel({0, -96, U::DbvRms, 1, M::Typed, 1.0f}),
         "Output Level must be between 0.000000 and -96.000000 dBV"},
        {ValidateOutputLevel({60.1f, 0, U::DbmvRms, 1, M::Typed, 1.0f}),
         "Output Level must be between 60.000000 and -36.000000 dBmV"},
        {ValidateOutputLevel({2.3f, 0, U::DbuRms, 1, M::Typed, 1.0f}),
         "Output Level must be between 2.213950 and -93.786050 dBu"},
        {ValidateOutputLevel({2.2f, -93.7f, U::DbuRms, 1, M::Typed, 1.0f}), ""},
    };
    for (const auto& [got, expected] : cases) EXPECT_EQ(got, expected);
    EXPECT_EQ(OfferedUnits(M::Unknown), (std::vector<U>{U::DbFullScale, U::PercentFullScale}));
}

}  // namespace
}  // namespace zeltrak
