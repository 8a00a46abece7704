#include "base/strings.h"
// The recording's side of the reverberation analysis: finding the sync tone, checking the
#include "base/strings.h"
// level and following each band's decay with the analyser's own spectral processing.
#include "base/strings.h"
#include <algorithm>
#include "base/strings.h"
#include <cmath>
#include "base/strings.h"
#include <cstdio>
#include "base/strings.h"
#include <memory>
#include "base/strings.h"
#include <new>
#include "base/strings.h"
#include <vector>
#include "base/strings.h"

#include "base/strings.h"
#include "dsp/smoothing.h"
#include "base/strings.h"
#include "dsp/spectral_data.h"
#include "base/strings.h"
#include "files/wave_data.h"
#include "base/strings.h"
#include "platform/host.h"
#include "base/strings.h"
#include "utilities/reverb_analysis.h"
#include "utilities/reverb_strings.h"

namespace zeltrak {

namespace {

constexpr uint32_t kSyncAdvance = 2048;
constexpr uint32_t kUsedBands = kReverbBandSlots - 1;

// The first channel of the recording as sample values about the zero level.
struct Recording {
    std::vector<float> samples;
    uint32_t rate = kReverbRate;
    double fullScale = 32767.0;  // maximum minus zero

    uint32_t Length() const { return static_cast<uint32_t>(samples.size()); }
    int64_t Sample(double seconds) const { return static_cast<int64_t>(seconds * rate); }
};

bool ReadRecording(TWaveData& wave, Recording& out) {
    const SampleFormat& format = wave.Format();
    const uint32_t n = wave.Length();
    std::vector<uint8_t> raw(static_cast<size_t>(n) * format.bytesPerSample);
    out.samples.resize(n);
    if (n && !wave.ReadChannel(raw.data(), 0, n, 0)) return false;
    if (n) PackedSamplesToFloats(raw.data(), format.bytesPerSample, n, format.zeroOffset, out.samples.data());
    out.rate = format.rate;
    out.fullScale = static_cast<double>(format.maxValue) - format.zeroOffset;
    return true;
}

SpectralSettings FrameSettings(const Recording& rec, WindowType window, WindowCorrection correction) {
    SpectralSettings s;
    s.format = SampleFormat::Make(rec.rate, 1, 2);
    s.fftSize = kReverbFrameSize;
    s.averageBlocks = 1;
    s.smoothingWindow = window;
    s.windowCorrection = correction;
    return s;
}

// Windows and transforms the frame at `start` and returns its largest |sample|.
float LoadFrame(TSpectralData& spectrum, const TSmoothing& window, const Recording& rec, uint32_t start) {
    float* t = spectrum.TimeSamples();
    const float* x = rec.samples.data() + start;
    float peak = 0.0f;
    for (uint32_t i = 0; i < kReverbFrameSize; ++i) peak = std::max(peak, std::fabs(x[i]));
    window.Apply(x, t);
    spectrum.Transform();
    spectrum.Average();
    return peak;
}

float FindSync(const Recording& rec, const ReverbTiming& timing) {
    SpectralScaling scaling;
    scaling.frequencyScale = FrequencyScale::Linear;
    TSpectralData spectrum(FrameSettings(rec, WindowType::Hanning, WindowCorrection::Amplitude), scaling, 0);
    TSmoothing window(kReverbFrameSize, WindowType::Hanning, WindowCorrection::Amplitude);
    if (spectrum.Error() || window.Error()) return timing.syncStart;
    const int64_t end = std::min<int64_t>(rec.Sample(1.5 * timing.syncStart), rec.Length());
    float best = -999.0f;
    float sync = timing.syncStart;
    for (int64_t start = 0; start + kReverbFrameSize <= end; start += kSyncAdvance) {
        LoadFrame(spectrum, window, rec, static_cast<uint32_t>(start));
        const float f = spectrum.PeakFrequency();
        const float level = spectrum.AverageDb()[spectrum.Averager().PeakBin()];
        if (f > 900.0f && f < 1100.0f && level > best) {
            best = level;
            sync = static_cast<float>(static_cast<double>(start) / rec.rate);
        }
    }
    return std::fabs(sync - timing.syncStart) > 0.5f ? timing.syncStart : sync;
}

// The band analyser: flat-top frames summed into the analyser's 1/3-octave bands.
class BandFrames {
public:
    explicit BandFrames(const Recording& rec)
        : spectrum_(FrameSettings(rec, WindowType::FlatTop, WindowCorrection::Energy), BandScaling(), 0),
          window_(kReverbFrameSize, WindowType::FlatTop, WindowCorrection::Energy) {
        const uint32_t count = spectrum_.BandAxis().Count();
        first_ = count > kUsedBands ? count - kUsedBands : 0;
    }
    bool Error() const { return spectrum_.Error() || window_.Error() || spectrum_.BandAxis().Count() == 0; }
    int32_t BandCount() const { return static_cast<int32_t>(spectrum_.BandAxis().Count() - first_ + 1); }
    void Averaging(uint32_t blocks) {
        spectrum_.SetAverage(blocks, AveragingType::Exponential);
        spectrum_.ResetAverage();
    }
    float Add(const Recording& rec, uint32_t start) { return LoadFrame(spectrum_, window_, rec, start); }
    // The bands as they stand, with the total over them in the entry after the last.
    void Store(ReverbFrame& frame) const {
        const TBandAxis& axis = spectrum_.BandAxis();
        const int32_t n = BandCount();
        double total = 0.0;
        for (int32_t b = 0; b + 1 < n; ++b) {
            frame.frequency[b] = axis.Records()[first_ + b].centre;
            frame.level[b] = axis.Values()[first_ + b];
            total += std::pow(10.0, 0.1 * frame.level[b]);
        }
        frame.frequency[n - 1] = kReverbWidebandFrequency;
        frame.level[n - 1] = total > 0.0 ? static_cast<float>(10.0 * std::log10(total)) : kReverbNoLevel;
    }

private:
    static SpectralScaling BandScaling() {
        SpectralScaling s;
        s.frequencyScale = FrequencyScale::OctaveBands;
        s.octaveNumber = 3;
        return s;
    }
    TSpectralData spectrum_;
    TSmoothing window_;
    uint32_t first_ = 0;
};

// Averaged band levels over the second half of the noise into frame 0; the outcome of the
// level check.
ReverbOutcome EvaluateLevels(const Recording& rec, float sync, BandFrames& bands, ReverbData& data, Host& host) {
    const ReverbTiming& t = data.timing;
    const int64_t first = rec.Sample(sync + t.gap + t.noiseLength / 2.0f);
    const int64_t end = std::min<int64_t>(rec.Sample(sync + t.gap + t.noiseLength), rec.Length());
    bands.Averaging(kInfiniteAverageBlocks);
    float peak = 0.0f;
    for (int64_t start = first; start + kReverbFrameSize <= end; start += kSyncAdvance)
        peak = std::max(peak, bands.Add(rec, static_cast<uint32_t>(start)));
    bands.Store(data.frames[0]);
    const double peakDb = 20.0 * std::log10(std::max(1.0f, peak) / rec.fullScale);
    if (peakDb >= 0.0) {
        ShowMessage(host, kReverbOverloadText, MessageIcon::Information);
        return ReverbOutcome::Overload;
    }
    if (peakDb < -40.0) {
        ShowMessage(host, kReverbTooLowText, MessageIcon::Information);
        return ReverbOutcome::TooLow;
    }
    return ReverbOutcome::Done;
}

uint32_t HopSamples(uint32_t rate) {
    return std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(double(kReverbHop) * rate / kReverbRate)));
}

