#include "files/wave_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

// Fills every sample with a value that encodes frame and channel, so misplaced bytes show.
std::vector<int32_t> FillRamp(TWaveData& w) {
    const auto& f = w.Format();
    std::vector<int32_t> values;
    for (uint32_t i = 0; i < w.Length(); ++i) {
        for (uint32_t c = 0; c < f.channels; ++c) {
            int32_t v = f.bytesPerSample == 1 ? static_cast<int32_t>((i * 7 + c * 100) % 256)
                                              : static_cast<int32_t>(i * 37 + 1) * (c ? -1 : 1) * (f.bytesPerSample >= 3 ? 251 : 1);
            EXPECT_TRUE(w.PutSample(v, i, c));
            values.push_back(v);
        }
    }
    return values;
}

TEST(WaveData, ConversionsBetweenFramesBytesAndSeconds) {
    TWaveData w(10, SampleFormat::Make(48000, 2, 3));
    EXPECT_EQ(w.FramesToBytes(10), 60u);
    EXPECT_EQ(w.BytesToFrames(61), 10u);
    EXPECT_DOUBLE_EQ(w.FramesToSeconds(24000), 0.5);
    EXPECT_EQ(w.SecondsToFrames(0.0333333), 1599u);  // truncated, not rounded
    EXPECT_EQ(w.DataSize(), 60u);

    TWaveData d;  // the defaults
    EXPECT_EQ(+d.Format().rate, 44100u);
    EXPECT_EQ(+d.Format().channels, 1u);
    EXPECT_EQ(+d.Format().bytesPerSample, 2u);
    EXPECT_EQ(d.FullScaleLeft(), 1.0f);
    EXPECT_EQ(d.Buffer(), nullptr);
    EXPECT_FLOAT_EQ(d.ScaleLeft(), 1.0f / 32767.0f);
}

TEST(WaveData, SeekAdvanceAndSetLengthKeepPositionsInside) {
    ScriptedHost host;
    TWaveData w(100, SampleFormat::Make(8000, 1, 1), &host);
    w.Seek(100);
    EXPECT_EQ(w.Position(), 100u);
    w.Seek(101);  // beyond the length: kept
    EXPECT_EQ(w.Position(), 100u);
    w.Rewind();
    w.Advance(40);
    EXPECT_EQ(w.Position(), 40u);
    w.Advance(1000);
    EXPECT_EQ(w.Position(), 99u);

    // Growing fills the new frames with the 8-bit zero level; shrinking cuts the positions.
    ASSERT_TRUE(w.SetLength(150));
    EXPECT_FALSE(host.busyCursor);
    for (uint32_t i = 100; i < 150; ++i) ASSERT_EQ(w.GetSample(i, 0, false), 127.0) << i;
    ASSERT_TRUE(w.PutSample(200, 120, 0));
    EXPECT_EQ(w.WrittenLength(), 121u);
    ASSERT_TRUE(w.SetLength(60));
    EXPECT_EQ(w.Length(), 60u);
    EXPECT_EQ(w.Position(), 60u);
    EXPECT_EQ(w.WrittenLength(), 60u);
    EXPECT_EQ(w.DataSize(), 60u);
}

TEST(WaveData, FullScaleAndCalibratedSamples) {
    TWaveData w(4, SampleFormat::Make(8000, 2, 2));
    w.SetFullScale(2.5f, 0.0f);
    EXPECT_EQ(w.FullScaleLeft(), 2.5f);
    EXPECT_EQ(w.FullScaleRight(), 2.0f);  // not above 0: replaced
    w.SetFullScale(-1.0f, NAN);
    EXPECT_EQ(w.FullScaleLeft(), 2.0f);
    EXPECT_EQ(w.FullScaleRight(), 2.0f);
    w.SetFullScale(10.0f, 1.0f);
    ASSERT_TRUE(w.PutSample(-16384, 1, 0));
    ASSERT_TRUE(w.PutSample(32767, 1, 1));
    EXPECT_NEAR(w.GetSample(1, 0, true), -16384.0 * 10.0 / 32767.0, 1e-5);
    EXPECT_NEAR(w.GetSample(1, 1, true), 1.0, 1e-6);
    EXPECT_EQ(w.GetSample(1, 0, false), -16384.0);

    // 8-bit: uncalibrated is the raw unsigned value, calibrated is relative to 127.
    TWaveData b(2, SampleFormat::Make(8000, 1, 1));
    b.SetFullScale(1.0f, 1.0f);
    ASSERT_TRUE(b.PutSample(0, 0, 0));
    EXPECT_EQ(b.GetSample(0, 0, false), 0.0);
    EXPECT_NEAR(b.GetSample(0, 0, true), -127.0 / 127.5, 1e-6);
}

