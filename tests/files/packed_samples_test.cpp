// The whole-block sample passes against a decode of each sample on its own.
#include <gtest/gtest.h>

#include <algorithm>

#include "files/wave_data.h"
#include "support/wave_builder.h"

namespace zeltrak {
namespace {

TEST(PackedSamples, RangeAndFloatsMatchSampleBySample) {
    for (unsigned width = 1; width <= 4; ++width) {
        for (uint32_t n : {1u, 7u, 1000u}) {
            const std::vector<uint8_t> bytes = test::PatternBytes(width * n, width + n);
            const int32_t zero = width == 1 ? 128 : 0;
            int32_t lo = 0, hi = 0;
            PackedSampleRange(bytes.data(), width, n, lo, hi);
            std::vector<float> floats(n);
            PackedSamplesToFloats(bytes.data(), width, n, zero, floats.data());
            int32_t wantLo = INT32_MAX, wantHi = INT32_MIN;
            for (uint32_t i = 0; i < n; ++i) {
                const int32_t v = DecodeSample(bytes.data() + width * i, width);
                wantLo = std::min(wantLo, v), wantHi = std::max(wantHi, v);
                ASSERT_EQ(floats[i], static_cast<float>(static_cast<double>(v) - zero)) << width << " bytes, " << i;
            }
            EXPECT_EQ(std::make_pair(lo, hi), std::make_pair(wantLo, wantHi)) << width << " bytes, n " << n;
        }
    }
}

}  // namespace
}  // namespace zeltrak
