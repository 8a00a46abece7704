#pragma once
#include <cstdint>
#include <optional>

#include "base/sample_format.h"
#include "generator/signal_setup.h"

namespace zeltrak {

// What the length and format rules need to know of a User Defined channel's wave file.
struct UserWaveInfo {
    bool opened = false;
    SampleFormat format;
    uint32_t frames = 0;
};

// What the length rules need beyond the signal setup.
struct LengthInputs {
    uint32_t rate = 44100;
    uint32_t whiteUsable = 0;  // usable samples of the white and pink noise recordings
    uint32_t pinkUsable = 0;
    UserWaveInfo userWave;     // the channel's User Defined file, if it is of that type
};

// Whole samples per period of a periodic waveform: the sample count `samples`, cut toward zero,
// kept within 0..UINT32_MAX so that absurd settings read from a file cannot overflow.
uint32_t TruncSamples(double samples);
// Samples of one pass through a DTMF key string (all keys, each a pulse and a spacing).
uint64_t DtmfPeriod(const DtmfSetup& dtmf, uint32_t rate);
// One channel's period P in samples.
uint64_t PeriodLength(const SignalSetup& setup, const LengthInputs& in);
// The period rounded up to a loopable buffer: the smallest whole number of periods strictly
// longer than one second, so a short period never plays as a click train of a single period.
uint32_t ChannelLength(const SignalSetup& setup, const LengthInputs& in);
// The buffer length L: channel 0's, or channel 1's when stereo and longer.
uint32_t BufferLength(const SignalSetup& left, const LengthInputs& leftIn, const SignalSetup& right,
                      const LengthInputs& rightIn, bool stereo);

// The analyser's side of the output format.
struct AnalyserOutput {
    uint32_t rate = 44100;
    uint16_t channels = 1;
    uint16_t bytesPerSample = 2;
    bool force16Bit = false;  // the device cannot play 24-bit on this system
};

// The generator's output format: the generator rate key (0 = the analyser's rate), the analyser's
// channels and width, unless a User Defined channel's file dictates rate and width.
SampleFormat GeneratorOutputFormat(uint32_t generatorRateKey, const AnalyserOutput& analyser,
                                   const SignalSetup& left, const UserWaveInfo& leftWave,
                                   const SignalSetup& right, const UserWaveInfo& rightWave);

}  // namespace zeltrak
