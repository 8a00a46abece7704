#include "utilities/reverb_measurement.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/strings.h"
#include "engine/sound_port.h"
#include "engine/sound_port_strings.h"
#include "utilities/reverb_strings.h"

namespace zeltrak {

namespace {

constexpr uint32_t kRate = 44100;
constexpr double kTwoPi = 6.283185308;
constexpr double kSyncHz = 1000.0;
constexpr uint32_t kMeterSamples = 2048;
constexpr size_t kPinkFirstWord = 44;

void WriteSyncTone(std::vector<int16_t>& out, const ReverbTiming& timing, const SampleFormat& f) {
    const auto first = static_cast<size_t>(timing.syncStart * kRate);
    const auto count = static_cast<size_t>(timing.syncLength * kRate) + 1;
    const double amplitude = 0.25 * (f.maxValue - f.zeroOffset);
    for (size_t k = 0; k < count && first + k < out.size(); ++k)
        out[first + k] = static_cast<int16_t>(f.zeroOffset + amplitude * std::sin(kTwoPi * kSyncHz * double(k) / kRate));
}

// The noise walks the stored recording word by word from word 44, taking every
// (channels x bytes per sample)-th word, and starts over on reaching as many words as the
// recording has bytes halved.
void WritePinkNoise(std::vector<int16_t>& out, size_t first, size_t count, std::span<const unsigned char> pink,
                    const SampleFormat& f) {
    const size_t words = pink.size() / 2, step = size_t{f.channels} * f.bytesPerSample;
    if (words <= kPinkFirstWord) return;
    size_t word = kPinkFirstWord;
    for (size_t i = 0; i < count && first + i < out.size(); ++i) {
        const auto p = static_cast<int16_t>(pink[2 * word] | pink[2 * word + 1] << 8);
        out[first + i] = static_cast<int16_t>(p * double(f.maxValue) * 3.0517578125e-05);
        word += step;
        if (word >= words) word = kPinkFirstWord;
    }
}

}  // namespace

uint32_t ReverbBufferSamples(const ReverbTiming& timing) { return static_cast<uint32_t>(timing.total * 1.1 * kRate); }

SampleFormat ReverbMeasurementFormat() { return SampleFormat::Make(kRate, 1, 2); }

std::vector<int16_t> BuildReverbStimulus(const ReverbTiming& timing, std::span<const unsigned char> pinkResource) {
    const SampleFormat f = ReverbMeasurementFormat();
    std::vector<int16_t> out(ReverbBufferSamples(timing), static_cast<int16_t>(f.zeroOffset));
    WriteSyncTone(out, timing, f);
    const size_t noiseStart = static_cast<size_t>(timing.syncStart * kRate) +
                              static_cast<size_t>(timing.syncLength * kRate) + 1 +
                              static_cast<size_t>(timing.gap * kRate);
    WritePinkNoise(out, noiseStart, static_cast<size_t>(timing.noiseLength * kRate), pinkResource, f);
    return out;
}

int ReverbMeterReading(std::span<const int16_t> samples, const SampleFormat& f) {
    int32_t peak = 1;
    for (int16_t s : samples) peak = std::max(peak, std::abs(int32_t{s} - f.zeroOffset));
    const int32_t scale = f.maxValue - f.zeroOffset;
    if (peak >= scale - 1) return 10;
    return static_cast<int>(10.0 * std::log10(double(peak)) / std::log10(double(scale)));
}

namespace {

// Both ports open in the measurement format, the recording queued, the stimulus held back.
bool OpenPorts(TSoundInput& in, TSoundOutput& out, TWaveData& wave, std::span<const int16_t> stimulus) {
    const SampleFormat f = ReverbMeasurementFormat();
    if (!in.SetFormat(f) || !out.SetFormat(f)) return false;
    if (!in.Open(nullptr, false) || !out.Open(nullptr, false)) return false;
    const auto inBytes = static_cast<uint32_t>(wave.FramesToBytes(wave.Length()));
    const auto outBytes = static_cast<uint32_t>(stimulus.size() * sizeof(int16_t));
    return in.AddBuffer(wave.Buffer(), inBytes, 0) && out.Write(stimulus.data(), outBytes, 0, false);
}

// Waits for the full recording, keeping the meter and progress live.
ReverbAcquireStatus WaitForRecording(TSoundInput& in, Host& host, ReverbAcquisitionSink& sink, const ReverbTiming& timing,
                      const TWaveData& wave) {
    const auto* samples = reinterpret_cast<const int16_t*>(wave.Buffer());
    int shownPercent = -1;
    while (!in.IsSlotDone(0)) {
        if (host.PollCancelRequest()) return ReverbAcquireStatus::Cancelled;
        // A device that stopped answering would never fill the buffer.
        if (in.DeviceLost()) return ReverbAcquireStatus::DeviceFailed;
        sink.SetAcquisitionRunning(true);
        sink.KeepResponding();
        const uint32_t recorded = std::min(in.FramesInSlot(0), wave.Length());
        if (recorded > kMeterSamples)
            sink.ShowMeterReading(ReverbMeterReading({samples + recorded - kMeterSamples, kMeterSamples}, wave.Format()));
        const int percent = std::min(100, static_cast<int>(100.0 * recorded / kRate / timing.total));
        if (percent != shownPercent) host.SetProgress(shownPercent = percent);
    }
    return ReverbAcquireStatus::Recorded;
}

// The stop sequence leaves the devices time to settle between steps, as some drivers need.
void StopPorts(TSoundInput& in, TSoundOutput& out, Host& host, ReverbAcquisitionSink& sink) {
    sink.ShowMeterReading(-999);
    sink.SetAcquisitionRunning(false);
    host.SleepMilliseconds(250);
    out.Pause();
    host.SleepMilliseconds(100);
    out.Close();
    host.SleepMilliseconds(100);
    in.Close();
}

}  // namespace

ReverbRecording AcquireReverbRecording(WaveDriver& driver, Host& host, ReverbAcquisitionSink& sink,
                                       const ReverbDevices& devices, const ReverbTiming& timing,
                                       std::span<const int16_t> stimulus) {
    ReverbRecording result;
    auto in = std::make_unique<TSoundInput>(driver, host, devices.input);
    auto out = std::make_unique<TSoundOutput>(driver, host, devices.output);
    if (in->DeviceName() == out->DeviceName() && (!in->SupportsDuplex() || !out->SupportsDuplex())) {
        ShowMessage(host, kNoDuplexText, MessageIcon::Error);
        result.status = ReverbAcquireStatus::NoDuplex;
        return result;
    }
    auto wave = std::make_unique<TWaveData>(static_cast<uint32_t>(stimulus.size()), ReverbMeasurementFormat());
    if (wave->Error() || wave->Buffer() == nullptr) {
        ShowStringMessage(host, kStrInsufficientMemory);
        result.status = ReverbAcquireStatus::OutOfMemory;
        return result;
    }
    if (!OpenPorts(*in, *out, *wave, stimulus)) return result;  // the ports have said why
    // Started together: recording first, so the stimulus's first sample is heard.
    if (!in->Start() || !out->Restart()) return result;
    host.SetStatusText(kReverbAcquiringText);
    host.ShowProgress(true);
    result.status = WaitForRecording(*in, host, sink, timing, *wave);
    StopPorts(*in, *out, host, sink);
    host.ShowProgress(false);
    if (result.status == ReverbAcquireStatus::DeviceFailed) ShowStringMessage(host, kStrSoundDeviceFailure);
    if (result.status == ReverbAcquireStatus::Recorded) result.wave = std::move(wave);
    return result;
}

}  // namespace zeltrak
