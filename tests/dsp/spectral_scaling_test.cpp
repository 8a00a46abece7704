// Windows, calibration units, compensation curves, bands. (Densities, coherence display: accuracy suite.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <functional>

#include "base/numeric.h"
#include "dsp/octave_bands.h"
#include "dsp/smoothing.h"
#include "dsp/spectral_display.h"
#include "dsp/spectral_test_support.h"
#include "dsp/spline.h"
#include "dsp/weighting.h"
#include "measure/compensation_curve.h"
#include "measure/spectrum_compensation.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

using namespace spectral_test;

SpectralSettings At(uint32_t rate, uint32_t fftSize) {
    SpectralSettings s = Settings(fftSize);
    s.format = SampleFormat::Make(rate, 2, 2);
    return s;
}

// One frame through a fresh (or the running) average; the display value at `index`.
double ReadOnce(TSpectralData& s, const std::vector<float>& frame, uint32_t index, bool fresh = true) {
    if (fresh) s.ResetAverage();
    Feed(s, frame);
    s.Average();
    return SpectralDisplayValue(s, index);
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

// 48000 Hz, 4096 points: bin 256 is exactly 3000 Hz; the frames go in unwindowed.
const std::vector<float>& FullScaleTone() {
    static const std::vector<float> tone = Tone(4096, 256, kFullScale16);
    return tone;
}

TEST(SpectralScaling, CalibratedValuesInEveryUnitLabelTypeAndChannel) {
    TSpectralData lin(At(48000, 4096), Scaling(0, 0), 0), log(At(48000, 4096), Scaling(1, 0), 0);
    // a full-scale peak of one unit reads 1 (linear) and 20·log10(1 / reference) (dB)
    for (int32_t units = 0; units < 12; ++units) {
        const double reference[] = {1, 1, 20e-6, 1, 1, 1, 1, 0.775, 20e-6, 2.9e-9, 1e-6, 1e-6};
        const CalibrationRecord c = Calibration(1.0f, units);
        log.SetCalibration(&c, 0);
        lin.SetCalibration(&c, 0);
        EXPECT_NEAR(ReadOnce(log, FullScaleTone(), 256), -20 * std::log10(reference[units]), 2e-3) << units;
        EXPECT_NEAR(ReadOnce(lin, FullScaleTone(), 256), 1.0, 1e-5) << units;
    }
    // half scale, 5.67 Pa at full scale on the left and 2 on the right; rms and peak-to-peak labels
    const auto half = Tone(4096, 256, kFullScale16 / 2);
    const double spl = 20 * std::log10(5.670 / 2 / 20e-6);
    for (auto [labelType, shift] : {std::pair{0, 0.0}, {1, -10 * std::log10(2.0)}, {2, 20 * std::log10(2.0)}}) {
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
        for (uint32_t k = 0; k < lin.Bins(); ++k) ASSERT_TRUE(std::isfinite(lin.Scale().Factors()[k]));
        EXPECT_TRUE(std::isfinite(ReadOnce(lin, FullScaleTone(), 256)));
        EXPECT_TRUE(std::isfinite(ReadOnce(log, FullScaleTone(), 256)));
    }
}

// Acceleration calibrated in g, shown as velocity or displacement in feet, inches, mm or mils:
// the unit factor, then a division by 2 pi f (or its square), never at DC.
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
        EXPECT_NEAR(s.Scale().Factors()[0], plain.Scale().Factors()[0] * 2.0 * factor, 1e-6 * s.Scale().Factors()[0]);
        for (uint32_t k : {1u, 85u, 2047u}) {
            const double w = 2 * kPi * s.BinFrequency(k);
            const double want = plain.Scale().Factors()[k] * 2.0 * factor / (c.IntegrationType == 1 ? w : w * w);
            EXPECT_NEAR(s.Scale().Factors()[k], want, 1e-5 * want) << conversion << " bin " << k;
        }
    }
}

