// Sample buffers: positions and refusals at the edges, every width read back, and the
// statistics and trigger search against a direct computation.
#include "files/wave_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

TEST(WaveData, PositionsAndLengthsStayInside) {
    ScriptedHost host;
    TWaveData w(100, SampleFormat::Make(8000, 1, 1), &host);
    w.Seek(101);  // beyond the length: kept where it was
    EXPECT_EQ(w.Position(), 0u);
    w.Advance(40);
    EXPECT_EQ(w.Position(), 40u);
    w.Advance(1000);
    EXPECT_EQ(w.Position(), 99u);
    EXPECT_EQ(w.SecondsToFrames(0.0333333), 266u);  // truncated, not rounded
    // Growing fills the new frames with the 8-bit zero level; shrinking cuts the positions.
    ASSERT_TRUE(w.SetLength(150));
    for (uint32_t i = 100; i < 150; ++i) ASSERT_EQ(w.GetSample(i, 0, false), 127.0) << i;
    ASSERT_TRUE(w.PutSample(200, 120, 0));
    EXPECT_EQ(w.WrittenLength(), 121u);
    ASSERT_TRUE(w.SetLength(60));
    EXPECT_EQ(w.Position(), 60u);
    EXPECT_EQ(w.WrittenLength(), 60u);
    EXPECT_EQ(w.DataSize(), 60u);
    TWaveData m(16000, SampleFormat::Make(8000, 2, 2));
    m.Seek(4000);
    EXPECT_DOUBLE_EQ(m.RemainingSeconds(), 1.5);
}

TEST(WaveData, FullScaleRefusesBadValuesAndScalesCalibratedSamples) {
    TWaveData w(4, SampleFormat::Make(8000, 2, 2));
    w.SetFullScale(2.5f, 0.0f);
    EXPECT_EQ(w.FullScaleLeft(), 2.5f);
    EXPECT_EQ(w.FullScaleRight(), 2.0f);  // not above 0: replaced
    w.SetFullScale(-1.0f, NAN);
    EXPECT_EQ(w.FullScaleLeft(), 2.0f);
    EXPECT_EQ(w.FullScaleRight(), 2.0f);
    w.SetFullScale(10.0f, 1.0f);
    ASSERT_TRUE(w.PutSample(-16384, 1, 0) && w.PutSample(32767, 1, 1));
    EXPECT_NEAR(w.GetSample(1, 0, true), -16384.0 * w.ScaleLeft(), 1e-5);
    EXPECT_NEAR(w.ScaleLeft(), 10.0 / 32767.0, 1e-9);
    EXPECT_NEAR(w.GetSample(1, 1, true), 1.0, 1e-6);
    EXPECT_EQ(w.GetSample(1, 0, false), -16384.0);
    TWaveData b(2, SampleFormat::Make(8000, 1, 1));  // 8-bit: calibrated relative to 127
    ASSERT_TRUE(b.PutSample(0, 0, 0));
    EXPECT_NEAR(b.GetSample(0, 0, true), -127.0 / 127.5, 1e-6);
}

