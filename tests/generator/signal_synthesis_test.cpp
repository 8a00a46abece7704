// The generator's synthesis against closed forms computed here with std::sin; lengths, formats and levels.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <vector>

#include "generator/buffer_length.h"
#include "generator/output_level.h"
#include "generator/signal_synthesis.h"
#include "generator/signal_synthesis_internal.h"
#include "support/temp_dir.h"
#include "support/wave_builder.h"

namespace zeltrak {
namespace {

constexpr double kTwoPiSpec = 6.283185308;

// Every draw the same: d = 2 x (16383/32767 - 0.5).
class PinnedDither final : public DitherSource {
public:
    void Fill(std::span<int32_t> out) override { std::fill(out.begin(), out.end(), 16383); }
};
const double kPinnedD = 2.0 * (16383.0 / 32767.0 - 0.5);

std::vector<int32_t> Synth(const SignalSetup& setup, uint32_t rate, uint16_t bytes, uint32_t length, double g,
                           DitherSource* dither = nullptr, std::span<const int16_t> noise = {}) {
    TWaveData buffer(length, SampleFormat::Make(rate, 1, bytes));
    static PinnedDither pinned;
    SynthesisSources sources{noise, noise, dither ? dither : &pinned, {}, nullptr};
    EXPECT_TRUE(SynthesizeChannel(buffer, setup, 0, g, sources).ok);
    std::vector<int32_t> v(length);
    for (uint32_t i = 0; i < length; ++i) v[i] = DecodeSample(buffer.Buffer() + i * bytes, bytes);
    return v;
}

// The sine output rule with the pinned dither, 24-bit.
int32_t Sine24(double g, double s) { return static_cast<int32_t>(std::trunc(0.99 * g * 8388607.0 * s + kPinnedD + 0.5)); }

SignalSetup Of(SignalType type, const std::function<void(SignalSetup&)>& edit = {}) {
    SignalSetup s;
    s.type = type;
    if (edit) edit(s);
    return s;
}

double Sin(double hz, double t, uint32_t rate) { return std::sin(kTwoPiSpec * hz * t / rate); }

TEST(SignalSynthesis, SineTypesFollowTheirClosedForms) {
    constexpr uint32_t R = 8000;
    const double tuned = TunedLogSweepRate(200, 3000, 4000, R);  // checked against numpy below
    // s: waveform x level of sample i
    struct Case { const char* name; SignalSetup setup; std::function<double(uint32_t)> s; } cases[] = {
        {"1 kHz", Of(SignalType::Tone1kHz), [](uint32_t i) { return Sin(1000, i + 1, R); }},
        {"two tones", Of(SignalType::MultipleTones, [](SignalSetup& s) {
             s.tones.slots[3] = {1, 1234.5f, -6.0f, 0.5f};
             s.tones.slots[5] = {2, 3000.0f, 0.0f, 1.0f};  // counted, not played
         }),
         [](uint32_t i) { return (Sin(1000, i + 1, R) + 0.5 * Sin(1234.5, i + 1, R)) / 3; }},
        {"IMD custom", Of(SignalType::Imd, [](SignalSetup& s) { s.imd = {2, 100.0f, 3100.0f, 8.0f}; }),
         [](uint32_t i) { return (Sin(100, i + 1, R) + 0.125 * Sin(3100, i + 1, R)) / 2; }},
        {"tone burst", Of(SignalType::ToneBurst, [](SignalSetup& s) { s.toneBurst = {700, 30, 100}; }),
         [](uint32_t i) { return i % 800 < 560 ? 0.0 : Sin(700, i + 1, R); }},
        {"linear sweep", Of(SignalType::FrequencySweep, [](SignalSetup& s) { s.frequencySweep = {200, 5000, 250, 1}; }),
         [](uint32_t i) { return Sin(200 + i % 2000 * (4000.0 - 200) * 0.5 / 2000, i % 2000 + 1, R); }},  // 5000 -> R/2
        {"log sweep, short", Of(SignalType::FrequencySweep, [](SignalSetup& s) { s.frequencySweep = {200, 3000, 100, 2}; }),
         [](uint32_t i) { return Sin(200 * std::pow(15.0, i % 800 * 0.5 / 800), i % 800 + 1, R); }},
        {"log sweep, tuned", Of(SignalType::FrequencySweep, [](SignalSetup& s) { s.frequencySweep = {200, 3000, 500, 2}; }),
         [&](uint32_t i) { return Sin(std::pow(10.0, std::log10(200.0) + (i % 4000) * tuned), i % 4000 + 1, R); }},
        {"level sweep", Of(SignalType::LevelSweep, [](SignalSetup& s) { s.levelSweep = {-40.0f, -10.0f, 440.0f, 200}; }),
         [](uint32_t i) { return std::pow(10.0, 0.05 * (-40.0 + i % 1600 * 30.0 / 1600)) * Sin(440, i % 1600 + 1, R); }},
    };
    for (const Case& c : cases) {
        const auto v = Synth(c.setup, R, 3, 9000, 0.7);
        int worst = 0;
        for (uint32_t i = 0; i < v.size(); ++i) worst = std::max(worst, std::abs(v[i] - Sine24(0.7, c.s(i))));
        EXPECT_LE(worst, 1) << c.name;
    }
}

// The zero crossings of the last three periods (placed between samples by linear
// interpolation) give the frequency, in cycles per sample, where the sweep ends.
double EndHz(const std::vector<int32_t>& v, uint32_t end) {
    std::vector<double> at;
    for (uint32_t i = end - 1; i > 0 && at.size() < 7; --i)
        if ((v[i] > 0) != (v[i - 1] > 0)) at.push_back(i - 1 + v[i - 1] / static_cast<double>(v[i - 1] - v[i]));
    return 3.0 / (at.front() - at.back());
}

TEST(SignalSynthesis, SweepsEndAtTheStopFrequencyAndRunDownwardReversed) {
    constexpr uint32_t R = 48000;
    auto sweep = [](float from, float to, int type) {
        return Synth(Of(SignalType::FrequencySweep, [&](SignalSetup& s) { s.frequencySweep = {from, to, 2000, type}; }), R,
                     2, 96000, 1.0);
    };
    EXPECT_NEAR(EndHz(sweep(100, 2000, 1), 96000) * R, 2000.0, 5.0);
    // The log sweep's rate is tuned until its last three periods a decade lower measure at least
    // the stop frequency; numpy running that loop gives 8.743309217e-6 and an instantaneous
    // 2025.9 Hz at the end.
    EXPECT_NEAR(TunedLogSweepRate(100, 2000, 96000, R), 8.743309217e-6, 1e-15);
    const auto up = sweep(100, 2000, 2);
    EXPECT_NEAR(EndHz(up, 96000) * R, 2025.9, 5.0);
    const auto down = sweep(2000, 100, 2);
    EXPECT_TRUE(std::equal(up.begin(), up.end(), down.rbegin()));
}

TEST(SignalSynthesis, SinesByRotationStayWithinATinyFractionOfA24BitStep) {
    using namespace synthesis;
    double worst = 0.0;
    for (double x = -3e7; x < 3e7; x += 9876.54321) worst = std::max(worst, std::abs(FastSin(x) - std::sin(x)));
    EXPECT_LT(worst, 1e-12);
    // Ten seconds at 192 kHz in the blocks the synthesis uses.
    const std::array tone{Tone{19997.3, 1.0}};
    constexpr uint32_t R = 192000;
    std::array<double, kBlock> s;
    worst = 0.0;
    for (uint32_t first = 0; first < 10 * R; first += kBlock) {
        s.fill(0.0);
        AddSines(tone, R, first + 1ull, s.data(), kBlock);
        for (uint32_t k = 0; k < kBlock; k += 7) worst = std::max(worst, std::abs(s[k] - Sin(19997.3, first + k + 1.0, R)));
    }
    EXPECT_LT(worst, 1e-9);  // one 24-bit step is 1.2e-7
}

TEST(SignalSynthesis, PeriodicWaveformsFollowTheirIntegerRules) {
    constexpr uint32_t R = 44100;
    const double g = 0.8;
    auto trunc = [](double x) { return static_cast<int32_t>(std::trunc(x)); };
    struct Case { const char* name; SignalSetup setup; std::function<int32_t(uint32_t)> expected; } cases[] = {
        {"rising saw, P 14.7 -> 14", Of(SignalType::Sawtooth, [](SignalSetup& s) { s.sawtooth = {1, 3000.0f}; }),
         [&](uint32_t i) { return trunc(trunc(-32767 + (i % 14) * 65534.0 / 14) * g); }},
        {"falling saw", Of(SignalType::Sawtooth, [](SignalSetup& s) { s.sawtooth = {-1, 3000.0f}; }),
         [&](uint32_t i) { return trunc(trunc(32767 - (i % 14) * 65534.0 / 14) * g); }},
        {"triangle, P 45, H 22", Of(SignalType::Triangular, [](SignalSetup& s) { s.triangular = {980.0f}; }),
         [&](uint32_t i, uint32_t j = 0) {
             j = i % 45;
             return trunc(trunc(j < 22 ? -32767 + j * 65534.0 / 22 : 32767 - (j - 22) * 65534.0 / 22) * g);
         }},
        {"square 2000 Hz: P 22, D 11", Of(SignalType::Square),
         [&](uint32_t i) { return trunc((i % 22 < 11 ? 32439 : -32439) * g); }},
        {"square 30 %", Of(SignalType::Square, [](SignalSetup& s) { s.square = {2000.0f, 30}; }),
         [&](uint32_t i) { return trunc((i % 22 < 6 ? 32439 : -32439) * g); }},
        {"pulse: I 44, W 8", Of(SignalType::Pulse, [](SignalSetup& s) { s.pulse = {200, 1000, 0}; }),
         [&](uint32_t i) { return i % 44 < 8 ? trunc(g * 0.99 * 32767) : 0; }},
    };
    for (const Case& c : cases) {
        const auto v = Synth(c.setup, R, 2, 1000, g);
        for (uint32_t i = 0; i < v.size(); ++i) ASSERT_EQ(v[i], c.expected(i)) << c.name << " at " << i;
    }
}

TEST(SignalSynthesis, NoiseScalesTheRecordingAndBurstsAfterSilence) {
    const std::vector<int16_t> noise{32767, -32768, 1000, -7, 555};  // odd: wraps after 4
    const auto white = Synth(Of(SignalType::WhiteNoise), 44100, 2, 9, 0.5, nullptr, noise);
    for (uint32_t i = 0; i < 9; ++i) EXPECT_EQ(white[i], std::trunc(noise[i % 4] * 0.5 * 32767 / 32768.0));
    // 8-bit noise sits around its zero value 127 instead of wrapping below 0.
    const auto white8 = Synth(Of(SignalType::WhiteNoise), 44100, 1, 4, 1.0, nullptr, noise);
    EXPECT_EQ(white8, (std::vector<int32_t>{254, 0, 130, 127}));
    // 10 ms cycles of 441 samples: 265 silent, then 176 of noise that ran on underneath.
    const auto burst = Synth(Of(SignalType::NoiseBurst, [](SignalSetup& s) { s.noiseBurst = {0, 4, 10}; }), 44100, 2,
                             900, 0.25, nullptr, noise);
    for (uint32_t i = 0; i < 900; ++i) {
        const int64_t v = i % 441 < 265 ? 0 : static_cast<int64_t>(noise[i % 4] * 0.25 * 32767) / 32768;
        ASSERT_EQ(burst[i], v) << i;
    }
}

// Half the amplitude of the tone at `hz` in v[from, to), Hann-windowed against leakage.
double Goertzel(const std::vector<int32_t>& v, uint32_t from, uint32_t to, double hz, uint32_t rate) {
    std::complex<double> sum;
    double weights = 0.0;
    for (uint32_t i = from; i < to; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * (i - from) / (to - from));
        sum += std::polar(w * v[i], -2 * M_PI * hz * i / rate);
        weights += w;
    }
    return std::abs(sum) / weights;
}

TEST(SignalSynthesis, DtmfPlaysEachKeysPairThenSilenceWithTwist) {
    const auto setup = Of(SignalType::Dtmf, [](SignalSetup& s) { s.dtmf = {"1b", 100, 100, 3.0f, 1}; });
    const auto v = Synth(setup, 8000, 2, 9600, 1.0);
    const std::array<double, 8> grid{697, 770, 852, 941, 1209, 1336, 1477, 1633};
    struct Slot { uint32_t from; double low, high; } slots[] = {  // low 0: silence
       {0, 697, 1209}, {800, 0, 0}, {1600, 770, 1633}, {2400, 0, 0}, {3200, 697, 1209}, {8000, 770, 1633}};
    for (const Slot& s : slots) {
        for (uint32_t i = s.from; s.low == 0 && i < s.from + 800; ++i) ASSERT_LE(std::abs(v[i]), 1) << i;
        for (double hz : grid) {  // each tone half the sum, the low one 3 dB down
            const double want = hz == s.low ? 0.25 * std::pow(10.0, -0.15) : hz == s.high ? 0.25 : 0.0;
            EXPECT_NEAR(Goertzel(v, s.from, s.from + 800, hz, 8000) / (0.99 * 32767), want, 0.003) << s.from << " " << hz;
        }
    }
}

TEST(SignalSynthesis, DitherIsTriangularAndRoundsTowardZeroAfterAddingAHalf) {
    SignalSetup silent = Of(SignalType::MultipleTones, [](SignalSetup& s) { s.tones.slots[0].enabled = 0; });
    SeededDither seeded(42);
    const auto v = Synth(silent, 44100, 2, 200000, 1.0, &seeded);
    // trunc(d + 0.5) with d in [-1, 1] triangular: 1 when d >= 0.5 (probability 1/8), else 0.
    const auto ones = std::count(v.begin(), v.end(), 1);
    EXPECT_EQ(std::count(v.begin(), v.end(), 0) + ones, 200000);
    EXPECT_NEAR(ones / 200000.0, 0.125, 0.005);
    // 8-bit: around the zero value 127, which digital zero holds.
    const auto eight = Synth(silent, 44100, 1, 1000, 1.0, &seeded);
    EXPECT_TRUE(std::all_of(eight.begin(), eight.end(), [](int32_t x) { return x >= 126 && x <= 128; }));
    EXPECT_EQ(Synth(Of(SignalType::DigitalZero), 8000, 1, 3, 1.0), (std::vector<int32_t>{127, 127, 127}));
}

TEST(SignalSynthesis, TwentyFourBitFormAndMonoChannels) {
    // 24-bit negatives are three bytes of two's complement: v + 0x1000000.
    TWaveData buffer(4, SampleFormat::Make(8000, 2, 3));
    SynthesisSources sources;
    SynthesizeChannel(buffer, Of(SignalType::Square), 1, 1.0, sources);
    const uint8_t* low = buffer.Buffer() + 3 * 6 + 3;  // frame 3 (low half), channel 1
    EXPECT_EQ(low[0] | low[1] << 8 | low[2] << 16, -8304720 + 0x1000000);
    // A mono buffer has no channel 1: channel 0 stays as it was. Progress every 1000 samples.
    TWaveData mono(2500, SampleFormat::Make(8000, 1, 2));
    std::vector<int> told;
    sources.progress = [&](int percent) { told.push_back(percent); };
    SynthesizeChannel(mono, Of(SignalType::Square), 0, 1.0, sources);
    EXPECT_EQ(told, (std::vector<int>{0, 40, 80, 100}));
    std::vector<uint8_t> before(mono.Buffer(), mono.Buffer() + 5000);
    SynthesizeChannel(mono, Of(SignalType::Tone1kHz), 1, 1.0, sources);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), mono.Buffer()));
}

