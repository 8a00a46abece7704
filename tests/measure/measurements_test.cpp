// Measurements on exact hand-made spectrums (peak rules, band limits, edge cases) and on
// closed-form signals through the real analysis path (band powers), readouts and command lines.
#include "measure/measurements.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/numeric.h"
#include "files/calibration_record.h"
#include "measure/measure_test_support.h"

namespace zeltrak {
namespace {

using namespace measure_test;

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
            EXPECT_DOUBLE_EQ(got[j].amplitude, got[j].found ? s->GetValue(got[j].bin) : -999.9);
        }
    }
}

// 44100 Hz, 8192 points (5.38 Hz bins): bin 3 is 16.1 Hz, bin 4 21.5 Hz, bin 3715 19998.6 Hz
// and bin 3716 20004 Hz. Noise in one bin counts towards THD+N exactly when the bin lies in
// the measured band, 20 Hz to 20 kHz unless set otherwise; harmonics count up to its top.
TEST(MeasurementBand, NoiseAndHarmonicsCountInsideTheBandLimitsOnly) {
    MeasurementContext wide;
    wide.bandLowHz = 10.0;
    wide.bandHighHz = 22050.0;
    const struct {
        uint32_t bin;
        bool inDefault;
    } noise[] = {{3, false}, {4, true}, {3715, true}, {3716, false}, {3900, false}};
    for (const auto& n : noise) {
        std::vector<double> p(4096, 0.0);
        p[700] = 1.0;  // 3768.5 Hz; harmonics on bins 1400, 2100, 2800, 3500
        p[n.bin] = 1e-4;
        auto s = MadeSpectrum(p);
        EXPECT_EQ(MeasureTHDN(*s) > 0.0, n.inDefault) << n.bin;
        EXPECT_GT(MeasureTHDN(*s, wide), 0.0) << n.bin;
    }
    // the fundamental on bin 929 is 5001 Hz: its 4th harmonic (20004 Hz) is above the band
    std::vector<double> p(4096, 0.0);
    p[929] = 1.0;
    p[2 * 929] = 1e-4;
    p[3 * 929 + 1] = 4e-4;  // the neighbour of the nearest bin still belongs to the harmonic
    p[4 * 929] = 9e-4;
    auto s = MadeSpectrum(p);
    EXPECT_NEAR(MeasureTHD(*s), 100.0 * std::sqrt(5e-4), 1e-6);
    EXPECT_NEAR(MeasureTHD(*s, wide), 100.0 * std::sqrt(14e-4), 1e-6);
}

TEST(MeasurementEdges, SilenceSingleLinesDcIntermodulationAndSpurs) {
    // silence, one bin, DC, a single line: fixed readings, nothing undefined
    std::vector<double> dc(4096, 0.0), line(4096, 0.0);
    dc[0] = 0.25;
    dc[1] = 0.0625;
    line[300] = 0.25;
    for (const std::vector<double>& q : {std::vector<double>(4096, 0.0), std::vector<double>(1, 1.0), dc, line}) {
        auto s = MadeSpectrum(q);
        EXPECT_EQ(MeasureTHD(*s), 0.0);
        EXPECT_EQ(MeasureIMD(*s), 0.0);
        for (int code = 0; code < kMeasurementCount; ++code)
            EXPECT_TRUE(std::isfinite(Measure(static_cast<MeasurementCode>(code), *s))) << code;
    }
    EXPECT_EQ(MeasureTotalPower(*MadeSpectrum(std::vector<double>(4096, 0.0))), kNoDecibels);
    EXPECT_LT(MeasureSNR(*MadeSpectrum(std::vector<double>(4096, 0.3))), 0.0);  // flat: no tone stands out

    // IMD: sidebands within 200 Hz of the strongest tone above 1 kHz count, farther ones do not
    std::vector<double> p(4096, 0.0);
    p[2000] = 1.0;             // 10767 Hz
    p[1980] = p[2020] = 1e-4;  // ±108 Hz
    p[1963] = 4e-4;            // -199 Hz
    p[2040] = p[1950] = 1e-2;  // +215 Hz, -269 Hz
    p[80] = 4.0;               // stronger, but below 1 kHz
    EXPECT_NEAR(MeasureIMD(*MadeSpectrum(p)), 100.0 * std::sqrt(6e-4), 1e-4);

    // SFDR: the tone's skirt is no spur, of two equal spurs the lower one counts
    std::vector<double> q(2048, 1e-8);
    q[500] = 1.0;
    for (int d = 1; d <= 6; ++d) q[500 - d] = q[500 + d] = std::pow(10.0, -d);
    q[100] = q[900] = 1e-3;
    const SfdrResult r = MeasureSFDR(*MadeSpectrum(q));
    EXPECT_EQ(r.spurBin, 100u);
    EXPECT_NEAR(r.db, 10 * std::log10((1.0 + 2 * 0.1) / (1e-3 + 2 * 1e-8)), 1e-4);
    q[520] = 1e-2;  // a spur rising out of the skirt is a spur
    EXPECT_EQ(MeasureSFDR(*MadeSpectrum(q)).spurBin, 520u);
}

