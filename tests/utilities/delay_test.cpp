// The delay finder against delays the tests make themselves: shifted noise in memory, a
// Loopback card's channel delay in a live run, and a sox-made file through the command.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "files/ini_store.h"
#include "files/wave_file.h"
#include "generator/signal_generator.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"
#include "support/run_command.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "utilities/delay_command.h"
#include "utilities/delay_finder.h"
#include "utilities/delay_strings.h"

namespace zeltrak {
namespace {

TEST(DelayBlockLength, FollowsTheLargestDelayInSamples) {
    struct Case { int32_t ms; uint32_t rate; uint32_t n; } cases[] = {
        {10, 48000, 4096},   {1, 2047000, 4096},  {1, 2048000, 8192}, {1, 4027000, 8192},
        {1, 4028000, 16384}, {100, 44100, 16384}, {1, 8192000, 32768}, {500, 44100, 65536}};
    for (const Case& c : cases) EXPECT_EQ(DelayBlockLength(c.ms, c.rate), c.n) << c.ms << " ms at " << c.rate;
}

// Stereo 16-bit noise whose right channel is the left delayed by `delay` samples (negative:
// the left lags; fractions by linear interpolation), each channel with its own noise added.
std::unique_ptr<TWaveFile> ShiftedNoise(uint32_t frames, double delay, double rms, double noiseRms) {
    std::mt19937 random(7);
    std::normal_distribution<double> gauss;
    const double start = std::ceil(std::fabs(delay)) + 1;
    std::vector<double> x(frames + static_cast<size_t>(start) + 2);
    for (double& v : x) v = rms * gauss(random);
    auto at = [&](double t) { const size_t i = static_cast<size_t>(t); return x[i] + (t - i) * (x[i + 1] - x[i]); };
    auto file = std::make_unique<TWaveFile>(frames, SampleFormat::Make(48000, 2, 2));
    std::vector<int16_t> channel[2];
    for (uint32_t i = 0; i < frames; ++i)
        for (int c = 0; c < 2; ++c) {
            const double t = i + start - (c == 0 ? std::max(-delay, 0.0) : std::max(delay, 0.0));
            channel[c].push_back(static_cast<int16_t>(std::clamp(std::lround(at(t) + noiseRms * gauss(random)), -32767L, 32767L)));
        }
    for (uint32_t c = 0; c < 2; ++c) file->WriteChannel(channel[c].data(), 0, frames, c);
    return file;
}

// Loud blocks of 65536 samples and quiet ones of a few steps are there on purpose: a
// fixed-point copy of the correlation would clip the first and round the second to nothing.
TEST(DelayFinder, FindsTheDelayWithinOneSampleAndAWholeOneExactly) {
    struct Case { double delay, rms, noise; int32_t maxMs; uint32_t position; } cases[] = {
        {37, 3000, 0, 100, 20000},       {-37, 3000, 0, 100, 20000},   {10.5, 3000, 0, 100, 0},
        {-250.3, 3000, 3000, 100, 9000}, {6000.7, 3000, 1500, 200, 0}, {-11.5, 3000, 3000, 50, 4000},
        {120, 12000, 0, 500, 0},         {-120, 1.5, 1.5, 500, 0}};
    for (const Case& c : cases) {
        TDelayFinder finder(48000, {.maxDelayMs = c.maxMs});
        const uint32_t n = finder.BlockLength();
        auto file = ShiftedNoise(c.position + n + n / 2, c.delay, c.rms, c.noise);
        file->Seek(c.position);
        ASSERT_TRUE(finder.UpdateFromFile(*file)) << c.delay;
        EXPECT_NEAR(finder.DelaySamples(), -c.delay, c.delay == std::round(c.delay) ? 0.0 : 1.0) << c.delay;
        EXPECT_NEAR(finder.DelayMs(), -c.delay / 48.0, 1 / 48.0) << c.delay;
        file->Seek(c.position + 1);  // one frame short
        EXPECT_FALSE(TDelayFinder(48000, {.maxDelayMs = c.maxMs}).UpdateFromFile(*file));
    }
}

TEST(DelayFinder, IdenticalChannelsGiveZeroAndApplyDelaysTheLaggingChannel) {
    TDelayFinder finder(48000, {.maxDelayMs = 50});
    ASSERT_TRUE(finder.UpdateFromFile(*ShiftedNoise(finder.BlockLength() * 2, 0, 3000, 0)));
    EXPECT_EQ(FormatDelay(finder.DelayMs(), {}), " 0.000 msec");
    // Apply for a found delay; SetTypedDelay (channel kept at 9) for a typed one.
    struct Case { bool typed; double ms; uint16_t channel; float set; } cases[] = {
        {false, finder.DelayMs(), 1, 0}, {false, -2.5, 0, 2.5f},  {false, 2.5, 1, 2.5f}, {false, -1500, 0, 1000},
        {false, 1200, 1, 1000},          {true, 12.5, 9, 12.5f}, {true, -3, 9, 0},       {true, 2000, 9, 1000},
        {true, NAN, 9, 0}};
    for (const Case& c : cases) {
        SettingsBlock s;
        s.DelayChannel = 9;
        c.typed ? SetTypedDelay(c.ms, s) : ApplyDelayToSettings(c.ms, s);
        EXPECT_EQ(s.DelayChannel, c.channel) << c.ms;
        EXPECT_EQ(s.DelayTimeMsec, c.set) << c.ms;
    }
    // 0.001 x -2.5 x 0.3048 x 1130 = -0.86106 m; 0.001 x -2.5 x 1130 = -2.825 ft.
    EXPECT_EQ(FormatDelay(-2.5, {.displayUnits = DelayUnits::Metres}), "-0.861 m");
    EXPECT_EQ(FormatDelay(-2.5, {.displayUnits = DelayUnits::Feet}), "-2.825 ft");
}

TEST(DelayFinderOptions, ValidateStoreAndReadBack) {
    struct Case { double speed; int64_t maxMs; const char* message; } cases[] = {
        {1130, 500, ""}, {10, 10, ""}, {100000, 1000, ""}, {9.9, 500, kDelaySpeedRange}, {100001, 500, kDelaySpeedRange},
        {NAN, 500, kDelaySpeedRange}, {1130, 9, kDelayMaxDelayRange}, {1130, 1001, kDelayMaxDelayRange}};
    for (const Case& c : cases) EXPECT_EQ(ValidateDelayFinderOptions(c.speed, c.maxMs), c.message) << c.speed;
    TIniStore ini;
    WriteDelayFinderOptions({DelayUnits::Feet, 250, 1087.5f}, ini);
    DelayFinderOptions o = ReadDelayFinderOptions(ini);
    EXPECT_TRUE(o.displayUnits == DelayUnits::Feet && o.maxDelayMs == 250 && o.speedOfSoundFtPerS == 1087.5f);
    ini.Parse("[DelayFinderOpts]\nDisplayUnits=7\nMaxDelayMsec=5000\nSpeedOfSound=1\n");
    o = ReadDelayFinderOptions(ini);  // brought into range
    EXPECT_TRUE(o.displayUnits == DelayUnits::Milliseconds && o.maxDelayMs == 1000 && o.speedOfSoundFtPerS == 10.0f);
}

// The generator's pink noise (the same on both channels) through a manual-clock Loopback card
// that delays one input channel: the live input of a Real-Time run or a recording gives that delay.
TEST(DelayFinder, FindsTheLoopbackCardsChannelDelayInALiveRun) {
    // At 44100 Hz and 500 ms, N + N/2 = 98304 samples: more than a one-second slot holds.
    struct Case { uint32_t mode, rate; int32_t maxMs; uint32_t delayLeft, delayRight; int64_t expected; } cases[] = {
        {kModeRealTime, 44100, 500, 0, 25, -25}, {kModeRecorder, 8000, 100, 300, 0, 300}};
    for (const Case& c : cases) {
        TSoundPort::ResetLivePositionEstimate();
        testing::TempDir dir;
        ScriptedHost host;
        ProcessingSettings settings;
        settings.Settings().format = SampleFormat::Make(c.rate, 2, 2);
        settings.Mode.OpMode = c.mode;
        settings.FileIO.RealTimeWaveBufferEnableFlag = 0;
        LoopbackConfig config{.clock = LoopbackConfig::Clock::Manual};
        config.delaySamples[0] = c.delayLeft;
        config.delaySamples[1] = c.delayRight;
        LoopbackDriver card(config);
        BufferDoneQueue queue;
        TEngine engine(host, card, settings, &queue, EngineEnvironment{.tempDir = dir.path()});
        TEngineLoop loop(engine, queue);
        TSignalGenerator generator(host, engine, 0, TIniStore());
        engine.SetGenerator(&generator);
        TDelayFinder finder(c.rate, {.maxDelayMs = c.maxMs});
        engine.SetMinimumSlotFrames(finder.InputSlotFramesNeeded());
        ASSERT_TRUE(c.mode == kModeRecorder ? engine.Record() : engine.Run());
        EXPECT_FALSE(finder.Update(engine));  // nothing captured yet
        for (int i = 0; i < 16; ++i, loop.Pump(0), generator.Poll()) card.Advance(8000);
        ASSERT_TRUE(finder.Update(engine));
        EXPECT_EQ(finder.DelaySamples(), c.expected) << c.delayLeft << "/" << c.delayRight;
        engine.Stop();
        engine.SetGenerator(nullptr);
    }
}

TEST(DelayCommand, PrintsTheDelayOfASoxMadeFile) {
    if (!testing::HaveProgram("sox")) GTEST_SKIP() << "sox is needed";
    testing::TempDir dir;
    const std::string mono = dir.File("mono.wav"), stereo = dir.File("stereo.wav"), cut = dir.File("cut.wav");
    // The right channel 2.5 ms (120 samples) late; the cut file 96000 frames, short of 98304.
    ASSERT_EQ(testing::RunQuiet("sox -n -r 48000 -b 16 -c 1 " + mono + " synth 3 pinknoise vol 0.5 && sox " + mono +
                                " " + stereo + " remix 1 1 delay 0 0.0025 && sox " + stereo + " " + cut + " trim 0 2"),
              0);
    std::FILE* out = std::tmpfile();
    std::string error;
    ASSERT_EQ(RunDelayCommand(stereo, {}, out, error), 0) << error;
    std::rewind(out);
    char line[128] = {};
    ASSERT_TRUE(std::fgets(line, sizeof line, out));
    std::fclose(out);
    EXPECT_STREQ(line, "Delay: -120 samples, -2.500 ms, -0.861 m\n");
    EXPECT_EQ(RunDelayCommand(mono, {}, stdout, error), 1);
    EXPECT_EQ(error, kDelayNeedsStereo);
    EXPECT_EQ(RunDelayCommand(cut, {}, stdout, error), 1);
    EXPECT_NE(error.find("98304"), std::string::npos) << error;
}

}  // namespace
}  // namespace zeltrak
