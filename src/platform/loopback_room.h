#pragma once
#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace zeltrak {

// A simulated room for the Loopback card: its impulse response is seeded noise split into
// third-octave slices, each with its power held level and then decaying by 60 dB in its
// octave's reverberation time, summed and scaled to unit energy. Keys (case-insensitive, values in seconds):
//   RoomRT=0.8              the same time in every band (0: no room)
//   RoomRT=1.2,1.0,...      one time per band, lowest band first (7 values)
//   RoomRT125=1.2 ... RoomRT8000=0.5   one band
//   RoomSeed=N              the noise's seed
// Octave centres 125 Hz ... 8 kHz; the lowest band reaches down to DC and the highest up to
// the Nyquist frequency. A band of time 0 takes the time of its nearest set neighbour.
struct LoopbackRoom {
    static constexpr size_t kBands = 7;
    static constexpr std::array<double, kBands> kCentresHz = {125, 250, 500, 1000, 2000, 4000, 8000};
    static constexpr double kMaxRtSeconds = 10.0;  // keeps the response within tens of megabytes

    std::array<double, kBands> rtSeconds{};
    uint32_t seed = 1;

    bool Active() const;
    // False for a key that is not the room's or a bad value, which then changes nothing.
    bool Set(std::string_view lowerKey, std::string_view value);
    // Each band's time with unset bands filled from their neighbours.
    std::array<double, kBands> FilledTimes() const;
    // The response at `rate`, long enough for the slowest band to fall by 72 dB.
    std::vector<double> ImpulseResponse(uint32_t rate) const;
};

// In-place radix-2 transform; size a power of two. Inverse without the 1/N scale.
void RoomFft(std::vector<std::complex<double>>& data, bool inverse);

// Convolution with a long response at a constant cost per sample and no added latency: the
// first block of taps is applied directly, the rest block by block in the frequency domain
// (uniformly partitioned overlap-add). Several convolvers may share one kernel.
class PartitionedConvolver {
public:
    struct Kernel;
    static std::shared_ptr<const Kernel> MakeKernel(const std::vector<double>& response, size_t block = 512);

    explicit PartitionedConvolver(std::shared_ptr<const Kernel> kernel);
    ~PartitionedConvolver();
    double Process(double x);
    void Reset();

private:
    void FinishBlock();

    std::shared_ptr<const Kernel> kernel_;
    std::vector<double> history_;  // the last block of input, twice over for contiguous reads
    size_t fill_ = 0;              // samples of the current block so far
    std::vector<std::vector<double>> spectraRe_, spectraIm_;  // past input blocks, a ring
    size_t newest_ = 0;
    std::vector<double> tail_;     // the tail's output for the current block
    std::vector<double> overlap_;  // what the last block's tail leaves for the next
    std::vector<std::complex<double>> work_;
    std::vector<double> sumRe_, sumIm_;
};

}  // namespace zeltrak
