// Contraction into fused multiply-adds only makes the double-precision passes more exact;
// full optimisation lets the small fixed loops of the kernels unroll into registers.
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
// at least as many leaves as the kernel has lanes (two for the narrowest kernel).
constexpr uint32_t kMinVectorPoints = 32;
// Passes whose groups fit in this many complex points run block by block (2 x 64 KiB).
constexpr size_t kFFTBlock = 4096;
// Large transforms are split as h = B x M: the M sub-transforms of B points each stay in
// the second-level cache while they are built, then the outer passes run column by column.
constexpr uint32_t kSubSizeOdd = 2048;   // 8·4^4, for an 8-point leaf
constexpr uint32_t kSubSizeEven = 4096;  // 16·4^4, for a 16-point leaf
constexpr uint32_t kMinSplitPoints = 32768;
// Columns per chunk of the outer passes: M rows of this many points are worked on together.
constexpr size_t kColumnChunk = 64;
// Scratch for one column chunk, in doubles (M is at most 2^20 / kSubSizeOdd).
constexpr size_t kLocalDoubles = 2 * kColumnChunk * (kMaxFFTSize / kSubSizeOdd);

// 64-byte aligned storage of doubles or indices, released with the owner.
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
    // outer passes (q >= B): W_4q^j = W_4q^(jh·B) · W_4q^jl for j = jh·B + jl, from two
    // small tables (re then im) instead of one as large as the data
    const double* outerHigh[kMaxLog2] = {};  // 2·(q/B) values
    const double* outerLow[kMaxLog2] = {};   // 2·B values
    int stageCount = 0;
    uint32_t stageQ[kMaxLog2] = {};
    const double* stageTw[kMaxLog2] = {};

    // scalar path: bit reversal of 0 ... h-1 and W_h^j for j < h/2
    const uint32_t* rev = nullptr;
    const double* twRe = nullptr;
    const double* twIm = nullptr;

    // split step of the real FFT of 2h samples: W_2h^k for k = 0 ... h/2
    const double* realRe = nullptr;
    const double* realIm = nullptr;

    AlignedArray<uint32_t> indexStore;
    AlignedArray<double> doubleStore;
};

uint32_t ReverseBits(uint32_t value, uint32_t bits) {
    uint32_t r = 0;
    for (uint32_t b = 0; b < bits; ++b) {
        r = (r << 1) | (value & 1u);
        value >>= 1;
    }
    return r;
}

// e^(-i·2π·k/n) to full double precision.
void Twiddle(uint64_t k, uint64_t n, double& re, double& im) {
    const long double angle = 6.283185307179586476925286766559L * static_cast<long double>(k) / static_cast<long double>(n);
    re = static_cast<double>(std::cos(angle));
    im = static_cast<double>(-std::sin(angle));
}

// Chooses the plan's shape and counts the table entries it needs.
void ShapePlan(FFTPlan& p, size_t& indices, size_t& doubles) {
    const uint32_t h = p.h;
    doubles = 2 * (h / 2 + 1);  // the real split step
    if (p.scalar) {
        indices = h;
        doubles += 2 * (h / 2 + 1);
        return;
    }
    p.leafRadix = (p.log2h % 2 == 1) ? 8 : 16;
    indices = h / p.leafRadix;
    if (h >= kMinSplitPoints) {
        p.subSize = p.leafRadix == 8 ? kSubSizeOdd : kSubSizeEven;
        p.subCount = h / p.subSize;
        indices += p.subSize / p.leafRadix + p.subCount;
    }
    const size_t sub = h >= kMinSplitPoints ? (p.leafRadix == 8 ? kSubSizeOdd : kSubSizeEven) : 0;
    for (size_t q = p.leafRadix; q < h; q *= 4) {
        p.stageQ[p.stageCount++] = static_cast<uint32_t>(q);
        // outer passes of the split form use the two small tables instead
        doubles += (sub && q >= sub) ? 2 * (q / sub) + 2 * sub : 6 * q;
    }
}

