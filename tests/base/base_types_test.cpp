// Sample limits, levels, conversions and time texts against their closed forms, and the
// fallbacks for values that cannot be used.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>

#include "base/numeric.h"
#include "base/sample_format.h"
#include "base/strings.h"
#include "base/time_text.h"

namespace zeltrak {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN(), kInf = std::numeric_limits<double>::infinity();

TEST(SampleFormat, LimitsFollowFromTheWidthAndBadInputsFallBackOneByOne) {
    using Limits = std::tuple<int, int32_t, int32_t, int32_t, uint32_t>;  // bits, min, max, zero, bytes per second
    for (int bytes = 1; bytes <= 4; ++bytes) {  // 8-bit samples are unsigned around 127
        const SampleFormat f = SampleFormat::Make(48000, 2, static_cast<uint16_t>(bytes));
        const auto top = static_cast<int32_t>((int64_t{1} << (8 * bytes - 1)) - 1);
        EXPECT_EQ(Limits(f.bitsPerSample, f.minValue, f.maxValue, f.zeroOffset, f.BytesPerSecond()),
                  bytes == 1 ? Limits(8, 0, 255, 127, 96000) : Limits(8 * bytes, -top, top, 0, 96000 * bytes));
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
    auto clamped = [](double v, double low, double high) { return std::clamp(std::trunc(v), low, high); };
    for (int i = 0; i < 1000; ++i) {
        const double x = std::pow(10.0, exponent(rng)), v = value(rng) / std::pow(10.0, i % 10);
        EXPECT_NEAR(PowerToDb(x), 10.0 * std::log10(x), 1e-9) << x;
        EXPECT_NEAR(AmplitudeToDb(x), 20.0 * std::log10(x), 1e-9) << x;
        EXPECT_EQ(TruncToInt32(v), static_cast<int32_t>(clamped(v, INT32_MIN, INT32_MAX))) << v;
        EXPECT_EQ(TruncToUint32(v), static_cast<uint32_t>(clamped(v, 0.0, UINT32_MAX))) << v;
        EXPECT_EQ(RoundHalfUpToInt32(v), static_cast<int32_t>(clamped(v + 0.5, INT32_MIN, INT32_MAX))) << v;
    }
    for (double bad : {0.0, -1.0, -1e-300, kNaN})  // no level: the "no value" marker
        EXPECT_TRUE(PowerToDb(bad) == -999.9 && AmplitudeToDb(bad) == -999.9) << bad;
    EXPECT_EQ(RoundHalfUpToUint32(0.941), 1u);
    EXPECT_EQ(TruncToInt64(kNaN), 0);
}

TEST(TimeText, ShortestFormWhoseLeadingFieldIsNotZero) {
    const std::tuple<double, const char*, const char*> cases[] = {  // seconds, with milliseconds, plain
        {0.0009, "0.000", "0"}, {59.999, "59.999", "59"}, {60.0, "1:00.000", "1:00"}, {3599.5, "59:59.500", "59:59"},
        {3661.007, "1:01:01.007", "1:01:01"}, {-0.25, "-0.250", "-0"}, {-61.0, "-1:01.000", "-1:01"},
        {86400.0, "24:00:00.000", "24:00:00"},  // a whole day exactly does not wrap
        {86401.5, "1.500", "1"},                // beyond a day the clock wraps
        {-3600.0, "-1:00:00.000", "-1:00:00"}, {kInf, "0.000", "0"}, {kNaN, "0.000", "0"},
    };
    for (const auto& [seconds, withMillis, plain] : cases) {
        EXPECT_EQ(FormatTimeWithMillis(seconds), withMillis) << seconds;
        EXPECT_EQ(FormatTime(seconds), plain) << seconds;
    }
    EXPECT_FALSE(FormatTimeWithMillis(1e300).empty());
}

TEST(StringTable, UnknownNumbersSaySo) {
    EXPECT_TRUE(HasString(239) && LoadString(239).find("not found") == std::string::npos);
    EXPECT_FALSE(HasString(31));
    EXPECT_EQ(LoadString(31) + LoadString(-4), "StringTable entry 31 not foundStringTable entry -4 not found");
}

}  // namespace
}  // namespace zeltrak
