// Scaling of spectral values: density, calibration units, integration, compensation curves,
// fractional-octave bands.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/numeric.h"
#include "dsp/octave_bands.h"
#include "dsp/smoothing.h"
#include "dsp/spectral_test_support.h"
#include "dsp/spline.h"
#include "dsp/weighting.h"
#include "platform/scripted_host.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

using namespace spectral_test;

SpectralSettings At(uint32_t rate, uint32_t fftSize) {
    SpectralSettings s = Settings(fftSize);
    s.format = SampleFormat::Make(rate, 2, 2);
    return s;
}

// One frame through a fresh average; the display value at `index`.
double ReadOnce(TSpectralData& s, const std::vector<float>& frame, uint32_t index) {
    s.ResetAverage();
    Feed(s, frame);
    s.Average();
    return s.GetValue(index);
}

CalibrationRecord Calibration(float ratio, int32_t units, int32_t labelType = 0) {
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.IsEnabled = 1;
    r.CalRatioLeft = ratio;
    r.CalRatioRight = 2.0f;
    r.RefUnits = units;
    r.LabelType = labelType;
    return r;
}

// Natural cubic spline by a dense solve of the moment equations, in double.
struct ReferenceSpline {
    std::vector<double> x, y, m;
    explicit ReferenceSpline(const std::vector<CurvePoint>& p) {
        const size_t n = p.size(), k = n - 2;
        for (const auto& q : p) {
            x.push_back(q.x);
            y.push_back(q.y);
        }
        std::vector<std::vector<double>> a(k, std::vector<double>(k + 1, 0.0));
        for (size_t i = 1; i + 1 < n; ++i) {
            const double h0 = x[i] - x[i - 1], h1 = x[i + 1] - x[i];
            if (i > 1) a[i - 1][i - 2] = h0;
            a[i - 1][i - 1] = 2 * (h0 + h1);
            if (i + 1 < n - 1) a[i - 1][i] = h1;
            a[i - 1][k] = 6 * ((y[i + 1] - y[i]) / h1 - (y[i] - y[i - 1]) / h0);
        }
        for (size_t c = 0; c < k; ++c)
            for (size_t r = c + 1; r < k; ++r)
                for (size_t j = k + 1; j-- > c;) a[r][j] -= a[r][c] / a[c][c] * a[c][j];
        m.assign(n, 0.0);
        for (size_t c = k; c-- > 0;) {
            double v = a[c][k];
            for (size_t j = c + 1; j < k; ++j) v -= a[c][j] * m[j + 1];
            m[c + 1] = v / a[c][c];
        }
    }
    double operator()(double t) const {
        size_t i = 0;
        while (i + 2 < x.size() && t >= x[i + 1]) ++i;
        const double h = x[i + 1] - x[i], a = (x[i + 1] - t) / h, b = (t - x[i]) / h;
        return a * y[i] + b * y[i + 1] + ((a * a * a - a) * m[i] + (b * b * b - b) * m[i + 1]) * h * h / 6;
    }
};

// 48000 Hz, 4096 points: bin 256 is exactly 3000 Hz; the frames go in unwindowed.
const std::vector<float>& FullScaleTone() {
    static const std::vector<float> tone = Tone(4096, 256, kFullScale16);
    return tone;
}

TEST(SpectralScaling, DensityPerHertzAndPerRootHertz) {
    SpectralSettings uniform = At(48000, 4096);
    uniform.smoothingWindow = kWindowUniform;
    const double width = 48000.0 / 4096;
    const struct {
        uint32_t densityType, ampScale;
        double want;
    } cases[] = {{0, 0, 100.0 / width}, {1, 0, 100.0 / std::sqrt(width)}, {1, 1, -10 * std::log10(width)}};
    for (const auto& c : cases) {
        SpectralScaling sc = Scaling(c.ampScale, 0);
        sc.spectralDensityFlag = 1;
        sc.spectralDensityType = c.densityType;
        TSpectralData s(uniform, sc, 0);
        EXPECT_NEAR(ReadOnce(s, FullScaleTone(), 256), c.want, 1e-3) << c.densityType << " " << c.ampScale;
        sc.freqScaleType = 2;  // bands are powers: no per-hertz factor
        EXPECT_FLOAT_EQ(TSpectralData(uniform, sc, 0).PsdFactor(), 1.0f);
    }
}

