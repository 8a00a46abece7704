// Sample limits, levels, conversions and time texts against their closed forms, and the
// fallbacks for values that cannot be used.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "base/numeric.h"
#include "base/sample_format.h"
#include "base/strings.h"
#include "base/time_text.h"

namespace zeltrak {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(SampleFormat, LimitsFollowFromTheWidthAndBadInputsFallBackOneByOne) {
    for (uint16_t bytes = 1; bytes <= 4; ++bytes) {
        for (uint16_t channels : {1, 2}) {
            const SampleFormat f = SampleFormat::Make(48000, channels, bytes);
            const int64_t top = (int64_t{1} << (8 * bytes - 1)) - 1;  // 8-bit samples are unsigned around 127
            EXPECT_EQ(f.bitsPerSample, 8 * bytes);
            EXPECT_EQ(f.maxValue, bytes == 1 ? 255 : top) << bytes;
            EXPECT_EQ(f.minValue, bytes == 1 ? 0 : -top) << bytes;
            EXPECT_EQ(f.zeroOffset, bytes == 1 ? 127 : 0) << bytes;
            EXPECT_DOUBLE_EQ(f.FullScale(), (double{f.maxValue} - f.minValue) / 2.0);
            EXPECT_EQ(f.BytesPerSecond(), 48000u * channels * bytes);
        }
    }
    EXPECT_EQ(SampleFormat::Make(0, 0, 0), SampleFormat::Make(44100, 1, 2));
    EXPECT_EQ(SampleFormat::Make(8000, 3, 2), SampleFormat::Make(8000, 1, 2));
    EXPECT_EQ(SampleFormat::Make(8000, 65535, 2), SampleFormat::Make(8000, 1, 2));
    EXPECT_EQ(SampleFormat::Make(8000, 2, 5), SampleFormat::Make(8000, 2, 2));  // a bad width leaves the channels alone
    EXPECT_EQ(SampleFormat::Make(1, 2, 1).rate, 1u);                             // any nonzero rate is kept
}

TEST(Numeric, DecibelsAndIntegerConversionsMatchTheirClosedForms) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> exponent(-300.0, 300.0), value(-1e12, 1e12);
    for (int i = 0; i < 1000; ++i) {
        const double x = std::pow(10.0, exponent(rng));
        EXPECT_NEAR(PowerToDb(x), 10.0 * std::log10(x), 1e-9) << x;
        EXPECT_NEAR(AmplitudeToDb(x), 20.0 * std::log10(x), 1e-9) << x;
        const double v = value(rng) / std::pow(10.0, i % 10);
        const double clamped = std::clamp(std::trunc(v), -2147483648.0, 2147483647.0);
        EXPECT_EQ(TruncToInt32(v), static_cast<int32_t>(clamped)) << v;
        EXPECT_EQ(TruncToUint32(v), static_cast<uint32_t>(std::clamp(std::trunc(v), 0.0, 4294967295.0))) << v;
        EXPECT_EQ(RoundHalfUpToInt32(v), static_cast<int32_t>(std::clamp(std::trunc(v + 0.5), -2147483648.0, 2147483647.0))) << v;
    }
    for (double bad : {0.0, -1.0, -1e-300, kNaN}) {  // no level: the "no value" marker
        EXPECT_EQ(PowerToDb(bad), -999.9);
        EXPECT_EQ(AmplitudeToDb(bad), -999.9);
    }
    EXPECT_EQ(RoundHalfUpToInt32(-2.4), -1);  // (int)(-2.4 + 0.5) = (int)(-1.9)
    EXPECT_EQ(RoundHalfUpToUint32(0.941), 1u);
    EXPECT_EQ(TruncToInt64(kNaN), 0);
}

TEST(TimeText, ShortestFormWhoseLeadingFieldIsNotZero) {
    const struct {
        double seconds;
        const char *withMillis, *plain;
    } cases[] = {
        {0.0009, "0.000", "0"},         {59.999, "59.999", "59"},         {60.0, "1:00.000", "1:00"},
        {3599.5, "59:59.500", "59:59"}, {3661.007, "1:01:01.007", "1:01:01"},
        {86400.0, "24:00:00.000", "24:00:00"},  // a whole day exactly does not wrap
        {86401.5, "1.500", "1"},                // beyond a day the clock wraps
        {-0.25, "-0.250", "-0"},        {-61.0, "-1:01.000", "-1:01"},   {-3600.0, "-1:00:00.000", "-1:00:00"},
        {std::numeric_limits<double>::infinity(), "0.000", "0"}, {kNaN, "0.000", "0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatTimeWithMillis(c.seconds), c.withMillis) << c.seconds;
        EXPECT_EQ(FormatTime(c.seconds), c.plain) << c.seconds;
    }
    EXPECT_FALSE(FormatTimeWithMillis(1e300).empty());
}

TEST(StringTable, UnknownNumbersSaySo) {
    EXPECT_TRUE(HasString(239));
    EXPECT_EQ(LoadString(239).find("not found"), std::string::npos);
    EXPECT_FALSE(HasString(31));
    EXPECT_EQ(LoadString(31), "StringTable entry 31 not found");
    EXPECT_EQ(LoadString(-4), "StringTable entry -4 not found");
}

}  // namespace
}  // namespace zeltrak
