// The platform layer: the Loopback card against a direct convolution, a DFT and closed forms, and
// its driver rules; settings and data folders, starting programs, the headless host.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/app_paths.h"
#include "platform/buffer_done_queue.h"
#include "platform/console_host.h"
#include "platform/host.h"
#include "platform/loopback_driver.h"
#include "platform/program_launcher.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

WaveFormat Pcm(uint32_t rate, uint16_t channels, uint16_t bytes) {
    const auto align = static_cast<uint16_t>(channels * bytes);
    return {.channels = channels, .samplesPerSec = rate, .avgBytesPerSec = rate * align, .blockAlign = align,
            .bitsPerSample = static_cast<uint16_t>(8 * bytes)};
}

LoopbackConfig Manual() { return {.clock = LoopbackConfig::Clock::Manual, .impulseResponse = {}}; }

// One open direction with one buffer queued.
struct Side {
    std::unique_ptr<WaveStream> stream;
    std::vector<uint8_t> data;
    WaveHeader header;

    WaveResult Open(WaveDriver& d, WaveDirection dir, const WaveFormat& f, WaveNotifySink* sink = nullptr) {
        return d.Open(dir, 0, f, sink, stream);
    }
    void Queue(size_t bytes) {
        if (data.size() != bytes) data.assign(bytes, 0);
        header.data = data.data();
        header.bufferLength = static_cast<uint32_t>(bytes);
        ASSERT_EQ(stream->Prepare(header), kWaveOk);
        ASSERT_EQ(stream->AddBuffer(header), kWaveOk);
    }
};

// Sample i of 32-bit little-endian data, in parts of full scale.
double Sample32(const std::vector<uint8_t>& d, size_t i) {
    return static_cast<int32_t>(d[4 * i] | d[4 * i + 1] << 8 | d[4 * i + 2] << 16 | uint32_t(d[4 * i + 3]) << 24) /
           2147483648.0;
}
void Put32(std::vector<uint8_t>& d, size_t i, int32_t v) {
    for (int b = 0; b < 4; ++b) d[4 * i + b] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * b));
}

TEST(LoopbackWire, GainVolumeDelayAndImpulseResponseMatchADirectConvolution) {
    const LoopbackConfig c{.clock = LoopbackConfig::Clock::Manual, .gain = {0.5, -1.25}, .delaySamples = {3, 11},
                           .impulseResponse = {{0.6, -0.3, 0.15, 0.05}, {}}};  // a plain wire on the right
    LoopbackDriver card(c);
    ASSERT_EQ(card.SetVolume(0, 0x4000u << 16 | 0x8000u), kWaveOk);
    const double volume[2] = {32768.0 / 65535.0, 16384.0 / 65535.0};
    Side out, in;
    const size_t frames = 2000;
    ASSERT_EQ(in.Open(card, WaveDirection::Input, Pcm(44100, 2, 4)), kWaveOk);
    ASSERT_EQ(out.Open(card, WaveDirection::Output, Pcm(44100, 2, 4)), kWaveOk);
    out.data.resize(frames * 8);
    std::srand(7);  // samples up to a quarter of full scale
    for (size_t n = 0; n < 2 * frames; ++n) Put32(out.data, n, (std::rand() % 2000001 - 1000000) * 500);
    out.Queue(out.data.size());
    in.Queue(frames * 8);
    ASSERT_EQ(in.stream->Start(), kWaveOk);
    card.Advance(frames);
    ASSERT_TRUE(in.header.IsDone());
    EXPECT_EQ(in.header.bytesRecorded.load(), frames * 8);
    for (int ch = 0; ch < 2; ++ch) {
        const std::vector<double> h = ch == 0 ? c.impulseResponse[0] : std::vector<double>{1.0};
        for (size_t n = 0; n < frames; ++n) {
            double y = 0.0;
            for (size_t k = 0; k < h.size(); ++k) {
                const long i = static_cast<long>(n) - static_cast<long>(c.delaySamples[ch]) - static_cast<long>(k);
                if (i >= 0) y += h[k] * Sample32(out.data, 2 * i + ch);
            }
            y *= c.gain[ch] * volume[ch];
            ASSERT_NEAR(Sample32(in.data, 2 * n + ch), y, 1.0 / 2147483648.0) << n << " " << ch;
        }
    }
}

