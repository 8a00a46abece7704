#include "platform/loopback_driver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <vector>

#include "platform/buffer_done_queue.h"
#include "platform/wave_driver_chain.h"

namespace zeltrak {
namespace {

WaveFormat Pcm(uint32_t rate, uint16_t channels, uint16_t bytes) {
    WaveFormat f;
    f.formatTag = kWaveFormatPcm;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.blockAlign = static_cast<uint16_t>(channels * bytes);
    f.avgBytesPerSec = rate * f.blockAlign;
    f.bitsPerSample = static_cast<uint16_t>(8 * bytes);
    return f;
}

LoopbackConfig Manual() {
    LoopbackConfig c;
    c.clock = LoopbackConfig::Clock::Manual;
    return c;
}

// One open direction with one buffer queued.
struct Side {
    std::unique_ptr<WaveStream> stream;
    std::vector<uint8_t> data;
    WaveHeader header;

    WaveResult Open(WaveDriver& d, WaveDirection dir, const WaveFormat& f, WaveNotifySink* sink = nullptr) {
        return d.Open(dir, 0, f, sink, stream);
    }
    void Queue(size_t bytes) {
        if (data.size() != bytes) data.assign(bytes, 0);
        header.data = data.data();
        header.bufferLength = static_cast<uint32_t>(bytes);
        ASSERT_EQ(stream->Prepare(header), kWaveOk);
        ASSERT_EQ(stream->AddBuffer(header), kWaveOk);
    }
};

int32_t Sample32(const std::vector<uint8_t>& d, size_t i) {
    return static_cast<int32_t>(static_cast<uint32_t>(d[4 * i]) | static_cast<uint32_t>(d[4 * i + 1]) << 8 |
                                static_cast<uint32_t>(d[4 * i + 2]) << 16 | static_cast<uint32_t>(d[4 * i + 3]) << 24);
}

void Put32(std::vector<uint8_t>& d, size_t i, int32_t v) {
    for (int b = 0; b < 4; ++b) d[4 * i + b] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * b));
}

TEST(LoopbackWire, GainDelayAndImpulseResponseMatchADirectConvolution) {
    LoopbackConfig c = Manual();
    c.gain[0] = 0.5;
    c.gain[1] = -1.25;
    c.delaySamples[0] = 3;
    c.delaySamples[1] = 11;
    c.impulseResponse[0] = {0.6, -0.3, 0.15, 0.05};
    c.impulseResponse[1] = {};  // a plain wire on the right
    LoopbackDriver card(c);
    Side out, in;
    const size_t frames = 2000;
    ASSERT_EQ(in.Open(card, WaveDirection::Input, Pcm(44100, 2, 4)), kWaveOk);
    ASSERT_EQ(out.Open(card, WaveDirection::Output, Pcm(44100, 2, 4)), kWaveOk);
    out.data.resize(frames * 8);
    std::srand(7);
    std::vector<double> x[2];
    for (size_t n = 0; n < frames; ++n) {
        for (int ch = 0; ch < 2; ++ch) {
            const int32_t v = (std::rand() % 2000001 - 1000000) * 500;  // up to about a quarter of full scale
            Put32(out.data, 2 * n + ch, v);
            x[ch].push_back(v / 2147483648.0);
        }
    }
    out.Queue(out.data.size());
    in.Queue(frames * 8);
    ASSERT_EQ(in.stream->Start(), kWaveOk);
    card.Advance(frames);
    ASSERT_TRUE(in.header.IsDone());
    EXPECT_EQ(in.header.bytesRecorded.load(), frames * 8);

    for (int ch = 0; ch < 2; ++ch) {
        const std::vector<double> h = ch == 0 ? c.impulseResponse[0] : std::vector<double>{1.0};
        for (size_t n = 0; n < frames; ++n) {
            double y = 0.0;
            for (size_t k = 0; k < h.size(); ++k) {
                const long i = static_cast<long>(n) - static_cast<long>(c.delaySamples[ch]) - static_cast<long>(k);
                if (i >= 0) y += h[k] * x[ch][i];
            }
            y *= c.gain[ch];
            ASSERT_NEAR(Sample32(in.data, 2 * n + ch) / 2147483648.0, y, 1.0 / 2147483648.0) << n << " " << ch;
        }
    }
}

