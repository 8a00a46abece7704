// Distortion and level measurements: closed-form signals through the real analysis path, exact
// hand-made spectrums for the peak rules, and the readouts and command-line texts.
#include "measure/measurements.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <regex>

#include "base/numeric.h"
#include "files/calibration_record.h"
#include "measure/measure_test_support.h"

namespace zeltrak {
namespace {

using namespace measure_test;

double Db(double ratio) { return 20.0 * std::log10(ratio); }

// The passes as the rule states them, one scan each, for comparison with FindPeaks.
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
            EXPECT_EQ(got[j].bin, want[j]) << lo << ".." << hi << " pass " << j;
            EXPECT_EQ(FindPeak(*s, lo, hi, j).bin, want[j]);
            if (!got[j].found) {
                EXPECT_EQ(got[j].frequency, 0.0);
                EXPECT_EQ(got[j].amplitude, -999.9);
            } else {
                EXPECT_DOUBLE_EQ(got[j].amplitude, s->GetValue(got[j].bin));
            }
        }
    }
}

TEST(FindPeak, PeaksCloserThanSixBinsAreOne) {
    std::vector<double> p(512, 0.0);
    p[200] = 1.0;
    p[204] = 0.5;
    auto near = MadeSpectrum(p);
    EXPECT_EQ(FindPeak(*near, 3, 511, 0).bin, 200u);
    EXPECT_FALSE(FindPeak(*near, 3, 511, 1).found);
    p[204] = 0.0;
    p[206] = 0.5;
    auto apart = MadeSpectrum(p);
    EXPECT_EQ(FindPeak(*apart, 3, 511, 1).bin, 206u);
}

TEST(MeasurementEdges, SingleLineNoToneAboveOneKilohertzAndFlatSpectrums) {
    std::vector<double> p(4096, 0.0);
    p[300] = 0.25;  // 3230 Hz at 44100 / 8192
    auto line = MadeSpectrum(p);
    EXPECT_EQ(MeasureTHD(*line), 0.0);
    EXPECT_EQ(MeasureTHDN(*line), 0.0);
    EXPECT_EQ(MeasureIMD(*line), 0.0);
    EXPECT_NEAR(MeasureSNR(*line), 10 * std::log10(0.25) + 999.9, 1e-6);
    EXPECT_NEAR(MeasureSINAD(*line), 10 * std::log10(0.25) + 999.9, 1e-6);

    std::fill(p.begin(), p.end(), 0.0);
    p[80] = 1.0;  // 861 Hz: nothing above 1 kHz
    p[130] = 0.01;
    auto low = MadeSpectrum(p);
    EXPECT_EQ(MeasureIMD(*low), 0.0);
    // sidebands within 200 Hz of the strongest tone above 1 kHz count, farther ones do not
    std::fill(p.begin(), p.end(), 0.0);
    p[2000] = 1.0;                 // 10767 Hz
    p[1980] = p[2020] = 1e-4;      // +-108 Hz
    p[1963] = 4e-4;                // -199 Hz
    p[2040] = p[1950] = 1e-2;      // +215 Hz, -269 Hz
    p[80] = 4.0;                   // stronger, but below 1 kHz
    auto sidebands = MadeSpectrum(p);
    EXPECT_NEAR(MeasureIMD(*sidebands), 100.0 * std::sqrt(6e-4), 1e-4);

    // Silence, one bin, DC: fixed readings, nothing undefined.
    for (const std::vector<double>& q : {std::vector<double>(4096, 0.0), std::vector<double>(1, 1.0),
                                         std::vector<double>(4, 1.0)}) {
        auto s = MadeSpectrum(q);
        EXPECT_EQ(MeasureTHDN(*s), 0.0);
        EXPECT_EQ(MeasureSNR(*s), 0.0);
        EXPECT_EQ(MeasureSINAD(*s), 0.0);
        EXPECT_EQ(MeasureIMD(*s), 0.0);
        for (int code = 0; code < kMeasurementCount; ++code)
            EXPECT_TRUE(std::isfinite(Measure(static_cast<MeasurementCode>(code), *s)));
    }
    // A flat spectrum has no tone standing out of the noise.
    auto flat = MadeSpectrum(std::vector<double>(4096, 0.3));
    EXPECT_LT(MeasureSNR(*flat), 0.0);
    EXPECT_GT(MeasureTHDN(*flat), 100.0);
    auto silence = MadeSpectrum(std::vector<double>(4096, 0.0));
    EXPECT_EQ(MeasureTHD(*silence), 0.0);
    EXPECT_EQ(MeasureTotalPower(*silence), kNoDecibels);
    EXPECT_EQ(MeasureSFDR(*silence).db, 0.0);
    // DC through a Hann window fills bins 0 and 1 only.
    std::vector<double> dcBins(4096, 0.0);
    dcBins[0] = 0.25;
    dcBins[1] = 0.0625;
    auto dc = MadeSpectrum(dcBins);
    EXPECT_EQ(MeasureTHD(*dc), 0.0);
    EXPECT_EQ(MeasureTHDN(*dc), 0.0);
    EXPECT_EQ(MeasureIMD(*dc), 0.0);
    EXPECT_EQ(MeasureSNR(*dc), 0.0);
}

