// The keypad-tone decoder: the detector's timing rules on level sequences, the segment analysis
// on tone pairs synthesised here, the options dialog and the file command on a sox-made file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "base/dtmf_table.h"
#include "files/ini_store.h"
#include "files/wave_file.h"
#include "support/run_command.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "utilities/dtmf_command.h"
#include "utilities/dtmf_options.h"
#include "utilities/dtmf_segment.h"
#include "utilities/dtmf_strings.h"

namespace zeltrak {
namespace {

// Levels of the eight table frequencies with `row` and `column` (0..3 each, -1 none) at `db`.
std::array<float, 8> Pair(int row, int column, float db = -10.0f, float rest = -90.0f) {
    std::array<float, 8> l;
    l.fill(rest);
    if (row >= 0) l[row] = db;
    if (column >= 0) l[4 + column] = db;
    return l;
}

// A run of 5 ms frames: `levels` from `from` to `to` (inclusive).
void Feed(TDTMFData& d, const std::array<float, 8>& levels, int from, int to) {
    for (int t = from; t <= to; t += 5) d.Detect(levels, t);
}

TEST(DtmfDetector, TimingRules) {
    const auto five = Pair(1, 1), hash = Pair(3, 2), quiet = Pair(-1, -1), silence = Pair(-1, -1, 0, -999.9f);
    struct Case {
        const char* what;
        std::vector<std::tuple<std::array<float, 8>, int, int>> runs;
        std::string keys;
    } cases[] = {
        {"30 ms kept when it stops", {{five, 100, 130}, {quiet, 135, 200}}, "5"},
        {"15 ms dropped", {{five, 100, 115}, {quiet, 120, 200}}, ""},
        {"two rows", {{Pair(0, -1), 100, 200}, {quiet, 205, 300}}, ""},
        {"-45 dB under -40", {{Pair(3, 2, -45.0f), 100, 200}, {quiet, 205, 300}}, ""},
        {"# at -39 dB", {{Pair(3, 2, -39.0f), 100, 200}, {quiet, 205, 300}}, "#"},
        // The key of the detection is kept, not that of the frame that ended it.
        {"ends in digital silence", {{five, 100, 200}, {silence, 205, 300}}, "5"},
        // A second key 10 ms after the first is heard only from 20 ms on: 25 ms of it remain.
        {"spacing 10 ms", {{five, 100, 200}, {quiet, 205, 205}, {hash, 210, 255}, {quiet, 260, 300}}, "5#"},
        {"spacing 10 ms, too short", {{five, 100, 200}, {quiet, 205, 205}, {hash, 210, 240}, {quiet, 245, 300}}, "5"},
        // A one-frame drop-out ends the key; what follows at once must keep the spacing.
        {"drop-out", {{five, 100, 200}, {quiet, 205, 205}, {five, 210, 220}, {quiet, 225, 300}}, "5"},
        // After a rewind the end time is moved before the new time.
        {"time backwards", {{five, 1000, 1100}, {quiet, 1105, 1110}, {hash, 200, 300}, {quiet, 305, 310}}, "5#"},
    };
    for (const Case& c : cases) {
        TDTMFData d;
        for (const auto& [levels, from, to] : c.runs) Feed(d, levels, from, to);
        EXPECT_EQ(d.KeyString(), c.keys) << c.what;
    }
}

TEST(DtmfDetector, KeepsTheLast999KeysAndTheirTimes) {
    TDTMFData d;
    std::string sent;
    for (int i = 0; i < 1000; ++i) {
        const int key = i % 16;
        Feed(d, Pair(key / 4, key % 4), 100 * i + 10, 100 * i + 50);
        EXPECT_TRUE(d.Detect(Pair(-1, -1), 100 * i + 55));
        sent += kDtmfKeys[key / 4][key % 4];
    }
    EXPECT_EQ(d.KeyString(), sent.substr(1));
    char copy[5];
    EXPECT_EQ(std::string(copy, d.CopyKeyString(copy, 5)), sent.substr(1, 4));
    ASSERT_EQ(d.Events().size(), 1000u);
    EXPECT_EQ(d.Events()[7].startMs, 710);
    EXPECT_EQ(d.Events()[7].durationMs, 40);
}

// Writes tone pairs for `keys` into a mono or stereo 16-bit wave, one key after another.
struct Burst {
    std::string keys;
    double toneMs = 60, pauseMs = 60;
    double lowDb = -12;    // row tone, dB re full scale (peak)
    double twistDb = 0;    // column tone relative to the row tone
    double snrDb = 40;     // tone pair power over white noise power
    double freqScale = 1;  // every tone's frequency times this
};

std::vector<double> Synthesise(const Burst& b, uint32_t rate, uint64_t seed) {
    const double per = (b.toneMs + b.pauseMs) / 1000.0;
    std::vector<double> x(static_cast<size_t>((b.keys.size() * per + 0.2) * rate), 0.0);
    const double a1 = std::pow(10.0, b.lowDb / 20), a2 = a1 * std::pow(10.0, b.twistDb / 20);
    for (size_t k = 0; k < b.keys.size(); ++k) {
        const double f1 = TDTMFData::LowFrequency(b.keys[k]) * b.freqScale;
        const double f2 = TDTMFData::HighFrequency(b.keys[k]) * b.freqScale;
        const size_t first = static_cast<size_t>((0.1 + k * per) * rate), n = static_cast<size_t>(b.toneMs / 1000 * rate);
        for (size_t i = 0; i < n; ++i)
            x[first + i] = a1 * std::sin(2 * M_PI * f1 * i / rate) + a2 * std::sin(2 * M_PI * f2 * i / rate);
    }
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> noise(0.0, std::sqrt((a1 * a1 + a2 * a2) / 2 / std::pow(10.0, b.snrDb / 10)));
    for (double& v : x) v += noise(rng);
    return x;
}

std::unique_ptr<TWaveFile> MakeWave(uint32_t rate, const std::vector<std::vector<double>>& channels) {
    size_t frames = 0;
    for (const auto& c : channels) frames = std::max(frames, c.size());
    auto w = std::make_unique<TWaveFile>(static_cast<uint32_t>(frames),
                                         SampleFormat::Make(rate, static_cast<uint16_t>(channels.size()), 2));
    for (uint32_t c = 0; c < channels.size(); ++c)
        for (uint32_t i = 0; i < channels[c].size(); ++i)
            w->PutSample(std::lround(std::clamp(channels[c][i], -1.0, 1.0) * 32767), i, c);
    return w;
}

DtmfSegmentResult Analyse(TWaveData& w) {
    ScriptedHost host;
    DtmfSegmentResult r;
    EXPECT_TRUE(AnalyseDtmfSegment(w, ProcessingSettings{}, 0, w.Length(), host, "ready", r));
    EXPECT_EQ(host.statusTexts.front(), dtmf_text::kAnalysing);
    EXPECT_EQ(host.statusTexts.back(), "ready");
    EXPECT_FALSE(host.progressVisible);
    return r;
}

TEST(DtmfSegment, DecodesKeyStringsAtEachRate) {
    struct Case {
        uint32_t rate;
        Burst burst;
        uint32_t fftSize, step;
    } cases[] = {
        {8000, {"123A456B789C*0#D", 60, 60, -12, 0, 20}, 512, 5},
        {11025, {"#05D", 70, 70, -20, -4, 25}, 1024, 10},
        {22050, {"9*8", 100, 80, -6, 3, 30}, 2048, 20},
        {44100, {"147", 80, 80, -30, 0, 30}, 4096, 40},
        {96000, {"C2", 150, 150, -12, 0, 30}, 8192, 81},
    };
    for (const Case& c : cases) {
        auto w = MakeWave(c.rate, {Synthesise(c.burst, c.rate, c.rate)});
        const DtmfSegmentResult r = Analyse(*w);
        EXPECT_EQ(r.detectors[0].KeyString(), c.burst.keys) << c.rate;
        EXPECT_EQ(r.fftSize, c.fftSize);
        EXPECT_EQ(r.fineStep, c.step);
    }
    for (auto [rate, size] : {std::pair{8001u, 1024u}, {16000u, 1024u}, {16001u, 2048u}, {34000u, 2048u},
                              {34001u, 4096u}, {50000u, 4096u}, {50001u, 8192u}})
        EXPECT_EQ(DtmfFftSize(rate), size) << rate;
}

TEST(DtmfSegment, SegmentRulesAndCancel) {
    auto w = MakeWave(8000, {Synthesise({"58#0", 45, 50, -15, -6, 16}, 8000, 7),
                             Synthesise({"A1", 60, 40, -40, 4, 20}, 8000, 8)});
    ScriptedHost host;
    RunDtmfSegmentAnalysis(*w, ProcessingSettings{}, 300, 300, host, "");
    RunDtmfSegmentAnalysis(*w, ProcessingSettings{}, -50, -1, host, "");  // empty once clamped
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, dtmf_text::kNoSegment);
    RunDtmfSegmentAnalysis(*w, ProcessingSettings{}, -50, w->Length(), host, "");
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].text, "DTMF keys (Left)  = 58#0\rDTMF keys (right) = A1");
    EXPECT_EQ(host.messages[1].caption, "DTMF");
    auto tiny = MakeWave(8000, {std::vector<double>(100, 0.5)});  // shorter than one frame
    RunDtmfSegmentAnalysis(*tiny, ProcessingSettings{}, 0, tiny->Length(), host, "");
    EXPECT_EQ(host.messages.back().text, "DTMF keys = ");
    host.ScriptCancelRequests(1);  // pass 1 stops at once: no result
    RunDtmfSegmentAnalysis(*w, ProcessingSettings{}, 0, w->Length(), host, "");
    EXPECT_EQ(host.messages.size(), 3u);
}

