// Scaling of spectral values: full scale, PSD, calibration units, weighting, compensation
// curves, integration, fractional-octave bands and the displayed values.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/numeric.h"
#include "dsp/channel_processing.h"
#include "dsp/octave_bands.h"
#include "dsp/smoothing.h"
#include "dsp/spectral_data.h"
#include "dsp/spectral_test_support.h"
#include "dsp/spline.h"
#include "dsp/weighting.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

using namespace spectral_test;

SpectralSettings At(uint32_t rate, uint32_t fftSize) {
    SpectralSettings s = Settings(fftSize);
    s.format = SampleFormat::Make(rate, 2, 2);
    return s;
}

// Runs one frame through a fresh average and returns the object's display value at `index`.
double ReadOnce(TSpectralData& s, const std::vector<float>& frame, uint32_t index) {
    s.ResetAverage();
    Feed(s, frame);
    s.Average();
    return s.GetValue(index);
}

CalibrationRecord Calibration(float ratioLeft, float ratioRight, int32_t units, int32_t labelType = 0) {
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.IsEnabled = 1;
    r.CalRatioLeft = ratioLeft;
    r.CalRatioRight = ratioRight;
    r.RefUnits = units;
    r.LabelType = labelType;
    return r;
}

// Natural cubic spline by a dense solve of the moment equations, in double.
struct ReferenceSpline {
    std::vector<double> x, y, m;
    explicit ReferenceSpline(const std::vector<CurvePoint>& p) {
        const size_t n = p.size();
        for (const auto& q : p) {
            x.push_back(q.x);
            y.push_back(q.y);
        }
        const size_t k = n - 2;
        std::vector<std::vector<double>> a(k, std::vector<double>(k + 1, 0.0));
        for (size_t i = 1; i + 1 < n; ++i) {
            const double h0 = x[i] - x[i - 1], h1 = x[i + 1] - x[i];
            auto& row = a[i - 1];
            if (i > 1) row[i - 2] = h0;
            row[i - 1] = 2 * (h0 + h1);
            if (i + 1 < n - 1) row[i] = h1;
            row[k] = 6 * ((y[i + 1] - y[i]) / h1 - (y[i] - y[i - 1]) / h0);
        }
        for (size_t c = 0; c < k; ++c)
            for (size_t r = c + 1; r < k; ++r) {
                const double f = a[r][c] / a[c][c];
                for (size_t j = c; j <= k; ++j) a[r][j] -= f * a[c][j];
            }
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
        const double h = x[i + 1] - x[i];
        const double a = (x[i + 1] - t) / h, b = (t - x[i]) / h;
        return a * y[i] + b * y[i + 1] + ((a * a * a - a) * m[i] + (b * b * b - b) * m[i + 1]) * h * h / 6;
    }
};

