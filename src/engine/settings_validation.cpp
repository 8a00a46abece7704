#include "engine/settings_validation.h"

#include <array>
#include <cstdio>
#include <utility>
#include <vector>

#include "base/text_format.h"
#include "base/strings.h"
#include "dsp/spectral_data.h"
#include "engine/device_list.h"
#include "engine/format_query.h"
#include "engine/settings_strings.h"
#include "files/ini_store.h"
#include "measure/compensation_curve.h"

namespace zeltrak {

namespace {

namespace text = settings_text;

// A typed entry counts only when the whole of it (blanks around it aside) is a number: the
// plain conversion would read "12abc" as 12 and letters as 0, and a letter-filled field must
// not pass as a valid zero. An unusable entry takes the value `refused`, which the range
// check of its field then turns down with that field's own message.
bool WholeEntry(const std::string& text, bool allowFraction) {
    std::size_t i = 0, end = text.size();
    while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
    while (end > i && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    if (i < end && (text[i] == '+' || text[i] == '-')) ++i;
    bool digits = false, point = false;
    for (; i < end; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && allowFraction && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

int64_t EntryInt(const std::string& text, int64_t refused) {
    return WholeEntry(text, false) ? ParseDecimalInt(text) : refused;
}

double EntryNumber(const std::string& text, double refused) {
    return WholeEntry(text, true) ? ParseDecimalDouble(text) : refused;
}

bool IsStandardRate(int64_t rate) { return rate == 11025 || rate == 22050 || rate == 44100; }

// The lowest and highest rates the device takes in this width and channel count. Its reported
// limits come from old capability bits (44,100 Hz at most) and understate what it accepts, so
// the preset rates are asked; when it takes none of them the reported limits are all we have.
std::pair<uint32_t, uint32_t> AcceptedRateRange(const ProcessingDialogFields& fields, TFormatQuery& device) {
    uint32_t lowest = 0, highest = 0;
    for (const uint32_t rate : kPresetRates) {
        if (!device.QueryFormat(rate, fields.bytesPerSample, fields.channels)) continue;
        if (lowest == 0) lowest = rate;
        highest = rate;
    }
    if (lowest == 0) return {device.MinRate(), device.MaxRate()};
    return {lowest, highest};
}

// Step 1 of the processing dialog: would the input device take this format?
ValidationResult CheckDeviceFormat(ProcessingDialogFields& fields, TFormatQuery& device) {
    // Letters or a rate of no hertz are a typing matter, not the device's: say so without asking it.
    const int64_t rate = EntryInt(fields.samplingRate, 0);
    if (rate <= 0) return ValidationResult::Fail(text::kRateNotANumber);
    if (rate <= 0xFFFFFFFFll && device.QueryFormat(static_cast<uint32_t>(rate), fields.bytesPerSample, fields.channels))
        return {};
    const uint32_t highest = device.MaxRate();
    if (device.StandardRatesOnly()) {
        if (IsStandardRate(rate)) return {};
        fields.samplingRate = std::to_string(highest);
        switch (highest) {
            case 22050: return ValidationResult::Fail(text::kRateMust11025Or22050);
            case 44100: return ValidationResult::Fail(text::kRateMustStandard);
            default: return ValidationResult::Fail(text::kRateMust11025);
        }
    }
    const auto [lowest, top] = AcceptedRateRange(fields, device);
    return ValidationResult::Fail(
        FormatText(LoadString(kStrSampleRateRange).c_str(), static_cast<long>(lowest), static_cast<long>(top)));
}

// The averaging size: "Infinite" or a count; 0 when the entry is neither (no count, letters,
// or more frames than "Infinite" stands for, which would otherwise wrap in 32 bits).
uint32_t ParseAverageBlocks(const std::string& entry) {
    if (entry == text::kInfinite) return kInfiniteAverageBlocks;
    const int64_t blocks = EntryInt(entry, 0);
    return blocks >= 1 && blocks <= kInfiniteAverageBlocks ? static_cast<uint32_t>(blocks) : 0;
}

}  // namespace

ProcessingDialogFields ProcessingDialogFields::From(const SettingsBlock& s) {
    ProcessingDialogFields f;
    f.channels = s.format.channels;
    f.bytesPerSample = s.format.bytesPerSample;
    f.samplingRate = std::to_string(s.format.rate);
    f.fftSize = s.FFTsize;
    f.decimationRatio = std::to_string(s.DecimationRatio);
    f.applyLowPassFilter = s.ApplyLowPassFilter != 0;
    f.averageBlocks = s.AverageBlocks == kInfiniteAverageBlocks ? text::kInfinite : std::to_string(s.AverageBlocks);
    f.peakHold = s.PeakHold != 0;
    f.smoothingWindow = s.SmoothingWindow;
    f.overlapPercent = std::to_string(s.OverlapPercent);
    f.averageType = s.AverageType;
    f.channelProcessing = s.ChannelProcessing;
    char delay[64];
    std::snprintf(delay, sizeof delay, "%g", static_cast<double>(s.DelayTimeMsec));
    f.delayTimeMsec = delay;
    f.delayChannel = s.DelayChannel;
    f.enableOverloadDetection = s.EnableOverloadDetection != 0;
    f.excludeOverloadFlag = s.ExcludeOverloadFlag != 0;
    return f;
}

uint64_t EstimateProcessingMemory(const SettingsBlock& s) {
    const uint64_t n = s.FFTsize;
    const uint64_t channels = s.format.channels;
    const uint64_t bins = n / 2 + 1;
    // Per channel the raw frame and the trigger search frame (built whether or not a trigger
    // is on; its delay is not known here), plus the float frame and window.
    const uint64_t raw = SeriesSamples(s) + TriggerSeriesSamples(s, 0.0f);
    uint64_t bytes = raw * channels * s.format.bytesPerSample + channels * n * 2 * sizeof(float);
    // Four spectral objects, each with current, averaged, peak and complex spectra.
    constexpr uint64_t kSpectra = 4;
    bytes += kSpectra * bins * 6 * sizeof(float);
    // Linear averaging keeps a ring of whole spectra (power and complex).
    if (AveragingTypeFromCode(s.AverageType) == AveragingType::Linear && s.AverageBlocks <= kMaxLinearHistoryBlocks)
        bytes += kSpectra * static_cast<uint64_t>(s.AverageBlocks) * bins * 3 * sizeof(float);
    return bytes;
}

ValidationResult AcceptProcessingDialog(ProcessingDialogFields& fields, TFormatQuery& device,
                                        const FreeMemoryProbe& freeMemory, SettingsBlock& settings) {
    SettingsBlock candidate = settings;
    if (ValidationResult r = CheckDeviceFormat(fields, device); !r.ok) return r;
    const int64_t rate = EntryInt(fields.samplingRate, 0);

    candidate.FFTsize = fields.fftSize;

    const int64_t decimation = EntryInt(fields.decimationRatio, 0);
    if (decimation < 1 || decimation > kMaxDecimationRatio)
        return ValidationResult::Fail(FormatText(text::kDecimationRange, static_cast<int>(kMaxDecimationRatio)));
    candidate.DecimationRatio = static_cast<uint16_t>(decimation);
    candidate.ApplyLowPassFilter = fields.applyLowPassFilter ? 1 : 0;
    candidate.AverageBlocks = ParseAverageBlocks(fields.averageBlocks);
    if (candidate.AverageBlocks == 0) return ValidationResult::Fail(text::kAveragingSizeRange);
    candidate.PeakHold = fields.peakHold ? 1 : 0;
    candidate.SmoothingWindow = fields.smoothingWindow;
    candidate.format = SampleFormat::Make(static_cast<uint32_t>(rate), fields.channels, fields.bytesPerSample);

    // Read in every mode: an entry ignored in one mode came back as the old value unannounced.
    const int64_t overlap = EntryInt(fields.overlapPercent, -1);
    if (overlap < 0 || overlap > kMaxOverlapPercent) {
        fields.overlapPercent = "50";
        return ValidationResult::Fail(text::kOverlapRange);
    }
    candidate.OverlapPercent = static_cast<uint16_t>(overlap);

    candidate.AverageType = fields.averageType;
    candidate.ChannelProcessing = fields.channelProcessing;

    const double delay = EntryNumber(fields.delayTimeMsec, -1.0);
    if (!(delay >= 0.0 && delay <= kMaxDelayMsec)) return ValidationResult::Fail(text::kDelayRange);
    candidate.DelayTimeMsec = static_cast<float>(delay);

    candidate.DelayChannel = fields.delayChannel;
    candidate.EnableOverloadDetection = fields.enableOverloadDetection ? 1 : 0;
    candidate.ExcludeOverloadFlag = fields.excludeOverloadFlag ? 1 : 0;

    if (candidate.FFTsize > 65536) {
        const uint64_t needNew = EstimateProcessingMemory(candidate);
        const uint64_t needLive = EstimateProcessingMemory(settings);
        if (needNew > needLive && freeMemory && freeMemory() < needNew - needLive)
            return ValidationResult::Fail(LoadString(kStrInsufficientMemory));
    }

    settings = candidate;
    return {};
}

TriggerDialogFields TriggerDialogFields::From(const TriggerBlock& t) {
    TriggerDialogFields f;
    f.enable = t.Enable != 0;
    f.autoReset = t.AutoReset != 0;
    f.channel = t.Channel;
    f.threshold = std::to_string(t.Threshold);
    f.triggerType = t.TriggerType;
    char delay[64];
    std::snprintf(delay, sizeof delay, "%g", static_cast<double>(t.DelayMsec));
    f.delayMsec = delay;
    f.delayType = t.DelayType;
    f.triggerSlope = t.TriggerSlope;
    return f;
}

ValidationResult AcceptTriggerDialog(const TriggerDialogFields& fields, TriggerBlock& trigger) {
    TriggerBlock candidate = trigger;
    candidate.Enable = fields.enable ? 1 : 0;
    candidate.AutoReset = fields.autoReset ? 1 : 0;
    candidate.Channel = fields.channel;
    const int64_t threshold = EntryInt(fields.threshold, -1);
    if (threshold < 0 || threshold > kMaxTriggerThreshold)
        return ValidationResult::Fail(FormatText(text::kThresholdRange, 0, static_cast<int>(kMaxTriggerThreshold)));
    candidate.Threshold = static_cast<uint32_t>(threshold);
    candidate.TriggerType = fields.triggerType;
    const double delay = EntryNumber(fields.delayMsec, -1.0);
    if (!(delay >= 0.0 && delay <= kMaxDelayMsec))
        return ValidationResult::Fail(FormatText(text::kTriggerDelayRange, static_cast<int>(kMaxDelayMsec)));
    candidate.DelayMsec = static_cast<float>(delay);
    candidate.DelayType = fields.delayType;
    candidate.TriggerSlope = fields.triggerSlope;
    trigger = candidate;
    return {};
}

FileOptionsDialogFields FileOptionsDialogFields::From(const FileIOBlock& f) {
    FileOptionsDialogFields d;
    d.realTimeBufferSecs = std::to_string(f.RealTimeWaveBufferLengthSecs);
    d.maxRamRecordingSecs = std::to_string(f.MaxRamRecordingTimeSecs);
    d.maxDiskRecordingMB = std::to_string(f.MaxDiskRecordingSizeBytes / 1000000u);
    d.realTimeWaveBufferEnable = f.RealTimeWaveBufferEnableFlag != 0;
    d.waveFileMode = f.WaveFileMode;
    d.makeBackup = f.MakeBackup != 0;
    d.includeCalibrationData = f.IncludeCalibrationData != 0;
    return d;
}

ValidationResult AcceptFileOptionsDialog(const FileOptionsDialogFields& fields, FileIOBlock& fileIO) {
    FileIOBlock candidate = fileIO;
    const int64_t bufferSecs = EntryInt(fields.realTimeBufferSecs, 0);
    if (bufferSecs < kMinRealTimeBufferSecs) return ValidationResult::Fail(text::kRealTimeBufferMin);
    // Beyond 32 bits the stored length would wrap; hold it at the largest count that fits.
    candidate.RealTimeWaveBufferLengthSecs = static_cast<int32_t>(std::min<int64_t>(bufferSecs, INT32_MAX));

    const int64_t ramSecs = EntryInt(fields.maxRamRecordingSecs, 0);
    if (ramSecs < kMinRamRecordingSecs) return ValidationResult::Fail(text::kMaxRamMin);
    if (ramSecs > kMaxRamRecordingSecs) return ValidationResult::Fail(text::kMaxRamMax);
    candidate.MaxRamRecordingTimeSecs = static_cast<int32_t>(ramSecs);

    const int64_t diskMB = EntryInt(fields.maxDiskRecordingMB, 0);
    if (diskMB < kMinDiskRecordingBytes / 1000000) return ValidationResult::Fail(text::kMaxDiskMin);
    if (diskMB > kMaxDiskRecordingBytes / 1000000) return ValidationResult::Fail(text::kMaxDiskMax);
    candidate.MaxDiskRecordingSizeBytes = static_cast<uint32_t>(diskMB * 1000000);

    candidate.RealTimeWaveBufferEnableFlag = fields.realTimeWaveBufferEnable ? 1 : 0;
    candidate.WaveFileMode = fields.waveFileMode;
    candidate.MakeBackup = fields.makeBackup ? 1 : 0;
    candidate.IncludeCalibrationData = fields.includeCalibrationData ? 1 : 0;
    fileIO = candidate;
    return {};
}

namespace {
constexpr std::array<FrequencyAxisChoice, kFrequencyAxisChoices> kFrequencyAxes{{
    {kFreqLinear, 0},
    {kFreqLogarithmic, 0},
    {kFreqOctaveBands, 1},
    {kFreqOctaveBands, 3},
    {kFreqOctaveBands, 6},
    {kFreqOctaveBands, 9},
    {kFreqOctaveBands, 12},
    {kFreqOctaveBands, 24},
    {kFreqOctaveBands, 48},
    {kFreqOctaveBands, 96},
}};
}  // namespace

FrequencyAxisChoice FrequencyAxisFromChoice(int choice) {
    if (choice < 0 || choice >= kFrequencyAxisChoices) return kFrequencyAxes[1];
    return kFrequencyAxes[static_cast<std::size_t>(choice)];
}

int ChoiceFromFrequencyAxis(uint16_t freqScaleType, uint16_t octaveNumber) {
    if (freqScaleType != kFreqOctaveBands) return freqScaleType == kFreqLinear ? 0 : 1;
    for (int i = 2; i < kFrequencyAxisChoices; ++i)
        if (kFrequencyAxes[static_cast<std::size_t>(i)].octaveNumber == octaveNumber) return i;
    return 3;  // an unknown band count shows as third-octave, the default
}

ScalingDialogFields ScalingDialogFields::From(const ScalingBlock& s) {
    ScalingDialogFields f;
    f.ampScaleType = s.AmpScaleType;
    f.frequencyAxisChoice = ChoiceFromFrequencyAxis(s.FreqScaleType, s.OctaveNumber);
    f.spectralDensity = s.SpectralDensityFlag != 0;
    f.spectralDensityType = s.SpectralDensityType;
    f.standardWeighting = s.StandardWeighting;
    f.micCompEnable = s.MicCompEnable != 0;
    f.micCompFilenameLeft = FieldText(s.MicCompFilenameLeft, sizeof s.MicCompFilenameLeft);
    f.micCompFilenameRight = FieldText(s.MicCompFilenameRight, sizeof s.MicCompFilenameRight);
    return f;
}

// A compensation curve that cannot be read would leave the readings uncompensated without a
// word once the dialog has closed: refuse it while the user can still choose another.
ValidationResult CheckCompensationFiles(const ScalingDialogFields& fields) {
    if (!fields.micCompEnable) return {};
    for (const std::string& name : {fields.micCompFilenameLeft, fields.micCompFilenameRight}) {
        if (name.empty()) continue;
        std::vector<CurvePoint> points;
        const CurveFileStatus status = ReadCompensationFile(name.substr(0, kMicCompNameChars), points);
        if (status != CurveFileStatus::Ok) return ValidationResult::Fail(CompensationMessage(status, name));
    }
    return {};
}

ValidationResult AcceptScalingDialog(const ScalingDialogFields& fields, ScalingBlock& scaling) {
    if (ValidationResult r = CheckCompensationFiles(fields); !r.ok) return r;
    scaling.AmpScaleType = fields.ampScaleType;
    const FrequencyAxisChoice axis = FrequencyAxisFromChoice(fields.frequencyAxisChoice);
    scaling.FreqScaleType = axis.freqScaleType;
    if (axis.octaveNumber != 0) scaling.OctaveNumber = axis.octaveNumber;
    scaling.SpectralDensityFlag = fields.spectralDensity ? 1 : 0;
    scaling.SpectralDensityType = fields.spectralDensityType;
    scaling.StandardWeighting = fields.standardWeighting;
    scaling.MicCompEnable = fields.micCompEnable ? 1 : 0;
    // The dialog's edit boxes hold at most 256 characters.
    CopyToField(scaling.MicCompFilenameLeft, sizeof scaling.MicCompFilenameLeft,
                fields.micCompFilenameLeft.substr(0, kMicCompNameChars));
    CopyToField(scaling.MicCompFilenameRight, sizeof scaling.MicCompFilenameRight,
                fields.micCompFilenameRight.substr(0, kMicCompNameChars));
    return {};
}

std::string MicCompFileFilter() { return FormatText(text::kMicCompFilter, text::kMicCompFiles); }

}  // namespace zeltrak