TEST(BandPower, ATonesPowerIsItsLevelWithEveryWindowAndOnEveryAxis) {
    for (uint16_t w = 0; w < TSmoothing::GetTypeCount(); ++w) {
        SCOPED_TRACE(TSmoothing::GetName(w));
        Analyser log(48000, 4096, w, 1, 1), lin(48000, 4096, w, 1, 0);
        log.Frame(Sine(1234.5, 0.25));  // between bins
        lin.Frame(Sine(1234.5, 0.25));
        // Uniform leaks an off-bin tone over the whole axis; the sum still holds its power
        const double tolerance = w == kWindowUniform ? 0.15 : 0.02;
        EXPECT_NEAR(MeasureTotalPower(*log.spectrum), Db(0.25), tolerance);
        EXPECT_NEAR(BandPower(*lin.spectrum, 3, 2047, false, kBandFlat), 25.0, 25.0 * tolerance / 8);
    }
    // on a third-octave axis the bands are summed
    Analyser bands(48000, 8192, kWindowHanning, 1, 1, 2);
    bands.Frame(Sine(1000.0, 0.5));
    EXPECT_NEAR(MeasurePeakFrequency(*bands.spectrum), 1000.0, 1.0);
    EXPECT_NEAR(MeasureTotalPower(*bands.spectrum), Db(0.5), 0.05);
    // a density display sums to the same total
    Analyser d(48000, 4096, kWindowHanning, 1, 1);
    d.scaling.spectralDensityFlag = 1;
    d.scaling.spectralDensityType = 1;
    d.spectrum = std::make_unique<TSpectralData>(d.settings, d.scaling, 0);
    d.Frame(Sine(1000.0, 0.25));
    EXPECT_NEAR(MeasureTotalPower(*d.spectrum), Db(0.25), 0.02);
}

TEST(BandPower, WhiteNoiseWeightingAndCalibration) {
    std::mt19937 rng(11);
    const double sigma = 0.05;
    std::normal_distribution<double> noise(0.0, sigma);
    Analyser a(48000, 4096, kWindowHanning, 200);
    a.Frames(200, [&](double) { return noise(rng); });
    // a noise of variance s² holds the power of a sine of amplitude s·√2; the span leaves out
    // the top 1 % and the first bins
    EXPECT_NEAR(MeasureTotalPower(*a.spectrum), 10 * std::log10(2 * sigma * sigma * (0.99 * 24000 - 2 * 48000.0 / 4096) / 24000), 0.15);

    // A weighting takes 19.1 dB off 100 Hz; on a spectrum shown A weighted the flat power
    // takes the display weighting out again
    Analyser weighted(48000, 8192, kWindowFlatTop, 1, 1, 0, 1);
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
    Analyser c(48000, 4096, kWindowHanning, 1);
    c.spectrum->SetCalibration(&cal, 0);
    c.Frame(Sine(1000.0, 0.25));
    MeasurementContext context;
    context.calibration = &cal;
    EXPECT_NEAR(MeasureTotalPower(*c.spectrum, context), 93.9794, 0.02);
    EXPECT_NEAR(BandPower(*c.spectrum, 3, 2047, false, kBandFlat, context), 1.0, 0.003);
}

TEST(Readouts, ChannelsNoiseFigurePolarityAndLines) {
    Analyser l(48000, 8192, kWindowFlatTop, 1), r(48000, 8192, kWindowFlatTop, 1);
    l.Frame([](double t) { return 0.5 * std::sin(2 * kPi * 1000 * t) + 0.005 * std::sin(2 * kPi * 2000 * t); });
    r.Frame(Sine(1500, 0.25));
    TMeasurementReadouts readouts;
    readouts.Update({l.spectrum.get(), r.spectrum.get(), nullptr, nullptr}, kProcessBoth, true);
    EXPECT_NEAR(readouts.Get(kMeasureTHD).leftValue, 1.0, 0.01);
    EXPECT_NEAR(readouts.Get(kMeasurePeakFrequency).leftValue, 1000.0, 48000.0 / 8192);
    EXPECT_NEAR(readouts.Get(kMeasurePeakFrequency).rightValue, 1500.0, 48000.0 / 8192);
    // noise figure: left SNR minus right by default, reversed for any other polarity
    const double nf = MeasureSNR(*l.spectrum) - MeasureSNR(*r.spectrum);
    EXPECT_NEAR(readouts.Get(kMeasureNoiseFigure).leftValue, nf, 1e-9);
    MeasurementContext reversed;
    reversed.noiseFigurePolarity = 7;
    readouts.SetContext(reversed);
    readouts.Update({l.spectrum.get(), r.spectrum.get(), nullptr, nullptr}, kProcessBoth, true);
    EXPECT_NEAR(readouts.Get(kMeasureNoiseFigure).leftValue, -nf, 1e-9);
    EXPECT_EQ(MeasureNoiseFigure(l.spectrum.get(), nullptr, MeasurementContext{}), 0.0);

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

TEST(CommandLine, MeasurementListAndBand) {
    std::vector<MeasurementCode> codes;
    std::string error;
    ASSERT_TRUE(ParseMeasurementList("THD, snr,thd,peakfreq", codes, error));
    EXPECT_EQ(codes, (std::vector<MeasurementCode>{kMeasureTHD, kMeasureSNR, kMeasurePeakFrequency}));
    ASSERT_TRUE(ParseMeasurementList("all", codes, error));
    EXPECT_EQ(codes.size(), static_cast<size_t>(kMeasurementCount));
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
}

}  // namespace
}  // namespace zeltrak