TEST(SignalSynthesis, UserDefinedPlaysItsFileAndAMissingOneIsSilentWithTheMessage) {
    testing::TempDir dir;
    const std::vector<int16_t> frames{100, -200, 300, -400, 500, -600};  // 3 stereo frames
    std::vector<uint8_t> bytes;
    for (int16_t x : frames) test::Put16(bytes, static_cast<uint16_t>(x));
    test::WriteAll(dir.File("u.wav"), test::SimpleWave(2, 2, 22050, bytes));
    std::string message;
    auto wave = OpenUserWave(dir.File("u.wav"), message);
    ASSERT_TRUE(wave);
    TWaveData buffer(7, SampleFormat::Make(22050, 2, 2));
    SynthesisSources sources{{}, {}, nullptr, {}, wave.get()};
    SignalSetup setup = Of(SignalType::UserDefined);
    EXPECT_TRUE(SynthesizeChannel(buffer, setup, 1, 0.5, sources).ok);
    for (uint32_t i = 0; i < 7; ++i) EXPECT_EQ(buffer.GetSample(i, 1, false), std::trunc(frames[2 * (i % 3) + 1] * 0.5));
    setup.userDefined.waveFile = dir.File("missing.wav");
    EXPECT_FALSE(OpenUserWave(setup.userDefined.waveFile, message));
    sources.userWave = nullptr;
    const SynthesisResult r = SynthesizeChannel(buffer, setup, 1, 0.5, sources);
    EXPECT_EQ(r.message, "Generator - Failure opening file: " + setup.userDefined.waveFile);
    EXPECT_EQ(buffer.GetSample(2, 1, false), 0);
}

