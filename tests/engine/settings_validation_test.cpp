// The settings dialogs' rules: one row per rule and message, each refusal leaving the live
// settings byte for byte as they were.
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
    bool standardOnly = false;
    uint32_t maxRate = 200000;
    int queries = 0;

    bool QueryFormat(uint32_t rate, uint16_t bytes, uint16_t channels) override {
        ++queries;
        return rates.count(rate) && bytes >= 1 && bytes <= 3 && channels >= 1 && channels <= 2;
    }
    bool StandardRatesOnly() const override { return standardOnly; }
    uint32_t MaxRate() const override { return maxRate; }
    uint32_t MinRate() const override { return 4000; }
};

uint64_t PlentyOfMemory() { return uint64_t{1} << 40; }
uint64_t NoMemory() { return 0; }

const std::string kRateRange =
    "The Sound Board does not support the selected Sampling Rate.  Rate must be between 8000 Hz and 96000 Hz.";
const std::string kRateNumber = "Sampling Rate must be a whole number of Hz above 0";
const std::string kDecimation = "Decimation Ratio must be between 1 and 30";
const std::string kAveraging = "Averaging size must be \"Infinite\" or between 1 and 1,000,000";
const std::string kDelay = "Delay must be between 0 and 1,000 milliseconds";
const std::string kOverlap = "Overlap Percentage must be between 0 and 99%";

