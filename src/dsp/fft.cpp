// Contraction into fused multiply-adds only makes the passes more exact; full optimisation lets the small fixed loops of the kernels unroll into registers.
#if !defined(__clang__)
#pragma GCC optimize("O3", "fp-contract=fast")
#endif

#include "dsp/fft.h"

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

namespace zeltrak {

namespace {

constexpr int kMaxLog2 = 20;
// Below this many complex points the plain scalar path is used: the vector leaf pass needs
// at least as many leaves as the kernel has lanes (four for the narrowest kernel), and 16
// points are done as one tile in the registers of that kernel.
constexpr uint32_t kMinVectorPoints = 16;
// Odd powers of two from this size on start with 32-point leaves, so that the first radix-4
// pass spans at least the 16 lanes of the widest kernel; below it, with 8-point leaves.
constexpr uint32_t kMinLeaf32Points = 512;
// Passes whose groups fit in this many complex points run block by block (2 x 32 KiB).
constexpr size_t kFFTBlock = 8192;
// Large transforms are split as h = B x M: the M sub-transforms of B points each stay in
// the second-level cache while they are built, then the outer passes run column by column.
constexpr uint32_t kSubSizeOdd = 2048;   // 32·4^3, for a 32-point leaf
constexpr uint32_t kSubSizeEven = 4096;  // 16·4^4, for a 16-point leaf
constexpr uint32_t kMinSplitPoints = 32768;
// Columns per chunk of the outer passes: M rows of this many points are worked on together.
constexpr size_t kColumnChunk = 64;
// Scratch for one column chunk, in floats (M is at most 2^20 / kSubSizeOdd).
constexpr size_t kLocalFloats = 2 * kColumnChunk * (kMaxFFTSize / kSubSizeOdd);
// Stage twiddles are stored in chunks of this many j values, one register of the widest kernel.
constexpr uint32_t kTwChunk = 16;

// 64-byte aligned storage of floats or indices, released with the owner.
template <class T>
class AlignedArray {
public:
    AlignedArray() = default;
    explicit AlignedArray(size_t count)
        : data_(static_cast<T*>(::operator new(count * sizeof(T), std::align_val_t{64}))), count_(count) {}
    AlignedArray(const AlignedArray&) = delete;
    AlignedArray& operator=(const AlignedArray&) = delete;
    AlignedArray(AlignedArray&& other) noexcept : data_(other.data_), count_(other.count_) {
        other.data_ = nullptr;
        other.count_ = 0;
    }
    AlignedArray& operator=(AlignedArray&& other) noexcept {
        if (this != &other) {
            Release();
            data_ = other.data_;
            count_ = other.count_;
            other.data_ = nullptr;
            other.count_ = 0;
        }
        return *this;
    }
    ~AlignedArray() { Release(); }
    T* data() { return data_; }
    const T* data() const { return data_; }
    size_t size() const { return count_; }
    T& operator[](size_t i) { return data_[i]; }

private:
    void Release() {
        if (data_) ::operator delete(data_, std::align_val_t{64});
        data_ = nullptr;
    }
    T* data_ = nullptr;
    size_t count_ = 0;
};

// Everything a transform of h complex points needs besides the data: built once per size.
struct FFTPlan {
    uint32_t h = 0;
    uint32_t log2h = 0;
    bool scalar = false;

    // vector path
    uint32_t leafRadix = 0;
    const uint32_t* leafRev = nullptr;  // bit reversal of the h/leafRadix leaf indices
    // split form (h >= kMinSplitPoints): sub-transform size B, their count M
    uint32_t subSize = 0;
    uint32_t subCount = 0;
    int subStages = 0;                  // radix-4 passes inside one sub-transform
    const uint32_t* subLeafRev = nullptr;  // bit reversal of the B/leafRadix leaf indices
    const uint32_t* subRev = nullptr;      // bit reversal of the M sub-transform indices
    // outer passes (q >= B): W_4q^(m·j) = W_4q^(m·jh·B) · W_4q^(m·jl) for j = jh·B + jl and
    // m = 1, 2, 3, from two small tables (re then im for each m) instead of one as large as the data
    const float* outerHigh[kMaxLog2] = {};  // 6·(q/B) values
    const float* outerLow[kMaxLog2] = {};   // 6·B values
    int stageCount = 0;
    uint32_t stageQ[kMaxLog2] = {};
    const float* stageTw[kMaxLog2] = {};