TEST(SignalSynthesis, SavedWaveHoldsTheBufferRepeated) {
    // (R div L) + 1 times for the periodic waveforms: twice for a one-second period.
    EXPECT_EQ(SaveRepeatCount(SignalType::Square, 44100, 44110), 1u);
    EXPECT_EQ(SaveRepeatCount(SignalType::Tone1kHz, 44100, 44100), 1u);
    ASSERT_EQ(SaveRepeatCount(SignalType::Sawtooth, 44100, 44100), 2u);
    testing::TempDir dir;
    TWaveData buffer(44100, SampleFormat::Make(44100, 1, 2));
    SynthesisSources sources;
    SynthesizeChannel(buffer, Of(SignalType::Sawtooth, [](SignalSetup& s) { s.sawtooth.frequencyHz = 1.0f; }), 0, 0.5, sources);
    ASSERT_TRUE(SaveSignalAsWave(buffer, dir.File("s.wav"), 2).ok);
    const auto file = test::ReadAll(dir.File("s.wav"));
    const uint32_t n = buffer.DataSize();
    ASSERT_EQ(file.size(), 44 + 2 * n);
    for (uint32_t k : {0u, 1u}) EXPECT_TRUE(std::equal(buffer.Buffer(), buffer.Buffer() + n, file.begin() + 44 + k * n));
}