TEST(LoopbackWire, OutputVolumeScalesEachChannel) {
    LoopbackDriver card(Manual());
    ASSERT_EQ(card.SetVolume(0, 0x4000u << 16 | 0x8000u), kWaveOk);
    Side out, in;
    ASSERT_EQ(in.Open(card, WaveDirection::Input, Pcm(8000, 2, 4)), kWaveOk);
    ASSERT_EQ(out.Open(card, WaveDirection::Output, Pcm(8000, 2, 4)), kWaveOk);
    out.data.resize(8);
    Put32(out.data, 0, 1 << 30);  // half of the 2^31 full scale
    Put32(out.data, 1, 1 << 30);
    out.Queue(8);
    in.Queue(8);
    in.stream->Start();
    card.Advance(1);
    EXPECT_NEAR(Sample32(in.data, 0) / 2147483648.0, 0.5 * 32768.0 / 65535.0, 1e-9);
    EXPECT_NEAR(Sample32(in.data, 1) / 2147483648.0, 0.5 * 16384.0 / 65535.0, 1e-9);
}

double Rms(const std::vector<uint8_t>& d, int channel, size_t frames) {
    double sum = 0.0;
    for (size_t n = 0; n < frames; ++n) {
        const double v = Sample32(d, 2 * n + channel) / 2147483648.0;
        sum += v * v;
    }
    return std::sqrt(sum / frames);
}

TEST(LoopbackWire, NoiseFloorHasItsLevelAndRepeatsPerSeed) {
    LoopbackConfig c = Manual();
    c.noiseDb = -40.0;
    c.noiseSeed = 12345;
    const size_t frames = 1 << 16;
    auto record = [&](const LoopbackConfig& config) {
        LoopbackDriver card(config);
        Side in;
        EXPECT_EQ(in.Open(card, WaveDirection::Input, Pcm(48000, 2, 4)), kWaveOk);
        in.Queue(frames * 8);
        in.stream->Start();
        card.Advance(frames);
        return in.data;
    };
    const std::vector<uint8_t> a = record(c);
    EXPECT_NEAR(Rms(a, 0, frames), 0.01, 0.0002);
    EXPECT_NEAR(Rms(a, 1, frames), 0.01, 0.0002);
    double mean = 0.0, cross = 0.0;
    for (size_t n = 0; n < frames; ++n) {
        const double l = Sample32(a, 2 * n) / 2147483648.0, r = Sample32(a, 2 * n + 1) / 2147483648.0;
        mean += l;
        cross += l * r;
    }
    EXPECT_LT(std::fabs(mean / frames), 0.0002);
    EXPECT_LT(std::fabs(cross / frames) / 1e-4, 0.02);  // the channels are uncorrelated
    EXPECT_EQ(record(c), a);
    c.noiseSeed = 12346;
    EXPECT_NE(record(c), a);
}

