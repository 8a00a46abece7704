#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "dsp/channel_processing.h"
#include "dsp/spectral_data.h"
#include "files/calibration_record.h"

namespace zeltrak {

// The measurement codes the readout windows keep.
enum MeasurementCode : int {
    kMeasureTHD = 0,
    kMeasureTHDN = 1,
    kMeasureIMD = 2,
    kMeasureSNR = 3,
    kMeasureSINAD = 4,
    kMeasureSFDR = 5,
    kMeasureNoiseFigure = 6,
    kMeasurePeakFrequency = 7,
    kMeasurePeakAmplitude = 8,
    kMeasureTotalPower = 9,
};
inline constexpr int kMeasurementCount = 10;

// What a measurement needs besides the spectrum: the calibration in force (for the unit
// reference of weighted band powers), the noise-figure polarity view setting, and whether the
// spectrum is shown relative to a reference (then no unit offset applies).
struct MeasurementContext {
    const CalibrationRecord* calibration = nullptr;
    int noiseFigurePolarity = 6;
    bool relativeDisplay = false;
    // The band THD+N, SNR and SINAD count noise in, and THD counts harmonics up to (limited
    // to the spectrum).
    double bandLowHz = 20.0;
    double bandHighHz = 20000.0;
};

// BandPower modes: the displayed values, or the flat, A, B or C weighted power.
enum BandPowerMode : int { kBandDisplayed = -1, kBandFlat = 0, kBandA = 1, kBandB = 2, kBandC = 3 };

struct PeakResult {
    double frequency = 0.0;
    double amplitude = kNoPeakAmplitude;
    uint32_t bin = 0;
    bool found = false;
    static constexpr double kNoPeakAmplitude = -999.9;
};

// Frequency and bin conversions of the measurements.
uint32_t MeasureFreqToBin(const TSpectralData& s, double f);
double MeasureBinToFreq(const TSpectralData& s, uint32_t k);
// The fractional-octave band containing f (the last band above them all).
uint32_t MeasureFreqToBand(const TSpectralData& s, double f);
// Whether the spectrum is shown in fractional-octave bands (and has any).
bool InBands(const TSpectralData& s);
// The averaged power at the bin of f; 0 below bin 3 and above bin N-3.
double PowerAt(const TSpectralData& s, double f);
// The display value of bin k, also on a fractional-octave axis (where GetValue indexes bands).
double BinAmplitude(const TSpectralData& s, uint32_t k, const MeasurementContext& context = {});

// The k-th largest local maximum (k = 0 ... 10) of the averaged power between bins lo and hi.
// A local maximum exceeds each of its five neighbours on either side; equal values keep the
// lower bin. None found: bin 0, frequency 0, amplitude -999.9.
PeakResult FindPeak(const TSpectralData& s, int64_t lo, int64_t hi, int k, const MeasurementContext& context = {});
// The first `count` passes of FindPeak at once (index j holds pass j).
std::vector<PeakResult> FindPeaks(const TSpectralData& s, int64_t lo, int64_t hi, int count,
                                  const MeasurementContext& context = {});

// One tone's main lobe: the bins lo ... hi around its peak bin, and the power they hold (the
// sum of their averaged powers turned into the tone's power).
struct ToneLobe {
    uint32_t lo = 0;
    uint32_t hi = 0;
    uint32_t peak = 0;
    double power = 0.0;
};
// The lobe of the tone at bin b: outward while the power does not rise, at most the window's
// main-lobe half-width.
ToneLobe ToneAt(const TSpectralData& s, uint32_t b);
// The frequency of the tone whose largest bin is b, between bins.
double InterpolatedFrequency(const TSpectralData& s, uint32_t b);

// Power over bins (or, on a fractional-octave axis, bands) lo ... hi: linear (percent of full
// scale or calibrated units) or in dB (re full scale or the unit's reference). Calibrated
// spectrums need the record in the context for the unit's reference.
double BandPower(const TSpectralData& s, int64_t lo, int64_t hi, bool logarithmic, int mode,
                 const MeasurementContext& context = {});

// The strongest tone against everything else in the measured band, from which THD, THD+N,
// SNR and SINAD are formed. Powers are in the spectrum's squared units.
struct ToneAnalysis {
    double tone = 0.0;                // the fundamental's main lobe
    double harmonics = 0.0;           // the main lobes of harmonics 2 ... 40 within the band, less the floor
    double noise = 0.0;               // the band without the tones and their skirts, filled with the mean noise
    double noiseAndDistortion = 0.0;  // noise + harmonics
    double frequency = 0.0;           // the fundamental, interpolated between bins
};
ToneAnalysis AnalyseTone(const TSpectralData& s, const MeasurementContext& context = {});
double ThdOf(const ToneAnalysis& a);
double ThdnOf(const ToneAnalysis& a);
double SnrOf(const ToneAnalysis& a);
double SinadOf(const ToneAnalysis& a);
double MeasureTHD(const TSpectralData& s, const MeasurementContext& context = {});
double MeasureTHDN(const TSpectralData& s, const MeasurementContext& context = {});
double MeasureSNR(const TSpectralData& s, const MeasurementContext& context = {});
double MeasureSINAD(const TSpectralData& s, const MeasurementContext& context = {});
double MeasureIMD(const TSpectralData& s);
struct SfdrResult {
    double db = 0.0;
    uint32_t spurBin = 0;
};
SfdrResult MeasureSFDR(const TSpectralData& s);
// SNR(left) - SNR(right) for the context's polarity 6, the reverse otherwise; 0 without both
// spectrums.
double MeasureNoiseFigure(const TSpectralData* left, const TSpectralData* right, const MeasurementContext& context);
double MeasurePeakFrequency(const TSpectralData& s);
double MeasurePeakAmplitude(const TSpectralData& s, const MeasurementContext& context = {});
double MeasureTotalPower(const TSpectralData& s, const MeasurementContext& context = {});
// The total power's band (bin 2 to 0.99 x Nyquist) in one of the BandPower modes.
double MeasureBandPower(const TSpectralData& s, int mode, const MeasurementContext& context = {});

// One measurement of one spectrum (noise figure needs both channels: use MeasureNoiseFigure).
double Measure(MeasurementCode code, const TSpectralData& s, const MeasurementContext& context = {});

// The spectrums the measurements and the log read for a channel-processing mode: the left
// channel, the right, both, or the result of two-channel processing. second is null when one
// signal is analysed.
struct MeasuredSpectrums {
    const TSpectralData* first = nullptr;
    const TSpectralData* second = nullptr;
};
MeasuredSpectrums SpectrumsToMeasure(const ChannelSpectrums& spectrums, ChannelProcessingMode mode, bool stereo);

// The unit text of a readout for this spectrum ("%", "dB", "Hz" or the calibration label,
// with " A", " B" or " C" for a weighted spectrum).
std::string MeasurementUnit(MeasurementCode code, const TSpectralData& s, uint32_t standardWeighting);
// A value in the readout's number format, without its unit.
std::string FormatMeasurementValue(MeasurementCode code, double value);
// The short name of the readout ("THD", "THD+N", ...).
const char* MeasurementName(MeasurementCode code);

// The text a measurement window shows: left, and right when two signals are analysed.
struct Readout {
    std::string left = "0.0";
    std::string right = "0.0";
    bool twoChannels = false;
    double leftValue = 0.0;
    double rightValue = 0.0;
    // Peak Frequency: the tone's frequency between bins (the values keep the peak bin's).
    double leftInterpolated = 0.0;
    double rightInterpolated = 0.0;
    std::string unit;
    bool measured = false;
};

// The measurement windows' readouts, recomputed from every new averaged spectrum.
class TMeasurementReadouts {
public:
    TMeasurementReadouts();

