#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zeltrak {

// `zeltrak generate TYPE [parameters] (-o FILE.wav | --play)`: the parameters as given, each
// checked to be a number or one of its names; unset ones keep the generator's settings. Their
// ranges are the generator's dialogs' rules, checked where the signal is made.
struct GenerateOptions {
    std::string type;
    std::string output;  // -o FILE.wav
    bool play = false;
    double seconds = 0.0;  // 0: the buffer once to a file, or play until interrupted

    std::vector<double> frequencies;  // --freq HZ[,HZ...]: up to ten for Multiple Tones
    std::vector<double> toneLevels;   // --tone-db DB[,DB...]
    std::optional<double> start, stop;  // sweep ends: Hz (frequency sweep) or dB (level sweep)
    std::optional<int32_t> sweepType;   // 1 linear, 2 logarithmic
    std::optional<double> timeMs, burstMs, cycleMs, dutyPercent, widthUs, intervalUs;
    std::optional<uint16_t> noiseKind;  // 0 white, 1 pink
    std::optional<int32_t> slope;       // +1 rising, -1 falling
    std::optional<uint16_t> imdSet;     // 0, 1 standard, 2 custom
    std::optional<double> lowHz, highHz, ratio;
    std::optional<std::string> keys;
    std::optional<double> pulseMs, spacingMs, twistDb;
    bool oneShot = false;
    bool repeat = false;
    std::optional<std::string> waveFile;

    std::optional<double> level;       // both channels, in the units
    std::optional<uint16_t> units;     // the output level units code
    std::optional<double> fullScaleVolts;
    std::optional<uint32_t> rate;      // output format; unset: the analyser's
    std::optional<uint16_t> channels;
    std::optional<uint16_t> bytesPerSample;
};

}  // namespace zeltrak
