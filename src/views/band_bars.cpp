#include "views/band_bars.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zeltrak {

std::string BandAxisLabel(float nominal) {
    const bool kilo = nominal >= 1000.0f;
    char text[32];
    std::snprintf(text, sizeof text, "%g%s", kilo ? nominal / 1000.0 : static_cast<double>(nominal), kilo ? "k" : "");
    return text;
}

namespace {
// Band centres are 10^(0.3 i / N) Hz; those with i a multiple of N are the octave centres.
bool IsOctaveCentre(float centre) {
    const double octaves = std::log10(static_cast<double>(centre)) / 0.3;
    return std::abs(octaves - std::round(octaves)) < 1e-3;
}
}  // namespace

std::vector<TAxisMark> BuildBandAxisMarks(const std::vector<TBandRecord>& bands, const FrequencyPositionFn& positionOf) {
    std::vector<TAxisMark> marks;
    for (const TBandRecord& band : bands) {
        if (!IsOctaveCentre(band.centre)) continue;
        if (const std::optional<int32_t> at = positionOf(band.centre)) {
            marks.push_back(TAxisMark{*at, BandAxisLabel(band.nominal)});
        }
    }
    return marks;
}

std::vector<TBandBarSpan> BandBarSpans(const std::vector<TBandRecord>& bands, const TFrequencyPixelMap& map) {
    std::vector<TBandBarSpan> spans;
    if (!map.Valid()) return spans;
    const int32_t first = map.Origin(), last = map.Origin() + map.Columns() - 1;
    for (std::size_t k = 0; k < bands.size(); ++k) {
        if (bands[k].upper <= map.Lo() || bands[k].lower >= map.Hi()) continue;
        const int32_t left = map.Position(bands[k].lower).value_or(first);
        const int32_t right = map.Position(bands[k].upper).value_or(last + 1) - 1;
        spans.push_back(TBandBarSpan{k, left, std::clamp(right, left, last)});
    }
    return spans;
}

TBandBarSpan SplitBandBar(const TBandBarSpan& span, int part, int parts) {
    const int32_t width = span.right - span.left + 1;
    if (parts <= 1 || width < parts) return span;
    return TBandBarSpan{span.band, span.left + width * part / parts, span.left + width * (part + 1) / parts - 1};
}

}  // namespace zeltrak