TEST(WaveData, EveryWidthRefusesWhatItCannotHoldAndChannelsStayApart) {
    const int64_t top[] = {0, 255, 32767, 8388607, INT32_MAX};  // 8-bit samples are unsigned
    for (uint16_t bps = 1; bps <= 4; ++bps) {
        const int64_t lowest = bps == 1 ? 0 : -top[bps] - 1;
        TWaveData r(2, SampleFormat::Make(8000, 1, bps));
        if (bps < 4) EXPECT_FALSE(r.PutSample(lowest - 1, 0, 0) || r.PutSample(top[bps] + 1, 0, 0)) << bps;
        ASSERT_TRUE(r.PutSample(lowest, 1, 0) && r.PutSample(top[bps], 0, 0));
        EXPECT_EQ(r.GetSample(1, 0, false), lowest) << bps;  // sign-extended from the top bit
        EXPECT_EQ(r.GetSample(0, 0, false), top[bps]) << bps;
        EXPECT_FALSE(r.PutSample(5, 2, 0));  // past the length
    }
    // Past the end, the mono file's channel 1, and a write cut to fit.
    TWaveData b(10, SampleFormat::Make(8000, 1, 1));
    for (uint32_t i = 0; i < 10; ++i) ASSERT_TRUE(b.PutSample(i * 20, i, 0));
    std::vector<uint8_t> out(5, 0xAA);
    EXPECT_FALSE(b.ReadChannel(out.data(), 6, 5, 0));
    EXPECT_EQ(out, std::vector<uint8_t>(5, 127));
    ASSERT_TRUE(b.ReadChannel(out.data(), 5, 5, 1));
    EXPECT_EQ(out, (std::vector<uint8_t>{100, 120, 140, 160, 180}));
    TWaveData s(4, SampleFormat::Make(8000, 2, 2));
    EXPECT_EQ(s.WriteChannel(out.data(), 2, 2, 1), 2u);
    EXPECT_EQ(s.WriteChannel(out.data(), 2, 5, 0), 2u);
    EXPECT_EQ(s.GetSample(3, 1, false), int16_t(160 * 256 + 140));  // little-endian, signed
    EXPECT_EQ(s.GetSample(3, 0, false), int16_t(160 * 256 + 140));
    EXPECT_EQ(s.GetSample(2, 1, false), 120 * 256 + 100);
    EXPECT_EQ(s.GetSample(1, 0, false), 0);
}

TEST(WaveData, SequentialBytesAreRefusedWhenTheyDoNotFit) {
    TWaveData w(4, SampleFormat::Make(8000, 2, 2));  // 16 bytes
    std::vector<uint8_t> block = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(w.WriteBytes(block.data(), 8));
    EXPECT_EQ(w.WrittenLength(), 2u);
    std::vector<uint8_t> big(12, 9);
    EXPECT_FALSE(w.WriteBytes(big.data(), 12));  // refused and zeroed
    EXPECT_EQ(big, std::vector<uint8_t>(12, 0));
    EXPECT_EQ(w.Position(), 2u);
    w.Seek(1);
    std::vector<uint8_t> out(12, 0xEE);
    EXPECT_EQ(w.ReadBytes(out.data(), 12), 12u);
    EXPECT_EQ(out[0], 5);
    w.Seek(2);
    EXPECT_EQ(w.ReadBytes(out.data(), 12), 8u);  // 4 bytes past the end come back as zero
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 8, out.end()), std::vector<uint8_t>(4, 0));
    EXPECT_EQ(w.Position(), 3u);
}

TEST(WaveData, StatisticsMatchADirectComputation) {
    TWaveData w(1000, SampleFormat::Make(8000, 2, 2));
    for (uint32_t i = 0; i < 1000; ++i) {
        const auto v = static_cast<int32_t>(std::lround(20000 * std::sin(i * 0.05) + 300 * std::cos(i * 1.7)));
        ASSERT_TRUE(w.PutSample(v, i, 1) && w.PutSample(-v / 2, i, 0));
    }
    for (auto [first, last] : {std::pair<uint32_t, uint32_t>{100, 899}, {990, 5000}}) {  // the end cut to the last frame
        WaveStatistics direct{INT32_MAX, INT32_MIN, 0, 0, 0, 0}, s;
        for (uint32_t i = first; i <= std::min(last, 999u); ++i) {
            const auto v = static_cast<int32_t>(w.GetSample(i, 1, false));
            direct.minimum = std::min(direct.minimum, v);
            direct.maximum = std::max(direct.maximum, v);
            (v >= 0 ? direct.sumSquaresPositive : direct.sumSquaresNegative) += double(v) * v;
            ++(v >= 0 ? direct.countPositive : direct.countNegative);
        }
        const bool rms = first == 100;
        ASSERT_TRUE(w.Statistics(first, last, 1, rms, s));
        EXPECT_EQ(s.minimum, direct.minimum);
        EXPECT_EQ(s.maximum, direct.maximum);
        if (!rms) continue;
        EXPECT_DOUBLE_EQ(s.sumSquaresPositive, direct.sumSquaresPositive);
        EXPECT_DOUBLE_EQ(s.sumSquaresNegative, direct.sumSquaresNegative);
        EXPECT_EQ(s.countPositive + s.countNegative, std::min(last, 999u) - first + 1);
        EXPECT_EQ(s.countPositive, direct.countPositive);
    }
    WaveStatistics s;
    EXPECT_FALSE(w.Statistics(1000, 2000, 0, false, s));
}

