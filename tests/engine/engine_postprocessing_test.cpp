// Post-Processing runs over files written byte by byte: frame positions, the end of the file,
// levels and overload, triggering and the spectrum of a tone.
#include <gtest/gtest.h>

#include <cmath>

#include "dsp/decimation.h"
#include "base/strings.h"
#include "engine/engine_strings.h"
#include "engine/wave_file_status.h"
#include "engine_test_support.h"
#include "files/wave_file.h"
#include "support/scripted_host.h"

namespace zeltrak {
namespace {

using test::FrameLog;

class PostProcessing : public ::testing::Test {
protected:
    PostProcessing() : card(test::ManualClock()) {
        settings.Mode.OpMode = kModePostProcessing;
        SettingsBlock& s = settings.Settings();
        s.format = SampleFormat::Make(8000, 1, 2);
        s.FFTsize = 1024;
        s.ApplyLowPassFilter = 0;
        s.SmoothingWindow = 8;  // Uniform: the frames reach the spectrum unchanged
    }

    // Opens `samples` as the engine's file (written by hand, read through the wave file).
    void Open(const std::vector<int16_t>& samples, uint16_t channels = 1) {
        const std::string path = dir.File("in.wav");
        test::WriteWav16(path, channels, 8000, samples);
        settings.Settings().format = SampleFormat::Make(8000, channels, 2);
        log.frames.clear();
        engine = std::make_unique<TEngine>(host, card, settings, nullptr);
        engine->AddListener(&log, ListenerRole::View);
        auto file = MakeWaveFile(host, path, TWaveFile::kMemoryMode, false);
        ASSERT_FALSE(file->Error());
        engine->SetWaveFile(std::move(file));
    }
    void RunToEnd() {
        engine->Run();
        for (int guard = 0; guard < 100000 && engine->FrameStep(); ++guard) {
        }
    }

    testing::TempDir dir;
    ScriptedHost host;
    LoopbackDriver card;
    ProcessingSettings settings;
    FrameLog log;
    std::unique_ptr<TEngine> engine;
};

std::vector<int16_t> RampSamples(uint32_t n, int32_t first = -8000) {
    std::vector<int16_t> v(n);
    for (uint32_t i = 0; i < n; ++i) v[i] = static_cast<int16_t>(first + static_cast<int32_t>(i));
    return v;
}

TEST_F(PostProcessing, FramesAdvanceByTheOverlapAndDecimation) {
    // 50 % overlap, no decimation: frames start 512 samples apart, every sample in place.
    settings.Settings().OverlapPercent = 50;
    const auto x = RampSamples(4096);
    Open(x);
    RunToEnd();
    ASSERT_EQ(log.frames.size(), 7u);  // starts 0, 512, ... 3072
    for (size_t k = 0; k < log.frames.size(); ++k) {
        ASSERT_EQ(log.frames[k].left.size(), 1024u);
        for (uint32_t i = 0; i < 1024; ++i) ASSERT_EQ(log.frames[k].left[i], x[512 * k + i]) << k << " " << i;
    }
    EXPECT_EQ(engine->WaveFile()->Position(), engine->WaveFile()->Length());

    // With the anti-alias filter a ramp comes out as the ramp 19 samples on, times the
    // filter's DC gain: sum h[k] (a + k) = (a + 19) sum h for symmetric taps.
    settings.Settings().DecimationRatio = 2;
    settings.Settings().ApplyLowPassFilter = 1;
    settings.Settings().OverlapPercent = 0;
    const auto ramp = RampSamples(2 * 1024 * 2 + 39, -2000);
    Open(ramp);
    RunToEnd();
    ASSERT_EQ(log.frames.size(), 2u);
    const DecimationTaps h = DesignDecimationFilter(2);
    double gain = 0.0;
    for (float t : h) gain += t;
    for (size_t k = 0; k < 2; ++k) {
        for (uint32_t i = 0; i < 1000; i += 37) {
            const double expected = (ramp[2048 * k + 2 * i] + 19.0) * gain;
            EXPECT_NEAR(log.frames[k].left[i], std::trunc(expected), 1.0) << k << " " << i;
        }
    }
}

TEST_F(PostProcessing, FileOfExactlyOneSeriesAndTheEndOfTheFile) {
    Open(RampSamples(1024));
    EXPECT_FALSE(engine->FrameStep());  // stopped: nothing to do
    RunToEnd();
    ASSERT_EQ(log.frames.size(), 1u);
    EXPECT_EQ(log.frames[0].left.back(), -8000 + 1023);

    // At the end a Run is refused with its message; after a rewind it analyses again.
    EXPECT_FALSE(engine->Run());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, kEngineEndOfFile);
    engine->WaveFile()->Seek(10);
    EXPECT_FALSE(engine->Run());
    EXPECT_EQ(host.messages.back().text, kEngineNearEnd);