TEST(LoopbackWire, TestSineHasItsFrequencyAndLevelUntilOutputOpens) {
    LoopbackConfig c = Manual();
    c.source = LoopbackConfig::Source::Sine;
    c.sineHz = 1500.0;
    c.sineDb = -12.0;
    LoopbackDriver card(c);
    Side in;
    const size_t frames = 4800;  // 1500 Hz falls on bin 150
    ASSERT_EQ(in.Open(card, WaveDirection::Input, Pcm(48000, 2, 4)), kWaveOk);
    in.Queue(frames * 8);
    in.stream->Start();
    card.Advance(frames);
    // A direct DFT of the left channel.
    std::vector<std::complex<double>> twiddle(frames);
    for (size_t m = 0; m < frames; ++m) twiddle[m] = std::polar(1.0, -2.0 * M_PI * m / frames);
    std::vector<double> x(frames);
    for (size_t n = 0; n < frames; ++n) x[n] = Sample32(in.data, 2 * n) / 2147483648.0;
    std::vector<double> magnitude(frames / 2);
    for (size_t k = 0; k < frames / 2; ++k) {
        std::complex<double> sum = 0.0;
        for (size_t n = 0; n < frames; ++n) sum += x[n] * twiddle[(k * n) % frames];
        magnitude[k] = 2.0 * std::abs(sum) / frames;
    }
    EXPECT_NEAR(magnitude[150], std::pow(10.0, -12.0 / 20.0), 1e-6);
    for (size_t k = 0; k < frames / 2; ++k) {
        if (k != 150) {
            ASSERT_LT(magnitude[k], 1e-6) << k;
        }
    }
    EXPECT_EQ(std::vector<uint8_t>(in.data.begin(), in.data.begin() + 4),
              std::vector<uint8_t>(in.data.begin() + 4, in.data.begin() + 8));  // both channels

    // An open output owns the wire: silence while it has nothing to play.
    Side out;
    ASSERT_EQ(out.Open(card, WaveDirection::Output, Pcm(48000, 2, 4)), kWaveOk);
    in.Queue(frames * 8);
    card.Advance(frames);
    EXPECT_EQ(Rms(in.data, 0, frames), 0.0);
}

TEST(LoopbackDevice, RefusesWhatItCannotDo) {
    LoopbackDriver card(Manual());
    EXPECT_EQ(card.QueryFormat(WaveDirection::Input, 0, Pcm(4000, 1, 1)), kWaveOk);
    EXPECT_EQ(card.QueryFormat(WaveDirection::Input, 0, Pcm(200000, 2, 4)), kWaveOk);
    EXPECT_EQ(card.QueryFormat(WaveDirection::Input, 0, Pcm(3999, 1, 2)), kWaveBadFormat);
    EXPECT_EQ(card.QueryFormat(WaveDirection::Input, 0, Pcm(200001, 1, 2)), kWaveBadFormat);
    EXPECT_EQ(card.QueryFormat(WaveDirection::Input, 0, Pcm(48000, 3, 2)), kWaveBadFormat);
    EXPECT_EQ(card.QueryFormat(WaveDirection::Input, 0, Pcm(48000, 2, 5)), kWaveBadFormat);
    WaveFormat lying = Pcm(48000, 2, 2);
    lying.avgBytesPerSec += 1;
    EXPECT_EQ(card.QueryFormat(WaveDirection::Output, 0, lying), kWaveBadFormat);
    EXPECT_EQ(card.QueryFormat(WaveDirection::Output, 1, Pcm(48000, 2, 2)), kWaveBadDeviceId);

    Side in, in2, out;
    ASSERT_EQ(in.Open(card, WaveDirection::Input, Pcm(48000, 2, 2)), kWaveOk);
    EXPECT_EQ(in2.Open(card, WaveDirection::Input, Pcm(48000, 2, 2)), kWaveAllocated);
    EXPECT_EQ(out.Open(card, WaveDirection::Output, Pcm(44100, 2, 2)), kWaveAllocated);  // one clock
    EXPECT_EQ(out.Open(card, WaveDirection::Output, Pcm(48000, 1, 3)), kWaveOk);
    EXPECT_EQ(in.stream->Pause(), kWaveNotSupported);
    EXPECT_EQ(out.stream->Start(), kWaveNotSupported);
    ASSERT_EQ(in.stream->Close(), kWaveOk);
    EXPECT_EQ(in.stream->Start(), kWaveInvalidHandle);
    EXPECT_EQ(in2.Open(card, WaveDirection::Input, Pcm(48000, 2, 2)), kWaveOk);

    WaveInCaps ic;
    WaveOutCaps oc;
    ASSERT_EQ(card.GetInCaps(0, ic), kWaveOk);
    ASSERT_EQ(card.GetOutCaps(0, oc), kWaveOk);
    EXPECT_STREQ(ic.productName, "Loopback");
    EXPECT_TRUE(oc.support & kWaveCapsVolume);
    EXPECT_EQ(card.GetInCaps(1, ic), kWaveBadDeviceId);
}

