#include "generator/signal_validation.h"

#include <gtest/gtest.h>

#include <functional>

namespace zeltrak {
namespace {

constexpr long F = 22050;  // 44100 Hz output

// The default tones with one slot replaced.
std::string CheckTone(int slot, int32_t enabled, float hz, float db) {
    TonesSetup tones;
    tones.slots[slot] = {enabled, hz, db, 1.0f};
    return ValidateTones(tones, F);
}

struct Case {
    const char* what;
    std::function<std::string()> check;
    std::string expected;
};

TEST(SignalValidation, EachDialogRefusesWithItsFirstFailingMessage) {
    const std::string hz = "between   0.00 and 22050.00 Hz.";
    const Case cases[] = {
        {"burst 0", [] { return ValidateNoiseBurst({1, 0, 2000}); }, "Burst time must be greater than 0"},
        {"cycle 0", [] { return ValidateNoiseBurst({1, 1, 0}); }, "Cycle time must be greater than 0"},
        {"burst = cycle", [] { return ValidateNoiseBurst({0, 500, 500}); },
         "Burst time must be less than the cycle time."},
        {"burst < cycle", [] { return ValidateNoiseBurst({0, 1, 2}); }, ""},
        {"sweep edges", [] { return ValidateFrequencySweep({0.0f, 22050.0f, 600000, 2}, F); }, ""},
        {"sweep start", [] { return ValidateFrequencySweep({-0.01f, 100.0f, 1000, 1}, F); }, "Start Frequency must be " + hz},
        {"sweep stop", [] { return ValidateFrequencySweep({10.0f, 22050.5f, 1000, 1}, F); }, "Stop Frequency must be " + hz},
        {"sweep time", [] { return ValidateFrequencySweep({10.0f, 20.0f, 600001, 1}, F); },
         "Sweep time must be between 1 and 600000 Milliseconds."},
        {"level edges", [] { return ValidateLevelSweep({-96.0f, 0.0f, 0.0f, 1}, F); }, ""},
        {"level start", [] { return ValidateLevelSweep({-96.5f, 0.0f, 10.0f, 1}, F); },
         "Start Level must be between   0.00 and -96.00 dB."},
        {"level stop", [] { return ValidateLevelSweep({-6.0f, 0.1f, 10.0f, 1}, F); },
         "Stop Level must be between   0.00 and -96.00 dB."},
        {"level freq", [] { return ValidateLevelSweep({-6.0f, 0.0f, 22051.0f, 1}, F); }, "Signal Frequency must be " + hz},
        {"level time", [] { return ValidateLevelSweep({-6.0f, 0.0f, 100.0f, 0}, F); },
         "Sweep time must be between 1 and 600000 Milliseconds."},
        {"sawtooth 0 Hz", [] { return ValidateSawtooth({1, 0.0f}, F); }, "Frequency must be " + hz},
        {"sawtooth at F", [] { return ValidateSawtooth({-1, 22050.0f}, F); }, ""},
        {"triangle over F", [] { return ValidateTriangular({22050.5f}, F); }, "Frequency must be " + hz},
        {"square duty 99", [] { return ValidateSquare({1000.0f, 99}, F); }, ""},
        {"square duty 100", [] { return ValidateSquare({1000.0f, 100}, F); }, "Duty cycle must be between 1 and 99 Percent."},
        {"square duty 0", [] { return ValidateSquare({1000.0f, 0}, F); }, "Duty cycle must be between 1 and 99 Percent."},
        {"pulse one sample", [] { return ValidatePulse({22, 23, 0}, F); }, ""},
        {"pulse too short", [] { return ValidatePulse({21, 1000, 0}, F); },
         "Pulse Width must be between 22 and 2200000 microseconds."},
        {"pulse interval", [] { return ValidatePulse({100, 220000001, 0}, F); },
         "Repetition Interval must be between 22 and 220000000 microseconds."},
        {"pulse width = interval", [] { return ValidatePulse({500, 500, 1}, F); },
         "Pulse Width must be less than the repitition interval"},
        {"pulse, no rate", [] { return ValidatePulse({199, 1000, 0}, 0); },
         "Pulse Width must be between 200 and 20000000 microseconds."},
        {"tone off at 25 kHz", [] { return CheckTone(3, 0, 25000.0f, 0.0f); }, ""},
        {"tone on at 25 kHz", [] { return CheckTone(3, 1, 25000.0f, 0.0f); },
         "Frequency must be between 0 and 22050 Hz."},
        {"tone level", [] { return CheckTone(9, 1, 0.0f, -96.1f); },
         "Power must be between -96 and 0 dB."},
        {"burst tone 0 Hz", [] { return ValidateToneBurst({0, 10, 20}, F); },
         "Frequency must be between 0 and 22050 Hz."},
        {"burst tone at F", [] { return ValidateToneBurst({22050, 10, 20}, F); }, ""},
        {"burst tone cycle", [] { return ValidateToneBurst({1000, 20, 20}, F); },
         "Burst time must be less than the cycle time."},
        {"imd standard", [] { return ValidateImd({0, 0.0f, 0.0f, 0.0f}, F); }, ""},
        {"imd low at F", [] { return ValidateImd({2, 22050.0f, 23000.0f, 4.0f}, F); },
         "Low Frequency must be between 0.0 and 22050"},
        {"imd high 1000", [] { return ValidateImd({2, 100.0f, 1000.0f, 4.0f}, F); },
         "High Frequency must be between 1000.0 and 22050"},
        {"imd high < low", [] { return ValidateImd({2, 3000.0f, 2000.0f, 4.0f}, F); },
         "High Frequency must be greater than the Low Frequency"},
        {"imd ratio", [] { return ValidateImd({2, 60.0f, 7000.0f, 10.5f}, F); }, "Power Ratio must be between 1 and 10"},
        {"imd ratio 1", [] { return ValidateImd({2, 60.0f, 7000.0f, 1.0f}, F); }, ""},
        {"dtmf pulse", [] { return ValidateDtmf({"1", 10001, 100, 0.0f, 0}); },
         "Pulse Width must be between 1 and 10000 Milliseconds."},
        {"dtmf spacing", [] { return ValidateDtmf({"1", 100, 0, 0.0f, 0}); },
         "Interpulse Spacing Width must be between 1 and 10000 Milliseconds."},
        {"dtmf twist 30", [] { return ValidateDtmf({"", 1, 10000, 30.0f, 1}); }, ""},
        {"dtmf twist", [] { return ValidateDtmf({"1", 100, 100, -30.5f, 0}); }, "Twist must be between -30 and +30 dB"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.check(), c.expected) << c.what;
}

TEST(SignalValidation, OutputLevelByUnitsAndFullScale) {
    using U = OutputUnits;
    using M = FullScaleMode;
    const Case cases[] = {
        {"typed, no volts", [] { return ValidateOutputLevel({-6, -6, U::DbFullScale, 1, M::Typed, 0.0f}); },
         "Full Scale Level must be greater than 0.0 volts"},
        {"unknown, no volts", [] { return ValidateOutputLevel({-96, 0, U::DbFullScale, 1, M::Unknown, 0.0f}); }, ""},
        {"dBFS right", [] { return ValidateOutputLevel({-6, 0.5f, U::DbFullScale, 1, M::Unknown, 0.0f}); },
         "Output Level must be between 0.0 and -96 dB"},
        {"percent 0", [] { return ValidateOutputLevel({0, 100, U::PercentFullScale, 1, M::Unknown, 0.0f}); },
         "Output Level must be between 0.0 and 100 percent"},
        {"volts at FS", [] { return ValidateOutputLevel({2.13f, 0.1f, U::VoltsRms, 2, M::Preset, 2.13f}); }, ""},
        {"volts over", [] { return ValidateOutputLevel({2.2f, 0.1f, U::VoltsRms, 2, M::Preset, 2.13f}); },
         "Output Level must be between 0.0 and 2.130000 volts"},
        {"millivolts", [] { return ValidateOutputLevel({2130.5f, 1, U::MillivoltsRms, 2, M::Preset, 2.13f}); },
         "Output Level must be between 0.0 and 2130.000000 millivolts"},
        {"dBV floor", [] { return ValidateOutputLevel({0, -96, U::DbvRms, 1, M::Typed, 1.0f}); },
         "Output Level must be between 0.000000 and -96.000000 dBV"},
        {"dBmV top", [] { return ValidateOutputLevel({60.1f, 0, U::DbmvRms, 1, M::Typed, 1.0f}); },
         "Output Level must be between 60.000000 and -36.000000 dBmV"},
        {"dBu top", [] { return ValidateOutputLevel({2.3f, 0, U::DbuRms, 1, M::Typed, 1.0f}); },
         "Output Level must be between 2.213950 and -93.786050 dBu"},
        {"dBu inside", [] { return ValidateOutputLevel({2.2f, -93.7f, U::DbuRms, 1, M::Typed, 1.0f}); }, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.check(), c.expected) << c.what;
    EXPECT_EQ(OfferedUnits(M::Unknown), (std::vector<U>{U::DbFullScale, U::PercentFullScale}));
}

}  // namespace
}  // namespace zeltrak
