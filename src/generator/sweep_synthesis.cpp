// The two sweeps: frequency (linear or logarithmic) and level.
#include <algorithm>
#include <cmath>

#include "generator/buffer_length.h"
#include "generator/signal_synthesis_internal.h"

namespace zeltrak {

using namespace synthesis;

namespace {

// Samples per sweep; at least one so that a damaged setting cannot divide by zero.
uint32_t SweepSamples(double samples) { return std::max(TruncSamples(samples), 1u); }

// 10^x through exp, several times faster than pow; the relative error stays near 1e-15.
double LogSweepHz(double log10Start, double rate, uint32_t n) {
    constexpr double kLn10 = 2.302585092994045684;
    return std::exp(kLn10 * std::clamp(log10Start + n * rate, -200.0, 200.0));
}

// The frequency at the end of a log sweep from its last seven zero crossings (three periods),
// or -1 when the sweep has fewer.
double LogSweepEndHz(double log10Start, double c, uint32_t n, uint32_t rate) {
    auto sign = [&](uint32_t k) {
        return std::sin(kTwoPi * (k + 1.0) * LogSweepHz(log10Start, c, k) / rate) > 0.0 ? 1 : -1;
    };
    int next = sign(n - 1);
    int found = 0;
    uint32_t first = 0;
    for (uint32_t k = n - 1; k-- > 0;) {
        const int here = sign(k);
        if (here != next && ++found == 1) first = k;
        if (found == 7) return 3.0 * rate / (first - k);
        next = here;
    }
    return -1.0;
}

void ReverseChannel(const ChannelWriter& out) {
    for (uint32_t i = 0, j = out.Length(); i + 1 < j; ++i) {
        --j;
        const int32_t a = out.Get(i);
        out.Put(i, out.Get(j));
        out.Put(j, a);
    }
}

}  // namespace

double TunedLogSweepRate(double f1, double f2, uint32_t n, uint32_t rate) {
    double c = 0.5 * std::log10(f2 / f1) / n;
    if (f1 == f2 || n < 1000) return c;
    // Tuned a decade lower, where the last three periods span many samples and measure well.
    const double log10Start = std::log10(f1 / 10.0);
    for (int round = 0; round < 10000; ++round) {
        const double end = LogSweepEndHz(log10Start, c, n, rate);
        if (end < 0.0 || end >= f2 / 10.0) break;
        c *= 1.001;
    }
    return c;
}

void SynthesizeFrequencySweep(const ChannelWriter& out, const FrequencySweepSetup& sweep, double g,
                              DitherSource& dither, const SynthesisProgress& progress) {
    const uint32_t rate = out.Format().rate;
    const uint32_t n = SweepSamples(sweep.timeMs * static_cast<double>(rate) * 0.001);
    double f1 = std::min<double>(sweep.startHz, rate / 2.0);
    double f2 = std::min<double>(sweep.stopHz, rate / 2.0);
    const bool logarithmic = sweep.sweepType == 2;
    bool reversed = false;
    double c = (f2 - f1) * 0.5 / n;
    if (logarithmic) {
        f1 = std::max(f1, 1.0);
        f2 = std::max(f2, 1.0);
        reversed = f2 < f1;
        if (reversed) std::swap(f1, f2);
        c = TunedLogSweepRate(f1, f2, n, rate);
    }
    const double log10Start = std::log10(f1);
    std::array<double, kBlock> s;
    uint32_t j = 0;  // position in the sweep
    ForBlocks(out.Length(), progress, [&](uint32_t first, uint32_t count) {
        for (uint32_t k = 0; k < count; ++k, j = j + 1 == n ? 0 : j + 1) {
            const double hz = logarithmic ? LogSweepHz(log10Start, c, j) : f1 + j * c;
            s[k] = kTwoPi * (j + 1.0) * hz / rate;
        }
        for (uint32_t k = 0; k < count; ++k) s[k] = FastSin(s[k]);
        SineOutput(out, g, first, s.data(), count, dither);
    });
    if (reversed) ReverseChannel(out);
}

void SynthesizeLevelSweep(const ChannelWriter& out, const LevelSweepSetup& sweep, double g, DitherSource& dither,
                          const SynthesisProgress& progress) {
    const uint32_t rate = out.Format().rate;
    const uint32_t n = SweepSamples(std::trunc(sweep.timeMs * static_cast<double>(rate)) * 0.001);
    // Per sample of one sweep, so that every sweep ends at the stop level, also the shorter
    // sweeps repeated within the buffer.
    const double dbStep = (static_cast<double>(sweep.stopDb) - sweep.startDb) / n;
    const std::array tone{Tone{sweep.frequencyHz, 1.0}};
    std::array<double, kBlock> s;
    ForBlocks(out.Length(), progress, [&](uint32_t first, uint32_t count) {
        std::fill_n(s.begin(), count, 0.0);
        for (uint32_t k = 0; k < count;) {
            const uint32_t j = (first + k) % n;
            const uint32_t run = std::min(count - k, n - j);  // the time index restarts with each sweep
            AddSines(tone, rate, j + 1ull, s.data() + k, run);
            for (uint32_t q = 0; q < run; ++q) s[k + q] *= std::pow(10.0, 0.05 * (sweep.startDb + (j + q) * dbStep));
            k += run;
        }
        SineOutput(out, g, first, s.data(), count, dither);
    });
}

}  // namespace zeltrak
