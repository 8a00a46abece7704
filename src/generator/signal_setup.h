#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace zeltrak {

// Signal type codes. The type list shows 0..13 in this order (list index = code); Level Sweep
// and Triangular are chosen by name only.
enum class SignalType : int32_t {
    WhiteNoise = 0,
    PinkNoise = 1,
    NoiseBurst = 2,
    Tone1kHz = 3,
    MultipleTones = 4,
    ToneBurst = 5,
    FrequencySweep = 6,
    Sawtooth = 7,
    Pulse = 8,
    Square = 9,
    Imd = 10,
    UserDefined = 11,
    Dtmf = 12,
    DigitalZero = 13,
    LevelSweep = 14,
    Triangular = 15,
};
inline constexpr int32_t kSignalTypeCount = 16;
inline constexpr int kToneSlots = 10;

struct NoiseBurstSetup {
    uint16_t kind = 1;  // 0 white, 1 pink
    int32_t burstMs = 1000;
    int32_t cycleMs = 2000;
};

struct FrequencySweepSetup {
    float startHz = 1000.0f;
    float stopHz = 2000.0f;
    int32_t timeMs = 1000;
    int32_t sweepType = 1;  // 1 linear, 2 logarithmic
};

struct LevelSweepSetup {
    float startDb = -20.0f;
    float stopDb = 0.0f;
    float frequencyHz = 1000.0f;
    int32_t timeMs = 1000;
};

struct ToneSlot {
    int32_t enabled = 0;
    float frequencyHz = 1000.0f;
    float levelDb = 0.0f;
    float amplitude = 1.0f;  // 10^(0.05 x level), recomputed, never stored
};

struct TonesSetup {
    std::array<ToneSlot, kToneSlots> slots = DefaultSlots();

    static constexpr std::array<ToneSlot, kToneSlots> DefaultSlots() {
        std::array<ToneSlot, kToneSlots> slots{};
        for (int k = 0; k < kToneSlots; ++k) slots[k] = {k == 0 ? 1 : 0, 1000.0f * (k + 1), 0.0f, 1.0f};
        return slots;
    }
};

struct ToneBurstSetup {
    int32_t frequencyHz = 1000;
    int32_t burstMs = 1000;
    int32_t cycleMs = 2000;
};

struct ImdSetup {
    uint16_t standard = 0;  // 0 and 1 are the two standard sets, 2 custom
    float lowHz = 100.0f;
    float highHz = 5000.0f;
    float powerRatio = 4.0f;
};

struct PulseSetup {
    int32_t widthUs = 200;
    int32_t intervalUs = 10000;
    int32_t oneShot = 0;
};

struct SawtoothSetup {
    int32_t slope = 1;  // +1 rising, -1 falling
    float frequencyHz = 1000.0f;
};

struct TriangularSetup {
    float frequencyHz = 1000.0f;
};

struct SquareSetup {
    float frequencyHz = 2000.0f;
    int32_t dutyPercent = 50;
};

inline constexpr size_t kWavePathLimit = 260;
inline constexpr size_t kDtmfKeyLimit = 100;

struct UserDefinedSetup {
    std::string waveFile;  // at most kWavePathLimit characters
};

struct DtmfSetup {
    std::string keys = "1234567890*#ABCD";  // at most kDtmfKeyLimit characters
    int32_t pulseMs = 100;
    int32_t spacingMs = 100;
    float twistDb = 3.0f;
    int32_t repeat = 0;
};

// One channel's signal: its type and the parameters of every type, so that switching types
// keeps what the user set for each.
struct SignalSetup {
    SignalType type = SignalType::PinkNoise;
    NoiseBurstSetup noiseBurst;
    FrequencySweepSetup frequencySweep;
    LevelSweepSetup levelSweep;
    TonesSetup tones;
    ToneBurstSetup toneBurst;
    ImdSetup imd;
    PulseSetup pulse;
    SawtoothSetup sawtooth;
    TriangularSetup triangular;
    SquareSetup square;
    UserDefinedSetup userDefined;
    DtmfSetup dtmf;
};

enum class OutputUnits : uint16_t {
    DbFullScale = 0,
    PercentFullScale = 1,
    VoltsRms = 2,
    MillivoltsRms = 3,
    DbvRms = 4,
    DbmvRms = 5,
    DbuRms = 6,
};
inline constexpr int kOutputUnitCount = 7;

// How the user knows the card's full-scale output voltage.
enum class FullScaleMode : uint16_t { Typed = 0, Unknown = 1, Preset = 2 };

struct OutputLevelSetup {
    float levelLeft = 0.0f;
    float levelRight = 0.0f;
    OutputUnits units = OutputUnits::DbFullScale;
    uint16_t cardPreset = 1;
    FullScaleMode fullScaleMode = FullScaleMode::Unknown;
    float fullScaleVolts = 0.0f;
};

}  // namespace zeltrak