// Through the points with a continuous slope (four points on one piece give it exactly); natural ends: below.
TEST(SpectralSpline, ThroughThePointsWithAContinuousSlopeAndStraightEnds) {
    const std::vector<CurvePoint> p = {{20, 3}, {50, -1}, {100, 0.5f}, {400, 2}, {1000, 0}, {5000, -4}, {12000, 1}};
    const TSpline s(p);
    const auto f = [&](double x) { return static_cast<double>(s.Evaluate(static_cast<float>(x))); };
    const auto slope = [&](double a, double h) {
        return (-11 * f(a) + 18 * f(a + h) - 9 * f(a + 2 * h) + 2 * f(a + 3 * h)) / (6 * h);
    };
    const size_t n = p.size();
    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(p[i].x);
        EXPECT_NEAR(f(p[i].x), p[i].y, 1e-5);
        if (i && i + 1 < n) {
            const double leaving = slope(p[i].x, (p[i + 1].x - p[i].x) / 4);
            EXPECT_NEAR(leaving, slope(p[i].x, (p[i - 1].x - p[i].x) / 4), 1e-4 * std::fabs(leaving) + 1e-7);
        }
    }
    // equal neighbours: a natural spline up to them (closed form for three equidistant points),
    // a step across, nothing undefined anywhere
    const TSpline stepped({{100, 0}, {200, 4}, {300, 1}, {300, 5}, {400, 2}});
    EXPECT_NEAR(stepped.Evaluate(150), 2.65625, 1e-4);
    EXPECT_NEAR(stepped.Evaluate(350), 3.5, 1e-5);
    for (float x : {50.0f, 300.0f, 299.9f, 500.0f}) EXPECT_TRUE(std::isfinite(stepped.Evaluate(x))) << x;
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
    TSpectralData s(At(51200, 1024), Scaling(1, 0), 0), plain(At(51200, 1024), Scaling(1, 0), 0);
    ASSERT_TRUE(ApplyCompensation(s, dir.File("good.mic"), true, &host));
    const TSpline curve(p);
    for (uint32_t k = 0; k < s.Bins(); ++k) {
        const float f = s.BinFrequency(k);
        EXPECT_NEAR(20 * std::log10(s.Scale().Compensation()[k]), f <= 100 ? 3.0 : f >= 10000 ? -3.0 : curve.Evaluate(f), 2e-4);
        // a microphone 3 dB hot is read 3 dB down
        EXPECT_NEAR(s.Scale().Factors()[k] * s.Scale().Compensation()[k], plain.Scale().Factors()[k], 1e-6 * plain.Scale().Factors()[k]);
    }
    EXPECT_FALSE(ApplyCompensation(s, dir.File("good.mic"), false, &host));
    EXPECT_EQ(s.Scale().Compensation(), nullptr);
    EXPECT_TRUE(host.messages.empty());

    // too few, text, falling or negative, binary, none, a folder, endless, a FIFO: each reported once, not used
    std::vector<std::string> bad = {dir.File("none.mic"), dir.path(), "/dev/zero", dir.File("fifo.mic")};
    ASSERT_EQ(::mkfifo(bad.back().c_str(), 0600), 0);
    using namespace std::string_literals;
    for (const std::string& content : {";name\n100\t1\n200\t2\n"s, "100\t1\n200\t2\nthree\t3\n400\t4\n"s,
                                       "100\t1\n50\t2\n200\t3\n"s, "-1\t1\n50\t2\n200\t3\n"s,
                                       "\x7f" "ELF\0\x01\x02\xff\xfe\n\0\0\x80"s}) {
        bad.push_back(dir.File(std::to_string(bad.size()) + ".mic"));
        testing::WriteFile(bad.back(), content);
    }
    for (const std::string& path : bad) {
        host.messages.clear();
        EXPECT_FALSE(ApplyCompensation(s, path, true, &host)) << path;
        EXPECT_EQ(s.Scale().Compensation(), nullptr);
        ASSERT_EQ(host.messages.size(), 1u) << path;
        EXPECT_NE(host.messages[0].text.find(path), std::string::npos);
    }
    // equal frequencies are fine; huge levels are clamped and nothing overflows
    testing::WriteFile(dir.File("loud.mic"), "100\t1e30\n100\t-1e30\n200\t1e30\n30000\t-1e30\n");
    EXPECT_TRUE(ApplyCompensation(s, dir.File("loud.mic"), true, &host));
    for (uint32_t k = 0; k < s.Bins(); ++k) {
        ASSERT_TRUE(std::isfinite(s.Scale().Factors()[k])) << k;
        EXPECT_LE(std::abs(20 * std::log10(s.Scale().Compensation()[k])), 120.01) << k;
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
    for (auto [i, f] : {std::pair{5, 3.15f}, {30, 1000.0f}, {43, 20000.0f}}) EXPECT_FLOAT_EQ(third[i].nominal, f) << i;
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
        SpectralSettings settings = At(44100, 4096);
        settings.averageType = AveragingType::Linear;
        settings.averageBlocks = 8;
        TSpectralData s(settings, sc, 0);
        for (int i = 0; i < 8; ++i) ReadOnce(s, Noise(4096, rng), 0, false);
        double bands = 0;
        for (uint32_t i = 0; i < s.BandAxis().Count(); ++i) bands += std::pow(10.0, s.BandAxis().Values()[i] / 10.0);
        // bin 0 reaches from -w/2 to w/2, and the first band starts at 2^(-1/2n) Hz
        const double w = s.BinWidth();
        double want = s.AveragePower()[0] * (w / 2 - s.BandAxis().Records()[0].lower) / w;
        for (uint32_t k = 1; k < s.Bins(); ++k) want += s.AveragePower()[k];
        EXPECT_NEAR(bands / want, 1.0, 1e-4) << n;
    }
    // a full-scale tone at 3000 Hz lies wholly inside the 3150 Hz third-octave band
    TSpectralData log(At(48000, 4096), Scaling(1, 2), 0), lin(At(48000, 4096), Scaling(0, 2), 0);
    uint32_t band = 0;
    while (log.BandAxis().Records()[band].upper < 3000) ++band;
    EXPECT_NEAR(SpectralValueFrequency(log, band), std::pow(10.0, 3.5), 0.01);
    EXPECT_EQ(SpectralDisplayValue(log, band), kNoDecibels);  // before any frame
    EXPECT_NEAR(ReadOnce(log, FullScaleTone(), band), 0.0, 1e-3);
    EXPECT_NEAR(ReadOnce(lin, FullScaleTone(), band), 100.0, 1e-2);
    const CalibrationRecord c = Calibration(5.0f, 2);
    log.SetCalibration(&c, 0);
    EXPECT_NEAR(ReadOnce(log, FullScaleTone(), band), 20 * std::log10(5.0 / 20e-6), 2e-3);
    // a weighting's level at 0 Hz is held at the curves' floor, not -inf or NaN
    EXPECT_EQ(WeightingLevelDb(kWeightingA, 0.0), -kMaxCurveLevelDb);
}