TEST(MeasurementEdges, HarmonicsCountUpToTheTopOfTheBand) {
    // 44100 / 8192: the fundamental on bin 929 is 5001 Hz; its 4th harmonic (20004 Hz) lies
    // above the default 20 kHz band and counts only when the band reaches it.
    std::vector<double> p(4096, 0.0);
    const uint32_t b0 = 929;
    p[b0] = 1.0;
    p[2 * b0] = 1e-4;
    p[3 * b0 + 1] = 4e-4;  // the neighbour of the nearest bin still belongs to the harmonic
    p[4 * b0] = 9e-4;
    p[2 * b0 + 20] = 1e-2;  // no harmonic: noise to THD+N, nothing to THD
    auto s = MadeSpectrum(p);
    EXPECT_NEAR(MeasureTHD(*s), 100.0 * std::sqrt(5e-4), 1e-6);
    MeasurementContext wide;
    wide.bandHighHz = 22050.0;
    EXPECT_NEAR(MeasureTHD(*s, wide), 100.0 * std::sqrt(14e-4), 1e-6);
    EXPECT_GT(MeasureTHDN(*s), 100.0 * std::sqrt(1e-2));
    // noise above the band counts only when the band reaches it
    p[2 * b0 + 20] = 0.0;
    p[3900] = 1e-2;  // 21 kHz
    auto high = MadeSpectrum(p);
    EXPECT_LT(MeasureTHDN(*high), 100.0 * std::sqrt(1e-2));
    EXPECT_GT(MeasureTHDN(*high, wide), 100.0 * std::sqrt(1e-2));
}

TEST(MeasurementEdges, SfdrTakesTheLowerOfTwoEqualSpursAndSkipsTheToneSkirt) {
    std::vector<double> p(2048, 1e-8);
    p[500] = 1.0;
    for (int d = 1; d <= 6; ++d) p[500 - d] = p[500 + d] = std::pow(10.0, -d);  // the skirt
    p[100] = 1e-3;
    p[900] = 1e-3;
    auto s = MadeSpectrum(p);
    const SfdrResult r = MeasureSFDR(*s);
    EXPECT_EQ(r.spurBin, 100u);
    // the main lobes (a bin either side with the Uniform window) against each other
    EXPECT_NEAR(r.db, 10 * std::log10((1.0 + 2 * 0.1) / (1e-3 + 2 * 1e-8)), 1e-4);
    p[520] = 1e-2;  // a spur rising out of the skirt is a spur
    EXPECT_EQ(MeasureSFDR(*MadeSpectrum(p)).spurBin, 520u);
}

