#pragma once
// Readings of the analyser against the truth, for the accuracy tests and the accuracy report.
// Every signal is made here (closed forms, seeded noise) or by sox, written to a wave file and
// analysed through the same path as `zeltrak analyze`: wave reader, engine, window, FFT,
// scaling, averaging and the measurements. Each case says what the truth is and how far a
// reading may be from it.
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "dsp/smoothing.h"
#include "dsp/spectral_data.h"
#include "dsp/spectral_display.h"
#include "dsp/weighting.h"
#include "engine/analyze_command.h"
#include "engine/processing_settings.h"
#include "files/calibration_record.h"
#include "measure/measurements.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wave_builder.h"

namespace zeltrak::accuracy {

inline constexpr double kPi = std::numbers::pi;

struct Reading {
    std::string what;   // the case, for messages and the report
    double truth;
    double reading;
    double tolerance;   // in the unit of the values
    const char* unit;
};

// Interleaved samples in fractions of full scale.
struct Signal {
    uint32_t rate = 48000;
    uint16_t channels = 1;
    std::vector<float> samples;
};

// IEEE float wave file, written byte by byte (not by the program's own writer).
inline void WriteFloatWave(const std::string& path, const Signal& s) {
    std::vector<uint8_t> data;
    for (float v : s.samples) test::Put32(data, std::bit_cast<uint32_t>(v));
    test::WriteAll(path, test::SimpleWave(s.channels, 4, s.rate, data, 3));
}

// Analyses a wave file as `zeltrak analyze FILE args...` does with the settings `adjust` makes,
// then hands the engine's spectrums to `read`. An analysis that fails is a reading of NaN.
inline void AnalyseFile(const std::string& path, std::vector<std::string> args,
                        const std::function<void(ProcessingSettings&)>& adjust,
                        const std::function<void(const TSpectralData* const (&)[4])>& read) {
    args.insert(args.begin(), path);
    AnalyzeOptions options;
    std::string error;
    int status = 0;
    ProcessingSettings settings;
    if (adjust) adjust(settings);
    ScriptedHost host;
    TFileAnalysis analysis(host, settings, CalibrationRecord{});
    const TSpectralData* spectrums[4] = {nullptr, nullptr, nullptr, nullptr};
    if (ParseAnalyzeArguments(args, options, error) && analysis.Open(options, error, status) &&
        analysis.RunToEnd({})) {
        for (int i = 0; i < 4; ++i) spectrums[i] = analysis.Engine().Spectrum(i);
    } else {
        std::fprintf(stderr, "analysis of %s failed: %s\n", path.c_str(), error.c_str());
    }
    read(spectrums);
}

inline void Analyse(const Signal& signal, const std::vector<std::string>& args,
                    const std::function<void(ProcessingSettings&)>& adjust,
                    const std::function<void(const TSpectralData* const (&)[4])>& read) {
    testing::TempDir dir;
    const std::string path = dir.File("signal.wav");
    WriteFloatWave(path, signal);
    AnalyseFile(path, args, adjust, read);
}

inline Signal Tones(uint32_t rate, size_t length, const std::vector<std::array<double, 3>>& tones,
                    double noiseSigma = 0.0, unsigned seed = 1) {
    Signal s;
    s.rate = rate;
    s.samples.resize(length);
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, noiseSigma > 0.0 ? noiseSigma : 1.0);
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        double v = 0.0;
        for (const auto& [hz, amplitude, phase] : tones) v += amplitude * std::sin(2 * kPi * hz * t + phase);
        if (noiseSigma > 0.0) v += noise(rng);
        s.samples[i] = static_cast<float>(v);
    }
    return s;
}

inline double Db(double amplitude) { return 20.0 * std::log10(amplitude); }
inline std::string WindowName(uint16_t w) { return TSmoothing::GetName(w); }
inline std::string WindowArg(uint16_t w) {
    std::string name;
    for (char c : WindowName(w))
        if (c != ' ') name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}
inline double Value(const TSpectralData* s, uint32_t index) { return s ? SpectralDisplayValue(*s, index) : NAN; }

