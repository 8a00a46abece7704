// Real-Time and Recorder runs on a manual-clock Loopback card whose input hears a known ramp,
// so that every frame and every recorded sample can be traced to the sample the card delivered.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "base/strings.h"
#include "engine/engine_loop.h"
#include "engine/engine_strings.h"
#include "engine/wave_file_status.h"
#include "engine_test_support.h"
#include "fake_wave_driver.h"
#include "files/wave_file.h"
#include "files/wave_strings.h"
#include "support/scripted_host.h"

namespace zeltrak {
namespace {

using test::FrameLog;
using test::RampIndex;

constexpr uint32_t kRate = 8000;

class Live : public ::testing::Test {
protected:
    void SetUp() override {
        TSoundPort::ResetLivePositionEstimate();
        ASSERT_TRUE(ramp.ok);
        SettingsBlock& s = settings.Settings();
        s.format = SampleFormat::Make(kRate, 1, 2);
        s.FFTsize = 1024;
        s.SmoothingWindow = 8;
        settings.FileIO.RealTimeWaveBufferEnableFlag = 0;
        settings.FileIO.WaveFileMode = 0;
    }
    void Make(WaveDriver& driver) {
        EngineEnvironment env;
        env.waveDir = dir.File("wave");
        env.tempDir = dir.path();
        engine = std::make_unique<TEngine>(host, driver, settings, &queue, env);
        engine->AddListener(&log, ListenerRole::View);
        loop = std::make_unique<TEngineLoop>(*engine, queue);
    }
    // Runs the card for `frames` sample periods in steps of `step`, handing the notices over
    // and giving the engine one idle step after each.
    void Play(uint32_t frames, uint32_t step = 1000, LoopbackDriver* card = nullptr) {
        for (uint32_t done = 0; done < frames && engine->Running(); done += step) {
            (card ? *card : ramp.card).Advance(std::min(step, frames - done));
            loop->Pump(0);
        }
        loop->DeliverPending();
    }
    void Steps(int n) {
        for (int i = 0; i < n; ++i) engine->FrameStep();
    }
    // Saves the engine's file under `name` and reads its samples back by hand.
    std::vector<int16_t> SaveAndRead(const std::string& name) {
        engine->WaveFile()->SetName(dir.File(name));
        EXPECT_TRUE(engine->WaveFile()->Save());
        const test::WavContents w = test::ReadWav16(dir.File(name));
        EXPECT_TRUE(w.ok) << name;
        return w.samples;
    }

