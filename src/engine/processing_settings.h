#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/sample_format.h"
#include "dsp/averaging_types.h"
#include "dsp/fft.h"
#include "dsp/scales.h"
#include "dsp/smoothing.h"

namespace zeltrak {

class TIniStore;

enum OpMode : uint32_t { kModeRealTime = 1, kModePostProcessing = 2, kModeRecorder = 3 };
// The stored codes of the frequency axis.
enum FreqScaleTypes : uint16_t {
    kFreqLinear = ScaleCode(FrequencyScale::Linear),
    kFreqLogarithmic = ScaleCode(FrequencyScale::Logarithmic),
    kFreqOctaveBands = ScaleCode(FrequencyScale::OctaveBands),
};

inline constexpr uint32_t kNoDevice = 0xFFFFFFFFu;
inline constexpr uint32_t kMinDiskRecordingBytes = 1000000;
inline constexpr uint32_t kMaxDiskRecordingBytes = 2000000000;
inline constexpr std::size_t kFileNameBytes = 260;

// The limits the settings dialogs accept; a stored value outside them loads as the default.
inline constexpr uint32_t kSmallestFFTSize = 32;  // the largest is the transform's kMaxFFTSize
inline constexpr uint16_t kMaxDecimationRatio = 30;
inline constexpr uint16_t kMaxOverlapPercent = 99;
inline constexpr double kMaxDelayMsec = 1000.0;  // the channel delay and the trigger delay
inline constexpr uint32_t kMaxTriggerThreshold = 100;
inline constexpr int32_t kMinRealTimeBufferSecs = 4;
inline constexpr int32_t kMinRamRecordingSecs = 4;
inline constexpr int32_t kMaxRamRecordingSecs = 3600;
// No dialog sets these; the limits keep a hand-edited file from sizing buffers beyond reason.
inline constexpr uint32_t kMaxSamplingRate = 768000;
inline constexpr int32_t kMaxIOBufferSecs = 10;  // a longer slot only delays what the loop sees
inline constexpr int32_t kMaxDeviceDelayMsec = 1000;

// The longest frames the engine builds, in samples per channel: the largest FFT size at the
// largest decimation, and the trigger search frame (twice that plus the longest delay at the
// highest rate). Anything longer comes from settings no dialog or loader let through.
inline constexpr uint64_t kMaxSeriesSamples = uint64_t{kMaxFFTSize} * kMaxDecimationRatio;
inline constexpr uint64_t kMaxTriggerSeriesSamples =
    2 * (kMaxSeriesSamples + static_cast<uint64_t>(kMaxSamplingRate * kMaxDelayMsec / 1000.0));

// The settings blocks keep their fields in the stored order and widths. The engine compares
// and copies them byte by byte to learn whether it must rebuild, so every gap that natural
// alignment needs is an explicit field that stays zero: no byte is left to the compiler.

struct DeviceBlock {
    uint32_t InputDeviceID = 0;
    uint32_t OutputDeviceID = 0;
};

struct ModeBlock {
    uint32_t OpMode = kModeRealTime;
};

struct SettingsBlock {
    SampleFormat format = SampleFormat::Make(44100, 1, 2);
    uint32_t FFTsize = 4096;
    uint16_t DecimationRatio = 1;
    uint16_t reserved1 = 0;
    uint32_t ApplyLowPassFilter = 1;
    uint32_t AverageBlocks = 1;
    uint16_t AverageType = AveragingCode(AveragingType::Exponential);
    uint16_t reserved2 = 0;
    uint32_t PeakHold = 0;
    uint16_t SmoothingWindow = 4;
    uint16_t OverlapPercent = 0;
    uint16_t ChannelProcessing = 0;
    uint16_t DelayChannel = 0;
    float DelayTimeMsec = 0.0f;
    uint32_t EnableOverloadDetection = 1;
    uint32_t ExcludeOverloadFlag = 0;
    float SamplingRateCorrectionFactor = 1.0f;
};

struct ScalingBlock {
    uint16_t AmpScaleType = 1;
    uint16_t FreqScaleType = kFreqLogarithmic;
    uint16_t OctaveNumber = 3;
    uint16_t reserved = 0;
    uint32_t SpectralDensityFlag = 0;
    uint16_t SpectralDensityType = 0;
    uint16_t StandardWeighting = 0;
    uint32_t MicCompEnable = 0;
    char MicCompFilenameLeft[kFileNameBytes] = {};
    char MicCompFilenameRight[kFileNameBytes] = {};
};

// The processing block: what the analysis depends on, compared as one run of bytes.
struct ProcessingBlock {
    SettingsBlock Settings;
    ScalingBlock Scaling;
};

struct TriggerBlock {
    uint32_t Enable = 0;
    uint32_t AutoReset = 1;
    uint32_t Channel = 0;
    uint16_t TriggerType = 0;
    uint16_t TriggerSlope = 0;
    uint32_t Threshold = 25;
    uint16_t DelayType = 0;
    uint16_t reserved = 0;
    float DelayMsec = 0.0f;
};

struct FileIOBlock {
    uint32_t WaveFileMode = 1;
    int32_t MaxRamRecordingTimeSecs = 300;
    uint32_t MakeBackup = 1;
    uint32_t IncludeCalibrationData = 1;
    int32_t RecordIOBufferSizeSecs = 1;
    int32_t RealTimeIOBufferSizeSecs = 1;
    uint32_t RealTimeWaveBufferEnableFlag = 1;
    int32_t RealTimeWaveBufferLengthSecs = 60;
    uint32_t AllowSplitBuffers = 1;
    uint32_t DALSelfMonitor = 0;
    int32_t DarlaDelay = 100;
    uint32_t MaxDiskRecordingSizeBytes = kMaxDiskRecordingBytes;
};

// The sizes equal the sum of the fields, which proves there is no hidden padding.
static_assert(sizeof(DeviceBlock) == 8);
static_assert(sizeof(ModeBlock) == 4);
static_assert(sizeof(SettingsBlock) == 72);
static_assert(sizeof(ScalingBlock) == 540);
static_assert(sizeof(ProcessingBlock) == 612);
static_assert(sizeof(TriggerBlock) == 28);
static_assert(sizeof(FileIOBlock) == 48);

// How many devices each direction has when the settings are loaded; device numbers are
// clamped against these.
struct DeviceCounts {
    uint32_t inputs = 0;
    uint32_t outputs = 0;
};

// The one live settings record the shell owns.
struct ProcessingSettings {
    DeviceBlock Device;
    ModeBlock Mode;
    ProcessingBlock Processing;
    TriggerBlock Trigger;
    FileIOBlock FileIO;
    // Coherence shown as its magnitude squared (γ²) instead of |γ|; key CoherenceSquared of
    // the Scaling section, outside the compared processing block.
    bool CoherenceSquared = false;

