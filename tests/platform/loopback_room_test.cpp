// The Loopback room: its convolution against a direct sum, and the decay the card records
// through it against a Schroeder integration per octave.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "platform/loopback_driver.h"
#include "platform/loopback_room.h"

namespace zeltrak {
namespace {

TEST(PartitionedConvolver, MatchesADirectConvolutionForShortAndLongResponses) {
    struct Case {
        size_t taps, block;
    };
    for (const Case c : {Case{10, 64}, Case{1000, 64}, Case{4099, 256}}) {
        std::mt19937 rng(static_cast<unsigned>(c.taps));
        std::normal_distribution<double> g;
        std::vector<double> h(c.taps), x(3 * c.taps + 500);
        for (double& v : h) v = g(rng);
        for (double& v : x) v = g(rng);
        PartitionedConvolver conv(PartitionedConvolver::MakeKernel(h, c.block));
        for (size_t n = 0; n < x.size(); ++n) {
            double direct = 0.0;
            for (size_t k = 0; k < h.size() && k <= n; ++k) direct += h[k] * x[n - k];
            ASSERT_NEAR(conv.Process(x[n]), direct, 1e-9 * std::sqrt(double(c.taps))) << c.taps << " @" << n;
        }
    }
}

TEST(LoopbackRoomKeys, ListFlatAndSingleBandTimesAndRefusals) {
    LoopbackConfig c;
    EXPECT_FALSE(c.room.Active());
    ASSERT_TRUE(c.Set("RoomRT", "0.8"));
    EXPECT_EQ(c.room.rtSeconds, (std::array<double, 7>{0.8, 0.8, 0.8, 0.8, 0.8, 0.8, 0.8}));
    ASSERT_TRUE(c.Set("roomrt", "0,0,1.5,0,0.5,0,0"));
    ASSERT_TRUE(c.Set("RoomRT4000", "0.4"));
    ASSERT_TRUE(c.Set("RoomSeed", "9"));
    EXPECT_EQ(c.room.seed, 9u);
    // Unset bands take the nearest set one (the lower on a tie).
    EXPECT_EQ(c.room.FilledTimes(), (std::array<double, 7>{1.5, 1.5, 1.5, 1.5, 0.5, 0.4, 0.4}));
    for (const auto& [key, value] : std::vector<std::pair<const char*, const char*>>{
             {"RoomRT", "1,2"}, {"RoomRT", "-1"}, {"RoomRT", "99"}, {"RoomRT125", "x"}, {"RoomRT100", "1"},
             {"RoomSeed", "-3"}}) {
        EXPECT_FALSE(c.Set(key, value)) << key << "=" << value;
    }
    EXPECT_EQ(c.room.FilledTimes()[5], 0.4);
}

// Reverberation time of one octave of `h` by Schroeder's backward integration, a line fitted
// from -5 to -35 dB. The octave is cut out in the frequency domain, flat to within an 18th of
// an octave of its edges and tapered to zero an 18th beyond (a brick wall's long ringing would
// carry the early sound of the other bands into the late decay).
double OctaveRt(const std::vector<double>& h, double centreHz, double rate) {
    size_t n = 1;
    while (n < 2 * h.size()) n <<= 1;
    std::vector<std::complex<double>> s(n);
    for (size_t i = 0; i < h.size(); ++i) s[i] = h[i];
    RoomFft(s, false);
    for (size_t k = 0; k < n; ++k) {
        const double hz = double(std::min(k, n - k)) * rate / double(n);
        const double octaves = hz > 0.0 ? std::fabs(std::log2(hz / centreHz)) : 99.0;
        const double taper = std::cos(0.5 * M_PI * std::clamp(9.0 * octaves - 4.0, 0.0, 1.0));
        s[k] *= taper * taper;
    }
    RoomFft(s, true);
    std::vector<double> energy(h.size() + 1, 0.0);
    for (size_t i = h.size(); i-- > 0;) energy[i] = energy[i + 1] + std::norm(s[i]);
    double st = 0, sl = 0, stt = 0, stl = 0, count = 0;
    for (size_t i = 0; i < h.size(); ++i) {
        const double db = 10.0 * std::log10(energy[i] / energy[0]);
        if (db > -5.0 || db < -35.0) continue;
        const double t = i / rate;
        st += t, sl += db, stt += t * t, stl += t * db, ++count;
    }
    const double slope = (count * stl - st * sl) / (count * stt - st * st);
    return -60.0 / slope;
}

TEST(LoopbackRoom, CardRecordsEachOctavesDecayAfterTheChannelDelay) {
    LoopbackConfig c{.clock = LoopbackConfig::Clock::Manual, .delaySamples = {0, 150}, .impulseResponse = {}};
    const std::array<double, 7> rt = {1.2, 1.0, 0.8, 0.7, 0.6, 0.5, 0.4};
    c.room.rtSeconds = rt;
    LoopbackDriver card(c);
    const uint32_t rate = 44100, frames = 70000;
    const WaveFormat f{.channels = 2, .samplesPerSec = rate, .avgBytesPerSec = rate * 8, .blockAlign = 8,
                       .bitsPerSample = 32};
    std::unique_ptr<WaveStream> out, in;
    ASSERT_EQ(card.Open(WaveDirection::Output, 0, f, nullptr, out), kWaveOk);
    ASSERT_EQ(card.Open(WaveDirection::Input, 0, f, nullptr, in), kWaveOk);
    std::vector<int32_t> played(2 * frames, 0), recorded(2 * frames, 0);
    played[0] = played[1] = 1 << 30;  // an impulse of half full scale on both channels
    WaveHeader ho{.data = played.data(), .bufferLength = uint32_t(8 * frames)};
    WaveHeader hi{.data = recorded.data(), .bufferLength = uint32_t(8 * frames)};
    ASSERT_EQ(out->Prepare(ho), kWaveOk);
    ASSERT_EQ(in->Prepare(hi), kWaveOk);
    ASSERT_EQ(out->AddBuffer(ho), kWaveOk);
    ASSERT_EQ(in->AddBuffer(hi), kWaveOk);
    ASSERT_EQ(in->Start(), kWaveOk);
    card.Advance(frames);
    ASSERT_TRUE(hi.IsDone());
    for (int ch = 0; ch < 2; ++ch) {
        std::vector<double> h;
        for (uint32_t i = 0; i < frames; ++i) h.push_back(recorded[2 * i + ch] / 1073741824.0);
        const size_t delay = c.delaySamples[ch];
        for (size_t i = 0; i < delay; ++i) ASSERT_EQ(h[i], 0.0) << i;
        ASSERT_NE(h[delay], 0.0);
        h.erase(h.begin(), h.begin() + delay);
        double energy = 0.0;
        for (double v : h) energy += v * v;
        EXPECT_NEAR(energy, 1.0, 0.01);  // the room neither gains nor loses power
        // The lowest octave's slice reaches down to DC, beyond what the octave filter passes.
        for (size_t b = 0; b < rt.size(); ++b)
            EXPECT_NEAR(OctaveRt(h, LoopbackRoom::kCentresHz[b], rate), rt[b], (b == 0 ? 0.1 : 0.03) * rt[b])
                << "band " << b;
    }
}

}  // namespace
}  // namespace zeltrak
