#include "platform/loopback_room.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <string>

namespace zeltrak {

namespace {

using Complex = std::complex<double>;

std::vector<Complex> Twiddles(size_t n) {
    std::vector<Complex> tw(n / 2);
    for (size_t k = 0; k < n / 2; ++k) tw[k] = std::polar(1.0, -2.0 * std::numbers::pi * double(k) / double(n));
    return tw;
}

// Butterflies written out: std::complex's operator* checks for infinities on every product.
void Transform(Complex* a, size_t n, const std::vector<Complex>& tw, bool inverse) {
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    const double sign = inverse ? -1.0 : 1.0;
    for (size_t len = 2; len <= n; len <<= 1) {
        const size_t half = len / 2, stride = n / len;
        for (size_t start = 0; start < n; start += len) {
            for (size_t k = 0; k < half; ++k) {
                const double wr = tw[k * stride].real(), wi = sign * tw[k * stride].imag();
                const Complex u = a[start + k], v = a[start + k + half];
                const Complex t(v.real() * wr - v.imag() * wi, v.real() * wi + v.imag() * wr);
                a[start + k] = u + t;
                a[start + k + half] = u - t;
            }
        }
    }
}

bool ParseSeconds(std::string_view s, double& out) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    double v = 0.0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return false;
    if (!(v >= 0.0 && v <= LoopbackRoom::kMaxRtSeconds)) return false;
    out = v;
    return true;
}

// The response is built from third-octave slices (1000 x 2^(k/3) Hz, k = -10 ... 10), each
// taking its octave's time. Neighbouring slices cross over complementarily within a ninth of an
// octave around their edge, so the slices sum to the whole noise.
constexpr int kLowestThird = -10, kHighestThird = 10;

double LowerSideWeight(double hz, double edgeHz) {
    if (hz <= 0.0) return 1.0;
    const double u = std::clamp(std::log2(hz / edgeHz) * 9.0 + 0.5, 0.0, 1.0);
    const double c = std::cos(0.5 * std::numbers::pi * u);
    return c * c;
}

double ThirdEdgeHz(int k) { return 1000.0 * std::exp2((k + 0.5) / 3.0); }

double ThirdWeight(int k, double hz) {
    double w = 1.0;
    if (k > kLowestThird) w *= 1.0 - LowerSideWeight(hz, ThirdEdgeHz(k - 1));
    if (k < kHighestThird) w *= LowerSideWeight(hz, ThirdEdgeHz(k));
    return w;
}

size_t OctaveOfThird(int k) { return static_cast<size_t>(std::clamp(3 + (k + (k < 0 ? -1 : 1)) / 3, 0, 6)); }

// Band noise's power wanders (a Rayleigh envelope), and with it the decay a single response
// shows in a narrow band, by tens of percent at low frequencies. Dividing the slice by its
// envelope, smoothed over about one coherence time of the slice, keeps its power level.
void FlattenEnvelope(std::vector<std::complex<double>>& analytic, size_t length, double window) {
    const size_t half = std::max<size_t>(1, static_cast<size_t>(window / 2));
    std::vector<double> cumulative(length + 1, 0.0);
    for (size_t i = 0; i < length; ++i) cumulative[i + 1] = cumulative[i] + std::norm(analytic[i]);
    for (size_t i = 0; i < length; ++i) {
        const size_t lo = i > half ? i - half : 0, hi = std::min(length, i + half + 1);
        const double power = (cumulative[hi] - cumulative[lo]) / double(hi - lo);
        analytic[i] = power > 0.0 ? analytic[i] / std::sqrt(power) : 0.0;
    }
}

// xorshift64* with Box-Muller: the same room for the same seed everywhere.
class SeededGauss {
public:
    explicit SeededGauss(uint32_t seed) : state_(0x2545F4914F6CDD1Dull ^ (uint64_t{seed} << 17 | 1)) {}
    double Next() {
        const double r = std::sqrt(-2.0 * std::log(Uniform()));
        return r * std::cos(2.0 * std::numbers::pi * Uniform());
    }

private:
    double Uniform() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return (static_cast<double>((state_ * 0x2545F4914F6CDD1Dull) >> 11) + 0.5) / 9007199254740992.0;
    }
    uint64_t state_;
};

}  // namespace

void RoomFft(std::vector<Complex>& data, bool inverse) { Transform(data.data(), data.size(), Twiddles(data.size()), inverse); }

bool LoopbackRoom::Active() const {
    return std::any_of(rtSeconds.begin(), rtSeconds.end(), [](double t) { return t > 0.0; });
}