std::vector<double> Coefficients(uint32_t n, WindowType type, WindowCorrection mode) {
    TSmoothing w(n, type, mode);
    EXPECT_FALSE(w.Error());
    return std::vector<double>(w.Coefficients(), w.Coefficients() + n);
}

double Mean(const std::vector<double>& v, int power) {
    double sum = 0;
    for (double x : v) sum += std::pow(x, power);
    return sum / v.size();
}

// Each window's shape at 256 points against its textbook closed form, and its equivalent noise bandwidth in
// bins where the textbooks give one (0: none).
TEST(TSmoothing, ShapesAndNoiseBandwidthsMatchClosedForms) {
    const uint32_t n = 256;
    const double h = n / 2;
    const auto x = [](double i) { return std::fabs(2 * i / (n - 1) - 1); };  // 0 at the centre, 1 at the ends
    const auto c = [](double i, int k) { return std::cos(2 * k * kPi * i / (n - 1)); };
    const auto r2 = [&](double i) { return 1 - (i - h) * (i - h) / (h * h); };
    const struct { WindowType type; double enbw; std::function<double(double)> shape; double tolerance; } windows[] = {
        {WindowType::Uniform, 1.0, [](double) { return 1.0; }, 0},
        {WindowType::Bartlett, 4.0 / 3, [&](double i) { return 1 - x(i); }, 1e-6},
        {WindowType::Triangular, 4.0 / 3, nullptr, 0},
        {WindowType::Hanning, 1.5, [&](double i) { return 0.5 - 0.5 * c(i, 1); }, 1e-6},
        {WindowType::Hamming, 1.3628, [&](double i) { return 0.54 - 0.46 * c(i, 1); }, 1e-6},
        {WindowType::Blackman, 1.7268, [&](double i) { return 0.42 - 0.5 * c(i, 1) + 0.08 * c(i, 2); }, 1e-6},
        {WindowType::Parzen, 0,
         [&](double i) { return x(i) < .5 ? 1 - 6 * x(i) * x(i) * (1 - x(i)) : 2 * std::pow(1 - x(i), 3); }, 1e-6},
        {WindowType::Gaussian, 0,  // exp(-r²/2) over ±5: sampled at distances h - i, and 1 - h + i past the centre
         [&](double i) { return std::exp(-12.5 * std::pow((i < h ? h - i : i + 1 - h) / h, 2)); }, 1e-6},
        {WindowType::Kaiser, 0,  // beta 2.5 pi; the program's Bessel series stops at a 1e-4 term
         [&](double i) { return std::cyl_bessel_i(0, 2.5 * kPi * std::sqrt(r2(i))) / std::cyl_bessel_i(0, 2.5 * kPi); },
         2e-4},
        {WindowType::FlatTop, 0,  // a cosine sum around the centre; the first point repeats the second
         [&](double i) {
             const double t = 2 * kPi * std::fabs(std::max(i, 1.0) - h) / n;
             return 0.9994484 + 2 * (0.955728 * std::cos(t) + 0.539289 * std::cos(2 * t) + 0.091581 * std::cos(3 * t));
         },
         1e-6},
    };
    for (const auto& w : windows) {
        SCOPED_TRACE(TSmoothing::GetName(WindowCode(w.type)));
        const std::vector<double> c = Coefficients(n, w.type, WindowCorrection::None);
        for (uint32_t i = 0; w.shape && i < n; ++i) ASSERT_NEAR(c[i], w.shape(i), w.tolerance * (1 + w.shape(i))) << i;
        if (w.enbw > 0) {
            EXPECT_NEAR(TSmoothing(8192, w.type, WindowCorrection::Amplitude).NoiseBandwidth(), w.enbw, 1e-3);
            EXPECT_NEAR(WindowNoiseBandwidth(w.type, 8192), w.enbw, 1e-3);
        }
    }
}

