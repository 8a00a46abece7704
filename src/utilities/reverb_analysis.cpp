#include "utilities/reverb_analysis.h"

#include <algorithm>
#include <cmath>

#include "files/ini_store.h"
#include "utilities/reverb_strings.h"

namespace zeltrak {

namespace {

constexpr float kNominalFrameStep = 0.009287982f;
constexpr float kDrops[kReverbDrops] = {10.0f, 20.0f, 30.0f, 40.0f, 50.0f, 60.0f};

int32_t ClampInt(int64_t v, int32_t lo, int32_t hi, int32_t fallback) {
    return v < lo || v > hi ? fallback : static_cast<int32_t>(v);
}

void ReadColour(const TIniStore& ini, const char* key, std::string& colour) {
    colour = ini.GetString(kReverbSectionName, key, colour);
}

void WriteColour(TIniStore& ini, const char* key, const std::string& colour) {
    if (!colour.empty()) ini.SetString(kReverbSectionName, key, colour);
}

}  // namespace

ReverbFrame ClearedReverbFrame() {
    ReverbFrame frame{};
    std::fill(std::begin(frame.level), std::end(frame.level), kReverbNoLevel);
    std::fill(std::begin(frame.smoothed), std::end(frame.smoothed), kReverbNoLevel);
    return frame;
}

void ReadReverbOptions(const TIniStore& ini, ReverbOptions& o) {
    const char* s = kReverbSectionName;
    // Unknown codes and out-of-range times fall back to the defaults: a decay time of hours
    // would ask for gigabytes of recording.
    o.smoothing = static_cast<ReverbSmoothing>(ClampInt(ini.GetInt(s, "SmoothingMethod", 1), 0, 2, 1));
    o.averageTime = static_cast<float>(ini.GetDouble(s, "SmoothingAverageTime", 0.1));
    o.extrapolation = static_cast<ReverbExtrapolation>(ClampInt(ini.GetInt(s, "ExtrapolationMethod", 1), 0, 2, 1));
    o.maxDecayTime = ClampInt(ini.GetInt(s, "MaxDecayTime", 10), 1, 30, 10);
    o.displayedDecayTime = ClampInt(ini.GetInt(s, "DisplayedDecayTime", 10), 1, 30, 10);
    o.displayedRTTime = ClampInt(ini.GetInt(s, "DisplayedRTTime", 5), 0, 5, 5);
    o.displayedDecayBand = ClampInt(ini.GetInt(s, "DisplayedDecayBand", 10), 0, kReverbBandSlots - 1, 10);
    ReadColour(ini, "BarColor", o.barColor);
    ReadColour(ini, "BackgroundColor", o.backgroundColor);
    ReadColour(ini, "DecayColor", o.decayColor);
    ReadColour(ini, "SurfaceColor", o.surfaceColor);
    ReadColour(ini, "GridColor", o.gridColor);
}

void WriteReverbOptions(TIniStore& ini, const ReverbOptions& o) {
    const char* s = kReverbSectionName;
    ini.SetInt(s, "SmoothingMethod", static_cast<int32_t>(o.smoothing));
    ini.SetDouble(s, "SmoothingAverageTime", o.averageTime);
    ini.SetInt(s, "ExtrapolationMethod", static_cast<int32_t>(o.extrapolation));
    ini.SetInt(s, "MaxDecayTime", o.maxDecayTime);
    ini.SetInt(s, "DisplayedDecayTime", o.displayedDecayTime);
    ini.SetInt(s, "DisplayedRTTime", o.displayedRTTime);
    ini.SetInt(s, "DisplayedDecayBand", o.displayedDecayBand);
    WriteColour(ini, "BarColor", o.barColor);
    WriteColour(ini, "BackgroundColor", o.backgroundColor);
    WriteColour(ini, "DecayColor", o.decayColor);
    WriteColour(ini, "SurfaceColor", o.surfaceColor);
    WriteColour(ini, "GridColor", o.gridColor);
}

std::string ReverbOptionsError(const ReverbOptions& options) {
    if (options.maxDecayTime < 1 || options.maxDecayTime > 30) return kReverbMaxDecayRangeText;
    return {};
}

ReverbTiming MakeReverbTiming(int32_t maxDecaySeconds) {
    ReverbTiming t;
    t.maxDecay = static_cast<float>(maxDecaySeconds);
    t.noiseLength = t.maxDecay > 4.0f ? t.maxDecay : 4.0f;
    t.total = t.syncStart + t.syncLength + t.gap + t.noiseLength + t.maxDecay;
    t.frameStep = kNominalFrameStep;
    t.frameCapacity = static_cast<uint32_t>((t.maxDecay + 1.0f) / kNominalFrameStep);
    return t;
}

void NormaliseReverbLevels(ReverbData& data) {
    if (data.frames.empty()) return;
    const ReverbFrame first = data.frames[0];
    for (ReverbFrame& frame : data.frames)
        for (int b = 0; b < data.bandCount; ++b) frame.level[b] -= first.level[b];
}

namespace {

void SearchDrops(const ReverbData& data, int b, ReverbBandResult& r) {
    r = ReverbBandResult{};
    r.frequency = data.frames.empty() ? 0.0f : data.frames[0].frequency[b];
    for (const ReverbFrame& frame : data.frames) {
        const float t = frame.time - data.frames[0].time;
        const float drop = data.frames[0].smoothed[b] - frame.smoothed[b];
        for (int d = 0; d < kReverbDrops; ++d) {
            if (r.extrapolated[d] == 0 || drop < kDrops[d]) continue;
            r.time[d] = t;
            r.extrapolated[d] = 0;
        }
    }
}

void Extrapolate(ReverbBandResult& r, ReverbExtrapolation method, float maxDecay) {
    auto& t = r.time;
    if (t[0] >= maxDecay) t[0] = 0.0f;
    if (t[1] >= maxDecay) t[1] = 2.0f * t[0];
    if (method == ReverbExtrapolation::RT10) {
        for (int d = 1; d < kReverbDrops; ++d) t[d] = static_cast<float>(d + 1) * t[0];
        return;
    }
    if (t[1] == -1.0f) t[1] = 2.0f * t[0];
    if (method == ReverbExtrapolation::RT20) {
        t[2] = 1.5f * t[1];
        t[3] = 2.0f * t[1];
        t[4] = 2.5f * t[1];
        t[5] = 3.0f * t[1];
        return;
    }
    if (t[2] == -1.0f) t[2] = 1.5f * t[1];
    t[3] = 1.33333f * t[2];
    t[4] = 1.66666f * t[2];
    t[5] = 2.0f * t[2];
}

void CopyLevels(ReverbData& data) {
    for (ReverbFrame& frame : data.frames) std::copy(std::begin(frame.level), std::end(frame.level), frame.smoothed);
}

// A forward-looking power average over W frames; frame 0 and the last W frames keep their levels.
void AverageDecay(ReverbData& data) {
    const int w = std::clamp(static_cast<int>(0.1f / data.timing.frameStep), 2, 50);
    const int f = static_cast<int>(data.frames.size());
    for (int b = 0; b < data.bandCount; ++b) {
        for (int i = 1; i <= f - w - 1; ++i) {
            double sum = 0.0;
            for (int k = 0; k < w; ++k) sum += std::pow(10.0, 0.1 * data.frames[i + k].level[b]);
            data.frames[i].smoothed[b] = static_cast<float>(10.0 * std::log10(sum / w));
        }
    }
}

// Backward integration up to just past the band's 60 dB time.
void SchroederBand(ReverbData& data, int b) {
    const int f = static_cast<int>(data.frames.size());
    long t = static_cast<long>((data.results[b].time[5] + 0.1f) / data.timing.frameStep);
    if (t >= f || t < 1) t = f - 1;
    double e = 0.0;
    for (long k = 0; k <= t; ++k) e += std::pow(10.0, 0.05 * data.frames[k].level[b]);
    if (e <= 0.0) e = 1.0;
    const float floor = data.frames[t].level[b];
    double a = 0.0;
    for (long k = t; k >= 0; --k) {
        a += std::pow(10.0, 0.05 * data.frames[k].level[b]);
        const float v = static_cast<float>(20.0 * std::log10(a / e));
        if (v > floor) data.frames[k].smoothed[b] = v;
    }
}

}  // namespace

void ComputeReverbTimes(ReverbData& data, ReverbExtrapolation method) {
    for (int b = 0; b < data.bandCount; ++b) {
        SearchDrops(data, b, data.results[b]);
        Extrapolate(data.results[b], method, data.timing.maxDecay);
    }
}

void SmoothAndTimeReverb(ReverbData& data, const ReverbOptions& options) {
    CopyLevels(data);
    if (options.smoothing == ReverbSmoothing::Averaging) AverageDecay(data);
    if (options.smoothing == ReverbSmoothing::Schroeder && !data.frames.empty()) {
        ComputeReverbTimes(data, options.extrapolation);
        for (int b = 0; b < data.bandCount; ++b) SchroederBand(data, b);
    }
    ComputeReverbTimes(data, options.extrapolation);
}

}  // namespace zeltrak
