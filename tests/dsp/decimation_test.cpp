#include "dsp/decimation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace zeltrak {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Little-endian stored samples of 1 (unsigned), 2, 3 or 4 bytes, built and read here
// byte by byte, independently of the code under test.
std::vector<uint8_t> Pack(const std::vector<int64_t>& values, int width) {
    std::vector<uint8_t> bytes(values.size() * width);
    for (size_t i = 0; i < values.size(); ++i)
        for (int b = 0; b < width; ++b) bytes[i * width + b] = static_cast<uint8_t>((values[i] >> (8 * b)) & 0xFF);
    return bytes;
}

int64_t Unpack(const std::vector<uint8_t>& bytes, size_t i, int width) {
    uint64_t v = 0;
    for (int b = 0; b < width; ++b) v |= static_cast<uint64_t>(bytes[i * width + b]) << (8 * b);
    if (width == 1) return static_cast<int64_t>(v);
    const uint64_t sign = uint64_t{1} << (8 * width - 1);
    return static_cast<int64_t>(v ^ sign) - static_cast<int64_t>(sign);
}

TEST(Decimation, TapsForRatioTwo) {
    const DecimationTaps taps = DesignDecimationFilter(2);
    EXPECT_FLOAT_EQ(taps[19], 0.5f);
    double sum = 0;
    for (int n = 1; n <= 19; ++n) {
        const double hann = std::pow(std::sin(kPi * (19 + n) / 38), 2);  // 39-point Hanning
        if (n % 2 == 1) {
            const double sign = (n % 4 == 1) ? 1.0 : -1.0;
            EXPECT_NEAR(taps[19 + n], sign * hann / (n * kPi), 1e-7) << n;
        } else {
            EXPECT_NEAR(taps[19 + n], 0.0, 1e-15) << n;
        }
        EXPECT_EQ(taps[19 + n], taps[19 - n]) << n;
    }
    for (float t : taps) sum += t;
    EXPECT_NEAR(sum, 1.0, 0.01);  // unit gain at DC
    EXPECT_NEAR(taps[0], 0.0, 1e-15);  // the taper's ends
}

// The same buffer filtered by a plain convolution over an untouched copy.
std::vector<int64_t> Reference(const std::vector<int64_t>& in, const DecimationTaps& taps, int64_t low, int64_t high) {
    std::vector<int64_t> out = in;
    for (size_t p = 0; p + 40 < in.size(); ++p) {
        double acc = 0;
        for (int k = 0; k < 39; ++k) acc += static_cast<double>(in[p + k]) * taps[k];
        out[p] = std::min<int64_t>(high, std::max<int64_t>(low, static_cast<int64_t>(std::trunc(acc))));
    }
    return out;
}

TEST(Decimation, FilterEveryWidthPassesLowAndStopsHighFrequencies) {
    struct Width {
        int bytes;
        int64_t zero, amplitude, low, high;
    };
    const Width widths[] = {{1, 127, 100, 0, 255},
                            {2, 0, 20000, -32768, 32767},
                            {3, 0, 5000000, -8388608, 8388607},
                            {4, 0, 1000000000, INT32_MIN, INT32_MAX}};
    const uint32_t ratio = 4;  // cut-off at 1/8 of the sampling rate
    const DecimationTaps taps = DesignDecimationFilter(ratio);
    const size_t count = 4 * 256 + 39;
    for (const Width& w : widths) {
        for (double cycles : {0.01, 0.4}) {  // per sample: well inside, far outside the pass band
            std::vector<int64_t> values(count);
            for (size_t i = 0; i < count; ++i)
                values[i] = w.zero + std::llround(w.amplitude * std::sin(2 * kPi * cycles * i));
            std::vector<uint8_t> bytes = Pack(values, w.bytes);
            ASSERT_TRUE(LowPassFilterSamples(bytes.data(), count, static_cast<uint16_t>(w.bytes), taps));
            const auto want = Reference(values, taps, w.low, w.high);
            for (size_t i = 0; i < count; ++i) ASSERT_EQ(Unpack(bytes, i, w.bytes), want[i]) << w.bytes << " " << i;
            for (size_t p = 0; p + 40 < count; ++p) {
                const double got = static_cast<double>(Unpack(bytes, p, w.bytes) - w.zero);
                if (cycles < 0.1) {  // passes, advanced by 19 samples
                    ASSERT_NEAR(got, static_cast<double>(values[p + 19] - w.zero), 0.01 * w.amplitude + 2) << p;
                } else {  // stopped
                    ASSERT_LT(std::fabs(got), 0.01 * w.amplitude + 2) << p;
                }
            }
            // the last 40 samples are not filter outputs
            for (size_t i = count - 40; i < count; ++i) ASSERT_EQ(Unpack(bytes, i, w.bytes), values[i]);
        }
    }
}