TEST(BandPower, TotalPowerOfATonePerWindowIsItsLevel) {
    // Summed bins times the window's power correction give a tone's level whatever the window
    // and wherever the tone falls between bins.
    for (uint16_t w : {kWindowBartlett, kWindowBlackman, kWindowFlatTop, kWindowHamming, kWindowHanning, kWindowKaiser,
                       kWindowParzen, kWindowTriangular, kWindowUniform, kWindowGaussian}) {
        Analyser log(48000, 4096, w, 1, 1);
        Analyser lin(48000, 4096, w, 1, 0);
        const auto tone = Sine(1000.0 * 4096 / 48000 == 0 ? 1000 : 1234.5, 0.25);
        log.Frame(tone);
        lin.Frame(tone);
        // Uniform leaks an off-bin tone over the whole axis; the sum still holds its power
        const double tolerance = w == kWindowUniform ? 0.15 : 0.02;
        EXPECT_NEAR(MeasureTotalPower(*log.spectrum), Db(0.25), tolerance) << TSmoothing::GetName(w);
        EXPECT_NEAR(Db(MeasureTotalPower(*lin.spectrum) / 100.0), Db(0.25), tolerance) << TSmoothing::GetName(w);
        EXPECT_NEAR(BandPower(*log.spectrum, 3, 2047, true, kBandFlat), Db(0.25), tolerance);
        EXPECT_NEAR(BandPower(*lin.spectrum, 3, 2047, false, kBandFlat), 25.0, 25.0 * tolerance / 8);
    }
}

TEST(BandPower, WhiteNoiseWeightingCalibrationAndDensity) {
    std::mt19937 rng(11);
    const double sigma = 0.05;
    std::normal_distribution<double> noise(0.0, sigma);
    Analyser a(48000, 4096, kWindowHanning, 200);
    a.Frames(200, [&](double) { return noise(rng); });
    // peak convention: a noise of variance s^2 holds the power of a sine of amplitude s sqrt 2;
    // the span fl ... fu leaves out 1 % of the band
    const double want = 10 * std::log10(2 * sigma * sigma * (0.99 * 24000 - 2 * 48000.0 / 4096) / 24000);
    EXPECT_NEAR(MeasureTotalPower(*a.spectrum), want, 0.15);

    // A weighting lowers 100 Hz by 19.1 dB and leaves 1 kHz.
    for (double hz : {100.0, 1000.0}) {
        Analyser t(48000, 8192, kWindowFlatTop, 1);
        t.Frame(Sine(hz, 0.5));
        const double flat = BandPower(*t.spectrum, 3, 4095, true, kBandFlat);
        EXPECT_NEAR(BandPower(*t.spectrum, 3, 4095, true, kBandA) - flat, hz == 100 ? -19.1 : 0.0, 0.1);
    }
    // A spectrum shown A weighted: the flat power takes the display weighting out again.
    Analyser weighted(48000, 8192, kWindowFlatTop, 1, 1, 0, 1);
    weighted.Frame(Sine(100.0, 0.5));
    EXPECT_NEAR(BandPower(*weighted.spectrum, 3, 4095, true, kBandFlat), Db(0.5), 0.05);
    EXPECT_NEAR(MeasureTotalPower(*weighted.spectrum), Db(0.5) - 19.1, 0.1);

    // Calibrated in pascals (SPL in air): a 1 Pa peak tone reads 93.98 dB re 20 uPa both ways.
    CalibrationRecord cal = CalibrationRecord::Defaults();
    cal.IsEnabled = 1;
    cal.RefUnits = 2;
    cal.LabelType = 0;
    cal.CalRatioLeft = 4.0f;  // 4 Pa at full scale
    Analyser c(48000, 4096, kWindowHanning, 1);
    c.spectrum->SetCalibration(&cal, 0);
    c.Frame(Sine(1000.0, 0.25));
    MeasurementContext context;
    context.calibration = &cal;
    EXPECT_NEAR(MeasureTotalPower(*c.spectrum, context), 93.9794, 0.02);
    EXPECT_NEAR(BandPower(*c.spectrum, 3, 2047, true, kBandFlat, context), 93.9794, 0.02);
    EXPECT_NEAR(BandPower(*c.spectrum, 3, 2047, false, kBandFlat, context), 1.0, 0.003);

    // A density display sums to the same total.
    Analyser d(48000, 4096, kWindowHanning, 1, 1);
    d.scaling.spectralDensityFlag = 1;
    d.scaling.spectralDensityType = 1;
    d.spectrum = std::make_unique<TSpectralData>(d.settings, d.scaling, 0);
    d.Frame(Sine(1000.0, 0.25));
    EXPECT_NEAR(MeasureTotalPower(*d.spectrum), Db(0.25), 0.02);
}

