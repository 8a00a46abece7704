#include "engine/processing_settings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "base/numeric.h"
#include "dsp/averaging_types.h"
#include "dsp/channel_processing.h"
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

// The values a stored number may take: the range its dialog accepts (a choice's values, a
// flag's 0 and 1), for some fields further narrowed.
struct Accepts {
    double low;
    double high;
    enum Also : uint8_t {
        kAnyInRange,
        kPowerOfTwo,
        kOctaveChoice,
        kNearestLimit,  // a value outside takes the nearer limit instead of the default
    } also = kAnyInRange;
};

constexpr Accepts kFlag{0, 1};
constexpr Accepts Choices(int count) { return {0, count - 1.0}; }
constexpr uint16_t kOctaveChoices[] = {1, 3, 6, 9, 12, 24, 48, 96};

// Every stored key of the settings blocks with what it accepts, in file order, once: loading
// and storing walk the same list, so the two can never disagree about a key. The sample
// format is stored as three keys and rebuilt by its rule, so the callers handle it.
template <typename Settings, typename Visitor>
void ForEachStoredField(Settings& p, Visitor&& visit) {
    auto& d = p.Device;
    // Device numbers are clamped to the devices present afterwards.
    constexpr Accepts kDevice{0, 0xFFFFFFFFu};
    visit("Device", "InputDeviceID", d.InputDeviceID, kDevice);
    visit("Device", "OutputDeviceID", d.OutputDeviceID, kDevice);
    visit("Mode", "OpMode", p.Mode.OpMode, Accepts{kModeRealTime, kModeRecorder});

    auto& s = p.Processing.Settings;
    visit("Settings", "FFTsize", s.FFTsize, Accepts{kSmallestFFTSize, kMaxFFTSize, Accepts::kPowerOfTwo});
    visit("Settings", "AverageBlocks", s.AverageBlocks, Accepts{1, kInfiniteAverageBlocks});
    visit("Settings", "AverageType", s.AverageType, Choices(kAveragingTypeCount));
    visit("Settings", "PeakHold", s.PeakHold, kFlag);
    visit("Settings", "DecimationRatio", s.DecimationRatio, Accepts{1, kMaxDecimationRatio});
    visit("Settings", "ApplyLowPassFilter", s.ApplyLowPassFilter, kFlag);
    visit("Settings", "SmoothingWindow", s.SmoothingWindow, Choices(WindowCode(WindowType::Gaussian) + 1));
    visit("Settings", "OverlapPercent", s.OverlapPercent, Accepts{0, kMaxOverlapPercent});
    visit("Settings", "ChannelProcessing", s.ChannelProcessing, Choices(kChannelProcessingModeCount));
    visit("Settings", "DelayChannel", s.DelayChannel, Choices(2));
    visit("Settings", "DelayTimeMsec", s.DelayTimeMsec, Accepts{0, kMaxDelayMsec});
    visit("Settings", "EnableOverloadDetection", s.EnableOverloadDetection, kFlag);
    visit("Settings", "ExcludeOverloadFlag", s.ExcludeOverloadFlag, kFlag);
    // A clock correction, so close to 1; beyond a factor of two it is no correction.
    visit("Settings", "SamplingRateCorrectionFactor", s.SamplingRateCorrectionFactor, Accepts{0.5, 2.0});

    auto& c = p.Processing.Scaling;
    using Text = TextOf<std::remove_reference_t<decltype(c)>>;
    visit("Scaling", "AmpScaleType", c.AmpScaleType, Choices(2));
    visit("Scaling", "FreqScaleType", c.FreqScaleType, Choices(3));
    visit("Scaling", "OctaveNumber", c.OctaveNumber, Accepts{1, 96, Accepts::kOctaveChoice});
    visit("Scaling", "SpectralDensityFlag", c.SpectralDensityFlag, kFlag);
    visit("Scaling", "SpectralDensityType", c.SpectralDensityType, Choices(2));
    visit("Scaling", "StandardWeighting", c.StandardWeighting, Choices(4));
    visit("Scaling", "MicCompEnable", c.MicCompEnable, kFlag);
    visit("Scaling", "MicCompFilenameLeft", Text{c.MicCompFilenameLeft, sizeof c.MicCompFilenameLeft});
    visit("Scaling", "MicCompFilenameRight", Text{c.MicCompFilenameRight, sizeof c.MicCompFilenameRight});

    auto& t = p.Trigger;
    visit("Trigger", "Enable", t.Enable, kFlag);
    visit("Trigger", "AutoReset", t.AutoReset, kFlag);
    visit("Trigger", "Channel", t.Channel, Choices(2));
    visit("Trigger", "Threshold", t.Threshold, Accepts{0, kMaxTriggerThreshold});
    visit("Trigger", "DelayType", t.DelayType, Choices(2));
    visit("Trigger", "DelayMsec", t.DelayMsec, Accepts{0, kMaxDelayMsec});
    visit("Trigger", "TriggerType", t.TriggerType, Choices(2));
    visit("Trigger", "TriggerSlope", t.TriggerSlope, Choices(2));

    auto& f = p.FileIO;
    constexpr Accepts kIOBuffer{1, kMaxIOBufferSecs};
    visit("FileIO", "WaveFileMode", f.WaveFileMode, Choices(2));
    visit("FileIO", "MaxRamRecordingTimeSecs", f.MaxRamRecordingTimeSecs,
          Accepts{kMinRamRecordingSecs, kMaxRamRecordingSecs});
    visit("FileIO", "MakeBackup", f.MakeBackup, kFlag);
    visit("FileIO", "IncludeCalibrationData", f.IncludeCalibrationData, kFlag);
    visit("FileIO", "RecordIOBufferSizeSecs", f.RecordIOBufferSizeSecs, kIOBuffer);
    visit("FileIO", "RealTimeIOBufferSizeSecs", f.RealTimeIOBufferSizeSecs, kIOBuffer);
    visit("FileIO", "MaxDiskRecordingSizeBytes", f.MaxDiskRecordingSizeBytes,
          Accepts{kMinDiskRecordingBytes, kMaxDiskRecordingBytes, Accepts::kNearestLimit});
    visit("FileIO", "RealTimeWaveBufferEnableFlag", f.RealTimeWaveBufferEnableFlag, kFlag);
    visit("FileIO", "RealTimeWaveBufferLengthSecs", f.RealTimeWaveBufferLengthSecs,
          Accepts{kMinRealTimeBufferSecs, INT32_MAX});
    visit("FileIO", "AllowSplitBuffers", f.AllowSplitBuffers, kFlag);
    visit("FileIO", "DALSelfMonitor", f.DALSelfMonitor, kFlag);
    visit("FileIO", "DarlaDelay", f.DarlaDelay, Accepts{0, kMaxDeviceDelayMsec});
}