class ProcessingDialog : public ::testing::Test {
protected:
    ProcessingDialog() {
        fields = ProcessingDialogFields::From(live);
    }
    ValidationResult Accept(const FreeMemoryProbe& memory = PlentyOfMemory) {
        before = live;
        return AcceptProcessingDialog(fields, device, memory, live);
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
    fields.decimationRatio = " +3 ";  // blanks and a sign are still a number
    fields.overlapPercent = "75";
    fields.delayTimeMsec = "10";
    ASSERT_TRUE(Accept().ok);
    EXPECT_EQ(live.format, SampleFormat::Make(48000, 2, 3));
    EXPECT_EQ(live.DecimationRatio, 3u);
    EXPECT_EQ(FileFrameAdvance(live), 3 * 2048u);
    EXPECT_EQ(ChannelDelaySamples(live), 480u);
    // The limits themselves pass.
    fields.decimationRatio = "30";
    fields.delayTimeMsec = "1000";
    fields.overlapPercent = "99";
    fields.averageBlocks = "Infinite";
    ASSERT_TRUE(Accept().ok);
    EXPECT_EQ(live.OverlapPercent, 99u);
    EXPECT_EQ(live.AverageBlocks, kInfiniteAverageBlocks);
}

// Letters, exponents and trailing junk are no numbers: each field refuses them with its own
// message instead of reading them as 0 or as their leading digits.
TEST_F(ProcessingDialog, EachFieldRefusesValuesOutsideItsRange) {
    const ProcessingDialogFields good = fields;
    const struct {
        std::string ProcessingDialogFields::*field;
        const char* entry;
        const std::string& message;
    } cases[] = {
        {&ProcessingDialogFields::samplingRate, "45000", kRateRange},
        {&ProcessingDialogFields::samplingRate, "-44100", kRateNumber},
        {&ProcessingDialogFields::samplingRate, "99999999999", kRateRange},
        {&ProcessingDialogFields::samplingRate, "44100Hz", kRateNumber},
        {&ProcessingDialogFields::decimationRatio, "0", kDecimation},
        {&ProcessingDialogFields::decimationRatio, "31", kDecimation},
        {&ProcessingDialogFields::decimationRatio, "2x", kDecimation},
        {&ProcessingDialogFields::averageBlocks, "1e3", kAveraging},
        {&ProcessingDialogFields::averageBlocks, "100000000000000000000", kAveraging},
        {&ProcessingDialogFields::delayTimeMsec, "-0.5", kDelay},
        {&ProcessingDialogFields::delayTimeMsec, "1000.01", kDelay},
        {&ProcessingDialogFields::delayTimeMsec, "nan", kDelay},
        {&ProcessingDialogFields::delayTimeMsec, "", kDelay},
        {&ProcessingDialogFields::overlapPercent, "100", kOverlap},
        {&ProcessingDialogFields::overlapPercent, "half", kOverlap},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        fields = good;
        fields.*c.field = c.entry;
        ExpectRejected(Accept(), c.message);
    }
    // Rates no device could take are refused without asking the device.
    device.queries = 0;
    fields = good;
    fields.samplingRate = "0";
    ExpectRejected(Accept(), kRateNumber);
    EXPECT_EQ(device.queries, 0);
    // The first failure wins.
    fields = good;
    fields.samplingRate = "45000";
    fields.decimationRatio = "99";
    EXPECT_EQ(Accept().message, kRateRange);
    fields.samplingRate = "44100";
    EXPECT_EQ(Accept().message, kDecimation);
}

TEST_F(ProcessingDialog, StandardRateDevicesNameTheirRatesByHighestRate) {
    device.standardOnly = true;
    device.rates.clear();  // the query refuses everything, yet the standard rates pass
    fields.samplingRate = "22050";
    ASSERT_TRUE(Accept().ok);
    EXPECT_EQ(live.format.rate, 22050u);
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

TEST_F(ProcessingDialog, LargeFramesNeedTheMemoryForThem) {
    fields.fftSize = 1048576;
    ExpectRejected(Accept(NoMemory),
                   "Insufficient Memory to continue.  Please close some applications to free up memory.");
    EXPECT_TRUE(Accept(PlentyOfMemory).ok);
    // Up to 65536 points no estimate is made, and a change that needs no more than the live
    // settings passes whatever is free.
    live.FFTsize = 4096;
    fields.fftSize = 65536;
    EXPECT_TRUE(Accept(NoMemory).ok);
    live.FFTsize = 1048576;
    fields.fftSize = 1048576;
    EXPECT_TRUE(Accept(NoMemory).ok);
    // 1000 linear blocks of a million-point spectrum are tens of gigabytes.
    SettingsBlock big;
    big.FFTsize = 1048576;
    big.AverageType = AveragingCode(AveragingType::Linear);
    big.AverageBlocks = 1000;
    EXPECT_GT(EstimateProcessingMemory(big), uint64_t{20} << 30);
}

TEST(TriggerDialog, ThresholdAndDelayRanges) {
    const TriggerBlock original;
    const struct {
        const char* threshold;
        const char* delay;
        const char* message;
    } cases[] = {
        {"101", "0", "Threshold must be between 0 and 100 percent."},
        {"fifty", "0", "Threshold must be between 0 and 100 percent."},
        {"100", "1000.5", "Trigger delay must be between 0 and 1000"},
    };
    for (const auto& c : cases) {
        TriggerBlock t = original;
        TriggerDialogFields f = TriggerDialogFields::From(t);
        f.threshold = c.threshold;
        f.delayMsec = c.delay;
        EXPECT_EQ(AcceptTriggerDialog(f, t).message, c.message);
        EXPECT_EQ(std::memcmp(&original, &t, sizeof t), 0);
    }
    TriggerBlock t;
    TriggerDialogFields f = TriggerDialogFields::From(t);
    f.enable = true;
    f.threshold = "100";
    f.delayMsec = "12.5";
    ASSERT_TRUE(AcceptTriggerDialog(f, t).ok);
    EXPECT_EQ(t.Enable, 1u);
    EXPECT_EQ(t.Threshold, 100u);
    EXPECT_FLOAT_EQ(t.DelayMsec, 12.5f);
}

TEST(FileOptionsDialog, EveryLimitInOrder) {
    FileIOBlock io;
    const FileIOBlock original = io;
    const struct {
        const char *rt, *ram, *disk, *message;
    } cases[] = {
        {"3", "2", "0", "Real Time Data buffer length must be at least 4 seconds."},
        {"sixty", "300", "2000", "Real Time Data buffer length must be at least 4 seconds."},
        {"4", "3", "0", "Maximum RAM recording time must be at least 4 seconds."},
        {"4", "3601", "0", "Maximum RAM recording time must be less than 3600 seconds."},
        {"4", "3600", "0", "Maximum Hard Disk recording size must be at least 1 MB"},
        {"4", "3600", "2001", "Maximum Hard Disk recording size cannot be greater than 2,000 MB (2GB)"},
    };
    for (const auto& c : cases) {
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
    ASSERT_TRUE(AcceptFileOptionsDialog(f, io).ok);
    EXPECT_EQ(io.RealTimeWaveBufferLengthSecs, 4);
    EXPECT_EQ(io.MaxRamRecordingTimeSecs, 3600);
    EXPECT_EQ(io.MaxDiskRecordingSizeBytes, 2000000000u);
    EXPECT_EQ(FileOptionsDialogFields::From(io).maxDiskRecordingMB, "2000");
}

TEST(ScalingDialog, OverlongFileNamesAreCut) {
    ScalingBlock s;
    ScalingDialogFields f = ScalingDialogFields::From(s);
    f.micCompEnable = false;  // the names are not files: with compensation on they would be refused
    f.micCompFilenameLeft = std::string(300, 'L');
    f.micCompFilenameRight = "right.mic";
    ASSERT_TRUE(AcceptScalingDialog(f, s).ok);
    EXPECT_EQ(FieldText(s.MicCompFilenameLeft, kFileNameBytes), std::string(256, 'L'));
    EXPECT_EQ(FieldText(s.MicCompFilenameRight, kFileNameBytes), "right.mic");
    EXPECT_EQ(s.MicCompEnable, 0u);
}

}  // namespace
}  // namespace zeltrak