TEST(GeneratorLengths, BufferLengthsFollowThePeriods) {
    LengthInputs in{44100, 44423 - 22, 181245 - 22, {true, SampleFormat::Make(22050, 1, 1), 12345}};
    struct Case { const char* name; SignalSetup setup; uint32_t rate, length; } cases[] = {
        {"1 kHz: ten seconds", Of(SignalType::Tone1kHz), 44100, 441000},
        {"10 ms noise burst: 101 cycles", Of(SignalType::NoiseBurst, [](SignalSetup& s) { s.noiseBurst.cycleMs = 10; }), 44100, 44541},
        {"DTMF 12 at 8 kHz", Of(SignalType::Dtmf, [](SignalSetup& s) { s.dtmf.keys = "12"; }), 8000, 9600},
        {"square 2000 Hz: 2005 x 22", Of(SignalType::Square), 44100, 44110},
        {"saw 441 Hz: strictly over a second", Of(SignalType::Sawtooth, [](SignalSetup& s) { s.sawtooth.frequencyHz = 441; }), 44100, 44200},
        {"saw 0 Hz", Of(SignalType::Sawtooth, [](SignalSetup& s) { s.sawtooth.frequencyHz = 0; }), 44100, 44100},
        {"sweep 2 s", Of(SignalType::FrequencySweep, [](SignalSetup& s) { s.frequencySweep.timeMs = 2000; }), 44100, 88200},
        {"IMD", Of(SignalType::Imd), 48000, 48000},
        {"white noise made even", Of(SignalType::WhiteNoise), 44100, 44400},
        {"user file", Of(SignalType::UserDefined), 44100, 12345},
    };
    auto at = [&](uint32_t rate) { LengthInputs x = in; x.rate = rate; return x; };
    for (const Case& c : cases) EXPECT_EQ(ChannelLength(c.setup, at(c.rate)), c.length) << c.name;
    EXPECT_EQ(PeriodLength(Of(SignalType::Square), in), 22u);
    in.userWave.opened = false;
    EXPECT_EQ(ChannelLength(Of(SignalType::UserDefined), in), 0u);
    // The longer right channel counts only in stereo.
    const SignalSetup tone = Of(SignalType::Tone1kHz), imd = Of(SignalType::Imd);
    EXPECT_EQ(BufferLength(imd, in, tone, in, false), 44100u);
    EXPECT_EQ(BufferLength(imd, in, tone, in, true), 441000u);
}

