#include "engine/processing_settings.h"

#include <cstring>

#include "base/numeric.h"
#include "files/ini_store.h"

namespace zeltrak {

namespace {

// Plain decimal conversion narrowed to the field's width without range checks: the value
// wraps the way a C integer assignment does.
template <typename Field>
void ReadInt(const TIniStore& ini, const char* section, const char* key, Field& field) {
    const int64_t fallback = static_cast<int64_t>(field);
    field = static_cast<Field>(static_cast<uint64_t>(ini.GetInt(section, key, fallback)));
}

void ReadFloat(const TIniStore& ini, const char* section, const char* key, float& field) {
    field = static_cast<float>(ini.GetDouble(section, key, field));
}

void ReadText(const TIniStore& ini, const char* section, const char* key, char* field, std::size_t bytes) {
    CopyToField(field, bytes, ini.GetString(section, key, FieldText(field, bytes), bytes));
}

template <typename Field>
void WriteInt(TIniStore& ini, const char* section, const char* key, Field value) {
    ini.SetInt(section, key, static_cast<int64_t>(value));
}

void LoadDevice(const TIniStore& ini, DeviceBlock& d, DeviceCounts counts) {
    ReadInt(ini, "Device", "InputDeviceID", d.InputDeviceID);
    ReadInt(ini, "Device", "OutputDeviceID", d.OutputDeviceID);
    d.InputDeviceID = ClampDeviceId(d.InputDeviceID, counts.inputs);
    d.OutputDeviceID = ClampDeviceId(d.OutputDeviceID, counts.outputs);
}

void LoadSettings(const TIniStore& ini, SettingsBlock& s) {
    const char* sec = "Settings";
    uint32_t rate = 44100;
    uint16_t channels = 1;
    uint16_t bytes = 2;
    ReadInt(ini, sec, "SamplingRate", rate);
    ReadInt(ini, sec, "NumChannels", channels);
    ReadInt(ini, sec, "BytesPerSample", bytes);
    s.format = SampleFormat::Make(rate, channels, bytes);
    ReadInt(ini, sec, "FFTsize", s.FFTsize);
    ReadInt(ini, sec, "AverageBlocks", s.AverageBlocks);
    ReadInt(ini, sec, "AverageType", s.AverageType);
    ReadInt(ini, sec, "PeakHold", s.PeakHold);
    ReadInt(ini, sec, "DecimationRatio", s.DecimationRatio);
    ReadInt(ini, sec, "ApplyLowPassFilter", s.ApplyLowPassFilter);
    ReadInt(ini, sec, "SmoothingWindow", s.SmoothingWindow);
    ReadInt(ini, sec, "OverlapPercent", s.OverlapPercent);
    ReadInt(ini, sec, "ChannelProcessing", s.ChannelProcessing);
    ReadInt(ini, sec, "DelayChannel", s.DelayChannel);
    ReadFloat(ini, sec, "DelayTimeMsec", s.DelayTimeMsec);
    ReadInt(ini, sec, "EnableOverloadDetection", s.EnableOverloadDetection);
    ReadInt(ini, sec, "ExcludeOverloadFlag", s.ExcludeOverloadFlag);
    ReadFloat(ini, sec, "SamplingRateCorrectionFactor", s.SamplingRateCorrectionFactor);
    RecomputeDerivedFields(s);
}

void LoadScaling(const TIniStore& ini, ScalingBlock& s) {
    const char* sec = "Scaling";
    ReadInt(ini, sec, "AmpScaleType", s.AmpScaleType);
    ReadInt(ini, sec, "FreqScaleType", s.FreqScaleType);
    ReadInt(ini, sec, "OctaveNumber", s.OctaveNumber);
    ReadInt(ini, sec, "SpectralDensityFlag", s.SpectralDensityFlag);
    ReadInt(ini, sec, "SpectralDensityType", s.SpectralDensityType);
    ReadInt(ini, sec, "StandardWeighting", s.StandardWeighting);
    ReadInt(ini, sec, "MicCompEnable", s.MicCompEnable);
    ReadText(ini, sec, "MicCompFilenameLeft", s.MicCompFilenameLeft, sizeof s.MicCompFilenameLeft);
    ReadText(ini, sec, "MicCompFilenameRight", s.MicCompFilenameRight, sizeof s.MicCompFilenameRight);
}

void LoadTrigger(const TIniStore& ini, TriggerBlock& t) {
    const char* sec = "Trigger";
    ReadInt(ini, sec, "Enable", t.Enable);
    ReadInt(ini, sec, "AutoReset", t.AutoReset);
    ReadInt(ini, sec, "Channel", t.Channel);
    ReadInt(ini, sec, "Threshold", t.Threshold);
    ReadInt(ini, sec, "DelayType", t.DelayType);
    ReadFloat(ini, sec, "DelayMsec", t.DelayMsec);
    ReadInt(ini, sec, "TriggerType", t.TriggerType);
    ReadInt(ini, sec, "TriggerSlope", t.TriggerSlope);
    // A freshly loaded trigger has neither fired nor started a search.
    t.armed = 0;
    t.triggerState = 0;
}

void LoadFileIO(const TIniStore& ini, FileIOBlock& f) {
    const char* sec = "FileIO";
    ReadInt(ini, sec, "WaveFileMode", f.WaveFileMode);
    ReadInt(ini, sec, "MaxRamRecordingTimeSecs", f.MaxRamRecordingTimeSecs);
    ReadInt(ini, sec, "MakeBackup", f.MakeBackup);
    ReadInt(ini, sec, "IncludeCalibrationData", f.IncludeCalibrationData);
    ReadInt(ini, sec, "RecordIOBufferSizeSecs", f.RecordIOBufferSizeSecs);
    ReadInt(ini, sec, "RealTimeIOBufferSizeSecs", f.RealTimeIOBufferSizeSecs);
    // Read wide so that values beyond 32 bits still clamp to the top instead of wrapping.
    int64_t maxDisk = ini.GetInt(sec, "MaxDiskRecordingSizeBytes", f.MaxDiskRecordingSizeBytes);
    if (maxDisk < kMinDiskRecordingBytes) maxDisk = kMinDiskRecordingBytes;
    if (maxDisk > kMaxDiskRecordingBytes) maxDisk = kMaxDiskRecordingBytes;
    f.MaxDiskRecordingSizeBytes = static_cast<uint32_t>(maxDisk);
    ReadInt(ini, sec, "RealTimeWaveBufferEnableFlag", f.RealTimeWaveBufferEnableFlag);
    ReadInt(ini, sec, "RealTimeWaveBufferLengthSecs", f.RealTimeWaveBufferLengthSecs);
    ReadInt(ini, sec, "AllowSplitBuffers", f.AllowSplitBuffers);
    ReadInt(ini, sec, "DALSelfMonitor", f.DALSelfMonitor);
    ReadInt(ini, sec, "DarlaDelay", f.DarlaDelay);
}

}  // namespace

void ProcessingSettings::Load(const TIniStore& ini, DeviceCounts devices) {
    *this = ProcessingSettings{};
    LoadDevice(ini, Device, devices);
    ReadInt(ini, "Mode", "OpMode", Mode.OpMode);
    LoadSettings(ini, Processing.Settings);
    LoadScaling(ini, Processing.Scaling);
    LoadTrigger(ini, Trigger);
    LoadFileIO(ini, FileIO);
}

void ProcessingSettings::Store(TIniStore& ini) const {
    WriteInt(ini, "Device", "InputDeviceID", Device.InputDeviceID);
    WriteInt(ini, "Device", "OutputDeviceID", Device.OutputDeviceID);
    WriteInt(ini, "Mode", "OpMode", Mode.OpMode);

    const SettingsBlock& s = Processing.Settings;
    const char* sec = "Settings";
    WriteInt(ini, sec, "SamplingRate", s.format.rate);
    WriteInt(ini, sec, "NumChannels", s.format.channels);
    WriteInt(ini, sec, "BytesPerSample", s.format.bytesPerSample);
    WriteInt(ini, sec, "FFTsize", s.FFTsize);
    WriteInt(ini, sec, "AverageBlocks", s.AverageBlocks);
    WriteInt(ini, sec, "AverageType", s.AverageType);
    WriteInt(ini, sec, "PeakHold", s.PeakHold);
    WriteInt(ini, sec, "DecimationRatio", s.DecimationRatio);
    WriteInt(ini, sec, "ApplyLowPassFilter", s.ApplyLowPassFilter);
    WriteInt(ini, sec, "SmoothingWindow", s.SmoothingWindow);
    WriteInt(ini, sec, "OverlapPercent", s.OverlapPercent);
    WriteInt(ini, sec, "ChannelProcessing", s.ChannelProcessing);
    WriteInt(ini, sec, "DelayChannel", s.DelayChannel);
    ini.SetDouble(sec, "DelayTimeMsec", s.DelayTimeMsec);
    WriteInt(ini, sec, "EnableOverloadDetection", s.EnableOverloadDetection);
    WriteInt(ini, sec, "ExcludeOverloadFlag", s.ExcludeOverloadFlag);
    ini.SetDouble(sec, "SamplingRateCorrectionFactor", s.SamplingRateCorrectionFactor);

    const ScalingBlock& c = Processing.Scaling;
    sec = "Scaling";
    WriteInt(ini, sec, "AmpScaleType", c.AmpScaleType);
    WriteInt(ini, sec, "FreqScaleType", c.FreqScaleType);
    WriteInt(ini, sec, "OctaveNumber", c.OctaveNumber);
    WriteInt(ini, sec, "SpectralDensityFlag", c.SpectralDensityFlag);
    WriteInt(ini, sec, "SpectralDensityType", c.SpectralDensityType);
    WriteInt(ini, sec, "StandardWeighting", c.StandardWeighting);
    WriteInt(ini, sec, "MicCompEnable", c.MicCompEnable);
    ini.SetString(sec, "MicCompFilenameLeft", FieldText(c.MicCompFilenameLeft, sizeof c.MicCompFilenameLeft));
    ini.SetString(sec, "MicCompFilenameRight", FieldText(c.MicCompFilenameRight, sizeof c.MicCompFilenameRight));

    sec = "Trigger";
    WriteInt(ini, sec, "Enable", Trigger.Enable);
    WriteInt(ini, sec, "AutoReset", Trigger.AutoReset);
    WriteInt(ini, sec, "Channel", Trigger.Channel);
    WriteInt(ini, sec, "Threshold", Trigger.Threshold);
    WriteInt(ini, sec, "DelayType", Trigger.DelayType);
    ini.SetDouble(sec, "DelayMsec", Trigger.DelayMsec);
    WriteInt(ini, sec, "TriggerType", Trigger.TriggerType);
    WriteInt(ini, sec, "TriggerSlope", Trigger.TriggerSlope);

    sec = "FileIO";
    WriteInt(ini, sec, "WaveFileMode", FileIO.WaveFileMode);
    WriteInt(ini, sec, "MaxRamRecordingTimeSecs", FileIO.MaxRamRecordingTimeSecs);
    WriteInt(ini, sec, "MakeBackup", FileIO.MakeBackup);
    WriteInt(ini, sec, "IncludeCalibrationData", FileIO.IncludeCalibrationData);
    WriteInt(ini, sec, "RecordIOBufferSizeSecs", FileIO.RecordIOBufferSizeSecs);
    WriteInt(ini, sec, "RealTimeIOBufferSizeSecs", FileIO.RealTimeIOBufferSizeSecs);
    WriteInt(ini, sec, "MaxDiskRecordingSizeBytes", FileIO.MaxDiskRecordingSizeBytes);
    WriteInt(ini, sec, "RealTimeWaveBufferEnableFlag", FileIO.RealTimeWaveBufferEnableFlag);
    WriteInt(ini, sec, "RealTimeWaveBufferLengthSecs", FileIO.RealTimeWaveBufferLengthSecs);
    WriteInt(ini, sec, "AllowSplitBuffers", FileIO.AllowSplitBuffers);
    WriteInt(ini, sec, "DALSelfMonitor", FileIO.DALSelfMonitor);
    WriteInt(ini, sec, "DarlaDelay", FileIO.DarlaDelay);
}

uint16_t ProcessingSettings::WindowCorrectionMode() const {
    return Processing.Scaling.FreqScaleType == kFreqOctaveBands ? kEnergyCorrection : kAmplitudeCorrection;
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
