// Measurements, their command line, and data logging: the log file as a spreadsheet would read it.
#include "measure/data_log.h"
#include "measure/measurements.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <sstream>

#include "base/numeric.h"
#include "dsp/spectral_display.h"
#include "files/ini_store.h"
#include "measure/measure_test_support.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

using namespace measure_test;
using testing::ReadFile;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

std::vector<std::string> Lines(const std::string& path) { return Split(ReadFile(path), '\n'); }

LoggingSettings Settings(const std::string& path, int dataType, int interval = 0) {
    LoggingSettings s;
    s.LogFileName = path;
    s.DataType = static_cast<int16_t>(dataType);
    s.IntervalFlag = interval;
    return s;
}

// A 1 kHz (left) and 2 kHz (right) tone at known levels, analysed once, and a folder for logs.
struct DataLog : ::testing::Test {
    void SetUp() override {
        left.Frame(Sine(1000.0, 0.5));
        right.Frame(Sine(2000.0, 0.25));
    }
    const TSpectralData* L() const { return left.spectrum.get(); }
    const TSpectralData* R() const { return right.spectrum.get(); }
    // Logs one spectrum (or pair) at `time` into a fresh file; its lines.
    std::vector<std::string> LogOnce(const LoggingSettings& s, const TSpectralData* l, const TSpectralData* r,
                                     ChannelProcessingMode mode, std::optional<double> delay = std::nullopt) {
        TDataLog(s, host).LogSpectrum(l, r, 5.0, mode, delay);
        return Lines(s.LogFileName);
    }
    Analyser left{4096, WindowType::Hanning}, right{4096, WindowType::Hanning};
    testing::TempDir dir;
    ScriptedHost host;
};

TEST_F(DataLog, AppendsAfterEarlierContentOrOverwrites) {
    const std::string path = dir.File("log.txt");
    testing::WriteFile(path, "earlier content\n");
    LoggingSettings settings = Settings(path, kLogPeakFrequency);
    settings.OverwriteFlag = 0;
    EXPECT_TRUE(TDataLog(settings, host).LogSpectrum(L(), nullptr, 0.25, ChannelProcessingMode::Left));
    EXPECT_TRUE(TDataLog(settings, host).LogSpectrum(L(), R(), 61.5, ChannelProcessingMode::Both));
    // each run: a blank line, the date, the column names, a rule, then its lines; the peaks on bins 85 and 171
    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "earlier content");
    EXPECT_EQ(Split(lines[5], '\t'), (std::vector<std::string>{"0.250", "996.0938"}));
    EXPECT_EQ(Split(lines[10], '\t'), (std::vector<std::string>{"1:01.500", "996.0938", "2003.9062"}));
    settings.OverwriteFlag = 1;
    EXPECT_EQ(LogOnce(settings, L(), nullptr, ChannelProcessingMode::Left).size(), 5u);
}

TEST_F(DataLog, IntervalOverAPostProcessingRunAndARewind) {
    TDataLog log(Settings(dir.File("i.txt"), kLogPeakFrequency, 1), host);
    std::vector<double> times, written;
    for (int k = 1; k <= 16; ++k) times.push_back(0.3 * k);  // a spectrum every 0.3 s
    times.insert(times.end(), {2.0, 2.3, 2.6});               // rewound
    for (double t : times)
        if (log.LogSpectrum(L(), nullptr, t, ChannelProcessingMode::Left)) written.push_back(t);
    EXPECT_EQ(written, (std::vector<double>{0.3 * 4, 0.3 * 8, 0.3 * 12, 0.3 * 16, 2.3}));
    EXPECT_EQ(Split(Lines(dir.File("i.txt")).back(), '\t')[0], "2.300");
}