TEST(SpectralScaling, CalibratedValuesInEveryUnitLabelTypeAndChannel) {
    TSpectralData lin(At(48000, 4096), Scaling(0, 0), 0), log(At(48000, 4096), Scaling(1, 0), 0);
    // a full-scale peak of one unit reads 1 (linear) and 20·log10(1 / reference) (dB)
    const struct {
        int32_t units;
        double reference;
    } refs[] = {{0, 1.0},  {1, 1.0},   {2, 20e-6},  {3, 1.0},    {4, 1.0},  {5, 1.0},
                {6, 1.0},  {7, 0.775}, {8, 20e-6},  {9, 2.9e-9}, {10, 1e-6}, {11, 1e-6}};
    for (const auto& r : refs) {
        const CalibrationRecord c = Calibration(1.0f, r.units);
        log.SetCalibration(&c, 0);
        lin.SetCalibration(&c, 0);
        EXPECT_NEAR(ReadOnce(log, FullScaleTone(), 256), -20 * std::log10(r.reference), 2e-3) << r.units;
        EXPECT_NEAR(ReadOnce(lin, FullScaleTone(), 256), 1.0, 1e-5) << r.units;
    }
    // half scale, 5.67 Pa at full scale on the left and 2 on the right; rms and peak-to-peak labels
    const auto half = Tone(4096, 256, kFullScale16 / 2);
    const double spl = 20 * std::log10(5.670 / 2 / 20e-6);
    for (auto [labelType, shift] : {std::pair{0, 0.0}, {1, -20 * std::log10(std::sqrt(2.0))}, {2, 20 * std::log10(2.0)}}) {
        const CalibrationRecord c = Calibration(5.670f, 2, labelType);
        log.SetCalibration(&c, 0);
        EXPECT_NEAR(ReadOnce(log, half, 256), spl + shift, 1e-3) << labelType;
    }
    const CalibrationRecord pascals = Calibration(5.670f, 2);
    for (auto [channel, want] : {std::pair{0, 5.670 / 2}, {1, 1.0}, {-1, 0.5}}) {
        lin.SetCalibration(&pascals, channel);
        EXPECT_NEAR(ReadOnce(lin, half, 256), want, 1e-4) << channel;
    }
    CalibrationRecord off = pascals;  // a record that is not enabled is no calibration
    off.IsEnabled = 0;
    lin.SetCalibration(&off, 0);
    EXPECT_NEAR(ReadOnce(lin, FullScaleTone(), 256), 100.0, 1e-3);

    // junk ratios never reach a display value
    for (float junk : {std::nanf(""), INFINITY, -INFINITY, 3e38f, 0.0f}) {
        CalibrationRecord c = Calibration(junk, 2);
        c.ConversionType = 8;
        c.IntegrationType = 2;
        lin.SetCalibration(&c, 0);
        log.SetCalibration(&c, 0);
        for (uint32_t k = 0; k < lin.Bins(); ++k) ASSERT_TRUE(std::isfinite(lin.BinScale()[k]));
        EXPECT_TRUE(std::isfinite(ReadOnce(lin, FullScaleTone(), 256)));
        EXPECT_TRUE(std::isfinite(ReadOnce(log, FullScaleTone(), 256)));
    }
}

