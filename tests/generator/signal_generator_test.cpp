// The generator playing through a manual-clock Loopback card into a live Real-Time run: what
// the analyser sees is checked against the card's own test sine, an independent source.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

#include "dsp/spectral_data.h"
#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "files/ini_store.h"
#include "generator/signal_generator.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

constexpr uint32_t kRate = 8000;
constexpr uint32_t kFft = 1024;  // 1000 Hz falls on bin 128

struct Reading {
    double peakHz = 0.0;
    double peakDb = -999.0;
    uint32_t frames = 0;
    bool playingAfterStop = false;
};

class GeneratorRun : public ::testing::Test {
protected:
    void SetUp() override {
        TSoundPort::ResetLivePositionEstimate();
        settings.Settings().format = SampleFormat::Make(kRate, 1, 2);
        settings.Settings().FFTsize = kFft;
        settings.Mode.OpMode = kModeRealTime;
        settings.FileIO.RealTimeWaveBufferEnableFlag = 0;
    }
    // A live run of `samples` sample periods on `card`; the spectrum's peak at the end.
    Reading Listen(LoopbackDriver& card, const std::function<void(TEngine&)>& before) {
        EngineEnvironment env;
        env.tempDir = dir.path();
        TEngine engine(host, card, settings, &queue, env);
        TEngineLoop loop(engine, queue);
        before(engine);
        EXPECT_TRUE(engine.Run());
        for (int i = 0; i < 24 && engine.Running(); ++i) {
            card.Advance(kFft / 2);
            loop.Pump(0);
            if (generator) generator->Poll();
        }
        Reading r;
        const TSpectralData* s = engine.Spectrum(0);
        r.frames = engine.FrameCount();
        r.peakHz = s->PeakFrequency();
        r.peakDb = s->AverageDb()[s->Averager().PeakBin()];
        engine.Stop();
        r.playingAfterStop = generator && generator->Playing();
        generator.reset();
        return r;
    }

    testing::TempDir dir;
    ScriptedHost host;
    ProcessingSettings settings;
    BufferDoneQueue queue;
    TIniStore ini;
    std::unique_ptr<TSignalGenerator> generator;
};

TEST_F(GeneratorRun, ItsToneReachesTheAnalyserAtItsFrequencyAndLevel) {
    // The same tone from the card's own sine source: 0.99 of the level, as the generator plays it.
    LoopbackDriver reference({.clock = LoopbackConfig::Clock::Manual, .impulseResponse = {},
                              .source = LoopbackConfig::Source::Sine, .sineHz = 1000.0,
                              .sineDb = -12.0 + 20.0 * std::log10(0.99)});
    const Reading expected = Listen(reference, [](TEngine&) {});

    LoopbackDriver card({.clock = LoopbackConfig::Clock::Manual, .impulseResponse = {}});
    const Reading played = Listen(card, [this](TEngine& engine) {
        generator = std::make_unique<TSignalGenerator>(host, engine, 0, ini);
        generator->SetTone(1000.0, -12.0, 0);
    });
    ASSERT_GT(played.frames, 4u);
    EXPECT_DOUBLE_EQ(played.peakHz, 1000.0);
    EXPECT_DOUBLE_EQ(expected.peakHz, 1000.0);
    EXPECT_NEAR(played.peakDb, expected.peakDb, 0.05);
    EXPECT_FALSE(played.playingAfterStop);  // the analyser's stop stops it
    EXPECT_TRUE(host.messages.empty()) << host.messages.front().text;
}

// A key string played once ends by itself when the card has played the buffer; a looping
// signal goes on.
TEST_F(GeneratorRun, APlayOnceSignalEndsWhenTheCardIsDone) {
    LoopbackDriver card({.clock = LoopbackConfig::Clock::Manual, .impulseResponse = {}});
    EngineEnvironment env;
    TEngine engine(host, card, settings, &queue, env);
    TSignalGenerator generator(host, engine, 0, ini);
    for (const int repeat : {0, 1}) {
        SignalSetup setup;
        setup.type = SignalType::Dtmf;
        setup.dtmf = {"1", 100, 100, 0.0f, repeat};
        generator.SetSignal(0, setup);
        ASSERT_EQ(generator.Buffer()->Length(), 9600u);  // six keys' periods: just over a second
        ASSERT_TRUE(generator.Run());
        card.Advance(9599);
        generator.Poll();
        EXPECT_TRUE(generator.Playing());
        card.Advance(2);
        generator.Poll();
        EXPECT_EQ(generator.Playing(), repeat == 1) << repeat;
        generator.Stop();
    }
}

}  // namespace
}  // namespace zeltrak
