#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace zeltrak {

// The two pre-recorded noises the generator plays; it never computes noise itself.
enum class NoiseRecording { White, Pink };

// The whole recording as stored: a mono 44.1 kHz 16-bit wave file with a 44-byte header.
std::span<const unsigned char> NoiseRecordingBytes(NoiseRecording which);

// Where the played samples lie in a recording of `resourceBytes` bytes, counted in samples
// from the start of the data.
struct NoiseSampleRange {
    std::size_t first = 0;
    std::size_t count = 0;
};
NoiseSampleRange UsableNoiseRange(std::size_t resourceBytes);

// The samples that are played, decoded once from the little-endian data.
std::span<const int16_t> NoiseRecordingSamples(NoiseRecording which);

}  // namespace zeltrak