bool IsAccepted(double value, Accepts accepts) {
    if (!(value >= accepts.low && value <= accepts.high)) return false;  // NaN included
    const auto whole = static_cast<uint64_t>(value);
    switch (accepts.also) {
        case Accepts::kPowerOfTwo: return (whole & (whole - 1)) == 0;
        case Accepts::kOctaveChoice:
            return std::find(std::begin(kOctaveChoices), std::end(kOctaveChoices), whole) != std::end(kOctaveChoices);
        default: return true;
    }
}

template <typename Field>
std::string NumberText(Field value) {
    if constexpr (std::is_floating_point_v<Field>) {
        char text[64];
        std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
        return text;
    } else {
        return std::to_string(value);
    }
}

// Reads a field; where the key is missing or its value is not accepted, the field keeps its
// current value, the default. Integers take the plain decimal conversion, read wide so that a
// value beyond the field's width is refused instead of wrapping.
struct FieldReader {
    const TIniStore& ini;
    std::vector<std::string>& notes;

    template <typename Field>
    void operator()(const char* section, const char* key, Field& field, Accepts accepts) const {
        if (!ini.HasKey(section, key)) return;
        double value = 0.0;
        if constexpr (std::is_floating_point_v<Field>)
            value = ini.GetDouble(section, key, 0.0);
        else
            value = static_cast<double>(ini.GetInt(section, key, 0));
        if (IsAccepted(value, accepts)) {
            field = static_cast<Field>(value);
            return;
        }
        const bool nearest = accepts.also == Accepts::kNearestLimit;
        if (nearest) field = static_cast<Field>(value < accepts.low ? accepts.low : accepts.high);
        // Appended piece by piece: a chain of + on a literal trips a false -Wrestrict in g++ 12.
        std::string note = "[";
        note.append(section).append("] ").append(key).append("=").append(ini.GetString(section, key, ""));
        note.append(nearest ? " replaced by " : " replaced by the default ").append(NumberText(field));
        notes.push_back(std::move(note));
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
    void operator()(const char* section, const char* key, const Field& field, Accepts = {}) const {
        if constexpr (std::is_floating_point_v<Field>)
            ini.SetDouble(section, key, field);
        else
            ini.SetInt(section, key, static_cast<int64_t>(field));
    }
    void operator()(const char* section, const char* key, ConstTextField text) const {
        ini.SetString(section, key, FieldText(text.data, text.bytes));
    }
};

SampleFormat ReadSampleFormat(const FieldReader& read) {
    uint32_t rate = 44100;
    uint16_t channels = 1;
    uint16_t bytes = 2;
    read("Settings", "SamplingRate", rate, Accepts{1, kMaxSamplingRate});
    read("Settings", "NumChannels", channels, Accepts{1, 2});
    read("Settings", "BytesPerSample", bytes, Accepts{1, 4});
    return SampleFormat::Make(rate, channels, bytes);
}

}  // namespace