// Bit reversal and twiddles of the plain radix-2 form.
void FillScalarTables(FFTPlan& p, uint32_t* ix, double* d) {
    const uint32_t h = p.h;
    for (uint32_t i = 0; i < h; ++i) ix[i] = ReverseBits(i, p.log2h);
    p.rev = ix;
    double* twRe = d;
    double* twIm = d + (h / 2 + 1);
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
    const uint32_t leafBits = p.log2h - (p.leafRadix == 16 ? 4 : 3);
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
void FillStageTwiddles(FFTPlan& p, double* d) {
    const int fullTables = p.subSize ? p.subStages : p.stageCount;
    for (int s = 0; s < fullTables; ++s) {
        const size_t q = p.stageQ[s];
        for (size_t j = 0; j < q; ++j) {
            double* chunk = d + (j / 8) * 48 + (j % 8);
            for (int m = 1; m <= 3; ++m) Twiddle(m * j, 4 * q, chunk[16 * (m - 1)], chunk[16 * (m - 1) + 8]);
        }
        p.stageTw[s] = d;
        d += 6 * q;
    }
    for (int s = p.subStages; p.subSize && s < p.stageCount; ++s) {
        const size_t q = p.stageQ[s], B = p.subSize;
        double* high = d;
        for (size_t jh = 0; jh < q / B; ++jh) Twiddle(jh * B, 4 * q, high[jh], high[q / B + jh]);
        d += 2 * (q / B);
        double* low = d;
        for (size_t jl = 0; jl < B; ++jl) Twiddle(jl, 4 * q, low[jl], low[B + jl]);
        d += 2 * B;
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
    size_t indices = 0, doubles = 0;
    ShapePlan(p, indices, doubles);
    p.indexStore = AlignedArray<uint32_t>(indices);
    p.doubleStore = AlignedArray<double>(doubles);
    double* d = p.doubleStore.data();

    const size_t realCount = h / 2 + 1;
    double* realRe = d;
    double* realIm = d + realCount;
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
    AlignedArray<double> buffer;
    double* Get(size_t doubles) {
        if (buffer.size() < doubles) {
            try {
                buffer = AlignedArray<double>(doubles);
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
inline void RealForwardSplitAt(const double* re, const double* im, const double* wre, const double* wim, float* out,
                               size_t h, size_t k) {
    if (k == 0) {
        out[0] = static_cast<float>(2.0 * (re[0] + im[0]));
        out[1] = static_cast<float>(2.0 * (re[0] - im[0]));
        return;
    }
    const size_t j = h - k;
    const double er = re[k] + re[j], ei = im[k] - im[j];  // 2E
    const double orr = im[k] + im[j], oi = re[j] - re[k];  // 2O
    const double tr = wre[k] * orr - wim[k] * oi, ti = wre[k] * oi + wim[k] * orr;
    out[2 * k] = static_cast<float>(er + tr);
    out[2 * k + 1] = static_cast<float>(ei + ti);
    out[2 * j] = static_cast<float>(er - tr);
    out[2 * j + 1] = static_cast<float>(ti - ei);
}

// From the packed spectrum to conj(4·Z) at k and h - k, ready for a forward transform.
inline void RealInverseSplitAt(const float* in, const double* wre, const double* wim, double* bre, double* bim, size_t h,
                               size_t k) {
    if (k == 0) {
        const double p0 = in[0], p1 = in[1];
        bre[0] = p0 + p1;
        bim[0] = -(p0 - p1);
        return;
    }
    const size_t j = h - k;
    const double pkr = in[2 * k], pki = in[2 * k + 1], pjr = in[2 * j], pji = in[2 * j + 1];
    const double er = pkr + pjr, ei = pki - pji;  // 4E
    const double dr = pkr - pjr, di = pki + pji;
    const double orr = dr * wre[k] + di * wim[k], oi = di * wre[k] - dr * wim[k];  // 4O
    bre[k] = er - oi;
    bim[k] = -(ei + orr);
    bre[j] = er + oi;
    bim[j] = ei - orr;
}

// ---- scalar path for small sizes: radix-2 passes, or 16 points at once in registers ----

void Dft16InRegisters(double* re, double* im);

void ScalarTransform(const FFTPlan& p, double* re, double* im) {
    const uint32_t h = p.h;
    if (h == 16) {
        Dft16InRegisters(re, im);
        return;
    }
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
                const double wr = p.twRe[j * step], wi = p.twIm[j * step];
                const uint32_t a = b + j, c = a + half;
                const double tr = re[c] * wr - im[c] * wi, ti = re[c] * wi + im[c] * wr;
                re[c] = re[a] - tr;
                im[c] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
            }
        }
    }
}

void ComplexScalar(const FFTPlan& p, float* data, bool inverse, double* ws) {
    const uint32_t h = p.h;
    double* re = ws;
    double* im = ws + h;
    const double sign = inverse ? -1.0 : 1.0;
    for (uint32_t i = 0; i < h; ++i) {
        re[i] = data[2 * i];
        im[i] = sign * data[2 * i + 1];
    }
    ScalarTransform(p, re, im);
    const double scale = inverse ? 1.0 / h : 1.0;
    for (uint32_t i = 0; i < h; ++i) {
        data[2 * i] = static_cast<float>(re[i] * scale);
        data[2 * i + 1] = static_cast<float>(sign * im[i] * scale);
    }
}

void RealForwardScalar(const FFTPlan& p, float* data, double* ws) {
    const uint32_t h = p.h;
    double* re = ws;
    double* im = ws + h;
    for (uint32_t i = 0; i < h; ++i) {
        re[i] = data[2 * i];
        im[i] = data[2 * i + 1];
    }
    ScalarTransform(p, re, im);
    for (size_t k = 0; k <= h / 2; ++k) RealForwardSplitAt(re, im, p.realRe, p.realIm, data, h, k);
}

void RealInverseScalar(const FFTPlan& p, float* data, double* ws) {
    const uint32_t h = p.h;
    double* re = ws;
    double* im = ws + h;
    for (size_t k = 0; k <= h / 2; ++k) RealInverseSplitAt(data, p.realRe, p.realIm, re, im, h, k);
    ScalarTransform(p, re, im);
    const double scale = 0.25 / h;
    for (uint32_t i = 0; i < h; ++i) {
        data[2 * i] = static_cast<float>(re[i] * scale);
        data[2 * i + 1] = static_cast<float>(-im[i] * scale);
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
#define ZK_VLEN 8
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
#define ZK_VLEN 4
#include "dsp/fft_kernels.inc"
#undef ZK_VLEN
}  // namespace fft_avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace fft_generic {
#define ZK_VLEN 2
#include "dsp/fft_kernels.inc"
#undef ZK_VLEN
}  // namespace fft_generic

namespace {

// One 16-point DFT with the generic kernel's butterflies, natural order in and out; only
// the first lane carries data.
void Dft16InRegisters(double* re, double* im) {
    using fft_generic::CV;
    using fft_generic::VD;
    CV x[16];
    for (int u = 0; u < 16; ++u) x[u] = {VD{re[u], 0.0}, VD{im[u], 0.0}};
    fft_generic::Dft16Transposed(x);
    for (int k = 0; k < 16; ++k) {
        re[k] = x[4 * (k % 4) + k / 4].r[0];
        im[k] = x[4 * (k % 4) + k / 4].i[0];
    }
}

struct KernelSet {
    void (*complexTransform)(const FFTPlan&, float*, bool, double*);
    void (*realForward)(const FFTPlan&, float*, double*);
    void (*realInverse)(const FFTPlan&, float*, double*);
};

constexpr KernelSet kKernelSets[] = {
    {fft_generic::ComplexVector, fft_generic::RealForwardVector, fft_generic::RealInverseVector},
    {fft_avx2::ComplexVector, fft_avx2::RealForwardVector, fft_avx2::RealInverseVector},
    {fft_avx512::ComplexVector, fft_avx512::RealForwardVector, fft_avx512::RealInverseVector},
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

// The leaf pass works on one leaf per lane; a plan with fewer leaves than the active
// kernel has lanes runs on the narrower kernel (which every wider one implies).
const KernelSet& KernelsFor(const FFTPlan& p) {
    const int active = ActiveKernelIndex().load(std::memory_order_relaxed);
    const bool tooFewLeaves = p.h < 8 * p.leafRadix;
    return kKernelSets[active == static_cast<int>(FFTKernel::Avx512) && tooFewLeaves ? static_cast<int>(FFTKernel::Avx2)
                                                                                       : active];
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
    return tWorkSpace.Get(2 * static_cast<size_t>(n) + kLocalDoubles) != nullptr;
}

bool PrepareRealFFT(uint32_t n) {
    const int log2 = SizeLog2(n, 2);
    if (log2 < 0 || !GetPlan(static_cast<uint32_t>(log2 - 1))) return false;
    return tWorkSpace.Get(2 * static_cast<size_t>(n) + kLocalDoubles) != nullptr;
}

bool ComplexFFT(float* data, uint32_t n, int direction) {
    const int log2 = SizeLog2(n, 1);
    if (!data || log2 < 0 || (direction != 1 && direction != -1)) return false;
    const FFTPlan* plan = GetPlan(static_cast<uint32_t>(log2));
    double* ws = tWorkSpace.Get(2 * static_cast<size_t>(n) + kLocalDoubles);
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
    double* ws = tWorkSpace.Get(2 * static_cast<size_t>(n) + kLocalDoubles);
    if (!plan || !ws) return false;
    const KernelSet& kernels = KernelsFor(*plan);
    if (direction == 1) {
        if (plan->scalar)
            RealForwardScalar(*plan, data, ws);
        else
            kernels.realForward(*plan, data, ws);
    } else {
        if (plan->scalar)
            RealInverseScalar(*plan, data, ws);
        else
            kernels.realInverse(*plan, data, ws);
    }
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
