#include "generator/generator_settings.h"

#include <gtest/gtest.h>

#include <cmath>

#include "files/ini_store.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

GeneratorSettings Read(const std::string& text) {
    TIniStore ini;
    ini.Parse(text);
    return ReadGeneratorSettings(ini);
}

// A file as a user or an older version might have written it: every key, none at its default.
std::string HandWritten(const std::string& r, int base) {
    const auto n = [&](int offset) { return std::to_string(base + offset); };
    std::string text = "[NoiseBurst" + r + "]\nType=0\nBurstTimeMsec=" + n(1) + "\nCycleTimeMsec=" + n(2) +
                       "\n[FreqSweep" + r + "]\nFStartHz=" + n(3) + ".5\nFStopHz=" + n(4) + "\nTimeMSec=" + n(5) +
                       "\nSweepType=2\n[LevelSweep" + r + "]\nStartDB=-" + n(6) + "\nStopDB=-1.5\nFreqHz=" + n(7) +
                       "\nTimeMSec=" + n(8) + "\n[ToneBurst" + r + "]\nFreqHz=" + n(9) + "\nBurstTimeMsec=" + n(10) +
                       "\nCycleTimeMsec=" + n(11) + "\n[IMD" + r + "]\nIMDtype=2\nLoFreqHz=" + n(12) +
                       "\nHiFreqHz=" + n(13) + "\nPwrRatio=2.5\n[Pulse" + r + "]\nWidthNSec=" + n(14) +
                       "\nRepIntervalNSec=" + n(15) + "\nOneShotFlag=1\n[Sawtooth" + r + "]\nSlope=-1\nFreqHz=" +
                       n(16) + "\n[Triangular" + r + "]\nFreqHz=" + n(17) + "\n[Square" + r + "]\nFreqHz=" + n(18) +
                       "\nDutyCyclePct=25\n[User Defined" + r + "]\nWaveFileName=/music/take " + n(0) + ".wav\n[Tones" +
                       r + "]\n";
    for (int k = 0; k < 10; ++k)
        text += "ToneEnable" + std::to_string(k) + "=" + (k == 0 ? "0" : "1") + "\nFreqHz" + std::to_string(k) + "=" +
                n(100 + k) + "\nPwrDB" + std::to_string(k) + "=-" + std::to_string(k + 3) + "\n";
    return text;
}

SignalSetup Expected(SignalType type, int base) {
    SignalSetup s;
    const auto n = [&](int offset) { return base + offset; };
    s.type = type;
    s.noiseBurst = {0, n(1), n(2)};
    s.frequencySweep = {n(3) + 0.5f, float(n(4)), n(5), 2};
    s.levelSweep = {-float(n(6)), -1.5f, float(n(7)), n(8)};
    s.toneBurst = {n(9), n(10), n(11)};
    s.imd = {2, float(n(12)), float(n(13)), 2.5f};
    s.pulse = {n(14), n(15), 1};
    s.sawtooth = {-1, float(n(16))};
    s.triangular = {float(n(17))};
    s.square = {float(n(18)), 25};
    s.userDefined.waveFile = "/music/take " + std::to_string(base) + ".wav";
    for (int k = 0; k < 10; ++k)
        s.tones.slots[k] = {k == 0 ? 0 : 1, float(n(100 + k)), -float(k + 3), float(std::pow(10.0, -0.05 * (k + 3)))};
    s.dtmf = {"#9a", 250, 75, -4.5f, 1};
    return s;
}

TEST(GeneratorSettings, HandWrittenFileReadsAndSurvivesARoundTrip) {
    const std::string file = "[Main]\nSigType=9\nSigTypeR=14\n" + HandWritten("", 200) + HandWritten("R", 300) +
                             "[DTMF]\nKeyString=#9a\nPulseWidthMsec=250\nPulseSpacingMsec=75\nTwistDB=-4.5\n"
                             "RepeatFlag=1\n[Level]\nOutputLevel=1.25\nOutputLevelR=-3\nOutputUnits=6\n"
                             "FSCardType=4\nFSOption=2\nFSLevel=1.391\n";
    GeneratorSettings expected{{Expected(SignalType::Square, 200), Expected(SignalType::LevelSweep, 300)},
                               {1.25f, -3.0f, OutputUnits::DbuRms, 4, FullScaleMode::Preset, 1.391f}};
    const GeneratorSettings read = Read(file);
    EXPECT_TRUE(read.channels[0] == expected.channels[0]);
    EXPECT_TRUE(read.channels[1] == expected.channels[1]);
    EXPECT_TRUE(read.level == expected.level);

    // Channel 1's DTMF values are written after channel 0's into the one section they share.
    expected.channels[0].dtmf = {"0", 1, 2, 3.0f, 0};
    testing::TempDir dir;
    ASSERT_TRUE(SaveGeneratorSettings(expected, dir.File("zeltrak.ini")));
    TIniStore saved;
    ASSERT_TRUE(saved.Load(dir.File("zeltrak.ini")));
    EXPECT_EQ(saved.GetString("FreqSweepR", "FStartHz", ""), "303.500000");
    EXPECT_EQ(saved.GetString("Tones", "PwrDB9", ""), "-12.000000");
    const GeneratorSettings back = ReadGeneratorSettings(saved);
    EXPECT_TRUE(back.channels[0].dtmf == expected.channels[1].dtmf);
    expected.channels[0].dtmf = expected.channels[1].dtmf;
    EXPECT_TRUE(back.channels[0] == expected.channels[0]);
    EXPECT_TRUE(back.channels[1] == expected.channels[1]);
    EXPECT_TRUE(back.level == expected.level);
}

TEST(GeneratorSettings, MissingKeysReadAsDefaultsAndUnknownCodesAsWell) {
    for (const std::string& file : {std::string(), std::string("[Main]\nSigType=16\nSigTypeR=-1\n[Level]\n"
                                                               "OutputUnits=7\nFSCardType=8\nFSOption=3\n")}) {
        const GeneratorSettings s = Read(file);
        for (const SignalSetup& channel : s.channels) {
            EXPECT_EQ(channel.type, SignalType::PinkNoise);
            EXPECT_EQ(channel.noiseBurst.kind, 1);
            EXPECT_EQ(channel.square.frequencyHz, 2000.0f);
            EXPECT_EQ(channel.dtmf.keys, "1234567890*#ABCD");
            for (int k = 0; k < 10; ++k) {
                EXPECT_EQ(channel.tones.slots[k].enabled, k == 0 ? 1 : 0);
                EXPECT_EQ(channel.tones.slots[k].frequencyHz, 1000.0f * (k + 1));
            }
        }
        EXPECT_EQ(s.level.units, OutputUnits::DbFullScale);
        EXPECT_EQ(s.level.cardPreset, 1);
        EXPECT_EQ(s.level.fullScaleMode, FullScaleMode::Unknown);
    }
}

}  // namespace
}  // namespace zeltrak