// Frames every 409 samples (at 44.1 kHz) from 0.06 s before the noise ends.
ReverbOutcome AnalyseDecay(const Recording& rec, int64_t origin, BandFrames& bands, ReverbData& data, Host& host) {
    const uint32_t hop = HopSamples(rec.rate);
    bands.Averaging(1);
    uint32_t f = 0;
    for (; f < data.timing.frameCapacity; ++f) {
        const int64_t start = origin + static_cast<int64_t>(f) * hop;
        const float time = static_cast<float>(static_cast<double>(start - origin) / rec.rate);
        if (start + kReverbFrameSize > rec.Length() || time > data.timing.maxDecay + 0.1f) break;
        if (host.PollCancelRequest()) return ReverbOutcome::Cancelled;
        bands.Add(rec, static_cast<uint32_t>(start));
        bands.Store(data.frames[f]);
        data.frames[f].time = time;
        if (f % 10 == 0) host.SetProgress(static_cast<int>(100.0 * f / data.timing.frameCapacity));
    }
    data.frames.resize(f);
    data.timing.frameStep = static_cast<float>(static_cast<double>(hop) / rec.rate);
    return ReverbOutcome::Done;
}

ReverbOutcome TooShort(const ReverbTiming& timing, double needed, Host& host) {
    char text[200];
    std::snprintf(text, sizeof text, kReverbTooShortText, static_cast<int>(timing.maxDecay), needed);
    ShowMessage(host, text, MessageIcon::Warning);
    return ReverbOutcome::TooShort;
}