std::string WriteFile(const std::string& name, const std::string& text) {
    const auto path = std::filesystem::temp_directory_path() / ("zeltrak_scaling_" + name);
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

TEST(SpectralScaling, FullScaleSineReadsHundredPercentThroughEveryWindow) {
    // 48000 Hz, 4096 points: bin 256 is exactly 3000 Hz.
    const auto tone = Tone(4096, 256, kFullScale16);
    TSpectralData lin(At(48000, 4096), Scaling(0, 0), 0);
    TSpectralData log(At(48000, 4096), Scaling(1, 0), 0);
    EXPECT_NEAR(ReadOnce(lin, tone, 256), 100.0, 1e-3);
    EXPECT_NEAR(ReadOnce(log, tone, 256), 0.0, 1e-4);
    EXPECT_EQ(lin.LinearLabel(), "Percent Full Scale");
    EXPECT_EQ(log.LogLabel(), "Relative Amplitude (dB)");

}

TEST(SpectralScaling, PowerSpectralDensity) {
    // the frames go in unwindowed: the Uniform window, whose bins are one bin wide
    const auto tone = Tone(4096, 256, kFullScale16);
    SpectralScaling sq = Scaling(0, 0);
    sq.spectralDensityFlag = 1;
    SpectralSettings uniform = At(48000, 4096);
    uniform.smoothingWindow = kWindowUniform;
    TSpectralData squared(uniform, sq, 0);
    EXPECT_FLOAT_EQ(squared.BinWidth(), 11.71875f);
    // P = 1 / 11.71875 per hertz, in percent
    EXPECT_NEAR(ReadOnce(squared, tone, 256), 100.0 / 11.71875, 1e-3);

    SpectralScaling root = sq;
    root.spectralDensityType = 1;
    TSpectralData perRootHz(uniform, root, 0);
    EXPECT_NEAR(ReadOnce(perRootHz, tone, 256), 100.0 / std::sqrt(11.71875), 1e-3);
    root.ampScaleType = 1;
    TSpectralData rootDb(uniform, root, 0);
    EXPECT_NEAR(ReadOnce(rootDb, tone, 256), -10 * std::log10(11.71875), 1e-4);

    // Bands are powers: no per-hertz factor on a band axis.
    SpectralScaling bands = sq;
    bands.freqScaleType = 2;
    TSpectralData banded(At(48000, 4096), bands, 0);
    EXPECT_FLOAT_EQ(banded.PsdFactor(), 1.0f);
}

TEST(SpectralScaling, CalibratedUnitsLabelTypesAndChannels) {
    const auto tone = Tone(4096, 256, kFullScale16 / 2);  // half scale
    // 5.670 Pa at full scale on the left, 2.0 on the right
    const CalibrationRecord pascals = Calibration(5.670f, 2.0f, 2);
    TSpectralData lin(At(48000, 4096), Scaling(0, 0), 0);
    lin.SetCalibration(&pascals, 0);
    EXPECT_NEAR(ReadOnce(lin, tone, 256), 5.670 / 2, 1e-4);
    EXPECT_EQ(lin.LinearLabel(), "Volts rms");  // the record's label, whatever it says
    lin.SetCalibration(&pascals, 1);
    EXPECT_NEAR(ReadOnce(lin, tone, 256), 1.0, 1e-5);
    lin.SetCalibration(&pascals, -1);
    EXPECT_NEAR(ReadOnce(lin, tone, 256), 0.5, 1e-5);

    TSpectralData log(At(48000, 4096), Scaling(1, 0), 0);
    log.SetCalibration(&pascals, 0);
    const double spl = 20 * std::log10(5.670 / 2 / 20e-6);
    EXPECT_NEAR(ReadOnce(log, tone, 256), spl, 1e-3);
    // rms and peak to peak conventions
    const CalibrationRecord rms = Calibration(5.670f, 2.0f, 2, 1);
    log.SetCalibration(&rms, 0);
    EXPECT_NEAR(ReadOnce(log, tone, 256), spl - 20 * std::log10(std::sqrt(2.0)), 1e-3);
    const CalibrationRecord pp = Calibration(5.670f, 2.0f, 2, 2);
    log.SetCalibration(&pp, 0);
    EXPECT_NEAR(ReadOnce(log, tone, 256), spl + 20 * std::log10(2.0), 1e-3);

    // dB references of the other units, against a value of 1 unit peak
    const auto unit = Tone(4096, 256, kFullScale16);
    const struct {
        int32_t units;
        double reference;
    } refs[] = {{0, 1.0}, {1, 1.0}, {3, 1.0}, {4, 1.0}, {5, 1.0}, {6, 1.0}, {7, 0.775}, {8, 20e-6}, {9, 2.9e-9},
                {10, 1e-6}, {11, 1e-6}};
    for (const auto& r : refs) {
        const CalibrationRecord c = Calibration(1.0f, 1.0f, r.units);
        log.SetCalibration(&c, 0);
        lin.SetCalibration(&c, 0);
        EXPECT_NEAR(ReadOnce(log, unit, 256), -20 * std::log10(r.reference), 2e-3) << r.units;
        EXPECT_NEAR(ReadOnce(lin, unit, 256), 1.0, 1e-5) << r.units;
    }

    // A record that is not enabled is no calibration at all.
    CalibrationRecord off = pascals;
    off.IsEnabled = 0;
    lin.SetCalibration(&off, 0);
    EXPECT_FALSE(lin.Calibrated());
    EXPECT_NEAR(ReadOnce(lin, unit, 256), 100.0, 1e-3);
}

TEST(SpectralScaling, IntegrationDividesByTwoPiFExceptAtDc) {
    TSpectralData plain(At(48000, 4096), Scaling(0, 0), 0);
    for (int32_t conversion : {1, 2, 3, 7, 4, 5, 6, 8}) {
        CalibrationRecord c = Calibration(2.0f, 2.0f, 3);
        c.ConversionType = conversion;
        c.IntegrationType = conversion <= 3 || conversion == 7 ? 1 : 2;
        TSpectralData s(At(48000, 4096), Scaling(0, 0), 0);
        s.SetCalibration(&c, 0);
        const double factor = conversion == 1 || conversion == 4   ? 32.174
                              : conversion == 2 || conversion == 5 ? 12 * 32.174
                              : conversion == 3 || conversion == 6 ? 304.8 * 32.174
                                                                   : 12000 * 32.174;
        EXPECT_NEAR(s.Gain(), 2.0 * factor, 1e-3 * factor);
        // the DC bin keeps the plain scale
        EXPECT_NEAR(s.BinScale()[0], plain.BinScale()[0] * 2.0 * factor, 1e-6 * s.BinScale()[0]);
        for (uint32_t k : {1u, 85u, 2047u}) {
            const double w = 2 * 3.141592654 * s.BinFrequency(k);
            const double want = plain.BinScale()[k] * 2.0 * factor / (c.IntegrationType == 1 ? w : w * w);
            EXPECT_NEAR(s.BinScale()[k], want, 1e-5 * want) << conversion << " bin " << k;
        }
    }
    // A 1 g peak tone at 3000 Hz read as velocity in in/s: 386.088 / (2π·3000).
    CalibrationRecord c = Calibration(1.0f, 1.0f, 3);
    c.ConversionType = 2;
    c.IntegrationType = 1;
    TSpectralData v(At(48000, 4096), Scaling(0, 0), 0);
    v.SetCalibration(&c, 0);
    EXPECT_NEAR(ReadOnce(v, Tone(4096, 256, kFullScale16), 256), 12 * 32.174 / (2 * kPi * 3000), 1e-6);
}

TEST(SpectralSpline, MatchesAnIndependentNaturalSplineAndSurvivesEqualAbscissae) {
    const std::vector<CurvePoint> p = {{20, 3}, {50, -1}, {100, 0.5f}, {400, 2}, {1000, 0}, {5000, -4}, {12000, 1}};
    const TSpline s(p);
    const ReferenceSpline ref(p);
    for (double f = 20; f < 12000; f *= 1.07) EXPECT_NEAR(s.Evaluate(static_cast<float>(f)), ref(f), 2e-4) << f;
    for (const auto& q : p) EXPECT_NEAR(s.Evaluate(q.x), q.y, 1e-5);

    // Equal neighbours: a natural spline up to them, a step across, nothing undefined anywhere.
    const TSpline stepped({{100, 0}, {200, 4}, {300, 1}, {300, 5}, {400, 2}});
    const ReferenceSpline head({{100, 0}, {200, 4}, {300, 1}});
    EXPECT_NEAR(stepped.Evaluate(150), head(150), 1e-4);
    EXPECT_NEAR(stepped.Evaluate(350), 3.5, 1e-5);
    for (float f : {50.0f, 300.0f, 299.9f, 400.0f, 500.0f}) EXPECT_TRUE(std::isfinite(stepped.Evaluate(f))) << f;
    const TSpline endStep({{100, 0}, {200, 4}, {200, 6}});
    EXPECT_TRUE(std::isfinite(endStep.Evaluate(250)));
    EXPECT_EQ(TSpline({{1, 1}, {2, 2}}).Evaluate(1.5f), 0.0f);
}

TEST(SpectralCompensation, CurveFromAFileIsTheSplineOfItsPoints) {
    const std::vector<CurvePoint> p = {{100, 3}, {500, 1}, {1000, 0}, {4000, 2.5f}, {10000, -3}};
    std::string text = "; test microphone\n";
    for (const auto& q : p) text += std::to_string(q.x) + "\t" + std::to_string(q.y) + "\n";
    text += "end of data\n200\t9\n";
    const std::string path = WriteFile("good.mic", text);
    ScriptedHost host;
    TSpectralData s(At(51200, 1024), Scaling(1, 0), 0, &host);
    TSpectralData plain(At(51200, 1024), Scaling(1, 0), 0);
    ASSERT_TRUE(s.SetCompensation(path, true));
    EXPECT_TRUE(host.messages.empty());
    const ReferenceSpline ref(p);
    for (uint32_t k = 0; k < s.Bins(); ++k) {
        const double f = s.BinFrequency(k);
        const double level = f <= 100 ? 3.0 : f >= 10000 ? -3.0 : ref(f);
        EXPECT_NEAR(20 * std::log10(s.Compensation()[k]), level, 2e-4) << k;
        // the bin scale divides by the curve: a microphone 3 dB hot is read 3 dB down
        EXPECT_NEAR(s.BinScale()[k] * s.Compensation()[k], plain.BinScale()[k], 1e-6 * plain.BinScale()[k]);
    }
    EXPECT_FALSE(s.SetCompensation(path, false));
    EXPECT_EQ(s.Compensation(), nullptr);
    EXPECT_FLOAT_EQ(s.BinScale()[7], plain.BinScale()[7]);
}

TEST(SpectralCompensation, FilesThatCannotBeUsedAreReportedAndIgnored) {
    const struct {
        const char* name;
        std::string text;
        const char* message;
    } cases[] = {
        {"two.mic", ";name\n100\t1\n200\t2\n", "file: %s must contain at least 3 entries.  File will not be used."},
        {"text.mic", "100\t1\n200\t2\nthree\t3\n400\t4\n", "file: %s must contain at least 3 entries.  File will not be used."},
        {"falling.mic", "100\t1\n50\t2\n200\t3\n", "Frequency terms in file: %s are not in ascending order.  File will not be used."},
        {"negative.mic", "-1\t1\n50\t2\n200\t3\n", "Frequency terms in file: %s are not in ascending order.  File will not be used."},
        {"binary.mic", std::string("\x7f" "ELF\0\x01\x02\xff\xfe\n\0\0\x80", 14), "file: %s must contain at least 3 entries.  File will not be used."},
    };
    for (const auto& c : cases) {
        const std::string path = WriteFile(c.name, c.text);
        ScriptedHost host;
        TSpectralData s(At(48000, 1024), Scaling(1, 0), 0, &host);
        EXPECT_FALSE(s.SetCompensation(path, true)) << c.name;
        EXPECT_EQ(s.Compensation(), nullptr);
        ASSERT_EQ(host.messages.size(), 1u) << c.name;
        char want[600];
        std::snprintf(want, sizeof want, c.message, path.c_str());
        EXPECT_EQ(host.messages[0].text, want);
        EXPECT_EQ(host.messages[0].icon, MessageIcon::Error);
    }
    ScriptedHost host;
    TSpectralData s(At(48000, 1024), Scaling(1, 0), 0, &host);
    EXPECT_FALSE(s.SetCompensation("/nonexistent/dir/mic.mic", true));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Failure opening Microphone Compensation file: /nonexistent/dir/mic.mic");
    // A folder, an endless device and a FIFO without a writer are refused at once.
    const std::string dir = std::filesystem::temp_directory_path().string();
    const std::string fifo = dir + "/zeltrak_mic_fifo_" + std::to_string(::getpid());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir, std::string("/dev/zero"), fifo}) {
        host.messages.clear();
        EXPECT_FALSE(s.SetCompensation(path, true));
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, "Failure opening Microphone Compensation file: " + path);
    }
    std::filesystem::remove(fifo);

    // Equal frequencies are fine; huge levels are clamped and nothing overflows.
    const std::string loud = WriteFile("loud.mic", "100\t1e30\n100\t-1e30\n200\t1e30\n30000\t-1e30\n");
    EXPECT_TRUE(s.SetCompensation(loud, true));
    for (uint32_t k = 0; k < s.Bins(); ++k) {
        ASSERT_TRUE(std::isfinite(s.BinScale()[k])) << k;
        EXPECT_LE(std::abs(20 * std::log10(s.Compensation()[k])), 120.01) << k;
    }
}