TEST(SpectralScaling, IntegrationDividesByTwoPiFExceptAtDc) {
    TSpectralData plain(At(48000, 4096), Scaling(0, 0), 0);
    const double g = 32.174;  // ft/s² in one g
    for (auto [conversion, factor] : {std::pair{1, g}, {2, 12 * g}, {3, 304.8 * g}, {7, 12000 * g}, {4, g},
                                      {5, 12 * g}, {6, 304.8 * g}, {8, 12000 * g}}) {
        CalibrationRecord c = Calibration(2.0f, 3);
        c.ConversionType = conversion;
        c.IntegrationType = conversion <= 3 || conversion == 7 ? 1 : 2;
        TSpectralData s(At(48000, 4096), Scaling(0, 0), 0);
        s.SetCalibration(&c, 0);
        EXPECT_NEAR(s.BinScale()[0], plain.BinScale()[0] * 2.0 * factor, 1e-6 * s.BinScale()[0]);
        for (uint32_t k : {1u, 85u, 2047u}) {
            const double w = 2 * kPi * s.BinFrequency(k);
            const double want = plain.BinScale()[k] * 2.0 * factor / (c.IntegrationType == 1 ? w : w * w);
            EXPECT_NEAR(s.BinScale()[k], want, 1e-5 * want) << conversion << " bin " << k;
        }
    }
}

TEST(SpectralSpline, MatchesAnIndependentNaturalSplineAndSurvivesEqualAbscissae) {
    const std::vector<CurvePoint> p = {{20, 3}, {50, -1}, {100, 0.5f}, {400, 2}, {1000, 0}, {5000, -4}, {12000, 1}};
    const TSpline s(p);
    const ReferenceSpline ref(p);
    for (double f = 20; f < 12000; f *= 1.07) EXPECT_NEAR(s.Evaluate(static_cast<float>(f)), ref(f), 2e-4) << f;
    // equal neighbours: a natural spline up to them, a step across, nothing undefined anywhere
    const TSpline stepped({{100, 0}, {200, 4}, {300, 1}, {300, 5}, {400, 2}});
    EXPECT_NEAR(stepped.Evaluate(150), ReferenceSpline({{100, 0}, {200, 4}, {300, 1}})(150), 1e-4);
    EXPECT_NEAR(stepped.Evaluate(350), 3.5, 1e-5);
    for (float f : {50.0f, 300.0f, 299.9f, 500.0f}) EXPECT_TRUE(std::isfinite(stepped.Evaluate(f))) << f;
    EXPECT_TRUE(std::isfinite(TSpline({{100, 0}, {200, 4}, {200, 6}}).Evaluate(250)));
    EXPECT_EQ(TSpline({{1, 1}, {2, 2}}).Evaluate(1.5f), 0.0f);
}