// A sine of -6.02 dBFS on a bin reads its level with every window at every size.
inline std::vector<Reading> WindowLevels() {
    std::vector<Reading> out;
    for (uint32_t n : {1024u, 16384u, 131072u}) {
        const uint32_t bin = static_cast<uint32_t>(std::lround(1000.0 * n / 48000));
        const double hz = bin * 48000.0 / n;
        const Signal s = Tones(48000, 2 * n, {{hz, 0.5, 0.4}});
        for (uint16_t w = 0; w < TSmoothing::GetTypeCount(); ++w)
            Analyse(s, {"--fft", std::to_string(n), "--window", WindowArg(w)}, {}, [&](const auto& sp) {
                out.push_back({WindowName(w) + ", FFT " + std::to_string(n), Db(0.5), Value(sp[0], bin), 0.01, "dB"});
            });
    }
    return out;
}

// White noise of variance s^2 has the density 4 s^2 / fs in dBFS per hertz (a full-scale sine
// is 0 dBFS, so a noise holds twice its variance), with every window, by the mean over bins.
inline std::vector<Reading> NoiseDensity() {
    std::vector<Reading> out;
    const double sigma = 0.1;
    const uint32_t n = 4096;
    const Signal s = Tones(48000, 64 * n, {}, sigma, 5);
    const double truth = 10 * std::log10(4 * sigma * sigma / 48000);
    for (uint16_t w = 0; w < TSmoothing::GetTypeCount(); ++w) {
        const auto densityOn = [](ProcessingSettings& p) {
            p.Scaling().SpectralDensityFlag = 1;
            p.Scaling().SpectralDensityType = 0;
            p.Scaling().AmpScaleType = 1;
        };
        Analyse(s, {"--fft", std::to_string(n), "--window", WindowArg(w), "--overlap", "50"}, densityOn,
                [&](const auto& sp) {
                    double mean = 0.0;
                    const uint32_t first = 16, last = n / 2 - 16;
                    for (uint32_t k = first; k < last; ++k) mean += std::pow(10.0, 0.1 * Value(sp[0], k));
                    mean /= last - first;
                    out.push_back({WindowName(w) + ", FFT 4096, 50 % overlap", truth, 10 * std::log10(mean), 0.1,
                                   "dB/Hz"});
                });
    }
    return out;
}

// A -6 dBFS tone at 997 Hz in white noise of known level: SNR, SINAD and THD+N against the
// true ratio in the 20 Hz - 20 kHz band, at every size.
inline std::vector<Reading> NoiseRatios() {
    std::vector<Reading> out;
    const double amplitude = 0.5, rate = 48000;
    for (double snr : {20.0, 40.0, 60.0, 80.0, 100.0}) {
        const double inBand = (20000.0 - 20.0) / (rate / 2);
        const double sigma = std::sqrt(amplitude * amplitude / 2 / std::pow(10.0, snr / 10) / inBand);
        for (uint32_t n : {1024u, 8192u, 65536u}) {
            const Signal s = Tones(48000, std::max<size_t>(8 * n, 1u << 17), {{997.0, amplitude, 0.0}}, sigma, 9);
            Analyse(s, {"--fft", std::to_string(n), "--overlap", "50"}, {}, [&](const auto& sp) {
                const std::string what = std::to_string(static_cast<int>(snr)) + " dB, FFT " + std::to_string(n);
                const ToneAnalysis a = sp[0] ? AnalyseTone(*sp[0]) : ToneAnalysis{};
                out.push_back({"SNR, " + what, snr, SnrOf(a), 0.5, "dB"});
                out.push_back({"SINAD, " + what, snr, SinadOf(a), 0.5, "dB"});
                out.push_back({"THD+N as dB, " + what, snr, -Db(ThdnOf(a) / 100), 0.5, "dB"});
            });
        }
    }
    return out;
}