TEST(WaveData, PutSampleRefusesValuesTheWidthCannotHold) {
    TWaveData b(2, SampleFormat::Make(8000, 1, 1));
    EXPECT_FALSE(b.PutSample(256, 0, 0));
    EXPECT_FALSE(b.PutSample(-1, 0, 0));
    EXPECT_TRUE(b.PutSample(255, 0, 0));
    TWaveData s(2, SampleFormat::Make(8000, 1, 2));
    EXPECT_FALSE(s.PutSample(32768, 0, 0));
    EXPECT_TRUE(s.PutSample(-32768, 0, 0));
    TWaveData t(2, SampleFormat::Make(8000, 1, 3));
    EXPECT_FALSE(t.PutSample(8388608, 0, 0));
    ASSERT_TRUE(t.PutSample(-8388608, 1, 0));
    EXPECT_EQ(t.GetSample(1, 0, false), -8388608.0);  // sign-extended from bit 23
    EXPECT_FALSE(t.PutSample(5, 2, 0));               // past the length
    EXPECT_EQ(t.Position(), 2u);
    EXPECT_TRUE(t.Modified());
}

TEST(WaveData, ChannelsRoundTripForEveryWidth) {
    for (uint16_t bps = 1; bps <= 4; ++bps) {
        for (uint16_t ch = 1; ch <= 2; ++ch) {
            SCOPED_TRACE(testing::Message() << "bytes " << bps << " channels " << ch);
            TWaveData w(33, SampleFormat::Make(8000, ch, bps));
            auto values = FillRamp(w);
            for (uint32_t c = 0; c < ch; ++c) {
                std::vector<uint8_t> out(33 * bps);
                ASSERT_TRUE(w.ReadChannel(out.data(), 0, 33, c));
                for (uint32_t i = 0; i < 33; ++i) ASSERT_EQ(DecodeSample(&out[i * bps], bps), values[i * ch + c]) << i;
                // Written back reversed into the other channel; the first stays untouched.
                std::vector<uint8_t> rev(33 * bps);
                for (uint32_t i = 0; i < 33; ++i) std::copy_n(&out[(32 - i) * bps], bps, &rev[i * bps]);
                EXPECT_EQ(w.WriteChannel(rev.data(), 0, 33, ch - 1 - c), 33u);
                std::vector<uint8_t> again(33 * bps);
                ASSERT_TRUE(w.ReadChannel(again.data(), 0, 33, ch - 1 - c));
                EXPECT_EQ(again, rev);
                values.clear();
                for (uint32_t i = 0; i < 33; ++i)
                    for (uint32_t k = 0; k < ch; ++k) values.push_back(static_cast<int32_t>(w.GetSample(i, k, false)));
            }
        }
    }
}

TEST(WaveData, ReadChannelPastTheEndAndMonoChannelOne) {
    TWaveData b(10, SampleFormat::Make(8000, 1, 1));
    for (uint32_t i = 0; i < 10; ++i) ASSERT_TRUE(b.PutSample(i * 20, i, 0));
    std::vector<uint8_t> out(5, 0xAA);
    EXPECT_FALSE(b.ReadChannel(out.data(), 6, 5, 0));
    EXPECT_EQ(out, std::vector<uint8_t>(5, 127));
    ASSERT_TRUE(b.ReadChannel(out.data(), 5, 5, 1));  // channel 1 of a mono file is channel 0
    EXPECT_EQ(out, (std::vector<uint8_t>{100, 120, 140, 160, 180}));

    TWaveData s(4, SampleFormat::Make(8000, 2, 2));
    std::vector<uint8_t> in = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0};
    EXPECT_EQ(s.WriteChannel(in.data(), 2, 5, 1), 2u);  // cut to fit
    EXPECT_EQ(s.GetSample(3, 1, false), 2.0);
    EXPECT_EQ(s.WrittenLength(), 4u);
}

