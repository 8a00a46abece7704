#include "engine/settings_validation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "engine/format_query.h"

namespace zeltrak {
namespace {

// A device described by the formats it accepts.
class FakeDevice : public TFormatQuery {
public:
    std::set<uint32_t> rates{8000, 11025, 22050, 44100, 48000, 96000};
    std::set<uint16_t> widths{1, 2, 3};
    bool standardOnly = false;
    uint32_t minRate = 4000;
    uint32_t maxRate = 200000;
    int queries = 0;

    bool QueryFormat(uint32_t rate, uint16_t bytes, uint16_t channels) override {
        ++queries;
        return rates.count(rate) && widths.count(bytes) && channels >= 1 && channels <= 2;
    }
    bool StandardRatesOnly() const override { return standardOnly; }
    uint32_t MaxRate() const override { return maxRate; }
    uint32_t MinRate() const override { return minRate; }
};

uint64_t PlentyOfMemory() { return uint64_t{1} << 40; }
uint64_t NoMemory() { return 0; }

class ProcessingDialog : public ::testing::Test {
protected:
    ProcessingDialog() {
        RecomputeDerivedFields(live);
        fields = ProcessingDialogFields::From(live);
    }

    ValidationResult Accept(uint32_t mode = kModeRealTime, const FreeMemoryProbe& memory = PlentyOfMemory) {
        before = live;
        return AcceptProcessingDialog(fields, mode, device, memory, live);
    }

    void ExpectRejected(const ValidationResult& r, const std::string& message) {
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.message, message);
        EXPECT_EQ(std::memcmp(&before, &live, sizeof live), 0) << "nothing may be stored on failure";
    }

