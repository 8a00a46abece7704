#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/dtmf_table.h"
#include "base/numeric.h"
#include "base/sample_format.h"
#include "base/strings.h"
#include "base/time_text.h"

namespace zeltrak {
namespace {

struct WidthCase {
    uint16_t bytes;
    uint16_t bits;
    int32_t max;
    int32_t min;
    int32_t zero;
};

TEST(SampleFormatRule, LimitsFollowFromEveryWidth) {
    const WidthCase cases[] = {
        {1, 8, 255, 0, 127},
        {2, 16, 32767, -32767, 0},
        {3, 24, (1 << 23) - 1, -((1 << 23) - 1), 0},
        {4, 32, 2147483647, -2147483647, 0},
    };
    for (const WidthCase& c : cases) {
        for (uint16_t channels : {1, 2}) {
            const SampleFormat f = SampleFormat::Make(48000, channels, c.bytes);
            EXPECT_EQ(f.rate, 48000u);
            EXPECT_EQ(f.channels, channels);
            EXPECT_EQ(f.bytesPerSample, c.bytes);
            EXPECT_EQ(f.bitsPerSample, c.bits);
            EXPECT_EQ(f.maxValue, c.max) << c.bytes;
            EXPECT_EQ(f.minValue, c.min) << c.bytes;
            EXPECT_EQ(f.zeroOffset, c.zero) << c.bytes;
            EXPECT_EQ(f.BlockAlign(), static_cast<uint32_t>(channels * c.bytes));
        }
    }
}

TEST(SampleFormatRule, OutOfRangeInputsFallBackOneByOne) {
    EXPECT_EQ(SampleFormat::Make(0, 0, 0), SampleFormat::Make(44100, 1, 2));
    EXPECT_EQ(SampleFormat::Make(8000, 3, 2).channels, 1u);
    EXPECT_EQ(SampleFormat::Make(8000, 65535, 2).channels, 1u);
    EXPECT_EQ(SampleFormat::Make(8000, 2, 5).bytesPerSample, 2u);
    EXPECT_EQ(SampleFormat::Make(8000, 2, 5).maxValue, 32767);
    EXPECT_EQ(SampleFormat::Make(8000, 2, 5).channels, 2u);  // a bad width leaves the channels alone
    EXPECT_EQ(SampleFormat::Make(1, 2, 1).rate, 1u);         // any nonzero rate is kept as given
}

TEST(SampleFormatRule, FullScaleIsHalfTheRange) {
    EXPECT_DOUBLE_EQ(SampleFormat::Make(44100, 1, 1).FullScale(), 127.5);
    EXPECT_DOUBLE_EQ(SampleFormat::Make(44100, 1, 2).FullScale(), 32767.0);
    EXPECT_DOUBLE_EQ(SampleFormat::Make(44100, 1, 3).FullScale(), 8388607.0);
    EXPECT_DOUBLE_EQ(SampleFormat::Make(44100, 1, 4).FullScale(), 2147483647.0);
    EXPECT_EQ(SampleFormat::Make(96000, 2, 3).BytesPerSecond(), 96000u * 6u);
}

TEST(Decibels, PowerAndAmplitudeWithNoValueLevel) {
    EXPECT_DOUBLE_EQ(PowerToDb(100.0), 20.0);
    EXPECT_DOUBLE_EQ(AmplitudeToDb(100.0), 40.0);
    EXPECT_NEAR(PowerToDb(0.5), -3.0103, 1e-4);
    EXPECT_NEAR(AmplitudeToDb(0.5), -6.0206, 1e-4);
    for (double bad : {0.0, -1.0, -1e-300}) {
        EXPECT_EQ(PowerToDb(bad), -999.9);
        EXPECT_EQ(AmplitudeToDb(bad), -999.9);
    }
    EXPECT_EQ(PowerToDb(std::numeric_limits<double>::quiet_NaN()), -999.9);
    EXPECT_NEAR(PowerToDb(1e-300), -3000.0, 1e-9);  // tiny but positive keeps its true level
}

TEST(FloatToInteger, TruncatesTowardZeroAndRoundsOnlyWhenAsked) {
    EXPECT_EQ(TruncToInt32(2.9), 2);
    EXPECT_EQ(TruncToInt32(-2.9), -2);
    EXPECT_EQ(RoundHalfUpToInt32(2.5), 3);
    EXPECT_EQ(RoundHalfUpToInt32(2.49), 2);
    EXPECT_EQ(RoundHalfUpToInt32(-2.4), -1);  // (int)(-2.4 + 0.5) = (int)(-1.9)
    EXPECT_EQ(RoundHalfUpToUint32(0.941), 1u);
    EXPECT_EQ(TruncToUint32(0.941), 0u);
    // Out-of-range values saturate instead of being undefined.
    EXPECT_EQ(TruncToInt32(1e12), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(TruncToInt32(-1e12), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(TruncToUint32(-5.0), 0u);
    EXPECT_EQ(TruncToInt64(std::numeric_limits<double>::quiet_NaN()), 0);
}

struct TimeCase {
    double seconds;
    const char* withMillis;
    const char* plain;
};

TEST(TimeText, ShortestFormWhoseLeadingFieldIsNotZero) {
    const TimeCase cases[] = {
        {0.0, "0.000", "0"},
        {0.0009, "0.000", "0"},
        {1.5, "1.500", "1"},
        {59.999, "59.999", "59"},
        {60.0, "1:00.000", "1:00"},
        {61.25, "1:01.250", "1:01"},
        {3599.5, "59:59.500", "59:59"},
        {3600.0, "1:00:00.000", "1:00:00"},
        {3661.007, "1:01:01.007", "1:01:01"},
        {86400.0, "24:00:00.000", "24:00:00"},  // a whole day exactly does not wrap
        {86401.5, "1.500", "1"},                // beyond a day the clock wraps
        {90061.25, "1:01:01.250", "1:01:01"},
        {-0.25, "-0.250", "-0"},
        {-1.5, "-1.500", "-1"},
        {-61.0, "-1:01.000", "-1:01"},
        {-3600.0, "-1:00:00.000", "-1:00:00"},
    };
    for (const TimeCase& c : cases) {
        EXPECT_EQ(FormatTimeWithMillis(c.seconds), c.withMillis) << c.seconds;
        EXPECT_EQ(FormatTime(c.seconds), c.plain) << c.seconds;
    }
}

TEST(TimeText, NonFiniteValuesDoNotCrash) {
    EXPECT_EQ(FormatTime(std::numeric_limits<double>::infinity()), "0");
    EXPECT_EQ(FormatTimeWithMillis(std::numeric_limits<double>::quiet_NaN()), "0.000");
    EXPECT_FALSE(FormatTimeWithMillis(1e300).empty());
}

TEST(StringTable, LookupByNumberAndFallback) {
    EXPECT_EQ(LoadString(30), "Failure accessing sound device.");
    EXPECT_EQ(LoadString(70), "Insufficient Memory to continue.  Please close some applications to free up memory.");
    EXPECT_EQ(LoadString(179), "Calibration Files");
    EXPECT_TRUE(HasString(239));
    EXPECT_FALSE(HasString(31));
    EXPECT_EQ(LoadString(31), "StringTable entry 31 not found");
    EXPECT_EQ(LoadString(-4), "StringTable entry -4 not found");
}

TEST(DtmfTable, KeysSitOnTheirRowAndColumn) {
    EXPECT_EQ(kDtmfRowHz[0] + kDtmfColumnHz[0], 697.0 + 1209.0);  // key "1"
    EXPECT_EQ(kDtmfKeys[3][1], '0');
    EXPECT_EQ(kDtmfKeys[2][3], 'C');
    // Every row tone lies below every column tone, so a decoder can tell them apart by band.
    EXPECT_LT(kDtmfRowHz.back(), kDtmfColumnHz.front());
}

}  // namespace
}  // namespace zeltrak