TEST(SpectralCompensation, ReadingStopsAtTheMaximumPointCount) {
    std::string text;
    text.reserve(12'000'000);
    for (uint32_t i = 0; i < 1'000'000; ++i) text += std::to_string(i) + "\t0.5\n";
    const std::string path = WriteFile("long.mic", text);
    std::vector<CurvePoint> points;
    ASSERT_EQ(ReadCompensationFile(path, points), CurveFileStatus::Ok);
    EXPECT_EQ(points.size(), kMaxCurvePoints);
    EXPECT_FLOAT_EQ(points.back().x, kMaxCurvePoints - 1.0f);
    std::filesystem::remove(path);
}

TEST(SpectralBands, CentresAndCountFollowTheFraction) {
    const auto third = BuildOctaveBands(3, 22050.0);
    ASSERT_EQ(third.size(), 44u);
    EXPECT_FLOAT_EQ(third[0].centre, 1.0f);
    EXPECT_NEAR(third[1].centre, 1.2589, 1e-4);
    EXPECT_NEAR(third[2].centre, 1.5849, 1e-4);
    EXPECT_NEAR(third[43].centre, 19952.6, 0.1);
    EXPECT_FLOAT_EQ(third[43].nominal, 20000.0f);
    EXPECT_FLOAT_EQ(third[5].nominal, 3.15f);
    EXPECT_FLOAT_EQ(third[30].nominal, 1000.0f);
    const auto octave = BuildOctaveBands(0, 24000.0);  // 0 counts as 1
    EXPECT_EQ(octave.size(), 15u);                      // 1 ... 16384 Hz
    EXPECT_FLOAT_EQ(octave[5].nominal, 31.5f);
    EXPECT_FLOAT_EQ(octave[7].nominal, 125.0f);
    EXPECT_NEAR(BuildOctaveBands(6, 1000)[1].nominal, 1.12, 1e-6);
    EXPECT_EQ(BuildOctaveBands(3, 0.5).size(), 1u);
    EXPECT_EQ(BuildOctaveBands(3, std::nan("")).size(), 1u);

    for (uint32_t n : {1u, 3u, 12u}) {
        const auto b = BuildOctaveBands(n, 22050.0);
        EXPECT_NEAR(b[0].lower, std::pow(2.0, -0.5 / n), 1e-6);
        for (size_t i = 0; i < b.size(); ++i) {
            EXPECT_NEAR(b[i].upper / b[i].centre, std::pow(2.0, 0.5 / n), 1e-5);
            if (i) {
                EXPECT_EQ(b[i].lower, b[i - 1].upper);  // no gap, no overlap
            }
        }
    }
}

