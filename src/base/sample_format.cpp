#include "base/sample_format.h"

namespace zeltrak {

SampleFormat SampleFormat::Make(uint32_t rate, uint16_t channels, uint16_t bytesPerSample) {
    SampleFormat f;
    f.rate = rate == 0 ? 44100 : rate;
    f.channels = (channels == 0 || channels > 2) ? 1 : channels;
    f.bytesPerSample = (bytesPerSample == 0 || bytesPerSample > 4) ? 2 : bytesPerSample;
    f.bitsPerSample = static_cast<uint16_t>(8 * f.bytesPerSample);
    switch (f.bytesPerSample) {
        case 1:  // unsigned 8-bit; silence sits at 127, not 128
            f.maxValue = 255;
            f.minValue = 0;
            f.zeroOffset = 127;
            break;
        case 2:  // symmetric: one step short of the two's-complement minimum
            f.maxValue = 32767;
            f.minValue = -32767;
            f.zeroOffset = 0;
            break;
        case 3:
            f.maxValue = 8388607;
            f.minValue = -8388607;
            f.zeroOffset = 0;
            break;
        default:  // 4 bytes: full scale at 2^31, where 32-bit files and cards put it
            f.maxValue = 2147483647;
            f.minValue = -2147483647;
            f.zeroOffset = 0;
            break;
    }
    return f;
}

}  // namespace zeltrak