// The signalling limits the detector meets at both rates: twist within +4/-8 dB and 15 dB SNR.
// (Its bins are too narrow for +-1.5 % frequency deviation; the issue note has those figures.)
TEST(DtmfSegment, DecodesWithinTheTwistAndNoiseLimits) {
    const std::string keys = "1234567890*#ABCD";
    for (const Burst& burst : {Burst{keys}, Burst{keys, 60, 60, -12, 4}, Burst{keys, 60, 60, -12, -8},
                               Burst{keys, 60, 60, -12, 0, 15}})
        for (uint32_t rate : {8000u, 44100u})
            EXPECT_EQ(Analyse(*MakeWave(rate, {Synthesise(burst, rate, 3)})).detectors[0].KeyString(), keys) << rate;
}

TEST(DtmfOptions, DialogValidationAndSettings) {
    struct Case {
        DtmfOptionTexts texts;
        const char* message;  // null: accepted
    } cases[] = {
        {{"-80", "1", "1000"}, nullptr},
        {{"0.1", "20", "20"}, dtmf_text::kThresholdRange},
        {{"-80.5", "20", "20"}, dtmf_text::kThresholdRange},
        {{"abc", "20", "20"}, dtmf_text::kThresholdRange},
        {{"-40", "0", "2000"}, dtmf_text::kDurationRange},
        {{"-40", "1001", "20"}, dtmf_text::kDurationRange},
        {{"-40", "20", "0"}, dtmf_text::kSpacingRange},
    };
    for (const Case& c : cases) {
        DtmfOptions o;
        std::string message;
        EXPECT_EQ(ValidateDtmfOptions(c.texts, o, message), c.message == nullptr) << c.texts.threshold;
        EXPECT_EQ(message, c.message ? c.message : "");
    }
    EXPECT_EQ(DtmfOptionsAsTexts({-35.5f, 30, 25}).threshold, "-35.50");
    const DtmfOptionTexts defaults = DtmfOptionDefaults();
    EXPECT_EQ(defaults.threshold + defaults.duration + defaults.spacing, "-40.042");

    TIniStore ini;
    EXPECT_EQ(ReadDtmfOptions(ini).minSpacingMs, 20);
    WriteDtmfOptions(ini, {-35.5f, 30, 25});
    EXPECT_NE(ini.Text().find("HitThresholdLevel=-35.500000"), std::string::npos) << ini.Text();
    EXPECT_NE(ini.Text().find("MinDigitSpacingMsec=25"), std::string::npos);
    const DtmfOptions back = ReadDtmfOptions(ini);
    EXPECT_EQ(std::tie(back.thresholdDb, back.minDurationMs, back.minSpacingMs), std::make_tuple(-35.5f, 30, 25));
}