TEST(LoopbackWire, TestSineHasItsFrequencyAndLevelUntilOutputOpens) {
    LoopbackDriver card({.clock = LoopbackConfig::Clock::Manual, .impulseResponse = {},
                         .source = LoopbackConfig::Source::Sine, .sineHz = 1500.0, .sineDb = -12.0});
    Side in;
    const size_t frames = 4800;  // 1500 Hz falls on bin 150
    ASSERT_EQ(in.Open(card, WaveDirection::Input, Pcm(48000, 2, 4)), kWaveOk);
    in.Queue(frames * 8);
    in.stream->Start();
    card.Advance(frames);
    // Bin 150 of a direct DFT holds the whole level and, by Parseval, nothing else is there.
    std::complex<double> bin = 0;
    double power = 0.0;
    for (size_t n = 0; n < frames; ++n) {
        bin += Sample32(in.data, 2 * n) * std::polar(1.0, -2.0 * M_PI * 150 * n / frames);
        power += Sample32(in.data, 2 * n) * Sample32(in.data, 2 * n) / frames;
    }
    const double amplitude = std::pow(10.0, -12.0 / 20.0);
    EXPECT_NEAR(2.0 * std::abs(bin) / frames, amplitude, 1e-6);
    EXPECT_NEAR(std::sqrt(power), amplitude / std::sqrt(2.0), 1e-8);
    EXPECT_EQ(Sample32(in.data, 0), Sample32(in.data, 1));  // both channels

    // An open output owns the wire: silence while it has nothing to play.
    Side out;
    ASSERT_EQ(out.Open(card, WaveDirection::Output, Pcm(48000, 2, 4)), kWaveOk);
    in.Queue(frames * 8);
    card.Advance(frames);
    EXPECT_TRUE(std::all_of(in.data.begin(), in.data.end(), [](uint8_t b) { return b == 0; }));
}

TEST(LoopbackDevice, RefusesWhatItCannotDo) {
    LoopbackDriver card(Manual());
    struct Case { uint32_t rate; uint16_t channels, bytes; WaveResult result; };
    for (const Case& f : {Case{4000, 1, 1, kWaveOk}, Case{200000, 2, 4, kWaveOk}, Case{3999, 1, 2, kWaveBadFormat},
                          Case{200001, 1, 2, kWaveBadFormat}, Case{48000, 3, 2, kWaveBadFormat},
                          Case{48000, 2, 5, kWaveBadFormat}})
        EXPECT_EQ(card.QueryFormat(WaveDirection::Input, 0, Pcm(f.rate, f.channels, f.bytes)), f.result) << f.rate;
    WaveFormat lying = Pcm(48000, 2, 2);
    lying.avgBytesPerSec += 1;
    EXPECT_EQ(card.QueryFormat(WaveDirection::Output, 0, lying), kWaveBadFormat);
    EXPECT_EQ(card.QueryFormat(WaveDirection::Output, 1, Pcm(48000, 2, 2)), kWaveBadDeviceId);

    Side in, in2, out;
    ASSERT_EQ(in.Open(card, WaveDirection::Input, Pcm(48000, 2, 2)), kWaveOk);
    EXPECT_EQ(in2.Open(card, WaveDirection::Input, Pcm(48000, 2, 2)), kWaveAllocated);
    EXPECT_EQ(out.Open(card, WaveDirection::Output, Pcm(44100, 2, 2)), kWaveAllocated);  // one clock
    EXPECT_EQ(out.Open(card, WaveDirection::Output, Pcm(48000, 1, 3)), kWaveOk);
    EXPECT_EQ(in.stream->Pause(), kWaveNotSupported);
    EXPECT_EQ(out.stream->Start(), kWaveNotSupported);
    ASSERT_EQ(in.stream->Close(), kWaveOk);
    EXPECT_EQ(in.stream->Start(), kWaveInvalidHandle);
    EXPECT_EQ(in2.Open(card, WaveDirection::Input, Pcm(48000, 2, 2)), kWaveOk);

    WaveInCaps ic;
    EXPECT_EQ(card.GetInCaps(1, ic), kWaveBadDeviceId);
}