TEST(WaveData, SequentialBytesAtThePosition) {
    TWaveData w(4, SampleFormat::Make(8000, 2, 2));  // 16 bytes
    std::vector<uint8_t> block(8);
    for (size_t i = 0; i < 8; ++i) block[i] = static_cast<uint8_t>(i + 1);
    ASSERT_TRUE(w.WriteBytes(block.data(), 8));
    EXPECT_EQ(w.Position(), 2u);
    EXPECT_EQ(w.WrittenLength(), 2u);
    std::vector<uint8_t> big(12, 9);
    EXPECT_FALSE(w.WriteBytes(big.data(), 12));  // does not fit: refused and zeroed
    EXPECT_EQ(big, std::vector<uint8_t>(12, 0));
    EXPECT_EQ(w.Position(), 2u);

    w.Seek(1);
    std::vector<uint8_t> out(12, 0xEE);
    EXPECT_EQ(w.ReadBytes(out.data(), 12), 12u);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(out[3], 8);
    EXPECT_EQ(w.Position(), 4u);
    w.Seek(2);
    EXPECT_EQ(w.ReadBytes(out.data(), 12), 8u);  // 4 bytes past the end come back as zero
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 8, out.end()), std::vector<uint8_t>(4, 0));
    EXPECT_EQ(w.Position(), 3u);
}

TEST(WaveData, StatisticsMatchADirectComputation) {
    TWaveData w(1000, SampleFormat::Make(8000, 2, 2));
    double sp = 0, sn = 0;
    uint32_t cp = 0, cn = 0;
    int32_t mn = INT32_MAX, mx = INT32_MIN;
    for (uint32_t i = 0; i < 1000; ++i) {
        int32_t v = static_cast<int32_t>(std::lround(20000 * std::sin(i * 0.05) + 300 * std::cos(i * 1.7)));
        ASSERT_TRUE(w.PutSample(v, i, 1));
        ASSERT_TRUE(w.PutSample(-v / 2, i, 0));
        if (i >= 100 && i <= 899) {
            mn = std::min(mn, v);
            mx = std::max(mx, v);
            (v >= 0 ? sp : sn) += double(v) * v;
            ++(v >= 0 ? cp : cn);
        }
    }
    WaveStatistics s;
    ASSERT_TRUE(w.Statistics(100, 899, 1, true, s));
    EXPECT_EQ(s.minimum, mn);
    EXPECT_EQ(s.maximum, mx);
    EXPECT_DOUBLE_EQ(s.sumSquaresPositive, sp);
    EXPECT_DOUBLE_EQ(s.sumSquaresNegative, sn);
    EXPECT_EQ(s.countPositive, cp);
    EXPECT_EQ(s.countNegative, cn);
    EXPECT_EQ(cp + cn, 800u);
    ASSERT_TRUE(w.Statistics(990, 5000, 1, false, s));  // end cut to the last frame
    int32_t tailMin = INT32_MAX, tailMax = INT32_MIN;
    for (uint32_t i = 990; i < 1000; ++i) {
        tailMin = std::min(tailMin, static_cast<int32_t>(w.GetSample(i, 1, false)));
        tailMax = std::max(tailMax, static_cast<int32_t>(w.GetSample(i, 1, false)));
    }
    EXPECT_EQ(s.minimum, tailMin);
    EXPECT_EQ(s.maximum, tailMax);
    EXPECT_FALSE(w.Statistics(1000, 2000, 0, false, s));
}

