#pragma once
// Shared by the synthesis files: the sample writer, the block loop and the sine makers.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>

#include "files/wave_data.h"
#include "generator/signal_synthesis.h"

namespace zeltrak::synthesis {

// The generator's own value of two pi, used in every sine argument.
inline constexpr double kTwoPi = 6.283185308;
// Samples per progress report; also how often the oscillators are set exactly again.
inline constexpr uint32_t kBlock = 1000;

// Stores whole sample values of one channel of an in-memory buffer. Values are clamped to the
// format's range so that a level read unchecked from a settings file cannot wrap around.
class ChannelWriter {
public:
    ChannelWriter(TWaveData& buffer, int channel);
    bool Usable() const { return base_ != nullptr || length_ == 0; }
    uint32_t Length() const { return length_; }
    const SampleFormat& Format() const { return format_; }
    void Put(uint32_t i, int64_t value) const {
        const int64_t v = std::clamp<int64_t>(value, format_.minValue, format_.maxValue);
        EncodeSample(base_ + static_cast<size_t>(i) * stride_, format_.bytesPerSample, static_cast<int32_t>(v));
    }
    // count values from `first`, truncated toward zero, one loop per width.
    void PutBlock(uint32_t first, const double* v, uint32_t count) const;
    int32_t Get(uint32_t i) const {
        return DecodeSample(base_ + static_cast<size_t>(i) * stride_, format_.bytesPerSample);
    }
    void FillZero() const;

private:
    SampleFormat format_;
    uint8_t* base_ = nullptr;
    uint32_t stride_ = 0;
    uint32_t length_ = 0;
};

// Calls body(first, count) over [0, length) in blocks of kBlock, reporting progress before each.
template <class Body>
void ForBlocks(uint32_t length, const SynthesisProgress& progress, Body&& body) {
    for (uint32_t first = 0; first < length; first += kBlock) {
        if (progress) progress(static_cast<int>(100.0 * first / length));
        body(first, std::min(kBlock, length - first));
    }
}

// The common output rule of the sine types: s[k] scaled by g around the zero value, with
// triangular dither, rounded to the nearest whole value (toward zero after adding 0.5).
void SineOutput(const ChannelWriter& out, double g, uint32_t first, const double* s, uint32_t count,
                DitherSource& dither);

struct Tone {
    double hz;
    double amplitude;
};
// out[k] += sum of amplitude x sin(2 pi x hz x (time + k) / rate) over the tones, k < count <= kBlock,
// by rotating each tone's phasor from an exact start at `time`: one sin/cos pair per tone per
// call instead of one per sample.
void AddSines(std::span<const Tone> tones, uint32_t rate, uint64_t time, double* out, uint32_t count);

// sin(x) within about 1e-13 for |x| below 8e8 (a sweep's phase reaches a few million): the
// periods are taken off with 2 pi in three parts, the first two short enough that k times them
// is exact, and a polynomial does the rest.
inline double FastSin(double x) {
    constexpr double kInvTwoPi = 0.15915494309189535;
    constexpr double kTwoPi1 = 6.28125;
    constexpr double kTwoPi2 = 0.0019353071693331003;
    constexpr double kTwoPi3 = 1.0253376606378076e-11;
    constexpr double kPi = 3.141592653589793116;
    constexpr double kHalfPi = 1.5707963267948966;
    // Rounds to the nearest whole number without a library call (exact below 2^51).
    constexpr double kRound = 6755399441055744.0;
    const double k = (x * kInvTwoPi + kRound) - kRound;
    double r = ((x - k * kTwoPi1) - k * kTwoPi2) - k * kTwoPi3;
    // Folded into [-pi/2, pi/2] without a branch, so that a loop of these vectorises.
    const double a = std::abs(r);
    r = a > kHalfPi ? std::copysign(kPi - a, r) : r;
    const double r2 = r * r;
    // Taylor series to x^17: the first term left out is below 5e-14 on [-pi/2, pi/2].
    double p = -1.0 / 355687428096000.0;
    p = p * r2 + 1.0 / 1307674368000.0;
    p = p * r2 - 1.0 / 6227020800.0;
    p = p * r2 + 1.0 / 39916800.0;
    p = p * r2 - 1.0 / 362880.0;
    p = p * r2 + 1.0 / 5040.0;
    p = p * r2 - 1.0 / 120.0;
    p = p * r2 + 1.0 / 6.0;
    return r - r * r2 * p;
}

}  // namespace zeltrak::synthesis

namespace zeltrak {
// The sweeps, kept apart for size; each writes all samples of the writer's channel.
void SynthesizeFrequencySweep(const synthesis::ChannelWriter& out, const FrequencySweepSetup& sweep, double g,
                              DitherSource& dither, const SynthesisProgress& progress);
void SynthesizeLevelSweep(const synthesis::ChannelWriter& out, const LevelSweepSetup& sweep, double g,
                          DitherSource& dither, const SynthesisProgress& progress);
// The log sweep's rate constant after tuning, exposed for tests.
double TunedLogSweepRate(double f1, double f2, uint32_t n, uint32_t rate);
}  // namespace zeltrak