    void SetContext(const MeasurementContext& context) { context_ = context; }
    void SetWeighting(uint32_t standardWeighting) { weighting_ = standardWeighting; }
    // Which readouts are recomputed (the open windows); all by default.
    void SetEnabled(MeasurementCode code, bool enabled);
    bool Enabled(MeasurementCode code) const;

    // After each averaged spectrum: the engine's four spectrums (unused ones null), its
    // channel-processing mode and whether the input is stereo.
    void Update(const ChannelSpectrums& spectrums, ChannelProcessingMode mode, bool stereo);
    // Back to "0.0" (before the first spectrum).
    void Reset();

    const Readout& Get(MeasurementCode code) const { return readouts_[code]; }

private:
    std::array<Readout, kMeasurementCount> readouts_;
    std::array<bool, kMeasurementCount> enabled_;
    MeasurementContext context_;
    uint32_t weighting_ = 0;
};

// Command line: a list such as "thd,snr" or "all" into codes (in the order given, each once).
// False with a message in `error` for an unknown name or an empty list.
bool ParseMeasurementList(const std::string& list, std::vector<MeasurementCode>& codes, std::string& error);
// "NAME\tleft[\tright]\tunit"; Peak Frequency adds a second line with the interpolated
// frequency: "Peak Frequency (interpolated)\tleft[\tright]\tHz".
std::string FormatMeasurementLine(MeasurementCode code, const Readout& readout);

}  // namespace zeltrak
