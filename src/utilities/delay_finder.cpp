#include "utilities/delay_finder.h"

#include <algorithm>
#include <cmath>

#include "dsp/fft.h"
#include "engine/engine.h"
#include "engine/series_data.h"
#include "files/ini_store.h"
#include "files/wave_file.h"
#include "utilities/delay_strings.h"

namespace zeltrak {

namespace {

constexpr int32_t kMinMaxDelayMs = 10, kMaxMaxDelayMs = 1000;
constexpr double kMinSpeed = 10.0, kMaxSpeed = 100000.0;

// packed spectra (RealFFT layout) of left and right: left x conj(right) into `left`.
void CrossSpectrum(std::vector<float>& left, const std::vector<float>& right) {
    left[0] *= right[0];
    left[1] *= right[1];
    for (size_t i = 2; i + 1 < left.size(); i += 2) {
        const float lr = left[i], li = left[i + 1], rr = right[i], ri = right[i + 1];
        left[i] = lr * rr + li * ri;
        left[i + 1] = li * rr - lr * ri;
    }
}

bool ReadFloats(TWaveData& file, uint32_t start, uint32_t count, uint32_t channel, std::vector<uint8_t>& bytes,
                float* out) {
    const SampleFormat& f = file.Format();
    bytes.resize(static_cast<size_t>(count) * f.bytesPerSample);
    if (!file.ReadChannel(bytes.data(), start, count, channel)) return false;
    PackedSamplesToFloats(bytes.data(), f.bytesPerSample, count, f.zeroOffset, out);
    return true;
}

}  // namespace

TDelayFinder::TDelayFinder(uint32_t rate, const DelayFinderOptions& options)
    : rate_(std::max(rate, 1u)), maxDelayMs_(options.maxDelayMs), n_(DelayBlockLength(options.maxDelayMs, rate_)),
      left_(n_), right_(n_), cross_(n_), rightSpectrum_(n_) {}

void TDelayFinder::SetOptions(const DelayFinderOptions& options) {
    if (options.maxDelayMs == maxDelayMs_) return;
    *this = TDelayFinder(rate_, options);
}

void TDelayFinder::Compute() {
    cross_ = left_;
    rightSpectrum_ = right_;
    RealFFT(cross_.data(), n_, 1);
    RealFFT(rightSpectrum_.data(), n_, 1);
    CrossSpectrum(cross_, rightSpectrum_);
    RealFFT(cross_.data(), n_, -1);
    FindPeak(cross_);
}

// The correlation itself is searched: a fixed-point copy of it (0.1 x c in sample units) would
// clip for loud blocks and round to zero for quiet ones, losing the peak either way.
void TDelayFinder::FindPeak(const std::vector<float>& c) {
    uint32_t best = 0;
    float peak = 0.0f;
    for (uint32_t k = n_ / 8; k < n_ - n_ / 8; ++k) {
        if (std::fabs(c[k]) > peak) {
            peak = std::fabs(c[k]);
            best = k;
        }
    }
    peak_ = peak;
    delaySamples_ = peak > 0.0f ? static_cast<int64_t>(best) - n_ / 2 : 0;
    delayMs_ = 1000.0 * static_cast<double>(delaySamples_) / rate_;
}

bool TDelayFinder::LoadFileBlocks(TWaveData& file, uint32_t start) {
    std::vector<uint8_t> bytes;
    return ReadFloats(file, start, n_, 0, bytes, left_.data()) &&
           ReadFloats(file, start + n_ / 2, n_, 1, bytes, right_.data());
}

bool TDelayFinder::UpdateFromFile(TWaveData& file) {
    const uint32_t h = n_ / 2;
    const uint32_t p = file.Position();
    if (file.Format().channels < 2 || p > file.Length() || file.Length() - p < n_ + h) return false;
    // From the left block's end, the right block always starts H later, even near the file's start.
    if (!LoadFileBlocks(file, p > h ? p - h : p)) return false;
    Compute();
    return true;
}

bool TDelayFinder::UpdateFromLiveInput(TEngine& engine) {
    TSoundInput& port = engine.InputPort();
    const SampleFormat& f = engine.Settings().Settings().format;
    const uint32_t h = n_ / 2;
    if (f.channels < 2 || !port.IsStarted() || !engine.InputSlots().Allocated()) return false;
    const uint64_t captured = port.CapturedFrames();
    int slot = 0;
    uint32_t offset = 0;
    if (!port.SlotPosition(captured, n_ + h, captured, slot, offset)) return false;
    TSeriesData left(f, n_, 1.0f, 1, false), right(f, n_, 1.0f, 1, false);
    if (left.Error() || right.Error() || !engine.InputSlots().CopyChannel(left, 0, slot, offset, h, true) ||
        !engine.InputSlots().CopyChannel(right, 1, slot, offset, 0, true))
        return false;
    PackedSamplesToFloats(left.Bytes(), f.bytesPerSample, n_, f.zeroOffset, left_.data());
    PackedSamplesToFloats(right.Bytes(), f.bytesPerSample, n_, f.zeroOffset, right_.data());
    Compute();
    return true;
}

bool TDelayFinder::Update(TEngine& engine) {
    switch (engine.Settings().Mode.OpMode) {
        case kModeRealTime: return UpdateFromLiveInput(engine);
        case kModePostProcessing: return engine.WaveFile() && UpdateFromFile(*engine.WaveFile());
        // A recording fills the input slots as a live run does; playback has no input to read.
        case kModeRecorder: return engine.RunState() == EngineRunState::Recording && UpdateFromLiveInput(engine);
        default: return false;
    }
}

void ApplyDelayToSettings(double delayMs, SettingsBlock& settings) {
    settings.DelayChannel = delayMs < 0.0 ? 0 : 1;
    SetTypedDelay(std::fabs(delayMs), settings);
}

void SetTypedDelay(double typedMs, SettingsBlock& settings) {
    settings.DelayTimeMsec = std::isnan(typedMs) ? 0.0f : static_cast<float>(std::clamp(typedMs, 0.0, 1000.0));
}

DelayFinderOptions ReadDelayFinderOptions(const TIniStore& ini) {
    DelayFinderOptions o;
    const int64_t units = ini.GetInt(kDelayOptionsSection, kDelayKeyUnits, 0);
    o.displayUnits = units >= 0 && units <= 2 ? static_cast<DelayUnits>(units) : DelayUnits::Milliseconds;
    o.maxDelayMs = static_cast<int32_t>(std::clamp<int64_t>(ini.GetInt(kDelayOptionsSection, kDelayKeyMaxDelay, 500),
                                                            kMinMaxDelayMs, kMaxMaxDelayMs));
    const double speed = ini.GetDouble(kDelayOptionsSection, kDelayKeySpeed, 1130.0);
    o.speedOfSoundFtPerS = static_cast<float>(std::isnan(speed) ? 1130.0 : std::clamp(speed, kMinSpeed, kMaxSpeed));
    return o;
}

void WriteDelayFinderOptions(const DelayFinderOptions& options, TIniStore& ini) {
    ini.SetInt(kDelayOptionsSection, kDelayKeyUnits, static_cast<int64_t>(options.displayUnits));
    ini.SetInt(kDelayOptionsSection, kDelayKeyMaxDelay, options.maxDelayMs);
    ini.SetDouble(kDelayOptionsSection, kDelayKeySpeed, options.speedOfSoundFtPerS);
}

std::string ValidateDelayFinderOptions(double speedFtPerS, int64_t maxDelayMs) {
    if (!(speedFtPerS >= kMinSpeed && speedFtPerS <= kMaxSpeed)) return kDelaySpeedRange;
    if (maxDelayMs < kMinMaxDelayMs || maxDelayMs > kMaxMaxDelayMs) return kDelayMaxDelayRange;
    return {};
}

}  // namespace zeltrak