TEST(SpectralBands, WhiteNoiseBandsAddUpToTheBinPower) {
    std::mt19937 rng(5);
    for (uint32_t n : {1u, 3u, 24u}) {
        SpectralScaling sc = Scaling(1, 2);
        sc.octaveNumber = n;
        TSpectralData s(At(44100, 4096), sc, 0);
        ASSERT_EQ(s.error(), 0u);
        s.SetAverage(8, kAverageLinear);
        for (int i = 0; i < 8; ++i) {
            Feed(s, Noise(4096, rng));
            s.Average();
        }
        const auto& bins = s.BandBins();
        for (const auto& b : bins) {
            EXPECT_GE(b.lowFraction, 0.0f);
            EXPECT_LE(b.lowFraction, 1.0f);
            EXPECT_GE(b.highFraction, 0.0f);
            EXPECT_LE(b.highFraction, 1.0f);
        }
        double bands = 0;
        for (uint32_t i = 0; i < s.Bands(); ++i) bands += std::pow(10.0, s.BandValues()[i] / 10.0);
        // bin 0 reaches from -w/2 to w/2, and the first band starts at 2^(-1/6) Hz
        const double w = s.BinWidth();
        double want = s.AveragePower()[0] * (w / 2 - s.BandRecords()[0].lower) / w;
        for (uint32_t k = 1; k < s.Bins(); ++k) want += s.AveragePower()[k];
        EXPECT_NEAR(bands / want, 1.0, 1e-4) << n;
    }
}

