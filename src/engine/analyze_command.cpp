#include "engine/analyze_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cstring>
#include <memory>

#include "base/numeric.h"
#include "dsp/channel_processing.h"
#include "dsp/dsp_strings.h"
#include "dsp/spectral_data.h"
#include "engine/analysis_reports.h"
#include "engine/engine.h"
#include "engine/wave_file_status.h"
#include "files/wave_file.h"
#include "platform/host.h"
#include "platform/loopback_driver.h"

namespace zeltrak {

namespace {

constexpr const char* kModeShortNames[kChannelProcessingModeCount] = {
    "left",     "right",    "both",  "average", "rtf-lr",    "rtf-rl", "cross-lr",
    "cross-rl", "tf-lr",    "tf-rl", "coherence", "tfc-lr", "tfc-rl"};

std::string Squash(std::string_view s) {
    std::string out;
    for (char c : s)
        if (!std::isspace(static_cast<unsigned char>(c))) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool ParseUnsigned(std::string_view text, uint64_t& value) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

bool ParseWindowName(std::string_view name, uint16_t& type) {
    const std::string wanted = Squash(name);
    for (uint16_t t = 0; t < 10; ++t) {
        if (Squash(kWindowNames[t]) == wanted) {
            type = t;
            return true;
        }
    }
    return false;
}

bool ParseChannelMode(std::string_view name, uint16_t& mode) {
    uint64_t v = 0;
    if (ParseUnsigned(name, v)) {
        if (v >= kChannelProcessingModeCount) return false;
        mode = static_cast<uint16_t>(v);
        return true;
    }
    const std::string wanted = Squash(name);
    for (uint16_t m = 0; m < kChannelProcessingModeCount; ++m) {
        if (wanted == kModeShortNames[m]) {
            mode = m;
            return true;
        }
    }
    return false;
}

const char* ChannelModeShortName(uint16_t mode) {
    return mode < kChannelProcessingModeCount ? kModeShortNames[mode] : "";
}

bool ParseAnalyzeArguments(const std::vector<std::string>& args, AnalyzeOptions& out, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            out.help = true;
            continue;
        }
        if (a.size() > 1 && a[0] == '-') {
            if (i + 1 >= args.size()) {
                error = "option " + a + " needs a value";
                return false;
            }
            const std::string& v = args[++i];
            uint64_t n = 0;
            const bool number = ParseUnsigned(v, n);
            if (a == "-o" || a == "--output") {
                out.output = v;
            } else if (a == "--settings") {
                out.settingsFile = v;
            } else if (a == "--fft") {
                if (!number || n < 32 || n > 1048576 || (n & (n - 1)) != 0) {
                    error = "--fft must be a power of two from 32 to 1048576, not '" + v + "'";
                    return false;
                }
                out.fftSize = static_cast<uint32_t>(n);
            } else if (a == "--window") {
                uint16_t t = 0;
                if (!ParseWindowName(v, t)) {
                    error = "unknown window '" + v + "'";
                    return false;
                }
                out.window = t;
            } else if (a == "--average") {
                if (Squash(v) == "infinite") {
                    out.averageBlocks = kInfiniteAverageBlocks;
                } else if (!number || n < 1 || n > kInfiniteAverageBlocks) {
                    error = "--average must be 1 to 1000000 or infinite, not '" + v + "'";
                    return false;
                } else {
                    out.averageBlocks = static_cast<uint32_t>(n);
                }
            } else if (a == "--coherence") {
                const std::string t = Squash(v);
                if (t != "magnitude" && t != "squared") {
                    error = "--coherence must be magnitude or squared, not '" + v + "'";
                    return false;
                }
                out.coherenceSquared = t == "squared";
            } else if (a == "--average-type") {
                const std::string t = Squash(v);
                if (t == "exponential") out.averageType = kAverageExponential;
                else if (t == "linear") out.averageType = kAverageLinear;
                else if (t == "vector") out.averageType = kAverageVector;
                else {
                    error = "--average-type must be exponential, linear or vector, not '" + v + "'";
                    return false;
                }
            } else if (a == "--overlap") {
                if (!number || n > 99) {
                    error = "--overlap must be between 0 and 99, not '" + v + "'";
                    return false;
                }
                out.overlap = static_cast<uint16_t>(n);
            } else if (a == "--decimation") {
                if (!number || n < 1 || n > 30) {
                    error = "--decimation must be between 1 and 30, not '" + v + "'";
                    return false;
                }
                out.decimation = static_cast<uint16_t>(n);
            } else if (a == "--channels") {
                uint16_t m = 0;
                if (!ParseChannelMode(v, m)) {
                    error = "unknown channel mode '" + v + "'";
                    return false;
                }
                out.channels = m;
            } else {
                error = "unknown option " + a;
                return false;
            }
            continue;
        }
        if (!out.input.empty()) {
            error = "more than one input file";
            return false;
        }
        out.input = a;
    }
    if (out.input.empty() && !out.help) {
        error = "no input file";
        return false;
    }
    return true;
}

bool ApplyAnalyzeOptions(const AnalyzeOptions& o, const SampleFormat& format, ProcessingSettings& settings,
                         std::string& error) {
    settings.Mode.OpMode = kModePostProcessing;
    SettingsBlock& s = settings.Settings();
    s.format = format;
    const bool stereo = format.channels == 2;
    if (!stereo) s.ChannelProcessing = kProcessLeft;
    else if (s.ChannelProcessing == kProcessLeft) s.ChannelProcessing = kProcessBoth;
    if (o.channels) {
        if (!stereo && *o.channels != kProcessLeft) {
            error = std::string("channel mode '") + ChannelModeShortName(*o.channels) + "' needs a stereo file";
            return false;
        }
        s.ChannelProcessing = *o.channels;
    }
    if (o.fftSize) s.FFTsize = *o.fftSize;
    if (o.window) s.SmoothingWindow = *o.window;
    s.AverageBlocks = o.averageBlocks.value_or(kInfiniteAverageBlocks);
    if (o.averageType) s.AverageType = *o.averageType;
    if (o.overlap) s.OverlapPercent = *o.overlap;
    if (o.decimation) s.DecimationRatio = *o.decimation;
    if (o.coherenceSquared) settings.CoherenceSquared = *o.coherenceSquared;
    // Triggering would leave stretches of the file out of the average.
    settings.Trigger.Enable = 0;
    RecomputeDerivedFields(s);
    return true;
}

std::vector<SpectrumColumn> ColumnsForMode(uint16_t mode, bool stereo) {
    if (!stereo) return {{0, "left"}};
    switch (mode) {
        case kProcessLeft: return {{0, "left"}};
        case kProcessRight: return {{1, "right"}};
        case kProcessBoth: return {{0, "left"}, {1, "right"}};
        case kProcessAverage: return {{2, "average"}};
        case kProcessRealTransferLR:
        case kProcessRealTransferRL: return {{2, "real_transfer"}};
        case kProcessCrossLR:
        case kProcessCrossRL: return {{2, "cross_spectrum"}};
        case kProcessComplexTransferLR:
        case kProcessComplexTransferRL: return {{2, "transfer"}};
        case kProcessCoherence: return {{2, "coherence"}};
        case kProcessTransferCoherenceLR:
        case kProcessTransferCoherenceRL: return {{2, "transfer"}, {3, "coherence"}};
        default: return {};
    }
}

namespace {
bool InDecibels(const TSpectralData& sp) { return sp.AmpScale() == 1 && !sp.CoherenceDone(); }

// A column says what it holds: |γ| or γ² for a coherence, the mean of |X||Y| for a cross
// spectrum averaged by power (only vector averaging gives |mean of X·Y*|).
std::string ColumnName(const SpectrumColumn& c, const TSpectralData& sp) {
    std::string name = c.name;
    if (sp.CoherenceDone())
        name += sp.CoherenceSquared() ? "_squared" : "_magnitude";
    else if (sp.HoldsCrossSpectrum())
        name += sp.AverageType() == kAverageVector ? "_abs_mean_xy" : "_mean_abs_xy";
    return InDecibels(sp) ? name + "_db" : name;
}
}  // namespace

void WriteSpectrumCsv(TEngine& engine, std::FILE* out) {
    const SettingsBlock& s = engine.Settings().Settings();
    const auto columns = ColumnsForMode(s.ChannelProcessing, s.format.channels == 2);
    std::vector<const TSpectralData*> spectra;
    std::fprintf(out, "frequency_hz");
    for (const SpectrumColumn& c : columns) {
        const TSpectralData* sp = engine.Spectrum(c.index);
        if (!sp || !sp->AveragePower()) continue;
        spectra.push_back(sp);
        std::fprintf(out, ",%s", ColumnName(c, *sp).c_str());
    }
    std::fprintf(out, "\n");
    if (spectra.empty()) return;
    const uint32_t rows = spectra[0]->ValueCount();
    for (uint32_t i = 0; i < rows; ++i) {
        std::fprintf(out, "%.4f", spectra[0]->ValueFrequency(i));
        for (const TSpectralData* sp : spectra) std::fprintf(out, ",%.6g", sp->GetValue(i));
        std::fprintf(out, "\n");
    }
}

std::string ValueUnit(const TSpectralData& sp) {
    if (sp.CoherenceDone()) return "";
    if (!sp.Calibrated()) return InDecibels(sp) ? "dB" : "%";
    return InDecibels(sp) ? sp.LogLabel() : sp.LinearLabel();
}

SpectrumPeak PeakOf(const TSpectralData& spectrum) {
    SpectrumPeak p;
    if (!spectrum.AveragePower()) return p;
    const uint32_t count = spectrum.ValueCount();
    if (spectrum.Bands() > 0 && count == spectrum.Bands()) {
        for (uint32_t i = 0; i < count; ++i) {
            const double v = spectrum.GetValue(i);
            if (i == 0 || v > p.value) {
                p.index = i;
                p.value = v;
            }
        }
    } else {
        p.index = spectrum.PeakBin();
        p.value = spectrum.GetValue(p.index);
    }
    p.frequency = spectrum.ValueFrequency(p.index);
    p.unit = ValueUnit(spectrum);
    return p;
}

TFileAnalysis::TFileAnalysis(Host& host, const ProcessingSettings& settings, const CalibrationRecord& calibration)
    : host_(host), settings_(settings), calibration_(calibration), card_([] {
          // Never opened: it only stands in for the sound device that a file does not need.
          LoopbackConfig quiet;
          quiet.clock = LoopbackConfig::Clock::Manual;
          return quiet;
      }()),
      scaling_(settings_, calibration_) {}

TFileAnalysis::~TFileAnalysis() = default;

bool TFileAnalysis::Open(const AnalyzeOptions& options, std::string& error, int& status) {
    auto file = MakeWaveFile(host_, options.input, TWaveFile::kMemoryMode, false);
    if (file->Error()) {
        error = "cannot read '" + options.input + "'";
        status = 1;
        return false;
    }
    if (!ApplyAnalyzeOptions(options, file->Format(), settings_, error)) {
        status = 2;
        return false;
    }
    const bool calibrated = calibration_.IsEnabled != 0;
    EngineEnvironment environment;
    environment.calibrationEnabled = calibrated;
    environment.calRatioLeft = calibrated ? calibration_.CalRatioLeft : 1.0f;
    environment.calRatioRight = calibrated ? calibration_.CalRatioRight : 1.0f;
    environment.calibration = calibration_;
    engine_ = std::make_unique<TEngine>(host_, card_, settings_, nullptr, environment);
    engine_->SetScaling(&scaling_);
    engine_->SetWaveFile(std::move(file));
    return true;
}

bool TFileAnalysis::RunToEnd(const std::function<void(int)>& progress) {
    const uint32_t length = engine_->WaveFile()->Length();
    if (!engine_->Run()) return false;
    int shown = -1;
    while (engine_->FrameStep()) {
        const int percent = length ? static_cast<int>(100.0 * engine_->WaveFile()->Position() / length) : 100;
        if (progress && percent != shown) progress(shown = percent);
    }
    if (progress) progress(100);
    return true;
}

namespace {

// Opened without blocking, so that a FIFO nobody reads is refused instead of hanging.
std::FILE* OpenOutput(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* out = ::fdopen(fd, "w");
    if (!out) ::close(fd);
    return out;
}

}  // namespace

int RunAnalyze(const AnalyzeOptions& options, const ProcessingSettings& settings, const CalibrationRecord& calibration,
               Host& host, const std::function<void(int)>& progress, std::string& error, TAnalysisReports* reports) {
    TFileAnalysis analysis(host, settings, calibration);
    // The reports hook onto the engine, which ends with `analysis`: they leave it first,
    // however this returns.
    struct DetachReports {
        TAnalysisReports* reports;
        ~DetachReports() {
            if (reports) reports->Detach();
        }
    } detach{reports};
    int status = 0;
    if (!analysis.Open(options, error, status)) return status;
    std::FILE* out = stdout;
    if (!options.output.empty()) {
        out = OpenOutput(options.output);
        if (!out) {
            error = "cannot write '" + options.output + "': " + std::strerror(errno);
            return 1;
        }
    }
    if (reports && !reports->Attach(analysis.Engine())) {
        status = 1;
    } else if (!analysis.RunToEnd(progress)) {
        status = 1;
    } else {
        if (reports) reports->Detach();  // closes the log before the results are printed
        WriteSpectrumCsv(analysis.Engine(), out);
        if (std::ferror(out)) {
            error = "writing the spectrum failed";
            status = 1;
        }
        if (reports) reports->PrintMeasurements(stdout);
    }
    if (out != stdout && std::fclose(out) != 0 && status == 0) {
        error = "writing '" + options.output + "' failed";
        status = 1;
    }
    return status;
}

}  // namespace zeltrak
