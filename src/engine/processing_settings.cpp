#include "engine/processing_settings.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "base/numeric.h"
#include "dsp/smoothing.h"
#include "files/ini_store.h"

namespace zeltrak {

namespace {

// Text fields are visited as this pair so that visitors can tell them from integers.
struct TextField {
    char* data;
    std::size_t bytes;
};
struct ConstTextField {
    const char* data;
    std::size_t bytes;
};

template <typename Block>
using TextOf = std::conditional_t<std::is_const_v<Block>, ConstTextField, TextField>;

// Every stored key of the settings blocks, in file order, once: loading and storing walk
// the same list, so the two can never disagree about a key. The sample format is stored as
// three keys and rebuilt by its rule, so the callers handle it.
template <typename Settings, typename Visitor>
void ForEachStoredField(Settings& p, Visitor&& visit) {
    auto& d = p.Device;
    visit("Device", "InputDeviceID", d.InputDeviceID);
    visit("Device", "OutputDeviceID", d.OutputDeviceID);
    visit("Mode", "OpMode", p.Mode.OpMode);

    auto& s = p.Processing.Settings;
    visit("Settings", "FFTsize", s.FFTsize);
    visit("Settings", "AverageBlocks", s.AverageBlocks);
    visit("Settings", "AverageType", s.AverageType);
    visit("Settings", "PeakHold", s.PeakHold);
    visit("Settings", "DecimationRatio", s.DecimationRatio);
    visit("Settings", "ApplyLowPassFilter", s.ApplyLowPassFilter);
    visit("Settings", "SmoothingWindow", s.SmoothingWindow);
    visit("Settings", "OverlapPercent", s.OverlapPercent);
    visit("Settings", "ChannelProcessing", s.ChannelProcessing);
    visit("Settings", "DelayChannel", s.DelayChannel);
    visit("Settings", "DelayTimeMsec", s.DelayTimeMsec);
    visit("Settings", "EnableOverloadDetection", s.EnableOverloadDetection);
    visit("Settings", "ExcludeOverloadFlag", s.ExcludeOverloadFlag);
    visit("Settings", "SamplingRateCorrectionFactor", s.SamplingRateCorrectionFactor);

    auto& c = p.Processing.Scaling;
    using Text = TextOf<std::remove_reference_t<decltype(c)>>;
    visit("Scaling", "AmpScaleType", c.AmpScaleType);
    visit("Scaling", "FreqScaleType", c.FreqScaleType);
    visit("Scaling", "OctaveNumber", c.OctaveNumber);
    visit("Scaling", "SpectralDensityFlag", c.SpectralDensityFlag);
    visit("Scaling", "SpectralDensityType", c.SpectralDensityType);
    visit("Scaling", "StandardWeighting", c.StandardWeighting);
    visit("Scaling", "MicCompEnable", c.MicCompEnable);
    visit("Scaling", "MicCompFilenameLeft", Text{c.MicCompFilenameLeft, sizeof c.MicCompFilenameLeft});
    visit("Scaling", "MicCompFilenameRight", Text{c.MicCompFilenameRight, sizeof c.MicCompFilenameRight});

    auto& t = p.Trigger;
    visit("Trigger", "Enable", t.Enable);
    visit("Trigger", "AutoReset", t.AutoReset);
    visit("Trigger", "Channel", t.Channel);
    visit("Trigger", "Threshold", t.Threshold);
    visit("Trigger", "DelayType", t.DelayType);
    visit("Trigger", "DelayMsec", t.DelayMsec);
    visit("Trigger", "TriggerType", t.TriggerType);
    visit("Trigger", "TriggerSlope", t.TriggerSlope);

    auto& f = p.FileIO;
    visit("FileIO", "WaveFileMode", f.WaveFileMode);
    visit("FileIO", "MaxRamRecordingTimeSecs", f.MaxRamRecordingTimeSecs);
    visit("FileIO", "MakeBackup", f.MakeBackup);
    visit("FileIO", "IncludeCalibrationData", f.IncludeCalibrationData);
    visit("FileIO", "RecordIOBufferSizeSecs", f.RecordIOBufferSizeSecs);
    visit("FileIO", "RealTimeIOBufferSizeSecs", f.RealTimeIOBufferSizeSecs);
    visit("FileIO", "MaxDiskRecordingSizeBytes", f.MaxDiskRecordingSizeBytes);  // clamped on load
    visit("FileIO", "RealTimeWaveBufferEnableFlag", f.RealTimeWaveBufferEnableFlag);
    visit("FileIO", "RealTimeWaveBufferLengthSecs", f.RealTimeWaveBufferLengthSecs);
    visit("FileIO", "AllowSplitBuffers", f.AllowSplitBuffers);
    visit("FileIO", "DALSelfMonitor", f.DALSelfMonitor);
    visit("FileIO", "DarlaDelay", f.DarlaDelay);
}

// Reads a field as text with its current value as the default. Integers take a plain decimal
// conversion narrowed to the field's width without range checks (the value wraps the way a C
// integer assignment does).
struct FieldReader {
    const TIniStore& ini;