    testing::TempDir dir;
    ScriptedHost host;
    test::RampCard ramp{kRate};
    ProcessingSettings settings;
    BufferDoneQueue queue;
    FrameLog log;
    std::unique_ptr<TEngine> engine;
    std::unique_ptr<TEngineLoop> loop;
};

// Whether `v` is the ramp from sample `first` on.
::testing::AssertionResult IsRamp(const std::vector<int16_t>& v, uint64_t first = 0) {
    for (size_t i = 0; i < v.size(); ++i)
        if (v[i] != test::Ramp(first + i)) return ::testing::AssertionFailure() << "differs at " << i;
    return ::testing::AssertionSuccess();
}

// The ramp indices of a frame, checked to be consecutive.
uint32_t LastIndex(const std::vector<int32_t>& frame) {
    for (size_t i = 1; i < frame.size(); ++i) {
        if ((RampIndex(frame[i - 1]) + 1) % test::kRampPeriod != RampIndex(frame[i])) {
            ADD_FAILURE() << "frame not contiguous at " << i;
            break;
        }
    }
    return RampIndex(frame.back());
}

// On a card with a real-time clock the loop sleeps until the input completes the next frame the
// overlap asks for: every such frame is analysed once, in order, at its own place and time.
TEST_F(Live, RealTimeFramesFollowTheOverlapOnARealTimeCard) {
    constexpr uint32_t kFft = 4096;
    settings.Mode.OpMode = kModeRealTime;
    settings.FileIO.RealTimeWaveBufferEnableFlag = 1;  // frame times from the history's start, 0
    settings.FileIO.RealTimeWaveBufferLengthSecs = 4;
    settings.Settings().FFTsize = kFft;
    for (const uint16_t overlap : {50, 75}) {
        SCOPED_TRACE(overlap);
        settings.Settings().OverlapPercent = overlap;
        const uint32_t hop = kFft * (100 - overlap) / 100;
        LoopbackConfig clock;
        clock.clock = LoopbackConfig::Clock::RealTime;
        test::RampCard card(kRate, clock);
        log.frames.clear();
        Make(card.card);
        ASSERT_TRUE(engine->Run());
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        int wakes = 0;
        for (; std::chrono::steady_clock::now() < end; ++wakes) {
            loop->Pump(0);
            loop->WaitForWork(10, 1000);
        }
        loop->Pump(0);
        const uint64_t captured = engine->InputPort().CapturedFrames();
        engine->Stop();
        const uint64_t due = (captured - kFft) / hop + 1;
        const size_t n = log.frames.size();
        EXPECT_TRUE(n == due || n + 1 == due) << n << " of " << due;  // one may complete after the last step
        EXPECT_EQ(engine->LostLiveFrames(), 0u);
        // Woken by frames and slot notices, not by polling (which wakes every 10 ms).
        EXPECT_LT(wakes, 2 * static_cast<int>(due) + 20);
        for (size_t k = 0; k < n; ++k) {
            const double frameEnd = static_cast<double>(kFft + k * hop) / kRate;
            EXPECT_NEAR(log.frames[k].currentTime, std::max(0.0, frameEnd - 0.2 - kFft / 2.0 / kRate), 1e-9) << k;
            if (k == 0) continue;
            const uint32_t step = LastIndex(log.frames[k].left) + test::kRampPeriod - LastIndex(log.frames[k - 1].left);
            EXPECT_EQ(step % test::kRampPeriod, hop) << k;
        }
        engine.reset();  // before its card goes
    }
}

TEST_F(Live, HistoryBufferReadsInTimeOrderAfterWraps) {
    settings.Mode.OpMode = kModeRealTime;
    settings.FileIO.RealTimeWaveBufferEnableFlag = 1;
    settings.FileIO.RealTimeWaveBufferLengthSecs = 4;  // laps of 3 s, capacity 3.3 s
    uint64_t delivered = 0;
    for (uint32_t mode : {0u, 1u}) {
        SCOPED_TRACE(mode == 0 ? "memory" : "disk");
        settings.FileIO.WaveFileMode = mode;
        Make(ramp.card);
        ASSERT_TRUE(engine->Run());
        Play(10 * kRate + 2345, 700);
        ASSERT_TRUE(engine->Running());
        EXPECT_GT(engine->WrapPosition(), 0u);
        engine->Stop();
        engine->Stop();  // a second stop must not cut the kept history
        TWaveFile* h = engine->WaveFile();
        ASSERT_NE(h, nullptr);
        const uint32_t n = h->WrittenLength();
        EXPECT_GE(n, 3u * kRate);
        std::vector<int16_t> data(n);
        ASSERT_TRUE(h->ReadChannel(data.data(), 0, n, 0));
        // The card delivered ramp samples 0 ... total-1 (the ramp keeps running across runs).
        for (uint32_t i = 1; i < n; ++i)
            ASSERT_EQ((RampIndex(data[i - 1]) + 1) % test::kRampPeriod, RampIndex(data[i])) << i;
        EXPECT_EQ(h->Position(), 0u);
        // Newest sample last: everything recorded up to the stop is there.
        delivered += 10 * kRate + 2345;
        EXPECT_EQ(RampIndex(data.back()), (delivered - 1) % test::kRampPeriod);
    }
}

TEST_F(Live, RecorderAppendsToAnOpenFileAndGrowsIt) {
    settings.Mode.OpMode = kModeRecorder;
    settings.FileIO.WaveFileMode = 0;
    settings.FileIO.MaxRamRecordingTimeSecs = 4;
    Make(ramp.card);
    ASSERT_TRUE(engine->Record());
    Play(3 * kRate + kRate / 2, 500);
    engine->Stop();
    // Half a second of room left: the memory grows by a minute before recording goes on.
    ASSERT_TRUE(engine->Record());
    EXPECT_EQ(engine->WaveFile()->Length(), 64 * kRate);
    Play(2 * kRate, 500);
    engine->Stop();
    ASSERT_EQ(SaveAndRead("inplace.wav").size(), 5 * kRate + kRate / 2);

    // A disk file worked on in place asks first; No leaves it as it was.
    const std::string path = dir.File("inplace.wav");
    engine->SetWaveFile(nullptr);
    settings.FileIO.WaveFileMode = 1;
    settings.FileIO.MakeBackup = 0;
    engine->SetWaveFile(MakeWaveFile(host, path, TWaveFile::kDiskMode, false));
    host.ScriptAnswers({Answer::No, Answer::Yes});
    EXPECT_FALSE(engine->Record());
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].text, kEngineNoBackupQuestion);
    EXPECT_EQ(test::ReadWav16(path).samples.size(), 5u * kRate + kRate / 2);
    ASSERT_TRUE(engine->Record());
    Play(kRate, 500);
    engine->Stop();
    const std::vector<int16_t> w = SaveAndRead("inplace.wav");
    EXPECT_EQ(w.size(), 6u * kRate + kRate / 2);
    EXPECT_TRUE(IsRamp(w));
}