TEST(WaveData, SilenceClearAndDecimate) {
    TWaveData b(10, SampleFormat::Make(8000, 2, 1));
    for (uint32_t i = 0; i < 10; ++i) ASSERT_TRUE(b.PutSample(i, i, 0) && b.PutSample(200 + i, i, 1));
    ASSERT_TRUE(b.Silence(3, 4));  // memory mode: exactly the range
    const double silenced[] = {2, 127, 127, 5};
    for (uint32_t i = 2; i < 6; ++i) EXPECT_EQ(b.GetSample(i, 0, false), silenced[i - 2]) << i;
    ASSERT_TRUE(b.Decimate(3));  // keeps frames 0, 3, 6, 9
    EXPECT_EQ(b.Length(), 4u);
    const double kept[] = {0, 127, 6, 9};
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(b.GetSample(i, 0, false), kept[i]) << i;
    EXPECT_FALSE(b.Decimate(1));
    ASSERT_TRUE(b.ClearBuffer());
    for (uint32_t i = 0; i < b.DataSize(); ++i) ASSERT_EQ(b.Buffer()[i], 127);
}

TEST(WaveData, TriggerLevelsAndEdges) {
    // 16-bit: 25 % of 32767 = 8191 counts.
    TWaveData w(8, SampleFormat::Make(8000, 1, 2));
    const int32_t v[8] = {0, 3000, 8190, 8191, -9000, -1000, 9000, 0};
    for (uint32_t i = 0; i < 8; ++i) ASSERT_TRUE(w.PutSample(v[i], i, 0));
    // 8-bit: threshold 50 % is 127 + 64 = 191; the negative level mirrors it at 63.
    TWaveData b(4, SampleFormat::Make(8000, 1, 1));
    const int32_t u[4] = {127, 150, 64, 63};
    for (uint32_t i = 0; i < 4; ++i) ASSERT_TRUE(b.PutSample(u[i], i, 0));
    const struct {
        TWaveData* data;
        WaveTrigger trigger;
        uint32_t end;
        int64_t at;  // -1: none
    } cases[] = {
        {&w, {0, 0, 25}, 8, 3}, {&w, {0, 1, 25}, 8, 4},
        {&w, {0, 0, 25}, 3, -1},  // the end is exclusive
        // Edges: a rise of 10000 at 6 (8000 at 5 and 5190 at 2 stay below), a fall of 17191 at 4.
        {&w, {1, 0, 25}, 8, 6}, {&w, {1, 1, 25}, 8, 4},
        {&w, {2, 0, 25}, 8, -1}, {&w, {0, 2, 25}, 8, -1},  // unknown kind or slope
        {&b, {0, 0, 50}, 4, -1}, {&b, {0, 1, 50}, 4, 3}, {&b, {1, 1, 50}, 4, 2},  // a fall of 86 >= 64
    };
    for (const auto& c : cases) {
        uint32_t at = 99;
        EXPECT_EQ(c.data->FindTrigger(c.trigger, 0, c.end, 0, &at), c.at >= 0) << &c - cases;
        if (c.at >= 0) EXPECT_EQ(at, c.at) << &c - cases;
    }
}

}  // namespace
}  // namespace zeltrak