    // scalar path: bit reversal of 0 ... h-1 and W_h^j for j < h/2
    const uint32_t* rev = nullptr;
    const float* twRe = nullptr;
    const float* twIm = nullptr;

    // split step of the real FFT of 2h samples: W_2h^k for k = 0 ... h/2
    const float* realRe = nullptr;
    const float* realIm = nullptr;

    AlignedArray<uint32_t> indexStore;
    AlignedArray<float> floatStore;
};

uint32_t ReverseBits(uint32_t value, uint32_t bits) {
    uint32_t r = 0;
    for (uint32_t b = 0; b < bits; ++b) {
        r = (r << 1) | (value & 1u);
        value >>= 1;
    }
    return r;
}

// e^(-i·2π·k/n), computed in long double and rounded once.
void Twiddle(uint64_t k, uint64_t n, float& re, float& im) {
    const long double angle = 6.283185307179586476925286766559L * static_cast<long double>(k) / static_cast<long double>(n);
    re = static_cast<float>(std::cos(angle));
    im = static_cast<float>(-std::sin(angle));
}

// Chooses the plan's shape and counts the table entries it needs.
void ShapePlan(FFTPlan& p, size_t& indices, size_t& floats) {
    const uint32_t h = p.h;
    floats = 2 * (h / 2 + 1);  // the real split step
    if (p.scalar) {
        indices = h;
        floats += 2 * (h / 2 + 1);
        return;
    }
    p.leafRadix = p.log2h % 2 == 0 ? 16 : h >= kMinLeaf32Points ? 32 : 8;
    indices = h / p.leafRadix;
    if (h >= kMinSplitPoints) {
        p.subSize = p.log2h % 2 == 1 ? kSubSizeOdd : kSubSizeEven;
        p.subCount = h / p.subSize;
        indices += p.subSize / p.leafRadix + p.subCount;
    }
    const size_t sub = p.subSize;
    for (size_t q = p.leafRadix; q < h; q *= 4) {
        p.stageQ[p.stageCount++] = static_cast<uint32_t>(q);
        // outer passes of the split form use the two small tables instead
        floats += (sub && q >= sub) ? 6 * (q / sub) + 6 * sub : 6 * (q < kTwChunk ? kTwChunk : q);
    }
}

// Bit reversal and twiddles of the plain radix-2 form.
void FillScalarTables(FFTPlan& p, uint32_t* ix, float* d) {
    const uint32_t h = p.h;
    for (uint32_t i = 0; i < h; ++i) ix[i] = ReverseBits(i, p.log2h);
    p.rev = ix;
    float* twRe = d;
    float* twIm = d + (h / 2 + 1);
    for (uint32_t j = 0; j <= h / 2; ++j) Twiddle(j, h, twRe[j], twIm[j]);
    p.twRe = twRe;
    p.twIm = twIm;
}

uint32_t BitsFor(uint32_t count) {
    uint32_t bits = 0;
    while ((1u << bits) < count) ++bits;
    return bits;
}

// Leaf order of the vector form; with the split form also the orders inside and across sub-blocks.
void FillVectorIndices(FFTPlan& p, uint32_t* ix) {
    const uint32_t h = p.h;
    const uint32_t leafBits = p.log2h - BitsFor(p.leafRadix);
    for (uint32_t s = 0; s < (h >> (p.log2h - leafBits)); ++s) ix[s] = ReverseBits(s, leafBits);
    p.leafRev = ix;
    if (!p.subSize) return;
    uint32_t* subLeafRev = ix + h / p.leafRadix;
    uint32_t* subRev = subLeafRev + p.subSize / p.leafRadix;
    const uint32_t subLeaves = p.subSize / p.leafRadix;
    const uint32_t leafOrderBits = BitsFor(subLeaves);
    for (uint32_t t = 0; t < subLeaves; ++t) subLeafRev[t] = ReverseBits(t, leafOrderBits);
    const uint32_t subOrderBits = BitsFor(p.subCount);
    for (uint32_t c = 0; c < p.subCount; ++c) subRev[c] = ReverseBits(c, subOrderBits);
    p.subLeafRev = subLeafRev;
    p.subRev = subRev;
    while (p.subStages < p.stageCount && 4 * p.stageQ[p.subStages] <= p.subSize) ++p.subStages;
}

// Radix-4 stage twiddles: whole tables for the inner stages, two small ones for the outer
// stages of the split form.
void FillStageTwiddles(FFTPlan& p, float* d) {
    const int fullTables = p.subSize ? p.subStages : p.stageCount;
    for (int s = 0; s < fullTables; ++s) {
        const size_t q = p.stageQ[s];
        for (size_t j = 0; j < q; ++j) {
            float* chunk = d + (j / kTwChunk) * 6 * kTwChunk + (j % kTwChunk);
            for (int m = 1; m <= 3; ++m)
                Twiddle(m * j, 4 * q, chunk[2 * kTwChunk * (m - 1)], chunk[2 * kTwChunk * (m - 1) + kTwChunk]);
        }
        p.stageTw[s] = d;
        d += 6 * (q < kTwChunk ? kTwChunk : q);
    }
    for (int s = p.subStages; p.subSize && s < p.stageCount; ++s) {
        const size_t q = p.stageQ[s], B = p.subSize, Q = q / B;
        float* high = d;
        for (size_t m = 1; m <= 3; ++m)
            for (size_t jh = 0; jh < Q; ++jh) Twiddle(m * jh * B, 4 * q, high[2 * (m - 1) * Q + jh], high[(2 * m - 1) * Q + jh]);
        d += 6 * Q;
        float* low = d;
        for (size_t m = 1; m <= 3; ++m)
            for (size_t jl = 0; jl < B; ++jl) Twiddle(m * jl, 4 * q, low[2 * (m - 1) * B + jl], low[(2 * m - 1) * B + jl]);
        d += 6 * B;
        p.outerHigh[s] = high;
        p.outerLow[s] = low;
    }
}

std::unique_ptr<FFTPlan> BuildPlan(uint32_t log2h) {
    auto plan = std::make_unique<FFTPlan>();
    FFTPlan& p = *plan;
    const uint32_t h = 1u << log2h;
    p.h = h;
    p.log2h = log2h;
    p.scalar = h < kMinVectorPoints;
    size_t indices = 0, floats = 0;
    ShapePlan(p, indices, floats);
    p.indexStore = AlignedArray<uint32_t>(indices);
    p.floatStore = AlignedArray<float>(floats);
    float* d = p.floatStore.data();

    const size_t realCount = h / 2 + 1;
    float* realRe = d;
    float* realIm = d + realCount;
    d += 2 * realCount;
    for (size_t k = 0; k < realCount; ++k) Twiddle(k, 2ull * h, realRe[k], realIm[k]);
    p.realRe = realRe;
    p.realIm = realIm;

    if (p.scalar) {
        FillScalarTables(p, p.indexStore.data(), d);
    } else {
        FillVectorIndices(p, p.indexStore.data());
        FillStageTwiddles(p, d);
    }
    return plan;
}

// Plans are published once and never change, so readers need no lock.
std::mutex gPlanMutex;
std::unique_ptr<FFTPlan> gPlanOwners[kMaxLog2 + 1];
std::atomic<const FFTPlan*> gPlans[kMaxLog2 + 1];

const FFTPlan* GetPlan(uint32_t log2h) {
    if (const FFTPlan* p = gPlans[log2h].load(std::memory_order_acquire)) return p;
    std::lock_guard<std::mutex> lock(gPlanMutex);
    if (const FFTPlan* p = gPlans[log2h].load(std::memory_order_acquire)) return p;
    try {
        gPlanOwners[log2h] = BuildPlan(log2h);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    gPlans[log2h].store(gPlanOwners[log2h].get(), std::memory_order_release);
    return gPlanOwners[log2h].get();
}

// Per-thread scratch, grown when a larger transform first needs it.
struct WorkSpace {
    AlignedArray<float> buffer;
    float* Get(size_t floats) {
        if (buffer.size() < floats) {
            try {
                buffer = AlignedArray<float>(floats);
            } catch (const std::bad_alloc&) {
                return nullptr;
            }
        }
        return buffer.data();
    }
};
thread_local WorkSpace tWorkSpace;

// ---- split steps of the real FFT, one index pair at a time (shared by every path) ----

// From Z = FFT(x[2n] + i·x[2n+1]) to the packed spectrum 2·X at k and h - k.
inline void RealForwardSplitAt(const float* re, const float* im, const float* wre, const float* wim, float* out,
                               size_t h, size_t k) {
    if (k == 0) {
        out[0] = 2.0f * (re[0] + im[0]);
        out[1] = 2.0f * (re[0] - im[0]);
        return;
    }
    const size_t j = h - k;
    const float er = re[k] + re[j], ei = im[k] - im[j];  // 2E
    const float orr = im[k] + im[j], oi = re[j] - re[k];  // 2O
    const float tr = wre[k] * orr - wim[k] * oi, ti = wre[k] * oi + wim[k] * orr;
    out[2 * k] = er + tr;
    out[2 * k + 1] = ei + ti;
    out[2 * j] = er - tr;
    out[2 * j + 1] = ti - ei;
}

// From the packed spectrum to conj(4·Z) at k and h - k, ready for a forward transform.
inline void RealInverseSplitAt(const float* in, const float* wre, const float* wim, float* bre, float* bim, size_t h,
                               size_t k) {
    if (k == 0) {
        const float p0 = in[0], p1 = in[1];
        bre[0] = p0 + p1;
        bim[0] = -(p0 - p1);
        return;
    }
    const size_t j = h - k;
    const float pkr = in[2 * k], pki = in[2 * k + 1], pjr = in[2 * j], pji = in[2 * j + 1];
    const float er = pkr + pjr, ei = pki - pji;  // 4E
    const float dr = pkr - pjr, di = pki + pji;
    const float orr = dr * wre[k] + di * wim[k], oi = di * wre[k] - dr * wim[k];  // 4O
    bre[k] = er - oi;
    bim[k] = -(ei + orr);
    bre[j] = er + oi;
    bim[j] = ei - orr;
}

// ---- scalar path for the smallest sizes: radix-2 passes ----

void ScalarTransform(const FFTPlan& p, float* re, float* im) {
    const uint32_t h = p.h;
    for (uint32_t i = 0; i < h; ++i) {
        const uint32_t r = p.rev[i];
        if (i < r) {
            std::swap(re[i], re[r]);
            std::swap(im[i], im[r]);
        }
    }
    for (uint32_t size = 2; size <= h; size *= 2) {
        const uint32_t half = size / 2, step = h / size;
        for (uint32_t b = 0; b < h; b += size) {
            for (uint32_t j = 0; j < half; ++j) {
                const float wr = p.twRe[j * step], wi = p.twIm[j * step];
                const uint32_t a = b + j, c = a + half;
                const float tr = re[c] * wr - im[c] * wi, ti = re[c] * wi + im[c] * wr;
                re[c] = re[a] - tr;
                im[c] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
            }
        }
    }
}

void ComplexScalar(const FFTPlan& p, float* data, bool inverse, float* ws) {
    const uint32_t h = p.h;
    float* re = ws;
    float* im = ws + h;
    const float sign = inverse ? -1.0f : 1.0f;
    for (uint32_t i = 0; i < h; ++i) {
        re[i] = data[2 * i];
        im[i] = sign * data[2 * i + 1];
    }
    ScalarTransform(p, re, im);
    const float scale = inverse ? 1.0f / static_cast<float>(h) : 1.0f;
    for (uint32_t i = 0; i < h; ++i) {
        data[2 * i] = re[i] * scale;
        data[2 * i + 1] = sign * im[i] * scale;
    }
}

void RealForwardScalar(const FFTPlan& p, float* data, float* ws) {
    const uint32_t h = p.h;
    float* re = ws;
    float* im = ws + h;
    for (uint32_t i = 0; i < h; ++i) {
        re[i] = data[2 * i];
        im[i] = data[2 * i + 1];
    }
    ScalarTransform(p, re, im);
    for (size_t k = 0; k <= h / 2; ++k) RealForwardSplitAt(re, im, p.realRe, p.realIm, data, h, k);
}

void RealInverseScalar(const FFTPlan& p, float* data, float* ws) {
    const uint32_t h = p.h;
    float* re = ws;
    float* im = ws + h;
    for (size_t k = 0; k <= h / 2; ++k) RealInverseSplitAt(data, p.realRe, p.realIm, re, im, h, k);
    ScalarTransform(p, re, im);
    const float scale = 0.25f / static_cast<float>(h);
    for (uint32_t i = 0; i < h; ++i) {
        data[2 * i] = re[i] * scale;
        data[2 * i + 1] = -im[i] * scale;
    }
}

}  // namespace

// ---- the vector passes, once per instruction set ----

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512dq,avx512vl,avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx512vl,avx2,fma")
#endif
namespace fft_avx512 {
#define ZK_VLEN 16
#include "dsp/fft_kernels.inc"
#undef ZK_VLEN
}  // namespace fft_avx512
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif
namespace fft_avx2 {
#define ZK_VLEN 8
#include "dsp/fft_kernels.inc"
#undef ZK_VLEN
}  // namespace fft_avx2
// Four lanes with the same instructions, for the plans too small for eight.
namespace fft_avx2_narrow {
#define ZK_VLEN 4
#include "dsp/fft_kernels.inc"
#undef ZK_VLEN
}  // namespace fft_avx2_narrow
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace fft_generic {
#define ZK_VLEN 4
#include "dsp/fft_kernels.inc"
#undef ZK_VLEN
}  // namespace fft_generic

namespace {

struct KernelSet {
    uint32_t lanes;
    void (*complexTransform)(const FFTPlan&, float*, bool, float*);
    void (*realForward)(const FFTPlan&, float*, float*);
    void (*realInverse)(const FFTPlan&, float*, float*);
};

constexpr KernelSet kGenericSet = {4, fft_generic::ComplexVector, fft_generic::RealForwardVector,
                                   fft_generic::RealInverseVector};
// Each instruction set's kernels, widest first.
constexpr KernelSet kAvx2Sets[] = {
    {8, fft_avx2::ComplexVector, fft_avx2::RealForwardVector, fft_avx2::RealInverseVector},
    {4, fft_avx2_narrow::ComplexVector, fft_avx2_narrow::RealForwardVector, fft_avx2_narrow::RealInverseVector},
};
constexpr KernelSet kAvx512Sets[] = {
    {16, fft_avx512::ComplexVector, fft_avx512::RealForwardVector, fft_avx512::RealInverseVector},
    kAvx2Sets[0],
    kAvx2Sets[1],
};

bool CpuHas(FFTKernel kernel) {
    switch (kernel) {
        case FFTKernel::Generic:
            return true;
        case FFTKernel::Avx2:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
        case FFTKernel::Avx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                   __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx2") &&
                   __builtin_cpu_supports("fma");
    }
    return false;
}

FFTKernel BestKernel() {
    if (CpuHas(FFTKernel::Avx512)) return FFTKernel::Avx512;
    if (CpuHas(FFTKernel::Avx2)) return FFTKernel::Avx2;
    return FFTKernel::Generic;
}

std::atomic<int>& ActiveKernelIndex() {
    static std::atomic<int> index{static_cast<int>(BestKernel())};
    return index;
}

// The leaf pass works on one leaf per lane and the first radix-4 pass on one register of
// leaf outputs: a plan with fewer leaves, or smaller leaves, than a kernel has lanes runs
// on a narrower kernel of the same instruction set. Four lanes fit every vector plan.
const KernelSet& KernelsFor(const FFTPlan& p) {
    const auto active = static_cast<FFTKernel>(ActiveKernelIndex().load(std::memory_order_relaxed));
    if (active == FFTKernel::Generic) return kGenericSet;
    const KernelSet* sets = active == FFTKernel::Avx512 ? kAvx512Sets : kAvx2Sets;
    const uint32_t leaves = p.h / p.leafRadix;
    while (sets->lanes > 4 && (sets->lanes > leaves || sets->lanes > p.leafRadix)) ++sets;
    return *sets;
}

// log2 of n when n is a power of two in [minimum, 2^20], otherwise -1.
int SizeLog2(uint32_t n, uint32_t minimum) {
    if (n < minimum || n > kMaxFFTSize || (n & (n - 1)) != 0) return -1;
    int log2 = 0;
    while ((1u << log2) != n) ++log2;
    return log2;
}

}  // namespace

bool PrepareComplexFFT(uint32_t n) {
    const int log2 = SizeLog2(n, 1);
    if (log2 < 0 || !GetPlan(static_cast<uint32_t>(log2))) return false;
    return tWorkSpace.Get(2 * static_cast<size_t>(n) + kLocalFloats) != nullptr;
}

bool PrepareRealFFT(uint32_t n) {
    const int log2 = SizeLog2(n, 2);
    if (log2 < 0 || !GetPlan(static_cast<uint32_t>(log2 - 1))) return false;
    return tWorkSpace.Get(2 * static_cast<size_t>(n) + kLocalFloats) != nullptr;
}

bool ComplexFFT(float* data, uint32_t n, int direction) {
    const int log2 = SizeLog2(n, 1);
    if (!data || log2 < 0 || (direction != 1 && direction != -1)) return false;
    const FFTPlan* plan = GetPlan(static_cast<uint32_t>(log2));
    float* ws = tWorkSpace.Get(2 * static_cast<size_t>(n) + kLocalFloats);
    if (!plan || !ws) return false;
    const bool inverse = direction == -1;
    if (plan->scalar)
        ComplexScalar(*plan, data, inverse, ws);
    else
        KernelsFor(*plan).complexTransform(*plan, data, inverse, ws);
    return true;
}

bool RealFFT(float* data, uint32_t n, int direction) {
    const int log2 = SizeLog2(n, 2);
    if (!data || log2 < 0 || (direction != 1 && direction != -1)) return false;
    const FFTPlan* plan = GetPlan(static_cast<uint32_t>(log2 - 1));
    // the inverse needs a second half-size array for the pre-processed spectrum
    float* ws = tWorkSpace.Get(2 * static_cast<size_t>(n) + kLocalFloats);
    if (!plan || !ws) return false;
    if (plan->scalar)
        (direction == 1 ? RealForwardScalar : RealInverseScalar)(*plan, data, ws);
    else
        (direction == 1 ? KernelsFor(*plan).realForward : KernelsFor(*plan).realInverse)(*plan, data, ws);
    return true;
}

FFTKernel ActiveFFTKernel() { return static_cast<FFTKernel>(ActiveKernelIndex().load()); }

bool FFTKernelAvailable(FFTKernel kernel) { return CpuHas(kernel); }

bool SelectFFTKernel(FFTKernel kernel) {
    if (!CpuHas(kernel)) return false;
    ActiveKernelIndex().store(static_cast<int>(kernel));
    return true;
}

const char* FFTKernelName(FFTKernel kernel) {
    switch (kernel) {
        case FFTKernel::Generic:
            return "generic";
        case FFTKernel::Avx2:
            return "avx2";
        case FFTKernel::Avx512:
            return "avx512";
    }
    return "";
}

}  // namespace zeltrak