    // One sample short of a series.
    Open(RampSamples(1023));
    EXPECT_FALSE(engine->Run());
    EXPECT_EQ(host.messages.back().text, kEngineFileTooShort);

    // No file at all.
    engine->SetWaveFile(nullptr);
    EXPECT_FALSE(engine->Run());
    EXPECT_EQ(host.messages.back().text, kEngineOpenWaveFile);
}

TEST_F(PostProcessing, LevelsAndOverloadAtFullScale) {
    // Frame k holds a single peak; everything else is silence.
    const int16_t peaks[] = {32765, 32766, 32767, -32767, 100, 0};
    std::vector<int16_t> x(1024 * 6, 0);
    for (size_t k = 0; k < 6; ++k) x[1024 * k + 500] = peaks[k];
    Open(x);
    RunToEnd();
    ASSERT_EQ(log.frames.size(), 6u);
    const int32_t levels[] = {9, 10, 10, 10, 4, 0};  // trunc(10 ln 100 / ln 32767) = 4
    for (size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(log.frames[k].levelLeft, levels[k]) << k;
        EXPECT_EQ(log.frames[k].overloaded, levels[k] == 10) << k;
    }
    EXPECT_EQ(engine->OverloadCount(), 3u);

    // Excluded overloaded frames reach the listeners but not the average.
    settings.Settings().ExcludeOverloadFlag = 1;
    settings.Settings().AverageBlocks = kInfiniteAverageBlocks;
    Open(x);
    RunToEnd();
    ASSERT_EQ(log.frames.size(), 6u);
    const uint32_t averaged[] = {1, 1, 1, 1, 2, 3};
    for (size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(log.frames[k].analysed, levels[k] != 10) << k;
        EXPECT_EQ(log.frames[k].averaged, averaged[k]) << k;
    }
}

struct TriggerCase {
    uint16_t type, slope;
    uint32_t threshold;
    uint16_t delayType;
    float delayMs;
    uint32_t expectFound;  // where the trigger fires in the signal below
};

TEST_F(PostProcessing, TriggersEachTypeAndSlopeWithDelays) {
    // Silence, a slow rise from 2000 to 19000 (17 per sample), a jump down to -20000 at 2500,
    // and a slow fall back. Threshold 50 % is 16383.
    std::vector<int16_t> x(8192, 0);
    for (int i = 1500; i < 2500; ++i) x[i] = static_cast<int16_t>(2000 + 17 * (i - 1500));
    for (int i = 2500; i < 3500; ++i) x[i] = static_cast<int16_t>(-20000 + 17 * (i - 2500));
    const uint32_t firstAbove = 1500 + (16383 - 2000 + 16) / 17;  // first x >= 16383
    const uint32_t firstBelow = 2500;                              // first x <= -16383
    const TriggerCase cases[] = {
        {0, 0, 50, 0, 0.0f, firstAbove},      {0, 0, 50, 0, 10.0f, firstAbove},
        {0, 0, 50, 1, 10.0f, firstAbove},     {0, 1, 50, 0, 10.0f, firstBelow},
        {1, 1, 50, 1, 5.0f, 2499},            // the fall of 39000 between 2499 and 2500
        {1, 0, 5, 0, 10.0f, 1499},            // rise 0 -> 2000 at 1500 (threshold 1638)
        {0, 0, 0, 0, 0.0f, 0},                // threshold 0 fires on the first sample at zero
    };
    for (const TriggerCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type << " slope " << c.slope << " delay " << c.delayMs);
        TriggerBlock& t = settings.Trigger;
        t.Enable = 1;
        t.AutoReset = 0;
        t.TriggerType = c.type;
        t.TriggerSlope = c.slope;
        t.Threshold = c.threshold;
        t.DelayType = c.delayType;
        t.DelayMsec = c.delayMs;
        Open(x);
        RunToEnd();
        const uint32_t delay = static_cast<uint32_t>(8000 * c.delayMs * 0.001);
        // A pre-trigger delay shows samples before the trigger, a post-trigger delay after it.
        const uint32_t start = c.expectFound + (c.delayType == 1 ? delay : 0) - (c.delayType == 0 ? delay : 0);
        // The search starts at the pre-trigger count, so early triggers need it to be 0.
        ASSERT_EQ(log.frames.size(), 1u) << "AutoReset 0 stops after one triggered frame";
        for (uint32_t i = 0; i < 1024; ++i) ASSERT_EQ(log.frames[0].left[i], x[start + i]) << i;
        EXPECT_FALSE(engine->Trigger().Armed());
    }
    // A forced trigger counts as found at the search start, once.
    settings.Trigger.Threshold = 90;  // never reached
    settings.Trigger.TriggerType = 0;
    settings.Trigger.DelayMsec = 0.0f;
    Open(x);
    engine->ForceTrigger();
    RunToEnd();
    ASSERT_EQ(log.frames.size(), 1u);
    EXPECT_EQ(log.frames[0].left[0], x[0]);
    EXPECT_FALSE(engine->Trigger().Forced());
}

