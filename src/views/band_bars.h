#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "dsp/octave_bands.h"
#include "views/frequency_axis.h"

namespace zeltrak {

// A band's nominal centre as an axis label: "31.5", "63", "125", "1k", "16k".
std::string BandAxisLabel(float nominal);

// The marks of a band axis: one at each band whose centre is an octave centre (every band of
// an octave axis, every third of a third-octave one), labelled with its nominal centre. Bands
// outside the mapped range get none. Crowded labels are left for the painter to drop.
std::vector<TAxisMark> BuildBandAxisMarks(const std::vector<TBandRecord>& bands, const FrequencyPositionFn& positionOf);

// The pixel columns a band's bar covers, both inclusive.
struct TBandBarSpan {
    std::size_t band = 0;
    int32_t left = 0;
    int32_t right = 0;
};

// The bar of each band that reaches into the mapped range: from the column holding its lower
// edge to the column before the one holding its upper edge (so that neighbouring bars tile),
// clipped to the map's columns and at least one column wide.
std::vector<TBandBarSpan> BandBarSpans(const std::vector<TBandRecord>& bands, const TFrequencyPixelMap& map);

// Part `part` of `parts` side-by-side bars sharing a band's span, so that each trace's bar stays
// visible; the whole span when it is narrower than one column per part.
TBandBarSpan SplitBandBar(const TBandBarSpan& span, int part, int parts);

}  // namespace zeltrak
