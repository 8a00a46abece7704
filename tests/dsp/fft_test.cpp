#include "dsp/fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

// Counts every global allocation while armed, to show that transforms do not allocate.
namespace {
std::atomic<bool> gCountAllocations{false};
std::atomic<long> gAllocationCount{0};
void* CountedAlloc(std::size_t size, std::size_t align) {
    if (gCountAllocations.load()) ++gAllocationCount;
    void* p = align > alignof(std::max_align_t) ? std::aligned_alloc(align, (size + align - 1) / align * align)
                                                : std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
}  // namespace

void* operator new(std::size_t size) { return CountedAlloc(size, 0); }
void* operator new[](std::size_t size) { return CountedAlloc(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) { return CountedAlloc(size, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t size, std::align_val_t a) { return CountedAlloc(size, static_cast<std::size_t>(a)); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace zeltrak {
namespace {

using cd = std::complex<double>;
constexpr double kPi = 3.14159265358979323846;

// Direct O(n²) DFT with exact angle reduction; sign -1 forward, +1 inverse (unscaled).
std::vector<cd> DirectDft(const std::vector<cd>& x, int sign) {
    const size_t n = x.size();
    std::vector<cd> w(n);
    for (size_t k = 0; k < n; ++k) w[k] = std::polar(1.0, sign * 2.0 * kPi * static_cast<double>(k) / n);
    std::vector<cd> out(n);
    for (size_t k = 0; k < n; ++k) {
        cd acc = 0;
        for (size_t t = 0; t < n; ++t) acc += x[t] * w[(k * t) % n];
        out[k] = acc;
    }
    return out;
}

// Textbook iterative radix-2 FFT (bit reversal, then butterflies with directly computed
// twiddles), the reference where the direct sum is too slow.
void TextbookFft(std::vector<cd>& x, int sign) {
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        for (size_t k = 0; k < len / 2; ++k) {
            const cd w = std::polar(1.0, sign * 2.0 * kPi * static_cast<double>(k) / len);
            for (size_t i = k; i < n; i += len) {
                const cd t = w * x[i + len / 2];
                x[i + len / 2] = x[i] - t;
                x[i] += t;
            }
        }
    }
}

std::vector<cd> ReferenceDft(const std::vector<cd>& x, int sign) {
    if (x.size() <= 1024) return DirectDft(x, sign);
    std::vector<cd> y = x;
    TextbookFft(y, sign);
    return y;
}

std::vector<float> RandomFloats(size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(count);
    for (float& f : v) f = dist(rng);
    return v;
}

// Relative RMS error of `got` against `want`, both as flat float/double lists.
double RelRms(const std::vector<float>& got, const std::vector<double>& want) {
    double err = 0, ref = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        err += (got[i] - want[i]) * (got[i] - want[i]);
        ref += want[i] * want[i];
    }
    return std::sqrt(err / (ref > 0 ? ref : 1));
}

// The packed layout that RealFFT promises, computed from a complex reference.
std::vector<double> PackedReference(const std::vector<float>& samples) {
    const size_t n = samples.size();
    std::vector<cd> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = samples[i];
    const std::vector<cd> X = ReferenceDft(x, -1);
    std::vector<double> packed(n);
    packed[0] = 2 * X[0].real();
    packed[1] = 2 * X[n / 2].real();
    for (size_t k = 1; k < n / 2; ++k) {
        packed[2 * k] = 2 * X[k].real();
        packed[2 * k + 1] = 2 * X[k].imag();
    }
    return packed;
}

std::vector<FFTKernel> AvailableKernels() {
    std::vector<FFTKernel> kernels;
    for (FFTKernel k : {FFTKernel::Generic, FFTKernel::Avx2, FFTKernel::Avx512})
        if (FFTKernelAvailable(k)) kernels.push_back(k);
    return kernels;
}

// Restores the start-up kernel after a test that switched it.
struct KernelGuard {
    FFTKernel saved = ActiveFFTKernel();
    ~KernelGuard() { SelectFFTKernel(saved); }
};

constexpr double kTolerance = 3e-7;

TEST(ComplexFFT, MatchesReferenceBothDirectionsOnEveryKernel) {
    KernelGuard guard;
    for (FFTKernel kernel : AvailableKernels()) {
        ASSERT_TRUE(SelectFFTKernel(kernel));
        // up to 4096 every size; then the cache-split forms with both leaf sizes
        std::vector<uint32_t> sizes;
        for (uint32_t n = 1; n <= 4096; n *= 2) sizes.push_back(n);
        sizes.insert(sizes.end(), {32768u, 65536u});
        for (uint32_t n : sizes) {
            const std::vector<float> input = RandomFloats(2 * n, n);
            std::vector<cd> x(n);
            for (size_t i = 0; i < n; ++i) x[i] = cd(input[2 * i], input[2 * i + 1]);
            for (int direction : {1, -1}) {
                std::vector<cd> X = ReferenceDft(x, -direction);
                std::vector<double> want(2 * n);
                for (size_t k = 0; k < n; ++k) {
                    const cd v = direction == 1 ? X[k] : X[k] / static_cast<double>(n);
                    want[2 * k] = v.real();
                    want[2 * k + 1] = v.imag();
                }
                std::vector<float> data = input;
                ASSERT_TRUE(ComplexFFT(data.data(), n, direction));
                EXPECT_LE(RelRms(data, want), kTolerance)
                    << FFTKernelName(kernel) << " n=" << n << " direction=" << direction;
            }
        }
    }
}

TEST(RealFFT, PackedSpectrumAndRoundTripOnEveryKernel) {
    KernelGuard guard;
    for (FFTKernel kernel : AvailableKernels()) {
        ASSERT_TRUE(SelectFFTKernel(kernel));
        std::vector<uint32_t> sizes;
        for (uint32_t n = 2; n <= 16384; n *= 2) sizes.push_back(n);
        sizes.insert(sizes.end(), {65536u, 131072u});
        for (uint32_t n : sizes) {
            const std::vector<float> samples = RandomFloats(n, 7 * n);
            std::vector<float> data = samples;
            ASSERT_TRUE(RealFFT(data.data(), n, 1));
            EXPECT_LE(RelRms(data, PackedReference(samples)), kTolerance) << FFTKernelName(kernel) << " n=" << n;
            ASSERT_TRUE(RealFFT(data.data(), n, -1));
            EXPECT_LE(RelRms(data, std::vector<double>(samples.begin(), samples.end())), kTolerance)
                << FFTKernelName(kernel) << " round trip n=" << n;
        }
    }
}

// The inverse must read the packed layout itself, not only undo our own forward pass:
// feed it a spectrum computed by the reference and compare with the reference samples.
TEST(RealFFT, InverseOfReferenceSpectrumGivesTheSamples) {
    for (uint32_t n : {4u, 64u, 256u, 2048u}) {
        const std::vector<float> samples = RandomFloats(n, 99 + n);
        const std::vector<double> packed = PackedReference(samples);
        std::vector<float> data(packed.begin(), packed.end());
        ASSERT_TRUE(RealFFT(data.data(), n, -1));
        EXPECT_LE(RelRms(data, std::vector<double>(samples.begin(), samples.end())), kTolerance) << n;
    }
}

// One full-size transform each way; larger sizes than the grouped tests reach.
TEST(RealFFT, LargestSizeMatchesReference) {
    const uint32_t n = kMaxFFTSize;
    const std::vector<float> samples = RandomFloats(n, 2024);
    std::vector<float> data = samples;
    ASSERT_TRUE(RealFFT(data.data(), n, 1));
    EXPECT_LE(RelRms(data, PackedReference(samples)), kTolerance);
    ASSERT_TRUE(RealFFT(data.data(), n, -1));
    EXPECT_LE(RelRms(data, std::vector<double>(samples.begin(), samples.end())), kTolerance);
}

TEST(RealFFT, ConstantAndBinCentredTones) {
    for (uint32_t n : {4u, 32u, 1024u, 65536u}) {
        std::vector<float> data(n, 0.75f);
        ASSERT_TRUE(RealFFT(data.data(), n, 1));
        EXPECT_NEAR(data[0], 2.0 * n * 0.75, 1e-6 * n);
        for (size_t i = 1; i < n; ++i) ASSERT_NEAR(data[i], 0.0, 1e-6 * n) << "n=" << n << " i=" << i;

        // A sine of peak A on bin k reads A·n in the packed layout (imaginary, negative);
        // a cosine reads +A·n in the real part.
        const uint32_t bin = n / 4 - 1 > 0 ? n / 4 - 1 : 1;
        const double amplitude = 0.5;
        for (bool cosine : {false, true}) {
            for (size_t i = 0; i < n; ++i) {
                const double phase = 2 * kPi * static_cast<double>(bin) * i / n;
                data[i] = static_cast<float>(amplitude * (cosine ? std::cos(phase) : std::sin(phase)));
            }
            ASSERT_TRUE(RealFFT(data.data(), n, 1));
            const double re = data[2 * bin], im = data[2 * bin + 1];
            EXPECT_NEAR(std::hypot(re, im), amplitude * n, 1e-5 * n) << n;
            EXPECT_NEAR(cosine ? re : -im, amplitude * n, 1e-5 * n) << n;
            double leakage = 0;
            for (size_t k = 1; k < n / 2; ++k)
                if (k != bin) leakage = std::max(leakage, std::hypot(double{data[2 * k]}, double{data[2 * k + 1]}));
            EXPECT_LT(leakage, 1e-5 * n) << n;
        }
    }
    // Nyquist: alternating ±1 lands in float 1 as 2·n.
    std::vector<float> alt(16);
    for (size_t i = 0; i < alt.size(); ++i) alt[i] = (i % 2) ? -1.0f : 1.0f;
    ASSERT_TRUE(RealFFT(alt.data(), 16, 1));
    EXPECT_FLOAT_EQ(alt[0], 0.0f);
    EXPECT_FLOAT_EQ(alt[1], 32.0f);
}

TEST(FFT, SinglePointIsUnchangedAndBadInputIsRefused) {
    float one[2] = {0.25f, -3.5f};
    ASSERT_TRUE(ComplexFFT(one, 1, 1));
    EXPECT_EQ(one[0], 0.25f);
    EXPECT_EQ(one[1], -3.5f);
    ASSERT_TRUE(ComplexFFT(one, 1, -1));
    EXPECT_EQ(one[0], 0.25f);
    EXPECT_EQ(one[1], -3.5f);

    std::vector<float> data = RandomFloats(64, 5);
    const std::vector<float> before = data;
    EXPECT_FALSE(ComplexFFT(nullptr, 16, 1));
    EXPECT_FALSE(RealFFT(nullptr, 16, 1));
    for (uint32_t bad : {0u, 3u, 12u, 48u, 1000u})
        EXPECT_FALSE(ComplexFFT(data.data(), bad, 1)) << bad;
    for (uint32_t bad : {0u, 1u, 6u, 24u})
        EXPECT_FALSE(RealFFT(data.data(), bad, 1)) << bad;
    EXPECT_FALSE(ComplexFFT(data.data(), kMaxFFTSize * 2, 1));
    EXPECT_FALSE(RealFFT(data.data(), kMaxFFTSize * 2, 1));
    EXPECT_FALSE(ComplexFFT(data.data(), 32, 0));
    EXPECT_FALSE(RealFFT(data.data(), 64, 2));
    EXPECT_FALSE(PrepareRealFFT(100));
    EXPECT_EQ(data, before);
}

TEST(FFT, PreparedTransformsDoNotAllocate) {
    KernelGuard guard;
    for (FFTKernel kernel : AvailableKernels()) {
        ASSERT_TRUE(SelectFFTKernel(kernel));
        for (uint32_t n : {8u, 256u, 4096u, 131072u}) {
            ASSERT_TRUE(PrepareRealFFT(n));
            ASSERT_TRUE(PrepareComplexFFT(n));
            std::vector<float> data = RandomFloats(2 * n, n);
            gAllocationCount = 0;
            gCountAllocations = true;
            const bool ok = RealFFT(data.data(), n, 1) && RealFFT(data.data(), n, -1) &&
                            ComplexFFT(data.data(), n, 1) && ComplexFFT(data.data(), n, -1);
            gCountAllocations = false;
            EXPECT_TRUE(ok);
            EXPECT_EQ(gAllocationCount.load(), 0) << FFTKernelName(kernel) << " n=" << n;
        }
    }
    // The counter itself works: an allocation while armed is seen.
    gAllocationCount = 0;
    gCountAllocations = true;
    auto* probe = new std::vector<int>(3);
    gCountAllocations = false;
    delete probe;
    EXPECT_GE(gAllocationCount.load(), 1);
}

}  // namespace
}  // namespace zeltrak