// The frame array and the samples; false when they do not fit in memory.
bool Allocate(TWaveData& wave, ReverbData& data, Recording& rec) {
    try {
        data.frames.assign(std::max<uint32_t>(1, data.timing.frameCapacity), ClearedReverbFrame());
        return ReadRecording(wave, rec);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

ReverbOutcome Measure(const Recording& rec, const ReverbOptions& options, ReverbData& data, Host& host) {
    host.SetStatusText(kReverbSyncStatus);
    const float sync = FindSync(rec, data.timing);
    const ReverbTiming& t = data.timing;
    const int64_t origin = rec.Sample(sync - 0.06f + t.syncLength + t.gap + t.noiseLength);
    if (origin + kReverbFrameSize > rec.Length())
        return TooShort(t, static_cast<double>(origin + kReverbFrameSize) / rec.rate, host);
    if (host.PollCancelRequest()) return ReverbOutcome::Cancelled;
    BandFrames bands(rec);
    if (bands.Error()) {
        ShowStringMessage(host, kStrInsufficientMemory, MessageIcon::Error);
        return ReverbOutcome::OutOfMemory;
    }
    host.SetStatusText(kReverbLevelsStatus);
    ReverbOutcome outcome = EvaluateLevels(rec, sync, bands, data, host);
    if (outcome != ReverbOutcome::Done) return outcome;
    data.bandCount = bands.BandCount();
    host.SetStatusText(kReverbAnalyseStatus);
    outcome = AnalyseDecay(rec, origin, bands, data, host);
    if (outcome != ReverbOutcome::Done) return outcome;
    NormaliseReverbLevels(data);
    SmoothAndTimeReverb(data, options);
    return ReverbOutcome::Done;
}

}  // namespace

float FindReverbSync(const std::vector<float>& samples, uint32_t rate, float syncStart) {
    Recording rec;
    rec.samples = samples;
    rec.rate = rate;
    ReverbTiming timing;
    timing.syncStart = syncStart;
    return FindSync(rec, timing);
}

ReverbOutcome AnalyseReverbRecording(TWaveData& recording, const ReverbOptions& options, ReverbData& data,
                                     Host& host) {
    const std::string refusal = ReverbOptionsError(options);
    if (!refusal.empty()) {
        ShowMessage(host, refusal, MessageIcon::Warning);
        return ReverbOutcome::BadOptions;
    }
    ReverbData fresh;
    fresh.timing = MakeReverbTiming(options.maxDecayTime);
    Recording rec;
    if (!Allocate(recording, fresh, rec)) {
        ShowStringMessage(host, kStrInsufficientMemory, MessageIcon::Error);
        return ReverbOutcome::OutOfMemory;
    }
    host.ShowProgress(true);
    const ReverbOutcome outcome = Measure(rec, options, fresh, host);
    host.ShowProgress(false);
    if (outcome != ReverbOutcome::Done) return outcome;
    fresh.present = true;
    fresh.modified = true;
    data = std::move(fresh);
    return outcome;
}

}  // namespace zeltrak