// A full-scale step overshoots a little; the result saturates instead of wrapping around.
TEST(Decimation, OvershootSaturates) {
    const DecimationTaps taps = DesignDecimationFilter(2);
    std::vector<int64_t> values(200);
    for (size_t i = 0; i < values.size(); ++i) values[i] = (i / 50) % 2 ? 32767 : -32768;
    std::vector<uint8_t> bytes = Pack(values, 2);
    ASSERT_TRUE(LowPassFilterSamples(bytes.data(), values.size(), 2, taps));
    bool clipped = false;
    for (size_t p = 0; p + 40 < values.size(); ++p) {
        const int64_t v = Unpack(bytes, p, 2);
        // the output keeps the sign of the exact filter sum (a wrapped value would not)
        double acc = 0;
        for (int k = 0; k < 39; ++k) acc += static_cast<double>(values[p + k]) * taps[k];
        if (std::fabs(acc) > 1000) {
            ASSERT_EQ(v > 0, acc > 0) << p;
        }
        clipped |= v == 32767 || v == -32768;
    }
    EXPECT_TRUE(clipped);
}

TEST(Decimation, DecimateEveryWidthAndRefuseBadInput) {
    for (int width = 1; width <= 4; ++width) {
        std::vector<int64_t> values(103);
        for (size_t i = 0; i < values.size(); ++i) values[i] = width == 1 ? i : static_cast<int64_t>(i) * -77 + 5;
        for (uint32_t ratio : {2u, 3u, 30u}) {
            std::vector<uint8_t> bytes = Pack(values, width);
            const size_t kept = DecimateSamples(bytes.data(), values.size(), static_cast<uint16_t>(width), ratio);
            ASSERT_EQ(kept, values.size() / ratio);
            for (size_t i = 0; i < kept; ++i) EXPECT_EQ(Unpack(bytes, i, width), values[i * ratio]) << width << " " << i;
        }
    }
    std::vector<uint8_t> bytes = Pack({1, 2, 3, 4}, 2);
    EXPECT_EQ(DecimateSamples(bytes.data(), 4, 2, 1), 4u);
    EXPECT_EQ(DecimateSamples(bytes.data(), 4, 2, 0), 0u);
    EXPECT_EQ(DecimateSamples(nullptr, 4, 2, 2), 0u);
    EXPECT_EQ(DecimateSamples(bytes.data(), 4, 5, 2), 0u);

    const DecimationTaps taps = DesignDecimationFilter(2);
    EXPECT_FALSE(LowPassFilterSamples(nullptr, 100, 2, taps));
    EXPECT_FALSE(LowPassFilterSamples(bytes.data(), 2, 0, taps));
    // 40 samples or fewer: nothing to filter, nothing touched
    std::vector<uint8_t> shortBuffer = Pack(std::vector<int64_t>(40, 1234), 2);
    const std::vector<uint8_t> before = shortBuffer;
    EXPECT_TRUE(LowPassFilterSamples(shortBuffer.data(), 40, 2, taps));
    EXPECT_EQ(shortBuffer, before);
}

}  // namespace
}  // namespace zeltrak
