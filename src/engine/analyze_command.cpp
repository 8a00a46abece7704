#include "engine/analyze_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "base/numeric.h"
#include "dsp/channel_processing.h"
#include "dsp/dsp_strings.h"
#include "dsp/spectral_data.h"
#include "dsp/spectral_display.h"
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

}  // namespace

const char* ChannelModeShortName(ChannelProcessingMode mode) {
    return KnownChannelMode(mode) ? kModeShortNames[ChannelModeCode(mode)] : "";
}

bool ApplyAnalyzeOptions(const AnalyzeOptions& o, const SampleFormat& format, ProcessingSettings& settings,
                         std::string& error) {
    settings.Mode.OpMode = kModePostProcessing;
    SettingsBlock& s = settings.Settings();
    s.format = format;
    const bool stereo = format.channels == 2;
    if (!stereo) s.ChannelProcessing = ChannelModeCode(ChannelProcessingMode::Left);
    else if (ChannelModeFromCode(s.ChannelProcessing) == ChannelProcessingMode::Left)
        s.ChannelProcessing = ChannelModeCode(ChannelProcessingMode::Both);
    if (o.channels) {
        if (!stereo && *o.channels != ChannelProcessingMode::Left) {
            error = std::string("channel mode '") + ChannelModeShortName(*o.channels) + "' needs a stereo file";
            return false;
        }
        s.ChannelProcessing = ChannelModeCode(*o.channels);
    }
    if (o.fftSize) s.FFTsize = *o.fftSize;
    if (o.window) s.SmoothingWindow = WindowCode(*o.window);
    s.AverageBlocks = o.averageBlocks.value_or(kInfiniteAverageBlocks);
    if (o.averageType) s.AverageType = AveragingCode(*o.averageType);
    if (o.overlap) s.OverlapPercent = *o.overlap;
    if (o.decimation) s.DecimationRatio = *o.decimation;
    if (o.coherenceSquared) settings.CoherenceSquared = *o.coherenceSquared;
    // Triggering would leave stretches of the file out of the average.
    settings.Trigger.Enable = 0;
    return true;
}

std::vector<SpectrumColumn> ColumnsForMode(ChannelProcessingMode mode, bool stereo) {
    if (!stereo) return {{0, "left"}};
    switch (mode) {
        case ChannelProcessingMode::Left: return {{0, "left"}};
        case ChannelProcessingMode::Right: return {{1, "right"}};
        case ChannelProcessingMode::Both: return {{0, "left"}, {1, "right"}};
        case ChannelProcessingMode::Average: return {{2, "average"}};
        case ChannelProcessingMode::RealTransferLR:
        case ChannelProcessingMode::RealTransferRL: return {{2, "real_transfer"}};
        case ChannelProcessingMode::CrossLR:
        case ChannelProcessingMode::CrossRL: return {{2, "cross_spectrum"}};
        case ChannelProcessingMode::ComplexTransferLR:
        case ChannelProcessingMode::ComplexTransferRL: return {{2, "transfer"}};
        case ChannelProcessingMode::Coherence: return {{2, "coherence"}};
        case ChannelProcessingMode::TransferCoherenceLR:
        case ChannelProcessingMode::TransferCoherenceRL: return {{2, "transfer"}, {3, "coherence"}};
        default: return {};
    }
}

namespace {
bool InDecibels(const TSpectralData& sp) { return sp.AmpScale() == AmplitudeScale::Decibels && !sp.CoherenceDone(); }

// A column says what it holds: |γ| or γ² for a coherence, the mean of |X||Y| for a cross
// spectrum averaged by power (only vector averaging gives |mean of X·Y*|).
std::string ColumnName(const SpectrumColumn& c, const TSpectralData& sp) {
    std::string name = c.name;
    if (sp.CoherenceDone())
        name += sp.CoherenceSquared() ? "_squared" : "_magnitude";
    else if (sp.HoldsCrossSpectrum())
        name += sp.Averager().Type() == AveragingType::Vector ? "_abs_mean_xy" : "_mean_abs_xy";
    return InDecibels(sp) ? name + "_db" : name;
}
}  // namespace

void WriteSpectrumCsv(TEngine& engine, std::FILE* out) {
    const SettingsBlock& s = engine.Settings().Settings();
    const auto columns = ColumnsForMode(ChannelModeFromCode(s.ChannelProcessing), s.format.channels == 2);
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
    const uint32_t rows = SpectralValueCount(*spectra[0]);
    for (uint32_t i = 0; i < rows; ++i) {
        std::fprintf(out, "%.4f", SpectralValueFrequency(*spectra[0], i));
        for (const TSpectralData* sp : spectra) std::fprintf(out, ",%.6g", SpectralDisplayValue(*sp, i));
        std::fprintf(out, "\n");
    }
}

std::string ValueUnit(const TSpectralData& sp) {
    if (sp.CoherenceDone()) return "";
    if (!sp.Scale().Calibrated()) return InDecibels(sp) ? "dB" : "%";
    return InDecibels(sp) ? SpectralLogLabel(sp) : SpectralLinearLabel(sp);
}