TEST(SpectralCompensation, CurveFromAFileAndFilesThatCannotBeUsed) {
    testing::TempDir dir;
    const std::vector<CurvePoint> p = {{100, 3}, {500, 1}, {1000, 0}, {4000, 2.5f}, {10000, -3}};
    std::string text = "; test microphone\n";
    for (const auto& q : p) text += std::to_string(q.x) + "\t" + std::to_string(q.y) + "\n";
    testing::WriteFile(dir.File("good.mic"), text + "end of data\n200\t9\n");
    ScriptedHost host;
    TSpectralData s(At(51200, 1024), Scaling(1, 0), 0, &host), plain(At(51200, 1024), Scaling(1, 0), 0);
    ASSERT_TRUE(s.SetCompensation(dir.File("good.mic"), true));
    const ReferenceSpline ref(p);
    for (uint32_t k = 0; k < s.Bins(); ++k) {
        const double f = s.BinFrequency(k);
        EXPECT_NEAR(20 * std::log10(s.Compensation()[k]), f <= 100 ? 3.0 : f >= 10000 ? -3.0 : ref(f), 2e-4) << k;
        // a microphone 3 dB hot is read 3 dB down
        EXPECT_NEAR(s.BinScale()[k] * s.Compensation()[k], plain.BinScale()[k], 1e-6 * plain.BinScale()[k]);
    }
    EXPECT_FALSE(s.SetCompensation(dir.File("good.mic"), false));
    EXPECT_EQ(s.Compensation(), nullptr);
    EXPECT_TRUE(host.messages.empty());

    // too few entries, text, falling or negative frequencies, binary, no file, a folder, an
    // endless device, a FIFO without a writer: each reported once and not used
    const std::string fifo = dir.File("fifo.mic");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> bad = {dir.File("none.mic"), dir.path(), "/dev/zero", fifo};
    for (const std::string& content : {std::string(";name\n100\t1\n200\t2\n"), std::string("100\t1\n200\t2\nthree\t3\n400\t4\n"),
                                       std::string("100\t1\n50\t2\n200\t3\n"), std::string("-1\t1\n50\t2\n200\t3\n"),
                                       std::string("\x7f" "ELF\0\x01\x02\xff\xfe\n\0\0\x80", 14)}) {
        bad.push_back(dir.File(std::to_string(bad.size()) + ".mic"));
        testing::WriteFile(bad.back(), content);
    }
    for (const std::string& path : bad) {
        host.messages.clear();
        EXPECT_FALSE(s.SetCompensation(path, true)) << path;
        EXPECT_EQ(s.Compensation(), nullptr);
        ASSERT_EQ(host.messages.size(), 1u) << path;
        EXPECT_NE(host.messages[0].text.find(path), std::string::npos);
    }
    // equal frequencies are fine; huge levels are clamped and nothing overflows
    testing::WriteFile(dir.File("loud.mic"), "100\t1e30\n100\t-1e30\n200\t1e30\n30000\t-1e30\n");
    EXPECT_TRUE(s.SetCompensation(dir.File("loud.mic"), true));
    for (uint32_t k = 0; k < s.Bins(); ++k) {
        ASSERT_TRUE(std::isfinite(s.BinScale()[k])) << k;
        EXPECT_LE(std::abs(20 * std::log10(s.Compensation()[k])), 120.01) << k;
    }
    // reading stops at the maximum point count
    std::string many;
    for (uint32_t i = 0; i < kMaxCurvePoints + 1000; ++i) many += std::to_string(i) + "\t0.5\n";
    testing::WriteFile(dir.File("long.mic"), many);
    std::vector<CurvePoint> points;
    ASSERT_EQ(ReadCompensationFile(dir.File("long.mic"), points), CurveFileStatus::Ok);
    EXPECT_EQ(points.size(), kMaxCurvePoints);
}

TEST(SpectralBands, EdgesCentresAndNominalFrequencies) {
    for (uint32_t n : {1u, 3u, 12u}) {
        const auto b = BuildOctaveBands(n, 22050.0);
        EXPECT_NEAR(b[0].lower, std::pow(2.0, -0.5 / n), 1e-6);
        for (size_t i = 0; i < b.size(); ++i) {
            SCOPED_TRACE(::testing::Message() << "1/" << n << " band " << i);
            EXPECT_NEAR(b[i].centre, std::pow(10.0, 0.3 * i / n), 1e-5 * b[i].centre);  // base-ten centres
            EXPECT_NEAR(b[i].upper / b[i].centre, std::pow(2.0, 0.5 / n), 1e-5);
            if (i) {
                EXPECT_EQ(b[i].lower, b[i - 1].upper);  // no gap, no overlap
            }
        }
        EXPECT_LT(b.back().centre, 22050.0);
        EXPECT_GE(b.back().centre * std::pow(10.0, 0.3 / n), 22050.0);  // the next one would not
    }
    const auto third = BuildOctaveBands(3, 22050.0);
    ASSERT_EQ(third.size(), 44u);
    for (auto [i, nominal] : {std::pair{5, 3.15f}, {30, 1000.0f}, {43, 20000.0f}}) EXPECT_FLOAT_EQ(third[i].nominal, nominal);
    const auto octave = BuildOctaveBands(0, 24000.0);  // 0 counts as 1
    EXPECT_EQ(octave.size(), 15u);                      // 1 ... 16384 Hz
    EXPECT_FLOAT_EQ(octave[5].nominal, 31.5f);
    EXPECT_FLOAT_EQ(BuildOctaveBands(6, 1000)[1].nominal, 1.12f);
    EXPECT_EQ(BuildOctaveBands(3, 0.5).size(), 1u);
    EXPECT_EQ(BuildOctaveBands(3, std::nan("")).size(), 1u);
}