    SettingsBlock& Settings() { return Processing.Settings; }
    const SettingsBlock& Settings() const { return Processing.Settings; }
    ScalingBlock& Scaling() { return Processing.Scaling; }
    const ScalingBlock& Scaling() const { return Processing.Scaling; }

    // Reads every block from the configuration sections; missing keys take their defaults,
    // and so does a value outside the range its dialog accepts (the disk recording size takes
    // the nearer limit instead). Returns one line per replaced value, in file order, e.g.
    // "[Settings] FFTsize=4294967295 replaced by the default 4096", for the front end to show.
    std::vector<std::string> Load(const TIniStore& ini, DeviceCounts devices);
    // Writes the stored keys of every block.
    void Store(TIniStore& ini) const;

    // The window correction that goes with the frequency axis: energy for fractional-octave
    // bands, amplitude otherwise.
    WindowCorrection WindowCorrectionMode() const;
};

// Byte-for-byte equality of two processing blocks: any difference means the engine rebuilds.
bool SameProcessingBlock(const ProcessingBlock& a, const ProcessingBlock& b);

// The values that follow from the stored ones, computed where they are needed so that they
// can never be stale. An overlap above kMaxOverlapPercent counts as that, a delay outside
// 0 ... kMaxDelayMsec as the nearer limit.
uint32_t FrameAdvance(uint32_t fftSize, uint16_t overlapPercent);
uint32_t DelaySamples(uint32_t rate, float delayMsec);
// The channel delay (DelayTimeMsec) in samples at the input rate.
uint32_t ChannelDelaySamples(const SettingsBlock& settings);
// A delay (channel or trigger) as the engine takes it: within 0 ... kMaxDelayMsec.
double LimitedDelayMsec(float delayMsec);

// The engine's sizes in samples per channel, in 64 bits so that no product wraps; a
// decimation ratio of 0 counts as 1 throughout.
// One frame before decimation: FFTsize x DecimationRatio.
uint64_t SeriesSamples(const SettingsBlock& settings);
// The trigger search frame: twice the frame plus the trigger delay at the input rate.
uint64_t TriggerSeriesSamples(const SettingsBlock& settings, float triggerDelayMsec);
// How far a stored file moves from one frame to the next: the frame advance at the input rate.
uint64_t FileFrameAdvance(const SettingsBlock& settings);

// Clamps a stored device number to the devices present; with none it becomes kNoDevice.
uint32_t ClampDeviceId(uint32_t stored, uint32_t deviceCount);

// Copies text into a fixed field, cut to fit and always terminated.
void CopyToField(char* field, std::size_t fieldBytes, const std::string& text);
std::string FieldText(const char* field, std::size_t fieldBytes);

}  // namespace zeltrak