TEST(SpectralBands, DisplayValuesOfATone) {
    // A full-scale tone at 3000 Hz on bin 256 lies wholly inside one 1/3-octave band.
    const auto tone = Tone(4096, 256, kFullScale16);
    TSpectralData log(At(48000, 4096), Scaling(1, 2), 0);
    TSpectralData lin(At(48000, 4096), Scaling(0, 2), 0);
    uint32_t band = 0;
    while (log.BandRecords()[band].upper < 3000) ++band;
    EXPECT_EQ(log.ValueCount(), log.Bands());
    EXPECT_NEAR(log.ValueFrequency(band), std::pow(10.0, 3.5), 0.01);  // the 3150 Hz band
    EXPECT_NEAR(ReadOnce(log, tone, band), 0.0, 1e-3);
    EXPECT_NEAR(ReadOnce(lin, tone, band), 100.0, 1e-2);
    EXPECT_EQ(log.GetValue(log.Bands()), 0.0);

    const CalibrationRecord c = Calibration(5.0f, 5.0f, 2);
    log.SetCalibration(&c, 0);
    lin.SetCalibration(&c, 0);
    EXPECT_NEAR(ReadOnce(log, tone, band), 20 * std::log10(5.0 / 20e-6), 2e-3);
    EXPECT_NEAR(ReadOnce(lin, tone, band), 5.0, 1e-3);
    // before any frame a band has no value, and a unit cannot shift that
    log.ResetAverage();
    lin.ResetAverage();
    EXPECT_EQ(log.GetValue(band), kNoDecibels);
    EXPECT_EQ(lin.GetValue(band), 0.0);
}

