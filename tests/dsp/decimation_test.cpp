#include "dsp/decimation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zeltrak {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Little-endian stored samples of 1 (unsigned), 2, 3 or 4 bytes, packed and read byte by byte.
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

struct Width { int bytes; int64_t zero, low, high; };
constexpr Width kWidths[] = {
    {1, 128, 0, 255}, {2, 0, -32768, 32767}, {3, 0, -8388608, 8388607}, {4, 0, INT32_MIN, INT32_MAX}};

// Sines well inside the pass band come out unchanged (advanced by 19 samples), well above the cut-off at
// 1/(2·ratio) stopped; a square wave's overshoot saturates; each output is a plain convolution of a copy.
TEST(Decimation, FilterResponseAndSaturationForEveryWidth) {
    const size_t count = 1024 + 39;
    for (uint32_t ratio : {1u, 2u, 4u}) {
        const DecimationTaps taps = DesignDecimationFilter(ratio);
        for (const Width& w : kWidths) {
            const double amplitude = 0.6 * static_cast<double>(w.high - w.zero);
            // cycles per sample; 0 stands for the square wave
            for (double cycles : {0.0, 0.01, 0.45}) {
                SCOPED_TRACE(::testing::Message() << "ratio " << ratio << ", " << w.bytes << " bytes, " << cycles);
                std::vector<int64_t> values(count);
                for (size_t i = 0; i < count; ++i)
                    values[i] = cycles == 0.0 ? ((i / 50) % 2 ? w.high : w.low)
                                              : w.zero + std::llround(amplitude * std::sin(2 * kPi * cycles * i));
                std::vector<uint8_t> bytes = Pack(values, w.bytes);
                ASSERT_TRUE(LowPassFilterSamples(bytes.data(), count, static_cast<uint16_t>(w.bytes), taps));
                bool clipped = false;
                for (size_t p = 0; p < count; ++p) {
                    const int64_t got = Unpack(bytes, p, w.bytes);
                    if (p + 40 >= count) {  // the last 40 samples are not filter outputs
                        ASSERT_EQ(got, values[p]) << p;
                        continue;
                    }
                    double acc = 0;
                    for (int k = 0; k < 39; ++k) acc += static_cast<double>(values[p + k]) * taps[k];
                    ASSERT_EQ(got, std::clamp<int64_t>(static_cast<int64_t>(std::trunc(acc)), w.low, w.high)) << p;
                    clipped |= got == w.low || got == w.high;
                    const double tolerance = 0.01 * amplitude + 2;
                    if (cycles == 0.01 || (cycles > 0 && ratio == 1)) {
                        ASSERT_NEAR(static_cast<double>(got - values[p + 19]), 0.0, tolerance) << p;
                    } else if (cycles > 0) {
                        ASSERT_LT(std::fabs(static_cast<double>(got - w.zero)), tolerance) << p;
                    }
                }
                EXPECT_TRUE(clipped || cycles > 0 || ratio == 1);
            }
        }
    }
}

TEST(Decimation, DecimateEveryWidthAndRefuseBadInput) {
    for (const Width& w : kWidths) {
        std::vector<int64_t> values(103);
        for (size_t i = 0; i < values.size(); ++i) values[i] = w.bytes == 1 ? i : static_cast<int64_t>(i) * -77 + 5;
        for (uint32_t ratio : {2u, 3u, 30u}) {
            std::vector<uint8_t> bytes = Pack(values, w.bytes);
            const size_t kept = DecimateSamples(bytes.data(), values.size(), static_cast<uint16_t>(w.bytes), ratio);
            ASSERT_EQ(kept, values.size() / ratio);
            for (size_t i = 0; i < kept; ++i) EXPECT_EQ(Unpack(bytes, i, w.bytes), values[i * ratio]) << w.bytes;
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
    bytes = Pack(std::vector<int64_t>(40, 1234), 2);
    EXPECT_TRUE(LowPassFilterSamples(bytes.data(), 40, 2, taps));
    EXPECT_EQ(bytes, Pack(std::vector<int64_t>(40, 1234), 2));
}

}  // namespace
}  // namespace zeltrak
