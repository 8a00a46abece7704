// The averaging passes are plain loops over arrays; let them vectorise (a square root that
// need not set errno vectorises too; its result is the same).
#pragma GCC optimize("tree-vectorize", "vect-cost-model=dynamic", "no-math-errno")

#include "dsp/spectrum_averager.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/numeric.h"
#include "dsp/power_db.h"

namespace zeltrak {

namespace {

constexpr float kNoDb = static_cast<float>(kNoDecibels);

double BinPower(double re, double im) { return re * re + im * im; }

// One running-average pass over bins [0, n): C = ((k-1)·C + x) / k, and the power likewise or
// (vector) as the power of C; with the cross flag powers become magnitudes. The running state
// is kept in double (runC, runP) and rounded into the float average every frame: a float state
// would round thousands of times over a long file, and a run split over threads and merged
// would then differ from the sequential one in the sixth digit. Without peak hold every bin is
// stored, and the loop has no branch. The arrays never overlap; saying so lets it vectorise.
template <bool kVector, bool kCross, bool kHold>
[[gnu::always_inline]] inline void RunningLoop(const float* __restrict cur, double* __restrict runC,
                                               double* __restrict runP, float* __restrict avgC,
                                               float* __restrict avgP, uint32_t n, double previous, double invK) {
    // A size_t index: 2·i in 32 bits might wrap, which keeps the loop from vectorising.
    for (size_t i = 0; i < n; ++i) {
        const double re = cur[2 * i];
        const double im = cur[2 * i + 1];
        const double cRe = (previous * runC[2 * i] + re) * invK;
        const double cIm = (previous * runC[2 * i + 1] + im) * invK;
        double p;
        if constexpr (kVector) {
            p = BinPower(cRe, cIm);
        } else {
            double v = BinPower(re, im);
            if constexpr (kCross) v = std::sqrt(v);
            p = (previous * runP[i] + v) * invK;
        }
        if constexpr (kVector && kCross) p = std::sqrt(p);
        if constexpr (kHold) {
            if (!(p > runP[i])) continue;
        }
        runC[2 * i] = cRe;
        runC[2 * i + 1] = cIm;
        runP[i] = p;
        avgC[2 * i] = static_cast<float>(cRe);
        avgC[2 * i + 1] = static_cast<float>(cIm);
        avgP[i] = static_cast<float>(p);
    }
}

struct RunningArrays {
    const float* cur;
    double* runC;
    double* runP;
    float* avgC;
    float* avgP;
    uint32_t n;
};

template <bool kVector, bool kCross, bool kHold>
void RunningPassBaseline(const RunningArrays& a, double previous, double invK) {
    RunningLoop<kVector, kCross, kHold>(a.cur, a.runC, a.runP, a.avgC, a.avgP, a.n, previous, invK);
}

// The same loop in 256-bit vectors. AVX2 without FMA: every operation rounds as the baseline's
// does, so the average keeps the same bits on any machine.
template <bool kVector, bool kCross, bool kHold>
[[gnu::target("avx2")]] void RunningPassAvx2(const RunningArrays& a, double previous, double invK) {
    RunningLoop<kVector, kCross, kHold>(a.cur, a.runC, a.runP, a.avgC, a.avgP, a.n, previous, invK);
}

bool HaveAvx2() {
    static const bool have = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return have;
}

template <bool kVector, bool kCross>
void RunningPass(bool hold, const RunningArrays& a, double previous, double invK) {
    if (hold)
        RunningPassBaseline<kVector, kCross, true>(a, previous, invK);
    else if (HaveAvx2())
        RunningPassAvx2<kVector, kCross, false>(a, previous, invK);
    else
        RunningPassBaseline<kVector, kCross, false>(a, previous, invK);
}

}  // namespace

bool TSpectrumAverager::Allocate(uint32_t bins, bool withDb, bool holdBins) {
    unsettled_ = false;
    bins_ = bins;
    holdBins_ = holdBins;
    complex_ = AllocateSpectral<float>(2 * static_cast<size_t>(bins));
    power_ = AllocateSpectral<float>(bins);
    runComplex_ = AllocateSpectral<double>(2 * static_cast<size_t>(bins));
    runPower_ = AllocateSpectral<double>(bins);
    if (withDb) db_ = AllocateSpectral<float>(bins);
    return complex_ && power_ && runComplex_ && runPower_ && (!withDb || db_);
}

void TSpectrumAverager::DropHistory() {
    historyPower_.reset();
    historyComplex_.reset();
    sumPower_.reset();
    sumComplex_.reset();
}

bool TSpectrumAverager::SetAverage(uint32_t blocks, AveragingType type) {
    DropHistory();
    // No blocks would divide by zero.
    blocks_ = blocks ? blocks : 1;
    type_ = type;
    ringIndex_ = 0;
    refreshCursor_ = 0;
    if (type_ != AveragingType::Linear || blocks_ > kMaxLinearHistoryBlocks) return true;
    const size_t slots = static_cast<size_t>(blocks_) * bins_;
    historyPower_ = AllocateSpectral<float>(slots);
    historyComplex_ = AllocateSpectral<float>(2 * slots);
    sumPower_ = AllocateSpectral<double>(bins_);
    sumComplex_ = AllocateSpectral<double>(2 * static_cast<size_t>(bins_));
    if (historyPower_ && historyComplex_ && sumPower_ && sumComplex_) return true;
    DropHistory();
    return false;
}

void TSpectrumAverager::Reset() {
    Settle();  // the peak of the average that ends here stays until the next frame's
    averaged_ = 0;
    std::fill(complex_.get(), complex_.get() + 2 * static_cast<size_t>(bins_), 0.0f);
    std::fill(power_.get(), power_.get() + bins_, 0.0f);
    std::fill(runComplex_.get(), runComplex_.get() + 2 * static_cast<size_t>(bins_), 0.0);
    std::fill(runPower_.get(), runPower_.get() + bins_, 0.0);
    if (db_) std::fill(db_.get(), db_.get() + bins_, kNoDb);
    if (KeepsHistory()) {
        const size_t slots = static_cast<size_t>(blocks_) * bins_;
        std::memset(historyPower_.get(), 0, slots * sizeof(float));
        std::memset(historyComplex_.get(), 0, 2 * slots * sizeof(float));
        std::fill(sumPower_.get(), sumPower_.get() + bins_, 0.0);
        std::fill(sumComplex_.get(), sumComplex_.get() + 2 * static_cast<size_t>(bins_), 0.0);
    }
}

void TSpectrumAverager::Count() {
    const uint32_t n = blocks_;
    if (type_ == AveragingType::Linear) {
        if (averaged_ < n) {
            ++averaged_;
            ringIndex_ = averaged_ - 1;
        } else {
            averaged_ = n;
            ringIndex_ = (ringIndex_ + 1) % n;
        }
    } else {
        averaged_ = std::min(averaged_ + 1, n);
    }
}

void TSpectrumAverager::Add(const float* frame, bool cross) {
    Count();
    if (KeepsHistory())
        AddToHistory(frame, cross);
    else
        AddRunning(frame, cross);
    unsettled_ = true;
}

void TSpectrumAverager::StoreBin(uint32_t i, double re, double im, double power) {
    // Peak hold keeps a bin's value from the frame where it was largest.
    if (!holdBins_ || power > power_[i]) {
        complex_[2 * i] = static_cast<float>(re);
        complex_[2 * i + 1] = static_cast<float>(im);
        power_[i] = static_cast<float>(power);
    }
}

void TSpectrumAverager::AddRunning(const float* cur, bool cross) {
    const double previous = averaged_ - 1.0;
    const double invK = 1.0 / averaged_;
    const bool hold = holdBins_;
    // the last bin is never averaged
    const RunningArrays a{cur, runComplex_.get(), runPower_.get(), complex_.get(), power_.get(), bins_ - 1};
    if (type_ == AveragingType::Vector) {
        if (cross)
            RunningPass<true, true>(hold, a, previous, invK);
        else
            RunningPass<true, false>(hold, a, previous, invK);
    } else {
        if (cross)
            RunningPass<false, true>(hold, a, previous, invK);
        else
            RunningPass<false, false>(hold, a, previous, invK);
    }
}

void TSpectrumAverager::Settle() const {
    if (!unsettled_) return;
    unsettled_ = false;
    const float* p = power_.get();
    if (bins_ > kFirstPeakBin + 1) {
        uint32_t peak = kFirstPeakBin;
        for (uint32_t i = kFirstPeakBin + 1; i + 1 < bins_; ++i)
            if (p[i] > p[peak]) peak = i;
        peakBin_ = peak;
    }
    if (db_) PowerToDbArray(p, db_.get(), bins_ - 1);
}

void TSpectrumAverager::RefreshDb() {
    Settle();
    if (db_) PowerToDbArray(power_.get(), db_.get(), bins_);
}

void TSpectrumAverager::Merge(const TSpectrumAverager& other) {
    if (other.averaged_ == 0 || other.bins_ != bins_) return;
    const double total = static_cast<double>(averaged_) + other.averaged_;
    const double mine = averaged_ / total;
    const double theirs = other.averaged_ / total;
    for (size_t i = 0; i < 2 * static_cast<size_t>(bins_); ++i) {
        runComplex_[i] = mine * runComplex_[i] + theirs * other.runComplex_[i];
        complex_[i] = static_cast<float>(runComplex_[i]);
    }
    for (uint32_t i = 0; i < bins_; ++i) {
        runPower_[i] = mine * runPower_[i] + theirs * other.runPower_[i];
        power_[i] = static_cast<float>(runPower_[i]);
    }
    averaged_ += other.averaged_;
    unsettled_ = true;
}

void TSpectrumAverager::RefreshHistorySums() {
    // One slice of bins per frame is summed afresh over all slots, so every bin's running sum
    // is exact again once per N frames, and the cost per frame stays one pass over the bins.
    const uint32_t averagedBins = bins_ - 1;
    if (averagedBins == 0) return;
    const uint32_t slice = (averagedBins + blocks_ - 1) / blocks_;
    const uint32_t begin = refreshCursor_;
    const uint32_t end = std::min(averagedBins, begin + slice);
    for (uint32_t i = begin; i < end; ++i) {
        sumPower_[i] = 0.0;
        sumComplex_[2 * i] = 0.0;
        sumComplex_[2 * i + 1] = 0.0;
    }
    for (uint32_t s = 0; s < blocks_; ++s) {
        const float* hp = historyPower_.get() + static_cast<size_t>(s) * bins_;
        const float* hc = historyComplex_.get() + 2 * static_cast<size_t>(s) * bins_;
        for (uint32_t i = begin; i < end; ++i) {
            sumPower_[i] += hp[i];
            sumComplex_[2 * i] += hc[2 * i];
            sumComplex_[2 * i + 1] += hc[2 * i + 1];
        }
    }
    refreshCursor_ = end >= averagedBins ? 0 : end;
}

void TSpectrumAverager::AddToHistory(const float* cur, bool cross) {
    RefreshHistorySums();
    const double invK = 1.0 / averaged_;
    float* hp = historyPower_.get() + static_cast<size_t>(ringIndex_) * bins_;
    float* hc = historyComplex_.get() + 2 * static_cast<size_t>(ringIndex_) * bins_;
    double* sp = sumPower_.get();
    double* sc = sumComplex_.get();
    for (uint32_t i = 0; i + 1 < bins_; ++i) {
        const float re = cur[2 * i];
        const float im = cur[2 * i + 1];
        double v = BinPower(re, im);
        if (cross) v = std::sqrt(v);
        // the sums take exactly what the slot keeps, so that overwriting it later cancels
        const float stored = static_cast<float>(v);
        sp[i] += static_cast<double>(stored) - hp[i];
        sc[2 * i] += static_cast<double>(re) - hc[2 * i];
        sc[2 * i + 1] += static_cast<double>(im) - hc[2 * i + 1];
        hp[i] = stored;
        hc[2 * i] = re;
        hc[2 * i + 1] = im;
        StoreBin(i, sc[2 * i] * invK, sc[2 * i + 1] * invK, sp[i] * invK);
    }
}

}  // namespace zeltrak