TEST(SpectralScaling, CoherenceIsShownLinearlyAndWithoutUnits) {
    std::mt19937 rng(8);
    SpectralSettings st = At(48000, 256);
    st.averageBlocks = 4;
    TSpectralData L(st, Scaling(1, 0), 0), R(st, Scaling(1, 0), 1), S1(st, Scaling(1, 0), -1);
    const CalibrationRecord c = Calibration(3.0f, 3.0f, 2);
    for (TSpectralData* s : {&L, &R, &S1}) s->SetCalibration(&c, s->Channel());
    ChannelProcessingSetup setup;
    setup.mode = kProcessCoherence;
    setup.stereo = true;
    for (int i = 0; i < 4; ++i) {
        const auto x = Noise(256, rng);
        Load(L, x);
        Load(R, x);
        ASSERT_TRUE(ProcessChannels(setup, {&L, &R, &S1, nullptr}));
    }
    for (uint32_t k = 1; k < 100; ++k) EXPECT_NEAR(S1.GetValue(k), 1.0, 1e-3) << k;
    // the channels themselves read in dB SPL
    EXPECT_NEAR(L.GetValue(10), L.AverageDb()[10] + 93.9794, 1e-3);
}

TEST(SpectralScaling, JunkCalibrationNeverReachesADisplayValue) {
    const auto tone = Tone(1024, 20, kFullScale16);
    for (float junk : {std::nanf(""), INFINITY, -INFINITY, 3e38f, 0.0f}) {
        CalibrationRecord c = Calibration(junk, junk, 2);
        c.ConversionType = 8;
        c.IntegrationType = 2;
        TSpectralData lin(At(48000, 1024), Scaling(0, 0), 0);
        TSpectralData log(At(48000, 1024), Scaling(1, 0), 0);
        lin.SetCalibration(&c, 0);
        log.SetCalibration(&c, 0);
        for (uint32_t k = 0; k < lin.Bins(); ++k) ASSERT_TRUE(std::isfinite(lin.BinScale()[k]));
        EXPECT_TRUE(std::isfinite(ReadOnce(lin, tone, 20)));
        EXPECT_TRUE(std::isfinite(ReadOnce(log, tone, 20)));
    }
}

}  // namespace
}  // namespace zeltrak