TEST(LoopbackDevice, HeadersFollowTheDriverRules) {
    LoopbackDriver card(Manual());
    BufferDoneQueue queue;
    Side in;
    ASSERT_EQ(in.Open(card, WaveDirection::Input, Pcm(8000, 1, 2), &queue), kWaveOk);
    WaveHeader a, b;
    std::vector<uint8_t> da(100), db(100);
    a.data = da.data();
    a.bufferLength = 100;
    b.data = db.data();
    b.bufferLength = 101;  // the odd byte is never filled
    EXPECT_EQ(in.stream->AddBuffer(a), kWaveUnprepared);
    ASSERT_EQ(in.stream->Prepare(a), kWaveOk);
    ASSERT_EQ(in.stream->Prepare(b), kWaveOk);
    ASSERT_EQ(in.stream->AddBuffer(a), kWaveOk);
    ASSERT_EQ(in.stream->AddBuffer(b), kWaveOk);
    EXPECT_EQ(in.stream->AddBuffer(a), kWaveStillPlaying);
    EXPECT_EQ(in.stream->Unprepare(a), kWaveStillPlaying);
    card.Advance(10);  // not started: nothing recorded
    uint32_t pos = 99;
    in.stream->GetPosition(pos);
    EXPECT_EQ(pos, 0u);
    in.stream->Start();
    card.Advance(60);
    EXPECT_TRUE(a.IsDone());
    EXPECT_FALSE(b.IsDone());
    EXPECT_EQ(b.bytesRecorded.load(), 20u);
    in.stream->GetPosition(pos);
    EXPECT_EQ(pos, 120u);
    BufferDoneQueue::Notice n;
    ASSERT_TRUE(queue.TryPop(n));
    EXPECT_EQ(n.header, &a);
    EXPECT_FALSE(queue.TryPop(n));
    ASSERT_EQ(in.stream->Reset(), kWaveOk);
    EXPECT_TRUE(b.IsDone());
    EXPECT_FALSE(b.IsQueued());
    ASSERT_TRUE(queue.TryPop(n));
    EXPECT_EQ(n.header, &b);
    in.stream->GetPosition(pos);
    EXPECT_EQ(pos, 0u);
    EXPECT_EQ(in.stream->Unprepare(b), kWaveOk);
    card.Advance(100);  // reset also stopped the recording
    EXPECT_EQ(b.bytesRecorded.load(), 20u);
}

TEST(LoopbackDevice, RealTimeClockCompletesBuffersInOrder) {
    LoopbackDriver card;  // real-time clock
    BufferDoneQueue queue;
    Side first, second;
    ASSERT_EQ(first.Open(card, WaveDirection::Input, Pcm(8000, 1, 2), &queue), kWaveOk);
    first.Queue(400);  // 25 ms each
    WaveHeader h2;
    std::vector<uint8_t> d2(400);
    h2.data = d2.data();
    h2.bufferLength = 400;
    ASSERT_EQ(first.stream->Prepare(h2), kWaveOk);
    ASSERT_EQ(first.stream->AddBuffer(h2), kWaveOk);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(first.stream->Start(), kWaveOk);
    BufferDoneQueue::Notice a, b;
    ASSERT_TRUE(queue.WaitPop(a, std::chrono::seconds(5)));
    ASSERT_TRUE(queue.WaitPop(b, std::chrono::seconds(5)));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(a.header, &first.header);
    EXPECT_EQ(b.header, &h2);
    EXPECT_GE(elapsed, std::chrono::milliseconds(45));  // 50 ms of sound, less one clock step
    EXPECT_EQ(first.stream->Close(), kWaveOk);
}

