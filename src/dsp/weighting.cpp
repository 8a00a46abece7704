#include "dsp/weighting.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "dsp/scaling_strings.h"
#include "platform/input_file.h"

namespace zeltrak {

namespace {

// Pole frequencies of the weightings (Hz).
constexpr double kF1 = 20.598997;
constexpr double kF2 = 107.65265;
constexpr double kF3 = 737.86223;
constexpr double kF4 = 12194.217;
constexpr double kF5 = 158.48932;

bool IsWeighting(uint32_t type) { return type == kWeightingA || type == kWeightingB || type == kWeightingC; }

// The response before normalisation, as a product of factors none of which exceeds 1, so that
// nothing overflows short of the frequency's square itself.
double Response(uint32_t type, double f) {
    const double s = f * f;
    const double lowCut = s / (s + kF1 * kF1);
    const double highCut = kF4 * kF4 / (s + kF4 * kF4);
    switch (type) {
        case kWeightingA: return lowCut * highCut * s / (std::sqrt(s + kF2 * kF2) * std::sqrt(s + kF3 * kF3));
        case kWeightingB: return lowCut * highCut * f / std::sqrt(s + kF5 * kF5);
        case kWeightingC: return lowCut * highCut;
        default: return 1.0;
    }
}

}  // namespace

double WeightingLevelDb(uint32_t type, double frequencyHz) {
    if (!IsWeighting(type)) return 0.0;
    const double f = std::abs(frequencyHz);
    // the ratio is exactly 1 at 1 kHz, so that level is exactly 0 dB
    const double level = 20.0 * std::log10(Response(type, f) / Response(type, 1000.0));
    // NaN only where the square of the frequency overflows (or for a NaN frequency): far out
    // where the response has fallen to nothing, like at 0 Hz, where the level is -infinity
    constexpr double kLimit = kMaxCurveLevelDb;
    return std::isnan(level) ? -kLimit : std::clamp(level, -kLimit, kLimit);
}

std::vector<float> WeightingFactorsOnBins(uint32_t type, const BinAxis& axis) {
    if (!IsWeighting(type)) return {};
    std::vector<float> factors(axis.bins);
    for (uint32_t k = 0; k < axis.bins; ++k)
        factors[k] = static_cast<float>(std::pow(10.0, 0.05 * WeightingLevelDb(type, axis.BinFrequency(k))));
    return factors;
}

std::vector<float> CurveOntoBins(const std::vector<CurvePoint>& points, const BinAxis& axis) {
    std::vector<float> levels(axis.bins, 0.0f);
    if (points.empty() || axis.bins == 0) return levels;
    const uint32_t b0 = axis.FreqToBin(points.front().x);
    const uint32_t b1 = axis.FreqToBin(points.back().x);
    for (uint32_t k = 0; k <= b0 && k < axis.bins; ++k) levels[k] = points.front().y;
    for (uint32_t k = b1; k < axis.bins; ++k) levels[k] = points.back().y;
    if (b1 > b0 + 1) {
        const TSpline spline(points);
        for (uint32_t k = b0 + 1; k < b1; ++k) {
            const float v = spline.Evaluate(axis.BinFrequency(k));
            levels[k] = std::isnan(v) ? 0.0f : std::clamp(v, -kMaxCurveLevelDb, kMaxCurveLevelDb);
        }
    }
    return levels;
}

std::vector<float> LevelsToFactors(const std::vector<float>& levels) {
    std::vector<float> factors(levels.size());
    for (size_t k = 0; k < levels.size(); ++k) {
        const float a = static_cast<float>(std::pow(10.0, 0.05 * levels[k]));
        factors[k] = (a == 0.0f || !std::isfinite(a)) ? 1.0f : a;
    }
    return factors;
}

CurveFileStatus ReadCompensationFile(const std::string& path, std::vector<CurvePoint>& points) {
    // Regular files only: a FIFO would block the open and /dev/zero is one endless line.
    const int fd = OpenRegularFile(path);
    std::FILE* file = fd >= 0 ? ::fdopen(fd, "r") : nullptr;
    if (!file) {
        if (fd >= 0) ::close(fd);
        return CurveFileStatus::OpenFailed;
    }
    std::vector<CurvePoint> read;
    char line[128];
    while (read.size() < kMaxCurvePoints && std::fgets(line, sizeof line, file)) {
        // The rest of an overlong line is skipped, so that it is not read as a line of its own.
        if (!std::strchr(line, '\n')) {
            int c;
            while ((c = std::fgetc(file)) != EOF && c != '\n') {
            }
        }
        if (line[0] == ';') continue;
        float f = 0.0f;
        float level = 0.0f;
        if (std::sscanf(line, "%f\t%f", &f, &level) != 2) break;
        // A number the float cannot hold ends the data like text does.
        if (!std::isfinite(f) || std::isnan(level)) break;
        read.push_back({f, std::clamp(level, -kMaxCurveLevelDb, kMaxCurveLevelDb)});
    }
    // a directory, or a file the system cannot read, opens but fails on reading
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return CurveFileStatus::OpenFailed;
    if (read.size() < 3) return CurveFileStatus::TooFew;
    float previous = 0.0f;
    for (const CurvePoint& p : read) {
        if (p.x < 0.0f || p.x < previous) return CurveFileStatus::NotAscending;
        previous = p.x;
    }
    points = std::move(read);
    return CurveFileStatus::Ok;
}

std::string CompensationMessage(CurveFileStatus status, const std::string& path) {
    const char* format = nullptr;
    switch (status) {
        case CurveFileStatus::OpenFailed: format = kCompensationOpenText; break;
        case CurveFileStatus::TooFew: format = kCompensationTooFewText; break;
        case CurveFileStatus::NotAscending: format = kCompensationOrderText; break;
        case CurveFileStatus::Ok: return {};
    }
    const int n = std::snprintf(nullptr, 0, format, path.c_str());
    std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    std::snprintf(text.data(), text.size() + 1, format, path.c_str());
    return text;
}

}  // namespace zeltrak