TEST(GeneratorLengths, OutputFormatFromTheAnalyserOrTheUserFiles) {
    const UserWaveInfo f8{true, SampleFormat::Make(22050, 1, 1), 10}, f16{true, SampleFormat::Make(44100, 2, 2), 10};
    const UserWaveInfo none;
    const SignalSetup user = Of(SignalType::UserDefined), tone = Of(SignalType::Tone1kHz);
    struct Case {
        const char* name; uint32_t key; AnalyserOutput analyser; SignalSetup left, right; UserWaveInfo leftWave, rightWave;
        uint32_t rate; uint16_t channels, bytes;
    } cases[] = {
        {"analyser rate", 0, {48000, 2, 3}, tone, tone, none, none, 48000, 2, 3},
        {"rate key", 96000, {48000, 1, 2}, tone, tone, none, none, 96000, 1, 2},
        {"24-bit falls back", 0, {48000, 2, 3, true}, tone, tone, none, none, 48000, 2, 2},
        {"mono, left file", 0, {48000, 1, 2}, user, tone, f8, none, 22050, 1, 1},
        {"mono ignores right file", 0, {48000, 1, 2}, tone, user, none, f16, 48000, 1, 2},
        {"stereo, right file", 0, {48000, 2, 3}, tone, user, none, f8, 22050, 2, 1},
        {"both files: larger of each", 0, {48000, 2, 3}, user, user, f8, f16, 44100, 2, 2},
        {"unopened file", 0, {48000, 2, 2}, user, tone, none, none, 48000, 2, 2},
    };
    for (const Case& c : cases) {
        const SampleFormat f = GeneratorOutputFormat(c.key, c.analyser, c.left, c.leftWave, c.right, c.rightWave);
        EXPECT_EQ(f, SampleFormat::Make(c.rate, c.channels, c.bytes)) << c.name;
    }
}