TEST_F(Live, DiskRecordingRollsOverAtTheSizeLimit) {
    settings.Mode.OpMode = kModeRecorder;
    settings.FileIO.WaveFileMode = 1;
    settings.FileIO.MaxDiskRecordingSizeBytes = 1000000;  // 62.5 s of 8 kHz mono 16-bit
    settings.FileIO.RecordIOBufferSizeSecs = 1;
    Make(ramp.card);
    ASSERT_TRUE(engine->Record());
    const uint32_t total = 90 * kRate + 77;
    Play(total, 4000);
    ASSERT_EQ(engine->RunState(), EngineRunState::Recording);
    ASSERT_EQ(engine->SavedRecordings().size(), 1u);
    const std::string first = engine->SavedRecordings()[0];
    const test::WavContents a = test::ReadWav16(first);  // closed by the engine: sizes must agree
    ASSERT_TRUE(a.ok);
    EXPECT_GT(a.samples.size() * 2, 1000000u);
    EXPECT_TRUE(IsRamp(a.samples));
    // Mid-recording the file on disk is already whole: a crash now would lose nothing written.
    std::vector<std::string> working;  // the temporary file being recorded into
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        if (e.is_regular_file()) working.push_back(e.path());
    ASSERT_EQ(working.size(), 1u);
    const test::WavContents open = test::ReadWav16(working[0]);
    ASSERT_TRUE(open.ok);
    EXPECT_GE(open.samples.size(), total - a.samples.size() - 2 * kRate);
    EXPECT_TRUE(IsRamp(open.samples, a.samples.size()));
    engine->Stop();
    const std::vector<int16_t> b = SaveAndRead("second.wav");
    EXPECT_EQ(a.samples.size() + b.size(), total);
    EXPECT_TRUE(IsRamp(b, a.samples.size()));
}

TEST_F(Live, DiskFillingUpStopsTheRecordingAndKeepsWhatWasWritten) {
    settings.Mode.OpMode = kModeRecorder;
    settings.FileIO.WaveFileMode = 1;
    Make(ramp.card);
    ASSERT_TRUE(engine->Record());
    // A file-size limit stands in for a full disk: writes beyond 50000 bytes fail.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 50000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Play(6 * kRate, 500);
    const EngineRunState state = engine->RunState();
    const uint32_t written = engine->WaveFile() ? engine->WaveFile()->WrittenLength() : 0;
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(state, EngineRunState::Stopped);
    ASSERT_NE(engine->WaveFile(), nullptr);
    EXPECT_GE(written, 2 * kRate);  // the whole buffers that fitted
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, kStrWaveWriteFailure);
    const std::vector<int16_t> w = SaveAndRead("full.wav");
    EXPECT_EQ(w.size(), written);
    EXPECT_TRUE(IsRamp(w));
}

