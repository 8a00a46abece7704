#include "views/phase_blanking.h"

#include "views/view_range.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zeltrak {

bool UsablePhaseBlankDepth(double depthDb) {
    return depthDb >= kMinPhaseBlankDepthDb && depthDb <= kMaxPhaseBlankDepthDb;
}

std::optional<double> ParsePhaseBlankDepth(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end == begin) return std::nullopt;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0' || !UsablePhaseBlankDepth(value)) return std::nullopt;
    return value;
}

void BlankWeakPhase(const float* power, std::size_t n, double depthDb, std::vector<float>& phase) {
    if (!power || !std::isfinite(depthDb) || depthDb <= 0.0) return;
    n = std::min(n, phase.size());
    double highest = 0.0;
    for (std::size_t k = 0; k < n; ++k) highest = std::max(highest, static_cast<double>(power[k]));
    // Compared as powers: depthDb below the highest is a factor 10^(-depthDb/10).
    const double floor = highest * std::pow(10.0, -depthDb / 10.0);
    for (std::size_t k = 0; k < n; ++k) {
        const double p = power[k];
        if (!(p > 0.0) || p < floor) phase[k] = NAN;
    }
}

bool UsablePhaseBlankCoherence(double threshold) { return threshold >= 0.0 && threshold <= 1.0; }

std::optional<double> ParsePhaseBlankCoherence(const std::string& text) {
    const std::optional<double> value = ParseRangeNumber(text);
    if (!value || !UsablePhaseBlankCoherence(*value)) return std::nullopt;
    return value;
}

void BlankIncoherentPhase(const float* coherenceSquared, std::size_t n, double threshold, bool shownSquared,
                          std::vector<float>& phase) {
    if (!coherenceSquared || !(threshold > 0.0)) return;
    n = std::min(n, phase.size());
    // Compared as γ², so no root is taken per bin.
    const double floor = shownSquared ? threshold : threshold * threshold;
    for (std::size_t k = 0; k < n; ++k) {
        if (!(coherenceSquared[k] >= floor)) phase[k] = NAN;
    }
}

}  // namespace zeltrak