TEST(GeneratorLevel, UnitsRoundTripToTheFullScaleFraction) {
    for (double fs : {1.0, 2.13}) {
        const double volts = 0.3 * fs;
        float fsf = static_cast<float>(fs);
        const struct { OutputUnits units; double level; } cases[] = {
            {OutputUnits::DbFullScale, 20 * std::log10(0.3)}, {OutputUnits::PercentFullScale, 30.0},
            {OutputUnits::VoltsRms, volts},                   {OutputUnits::MillivoltsRms, 1000 * volts},
            {OutputUnits::DbvRms, 20 * std::log10(volts)},     {OutputUnits::DbmvRms, 20 * std::log10(1000 * volts)},
            {OutputUnits::DbuRms, 20 * std::log10(volts / 0.775)},
        };
        for (auto c : cases) EXPECT_NEAR(LevelFactor(c.level, c.units, fsf), 0.3, 1e-6) << static_cast<int>(c.units) << " " << fs;
    }
    float fs = 0.0f;  // a missing full scale counts as 1 V and is kept
    EXPECT_NEAR(LevelFactor(0.5, OutputUnits::VoltsRms, fs), 0.5, 1e-9);
    EXPECT_EQ(fs, 1.0f);
    for (double level : {2.0, 0.0, -1.0}) EXPECT_EQ(LevelFactor(level, OutputUnits::VoltsRms, fs), 1.0) << level;
}

}  // namespace
}  // namespace zeltrak
