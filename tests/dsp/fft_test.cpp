#include "dsp/fft.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>

#include "dsp/spectral_test_support.h"

// Counts every global allocation while armed: transforms and per-frame work run in real time.
// The array forms default to these.
namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
void* Counted(void* p) {
    if (!p) throw std::bad_alloc();
    if (gCounting.load()) ++gAllocations;
    return p;
}
}  // namespace

void* operator new(std::size_t size) { return Counted(std::malloc(size ? size : 1)); }
void* operator new(std::size_t size, std::align_val_t a) {
    const auto align = static_cast<std::size_t>(a);
    return Counted(std::aligned_alloc(align, (size + align - 1) / align * align));
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace zeltrak {
namespace {

using namespace spectral_test;

// Direct DFT up to 1024 points, above that a textbook radix-2 FFT with directly computed
// twiddles; sign -1 forward, +1 inverse (unscaled).
std::vector<cd> ReferenceDft(std::vector<cd> x, int sign) {
    const size_t n = x.size();
    if (n <= 1024) {
        std::vector<cd> out(n);
        for (size_t k = 0; k < n; ++k)
            for (size_t t = 0; t < n; ++t) out[k] += x[t] * std::polar(1.0, sign * 2.0 * kPi * ((k * t) % n) / n);
        return out;
    }
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1)
        for (size_t k = 0; k < len / 2; ++k) {
            const cd w = std::polar(1.0, sign * 2.0 * kPi * static_cast<double>(k) / len);
            for (size_t i = k; i < n; i += len) {
                const cd t = w * x[i + len / 2];
                x[i + len / 2] = x[i] - t;
                x[i] += t;
            }
        }
    return x;
}

std::vector<float> RandomFloats(size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    return Noise(static_cast<uint32_t>(count), rng, 0.5);
}

double RelRms(const std::vector<float>& got, const std::vector<double>& want) {
    double err = 0, ref = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        err += (got[i] - want[i]) * (got[i] - want[i]);
        ref += want[i] * want[i];
    }
    return std::sqrt(err / (ref > 0 ? ref : 1));
}

// The packed real-FFT layout (2·X, DC and Nyquist real parts in the first pair), from the reference.
std::vector<double> PackedReference(const std::vector<float>& samples) {
    const size_t n = samples.size();
    const std::vector<cd> X = ReferenceDft(std::vector<cd>(samples.begin(), samples.end()), -1);
    std::vector<double> packed(n);
    packed[0] = 2 * X[0].real();
    packed[1] = 2 * X[n / 2].real();
    for (size_t k = 1; k < n / 2; ++k) {
        packed[2 * k] = 2 * X[k].real();
        packed[2 * k + 1] = 2 * X[k].imag();
    }
    return packed;
}

// Runs `body` once with every kernel this machine has, restoring the start-up kernel.
template <typename F>
void OnEveryKernel(F body) {
    const FFTKernel saved = ActiveFFTKernel();
    for (FFTKernel k : {FFTKernel::Generic, FFTKernel::Avx2, FFTKernel::Avx512}) {
        if (!FFTKernelAvailable(k)) continue;
        ASSERT_TRUE(SelectFFTKernel(k));
        SCOPED_TRACE(FFTKernelName(k));
        body();
    }
    SelectFFTKernel(saved);
}

// Little more than rounding the results to float (about 3.4e-8). Single-precision butterflies
// (0.7e-7 to 1.7e-7) would raise the roundoff floor above a 24-bit signal's own: the SNR of a
// clean 24-bit sine would read 5 to 7 dB low.
constexpr double kTolerance = 5e-8;

TEST(FFT, ComplexAndRealTransformsMatchTheReferenceOnEveryKernel) {
    // every size up to 4096, then the cache-split forms and the largest size
    std::vector<uint32_t> sizes;
    for (uint32_t n = 1; n <= 4096; n *= 2) sizes.push_back(n);
    sizes.insert(sizes.end(), {32768u, 131072u, kMaxFFTSize});
    for (uint32_t n : sizes) {
        SCOPED_TRACE(n);
        const std::vector<float> input = RandomFloats(2 * n, n);
        std::vector<cd> x(n);
        for (size_t i = 0; i < n; ++i) x[i] = cd(input[2 * i], input[2 * i + 1]);
        std::vector<double> want[2];  // forward, inverse (scaled by 1/n)
        for (int d = 0; d < 2; ++d)
            for (const cd& v : ReferenceDft(x, d ? 1 : -1)) want[d].insert(want[d].end(), {v.real(), v.imag()});
        for (double& v : want[1]) v /= n;
        // real: forward against the reference, and the inverse fed the reference's spectrum
        const std::vector<float> samples(input.begin(), input.begin() + n);
        const std::vector<double> packed = n > 1 ? PackedReference(samples) : std::vector<double>{};
        OnEveryKernel([&] {
            for (int d = 0; d < 2; ++d) {
                std::vector<float> data = input;
                ASSERT_TRUE(ComplexFFT(data.data(), n, d ? -1 : 1));
                EXPECT_LE(RelRms(data, want[d]), kTolerance) << "complex, inverse " << d;
            }
            if (n < 2) return;
            std::vector<float> data = samples;
            ASSERT_TRUE(RealFFT(data.data(), n, 1));
            EXPECT_LE(RelRms(data, packed), kTolerance) << "real";
            data.assign(packed.begin(), packed.end());
            ASSERT_TRUE(RealFFT(data.data(), n, -1));
            EXPECT_LE(RelRms(data, std::vector<double>(samples.begin(), samples.end())), kTolerance) << "real inverse";
        });
    }
}

TEST(FFT, BadArgumentsAreRefusedWithoutTouchingTheData) {
    std::vector<float> data = RandomFloats(64, 5);
    const std::vector<float> before = data;
    EXPECT_FALSE(ComplexFFT(nullptr, 16, 1));
    EXPECT_FALSE(RealFFT(nullptr, 16, 1));
    for (uint32_t bad : {0u, 3u, 48u, kMaxFFTSize * 2}) EXPECT_FALSE(ComplexFFT(data.data(), bad, 1)) << bad;
    for (uint32_t bad : {0u, 1u, 24u, kMaxFFTSize * 2}) EXPECT_FALSE(RealFFT(data.data(), bad, 1)) << bad;
    EXPECT_FALSE(ComplexFFT(data.data(), 32, 0));
    EXPECT_FALSE(RealFFT(data.data(), 64, 2));
    EXPECT_FALSE(PrepareRealFFT(100));
    EXPECT_EQ(data, before);
}

TEST(FFT, PreparedTransformsAndPerFrameWorkDoNotAllocate) {
    const auto count = [](auto work) {
        gAllocations = 0;
        gCounting = true;
        const bool ok = work();
        gCounting = false;
        EXPECT_TRUE(ok);
        return gAllocations.load();
    };
    OnEveryKernel([&] {
        for (uint32_t n : {8u, 4096u, 131072u}) {
            ASSERT_TRUE(PrepareRealFFT(n) && PrepareComplexFFT(n));
            std::vector<float> x = RandomFloats(2 * n, n);
            const auto all = [&] { return RealFFT(x.data(), n, 1) && ComplexFFT(x.data(), n, -1); };
            EXPECT_EQ(count(all), 0) << n;
        }
    });
    // Every averaging type and channel mode, once the objects are built and a frame has run.
    std::mt19937 rng(7);
    const std::vector<float> left = Noise(1024, rng), right = Noise(1024, rng);
    for (AveragingType type : {AveragingType::Exponential, AveragingType::Linear, AveragingType::Vector})
        for (uint16_t mode = 0; mode < kChannelProcessingModeCount; ++mode) {
            Analyser a(ChannelModeFromCode(mode), 1024, 8, type);
            ASSERT_TRUE(a.Frame(left, right)) << mode;
            EXPECT_EQ(count([&] { return a.Frame(left, right) && a.Frame(left, right) && a.Frame(right, left); }), 0)
                << "type " << AveragingCode(type) << " mode " << mode;
        }
    // the counter sees an allocation
    EXPECT_GE(count([] { return std::make_unique<std::vector<int>>(3) != nullptr; }), 1);
}

}  // namespace
}  // namespace zeltrak
