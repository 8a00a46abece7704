#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zeltrak {

class Host;
class TIniStore;
class TWaveData;

// 30 third-octave bands and the wideband entry after the last one.
inline constexpr int kReverbBandSlots = 31;
inline constexpr int kReverbDrops = 6;  // 10, 20 ... 60 dB
inline constexpr float kReverbWidebandFrequency = -999.0f;
inline constexpr float kReverbNoLevel = -999.0f;
// The measurement's own rate; other rates are analysed with the same frame length and a hop of
// the same duration.
inline constexpr uint32_t kReverbRate = 44100;
inline constexpr uint32_t kReverbFrameSize = 4096;
inline constexpr uint32_t kReverbHop = 409;

// One analysed frame; also the record of the .rvb file, so its layout is fixed.
struct ReverbFrame {
    float frequency[kReverbBandSlots];  // Hz; -999 marks the wideband entry, 0 an unused one
    float level[kReverbBandSlots];      // dB
    float smoothed[kReverbBandSlots];   // dB
    float time;                         // seconds since the decay analysis started
};
static_assert(sizeof(ReverbFrame) == 376, "ReverbFrame is a file record");

// Unused entries: frequency 0, levels -999.
ReverbFrame ClearedReverbFrame();

struct ReverbBandResult {
    float frequency = 0.0f;
    // Times of a 10, 20 ... 60 dB drop from the first frame; -1 until the drop occurs.
    std::array<float, kReverbDrops> time{-1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f};
    // 1 where the time was extrapolated, 0 where it was measured.
    std::array<int32_t, kReverbDrops> extrapolated{1, 1, 1, 1, 1, 1};
};

enum class ReverbSmoothing : int32_t { None = 0, Averaging = 1, Schroeder = 2 };
enum class ReverbExtrapolation : int32_t { RT10 = 0, RT20 = 1, RT30 = 2 };

struct ReverbOptions {
    ReverbSmoothing smoothing = ReverbSmoothing::Averaging;
    float averageTime = 0.1f;  // kept in the settings; the averaging window is fixed at 0.1 s
    ReverbExtrapolation extrapolation = ReverbExtrapolation::RT20;
    int32_t maxDecayTime = 10;        // whole seconds, 1 ... 30
    int32_t displayedDecayTime = 10;  // seconds on the decay plot
    int32_t displayedRTTime = 5;      // 0 ... 5: t10 ... t60 on the bar chart
    int32_t displayedDecayBand = 10;
    // Plot colours as stored; empty when the settings hold none.
    std::string barColor, backgroundColor, decayColor, surfaceColor, gridColor;
};

void ReadReverbOptions(const TIniStore& ini, ReverbOptions& options);
void WriteReverbOptions(TIniStore& ini, const ReverbOptions& options);
// The options dialog's refusal, or an empty string when the options can be taken.
std::string ReverbOptionsError(const ReverbOptions& options);

// The stimulus and analysis timing for a maximum decay time, in seconds.
struct ReverbTiming {
    float syncStart = 0.8f;
    float syncLength = 0.1f;
    float gap = 0.5f;
    float maxDecay = 10.0f;
    float noiseLength = 10.0f;
    float total = 21.4f;
    float frameStep = 0.009287982f;  // nominal until an analysis gives the real step
    uint32_t frameCapacity = 0;
};
ReverbTiming MakeReverbTiming(int32_t maxDecaySeconds);

// The measurement's results: the decay frames and the times read from them.
struct ReverbData {
    int32_t bandCount = 0;  // bands + 1 for wideband
    std::vector<ReverbFrame> frames;
    ReverbTiming timing;
    std::array<ReverbBandResult, kReverbBandSlots> results{};
    bool present = false;
    bool modified = false;
};

enum class ReverbOutcome { Done, Cancelled, Overload, TooLow, TooShort, BadOptions, OutOfMemory };

// Synchronises to the tone, checks the level, follows the decay of every band, normalises,
// smooths and reads the times. The first channel of any PCM recording is analysed at its own
// rate. On anything but Done the user has been told (through `host`) and `data` is untouched.
ReverbOutcome AnalyseReverbRecording(TWaveData& recording, const ReverbOptions& options, ReverbData& data,
                                     Host& host);

// The start in seconds of the loudest frame peaking strictly between 900 and 1100 Hz among the
// Hanning frames (4096 samples, every 2048) of the first 1.5 x syncStart seconds; syncStart when
// there is none or it lies more than 0.5 s from syncStart.
float FindReverbSync(const std::vector<float>& samples, uint32_t rate, float syncStart);

// Every band's levels relative to its level in frame 0.
void NormaliseReverbLevels(ReverbData& data);
// Smoothed levels from the levels by `method`, then the decay times.
void SmoothAndTimeReverb(ReverbData& data, const ReverbOptions& options);
// The decay times from the smoothed levels, extrapolated by `method`.
void ComputeReverbTimes(ReverbData& data, ReverbExtrapolation method);

}  // namespace zeltrak
