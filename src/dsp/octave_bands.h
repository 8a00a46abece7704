#pragma once
#include <cstdint>
#include <vector>

#include "dsp/bin_axis.h"

namespace zeltrak {

// Which bins make up one fractional-octave band, and how much of each edge bin lies inside it.
struct TBandBins {
    uint32_t lowBin = 0;
    float lowFraction = 0.0f;
    uint32_t highBin = 0;
    float highFraction = 0.0f;
};

// One fractional-octave band: its exact centre, the rounded centre used in labels and its
// edges in Hz.
struct TBandRecord {
    float centre = 0.0f;
    float nominal = 0.0f;
    float lower = 0.0f;
    float upper = 0.0f;
};

// The 1/N-octave bands whose centres 10^(3i/(10N)) Hz (i = 0, 1, ...) lie below nyquist, at
// least one. N = 0 counts as 1. Each band's lower edge is the upper edge of the band before,
// so that the bands tile the axis.
std::vector<TBandRecord> BuildOctaveBands(uint32_t octaveNumber, double nyquist);

// The label frequency of centre number i of 1/N-octave bands: the preferred series value
// (1, 1.25, 1.6, 2, 2.5, 3.15, 4, 5, 6.3, 8) where the centre is one of the tenth-decade
// centres, else the centre to three significant figures.
float NominalBandFrequency(uint32_t index, uint32_t octaveNumber);

// The bins of each band and how much of its two edge bins lies inside it (each within 0 ... 1).
std::vector<TBandBins> BandBinsFor(const std::vector<TBandRecord>& bands, const BinAxis& axis);

}  // namespace zeltrak