TEST_F(DataLog, ThresholdOnEitherChannel) {
    Analyser quiet(4096, WindowType::Hanning);
    quiet.Frame(Sine(2000.0, 0.05));  // -26 dB, a third of a bin off: Hann scallops the peak 0.63 dB
    LoggingSettings s = Settings(dir.File("t.txt"), kLogPeakAmplitude);
    s.Threshold = -10.0f;
    TDataLog log(s, host);
    EXPECT_TRUE(log.LogSpectrum(L(), nullptr, 1, ChannelProcessingMode::Left));
    EXPECT_FALSE(log.LogSpectrum(quiet.spectrum.get(), nullptr, 2, ChannelProcessingMode::Left));
    EXPECT_TRUE(log.LogSpectrum(quiet.spectrum.get(), L(), 3, ChannelProcessingMode::Both));
    const std::vector<std::string> lines = Lines(s.LogFileName);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_NEAR(std::stod(Split(lines[4], '\t')[1]), 20 * std::log10(0.5) - 0.63, 0.02);
    // a band without any local maximum has no peak (-999.9), below even the default threshold
    TDataLog silent(Settings(dir.File("d.txt"), kLogPeakAmplitude), host);
    EXPECT_FALSE(
        silent.LogSpectrum(MadeSpectrum(std::vector<double>(2048, 0.0)).get(), nullptr, 1, ChannelProcessingMode::Left));
    EXPECT_TRUE(silent.LogSpectrum(quiet.spectrum.get(), nullptr, 2, ChannelProcessingMode::Left));
}

// One line per format family: a column name for each cell, and the values the cells must hold.
TEST_F(DataLog, EveryFormatFamilyReadsBack) {
    const double nf = MeasureSNR(*L()) - MeasureSNR(*R()), w = 48000.0 / 4096;  // peaks a third of a bin off
    // the values after the time; NaN: not checked
    const struct { int type; ChannelProcessingMode mode; std::vector<double> values; } cases[] = {
        {kLogPowerLevel, ChannelProcessingMode::Both, {-6.0206, -12.0412}},
        {kLogPeakFrequencyAmplitude, ChannelProcessingMode::TransferCoherenceLR, {85 * w, -6.65, 171 * w, -12.67}},
        {kLogTHD, ChannelProcessingMode::Average, {NAN}},       // one channel logged
        {kLogNoiseFigure, ChannelProcessingMode::Both, {nf}},   // one value whatever the mode
        {kLogTimeDelay, ChannelProcessingMode::Left, {12.5}}};  // the delay finder's value
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        const std::vector<std::string> lines =
            LogOnce(Settings(dir.File(std::to_string(c.type)), c.type), L(), R(), c.mode, 12.5);
        ASSERT_EQ(lines.size(), 5u);
        const std::vector<std::string> cells = Split(lines[4], '\t');
        EXPECT_EQ(Split(lines[2], '\t').size(), cells.size());
        ASSERT_EQ(cells.size(), c.values.size() + 1);
        for (size_t i = 0; i < c.values.size(); ++i) {
            if (!std::isnan(c.values[i])) {
                EXPECT_NEAR(std::stod(cells[i + 1]), c.values[i], 0.02) << i;
            }
        }
    }
    // the readouts of the same pair; two-channel mode without a right spectrum writes no line
    TMeasurementReadouts readouts;
    readouts.Update({left.spectrum.get(), right.spectrum.get(), nullptr, nullptr}, ChannelProcessingMode::Both, true);
    EXPECT_NEAR(readouts.Get(kMeasureNoiseFigure).leftValue, nf, 1e-9);
    EXPECT_NEAR(readouts.Get(kMeasurePeakFrequency).rightValue, 171 * w, 1e-6);
    EXPECT_FALSE(TDataLog(Settings(dir.File("none.txt"), kLogPeakFrequency), host)
                     .LogSpectrum(L(), nullptr, 1.0, ChannelProcessingMode::Both));

    // spectrum values: 7 frequencies and Pwr, Pwr(A) per channel, an empty cell between the channels
    LoggingSettings s = Settings(dir.File("s.txt"), kLogSpectrumValues);
    s.UseFullSpan = 0;
    s.StartFreq = 990.0f;
    s.StopFreq = 1050.0f;  // bins 84 ... 90 at 11.72 Hz
    s.OstrelFlag = 1;
    const std::vector<std::string> lines = LogOnce(s, L(), R(), ChannelProcessingMode::Both);
    ASSERT_EQ(lines.size(), 5u);
    const std::vector<std::string> header = Split(lines[2], '\t'), values = Split(lines[4], '\t');
    ASSERT_EQ(header.size(), 1u + 9 + 1 + 9);
    ASSERT_EQ(values.size(), header.size());
    for (int k = 0; k < 7; ++k) EXPECT_NEAR(std::stod(values[1 + k]), SpectralDisplayValue(*L(), 84 + k), 5e-7);
    EXPECT_NEAR(std::stod(values[8]), 20 * std::log10(0.5), 0.01);
    EXPECT_NEAR(std::stod(values[19]), 20 * std::log10(0.25) + 1.2, 0.05);  // A weighting: +1.2 dB at 2 kHz
}