// The window correction: every corrected window has mean 1 (a tone on a bin reads its level)
// or mean square 1 (broadband power reads true), at any size, odd ones included.
TEST(TSmoothing, CorrectionsGiveUnitMeanOrUnitMeanSquare) {
    for (uint32_t n : {1u, 39u, 64u, 1000u, 8192u})
        for (uint16_t type = 0; type < TSmoothing::GetTypeCount(); ++type) {
            SCOPED_TRACE(::testing::Message() << TSmoothing::GetName(type) << " " << n);
            const WindowType window = WindowTypeFromCode(type);
            EXPECT_NEAR(Mean(Coefficients(n, window, WindowCorrection::Amplitude), 1), 1.0, 1e-6);
            EXPECT_NEAR(Mean(Coefficients(n, window, WindowCorrection::Energy), 2), 1.0, 1e-6);
            for (double v : Coefficients(n, window, WindowCorrection::None)) ASSERT_TRUE(std::isfinite(v));
        }
}

// Bad types are refused and leave the window as it was; a window built with one, or empty, is harmless;
// Remove leaves zero coefficients alone.
TEST(TSmoothing, InvalidTypesNamesAndArrays) {
    TSmoothing w(33, WindowType::Hanning, WindowCorrection::Amplitude);
    std::vector<float> x(33, 1.0f), y(33, -7.0f);
    w.Remove(x.data(), y.data());
    EXPECT_EQ(y[0], -7.0f);
    const std::vector<float> before(w.Coefficients(), w.Coefficients() + 33);
    EXPECT_FALSE(w.SetType(WindowTypeFromCode(10)));
    EXPECT_EQ(w.Status(), WindowStatus::InvalidType);
    EXPECT_FALSE(w.Set(64, WindowTypeFromCode(65535), WindowCorrection::Energy));
    EXPECT_EQ(w.Status(), WindowStatus::InvalidType);
    EXPECT_EQ(w.GetType(), WindowType::Hanning);
    EXPECT_EQ(std::vector<float>(w.Coefficients(), w.Coefficients() + 33), before);
    EXPECT_TRUE(w.Set(64, WindowType::Kaiser, WindowCorrection::Energy));  // a good rebuild clears the error
    EXPECT_FALSE(w.Error());
    // constructed with a bad type: in error, no coefficients, harmless to use
    TSmoothing bad(32, WindowTypeFromCode(11), WindowCorrection::None);
    EXPECT_EQ(bad.GetSize(), 0u);
    y.assign(32, -7.0f);
    bad.Apply(x.data(), y.data());
    w.Apply(nullptr, y.data());
    w.Remove(x.data(), nullptr);
    w.ApplyInPlace(nullptr);
    w.RemoveInPlace(nullptr);
    EXPECT_EQ(y, std::vector<float>(32, -7.0f));
    EXPECT_FALSE(TSmoothing(0, WindowType::Hanning, WindowCorrection::None).Error());
    char buffer[12] = "junk", small[5];
    for (int type : {10, -1}) TSmoothing::GetName(type, buffer);
    EXPECT_STREQ(buffer, "");
    TSmoothing::GetName(WindowCode(WindowType::Triangular), small, sizeof small);
    EXPECT_STREQ(small, "Tria");
}

}  // namespace
}  // namespace zeltrak