TEST(WaveData, SilenceClearAndDecimate) {
    TWaveData b(10, SampleFormat::Make(8000, 2, 1));
    for (uint32_t i = 0; i < 10; ++i) {
        ASSERT_TRUE(b.PutSample(i, i, 0));
        ASSERT_TRUE(b.PutSample(200 + i, i, 1));
    }
    ASSERT_TRUE(b.Silence(3, 4));  // memory mode: exactly the range
    EXPECT_EQ(b.GetSample(2, 0, false), 2.0);
    EXPECT_EQ(b.GetSample(3, 0, false), 127.0);
    EXPECT_EQ(b.GetSample(4, 1, false), 127.0);
    EXPECT_EQ(b.GetSample(5, 1, false), 205.0);

    ASSERT_TRUE(b.Decimate(3));  // keeps frames 0, 3, 6, 9
    EXPECT_EQ(b.Length(), 4u);
    EXPECT_EQ(b.GetSample(0, 0, false), 0.0);
    EXPECT_EQ(b.GetSample(1, 0, false), 127.0);
    EXPECT_EQ(b.GetSample(2, 1, false), 206.0);
    EXPECT_EQ(b.GetSample(3, 0, false), 9.0);
    EXPECT_FALSE(b.Decimate(1));

    ASSERT_TRUE(b.ClearBuffer());
    for (uint32_t i = 0; i < b.DataSize(); ++i) ASSERT_EQ(b.Buffer()[i], 127);
    TWaveData s(3, SampleFormat::Make(8000, 1, 2));
    ASSERT_TRUE(s.PutSample(-5, 1, 0));
    ASSERT_TRUE(s.ClearBuffer());
    EXPECT_EQ(s.GetSample(1, 0, false), 0.0);
}

TEST(WaveData, TriggerLevelsAndEdges) {
    // 16-bit: 25 % of 32767 = 8191 counts.
    TWaveData w(8, SampleFormat::Make(8000, 1, 2));
    const int32_t v[8] = {0, 3000, 8190, 8191, -9000, -1000, 9000, 0};
    for (uint32_t i = 0; i < 8; ++i) ASSERT_TRUE(w.PutSample(v[i], i, 0));
    uint32_t at = 99;
    EXPECT_TRUE(w.FindTrigger({0, 0, 25}, 0, 8, 0, &at));
    EXPECT_EQ(at, 3u);
    EXPECT_TRUE(w.FindTrigger({0, 1, 25}, 0, 8, 0, &at));
    EXPECT_EQ(at, 4u);
    EXPECT_FALSE(w.FindTrigger({0, 0, 25}, 0, 3, 0, &at));  // end is exclusive
    // Edges: rise of 10000 at 6 (8000 at 5 stays below), fall of 17191 at 4; a rise of 5190 at 2 stays below.
    EXPECT_TRUE(w.FindTrigger({1, 0, 25}, 0, 8, 0, &at));
    EXPECT_EQ(at, 6u);
    EXPECT_TRUE(w.FindTrigger({1, 1, 25}, 0, 8, 0, &at));
    EXPECT_EQ(at, 4u);
    EXPECT_FALSE(w.FindTrigger({2, 0, 25}, 0, 8, 0, &at));
    EXPECT_FALSE(w.FindTrigger({0, 2, 25}, 0, 8, 0, &at));

    // 8-bit: threshold 50 % is 127 + 64 = 191; the negative level mirrors it at 63.
    TWaveData b(4, SampleFormat::Make(8000, 1, 1));
    const int32_t u[4] = {127, 150, 64, 63};
    for (uint32_t i = 0; i < 4; ++i) ASSERT_TRUE(b.PutSample(u[i], i, 0));
    EXPECT_FALSE(b.FindTrigger({0, 0, 50}, 0, 4, 0, &at));
    EXPECT_TRUE(b.FindTrigger({0, 1, 50}, 0, 4, 0, &at));
    EXPECT_EQ(at, 3u);
    EXPECT_TRUE(b.FindTrigger({1, 1, 50}, 0, 4, 0, &at));  // fall of 86 >= 64
    EXPECT_EQ(at, 2u);
}

TEST(WaveData, MemoryRemainingSeconds) {
    TWaveData w(16000, SampleFormat::Make(8000, 2, 2));
    w.Seek(4000);
    EXPECT_DOUBLE_EQ(w.RemainingSeconds(), 1.5);
}

}  // namespace
}  // namespace zeltrak
