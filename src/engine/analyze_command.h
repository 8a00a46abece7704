#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <memory>

#include "base/sample_format.h"
#include "dsp/channel_processing.h"
#include "engine/processing_settings.h"
#include "engine/spectrum_scaling.h"
#include "files/calibration_record.h"
#include "platform/loopback_driver.h"

namespace zeltrak {

class Host;
class TEngine;
class TSpectralData;
class TAnalysisReports;

// `zeltrak analyze FILE.wav [options]`: the options as given; unset ones keep the settings.
struct AnalyzeOptions {
    std::string input;
    std::string output;  // empty: standard output
    std::optional<uint32_t> fftSize;
    std::optional<WindowType> window;
    std::optional<uint32_t> averageBlocks;  // unset: the whole file (Infinite)
    std::optional<AveragingType> averageType;
    std::optional<uint16_t> overlap;
    std::optional<uint16_t> decimation;
    std::optional<ChannelProcessingMode> channels;
    std::optional<bool> coherenceSquared;  // --coherence magnitude|squared
    // Worker threads: 1 the plain sequential run, 0 one per core (for files long enough to
    // repay it). The merged average equals the sequential one: both keep their running sums
    // in double.
    uint32_t jobs = 0;
};

// The arguments that follow "analyze", read by the program's option table (command_line.cpp);
// false with a message for a bad one. Scaling, measurement and logging options are checked
// but not returned: ParseCommandLine gives them.
bool ParseAnalyzeArguments(const std::vector<std::string>& args, AnalyzeOptions& out, std::string& error);
// The short name of a channel-processing mode ("left", "tfc-rl"); empty for none.
const char* ChannelModeShortName(ChannelProcessingMode mode);

// Settings for analysing a file of `format`: Post-Processing mode, the file's format, the
// channel rule of opening a file (mono: left only; stereo: left-only becomes both), then the
// options. False with a message when an option cannot apply to the file.
bool ApplyAnalyzeOptions(const AnalyzeOptions& options, const SampleFormat& format, ProcessingSettings& settings,
                         std::string& error);

// The spectrums a channel mode shows, in column order (indices into the engine's four), with
// their column names.
struct SpectrumColumn {
    int index;
    const char* name;
};
std::vector<SpectrumColumn> ColumnsForMode(ChannelProcessingMode mode, bool stereo);

// The averaged spectrum as CSV: a header line, then one row per bin, or per band on a band
// axis, with the values as the spectrum view shows them (dB, percent or calibrated units).
void WriteSpectrumCsv(TEngine& engine, std::FILE* out);

// A whole file analysed as Post-Processing mode does, with the shell's calibration and
// compensation, and no sound device involved.
class TFileAnalysis {
public:
    TFileAnalysis(Host& host, const ProcessingSettings& settings, const CalibrationRecord& calibration);
    ~TFileAnalysis();
    // Opens the file and applies the options; false with `error` (exit status in `status`).
    bool Open(const AnalyzeOptions& options, std::string& error, int& status);
    // Analyses every frame; false when the engine would not start.
    bool RunToEnd(const std::function<void(int percent)>& progress);
    // Analyses `count` frames from frame `first` on (the file's frames counted from its start).
    bool RunRange(uint64_t first, uint64_t count, const std::function<void(int percent)>& progress);
    // Analyses every frame, in ranges on up to options.jobs threads (0: one per core) where
    // the average allows it; `inOrder` keeps the sequential run (listeners that hear every frame).
    bool RunAll(const AnalyzeOptions& options, const std::function<void(int percent)>& progress, bool inOrder);
    // Analyses every frame in `workers` contiguous ranges, each by an engine of its own on a
    // thread of its own, and merges their averages into this one's.
    bool RunInRanges(const AnalyzeOptions& options, uint32_t workers, const std::function<void(int percent)>& progress);
    TEngine& Engine() { return *engine_; }
    const ProcessingSettings& Settings() const { return settings_; }

private:
    Host& host_;
    ProcessingSettings settings_;
    CalibrationRecord calibration_;
    LoopbackDriver card_;
    TShellScaling scaling_;
    std::unique_ptr<TEngine> engine_;
};

// How many frames a whole-file analysis of `length` sample frames takes.
uint64_t FileFrameCount(const SettingsBlock& settings, uint64_t length);
// Whether the file's frames may be split into ranges whose averages merge into the one of the
// sequential run: a plain mean over every frame, of spectrums made from single frames only.
bool RangesMergeable(const ProcessingSettings& settings, uint64_t frames);

// Runs the whole command: opens the file, analyses it to its end and writes the CSV, then the
// measurement lines of `reports` (when given) to standard output.
// Returns the process exit status (0 success); messages go through host, `error` holds a
// one-line reason for a failure that had no message of its own.
int RunAnalyze(const AnalyzeOptions& options, const ProcessingSettings& settings, const CalibrationRecord& calibration,
               Host& host, const std::function<void(int percent)>& progress, std::string& error,
               TAnalysisReports* reports = nullptr);

// What the averaged result of a spectrum shows at its peak: the peak bin (from bin 5 up), or
// the strongest band on a band axis, with the value and its unit as the view shows them.
struct SpectrumPeak {
    uint32_t index = 0;
    double frequency = 0.0;
    double value = -999.9;
    std::string unit;
};
SpectrumPeak PeakOf(const TSpectralData& spectrum);
// The short unit of a spectrum's values: "dB" or "%" uncalibrated, else the calibration label.
std::string ValueUnit(const TSpectralData& spectrum);

}  // namespace zeltrak