TEST(DtmfCommand, PrintsTheKeysOfASoxFile) {
    if (!testing::HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    testing::TempDir dir;
    std::string parts;
    const char* keys = "4#7";
    const char* tones[] = {"770 sine mix 1209", "941 sine mix 1477", "852 sine mix 1209"};
    for (int k = 0; k < 3; ++k) {
        const std::string part = dir.File(std::to_string(k) + ".wav");
        ASSERT_EQ(testing::RunQuiet("sox -n -r 8000 -b 16 -c 1 " + part + " synth 0.1 sine " + tones[k] +
                                    " vol 0.5 pad 0.2 0"), 0);
        parts += part + " ";
    }
    const std::string path = dir.File("keys.wav");
    ASSERT_EQ(testing::RunQuiet("sox " + parts + path + " pad 0 0.2"), 0);
    ScriptedHost host;
    std::string error;
    char text[4096] = {};
    std::FILE* out = fmemopen(text, sizeof text - 1, "w");
    EXPECT_EQ(RunDtmfCommand(path, out, host, error), 0) << error;
    std::fclose(out);
    std::printf("%s", text);
    // Keys start 0.2 s, 0.5 s and 0.8 s into the file and last 100 ms.
    int lines = 0;
    for (const char* p = text; lines < 3 && *p; ++lines, p = std::strchr(p, '\n') + 1) {
        char channel[8], key = 0;
        double start = 0;
        int duration = 0;
        ASSERT_EQ(std::sscanf(p, "%7s %c %lf s %d ms", channel, &key, &start, &duration), 4) << p;
        EXPECT_EQ(key, keys[lines]);  // the table checked against tones given by number
        EXPECT_NEAR(start, 0.2 + 0.3 * lines, 0.015);
        EXPECT_NEAR(duration, 100, 25);
    }
    EXPECT_NE(std::string(text).find("DTMF keys = 4#7\n"), std::string::npos);
    EXPECT_EQ(RunDtmfCommand(dir.File("missing.wav"), stdout, host, error), 1);
}

}  // namespace
}  // namespace zeltrak
