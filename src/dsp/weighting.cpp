#include "dsp/weighting.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "dsp/scaling_strings.h"

namespace zeltrak {

namespace {

// Frequencies shared by the A and C tables.
constexpr float kAcFrequencies[37] = {10,    12.59, 15.85, 19.95, 25.12, 31.62, 39.81, 50.12, 63.1,  79.43,
                                      100,   125.9, 158.5, 199.5, 251.2, 316.2, 398.1, 501.2, 631,   794.3,
                                      1000,  1259,  1585,  1995,  2512,  3162,  3981,  5012,  6310,  7943,
                                      10000, 12590, 15850, 19950, 25120, 31620, 39810};
constexpr float kALevels[37] = {-70.4, -63.4, -56.7, -50.5, -44.7, -39.4, -34.6, -30.2, -26.2, -22.5,
                                -19.1, -16.1, -13.4, -10.9, -8.6,  -6.6,  -4.8,  -3.2,  -1.9,  -0.8,
                                0,     0.6,   1.0,   1.2,   1.3,   1.2,   1.0,   0.5,   -0.1,  -1.1,
                                -2.5,  -4.3,  -6.6,  -9.3,  -10.0, -15.0, -20.0};
// 0 dB from 199.5 Hz to 1259 Hz: those are nine of the A frequencies, which puts -0.1 dB at
// 1585 Hz and -11.2 dB at 19950 Hz, where the C weighting has them.
constexpr float kCLevels[37] = {-14.3, -11.2, -8.5, -6.2, -4.4, -3.0, -2.0,  -1.3,  -0.8,  -0.5,
                                -0.3,  -0.2,  -0.1, 0.0,  0.0,  0.0,  0.0,   0.0,   0.0,   0.0,
                                0.0,   0.0,   -0.1, -0.2, -0.3, -0.5, -0.8,  -1.3,  -2.0,  -3.0,
                                -4.4,  -6.2,  -8.5, -11.2, -15.0, -18.0, -20.0};
constexpr float kBFrequencies[25] = {10,  20,  30,  40,  50,   60,   70,   80,   90,   100,   200,   300,  400,
                                     500, 700, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 10000, 20000};
constexpr float kBLevels[25] = {-37,  -24, -17, -13, -11.5, -10,  -8.5, -7.2, -6.3, -5.4, -2.0, -0.8, -0.5,
                                0,    0,   0,   0,   0,     -0.5, -0.8, -1.2, -2.0, -3.0, -5.0, -10.0};

template <size_t N>
std::vector<CurvePoint> Table(const float (&f)[N], const float (&level)[N]) {
    std::vector<CurvePoint> points(N);
    for (size_t i = 0; i < N; ++i) points[i] = {f[i], level[i]};
    return points;
}

}  // namespace

const std::vector<CurvePoint>& WeightingCurve(uint32_t type) {
    static const std::vector<CurvePoint> kNone;
    static const std::vector<CurvePoint> kA = Table(kAcFrequencies, kALevels);
    static const std::vector<CurvePoint> kB = Table(kBFrequencies, kBLevels);
    static const std::vector<CurvePoint> kC = Table(kAcFrequencies, kCLevels);
    switch (type) {
        case kWeightingA: return kA;
        case kWeightingB: return kB;
        case kWeightingC: return kC;
        default: return kNone;
    }
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
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return CurveFileStatus::OpenFailed;
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
