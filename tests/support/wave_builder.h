#pragma once
// Wave files assembled by hand, byte by byte, independently of the wave-file code they check.
#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace zeltrak::test {

inline std::vector<uint8_t> ReadAll(const std::string& path) {
    const std::string s = testing::ReadFile(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    testing::WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

// Little-endian fields, and byte strings joined.
inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) { Put16(v, x), Put16(v, x >> 16); }
inline uint16_t Get16(const std::vector<uint8_t>& v, size_t at) {
    return static_cast<uint16_t>(v[at] | v[at + 1] << 8);
}
inline uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
    return Get16(v, at) | uint32_t{Get16(v, at + 2)} << 16;
}
inline std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    return a.insert(a.end(), b.begin(), b.end()), a;
}

// One chunk: id, size field (as given, may lie) and body (padded when odd).
inline std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body, int64_t sizeField = -1) {
    std::vector<uint8_t> v(id, id + 4);
    Put32(v, sizeField < 0 ? static_cast<uint32_t>(body.size()) : static_cast<uint32_t>(sizeField));
    v.insert(v.end(), body.begin(), body.end());
    if (body.size() & 1) v.push_back(0);
    return v;
}

inline std::vector<uint8_t> FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign,
                                    uint16_t bits) {
    std::vector<uint8_t> v;
    for (uint32_t x : {uint32_t(tag) | channels << 16, rate, rate * blockAlign, uint32_t(blockAlign) | bits << 16})
        Put32(v, x);
    return v;
}

// WAVE_FORMAT_EXTENSIBLE with the standard sub-format GUID of `subFormat` (1 PCM, 3 float).
inline std::vector<uint8_t> ExtensibleFmtBody(uint16_t channels, uint32_t rate, uint16_t blockAlign, uint16_t bits,
                                              uint16_t validBits, uint16_t subFormat) {
    std::vector<uint8_t> v = FmtBody(0xFFFE, channels, rate, blockAlign, bits);
    for (uint32_t x : {22u | validBits << 16, 0u, uint32_t(subFormat)}) Put32(v, x);  // then the mask, the GUID
    return Cat(v, {0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
}

// RIFF/WAVE around the given chunks; the RIFF size is correct unless given.
inline std::vector<uint8_t> RiffWave(const std::vector<std::vector<uint8_t>>& chunks, int64_t sizeField = -1) {
    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    for (const auto& c : chunks) body = Cat(body, c);
    return Chunk("RIFF", body, sizeField);
}

inline std::vector<uint8_t> SimpleWave(uint16_t channels, uint16_t bytesPerSample, uint32_t rate,
                                       const std::vector<uint8_t>& samples, uint16_t tag = 1) {
    const auto ba = static_cast<uint16_t>(channels * bytesPerSample);
    return RiffWave({Chunk("fmt ", FmtBody(tag, channels, rate, ba, static_cast<uint16_t>(8 * bytesPerSample))),
                     Chunk("data", samples)});
}

// Deterministic test samples: a pseudo-random byte pattern.
inline std::vector<uint8_t> PatternBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : v) x ^= x << 13, x ^= x >> 17, x ^= x << 5, b = static_cast<uint8_t>(x >> 7);
    return v;
}

}  // namespace zeltrak::test
