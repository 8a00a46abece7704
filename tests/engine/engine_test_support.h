#pragma once
// Shared pieces of the engine tests: wave files written and read byte by byte (independently
// of the wave-file code), a listener that keeps what each frame showed, and a Loopback card
// on a manual clock whose input hears a known ramp.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "dsp/spectral_data.h"
#include "engine/engine.h"
#include "engine/engine_listener.h"
#include "engine/series_data.h"
#include "files/wave_test_util.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"

namespace zeltrak::test {

// A 16-bit PCM file with the given interleaved samples.
inline void WriteWav16(const std::string& path, uint16_t channels, uint32_t rate, const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes;
    for (int16_t s : samples) Put16(bytes, static_cast<uint16_t>(s));
    WriteAll(path, SimpleWave(channels, 2, rate, bytes));
}

struct WavContents {
    bool ok = false;
    uint16_t channels = 0;
    uint32_t rate = 0;
    std::vector<int16_t> samples;
};

// Walks the chunks of a 16-bit PCM file by hand; the header sizes must agree with the file.
inline WavContents ReadWav16(const std::string& path) {
    WavContents w;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u32 = [&](size_t at) { return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24; };
    auto u16 = [&](size_t at) { return uint16_t(b[at] | b[at + 1] << 8); };
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) return w;
    const size_t riffEnd = 8 + static_cast<size_t>(u32(4));
    if (riffEnd > b.size()) return w;
    size_t at = 12;
    bool haveFormat = false;
    while (at + 8 <= riffEnd) {
        const uint32_t size = u32(at + 4);
        if (at + 8 + size > riffEnd) return w;
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0) {
            w.channels = u16(at + 10);
            w.rate = u32(at + 12);
            haveFormat = u16(at + 22) == 16;
        } else if (std::memcmp(b.data() + at, "data", 4) == 0 && haveFormat) {
            for (uint32_t i = 0; i + 1 < size; i += 2) w.samples.push_back(static_cast<int16_t>(u16(at + 8 + i)));
            w.ok = true;
            return w;
        }
        at += 8 + size + (size & 1);
    }
    return w;
}

// The ramp the test card plays: sample n of the left channel is Ramp(n), the right is -Ramp(n).
inline constexpr uint32_t kRampPeriod = 30000;
inline int16_t Ramp(uint64_t n) { return static_cast<int16_t>(static_cast<int32_t>(n % kRampPeriod) - 15000); }
// Where in the ramp a sample lies.
inline uint32_t RampIndex(int32_t value) { return static_cast<uint32_t>(value + 15000); }

// A manual-clock Loopback card whose output plays the ramp in a loop, so that everything the
// input records can be checked sample by sample.
class RampCard {
public:
    explicit RampCard(uint32_t rate, uint16_t channels = 1) : card(Config()) {
        for (uint32_t n = 0; n < kRampPeriod; ++n) {
            ramp.push_back(Ramp(n));
            if (channels == 2) ramp.push_back(static_cast<int16_t>(-Ramp(n)));
        }
        WaveFormat f;
        f.channels = channels;
        f.samplesPerSec = rate;
        f.blockAlign = static_cast<uint16_t>(2 * channels);
        f.avgBytesPerSec = rate * f.blockAlign;
        f.bitsPerSample = 16;
        ok = card.Open(WaveDirection::Output, 0, f, nullptr, out) == kWaveOk;
        header.data = ramp.data();
        header.bufferLength = static_cast<uint32_t>(ramp.size() * 2);
        header.loops = 0x80000000u;
        header.flags = kWaveHeaderBeginLoop | kWaveHeaderEndLoop;
        ok = ok && out->Prepare(header) == kWaveOk && out->AddBuffer(header) == kWaveOk;
    }
    ~RampCard() {
        if (out) out->Close();
    }
    static LoopbackConfig Config() {
        LoopbackConfig c;
        c.clock = LoopbackConfig::Clock::Manual;
        return c;
    }

    LoopbackDriver card;
    std::unique_ptr<WaveStream> out;
    std::vector<int16_t> ramp;
    WaveHeader header;
    bool ok = false;
};

// Keeps a copy of what every frame showed.
class FrameLog : public TEngineListener {
public:
    struct Entry {
        std::vector<int32_t> left, right;  // decimated series samples
        int32_t levelLeft = 0, levelRight = 0;
        bool overloaded = false, analysed = false;
        uint32_t averaged = 0;  // frames in the left spectrum's average
    };
    void OnFrame(const EngineFrame& f) override {
        Entry e;
        auto copy = [](const TSeriesData* s, std::vector<int32_t>& out) {
            if (!s) return;
            for (uint32_t i = 0; i < s->DecimatedLength(); ++i) out.push_back(s->Raw(i));
        };
        copy(f.left, e.left);
        copy(f.right, e.right);
        e.levelLeft = f.levelLeft;
        e.levelRight = f.levelRight;
        e.overloaded = f.overloaded;
        e.analysed = f.analysed;
        if (f.spectrums[0]) e.averaged = f.spectrums[0]->Averaged();
        frames.push_back(std::move(e));
    }
    void OnStopped() override { ++stops; }
    std::vector<Entry> frames;
    int stops = 0;
};

}  // namespace zeltrak::test
