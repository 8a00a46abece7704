#pragma once
#include <cstdint>
#include <string>

namespace zeltrak {

class TSpectralData;

// What a spectrum shows: the number for bin (or, on a band axis, band) `index` — percent of
// full scale or dB uncalibrated; physical units or dB against the unit's reference when
// calibrated; PSD when asked; the linear value of a coherence. 0 for an index out of range or
// a spectrum in error.
double SpectralDisplayValue(const TSpectralData& s, uint32_t index);

// The points a display or a table of the spectrum has: the bands on a band axis (at their
// centre frequencies, 0 Hz past the last), else the bins (at their frequencies).
uint32_t SpectralValueCount(const TSpectralData& s);
float SpectralValueFrequency(const TSpectralData& s, uint32_t index);

// Axis labels: the record's when calibrated, else percent of full scale and relative dB.
std::string SpectralLinearLabel(const TSpectralData& s);
std::string SpectralLogLabel(const TSpectralData& s);
// The label of the amplitude scale in force with the density and weighting applied to it, or
// what a coherence or a power-averaged cross spectrum really holds.
std::string SpectralValueLabel(const TSpectralData& s);

}  // namespace zeltrak