bool LoopbackRoom::Set(std::string_view key, std::string_view value) {
    if (key == "roomseed") {
        uint32_t u = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), u);
        if (value.empty() || ec != std::errc() || end != value.data() + value.size()) return false;
        seed = u;
        return true;
    }
    if (key == "roomrt") {
        std::vector<double> times;
        for (size_t start = 0;;) {
            const size_t comma = value.find(',', start);
            double t = 0.0;
            if (!ParseSeconds(value.substr(start, comma - start), t)) return false;
            times.push_back(t);
            if (comma == std::string_view::npos) break;
            start = comma + 1;
        }
        if (times.size() == 1) times.assign(kBands, times[0]);
        if (times.size() != kBands) return false;
        std::copy(times.begin(), times.end(), rtSeconds.begin());
        return true;
    }
    for (size_t b = 0; b < kBands; ++b) {
        if (key != "roomrt" + std::to_string(static_cast<int>(kCentresHz[b]))) continue;
        return ParseSeconds(value, rtSeconds[b]);
    }
    return false;
}

std::array<double, LoopbackRoom::kBands> LoopbackRoom::FilledTimes() const {
    std::array<double, kBands> filled = rtSeconds;
    for (size_t b = 0; b < kBands; ++b) {
        for (size_t d = 1; filled[b] <= 0.0 && d < kBands; ++d) {
            if (b >= d && rtSeconds[b - d] > 0.0) filled[b] = rtSeconds[b - d];
            else if (b + d < kBands && rtSeconds[b + d] > 0.0) filled[b] = rtSeconds[b + d];
        }
    }
    return filled;
}

std::vector<double> LoopbackRoom::ImpulseResponse(uint32_t rate) const {
    if (!Active() || rate == 0) return {};
    const std::array<double, kBands> times = FilledTimes();
    const double slowest = *std::max_element(times.begin(), times.end());
    const size_t length = std::max<size_t>(1, static_cast<size_t>(std::ceil(1.2 * slowest * rate)));
    size_t n = 1;
    while (n < length) n <<= 1;
    std::vector<Complex> noise(n);
    SeededGauss gauss(seed);
    for (size_t i = 0; i < length; ++i) noise[i] = gauss.Next();
    const std::vector<Complex> tw = Twiddles(n);
    Transform(noise.data(), n, tw, false);
    std::vector<double> response(length, 0.0);
    std::vector<Complex> slice(n);
    for (int k = kLowestThird; k <= kHighestThird; ++k) {
        // One-sided spectrum: the inverse transform gives the analytic signal, whose magnitude is
        // the slice's envelope.
        double weightSum = 0.0;
        for (size_t i = 0; i < n; ++i) {
            const double w = i <= n / 2 ? ThirdWeight(k, double(i) * rate / double(n)) : 0.0;
            slice[i] = noise[i] * (i == 0 || i == n / 2 ? w : 2.0 * w);
            weightSum += w * w;
        }
        if (weightSum == 0.0) continue;  // above the Nyquist frequency
        const double bandwidthHz = weightSum * rate / double(n);
        Transform(slice.data(), n, tw, true);
        FlattenEnvelope(slice, n, rate / bandwidthHz);
        // Holding the power level spreads the slice a little beyond its band; limiting it to the
        // band again and levelling once more leaves little of either.
        for (int pass = 0; pass < 2; ++pass) {
            Transform(slice.data(), n, tw, false);
            for (size_t i = 0; i < n; ++i) slice[i] *= i <= n / 2 ? ThirdWeight(k, double(i) * rate / double(n)) : 0.0;
            Transform(slice.data(), n, tw, true);
            FlattenEnvelope(slice, n, rate / bandwidthHz);
        }
        // 60 dB of energy in the octave's time: amplitude falls as 10^(-3 t / RT); the slice keeps
        // the share of power its width gives it.
        const double perSample = std::pow(10.0, -3.0 / (times[OctaveOfThird(k)] * rate));
        double envelope = std::sqrt(weightSum);
        for (size_t i = 0; i < length; ++i, envelope *= perSample) response[i] += slice[i].real() * envelope;
    }
    double energy = 0.0;
    for (double h : response) energy += h * h;
    if (energy > 0.0)
        for (double& h : response) h /= std::sqrt(energy);
    return response;
}

struct PartitionedConvolver::Kernel {
    size_t block = 0;
    std::vector<double> headReversed;  // taps block-1 ... 0
    std::vector<std::vector<double>> re, im;  // spectra of the later blocks of taps, bins 0 ... block
    std::vector<Complex> twiddles;
};