TEST(LoopbackConfigText, IniSectionAndEnvironmentSetTheCard) {
    LoopbackConfig c;
    const auto rejected = c.ApplyIni(
        "[Device]\nDelay=99\n"
        "[loopback]\n"
        "; demo wiring\n"
        "Clock = manual\nDelayLeft=12\nDelayRight = 34\nGain=0.5\nGainRight=2\n"
        "Source=Sine\nSineHz=440.5\nSineDb=-6\nNoiseDb=-90\nNoiseSeed=9\nImpulseLeft=1, 0.5,0.25\n"
        "Colour=blue\nDelay=-3\n"
        "[Other]\nGain=7\n");
    EXPECT_EQ(rejected, (std::vector<std::string>{"Colour=blue", "Delay=-3"}));
    EXPECT_EQ(c.clock, LoopbackConfig::Clock::Manual);
    EXPECT_EQ(c.delaySamples[0], 12u);
    EXPECT_EQ(c.delaySamples[1], 34u);
    EXPECT_EQ(c.gain[0], 0.5);
    EXPECT_EQ(c.gain[1], 2.0);
    EXPECT_EQ(c.source, LoopbackConfig::Source::Sine);
    EXPECT_EQ(c.sineHz, 440.5);
    EXPECT_EQ(c.sineDb, -6.0);
    EXPECT_EQ(c.noiseDb, -90.0);
    EXPECT_EQ(c.noiseSeed, 9u);
    EXPECT_EQ(c.impulseResponse[0], (std::vector<double>{1.0, 0.5, 0.25}));
    EXPECT_TRUE(c.impulseResponse[1].empty());

    ::setenv("ZELTRAK_LOOPBACK_TEST", "Delay=7; source=silence;;Impulse=1,x;SineHz=-1", 1);
    const auto bad = c.ApplyEnvironment("ZELTRAK_LOOPBACK_TEST");
    ::unsetenv("ZELTRAK_LOOPBACK_TEST");
    EXPECT_EQ(bad, (std::vector<std::string>{"Impulse=1,x", "SineHz=-1"}));
    EXPECT_EQ(c.delaySamples[0], 7u);
    EXPECT_EQ(c.delaySamples[1], 7u);
    EXPECT_EQ(c.source, LoopbackConfig::Source::Silence);
    EXPECT_EQ(c.impulseResponse[0].size(), 3u);  // a bad value changes nothing
    EXPECT_EQ(c.sineHz, 440.5);
    EXPECT_FALSE(c.Set("Delay", std::to_string(LoopbackConfig::kMaxDelay + 1)));
    // Levels that would overflow to infinite (then NaN) samples are not taken.
    for (const char* key : {"SineDb", "NoiseDb"}) EXPECT_FALSE(c.Set(key, "1e308")) << key;
    EXPECT_FALSE(c.Set("Gain", "1e300"));
    EXPECT_TRUE(c.Set("SineDb", "60"));
}

TEST(DriverChain, NumbersDevicesDriverByDriver) {
    WaveDriverChain chain;
    auto first = std::make_unique<LoopbackDriver>(Manual());
    auto second = std::make_unique<LoopbackDriver>(Manual());
    LoopbackDriver* a = first.get();
    LoopbackDriver* b = second.get();
    chain.Append(std::move(first));
    chain.Append(std::move(second));
    EXPECT_EQ(chain.DeviceCount(WaveDirection::Input), 2u);
    Side in;
    ASSERT_EQ(chain.Open(WaveDirection::Input, 1, Pcm(8000, 1, 2), nullptr, in.stream), kWaveOk);
    in.Queue(20);
    in.stream->Start();
    a->Advance(10);
    EXPECT_FALSE(in.header.IsDone());
    b->Advance(10);
    EXPECT_TRUE(in.header.IsDone());
    ASSERT_EQ(chain.SetVolume(1, 0x12345678u), kWaveOk);
    uint32_t va = 0, vb = 0;
    a->GetVolume(0, va);
    b->GetVolume(0, vb);
    EXPECT_EQ(va, 0xFFFFFFFFu);
    EXPECT_EQ(vb, 0x12345678u);
    std::unique_ptr<WaveStream> none;
    EXPECT_EQ(chain.Open(WaveDirection::Output, 2, Pcm(8000, 1, 2), nullptr, none), kWaveBadDeviceId);
    WaveOutCaps caps;
    EXPECT_EQ(chain.GetOutCaps(2, caps), kWaveBadDeviceId);
}

}  // namespace
}  // namespace zeltrak
