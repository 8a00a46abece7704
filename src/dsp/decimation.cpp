#include "dsp/decimation.h"

#include <cmath>
#include <cstring>

#include "base/numeric.h"
#include "dsp/smoothing.h"

namespace zeltrak {

namespace {

constexpr double kPi = 3.141592653589793;

int32_t ReadSample(const uint8_t* p, uint16_t width) {
    switch (width) {
        case 1:
            return p[0];
        case 2:
            return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
        case 3: {
            const uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                               (static_cast<uint32_t>(p[2]) << 16);
            return static_cast<int32_t>(v << 8) >> 8;  // sign-extend from bit 23
        }
        default:
            return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                        (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
    }
}

void WriteSample(uint8_t* p, uint16_t width, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    p[0] = static_cast<uint8_t>(v);
    if (width >= 2) p[1] = static_cast<uint8_t>(v >> 8);
    if (width >= 3) p[2] = static_cast<uint8_t>(v >> 16);
    if (width >= 4) p[3] = static_cast<uint8_t>(v >> 24);
}

// The range a stored sample of this width can hold.
void WidthRange(uint16_t width, int32_t& low, int32_t& high) {
    switch (width) {
        case 1:
            low = 0;
            high = 255;
            break;
        case 2:
            low = -32768;
            high = 32767;
            break;
        case 3:
            low = -8388608;
            high = 8388607;
            break;
        default:
            low = INT32_MIN;
            high = INT32_MAX;
            break;
    }
}

}  // namespace

DecimationTaps DesignDecimationFilter(uint32_t ratio) {
    const double d = ratio < 1 ? 1.0 : static_cast<double>(ratio);
    const double omega = kPi / d;
    double h[kDecimationTaps];
    h[kDecimationAdvance] = omega / kPi;
    for (int n = 1; n <= kDecimationAdvance; ++n)
        h[kDecimationAdvance + n] = h[kDecimationAdvance - n] = std::sin(n * omega) / (n * kPi);
    const TSmoothing hanning(kDecimationTaps, WindowType::Hanning, WindowCorrection::None);
    DecimationTaps taps{};
    for (int k = 0; k < kDecimationTaps; ++k) taps[k] = static_cast<float>(h[k] * hanning.Coefficients()[k]);
    if (ratio < 2) {
        // π/1 puts every side tap on a zero of the sinc; store the identity exactly.
        taps.fill(0.0f);
        taps[kDecimationAdvance] = 1.0f;
    }
    return taps;
}

bool LowPassFilterSamples(uint8_t* samples, size_t count, uint16_t bytesPerSample, const DecimationTaps& taps) {
    if (!samples || bytesPerSample < 1 || bytesPerSample > 4) return false;
    if (count <= 40) return true;
    int32_t low, high;
    WidthRange(bytesPerSample, low, high);
    const size_t w = bytesPerSample;
    // A ring of the next 39 inputs as doubles, so each sample is decoded once.
    double window[2 * kDecimationTaps];
    for (int k = 0; k < kDecimationTaps; ++k)
        window[k] = window[k + kDecimationTaps] = ReadSample(samples + k * w, bytesPerSample);
    int head = 0;
    for (size_t p = 0; p < count - 40; ++p) {
        double acc = 0;
        const double* s = window + head;
        for (int k = 0; k < kDecimationTaps; ++k) acc += s[k] * static_cast<double>(taps[k]);
        int32_t value = TruncToInt32(acc);
        if (value < low) value = low;
        if (value > high) value = high;
        WriteSample(samples + p * w, bytesPerSample, value);
        // slide: drop s[p], take in s[p + 39] (still unfiltered: p + 39 > p)
        const double next = ReadSample(samples + (p + kDecimationTaps) * w, bytesPerSample);
        window[head] = window[head + kDecimationTaps] = next;
        head = head + 1 == kDecimationTaps ? 0 : head + 1;
    }
    return true;
}

size_t DecimateSamples(uint8_t* samples, size_t count, uint16_t bytesPerSample, uint32_t ratio) {
    if (!samples || ratio == 0 || bytesPerSample < 1 || bytesPerSample > 4) return 0;
    const size_t kept = count / ratio;
    const size_t w = bytesPerSample;
    for (size_t i = 1; i < kept; ++i) std::memmove(samples + i * w, samples + i * ratio * w, w);
    return kept;
}

}  // namespace zeltrak