TEST_F(DataLog, FileFailuresLeaveNoTornLine) {
    for (const std::string& path : {dir.File("missing/log.txt"), std::string("/proc/zeltrak-log.txt")}) {
        TDataLog log(Settings(path, kLogPeakFrequency), host);
        EXPECT_TRUE(log.Error());
        ASSERT_FALSE(host.messages.empty());
        EXPECT_NE(host.messages.back().text.find(path), std::string::npos);
        EXPECT_FALSE(log.LogSpectrum(L(), nullptr, 1.0, ChannelProcessingMode::Left));
    }
    // a second run on a log being written is refused and cuts nothing; a FIFO nobody reads is refused at once
    LoggingSettings s = Settings(dir.File("shared.txt"), kLogPeakFrequency);
    s.OverwriteFlag = 1;
    TDataLog first(s, host);
    ASSERT_TRUE(first.LogSpectrum(L(), nullptr, 1.0, ChannelProcessingMode::Left));
    const std::string before = ReadFile(s.LogFileName);
    EXPECT_TRUE(TDataLog(s, host).Error());
    EXPECT_EQ(ReadFile(s.LogFileName), before);
    const std::string fifo = dir.File("fifo.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(TDataLog(Settings(fifo, kLogPeakFrequency), host).Error());

    // a disk that fills: the file may grow only so far
    const std::string path = dir.File("full.txt");
    host.messages.clear();
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    int written = 0;
    {
        TDataLog log(Settings(path, kLogSpectrumValues), host);
        rlimit limit = old;
        limit.rlim_cur = 40000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        for (int i = 0; i < 20 && log.LogSpectrum(L(), nullptr, i, ChannelProcessingMode::Left); ++i) ++written;
        EXPECT_TRUE(log.Error());
        EXPECT_FALSE(log.LogSpectrum(L(), nullptr, 99, ChannelProcessingMode::Left));
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    ASSERT_EQ(host.messages.size(), 1u);
    const std::string text = ReadFile(path);
    EXPECT_LT(text.size(), 40000u);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_GT(written, 0);
    EXPECT_EQ(Lines(path).size(), 4u + written);
}

TEST_F(DataLog, LoggerViewerAndDialogEnd) {
    TDataLogger logger(host);
    logger.Settings().LogFileName = dir.File("v.txt");
    EXPECT_TRUE(logger.StartLogging());
    host.SetStartProgramResult(false);
    EXPECT_FALSE(logger.ViewLog());  // stops logging first, and says the viewer failed
    EXPECT_FALSE(logger.IsLogging());
    ASSERT_EQ(host.launches.size(), 1u);
    EXPECT_EQ(host.launches[0].argument, dir.File("v.txt"));
    EXPECT_EQ(host.messages.size(), 1u);
    host.ScriptAnswers({Answer::No});  // accepted while logging was off: asked, and not started on No
    logger.FinishDialog(logger.Settings(), false);
    EXPECT_FALSE(logger.IsLogging());
    logger.FinishDialog(std::nullopt, true);  // cancelled while logging: logging goes on
    EXPECT_TRUE(logger.IsLogging());
    // the settings survive the settings file: every field stored is read back
    LoggingSettings stored{0, 2.5f, 0, 100.0f, 5000.0f, -40.0f, 3, "a.txt", "less", 0, 1};
    TIniStore ini;
    stored.Store(ini);
    TIniStore reread;
    reread.Parse(ini.Text());
    LoggingSettings loaded;
    loaded.Load(reread);
    const auto fields = [](const LoggingSettings& l) {
        return std::tuple(l.IntervalFlag, l.IntervalSecs, l.UseFullSpan, l.StartFreq, l.StopFreq, l.Threshold,
                          l.DataType, l.LogFileName, l.LogViewerProgram, l.OverwriteFlag, l.OstrelFlag);
    };
    EXPECT_EQ(fields(loaded), fields(stored));
}

TEST(DataLogDialog, EveryRefusalAndWhatAGoodDialogSets) {
    const struct { const char *start, *stop, *interval; double fmax; const char* message; } cases[] = {
        {"500", "400", "0", 22050, "Stop Frequency must be greater than Start Frequency"},
        {"-5", "400", "0", 22050, "Start Frequency must be between    0.0 and 22050.0 Hz"},
        {"0", "30000", "0", 22050, "Stop Frequency must be between    0.0 and 22050.0 Hz"},
        {"0", "10001", "5", 0, "Stop Frequency must be between    0.0 and 10000.0 Hz"},  // no spectrum
        {"0", "2000", "0", 0, "Update Interval must be between 1 and 3600 seconds."},
        {"0", "2000", "3601", 0, "Update Interval must be between 1 and 3600 seconds."}};
    LoggingSettings s;
    DataLogDialogFields f = DataLogDialogFields::From(s);
    f.fullSpan = false;
    for (const auto& c : cases) {
        f.startFreq = c.start;
        f.stopFreq = c.stop;
        f.intervalSecs = c.interval;
        const DataLogDialogResult r = AcceptDataLogDialog(f, c.fmax, s);
        EXPECT_FALSE(r.ok) << c.message;
        EXPECT_EQ(r.message, c.message);
    }
    EXPECT_FLOAT_EQ(s.StopFreq, LoggingSettings().StopFreq);  // a refusal takes nothing
    f.intervalMode = false;  // the interval is not checked in every-spectrum mode
    f.threshold = "-60.5";
    f.dataType = kLogSNR;
    EXPECT_TRUE(AcceptDataLogDialog(f, 0, s).ok);
    EXPECT_EQ(s.IntervalFlag, 0);
    EXPECT_FLOAT_EQ(s.StopFreq, 2000.0f);
    EXPECT_FLOAT_EQ(s.Threshold, -60.5f);
}

double Db(double ratio) { return 20.0 * std::log10(ratio); }

// The peak passes as the rule states them (a bin above its five neighbours each side, search
// from bin 5, the strongest not yet chosen), one scan each.
std::vector<uint32_t> LiteralPasses(const float* p, int64_t n, int64_t lo, int64_t hi, int passes) {
    lo = std::max<int64_t>(lo, 5);
    hi = std::min(hi, n - 6);
    std::vector<uint32_t> chosen;
    for (int j = 0; j < passes; ++j) {
        int64_t best = -1;
        for (int64_t u = lo; u <= hi; ++u) {
            if (std::find(chosen.begin(), chosen.end(), u) != chosen.end()) continue;
            bool maximum = true;
            for (int d = 1; d <= 5; ++d) maximum = maximum && p[u] > p[u - d] && p[u] > p[u + d];
            if (maximum && (best < 0 || p[u] > p[best])) best = u;
        }
        chosen.push_back(best < 0 ? 0u : static_cast<uint32_t>(best));
    }
    return chosen;
}

TEST(FindPeak, PassesMatchTheLiteralRuleOnNoise) {
    std::mt19937 rng(3);
    std::exponential_distribution<double> power(1.0);
    std::vector<double> p(512);
    for (double& v : p) v = power(rng);
    p[100] = p[101] = 50.0;  // equal neighbours: neither exceeds the other
    auto s = MadeSpectrum(p);
    for (auto [lo, hi] : {std::pair<int64_t, int64_t>{3, 511}, {40, 60}, {0, 10}, {500, 600}, {300, 200}}) {
        const std::vector<PeakResult> got = FindPeaks(*s, lo, hi, 11);
        const std::vector<uint32_t> want = LiteralPasses(s->AveragePower(), s->Bins(), lo, hi, 11);
        for (int j = 0; j < 11; ++j) {
            SCOPED_TRACE(::testing::Message() << lo << ".." << hi << " pass " << j);
            EXPECT_EQ(got[j].bin, want[j]);
            EXPECT_EQ(FindPeak(*s, lo, hi, j).bin, want[j]);
            EXPECT_DOUBLE_EQ(got[j].amplitude, got[j].found ? SpectralDisplayValue(*s, got[j].bin) : -999.9);
        }
    }
}

// 5.38 Hz bins: 3 is 16.1 Hz, 4 21.5 Hz, 3715 19998.6 Hz, 3716 20004 Hz. Noise in a bin counts towards THD+N
// exactly when it lies in the band, 20 Hz to 20 kHz unless set; harmonics count up to its top.
TEST(MeasurementBand, NoiseAndHarmonicsCountInsideTheBandLimitsOnly) {
    MeasurementContext wide;
    wide.bandLowHz = 10.0;
    wide.bandHighHz = 22050.0;
    // the tone on bin 700 (3768.5 Hz) has its harmonics on bins 1400, 2100, 2800, 3500
    for (auto [bin, inDefault] : {std::pair{3, false}, {4, true}, {3715, true}, {3716, false}, {3900, false}}) {
        const auto s = MadeSpectrum(4096, {{700, 1.0}, {bin, 1e-4}});
        EXPECT_EQ(MeasureTHDN(*s) > 0.0, inDefault) << bin;
        EXPECT_GT(MeasureTHDN(*s, wide), 0.0) << bin;
    }
    // the fundamental on bin 929 is 5001 Hz: its 4th harmonic (20004 Hz) is above the band; the
    // neighbour of the nearest bin still belongs to the harmonic
    const auto s = MadeSpectrum(4096, {{929, 1.0}, {2 * 929, 1e-4}, {3 * 929 + 1, 4e-4}, {4 * 929, 9e-4}});
    EXPECT_NEAR(MeasureTHD(*s), 100.0 * std::sqrt(5e-4), 1e-6);
    EXPECT_NEAR(MeasureTHD(*s, wide), 100.0 * std::sqrt(14e-4), 1e-6);
}

TEST(MeasurementEdges, SilenceSingleLinesDcAndSpurs) {
    // silence, one bin, DC, a single line: fixed readings, nothing undefined
    for (const auto& s : {MadeSpectrum(4096, {}), MadeSpectrum(1, {{0, 1.0}}),
                          MadeSpectrum(4096, {{0, 0.25}, {1, 0.0625}}), MadeSpectrum(4096, {{300, 0.25}})}) {
        EXPECT_EQ(MeasureTHD(*s), 0.0);
        EXPECT_EQ(MeasureIMD(*s), 0.0);
        for (int code = 0; code < kMeasurementCount; ++code)
            EXPECT_TRUE(std::isfinite(Measure(static_cast<MeasurementCode>(code), *s))) << code;
    }
    EXPECT_EQ(MeasureTotalPower(*MadeSpectrum(4096, {})), kNoDecibels);
    EXPECT_EQ(MeasureNoiseFigure(MadeSpectrum(4096, {}).get(), nullptr, {}), 0.0);  // no right channel
    EXPECT_LT(MeasureSNR(*MadeSpectrum(std::vector<double>(4096, 0.3))), 0.0);  // flat: no tone stands out
    // SFDR: of two equal spurs the lower one counts (the tone's skirt: the accuracy suite)
    const auto sfdr = MadeSpectrum(2048, {{500, 1.0}, {100, 1e-3}, {900, 1e-3}});
    EXPECT_EQ(MeasureSFDR(*sfdr).spurBin, 100u);
    EXPECT_NEAR(MeasureSFDR(*sfdr).db, 30.0, 1e-4);
}

TEST(BandPower, ATonesPowerIsItsLevelWithEveryWindowAndOnEveryAxis) {
    for (uint16_t w = 0; w < TSmoothing::GetTypeCount(); ++w) {
        SCOPED_TRACE(TSmoothing::GetName(w));
        Analyser log(4096, WindowTypeFromCode(w), 1, 1), lin(4096, WindowTypeFromCode(w), 1, 0);
        log.Frame(Sine(1234.5, 0.25));  // between bins
        lin.Frame(Sine(1234.5, 0.25));
        // Uniform leaks an off-bin tone over the whole axis; the sum still holds its power
        const double tolerance = WindowTypeFromCode(w) == WindowType::Uniform ? 0.15 : 0.02;
        EXPECT_NEAR(MeasureTotalPower(*log.spectrum), Db(0.25), tolerance);
        EXPECT_NEAR(BandPower(*lin.spectrum, 3, 2047, false, kBandFlat), 25.0, 25.0 * tolerance / 8);
    }
    // on a third-octave axis the bands are summed, and a density display sums to the same total
    Analyser bands(8192, WindowType::Hanning, 1, 1, 2), density(4096, WindowType::Hanning, 1, 1, 0, 0, 1);
    bands.Frame(Sine(1000.0, 0.5));
    density.Frame(Sine(1000.0, 0.5));
    EXPECT_NEAR(MeasurePeakFrequency(*bands.spectrum), 1000.0, 1.0);
    EXPECT_NEAR(MeasureTotalPower(*bands.spectrum), Db(0.5), 0.05);
    // weighted power over bands takes the edge bins in part: all bands hold the 1 kHz tone (A is 0 dB
    // there), the bands below 700 Hz do not
    uint32_t below = 0;
    while (SpectralValueFrequency(*bands.spectrum, below + 1) < 700.0f) ++below;
    EXPECT_NEAR(BandPower(*bands.spectrum, 0, 1000, true, kBandA), Db(0.5), 0.05);
    EXPECT_LT(BandPower(*bands.spectrum, 0, below, true, kBandA), Db(0.5) - 40);
    EXPECT_NEAR(MeasureTotalPower(*density.spectrum), Db(0.5), 0.02);
    EXPECT_EQ(SpectralDisplayValue(*density.spectrum, 2047), kNoDecibels);  // an empty bin has no level, per root hertz too
}

TEST(BandPower, BandsTakeTheirEdgeBinsInProportion) {
    // An impulse has the same power in every bin, so a band's power is proportional to its width
    // in hertz however its edges cut the bins; at 48 kHz and FFT 8192 the low third-octave bands
    // span only a few bins, where a whole edge bin would show as a dB or more.
    Analyser a(8192, WindowType::Uniform, 1, 1, 2);
    a.Frame([](double t) { return t < 1e-9 ? 0.5 : 0.0; });
    const auto& records = a.spectrum->BandAxis().Records();
    double lowest = INFINITY, highest = -INFINITY;
    for (uint32_t k = 0; k < records.size(); ++k) {
        if (records[k].centre < 40.0f || records[k].centre > 16000.0f) continue;
        const double perHertz = BandPower(*a.spectrum, k, k, true, kBandFlat) -
                                10 * std::log10(static_cast<double>(records[k].upper) - records[k].lower);
        lowest = std::min(lowest, perHertz);
        highest = std::max(highest, perHertz);
    }
    EXPECT_LT(highest - lowest, 0.05);
}

TEST(BandPower, WhiteNoiseWeightingAndCalibration) {
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, 0.05);
    Analyser a(4096, WindowType::Hanning, 200);
    a.Frame([&](double) { return noise(rng); }, 200);
    // a noise of variance s² holds the power of a sine of amplitude s·√2; the span leaves out
    // the top 1 % and the first bins
    EXPECT_NEAR(MeasureTotalPower(*a.spectrum), 10 * std::log10(2 * 0.05 * 0.05 * (0.99 - 4.0 / 4096)), 0.15);
    // A weighting takes 19.1 dB off 100 Hz; on a spectrum shown A weighted the flat power
    // takes the display weighting out again
    Analyser weighted(8192, WindowType::FlatTop, 1, 1, 0, 1);
    weighted.Frame(Sine(100.0, 0.5));
    EXPECT_NEAR(BandPower(*weighted.spectrum, 3, 4095, true, kBandFlat), Db(0.5), 0.05);
    EXPECT_NEAR(BandPower(*weighted.spectrum, 3, 4095, true, kBandA), Db(0.5) - 19.1, 0.1);
    EXPECT_NEAR(MeasureTotalPower(*weighted.spectrum), Db(0.5) - 19.1, 0.1);
    // 4 Pa at full scale: a 1 Pa peak tone reads 93.98 dB re 20 µPa, or 1 Pa
    CalibrationRecord cal = CalibrationRecord::Defaults();
    cal.IsEnabled = 1;
    cal.RefUnits = 2;
    cal.LabelType = 0;
    cal.CalRatioLeft = 4.0f;
    Analyser c(4096, WindowType::Hanning, 1);
    c.spectrum->SetCalibration(&cal, 0);
    c.Frame(Sine(1000.0, 0.25));
    MeasurementContext context;
    context.calibration = &cal;
    EXPECT_NEAR(MeasureTotalPower(*c.spectrum, context), 93.9794, 0.02);
    EXPECT_NEAR(BandPower(*c.spectrum, 3, 2047, false, kBandFlat, context), 1.0, 0.003);
}

}  // namespace
}  // namespace zeltrak