std::shared_ptr<const PartitionedConvolver::Kernel> PartitionedConvolver::MakeKernel(const std::vector<double>& response,
                                                                                     size_t block) {
    auto kernel = std::make_shared<Kernel>();
    kernel->block = block;
    kernel->headReversed.assign(block, 0.0);
    for (size_t k = 0; k < block && k < response.size(); ++k) kernel->headReversed[block - 1 - k] = response[k];
    kernel->twiddles = Twiddles(2 * block);
    std::vector<Complex> work(2 * block);
    for (size_t first = block; first < response.size(); first += block) {
        std::fill(work.begin(), work.end(), Complex());
        for (size_t k = 0; k < block && first + k < response.size(); ++k) work[k] = response[first + k];
        Transform(work.data(), work.size(), kernel->twiddles, false);
        std::vector<double> re(block + 1), im(block + 1);
        for (size_t k = 0; k <= block; ++k) re[k] = work[k].real(), im[k] = work[k].imag();
        kernel->re.push_back(std::move(re));
        kernel->im.push_back(std::move(im));
    }
    return kernel;
}

PartitionedConvolver::PartitionedConvolver(std::shared_ptr<const Kernel> kernel) : kernel_(std::move(kernel)) {
    Reset();
}

PartitionedConvolver::~PartitionedConvolver() = default;

void PartitionedConvolver::Reset() {
    const size_t block = kernel_->block, parts = kernel_->re.size();
    history_.assign(2 * block, 0.0);
    fill_ = 0;
    spectraRe_.assign(parts, std::vector<double>(block + 1, 0.0));
    spectraIm_.assign(parts, std::vector<double>(block + 1, 0.0));
    newest_ = 0;
    tail_.assign(block, 0.0);
    overlap_.assign(block, 0.0);
    work_.assign(2 * block, Complex());
    sumRe_.assign(block + 1, 0.0);
    sumIm_.assign(block + 1, 0.0);
}

double PartitionedConvolver::Process(double x) {
    const size_t block = kernel_->block;
    history_[block + fill_] = x;
    // The previous block sits just before the current one, so the head's taps read one run.
    const double* past = history_.data() + fill_ + 1;
    const double* taps = kernel_->headReversed.data();
    double y = 0.0;
    for (size_t j = 0; j < block; ++j) y += taps[j] * past[j];
    y += tail_[fill_];
    if (++fill_ == block) {
        FinishBlock();
        fill_ = 0;
    }
    return y;
}

// A block of input is complete: its spectrum joins the ring, and the tail of the next block's
// output (every later partition against the blocks it meets) is computed at once.
void PartitionedConvolver::FinishBlock() {
    const Kernel& k = *kernel_;
    const size_t block = k.block, parts = k.re.size();
    std::copy(history_.begin() + block, history_.end(), history_.begin());
    if (parts == 0) return;
    for (size_t i = 0; i < block; ++i) work_[i] = history_[i];
    std::fill(work_.begin() + block, work_.end(), Complex());
    Transform(work_.data(), work_.size(), k.twiddles, false);
    newest_ = newest_ == 0 ? parts - 1 : newest_ - 1;
    for (size_t b = 0; b <= block; ++b) spectraRe_[newest_][b] = work_[b].real(), spectraIm_[newest_][b] = work_[b].imag();
    std::fill(sumRe_.begin(), sumRe_.end(), 0.0);
    std::fill(sumIm_.begin(), sumIm_.end(), 0.0);
    for (size_t p = 0; p < parts; ++p) {
        // Partition p (taps from (p+1) x block) meets the input block p blocks before the newest.
        const size_t slot = (newest_ + p) % parts;
        const double *xr = spectraRe_[slot].data(), *xi = spectraIm_[slot].data();
        const double *hr = k.re[p].data(), *hi = k.im[p].data();
        for (size_t b = 0; b <= block; ++b) {
            sumRe_[b] += xr[b] * hr[b] - xi[b] * hi[b];
            sumIm_[b] += xr[b] * hi[b] + xi[b] * hr[b];
        }
    }
    const size_t n = 2 * block;
    for (size_t b = 0; b <= block; ++b) work_[b] = Complex(sumRe_[b], sumIm_[b]);
    for (size_t b = block + 1; b < n; ++b) work_[b] = std::conj(work_[n - b]);
    Transform(work_.data(), n, k.twiddles, true);
    for (size_t i = 0; i < block; ++i) {
        tail_[i] = work_[i].real() / double(n) + overlap_[i];
        overlap_[i] = work_[block + i].real() / double(n);
    }
}

}  // namespace zeltrak