TEST_F(PostProcessing, FrameLimitAndSingleStep) {
    Open(RampSamples(1024 * 20));
    engine->RunFrames(5);  // stops after the sixth frame
    while (engine->FrameStep()) {
    }
    EXPECT_EQ(log.frames.size(), 6u);
    EXPECT_EQ(engine->WaveFile()->Position(), 6u * 1024);
    log.frames.clear();  // single steps go on from there, one frame each
    EXPECT_TRUE(engine->SingleStep());
    EXPECT_FALSE(engine->FrameStep());
    ASSERT_EQ(log.frames.size(), 1u);
    EXPECT_EQ(log.frames[0].left[0], -8000 + 6 * 1024);
}

// Settings set directly, past the dialogs and the loader.
TEST_F(PostProcessing, SettingsNoDialogAcceptsEndInAClearResult) {
    // Decimation 0 counts as 1; a trigger never reached skips every stretch to the end.
    settings.Settings().DecimationRatio = 0;
    settings.Trigger.Enable = 1;
    settings.Trigger.Threshold = 90;
    Open(RampSamples(8 * 1024));
    RunToEnd();
    EXPECT_EQ(engine->WaveFile()->Position(), engine->WaveFile()->Length());
    EXPECT_TRUE(log.frames.empty());
    // The trigger frame holds the delay, up to one second.
    for (const auto& [delayMsec, delaySamples] : {std::pair{250.0f, 2000u}, std::pair{1e12f, 8000u}}) {
        settings.Trigger.DelayMsec = delayMsec;
        Open(RampSamples(4096));
        ASSERT_TRUE(engine->Rebuild());
        EXPECT_EQ(engine->TriggerSeries(0)->Length(), 2 * (1024 + delaySamples)) << delayMsec;
    }
    // 2^20 x 4096 is 2^32 samples: 0 in 32 bits.
    settings.Settings().FFTsize = 1048576;
    settings.Settings().DecimationRatio = 4096;
    Open(RampSamples(4096));
    EXPECT_FALSE(engine->Run());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, LoadString(kStrInsufficientMemory));
}

TEST_F(PostProcessing, SpectrumOfATone) {
    // A 0.5 full-scale sine on bin 64 of a 1024-point frame, Hanning window with amplitude
    // correction: the averaged power peaks on bin 64 at about -6 dB.
    settings.Settings().SmoothingWindow = 4;
    settings.Settings().AverageBlocks = kInfiniteAverageBlocks;
    std::vector<int16_t> x(8 * 1024);
    for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<int16_t>(std::lround(16383.5 * std::sin(2 * M_PI * 64 * i / 1024.0)));
    Open(x);
    RunToEnd();
    ASSERT_EQ(log.frames.size(), 8u);
    const TSpectralData* left = engine->Spectrum(0);
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->Averager().Averaged(), 8u);
    EXPECT_FLOAT_EQ(left->PeakFrequency(), 500.0f);
    EXPECT_NEAR(10 * std::log10(left->AveragePower()[64]), 20 * std::log10(16383.5 / 32767), 0.01);
}

// The trigger on unsigned 8-bit data around its zero level.
TEST(SeriesData, EightBitTriggers) {
    TSeriesData s(SampleFormat::Make(8000, 1, 1), 32, 1.0f, 1, false);
    s.SetSample(5, 127 + 64);
    EXPECT_EQ(s.PeakLevel(), 8);  // trunc(10 ln 64 / ln 128)
    TriggerBlock t;
    t.Threshold = 50;  // 64 counts from the zero level
    uint32_t at = 0;
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