    template <typename Field>
    void operator()(const char* section, const char* key, Field& field) const {
        if constexpr (std::is_floating_point_v<Field>) {
            field = static_cast<Field>(ini.GetDouble(section, key, field));
        } else {
            const int64_t fallback = static_cast<int64_t>(field);
            field = static_cast<Field>(static_cast<uint64_t>(ini.GetInt(section, key, fallback)));
        }
    }
    void operator()(const char* section, const char* key, TextField text) const {
        CopyToField(text.data, text.bytes,
                    ini.GetString(section, key, FieldText(text.data, text.bytes), text.bytes));
    }
};

// Integers as "%d", floating values as "%f", texts as they are.
struct FieldWriter {
    TIniStore& ini;

    template <typename Field>
    void operator()(const char* section, const char* key, const Field& field) const {
        if constexpr (std::is_floating_point_v<Field>)
            ini.SetDouble(section, key, field);
        else
            ini.SetInt(section, key, static_cast<int64_t>(field));
    }
    void operator()(const char* section, const char* key, ConstTextField text) const {
        ini.SetString(section, key, FieldText(text.data, text.bytes));
    }
};

SampleFormat ReadSampleFormat(const TIniStore& ini) {
    const FieldReader read{ini};
    uint32_t rate = 44100;
    uint16_t channels = 1;
    uint16_t bytes = 2;
    read("Settings", "SamplingRate", rate);
    read("Settings", "NumChannels", channels);
    read("Settings", "BytesPerSample", bytes);
    return SampleFormat::Make(rate, channels, bytes);
}

uint32_t ReadMaxDiskRecordingSize(const TIniStore& ini) {
    // Read wide so that values beyond 32 bits still clamp to the top instead of wrapping.
    const int64_t bytes = ini.GetInt("FileIO", "MaxDiskRecordingSizeBytes", kMaxDiskRecordingBytes);
    return static_cast<uint32_t>(std::clamp<int64_t>(bytes, kMinDiskRecordingBytes, kMaxDiskRecordingBytes));
}

}  // namespace

void ProcessingSettings::Load(const TIniStore& ini, DeviceCounts devices) {
    *this = ProcessingSettings{};
    ForEachStoredField(*this, FieldReader{ini});
    Device.InputDeviceID = ClampDeviceId(Device.InputDeviceID, devices.inputs);
    Device.OutputDeviceID = ClampDeviceId(Device.OutputDeviceID, devices.outputs);
    Processing.Settings.format = ReadSampleFormat(ini);
    RecomputeDerivedFields(Processing.Settings);
    FileIO.MaxDiskRecordingSizeBytes = ReadMaxDiskRecordingSize(ini);
    CoherenceSquared = ini.GetInt("Scaling", "CoherenceSquared", 0) != 0;
    // A freshly loaded trigger has neither fired nor started a search.
    Trigger.armed = 0;
    Trigger.triggerState = 0;
}

void ProcessingSettings::Store(TIniStore& ini) const {
    const FieldWriter write{ini};
    const SampleFormat& format = Processing.Settings.format;
    write("Settings", "SamplingRate", format.rate);
    write("Settings", "NumChannels", format.channels);
    write("Settings", "BytesPerSample", format.bytesPerSample);
    ForEachStoredField(*this, write);
    write("Scaling", "CoherenceSquared", CoherenceSquared ? 1 : 0);
}

uint16_t ProcessingSettings::WindowCorrectionMode() const {
    return Processing.Scaling.FreqScaleType == kFreqOctaveBands ? kCorrectionEnergy : kCorrectionAmplitude;
}

bool SameProcessingBlock(const ProcessingBlock& a, const ProcessingBlock& b) {
    return std::memcmp(&a, &b, sizeof(ProcessingBlock)) == 0;
}

uint32_t FrameAdvance(uint32_t fftSize, uint16_t overlapPercent) {
    const double advance = (100.0 - overlapPercent) * fftSize * 0.01;
    const uint32_t samples = advance > 0.0 ? TruncToUint32(advance) : 0;
    return samples == 0 ? 1 : samples;
}

uint32_t DelaySamples(uint32_t rate, float delayMsec) {
    const double samples = static_cast<double>(rate) * delayMsec * 0.001 + 0.5;
    return samples > 0.0 ? TruncToUint32(samples) : 0;
}

void RecomputeDerivedFields(SettingsBlock& settings) {
    settings.frameAdvance = FrameAdvance(settings.FFTsize, settings.OverlapPercent);
    settings.delaySamples = DelaySamples(settings.format.rate, settings.DelayTimeMsec);
}

uint32_t ClampDeviceId(uint32_t stored, uint32_t deviceCount) {
    return stored >= deviceCount ? deviceCount - 1 : stored;  // 0 devices wrap to kNoDevice
}

void CopyToField(char* field, std::size_t fieldBytes, const std::string& text) {
    if (fieldBytes == 0) return;
    std::memset(field, 0, fieldBytes);
    std::memcpy(field, text.data(), std::min(text.size(), fieldBytes - 1));
}

std::string FieldText(const char* field, std::size_t fieldBytes) {
    return std::string(field, strnlen(field, fieldBytes));
}

}  // namespace zeltrak