// Harmonics, intermodulation sidebands and a spur at known levels, with the tones between
// bins: the main-lobe sums read them within 1 % (0.04 dB for SFDR).
inline std::vector<Reading> Distortion() {
    std::vector<Reading> out;
    const uint16_t windows[] = {WindowCode(WindowType::Hanning), WindowCode(WindowType::Blackman),
                                WindowCode(WindowType::Kaiser), WindowCode(WindowType::FlatTop)};
    const double thd = 100 * std::sqrt(0.01 * 0.01 + 0.005 * 0.005);
    const Signal harmonics = Tones(48000, 8 * 8192, {{997, 0.5, 0}, {1994, 0.005, 1}, {2991, 0.0025, 0.3}});
    const double imd = 100 * std::sqrt(2 * 0.005 * 0.005 + 2 * 0.001 * 0.001);
    const Signal intermodulation =
        Tones(48000, 4 * 16384,
              {{60, 0.6, 0}, {7000, 0.15, 0}, {6940, 0.15 * 0.005, 0.7}, {7060, 0.15 * 0.005, 0.7},
               {6880, 0.15 * 0.001, 1.1}, {7120, 0.15 * 0.001, 1.1}});
    const Signal spur = Tones(48000, 8 * 8192, {{997, 0.5, 0}, {3119, 0.5 * std::pow(10.0, -3.5), 0}});
    for (uint16_t w : windows) {
        const std::vector<std::string> args = {"--fft", "8192", "--window", WindowArg(w)};
        Analyse(harmonics, args, {}, [&](const auto& sp) {
            const ToneAnalysis a = sp[0] ? AnalyseTone(*sp[0]) : ToneAnalysis{};
            out.push_back({"THD 1.118 %, 997 Hz, " + WindowName(w), thd, ThdOf(a), thd / 100, "%"});
            out.push_back({"THD+N 1.118 %, 997 Hz, " + WindowName(w), thd, ThdnOf(a), thd / 100, "%"});
        });
        Analyse(intermodulation, {"--fft", "16384", "--window", WindowArg(w)}, {}, [&](const auto& sp) {
            out.push_back({"IMD 0.721 %, 60 Hz + 7 kHz, " + WindowName(w), imd, sp[0] ? MeasureIMD(*sp[0]) : NAN,
                           imd / 100, "%"});
        });
        Analyse(spur, args, {}, [&](const auto& sp) {
            out.push_back({"SFDR 70 dB, 997 Hz / 3119 Hz, " + WindowName(w), 70.0,
                           sp[0] ? MeasureSFDR(*sp[0]).db : NAN, 0.04, "dB"});
        });
    }
    return out;
}

// The weighting curves' analytic pole-zero forms, written out here independently of the
// program's own: A and C of IEC 61672-1, B by its classical definition; 0 dB at 1 kHz.
inline double StandardWeighting(uint32_t type, double f) {
    const double f1 = 20.598997, f2 = 107.65265, f3 = 737.86223, f4 = 12194.217, f5 = 158.48932;
    const auto response = [&](double x) {
        const double x2 = x * x;
        const double common = f4 * f4 * x2 / ((x2 + f1 * f1) * (x2 + f4 * f4));
        if (type == kWeightingA) return common * x2 / std::sqrt((x2 + f2 * f2) * (x2 + f3 * f3));
        if (type == kWeightingB) return common * x / std::sqrt(x2 + f5 * f5);
        return common;
    };
    return Db(response(f) / response(1000.0));
}

// An on-bin tone shown A, B or C weighted reads the curve's level at its frequency.
inline std::vector<Reading> Weighting() {
    std::vector<Reading> out;
    const uint32_t n = 16384;
    const double width = 48000.0 / n;
    for (double nominal : {20.0, 31.5, 100.0, 1000.0, 4000.0, 10000.0, 16000.0, 20000.0}) {
        const uint32_t bin = static_cast<uint32_t>(std::lround(nominal / width));
        const Signal s = Tones(48000, 2 * n, {{bin * width, 0.5, 0}});
        for (uint32_t type : {kWeightingA, kWeightingB, kWeightingC}) {
            const auto weighted = [type](ProcessingSettings& p) { p.Scaling().StandardWeighting = static_cast<uint16_t>(type); };
            Analyse(s, {"--fft", std::to_string(n), "--window", "flattop"}, weighted, [&](const auto& sp) {
                const char* name = type == kWeightingA ? "A" : type == kWeightingB ? "B" : "C";
                char what[64];
                std::snprintf(what, sizeof what, "%s weighting at %.1f Hz", name, bin * width);
                out.push_back({what, StandardWeighting(type, bin * width), Value(sp[0], bin) - Db(0.5), 0.1, "dB"});
            });
        }
    }
    return out;
}