std::vector<std::string> ProcessingSettings::Load(const TIniStore& ini, DeviceCounts devices) {
    *this = ProcessingSettings{};
    std::vector<std::string> notes;
    const FieldReader read{ini, notes};
    Processing.Settings.format = ReadSampleFormat(read);
    ForEachStoredField(*this, read);
    Device.InputDeviceID = ClampDeviceId(Device.InputDeviceID, devices.inputs);
    Device.OutputDeviceID = ClampDeviceId(Device.OutputDeviceID, devices.outputs);
    uint32_t coherenceSquared = 0;
    read("Scaling", "CoherenceSquared", coherenceSquared, kFlag);
    CoherenceSquared = coherenceSquared != 0;
    return notes;
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

WindowCorrection ProcessingSettings::WindowCorrectionMode() const {
    return Processing.Scaling.FreqScaleType == kFreqOctaveBands ? WindowCorrection::Energy
                                                                 : WindowCorrection::Amplitude;
}

bool SameProcessingBlock(const ProcessingBlock& a, const ProcessingBlock& b) {
    return std::memcmp(&a, &b, sizeof(ProcessingBlock)) == 0;
}

uint32_t FrameAdvance(uint32_t fftSize, uint16_t overlapPercent) {
    const double overlap = std::min(overlapPercent, kMaxOverlapPercent);
    const double advance = (100.0 - overlap) * fftSize * 0.01;
    const uint32_t samples = advance > 0.0 ? TruncToUint32(advance) : 0;
    return samples == 0 ? 1 : samples;
}

double LimitedDelayMsec(float delayMsec) {
    return delayMsec > 0.0f ? std::min<double>(delayMsec, kMaxDelayMsec) : 0.0;  // NaN too
}

uint32_t DelaySamples(uint32_t rate, float delayMsec) {
    return TruncToUint32(static_cast<double>(rate) * LimitedDelayMsec(delayMsec) * 0.001 + 0.5);
}

uint64_t SeriesSamples(const SettingsBlock& settings) {
    return uint64_t{std::max<uint16_t>(settings.DecimationRatio, 1)} * settings.FFTsize;
}

uint64_t TriggerSeriesSamples(const SettingsBlock& settings, float triggerDelayMsec) {
    const uint64_t delay =
        static_cast<uint64_t>(settings.format.rate * LimitedDelayMsec(triggerDelayMsec) * 0.001);
    return 2 * (SeriesSamples(settings) + delay);
}

uint64_t FileFrameAdvance(const SettingsBlock& settings) {
    return uint64_t{std::max<uint16_t>(settings.DecimationRatio, 1)} *
           FrameAdvance(settings.FFTsize, settings.OverlapPercent);
}

uint32_t ChannelDelaySamples(const SettingsBlock& settings) {
    return DelaySamples(settings.format.rate, settings.DelayTimeMsec);
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