SpectrumPeak PeakOf(const TSpectralData& spectrum) {
    SpectrumPeak p;
    if (!spectrum.AveragePower()) return p;
    const uint32_t count = SpectralValueCount(spectrum);
    if (spectrum.BandAxis().Count() > 0 && count == spectrum.BandAxis().Count()) {
        for (uint32_t i = 0; i < count; ++i) {
            const double v = SpectralDisplayValue(spectrum, i);
            if (i == 0 || v > p.value) {
                p.index = i;
                p.value = v;
            }
        }
    } else {
        p.index = spectrum.Averager().PeakBin();
        p.value = SpectralDisplayValue(spectrum, p.index);
    }
    p.frequency = SpectralValueFrequency(spectrum, p.index);
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
    // Streamed: a file of any length is read a block at a time instead of held whole.
    auto file = MakeWaveFile(host_, options.input, TWaveFile::kStreamMode, false);
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
// Left to choose, a thread takes a range only when it holds enough frames to repay setting up
// a second analysis chain (about a millisecond): short files stay on one thread.
constexpr uint64_t kMinFramesPerChosenWorker = 128;

uint32_t WorkerCount(uint32_t asked, uint64_t frames) {
    if (asked) return static_cast<uint32_t>(std::min<uint64_t>(asked, frames));
    const uint64_t cores = std::max(std::thread::hardware_concurrency(), 1u);
    return static_cast<uint32_t>(std::clamp<uint64_t>(frames / kMinFramesPerChosenWorker, 1, cores));
}
}  // namespace

bool TFileAnalysis::RunRange(uint64_t first, uint64_t count, const std::function<void(int)>& progress) {
    TWaveFile& file = *engine_->WaveFile();
    file.Seek(static_cast<uint32_t>(std::min<uint64_t>(first * FileFrameAdvance(settings_.Settings()), file.Length())));
    // The limit stops the run once more than it were analysed.
    if (count == 0 || !engine_->RunFrames(static_cast<uint32_t>(std::min<uint64_t>(count - 1, UINT32_MAX)))) return false;
    int shown = -1;
    while (engine_->FrameStep()) {
        const int percent = static_cast<int>(100 * std::min<uint64_t>(engine_->FrameCount(), count) / count);
        if (progress && percent != shown) progress(shown = percent);
    }
    return true;
}

bool TFileAnalysis::RunAll(const AnalyzeOptions& options, const std::function<void(int)>& progress, bool inOrder) {
    const uint64_t frames = FileFrameCount(settings_.Settings(), engine_->WaveFile()->Length());
    const uint32_t workers = WorkerCount(options.jobs, frames);
    if (inOrder || workers < 2 || !RangesMergeable(settings_, frames)) return RunToEnd(progress);
    return RunInRanges(options, workers, progress);
}

// The first range runs on this thread, which shows its progress.
bool TFileAnalysis::RunInRanges(const AnalyzeOptions& options, uint32_t workers,
                                const std::function<void(int)>& progress) {
    const uint64_t frames = FileFrameCount(settings_.Settings(), engine_->WaveFile()->Length());
    std::vector<std::unique_ptr<TFileAnalysis>> others;
    for (uint32_t w = 1; w < workers; ++w) {
        // The settings as this one applied the options: applying them again changes nothing.
        others.push_back(std::make_unique<TFileAnalysis>(host_, settings_, calibration_));
        std::string error;
        int status = 0;
        if (!others.back()->Open(options, error, status)) return false;
    }
    const auto rangeStart = [&](uint64_t w) { return frames * w / workers; };
    std::vector<char> done(workers, 0);
    std::vector<std::thread> threads;
    for (uint32_t w = 1; w < workers; ++w)
        threads.emplace_back([&, w] {
            done[w] = others[w - 1]->RunRange(rangeStart(w), rangeStart(w + 1) - rangeStart(w), nullptr);
        });
    done[0] = RunRange(0, rangeStart(1), progress);
    for (std::thread& t : threads) t.join();
    if (std::count(done.begin(), done.end(), 0) > 0) return false;
    for (int i = 0; i < 4; ++i) {
        TSpectralData* merged = engine_->Spectrum(i);
        if (!merged) continue;
        for (const auto& other : others) merged->MergeAverage(*other->Engine().Spectrum(i));
    }
    if (progress) progress(100);
    return true;
}

uint64_t FileFrameCount(const SettingsBlock& settings, uint64_t length) {
    const uint64_t span = SeriesSamples(settings);
    const uint64_t advance = FileFrameAdvance(settings);
    if (length < span || advance == 0) return 0;
    return (length - span) / advance + 1;
}

bool RangesMergeable(const ProcessingSettings& settings, uint64_t frames) {
    const SettingsBlock& s = settings.Settings();
    const AveragingType type = AveragingTypeFromCode(s.AverageType);
    // Peak hold keeps the largest running average, and vector averaging averages some
    // channels exponentially and others not: both depend on the order of the frames.
    if (type == AveragingType::Vector || s.PeakHold || settings.Trigger.Enable) return false;
    // A frame leaves a ring of N blocks, or an exponential average decays, once N are in.
    if (frames > s.AverageBlocks) return false;
    if (type == AveragingType::Linear && s.AverageBlocks <= kMaxLinearHistoryBlocks) return false;
    switch (s.format.channels == 2 ? ChannelModeFromCode(s.ChannelProcessing) : ChannelProcessingMode::Left) {
        case ChannelProcessingMode::Left:
        case ChannelProcessingMode::Right:
        case ChannelProcessingMode::Both:
        case ChannelProcessingMode::Average:
        case ChannelProcessingMode::CrossLR:
        case ChannelProcessingMode::CrossRL: return true;
        // Transfer and coherence replace the averaged cross spectrum by a ratio every frame.
        default: return false;
    }
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
    } else if (!analysis.RunAll(options, progress, reports && reports->FollowsFrames())) {
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