// sox-made files of every width at three levels: an on-bin tone reads its level. (Bin 257:
// a tone of a whole number of samples per period would quantise the same way every period,
// which moves an 8-bit file's fundamental by a tenth of a decibel.)
// Without sox there are no readings.
inline std::vector<Reading> Formats() {
    std::vector<Reading> out;
    struct Width {
        const char* name;
        const char* sox;
    };
    const Width widths[] = {{"8-bit", "-b 8 -e unsigned-integer"},
                            {"16-bit", "-b 16 -e signed-integer"},
                            {"24-bit", "-b 24 -e signed-integer"},
                            {"32-bit integer", "-b 32 -e signed-integer"},
                            {"32-bit float", "-b 32 -e floating-point"}};
    testing::TempDir dir;
    for (const Width& w : widths) {
        for (double level : {-1.0, -6.0206, -20.0}) {
            const std::string path = dir.File("sox.wav");
            const std::string command = std::string("sox -D -n -r 48000 -c 1 ") + w.sox + " " + path +
                                        " synth 0.5 sine 3011.71875 vol " + std::to_string(level) + "dB 2>/dev/null";
            if (std::system(command.c_str()) != 0) return {};
            AnalyseFile(path, {"--fft", "4096", "--window", "flattop"}, {}, [&](const auto& sp) {
                char what[64];
                std::snprintf(what, sizeof what, "%s file made by sox at %.2f dBFS", w.name, level);
                // 8-bit full scale is 127.5 steps here and 128 in sox: 0.034 dB
                out.push_back({what, level, Value(sp[0], 257), w.name[0] == '8' ? 0.1 : 0.05, "dB"});
            });
        }
    }
    return out;
}

// Tones between bins: the interpolated peak frequency lies within 1 % of a bin of the truth.
inline std::vector<Reading> PeakFrequency() {
    std::vector<Reading> out;
    const uint32_t n = 4096;
    const double width = 48000.0 / n;
    for (double offset : {0.13, 0.31, 0.5, 0.77}) {
        const double hz = (300 + offset) * width;
        const Signal s = Tones(48000, 4 * n, {{hz, 0.5, 0.2}});
        for (uint16_t w = 0; w < TSmoothing::GetTypeCount(); ++w)
            Analyse(s, {"--fft", std::to_string(n), "--window", WindowArg(w)}, {}, [&](const auto& sp) {
                char what[80];
                std::snprintf(what, sizeof what, "peak %.2f bins off, %s", offset, WindowName(w).c_str());
                const double reading = sp[0] ? InterpolatedFrequency(*sp[0], sp[0]->Averager().PeakBin()) : NAN;
                out.push_back({what, hz, reading, 0.01 * width, "Hz"});
            });
    }
    return out;
}

// The right channel is the left plus as much independent noise: the coherence is 1/2 as γ²
// and 0.707 as |γ|, by the mean over bins.
inline std::vector<Reading> Coherence() {
    std::vector<Reading> out;
    const uint32_t n = 1024;
    Signal s;
    s.channels = 2;
    std::mt19937 rng(21);
    std::normal_distribution<double> noise(0.0, 0.1);
    for (int i = 0; i < 400 * static_cast<int>(n); ++i) {
        const double x = noise(rng);
        s.samples.push_back(static_cast<float>(x));
        s.samples.push_back(static_cast<float>(x + noise(rng)));
    }
    for (const char* shown : {"magnitude", "squared"}) {
        const bool squared = shown[0] == 's';
        Analyse(s, {"--fft", std::to_string(n), "--channels", "coherence", "--coherence", shown}, {},
                [&](const auto& sp) {
                    double mean = 0.0;
                    for (uint32_t k = 8; k < n / 2 - 8; ++k) mean += Value(sp[2], k);
                    mean /= n / 2 - 16;
                    out.push_back({std::string("coherence of x and x + noise, ") + shown,
                                   squared ? 0.5 : std::sqrt(0.5), mean, 0.02, ""});
                });
    }
    return out;
}

}  // namespace zeltrak::accuracy