TEST(BandPower, FractionalOctaveAxisSumsBands) {
    Analyser a(48000, 8192, kWindowHanning, 1, 1, 2);
    a.Frame(Sine(1000.0, 0.5));
    EXPECT_NEAR(MeasurePeakFrequency(*a.spectrum), 1000.0, 1.0);
    EXPECT_NEAR(MeasureTotalPower(*a.spectrum), Db(0.5), 0.05);
    EXPECT_NEAR(BandPower(*a.spectrum, 0, a.spectrum->Bands() - 1, true, kBandFlat), Db(0.5), 0.05);
}

TEST(Readouts, TextsUnitsAndChannels) {
    Analyser l(48000, 8192, kWindowFlatTop, 1);
    Analyser r(48000, 8192, kWindowFlatTop, 1);
    l.Frame([](double t) { return 0.5 * std::sin(2 * kPi * 1000 * t) + 0.005 * std::sin(2 * kPi * 2000 * t); });
    r.Frame([](double t) { return 0.25 * std::sin(2 * kPi * 1500 * t) + 0.0025 * std::sin(2 * kPi * 3000 * t); });
    TMeasurementReadouts readouts;
    EXPECT_EQ(readouts.Get(kMeasureTHD).left, "0.0");
    EXPECT_EQ(readouts.Get(kMeasureTHD).right, "0.0");

    readouts.Update({l.spectrum.get(), nullptr, nullptr, nullptr}, kProcessLeft, false);
    EXPECT_TRUE(std::regex_match(readouts.Get(kMeasureTHD).left, std::regex(R"((0\.99\d{3}|1\.00\d{3}) %)")))
        << readouts.Get(kMeasureTHD).left;
    EXPECT_FALSE(readouts.Get(kMeasureTHD).twoChannels);
    EXPECT_EQ(readouts.Get(kMeasureNoiseFigure).left, "0.0");

    readouts.SetWeighting(1);
    readouts.Update({l.spectrum.get(), r.spectrum.get(), nullptr, nullptr}, kProcessBoth, true);
    const Readout& freq = readouts.Get(kMeasurePeakFrequency);
    EXPECT_TRUE(freq.twoChannels);
    EXPECT_NEAR(freq.leftValue, 1000.0, 48000.0 / 8192);
    EXPECT_NEAR(freq.rightValue, 1500.0, 48000.0 / 8192);
    EXPECT_TRUE(std::regex_match(freq.left, std::regex(R"(\d+\.\d\d Hz)"))) << freq.left;
    EXPECT_TRUE(std::regex_match(readouts.Get(kMeasureSNR).left, std::regex(R"(\d+\.\d{3} dB A)")));
    EXPECT_TRUE(std::regex_match(readouts.Get(kMeasureIMD).right, std::regex(R"(\d+\.\d{4} %)")));
    EXPECT_TRUE(std::regex_match(readouts.Get(kMeasurePeakAmplitude).left, std::regex(R"(-\d+\.\d\d dB A)")));
    // NF: SNR left minus right by default, reversed for any other polarity
    const double nf = MeasureSNR(*l.spectrum) - MeasureSNR(*r.spectrum);
    EXPECT_NEAR(readouts.Get(kMeasureNoiseFigure).leftValue, nf, 1e-9);
    MeasurementContext reversed;
    reversed.noiseFigurePolarity = 7;
    readouts.SetContext(reversed);
    readouts.Update({l.spectrum.get(), r.spectrum.get(), nullptr, nullptr}, kProcessBoth, true);
    EXPECT_NEAR(readouts.Get(kMeasureNoiseFigure).leftValue, -nf, 1e-9);
    EXPECT_EQ(MeasureNoiseFigure(l.spectrum.get(), nullptr, MeasurementContext{}), 0.0);

    // calibrated: the label of the amplitude scale in force
    CalibrationRecord cal = CalibrationRecord::Defaults();
    cal.IsEnabled = 1;
    std::snprintf(cal.LabelLog, sizeof cal.LabelLog, "dBV rms");
    l.spectrum->SetCalibration(&cal, 0);
    EXPECT_EQ(MeasurementUnit(kMeasureTotalPower, *l.spectrum, 0), "dBV rms");
    EXPECT_EQ(MeasurementUnit(kMeasureTotalPower, *r.spectrum, 3), "dB C");

    readouts.Reset();
    EXPECT_EQ(readouts.Get(kMeasurePeakFrequency).left, "0.0");
}