TEST(LoopbackDevice, HeadersFollowTheDriverRulesAndResetHandsThemBack) {
    LoopbackDriver card(Manual());
    BufferDoneQueue queue;
    Side in;
    ASSERT_EQ(in.Open(card, WaveDirection::Input, Pcm(8000, 1, 2), &queue), kWaveOk);
    std::vector<uint8_t> da(100), db(101);  // the odd byte is never filled
    WaveHeader a{.data = da.data(), .bufferLength = 100}, b{.data = db.data(), .bufferLength = 101};
    EXPECT_EQ(in.stream->AddBuffer(a), kWaveUnprepared);
    for (WaveHeader* h : {&a, &b}) {
        ASSERT_EQ(in.stream->Prepare(*h), kWaveOk);
        ASSERT_EQ(in.stream->AddBuffer(*h), kWaveOk);
    }
    EXPECT_EQ(in.stream->AddBuffer(a), kWaveStillPlaying);
    EXPECT_EQ(in.stream->Unprepare(a), kWaveStillPlaying);
    card.Advance(10);  // not started: nothing recorded
    uint32_t pos = 99;
    in.stream->GetPosition(pos);
    EXPECT_EQ(pos, 0u);
    in.stream->Start();
    card.Advance(60);
    EXPECT_TRUE(a.IsDone() && !b.IsDone());
    EXPECT_EQ(b.bytesRecorded.load(), 20u);
    in.stream->GetPosition(pos);
    EXPECT_EQ(pos, 120u);
    BufferDoneQueue::Notice n;
    ASSERT_TRUE(queue.TryPop(n));
    EXPECT_EQ(n.header, &a);
    EXPECT_FALSE(queue.TryPop(n));
    // Reset hands the part-filled buffer back with what it holds, and stops the recording.
    ASSERT_EQ(in.stream->Reset(), kWaveOk);
    EXPECT_TRUE(b.IsDone() && !b.IsQueued());
    ASSERT_TRUE(queue.TryPop(n));
    EXPECT_EQ(n.header, &b);
    EXPECT_EQ(in.stream->Unprepare(b), kWaveOk);
    card.Advance(100);
    EXPECT_EQ(b.bytesRecorded.load(), 20u);
}

TEST(LoopbackConfigText, IniSectionAndEnvironmentSetTheCardAndBadValuesChangeNothing) {
    LoopbackConfig c;
    const auto rejected = c.ApplyIni(
        "[Device]\nDelay=99\n[loopback]\n; demo wiring\n"
        "Clock = manual\nDelayLeft=12\nGainRight=2\nSource=Sine\nSineHz=440.5\nImpulseLeft=1, 0.5,0.25\n"
        "Colour=blue\nDelay=-3\n[Other]\nGain=7\n");
    EXPECT_EQ(rejected, (std::vector<std::string>{"Colour=blue", "Delay=-3"}));
    EXPECT_EQ(c.clock, LoopbackConfig::Clock::Manual);
    EXPECT_TRUE(c.delaySamples[0] == 12 && c.delaySamples[1] == 0 && c.gain[0] == 1.0 && c.gain[1] == 2.0);
    EXPECT_EQ(c.impulseResponse[0], (std::vector<double>{1.0, 0.5, 0.25}));

    ::setenv("ZELTRAK_LOOPBACK_TEST", "Delay=7; source=silence;;Impulse=1,x;SineHz=-1", 1);
    const auto bad = c.ApplyEnvironment("ZELTRAK_LOOPBACK_TEST");
    ::unsetenv("ZELTRAK_LOOPBACK_TEST");
    EXPECT_EQ(bad, (std::vector<std::string>{"Impulse=1,x", "SineHz=-1"}));
    EXPECT_EQ(c.delaySamples[1], 7u);
    EXPECT_EQ(c.source, LoopbackConfig::Source::Silence);
    EXPECT_EQ(c.impulseResponse[0].size(), 3u);  // a bad value changes nothing
    EXPECT_EQ(c.sineHz, 440.5);
    // Values past the limits, or levels that would overflow to infinite (then NaN) samples.
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"Delay", std::to_string(LoopbackConfig::kMaxDelay + 1)}, {"SineDb", "1e308"}, {"NoiseDb", "1e308"},
             {"Gain", "1e300"}, {"Clock", "sometimes"}})
        EXPECT_FALSE(c.Set(key, value)) << key;
    EXPECT_TRUE(c.Set("SineDb", "60"));
}

