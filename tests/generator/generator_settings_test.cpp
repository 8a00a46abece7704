#include "generator/generator_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "files/ini_store.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

struct Entry { std::string section, key, value; };

// Every key as a user or an older version might have written it, none at its default. Channel
// 1's sections carry an "R" and their values a "3" more; DTMF, Main and Level are written once.
std::vector<Entry> HandWrittenFile() {
    const std::vector<Entry> channel = {
        {"NoiseBurst", "Type", "0"}, {"NoiseBurst", "BurstTimeMsec", "11"}, {"NoiseBurst", "CycleTimeMsec", "12"},
        {"FreqSweep", "FStartHz", "30.5"}, {"FreqSweep", "FStopHz", "40"}, {"FreqSweep", "TimeMSec", "50"},
        {"FreqSweep", "SweepType", "2"}, {"LevelSweep", "StartDB", "-6"}, {"LevelSweep", "StopDB", "-1.5"},
        {"LevelSweep", "FreqHz", "70"}, {"LevelSweep", "TimeMSec", "80"}, {"ToneBurst", "FreqHz", "90"},
        {"ToneBurst", "BurstTimeMsec", "10"}, {"ToneBurst", "CycleTimeMsec", "15"}, {"IMD", "IMDtype", "2"},
        {"IMD", "LoFreqHz", "120"}, {"IMD", "HiFreqHz", "130"}, {"IMD", "PwrRatio", "2.5"},
        {"Pulse", "WidthNSec", "140"}, {"Pulse", "RepIntervalNSec", "150"}, {"Pulse", "OneShotFlag", "1"},
        {"Sawtooth", "Slope", "-1"}, {"Sawtooth", "FreqHz", "160"}, {"Triangular", "FreqHz", "170"},
        {"Square", "FreqHz", "180"}, {"Square", "DutyCyclePct", "25"}, {"User Defined", "WaveFileName", "/a/b c.wav"}};
    std::vector<Entry> file = {{"Main", "SigType", "9"}, {"Main", "SigTypeR", "14"}};
    for (const std::string r : {"", "R"}) {
        const std::string more = r.empty() ? "" : "3";
        for (const Entry& e : channel) file.push_back({e.section + r, e.key, e.value + more});
        for (int k = 0; k < 10; ++k) {
            const std::string n = std::to_string(k);
            file.push_back({"Tones" + r, "ToneEnable" + n, std::to_string(k == 0 ? 0 : 1) + more});
            file.push_back({"Tones" + r, "FreqHz" + n, std::to_string(100 + k) + more});
            file.push_back({"Tones" + r, "PwrDB" + n, std::to_string(-1 - k) + more});
        }
    }
    const std::vector<Entry> shared = {
        {"DTMF", "KeyString", "#9a"}, {"DTMF", "PulseWidthMsec", "250"}, {"DTMF", "PulseSpacingMsec", "75"},
        {"DTMF", "TwistDB", "-4.5"}, {"DTMF", "RepeatFlag", "1"}, {"Level", "OutputLevel", "1.25"},
        {"Level", "OutputLevelR", "-3"}, {"Level", "OutputUnits", "6"}, {"Level", "FSCardType", "4"},
        {"Level", "FSOption", "2"}, {"Level", "FSLevel", "1.391"}};
    file.insert(file.end(), shared.begin(), shared.end());
    return file;
}

TEST(GeneratorSettings, HandWrittenFileReadsAndIsWrittenBackKeyForKey) {
    TIniStore hand;
    for (const Entry& e : HandWrittenFile()) hand.SetString(e.section, e.key, e.value);
    GeneratorSettings settings = ReadGeneratorSettings(hand);
    EXPECT_EQ(settings.channels[1].type, SignalType::LevelSweep);
    EXPECT_FLOAT_EQ(settings.channels[1].tones.slots[9].amplitude, std::pow(10.0, -0.05 * 103));
    EXPECT_EQ(settings.channels[0].dtmf.keys, "#9a");
    EXPECT_EQ(settings.channels[1].dtmf.pulseMs, 250);

    // Channel 1's DTMF values are written after channel 0's into the section they share.
    settings.channels[0].dtmf = {"0", 1, 2, 3.0f, 0};
    testing::TempDir dir;
    ASSERT_TRUE(SaveGeneratorSettings(settings, dir.File("zeltrak.ini")));
    TIniStore saved;
    ASSERT_TRUE(saved.Load(dir.File("zeltrak.ini")));
    std::map<std::string, size_t> keysPerSection;
    for (const Entry& e : HandWrittenFile()) {
        ++keysPerSection[e.section];
        const bool text = e.key == "WaveFileName" || e.key == "KeyString";
        if (text) EXPECT_EQ(saved.GetString(e.section, e.key, "?"), e.value) << e.key;
        else EXPECT_EQ(float(saved.GetDouble(e.section, e.key, NAN)), float(ParseDecimalDouble(e.value))) << e.key;
    }
    EXPECT_EQ(saved.Sections().size(), keysPerSection.size());
    for (const auto& [section, count] : keysPerSection) EXPECT_EQ(saved.Keys(section).size(), count) << section;
    EXPECT_EQ(saved.GetString("FreqSweep", "FStartHz", ""), "30.500000");
    EXPECT_EQ(saved.GetString("Tones", "ToneEnable1", ""), "1");
}

TEST(GeneratorSettings, MissingKeysReadAsDefaultsAndUnknownCodesAsWell) {
    for (const std::string& file : {std::string(), std::string("[Main]\nSigType=16\nSigTypeR=-1\n[Level]\n"
                                                               "OutputUnits=7\nFSCardType=8\nFSOption=3\n")}) {
        TIniStore ini;
        ini.Parse(file);
        const GeneratorSettings s = ReadGeneratorSettings(ini);
        for (const SignalSetup& channel : s.channels) {
            EXPECT_EQ(channel.type, SignalType::PinkNoise);
            EXPECT_EQ(channel.tones.slots[0].enabled + channel.tones.slots[9].enabled, 1);
            EXPECT_EQ(channel.tones.slots[9].frequencyHz, 10000.0f);
        }
        EXPECT_EQ(s.level.units, OutputUnits::DbFullScale);
        EXPECT_EQ(s.level.cardPreset, 1);
        EXPECT_EQ(s.level.fullScaleMode, FullScaleMode::Unknown);
    }
}

}  // namespace
}  // namespace zeltrak
