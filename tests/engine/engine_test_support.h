#pragma once
// Shared pieces of the engine tests: wave files written and read byte by byte (independently
// of the wave-file code), a listener that keeps what each frame showed, and a Loopback card
// on a manual clock whose input hears a known ramp.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dsp/spectral_data.h"
#include "engine/engine.h"
#include "engine/engine_listener.h"
#include "engine/series_data.h"
#include "engine/multi_device_driver.h"
#include "support/wave_builder.h"
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
    std::vector<int16_t> samples;
};

// Walks the chunks of a 16-bit PCM file by hand; the header sizes must agree with the file.
inline WavContents ReadWav16(const std::string& path) {
    WavContents w;
    const std::vector<uint8_t> b = ReadAll(path);
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) return w;
    const size_t riffEnd = 8 + size_t{Get32(b, 4)};
    bool haveFormat = false;
    for (size_t at = 12, size = 0; at + 8 <= riffEnd && riffEnd <= b.size(); at += 8 + size + (size & 1)) {
        size = Get32(b, at + 4);
        if (at + 8 + size > riffEnd) return w;
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0) {
            haveFormat = Get16(b, at + 22) == 16;
        } else if (std::memcmp(b.data() + at, "data", 4) == 0 && haveFormat) {
            for (size_t i = 0; i + 1 < size; i += 2) w.samples.push_back(static_cast<int16_t>(Get16(b, at + 8 + i)));
            w.ok = true;
            return w;
        }
    }
    return w;
}

// The ramp the test card plays: sample n is Ramp(n).
inline constexpr uint32_t kRampPeriod = 30000;
inline int16_t Ramp(uint64_t n) { return static_cast<int16_t>(static_cast<int32_t>(n % kRampPeriod) - 15000); }
// Where in the ramp a sample lies.
inline uint32_t RampIndex(int32_t value) { return static_cast<uint32_t>(value + 15000); }

// A manual-clock Loopback card whose output plays the ramp in a loop, so that everything the
// input records can be checked sample by sample.
class RampCard {
public:
    explicit RampCard(uint32_t rate, LoopbackConfig config = ManualClock()) : card(config) {
        for (uint32_t n = 0; n < kRampPeriod; ++n) ramp.push_back(Ramp(n));
        WaveFormat f;
        f.channels = 1;
        f.samplesPerSec = rate;
        f.blockAlign = 2;
        f.avgBytesPerSec = rate * 2;
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
        std::vector<int32_t> left;  // decimated series samples
        int32_t levelLeft = 0;
        bool overloaded = false, analysed = false;
        uint32_t averaged = 0;  // frames in the left spectrum's average
        double currentTime = 0.0;
    };
    void OnFrame(const EngineFrame& f) override {
        Entry e;
        auto copy = [](const TSeriesData* s, std::vector<int32_t>& out) {
            if (!s) return;
            for (uint32_t i = 0; i < s->DecimatedLength(); ++i) out.push_back(s->Raw(i));
        };
        copy(f.left, e.left);
        e.levelLeft = f.levelLeft;
        e.overloaded = f.overloaded;
        e.analysed = f.analysed;
        e.currentTime = f.currentTime;
        if (f.spectrums[0]) e.averaged = f.spectrums[0]->Averager().Averaged();
        frames.push_back(std::move(e));
    }
    void OnStopped() override { ++stops; }
    std::vector<Entry> frames;
    int stops = 0;
};

}  // namespace zeltrak::test