TEST(SpectralBands, WhiteNoiseBandsAddUpToTheBinPowerAndAToneReadsItsLevel) {
    std::mt19937 rng(5);
    for (uint32_t n : {1u, 3u, 24u}) {
        SpectralScaling sc = Scaling(1, 2);
        sc.octaveNumber = n;
        TSpectralData s(At(44100, 4096), sc, 0);
        ASSERT_TRUE(s.SetAverage(8, kAverageLinear));
        for (int i = 0; i < 8; ++i) {
            Feed(s, Noise(4096, rng));
            s.Average();
        }
        double bands = 0;
        for (uint32_t i = 0; i < s.Bands(); ++i) bands += std::pow(10.0, s.BandValues()[i] / 10.0);
        // bin 0 reaches from -w/2 to w/2, and the first band starts at 2^(-1/2n) Hz
        const double w = s.BinWidth();
        double want = s.AveragePower()[0] * (w / 2 - s.BandRecords()[0].lower) / w;
        for (uint32_t k = 1; k < s.Bins(); ++k) want += s.AveragePower()[k];
        EXPECT_NEAR(bands / want, 1.0, 1e-4) << n;
    }
    // a full-scale tone at 3000 Hz lies wholly inside the 3150 Hz third-octave band
    TSpectralData log(At(48000, 4096), Scaling(1, 2), 0), lin(At(48000, 4096), Scaling(0, 2), 0);
    uint32_t band = 0;
    while (log.BandRecords()[band].upper < 3000) ++band;
    EXPECT_NEAR(log.ValueFrequency(band), std::pow(10.0, 3.5), 0.01);
    EXPECT_EQ(log.GetValue(band), kNoDecibels);  // before any frame
    EXPECT_NEAR(ReadOnce(log, FullScaleTone(), band), 0.0, 1e-3);
    EXPECT_NEAR(ReadOnce(lin, FullScaleTone(), band), 100.0, 1e-2);
    const CalibrationRecord c = Calibration(5.0f, 2);
    log.SetCalibration(&c, 0);
    EXPECT_NEAR(ReadOnce(log, FullScaleTone(), band), 20 * std::log10(5.0 / 20e-6), 2e-3);
    // a weighting's level at 0 Hz is held at the curves' floor, not -inf or NaN
    EXPECT_EQ(WeightingLevelDb(kWeightingA, 0.0), -kMaxCurveLevelDb);
}

TEST(SpectralScaling, CoherenceIsShownLinearlyAndWithoutUnits) {
    std::mt19937 rng(8);
    Analyser a(kProcessCoherence, 256, 4, kAverageExponential, Scaling(1, 0));
    const CalibrationRecord c = Calibration(3.0f, 2);
    for (TSpectralData* s : {a.L.get(), a.R.get(), a.S1.get()}) s->SetCalibration(&c, s->Channel());
    for (int i = 0; i < 4; ++i) {
        const auto x = Noise(256, rng);
        ASSERT_TRUE(a.Frame(x, x));
    }
    for (uint32_t k = 1; k < 100; ++k) EXPECT_NEAR(a.S1->GetValue(k), 1.0, 1e-3) << k;
    EXPECT_NEAR(a.L->GetValue(10), a.L->AverageDb()[10] - 20 * std::log10(20e-6), 1e-3);  // dB SPL
}

}  // namespace
}  // namespace zeltrak