TEST(AppPaths, XdgFoldersWithTheirFallbacksStoredFormsBelowTheDataFolderAndAProgramFolderFileWins) {
    testing::TempDir dir;
    AppEnvironment env{dir.path(), "/home/ann", "relative/cfg", ""};  // relative: invalid by the XDG rules
    EXPECT_EQ(SettingsFilePath(env), "/home/ann/.config/zeltrak/zeltrak.ini");
    EXPECT_EQ(DataDir(env), "/home/ann/.local/share/zeltrak");
    env.xdgConfigHome = "/cfg";
    env.xdgDataHome = "/data";
    EXPECT_EQ(ConfigDir(env), "/cfg/zeltrak");
    EXPECT_EQ(DataDir(env), "/data/zeltrak");
    const std::pair<const char*, const char*> stored[] = {
        {"..\\.\\wave", "/data/zeltrak/wave"}, {"macro\\sub\\..\\run", "/data/zeltrak/macro/run"},
        {"..\\..\\..\\etc", "/data/zeltrak/etc"},  // never above the data folder
        {"/srv/recordings/./a", "/srv/recordings/a"}, {"", "/data/zeltrak"}};
    for (const auto& [path, resolved] : stored) EXPECT_EQ(ResolveDataPath(env, path), resolved) << path;
    testing::WriteFile(dir.File("zeltrak.ini"), "[Mode]\nOpMode=2\n");
    EXPECT_EQ(SettingsFilePath(env), dir.File("zeltrak.ini"));
    // Folders are made with their parents; a file in the way is a failure.
    EXPECT_TRUE(MakeDirectories(dir.File("a/b/c")) && std::filesystem::is_directory(dir.File("a/b/c")));
    EXPECT_FALSE(MakeDirectories(dir.File("zeltrak.ini/below")));
}

TEST(ProgramLauncher, StartsAProgramDetachedAndReportsMissingOnes) {
    testing::TempDir dir;
    EXPECT_FALSE(FindExecutable("sh").empty());
    EXPECT_TRUE(FindExecutable("zeltrak-no-such-program").empty());
    EXPECT_FALSE(LaunchDetached("zeltrak-no-such-program", "x"));
    EXPECT_FALSE(LaunchDetached(dir.path(), ""));  // a folder is not a program

    const std::string marker = dir.File("started");
    ASSERT_TRUE(LaunchDetached("touch", marker));
    for (int i = 0; i < 200 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(std::filesystem::exists(marker));
}

TEST(ConsoleHostAnswers, PolicyDecidesAndEverythingIsPrinted) {
    std::FILE* out = std::tmpfile();
    {
        ConsoleHost host(out);
        EXPECT_EQ(host.AskYesNo("Keep the data?", ""), Answer::Yes);
        EXPECT_EQ(host.AskYesNoCancel("Save changes?", ""), Answer::Cancel);
        host.SetQuestionPolicy(ConsoleHost::QuestionPolicy::AlwaysNo);
        EXPECT_EQ(host.AskYesNoCancel("Save changes?", ""), Answer::No);
        ShowStringMessage(host, 37);
        ShowStringMessage(host, 12345);
        EXPECT_FALSE(host.PollCancelRequest());
        host.RequestCancel();
        EXPECT_TRUE(host.PollCancelRequest());
        EXPECT_FALSE(host.PollCancelRequest());
    }
    std::string text(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    for (const char* line : {"Keep the data? -> Yes", "StringTable entry 12345 not found", "Save changes? -> No",
                             "VornalPRO - FFT Spectral Analysis System: warning: Cannot access the sound board"})
        EXPECT_NE(text.find(line), std::string::npos) << text;
}

}  // namespace
}  // namespace zeltrak
