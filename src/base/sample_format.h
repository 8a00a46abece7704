#pragma once
#include <cstdint>

namespace zeltrak {

// The PCM format of a stream with its full-scale limits. Records that embed it (the
// processing block) are compared byte by byte, so the one gap is an explicit, always-zero
// field rather than compiler padding.
struct SampleFormat {
    uint16_t channels = 1;
    uint16_t reserved = 0;
    uint32_t rate = 44100;
    uint16_t bytesPerSample = 2;
    uint16_t bitsPerSample = 16;
    int32_t maxValue = 32767;
    int32_t minValue = -32767;
    int32_t zeroOffset = 0;

    // The one building rule: out-of-range inputs fall back to 44100 Hz, mono, 16-bit,
    // then the limits follow from the width.
    static SampleFormat Make(uint32_t rate, uint16_t channels, uint16_t bytesPerSample);

    // Full scale as the engine uses it: (maximum - minimum) / 2.
    double FullScale() const { return (static_cast<double>(maxValue) - minValue) / 2.0; }
    uint32_t BlockAlign() const { return static_cast<uint32_t>(channels) * bytesPerSample; }
    uint32_t BytesPerSecond() const { return BlockAlign() * rate; }

    bool operator==(const SampleFormat&) const = default;
};
static_assert(sizeof(SampleFormat) == 24, "SampleFormat has no hidden padding");

}  // namespace zeltrak
