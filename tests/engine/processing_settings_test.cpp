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

ProcessingSettings LoadFrom(const std::string& text, DeviceCounts devices = {2, 2}) {
    return Load(text, devices).settings;
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

TEST(SettingsLoad, MissingKeysKeepTheDefaultsAndTheFormatIsRebuiltByItsRule) {
    // Loading nothing and building the record fresh agree to the byte.
    const Loaded empty = Load("");
    EXPECT_TRUE(empty.notes.empty());
    ProcessingSettings fresh;
    EXPECT_TRUE(SameProcessingBlock(fresh.Processing, empty.settings.Processing));
    EXPECT_TRUE(SameBytes(fresh.FileIO, empty.settings.FileIO));
    EXPECT_TRUE(SameBytes(fresh.Trigger, empty.settings.Trigger));

    const ProcessingSettings s = LoadFrom("[Settings]\nFFTsize=8192\n");
    fresh.Settings().FFTsize = 8192;
    RecomputeDerivedFields(fresh.Settings());
    EXPECT_TRUE(SameProcessingBlock(fresh.Processing, s.Processing));
    EXPECT_EQ(s.Settings().frameAdvance, 8192u);

    const ProcessingSettings bad = LoadFrom("[Settings]\nSamplingRate=0\nNumChannels=7\nBytesPerSample=9\n");
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

TEST(SettingsLoad, TheDialogLimitsThemselvesLoadUnchanged) {
    const char* text =
        "[Settings]\nFFTsize=32\nDecimationRatio=30\nOverlapPercent=99\nDelayTimeMsec=1000\n"
        "AverageBlocks=1000000\nSamplingRate=768000\nSamplingRateCorrectionFactor=0.5\n"
        "[Scaling]\nOctaveNumber=96\n"
        "[Trigger]\nDelayMsec=1000\nThreshold=100\n"
        "[FileIO]\nRealTimeIOBufferSizeSecs=10\nMaxRamRecordingTimeSecs=3600\nRealTimeWaveBufferLengthSecs=4\n"
        "DarlaDelay=0\nMaxDiskRecordingSizeBytes=123456789\n";
    TIniStore in;
    in.Parse(text);
    const Loaded loaded = Load(text);
    EXPECT_TRUE(loaded.notes.empty());
    for (const std::string& section : in.Sections())
        for (const std::string& key : in.Keys(section))
            EXPECT_EQ(StoredValue(loaded.settings, section.c_str(), key.c_str()), in.GetDouble(section, key, 0)) << key;
    // Junk after a number is ignored and no number reads as 0, as everywhere in the settings.
    const Loaded junk = Load("[Settings]\nOverlapPercent=abc\nDelayTimeMsec=2.5ms\nFFTsize= 8192 points\n");
    EXPECT_TRUE(junk.notes.empty());
    EXPECT_EQ(junk.settings.Settings().OverlapPercent, 0u);
    EXPECT_FLOAT_EQ(junk.settings.Settings().DelayTimeMsec, 2.5f);
    EXPECT_EQ(junk.settings.Settings().FFTsize, 8192u);
}

TEST(SettingsLoad, DeviceNumbersAndFileNamesAreHeldToWhatExists) {
    const char* text = "[Device]\nInputDeviceID=5\nOutputDeviceID=1\n";
    EXPECT_EQ(LoadFrom(text, {3, 2}).Device.InputDeviceID, 2u);
    EXPECT_EQ(LoadFrom(text, {3, 2}).Device.OutputDeviceID, 1u);
    EXPECT_EQ(LoadFrom(text, {0, 1}).Device.InputDeviceID, kNoDevice);
    EXPECT_EQ(LoadFrom(text, {0, 1}).Device.OutputDeviceID, 0u);
    const std::string name(400, 'm');
    const ProcessingSettings s = LoadFrom("[Scaling]\nMicCompFilenameLeft=" + name + "\n");
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
    b.ApplyLowPassFilter = 0;
    b.AverageType = kAverageVector;
    b.PeakHold = 1;
    b.SmoothingWindow = 2;
    b.ChannelProcessing = 11;
    b.DelayChannel = 1;
    b.DelayTimeMsec = 12.5f;
    b.EnableOverloadDetection = 0;
    b.ExcludeOverloadFlag = 1;
    RecomputeDerivedFields(b);
    s.Scaling().FreqScaleType = kFreqOctaveBands;
    s.Scaling().SpectralDensityFlag = 1;
    CopyToField(s.Scaling().MicCompFilenameRight, kFileNameBytes, "/data/mic/ref 4189.mic");
    s.Trigger.Enable = 1;
    s.Trigger.TriggerSlope = 1;
    s.CoherenceSquared = true;

    TIniStore ini;
    ini.Parse("; keep me\n[Foreign]\na=b\n");
    s.Store(ini);
    ProcessingSettings back;
    back.Trigger.armed = 1;  // the trigger's working state starts at zero whatever it was
    back.Trigger.triggerState = 77;
    EXPECT_TRUE(back.Load(ini, {2, 2}).empty()) << "every value a dialog accepts loads as it is";
    EXPECT_TRUE(SameBytes(s.Device, back.Device));
    EXPECT_TRUE(SameBytes(s.Mode, back.Mode));
    EXPECT_TRUE(SameProcessingBlock(s.Processing, back.Processing));
    EXPECT_TRUE(SameBytes(s.Trigger, back.Trigger));
    EXPECT_TRUE(SameBytes(s.FileIO, back.FileIO));
    EXPECT_TRUE(back.CoherenceSquared);
    EXPECT_EQ(ini.GetString("Foreign", "a", ""), "b");
    EXPECT_EQ(ini.GetString("Settings", "DelayTimeMsec", ""), "12.500000");  // floats as "%f"
}

TEST(SettingsCompare, AnyByteOfTheProcessingBlockCounts) {
    ProcessingSettings a, b;
    EXPECT_TRUE(SameProcessingBlock(a.Processing, b.Processing));
    CopyToField(b.Scaling().MicCompFilenameLeft, kFileNameBytes, "x");
    EXPECT_FALSE(SameProcessingBlock(a.Processing, b.Processing));
    b = a;
    b.Settings().SamplingRateCorrectionFactor = 1.0001f;
    EXPECT_FALSE(SameProcessingBlock(a.Processing, b.Processing));
    // Settings outside the processing block do not force a rebuild.
    b = a;
    b.Trigger.Threshold = 90;
    EXPECT_TRUE(SameProcessingBlock(a.Processing, b.Processing));
}

TEST(DerivedFields, FrameAdvanceTruncatesAndNeverReachesZero) {
    EXPECT_EQ(FrameAdvance(32, 99), 1u);  // 0.32 truncates to 0, raised to 1
    EXPECT_EQ(FrameAdvance(4096, 0), 4096u);
    EXPECT_EQ(FrameAdvance(4096, 50), 2048u);
    EXPECT_EQ(FrameAdvance(1024, 75), 256u);
    EXPECT_EQ(FrameAdvance(1048576, 99), 10485u);  // 10485.76
    EXPECT_EQ(FrameAdvance(1000, 33), 670u);
    EXPECT_EQ(FrameAdvance(4096, 150), 40u);  // overlap beyond 99 % counts as 99 %
}

TEST(DerivedFields, DelaySamplesRoundHalfUpAndStayNonNegative) {
    EXPECT_EQ(DelaySamples(44100, 0.01f), 0u);   // 0.441 + 0.5
    EXPECT_EQ(DelaySamples(44100, 0.02f), 1u);   // 0.882 + 0.5
    EXPECT_EQ(DelaySamples(48000, 1000.0f), 48000u);
    EXPECT_EQ(DelaySamples(44100, -5.0f), 0u);
    EXPECT_EQ(DelaySamples(48000, 1e12f), 48000u);  // held at the longest delay, 1 s
    EXPECT_EQ(DelaySamples(48000, std::nanf("")), 0u);
    SettingsBlock b;
    b.format = SampleFormat::Make(8000, 1, 2);
    b.DelayTimeMsec = 2.5f;
    b.OverlapPercent = 50;
    b.FFTsize = 64;
    RecomputeDerivedFields(b);
    EXPECT_EQ(b.delaySamples, 20u);
    EXPECT_EQ(b.frameAdvance, 32u);
}

TEST(WindowCorrection, EnergyForOctaveBandsAmplitudeOtherwise) {
    for (uint16_t axis : {kFreqLinear, kFreqLogarithmic, kFreqOctaveBands}) {
        ProcessingSettings s;
        s.Scaling().FreqScaleType = axis;
        EXPECT_EQ(s.WindowCorrectionMode(), axis == kFreqOctaveBands ? kCorrectionEnergy : kCorrectionAmplitude);
    }
}

}  // namespace
}  // namespace zeltrak