TEST(CommandLine, MeasurementListAndLines) {
    std::vector<MeasurementCode> codes;
    std::string error;
    ASSERT_TRUE(ParseMeasurementList("THD, snr,thd,peakfreq", codes, error));
    EXPECT_EQ(codes, (std::vector<MeasurementCode>{kMeasureTHD, kMeasureSNR, kMeasurePeakFrequency}));
    ASSERT_TRUE(ParseMeasurementList("all", codes, error));
    EXPECT_EQ(codes.size(), 10u);
    EXPECT_FALSE(ParseMeasurementList("thd,distortion", codes, error));
    EXPECT_NE(error.find("distortion"), std::string::npos);
    EXPECT_FALSE(ParseMeasurementList(" , ", codes, error));

    const struct {
        std::vector<std::string> args;
        bool ok;
        double low, high;
    } bands[] = {{{"--measure-band", "100:10000"}, true, 100, 10000},
                 {{"--measure-band=0:22050.5", "x"}, true, 0, 22050.5},
                 {{"x"}, true, 20, 20000},
                 {{"--measure-band", "20"}, false, 0, 0},
                 {{"--measure-band", "a:b"}, false, 0, 0},
                 {{"--measure-band", "500:100"}, false, 0, 0},
                 {{"--measure-band", "-1:100"}, false, 0, 0},
                 {{"--measure-band", "nan:5"}, false, 0, 0},
                 {{"--measure-band", "20:"}, false, 0, 0},
                 {{"--measure-band"}, false, 0, 0}};
    for (const auto& b : bands) {
        MeasurementContext context;
        std::vector<std::string> rest;
        EXPECT_EQ(ParseMeasureBandOption(b.args, context, rest, error), b.ok) << b.args[0];
        if (!b.ok) continue;
        EXPECT_EQ(context.bandLowHz, b.low);
        EXPECT_EQ(context.bandHighHz, b.high);
        EXPECT_EQ(rest.size(), b.args.back() == "x" ? 1u : 0u);
    }

    Readout one;
    one.leftValue = 1.1180339;
    one.unit = "%";
    EXPECT_EQ(FormatMeasurementLine(kMeasureTHDN, one), "THD+N\t1.11803\t%");
    Readout two;
    two.twoChannels = true;
    two.leftValue = 1000.0;
    two.rightValue = 1500.25;
    two.unit = "Hz";
    two.leftInterpolated = 1000.1234;
    two.rightInterpolated = 1500.5;
    EXPECT_EQ(FormatMeasurementLine(kMeasurePeakFrequency, two),
              "Peak Frequency\t1000.00\t1500.25\tHz\nPeak Frequency (interpolated)\t1000.123\t1500.500\tHz");
}

}  // namespace
}  // namespace zeltrak
