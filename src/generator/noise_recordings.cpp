#include "generator/noise_recordings.h"

#include <vector>

namespace zeltrak::noise_bytes {
extern const unsigned char white[];
extern const std::size_t white_size;
extern const unsigned char pink[];
extern const std::size_t pink_size;
}  // namespace zeltrak::noise_bytes

namespace zeltrak {
namespace {

constexpr std::size_t kHeaderBytes = 44;
constexpr std::size_t kSkippedSamples = 22;
constexpr std::size_t kTrimmedSamples = 20;

std::vector<int16_t> DecodeUsable(std::span<const unsigned char> bytes) {
    const NoiseSampleRange range = UsableNoiseRange(bytes.size());
    std::vector<int16_t> samples(range.count);
    const unsigned char* data = bytes.data() + kHeaderBytes + 2 * range.first;
    for (std::size_t i = 0; i < range.count; ++i)
        samples[i] = static_cast<int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return samples;
}

}  // namespace

std::span<const unsigned char> NoiseRecordingBytes(NoiseRecording which) {
    if (which == NoiseRecording::White) return {noise_bytes::white, noise_bytes::white_size};
    return {noise_bytes::pink, noise_bytes::pink_size};
}

NoiseSampleRange UsableNoiseRange(std::size_t resourceBytes) {
    const std::size_t stored = resourceBytes > kHeaderBytes ? (resourceBytes - kHeaderBytes) / 2 : 0;
    if (stored <= kSkippedSamples) return {kSkippedSamples, 0};
    // The count leaves 20 samples out but reading begins 22 in: taken as it stands it would
    // run two samples past the end of the recording, so it stops at the last stored sample.
    const std::size_t trimmed = stored - kTrimmedSamples;
    const std::size_t available = stored - kSkippedSamples;
    return {kSkippedSamples, trimmed < available ? trimmed : available};
}

std::span<const int16_t> NoiseRecordingSamples(NoiseRecording which) {
    static const std::vector<int16_t> white = DecodeUsable(NoiseRecordingBytes(NoiseRecording::White));
    static const std::vector<int16_t> pink = DecodeUsable(NoiseRecordingBytes(NoiseRecording::Pink));
    return which == NoiseRecording::White ? std::span<const int16_t>(white) : std::span<const int16_t>(pink);
}

}  // namespace zeltrak
