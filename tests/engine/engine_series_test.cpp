// TSeriesData on the stored widths: sign extension, scale, decimated length, level and
// trigger on unsigned 8-bit data.
#include <gtest/gtest.h>

#include "engine/processing_settings.h"
#include "engine/series_data.h"

namespace zeltrak {
namespace {

TEST(SeriesData, WidthsScaleAndDecimatedLength) {
    // 24-bit: negative values come back sign-extended; the scale is gain over full scale.
    TSeriesData s24(SampleFormat::Make(48000, 1, 3), 100, 2.0f, 1, true);
    s24.SetSample(3, -8388607);
    s24.SetSample(4, 4194304);
    EXPECT_EQ(s24.Raw(3), -8388607);
    EXPECT_DOUBLE_EQ(s24.GetSample(3, false), -8388607.0);
    EXPECT_NEAR(s24.GetSample(4, true), 2.0 * 4194304 / 8388607, 1e-6);
    EXPECT_EQ(s24.Length(), 100u);  // no filter without decimation
    EXPECT_EQ(s24.DecimatedLength(), 100u);

    // 8-bit: the zero level is 127; Clear fills with it.
    TSeriesData s8(SampleFormat::Make(8000, 1, 1), 64, 1.0f, 4, true);
    EXPECT_EQ(s8.Length(), 64u + 39u);
    EXPECT_EQ(s8.DecimatedLength(), 16u);
    EXPECT_EQ(s8.Raw(10), 127);
    EXPECT_DOUBLE_EQ(s8.GetSample(10, false), 0.0);
    s8.SetSample(0, 255);
    EXPECT_NEAR(s8.GetSample(0, true), 128.0 / 127.5, 1e-6);

    // Filtering off keeps the plain length; decimation keeps every ratio-th sample.
    TSeriesData s16(SampleFormat::Make(8000, 1, 2), 12, 1.0f, 3, false);
    for (uint32_t i = 0; i < 12; ++i) s16.SetSample(i, static_cast<int32_t>(i * 10));
    ASSERT_TRUE(s16.Decimate());
    ASSERT_EQ(s16.DecimatedLength(), 4u);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(s16.Raw(i), static_cast<int32_t>(30 * i));
}

TEST(SeriesData, EightBitLevelsAndTriggersAroundTheZeroLevel) {
    TSeriesData s(SampleFormat::Make(8000, 1, 1), 32, 1.0f, 1, false);
    EXPECT_EQ(s.PeakLevel(), 0);
    s.SetSample(5, 0);  // 127 below the zero level: full scale (255 - 127 = 128, less one)
    EXPECT_EQ(s.PeakLevel(), 10);
    s.Clear();
    s.SetSample(5, 127 + 64);
    EXPECT_EQ(s.PeakLevel(), 8);  // trunc(10 ln 64 / ln 128)

    TriggerBlock t;
    t.Threshold = 50;  // 64 counts from the zero level
    uint32_t at = 0;
    t.TriggerSlope = 0;
    EXPECT_TRUE(s.FindTrigger(t, 0, 32, at));
    EXPECT_EQ(at, 5u);
    // The negative level mirrors the threshold about the zero level.
    s.Clear();
    s.SetSample(9, 127 - 63);
    s.SetSample(12, 127 - 64);
    t.TriggerSlope = 1;
    EXPECT_TRUE(s.FindTrigger(t, 0, 32, at));
    EXPECT_EQ(at, 12u);
    // Edges compare the step with the threshold's distance from the zero level.
    t.TriggerType = 1;
    EXPECT_TRUE(s.FindTrigger(t, 0, 32, at));
    EXPECT_EQ(at, 11u);  // 127 -> 63 at 11 -> 12
    t.TriggerSlope = 0;
    EXPECT_TRUE(s.FindTrigger(t, 0, 32, at));
    EXPECT_EQ(at, 12u);  // 63 -> 127
    EXPECT_FALSE(s.FindTrigger(t, 13, 32, at));
    t.TriggerType = 2;
    EXPECT_FALSE(s.FindTrigger(t, 0, 32, at));
}

}  // namespace
}  // namespace zeltrak
