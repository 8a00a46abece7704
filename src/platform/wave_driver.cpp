#include "platform/wave_driver.h"

#include <cstring>

namespace zeltrak {

bool IsPlausiblePcm(const WaveFormat& f) {
    if (f.channels < 1 || f.channels > 2 || f.samplesPerSec == 0) return false;
    if (f.blockAlign == 0 || f.blockAlign % f.channels != 0) return false;
    const uint16_t container = f.ContainerBytes();
    if (container < 1 || container > 4) return false;
    if (f.avgBytesPerSec != static_cast<uint64_t>(f.samplesPerSec) * f.blockAlign) return false;
    if (f.formatTag == kWaveFormatPcm) {
        return f.bitsPerSample >= 1 && f.bitsPerSample <= 8 * container;
    }
    if (f.formatTag == kWaveFormatExtensible) {
        return f.extraSize >= 22 && f.bitsPerSample == 8 * container && f.validBitsPerSample >= 1 &&
               f.validBitsPerSample <= f.bitsPerSample && std::memcmp(f.subFormat, kPcmSubFormat, 16) == 0;
    }
    return false;
}

WaveResult WaveStream::Prepare(WaveHeader& header) {
    if (header.IsQueued()) return kWaveStillPlaying;
    if (header.data == nullptr || header.bufferLength == 0) return kWaveInvalidParam;
    header.flags.fetch_or(kWaveHeaderPrepared, std::memory_order_acq_rel);
    return kWaveOk;
}

WaveResult WaveStream::Unprepare(WaveHeader& header) {
    if (header.IsQueued()) return kWaveStillPlaying;
    header.flags.fetch_and(~kWaveHeaderPrepared, std::memory_order_acq_rel);
    return kWaveOk;
}

WaveResult WaveStream::Message(uint32_t, uintptr_t, uintptr_t) { return kWaveNotSupported; }

void CopyProductName(char (&field)[32], const char* name) {
    std::memset(field, 0, sizeof field);
    if (name != nullptr) std::strncpy(field, name, sizeof field - 1);
}

}  // namespace zeltrak
