#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "files/wave_data.h"
#include "files/wave_file.h"
#include "generator/buffer_length.h"
#include "generator/signal_setup.h"

namespace zeltrak {

// Uniform integers 0..32767 for the triangular dither of the sine types, a block at a time so
// that a 10-second buffer at 192 kHz does not pay a call per sample.
class DitherSource {
public:
    virtual ~DitherSource() = default;
    virtual void Fill(std::span<int32_t> out) = 0;
};

// The default source: a small seeded linear congruential generator (15-bit outputs).
class SeededDither final : public DitherSource {
public:
    explicit SeededDither(uint32_t seed = 1) : state_(seed) {}
    void Fill(std::span<int32_t> out) override;

private:
    uint32_t state_;
};

// Told the percentage done every 1000 samples, for the progress bar.
using SynthesisProgress = std::function<void(int percent)>;

// What a channel's synthesis draws on besides its setup.
struct SynthesisSources {
    std::span<const int16_t> whiteNoise;  // usable samples of each noise recording
    std::span<const int16_t> pinkNoise;
    DitherSource* dither = nullptr;  // null: a SeededDither for this call
    SynthesisProgress progress;      // may be empty
    TWaveData* userWave = nullptr;   // the channel's opened User Defined file, null if it failed
};

struct SynthesisResult {
    bool ok = true;
    std::string message;  // what the user should read when !ok
};

// Writes all samples of `channel` of `buffer` (an in-memory buffer in the output format) for
// `setup` at level factor g (0 < g <= 1). A channel the buffer does not have is left alone.
// A User Defined channel without an open file is left silent and the failure is returned.
SynthesisResult SynthesizeChannel(TWaveData& buffer, const SignalSetup& setup, int channel, double g,
                                  SynthesisSources& sources);

// Opens a User Defined wave file into memory; null (and `message` set) when it cannot be read.
std::unique_ptr<TWaveFile> OpenUserWave(const std::string& path, std::string& message);
UserWaveInfo DescribeUserWave(const TWaveData* wave);

// How many times "save signal as wave" writes the buffer: the periodic waveforms are written
// over at least a second more, the rest once.
uint32_t SaveRepeatCount(SignalType type, uint32_t rate, uint32_t length);
// Writes the buffer `repeats` times into a new wave file of its format.
SynthesisResult SaveSignalAsWave(const TWaveData& buffer, const std::string& path, uint32_t repeats);
// Writes `frames` frames of the buffer played in a loop (the last pass cut short).
SynthesisResult SaveSignalFrames(const TWaveData& buffer, const std::string& path, uint64_t frames);

}  // namespace zeltrak