// Playback plays a file on a card of its own and analyses what that card hears, frame by frame
// from where the output stands, until the file ends.
TEST_F(Live, PlaybackAnalysesWhatIsHeardAndStopsAtTheEnd) {
    LoopbackDriver card(test::ManualClock());
    std::vector<int16_t> x(3 * kRate);
    for (uint32_t i = 0; i < x.size(); ++i) x[i] = test::Ramp(i);
    test::WriteWav16(dir.File("play.wav"), 1, kRate, x);
    settings.Mode.OpMode = kModeRecorder;
    Make(card);
    engine->SetWaveFile(MakeWaveFile(host, dir.File("play.wav"), TWaveFile::kMemoryMode, false));
    ASSERT_TRUE(engine->Play());
    uint32_t played = 0;
    for (int guard = 0; guard < 100 && engine->Running(); ++guard) {
        card.Advance(400);
        played += 400;
        const size_t before = log.frames.size();
        loop->Pump(0);
        loop->Pump(0);
        if (log.frames.size() > before) {
            // the card's first 400 periods passed before the primed buffers were queued
            const uint32_t start = RampIndex(log.frames.back().left.front());
            EXPECT_EQ(start, played - 400);
            EXPECT_EQ(LastIndex(log.frames.back().left), start + 1023);
        }
    }
    EXPECT_GE(played, 3 * kRate);
    EXPECT_LE(played, 3 * kRate + 1200);
    EXPECT_GT(log.frames.size(), 50u);
    EXPECT_TRUE(host.messages.empty());
    engine.reset();  // before its card goes
}

TEST_F(Live, FailuresLeaveTheEngineStoppedAndTheRecordingValid) {
    // A rate the card refuses.
    settings.Mode.OpMode = kModeRealTime;
    settings.Settings().format = SampleFormat::Make(2000, 1, 2);
    Make(ramp.card);
    EXPECT_FALSE(engine->Run());
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().text, LoadString(kStrFormatNotSupported));
    settings.Settings().format = SampleFormat::Make(kRate, 1, 2);

    // The device fails when the fourth buffer is queued: the engine stops, and the memory
    // recording holds the samples of the buffers completed before.
    ramp.out->Close();
    ramp.out.reset();
    test::FakeWaveDriver failing;
    failing.inject["AddBuffer"] = {kWaveOk, kWaveOk, kWaveOk, kWaveError};
    settings.Mode.OpMode = kModeRecorder;
    settings.FileIO.WaveFileMode = 0;
    Make(failing);
    ASSERT_TRUE(engine->Record());
    Play(16000, 2000, &failing.card);
    EXPECT_EQ(engine->RunState(), EngineRunState::Stopped);
    EXPECT_EQ(host.messages.back().text, LoadString(kStrSoundDeviceFailure));
    ASSERT_NE(engine->WaveFile(), nullptr);
    EXPECT_EQ(engine->WaveFile()->WrittenLength(), 2 * kRate);
    EXPECT_EQ(SaveAndRead("failed.wav").size(), 2u * kRate);
    engine.reset();  // before its card goes
}

// Buffer lengths set directly, past the dialogs and the loader, are held at the longest those accept.
TEST_F(Live, MemoryRecorderHoldsAtMostTenSecondSlotsAndAnHour) {
    settings.Mode.OpMode = kModeRecorder;
    settings.FileIO.WaveFileMode = 0;
    settings.FileIO.RecordIOBufferSizeSecs = 100;
    settings.FileIO.MaxRamRecordingTimeSecs = 7200;
    Make(ramp.card);
    ASSERT_TRUE(engine->Record());
    EXPECT_EQ(engine->WaveFile()->Length(), 3600 * kRate);
    // The recording grows by whole slots: after 10.5 s the first one is in.
    Play(21 * kRate / 2, kRate / 2);
    EXPECT_EQ(engine->WaveFile()->WrittenLength(), 10 * kRate);
}

}  // namespace
}  // namespace zeltrak