    FakeDevice device;
    SettingsBlock live;
    SettingsBlock before;
    ProcessingDialogFields fields;
};

TEST_F(ProcessingDialog, AcceptedEntriesAreStoredWithDerivedFields) {
    fields.channels = 2;
    fields.bytesPerSample = 3;
    fields.samplingRate = "48000";
    fields.fftSize = 8192;
    fields.decimationRatio = "3";
    fields.averageBlocks = "Infinite";
    fields.averageType = kAverageLinear;
    fields.overlapPercent = "75";
    fields.delayTimeMsec = "10";
    fields.channelProcessing = 10;
    ASSERT_TRUE(Accept(kModePostProcessing).ok);
    EXPECT_EQ(live.format, SampleFormat::Make(48000, 2, 3));
    EXPECT_EQ(live.FFTsize, 8192u);
    EXPECT_EQ(live.DecimationRatio, 3u);
    EXPECT_EQ(live.AverageBlocks, 1000000u);
    EXPECT_EQ(live.AverageType, kAverageLinear);
    EXPECT_EQ(live.OverlapPercent, 75u);
    EXPECT_EQ(live.frameAdvance, 2048u);
    EXPECT_EQ(live.delaySamples, 480u);
    EXPECT_EQ(live.ChannelProcessing, 10u);
}

TEST_F(ProcessingDialog, RefusedRateOnAFreeRateDeviceNamesItsRange) {
    fields.samplingRate = "45000";
    ExpectRejected(Accept(), "The Sound Board does not support the selected Sampling Rate.  "
                             "Rate must be between 4000 Hz and 200000 Hz.");
    EXPECT_EQ(fields.samplingRate, "45000");  // only the standard-rate case resets the entry
}

TEST_F(ProcessingDialog, StandardRateDevicesAcceptTheirRatesEvenWhenTheQueryFails) {
    device.standardOnly = true;
    device.rates.clear();  // the query refuses everything
    fields.samplingRate = "22050";
    ASSERT_TRUE(Accept().ok);
    EXPECT_EQ(live.format.rate, 22050u);
}

TEST_F(ProcessingDialog, StandardRateDevicesNameTheirRatesByHighestRate) {
    device.standardOnly = true;
    device.rates.clear();
    const std::pair<uint32_t, const char*> cases[] = {
        {11025, "Sampling Rate must be 11025 Hz"},
        {22050, "Sampling Rate must be either 11025 or 22050 Hz"},
        {44100, "Sampling Rate must be either 11025, 22050 or 44100 Hz"},
        {48000, "Sampling Rate must be 11025 Hz"},
    };
    for (const auto& [highest, message] : cases) {
        device.maxRate = highest;
        fields.samplingRate = "32000";
        ExpectRejected(Accept(), message);
        EXPECT_EQ(fields.samplingRate, std::to_string(highest)) << "the rate entry is reset to the highest rate";
    }
}

TEST_F(ProcessingDialog, NegativeOrHugeRatesAreRefusedWithoutAsking) {
    for (const char* rate : {"-44100", "0", "99999999999"}) {
        fields.samplingRate = rate;
        device.queries = 0;
        ExpectRejected(Accept(), "The Sound Board does not support the selected Sampling Rate.  "
                                 "Rate must be between 4000 Hz and 200000 Hz.");
        EXPECT_EQ(device.queries, 0) << rate;
    }
}

TEST_F(ProcessingDialog, DecimationRatioOutsideOneToThirty) {
    for (const char* ratio : {"0", "31", "-2", "x"}) {
        fields.decimationRatio = ratio;
        ExpectRejected(Accept(), "Decimation Ratio must be between 1 and 30");
    }
    fields.decimationRatio = "30";
    EXPECT_TRUE(Accept().ok);
}

TEST_F(ProcessingDialog, TheFirstFailureWins) {
    fields.samplingRate = "45000";
    fields.decimationRatio = "99";
    fields.delayTimeMsec = "5000";
    EXPECT_NE(Accept().message.find("Sampling Rate"), std::string::npos);
    fields.samplingRate = "44100";
    EXPECT_EQ(Accept().message, "Decimation Ratio must be between 1 and 30");
    fields.decimationRatio = "2";
    EXPECT_EQ(Accept().message, "Delay must be between 0 and 1,000 milliseconds");
}

TEST_F(ProcessingDialog, OverlapIsCheckedOnlyInPostProcessing) {
    live.OverlapPercent = 25;
    fields.overlapPercent = "100";
    ExpectRejected(Accept(kModePostProcessing), "Overlap Percentage must be between 0 and 99%");
    EXPECT_EQ(fields.overlapPercent, "50");

    fields.overlapPercent = "100";
    for (uint32_t mode : {kModeRealTime, kModeRecorder}) {
        ASSERT_TRUE(Accept(mode).ok);
        EXPECT_EQ(live.OverlapPercent, 25u) << "the entry is not read outside post-processing";
        EXPECT_EQ(fields.overlapPercent, "100");
    }
    fields.overlapPercent = "99";
    ASSERT_TRUE(Accept(kModePostProcessing).ok);
    EXPECT_EQ(live.OverlapPercent, 99u);
}

TEST_F(ProcessingDialog, DelayMustLieWithinOneSecond) {
    // Words are no numbers: "nan" must not slip through as 0.
    for (const char* delay : {"-0.5", "1000.01", "1e999", "nan"}) {
        fields.delayTimeMsec = delay;
        ExpectRejected(Accept(), "Delay must be between 0 and 1,000 milliseconds");
    }
    fields.delayTimeMsec = "1000";
    EXPECT_TRUE(Accept().ok);
}

TEST_F(ProcessingDialog, LargeFramesNeedTheMemoryForThem) {
    fields.fftSize = 1048576;
    ExpectRejected(Accept(kModeRealTime, NoMemory),
                   "Insufficient Memory to continue.  Please close some applications to free up memory.");
    EXPECT_TRUE(Accept(kModeRealTime, PlentyOfMemory).ok);
    // Up to 65536 points no estimate is made.
    live.FFTsize = 4096;
    fields.fftSize = 65536;
    EXPECT_TRUE(Accept(kModeRealTime, NoMemory).ok);
    // A change that needs no more than the live settings passes whatever is free.
    live.FFTsize = 1048576;
    fields.fftSize = 1048576;
    fields.decimationRatio = "1";
    EXPECT_TRUE(Accept(kModeRealTime, NoMemory).ok);
}

// Letters, exponents and trailing junk are not numbers: each field refuses them with its own
// message instead of reading them as 0 or as their leading digits.
TEST_F(ProcessingDialog, EntriesThatAreNotNumbersAreRefusedByTheirField) {
    const ProcessingDialogFields good = fields;
    struct Case {
        std::string ProcessingDialogFields::*field;
        const char* entry;
        const char* message;
    };
    const Case cases[] = {
        {&ProcessingDialogFields::samplingRate, "44100Hz",
         "The Sound Board does not support the selected Sampling Rate.  Rate must be between 4000 Hz and 200000 Hz."},
        {&ProcessingDialogFields::decimationRatio, "abc", "Decimation Ratio must be between 1 and 30"},
        {&ProcessingDialogFields::decimationRatio, "2x", "Decimation Ratio must be between 1 and 30"},
        {&ProcessingDialogFields::averageBlocks, "ten", "Averaging size must be \"Infinite\" or between 1 and 1,000,000"},
        {&ProcessingDialogFields::averageBlocks, "1e3", "Averaging size must be \"Infinite\" or between 1 and 1,000,000"},
        {&ProcessingDialogFields::averageBlocks, "100000000000000000000",
         "Averaging size must be \"Infinite\" or between 1 and 1,000,000"},
        {&ProcessingDialogFields::averageBlocks, "0", "Averaging size must be \"Infinite\" or between 1 and 1,000,000"},
        {&ProcessingDialogFields::delayTimeMsec, "five", "Delay must be between 0 and 1,000 milliseconds"},
        {&ProcessingDialogFields::delayTimeMsec, "1e20", "Delay must be between 0 and 1,000 milliseconds"},
        {&ProcessingDialogFields::delayTimeMsec, "", "Delay must be between 0 and 1,000 milliseconds"},
    };
    for (const Case& c : cases) {
        fields = good;
        fields.*c.field = c.entry;
        ExpectRejected(Accept(), c.message);
    }
    // Surrounding blanks and a sign are still a number; 1,000,000 is the largest count.
    fields = good;
    fields.decimationRatio = " +2 ";
    fields.averageBlocks = "1000000";
    fields.delayTimeMsec = "0.5";
    ASSERT_TRUE(Accept().ok);
    EXPECT_EQ(live.DecimationRatio, 2u);
    EXPECT_EQ(live.AverageBlocks, 1000000u);
    // Overlap is read only in Post-Processing; there letters are refused like a range error.
    fields.overlapPercent = "half";
    ExpectRejected(Accept(kModePostProcessing), "Overlap Percentage must be between 0 and 99%");
}

TEST(DialogEntries, TriggerAndFileOptionsRefuseLettersAndHugeNumbers) {
    TriggerBlock t;
    const TriggerBlock before = t;
    TriggerDialogFields tf = TriggerDialogFields::From(t);
    tf.threshold = "fifty";
    EXPECT_EQ(AcceptTriggerDialog(tf, t).message, "Threshold must be between 0 and 100 percent.");
    tf.threshold = "100000000000000000000";
    EXPECT_EQ(AcceptTriggerDialog(tf, t).message, "Threshold must be between 0 and 100 percent.");
    tf.threshold = "50";
    tf.delayMsec = "10^20";
    EXPECT_EQ(AcceptTriggerDialog(tf, t).message, "Trigger delay must be between 0 and 1000");
    EXPECT_EQ(std::memcmp(&before, &t, sizeof t), 0);

    FileIOBlock io;
    const FileIOBlock original = io;
    FileOptionsDialogFields ff = FileOptionsDialogFields::From(io);
    ff.realTimeBufferSecs = "sixty";
    EXPECT_EQ(AcceptFileOptionsDialog(ff, io).message, "Real Time Data buffer length must be at least 4 seconds.");
    ff = FileOptionsDialogFields::From(io);
    ff.maxRamRecordingSecs = "100000000000000000000";
    EXPECT_EQ(AcceptFileOptionsDialog(ff, io).message, "Maximum RAM recording time must be less than 3600 seconds.");
    ff = FileOptionsDialogFields::From(io);
    ff.maxDiskRecordingMB = "2GB";
    EXPECT_EQ(AcceptFileOptionsDialog(ff, io).message, "Maximum Hard Disk recording size must be at least 1 MB");
    EXPECT_EQ(std::memcmp(&original, &io, sizeof io), 0);
}

TEST(MemoryEstimate, GrowsWithEveryDimensionAndLinearHistory) {
    SettingsBlock base;
    base.FFTsize = 131072;
    const uint64_t b = EstimateProcessingMemory(base);
    SettingsBlock more = base;
    more.format = SampleFormat::Make(44100, 2, 2);
    EXPECT_GT(EstimateProcessingMemory(more), b);
    more = base;
    more.DecimationRatio = 10;
    EXPECT_GT(EstimateProcessingMemory(more), b);
    more = base;
    more.format = SampleFormat::Make(44100, 1, 3);
    EXPECT_GT(EstimateProcessingMemory(more), b);
    // Per channel the engine keeps the frame and the trigger search frame, twice as long.
    more = base;
    more.FFTsize = 1048576;
    more.DecimationRatio = 30;
    EXPECT_GE(EstimateProcessingMemory(more), 3 * uint64_t{1048576} * 30 * sizeof(int16_t));
    // 1000 linear-average blocks of a million-point spectrum are tens of gigabytes.
    more = base;
    more.FFTsize = 1048576;
    more.AverageType = kAverageLinear;
    more.AverageBlocks = 1000;
    EXPECT_GT(EstimateProcessingMemory(more), uint64_t{20} << 30);
}

TEST(TriggerDialog, ThresholdAndDelayRanges) {
    TriggerBlock t;
    TriggerDialogFields f = TriggerDialogFields::From(t);
    f.enable = true;
    f.threshold = "101";
    TriggerBlock before = t;
    ValidationResult r = AcceptTriggerDialog(f, t);
    EXPECT_EQ(r.message, "Threshold must be between 0 and 100 percent.");
    EXPECT_EQ(std::memcmp(&before, &t, sizeof t), 0);
    f.threshold = "-1";
    EXPECT_FALSE(AcceptTriggerDialog(f, t).ok);
    f.threshold = "100";
    f.delayMsec = "1000.5";
    EXPECT_EQ(AcceptTriggerDialog(f, t).message, "Trigger delay must be between 0 and 1000");
    EXPECT_EQ(std::memcmp(&before, &t, sizeof t), 0);
    f.delayMsec = "12.5";
    f.triggerSlope = 1;
    f.triggerType = 1;
    f.delayType = 1;
    f.channel = 1;
    ASSERT_TRUE(AcceptTriggerDialog(f, t).ok);
    EXPECT_EQ(t.Enable, 1u);
    EXPECT_EQ(t.Threshold, 100u);
    EXPECT_FLOAT_EQ(t.DelayMsec, 12.5f);
    EXPECT_EQ(t.TriggerSlope, 1u);
    EXPECT_EQ(t.Channel, 1u);
}

TEST(FileOptionsDialog, EveryLimitInOrder) {
    FileIOBlock io;
    const FileIOBlock original = io;
    struct Case {
        const char* rt;
        const char* ram;
        const char* disk;
        const char* message;
    };
    const Case cases[] = {
        {"3", "2", "0", "Real Time Data buffer length must be at least 4 seconds."},
        {"4", "3", "0", "Maximum RAM recording time must be at least 4 seconds."},
        {"4", "3601", "0", "Maximum RAM recording time must be less than 3600 seconds."},
        {"4", "3600", "0", "Maximum Hard Disk recording size must be at least 1 MB"},
        {"4", "3600", "2001", "Maximum Hard Disk recording size cannot be greater than 2,000 MB (2GB)"},
    };
    for (const Case& c : cases) {
        FileOptionsDialogFields f = FileOptionsDialogFields::From(io);
        f.realTimeBufferSecs = c.rt;
        f.maxRamRecordingSecs = c.ram;
        f.maxDiskRecordingMB = c.disk;
        EXPECT_EQ(AcceptFileOptionsDialog(f, io).message, c.message);
        EXPECT_EQ(std::memcmp(&original, &io, sizeof io), 0);
    }
    FileOptionsDialogFields f = FileOptionsDialogFields::From(io);
    f.realTimeBufferSecs = "4";
    f.maxRamRecordingSecs = "3600";
    f.maxDiskRecordingMB = "2000";
    f.waveFileMode = 0;
    f.makeBackup = false;
    ASSERT_TRUE(AcceptFileOptionsDialog(f, io).ok);
    EXPECT_EQ(io.RealTimeWaveBufferLengthSecs, 4);
    EXPECT_EQ(io.MaxRamRecordingTimeSecs, 3600);
    EXPECT_EQ(io.MaxDiskRecordingSizeBytes, 2000000000u);
    EXPECT_EQ(io.WaveFileMode, 0u);
    EXPECT_EQ(io.MakeBackup, 0u);
    EXPECT_EQ(FileOptionsDialogFields::From(io).maxDiskRecordingMB, "2000");
}

TEST(ScalingDialog, FrequencyAxisChoicesAndFileNames) {
    const std::pair<int, std::pair<uint16_t, uint16_t>> axes[] = {
        {0, {kFreqLinear, 7}},      {1, {kFreqLogarithmic, 7}}, {2, {kFreqOctaveBands, 1}},
        {3, {kFreqOctaveBands, 3}}, {5, {kFreqOctaveBands, 9}}, {9, {kFreqOctaveBands, 96}},
    };
    for (const auto& [choice, expected] : axes) {
        ScalingBlock s;
        s.OctaveNumber = 7;  // linear and logarithmic axes leave the band count alone
        ScalingDialogFields f = ScalingDialogFields::From(s);
        f.frequencyAxisChoice = choice;
        ASSERT_TRUE(AcceptScalingDialog(f, s).ok);
        EXPECT_EQ(s.FreqScaleType, expected.first) << choice;
        EXPECT_EQ(s.OctaveNumber, expected.second) << choice;
        EXPECT_EQ(ChoiceFromFrequencyAxis(s.FreqScaleType, s.OctaveNumber), choice);
    }
    ScalingBlock s;
    ScalingDialogFields f = ScalingDialogFields::From(s);
    f.micCompEnable = true;
    f.micCompFilenameLeft = std::string(300, 'L');
    f.micCompFilenameRight = "right.mic";
    f.standardWeighting = 1;
    ASSERT_TRUE(AcceptScalingDialog(f, s).ok);
    EXPECT_EQ(FieldText(s.MicCompFilenameLeft, kFileNameBytes), std::string(256, 'L'));
    EXPECT_EQ(FieldText(s.MicCompFilenameRight, kFileNameBytes), "right.mic");
    EXPECT_EQ(s.MicCompEnable, 1u);
    EXPECT_EQ(s.StandardWeighting, 1u);
    EXPECT_EQ(MicCompFileFilter(), "Mic Comp Files (*.mic)|*.mic|Overlay Files (*.ovl)|*.ovl|");
}

}  // namespace
}  // namespace zeltrak
