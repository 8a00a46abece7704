// Buffer lengths for settings set directly, past the dialogs and the loader: the engine holds
// them at the longest those accept.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine_test_support.h"
#include "files/wave_file.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

constexpr uint32_t kRate = 8000;

class MemoryRecorder : public ::testing::Test {
protected:
    MemoryRecorder() {
        TSoundPort::ResetLivePositionEstimate();
        settings.Mode.OpMode = kModeRecorder;
        settings.Settings().format = SampleFormat::Make(kRate, 1, 2);
        settings.Settings().FFTsize = 1024;
        settings.FileIO.WaveFileMode = 0;
    }
    void Record() {
        engine = std::make_unique<TEngine>(host, ramp.card, settings, &queue);
        loop = std::make_unique<TEngineLoop>(*engine, queue);
        ASSERT_TRUE(ramp.ok);
        ASSERT_TRUE(engine->Record());
    }
    void TearDown() override { engine.reset(); }  // before its card goes

    test::RampCard ramp{kRate};
    ScriptedHost host;
    ProcessingSettings settings;
    BufferDoneQueue queue;
    std::unique_ptr<TEngine> engine;
    std::unique_ptr<TEngineLoop> loop;
};

TEST_F(MemoryRecorder, AnInputSlotHoldsAtMostTenSeconds) {
    settings.FileIO.RecordIOBufferSizeSecs = 100;
    Record();
    // The recording grows by whole slots: after 10.5 s the first one is in.
    for (int step = 0; step < 21; ++step) {
        ramp.card.Advance(kRate / 2);
        loop->Pump(0);
    }
    loop->DeliverPending();
    EXPECT_EQ(engine->WaveFile()->WrittenLength(), 10 * kRate);
}

TEST_F(MemoryRecorder, TheRecordingHoldsAtMostAnHour) {
    settings.FileIO.MaxRamRecordingTimeSecs = 7200;
    Record();
    EXPECT_EQ(engine->WaveFile()->Length(), 3600 * kRate);
}

}  // namespace
}  // namespace zeltrak
