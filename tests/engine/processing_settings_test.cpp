#include "engine/processing_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "dsp/smoothing.h"
#include "files/ini_store.h"

namespace zeltrak {
namespace {

struct Loaded {
    ProcessingSettings settings;
    std::vector<std::string> notes;
};

Loaded Load(const std::string& text, DeviceCounts devices = {2, 2}) {
    TIniStore ini;
    ini.Parse(text);
    Loaded loaded;
    loaded.notes = loaded.settings.Load(ini, devices);
    return loaded;
}

// A key's value as the record stores it again.
double StoredValue(const ProcessingSettings& s, const char* section, const char* key) {
    TIniStore out;
    s.Store(out);
    return out.GetDouble(section, key, -12345.0);
}

template <typename T>
bool SameBytes(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

TEST(SettingsLoad, AnImpossibleFormatIsRebuiltByItsRule) {
    const ProcessingSettings bad = Load("[Settings]\nSamplingRate=0\nNumChannels=7\nBytesPerSample=9\n").settings;
    EXPECT_EQ(bad.Settings().format, SampleFormat::Make(44100, 1, 2));
}

// A value the dialogs would refuse, or one beyond its field's width (which used to wrap), loads
// as the field's default and is named once.
TEST(SettingsLoad, ValuesOutsideTheDialogRangesLoadAsTheDefaultWithANote) {
    // the values a hostile file used to grow memory, wrap sizes or stall a run with
    const struct {
        const char* section;
        const char* key;
        const char* stored;
        double replacement;
    } cases[] = {
        {"Settings", "FFTsize", "4294967295", 4096},   {"Settings", "FFTsize", "4097", 4096},
        {"Settings", "DecimationRatio", "65535", 1},   {"Settings", "DecimationRatio", "0", 1},
        {"Settings", "OverlapPercent", "100", 0},      {"Settings", "DelayTimeMsec", "1e999", 0},
        {"Settings", "SamplingRate", "4294967295", 44100}, {"Trigger", "DelayMsec", "1e12", 0},
        {"FileIO", "RealTimeIOBufferSizeSecs", "2000000000", 1}, {"Mode", "OpMode", "4", 1},
        // the disk limit is clamped instead, into 1 MB ... 2 GB
        {"FileIO", "MaxDiskRecordingSizeBytes", "500", 1e6}, {"FileIO", "MaxDiskRecordingSizeBytes", "-5", 1e6},
        {"FileIO", "MaxDiskRecordingSizeBytes", "3000000000", 2e9},
    };
    for (const auto& c : cases) {
        const Loaded loaded = Load("[" + std::string(c.section) + "]\n" + c.key + "=" + c.stored + "\n");
        ASSERT_EQ(loaded.notes.size(), 1u) << c.key;
        EXPECT_EQ(StoredValue(loaded.settings, c.section, c.key), c.replacement) << c.key << "=" << c.stored;
    }
    EXPECT_EQ(Load("[Settings]\nFFTsize=16\n").notes,
              std::vector<std::string>{"[Settings] FFTsize=16 replaced by the default 4096"});
    EXPECT_EQ(Load("[FileIO]\nMaxDiskRecordingSizeBytes=-5\n").notes,
              std::vector<std::string>{"[FileIO] MaxDiskRecordingSizeBytes=-5 replaced by 1000000"});
}

TEST(SettingsLoad, JunkAfterANumberIsIgnored) {
    // Junk after a number is ignored and no number reads as 0, as everywhere in the settings.
    const Loaded junk = Load("[Settings]\nOverlapPercent=abc\nDelayTimeMsec=2.5ms\nFFTsize= 8192 points\n");
    EXPECT_TRUE(junk.notes.empty());
    EXPECT_EQ(junk.settings.Settings().OverlapPercent, 0u);
    EXPECT_FLOAT_EQ(junk.settings.Settings().DelayTimeMsec, 2.5f);
    EXPECT_EQ(junk.settings.Settings().FFTsize, 8192u);
}

TEST(SettingsLoad, DeviceNumbersAndFileNamesAreHeldToWhatExists) {
    const char* text = "[Device]\nInputDeviceID=5\nOutputDeviceID=1\n";
    EXPECT_EQ(Load(text, {3, 2}).settings.Device.InputDeviceID, 2u);
    EXPECT_EQ(Load(text, {3, 2}).settings.Device.OutputDeviceID, 1u);
    EXPECT_EQ(Load(text, {0, 1}).settings.Device.InputDeviceID, kNoDevice);
    EXPECT_EQ(Load(text, {0, 1}).settings.Device.OutputDeviceID, 0u);
    const std::string name(400, 'm');
    const ProcessingSettings s = Load("[Scaling]\nMicCompFilenameLeft=" + name + "\n").settings;
    EXPECT_EQ(FieldText(s.Scaling().MicCompFilenameLeft, kFileNameBytes), std::string(259, 'm'));
    EXPECT_EQ(s.Scaling().MicCompFilenameLeft[259], '\0');
}

TEST(SettingsStore, StoreThenLoadGivesTheSameRecord) {
    // Keys the limits test above does not reach, one of each kind of field.
    ProcessingSettings s;
    s.Device = {1, 0};
    s.Mode.OpMode = kModeRecorder;
    SettingsBlock& b = s.Settings();
    b.format = SampleFormat::Make(48000, 2, 3);
    b.AverageType = AveragingCode(AveragingType::Vector);
    b.ChannelProcessing = 11;
    b.DelayTimeMsec = 12.5f;
    s.Scaling().FreqScaleType = kFreqOctaveBands;
    CopyToField(s.Scaling().MicCompFilenameRight, kFileNameBytes, "/data/mic/ref 4189.mic");
    s.CoherenceSquared = true;

    TIniStore ini;
    ini.Parse("; keep me\n[Foreign]\na=b\n");
    s.Store(ini);
    ProcessingSettings back;
    EXPECT_TRUE(back.Load(ini, {2, 2}).empty()) << "every value a dialog accepts loads as it is";
    EXPECT_TRUE(SameBytes(s.Device, back.Device));
    EXPECT_TRUE(SameBytes(s.Mode, back.Mode));
    EXPECT_TRUE(SameProcessingBlock(s.Processing, back.Processing));
    EXPECT_TRUE(SameBytes(s.Trigger, back.Trigger));
    EXPECT_TRUE(SameBytes(s.FileIO, back.FileIO));
    EXPECT_TRUE(back.CoherenceSquared);
    EXPECT_EQ(ini.GetString("Foreign", "a", ""), "b");
}

TEST(DerivedFields, FrameAdvanceTruncatesAndDelaySamplesRoundHalfUp) {
    // FFT size, overlap %, frame advance: 0.32 is raised to 1, overlap beyond 99 % counts as 99 %.
    const uint32_t advances[][3] = {{32, 99, 1}, {1048576, 99, 10485}, {1000, 33, 670}, {4096, 150, 40}};
    for (const auto& a : advances) EXPECT_EQ(FrameAdvance(a[0], a[1]), a[2]) << a[0] << " " << a[1];
    // 0.441 and 0.882 samples round half up; the delay is held to 0 ... 1 s.
    const struct {
        uint32_t rate;
        float ms;
        uint32_t samples;
    } delays[] = {{44100, 0.01f, 0},  {44100, 0.02f, 1},     {48000, 1000.0f, 48000},
                  {44100, -5.0f, 0},  {48000, 1e12f, 48000}, {48000, std::nanf(""), 0}};
    for (const auto& d : delays) EXPECT_EQ(DelaySamples(d.rate, d.ms), d.samples) << d.rate << " " << d.ms;
}

TEST(WindowCorrection, EnergyForOctaveBandsAmplitudeOtherwise) {
    ProcessingSettings s;
    for (uint16_t axis : {kFreqLinear, kFreqLogarithmic, kFreqOctaveBands}) {
        s.Scaling().FreqScaleType = axis;
        EXPECT_EQ(s.WindowCorrectionMode(),
                  axis == kFreqOctaveBands ? WindowCorrection::Energy : WindowCorrection::Amplitude);
    }
}

}  // namespace
}  // namespace zeltrak
