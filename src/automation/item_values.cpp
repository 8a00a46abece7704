#include "automation/item_values.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "automation/automation_items.h"
#include "automation/automation_shell.h"
#include "dsp/dsp_strings.h"
#include "engine/engine.h"
#include "engine/processing_settings.h"
#include "files/wave_file.h"
#include "measure/data_log.h"

namespace zeltrak {

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[320];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

// The modes whose readouts report two results.
bool ReportsPair(ChannelProcessingMode mode) {
    return mode == ChannelProcessingMode::Both || mode == ChannelProcessingMode::TransferCoherenceLR ||
           mode == ChannelProcessingMode::TransferCoherenceRL;
}

uint32_t PointCount(const TSpectralData& s) { return s.InBands() ? s.BandAxis().Count() : s.Bins(); }

double PointFrequency(const TSpectralData& s, uint32_t k) {
    return s.InBands() ? s.BandAxis().Records()[k].centre : s.BinFrequency(k);
}

uint32_t PointAt(const TSpectralData& s, double f) {
    return s.InBands() ? MeasureFreqToBand(s, f) : MeasureFreqToBin(s, f);
}

bool Usable(const TSpectralData* s) { return s && !s->Error() && s->AveragePower() && s->Bins() > 0; }

constexpr BandPowerMode kWeightings[4] = {kBandFlat, kBandA, kBandB, kBandC};

}  // namespace

TItemValues::TItemValues(TAutomationShell& shell, AutomationState& state) : shell_(shell), state_(state) {}

MeasurementContext TItemValues::Context() const {
    MeasurementContext context;
    const CalibrationRecord& calibration = shell_.Calibration();
    context.calibration = calibration.IsEnabled ? &calibration : nullptr;
    return context;
}

const TItemValues::Measured& TItemValues::Measurements() {
    if (measured_) return *measured_;
    Measured m;
    TEngine& engine = shell_.Engine();
    const SettingsBlock& s = shell_.Settings().Settings();
    const ChannelSpectrums all{engine.Spectrum(0), engine.Spectrum(1), engine.Spectrum(2), engine.Spectrum(3)};
    const ChannelProcessingMode mode = ChannelModeFromCode(s.ChannelProcessing);
    m.spectrums = SpectrumsToMeasure(all, mode, s.format.channels == 2);
    if (!Usable(m.spectrums.first)) m.spectrums = {};
    if (!Usable(m.spectrums.second)) m.spectrums.second = nullptr;
    m.pair = ReportsPair(mode) && m.spectrums.second;
    const MeasurementContext context = Context();
    const TSpectralData* measured[2] = {m.spectrums.first, m.spectrums.second};
    for (int side = 0; side < 2; ++side) {
        const TSpectralData* sp = measured[side];
        for (auto& p : m.peaks) p[side] = PeakResult{};
        if (!sp) continue;
        for (int code = 0; code < kMeasurementCount; ++code)
            if (code != kMeasureNoiseFigure) m.values[code][side] = Measure(static_cast<MeasurementCode>(code), *sp, context);
        for (int w = 0; w < 4; ++w) m.weighted[w][side] = MeasureBandPower(*sp, kWeightings[w], context);
        const uint32_t last = PointCount(*sp) - 1;
        const std::vector<PeakResult> peaks = FindPeaks(*sp, 0, last, 6, context);
        for (size_t k = 0; k < peaks.size() && k < 6; ++k) m.peaks[k][side] = peaks[k];
    }
    m.noiseFigure = MeasureNoiseFigure(all.left, all.right, context);
    measured_ = m;
    return *measured_;
}

std::string TItemValues::Pair(const double (&values)[2]) const {
    const bool pair = measured_ && measured_->pair;
    return FormatPairItem(values[0], pair ? std::optional<double>(values[1]) : std::nullopt);
}

// Peak 1 is the peak readout itself; the others are the further local maxima in turn.
std::string TItemValues::PeakItem(int k, bool amplitude) {
    const Measured& m = Measurements();
    if (k == 0) return Readout(amplitude ? kMeasurePeakAmplitude : kMeasurePeakFrequency);
    double values[2];
    for (int side = 0; side < 2; ++side)
        values[side] = amplitude ? m.peaks[k][side].amplitude : m.peaks[k][side].frequency;
    return Pair(values);
}

std::string TItemValues::MarkerItem(int n) {
    const Measured& m = Measurements();
    double values[2] = {0.0, 0.0};
    const std::optional<double>& marker = state_.markers[n];
    const TSpectralData* sides[2] = {m.spectrums.first, m.spectrums.second};
    for (int side = 0; side < 2; ++side)
        if (marker && sides[side]) values[side] = BinAmplitude(*sides[side], PointAt(*sides[side], *marker), Context());
    return Pair(values);
}

std::string TItemValues::SpectrumLines(bool phase, std::optional<AutomationRange> range) {
    const Measured& m = Measurements();
    std::string text;
    const TSpectralData* first = m.spectrums.first;
    if (!first) return text;
    const TSpectralData* second = m.pair ? m.spectrums.second : nullptr;
    const MeasurementContext context = Context();
    // Phase belongs to the bins; a band axis has none.
    const uint32_t count = phase ? first->Bins() : PointCount(*first);
    text.reserve(static_cast<size_t>(count) * 40);
    for (uint32_t k = 0; k < count; ++k) {
        const double f = phase ? first->BinFrequency(k) : PointFrequency(*first, k);
        if (range && (f < range->lo || f > range->hi)) continue;
        auto value = [&](const TSpectralData& s) { return phase ? s.PhaseDegrees(k) : BinAmplitude(s, k, context); };
        AppendPointLine(text, f, value(*first), second ? std::optional<double>(value(*second)) : std::nullopt);
    }
    return text;
}

std::string TItemValues::TimeSeriesLines() {
    TEngine& engine = shell_.Engine();
    const TSeriesData* left = engine.Series(0);
    if (!left || left->Error()) return {};
    const TSeriesData* right = engine.Series(1);
    if (right && (right->Error() || left->Format().channels != 2)) right = nullptr;
    const double dt = static_cast<double>(left->Ratio()) / left->Format().rate;
    const uint32_t n = left->DecimatedLength();
    std::string text;
    text.reserve(static_cast<size_t>(n) * 40);
    for (uint32_t i = 0; i < n; ++i)
        AppendPointLine(text, i * dt, left->GetSample(i, true),
                        right ? std::optional<double>(right->GetSample(i, true)) : std::nullopt);
    return text;
}

std::optional<AutomationRange> TItemValues::MarkedRange() const {
    const auto& a = state_.markers[0];
    const auto& b = state_.markers[1];
    if (!a || !b) return std::nullopt;
    return AutomationRange{std::min(*a, *b), std::max(*a, *b)};
}

// The RMS level of the selected span of the open file: dB re full scale, or re one calibrated
// unit when calibration is on.
std::string TItemValues::TimeSegmentPower() {
    TWaveFile* file = shell_.Engine().WaveFile();
    const std::optional<AutomationRange>& segment = state_.timeSegment;
    if (!file || !segment || file->Length() == 0) return "0.00";
    const SampleFormat& f = file->Format();
    const uint32_t start = file->SecondsToFrames(segment->lo);
    const uint32_t end = file->SecondsToFrames(segment->hi);
    const bool calibrated = shell_.Calibration().IsEnabled != 0;
    std::string text;
    for (uint32_t channel = 0; channel < f.channels && channel < 2; ++channel) {
        WaveStatistics st;
        double db = -999.9;
        if (file->Statistics(start, end, channel, true, st) && st.countPositive + st.countNegative > 0) {
            const double rms = std::sqrt((st.sumSquaresPositive + st.sumSquaresNegative) /
                                         (st.countPositive + st.countNegative));
            const double reference = calibrated ? 1.0 / (channel ? file->ScaleRight() : file->ScaleLeft())
                                                : std::ldexp(1.0, f.bitsPerSample - 1);
            if (rms > 0 && reference > 0) db = 20.0 * std::log10(rms / reference);
        }
        text += Format(channel ? "\t%3.2f" : "%3.2f", db);
    }
    return text;
}

std::string TItemValues::SettingsItem(int index) const {
    const SettingsBlock& s = shell_.Settings().Settings();
    switch (index) {
        case kItemPeakHold: return Format("%d", s.PeakHold ? 1 : 0);
        case kItemFftOverlap: return Format("%d", static_cast<int>(s.OverlapPercent));
        case kItemFftSize: return Format("%ld", static_cast<long>(s.FFTsize));
        case kItemAverageSize: return Format("%ld", static_cast<long>(s.AverageBlocks > 1000 ? 1001 : s.AverageBlocks));
        case kItemSmoothingWindow: return s.SmoothingWindow < 10 ? kWindowNames[s.SmoothingWindow] : "";
        default: return {};
    }
}

std::string TItemValues::StateItem(int index) {
    TEngine& engine = shell_.Engine();
    switch (index) {
        case kItemOverloadStatus: return Format("%d", engine.Overloaded() ? 1 : 0);
        case kItemOverloadCount: return Format("%ld", static_cast<long>(engine.OverloadCount()));
        case kItemFftCount: return Format("%d", static_cast<int>(frameBeingTold_.value_or(engine.FrameCount())));
        case kItemCurrentTime: return Format("%3.4f", engine.CurrentTime());
        case kItemTotalTime: {
            const TWaveFile* file = engine.WaveFile();
            return Format("%3.4f", file ? file->FramesToSeconds(file->Length()) : 0.0);
        }
        case kItemLoggingStatus: return shell_.Logger() && shell_.Logger()->IsLogging() ? "1" : "0";
        case kItemDelayFinder: return Format("%3.6f", shell_.DelayFound());
        case kItemMacroStatus: return Format("%d", shell_.MacroStatus());
        case kItemFileClosed: return std::exchange(state_.lastClosedFile, {});
        case kItemPassString: return std::exchange(state_.passString, {});
        case kItemVersionNumber: return kAutomationVersion;
        default: return SettingsItem(index);
    }
}

std::string TItemValues::Text(int index) {
    if (index >= kItemMarker1Amplitude && index < kItemMarker1Amplitude + 6) return MarkerItem(index - kItemMarker1Amplitude);
    if (index >= kItemPeak1Frequency && index < kItemPeak1Frequency + 6) return PeakItem(index - kItemPeak1Frequency, false);
    if (index >= kItemPeak1Amplitude && index < kItemPeak1Amplitude + 6) return PeakItem(index - kItemPeak1Amplitude, true);
    const Measured& m = Measurements();
    switch (index) {
        case kItemPeakFrequency: return Readout(kMeasurePeakFrequency);
        case kItemPeakAmplitude: return Readout(kMeasurePeakAmplitude);
        case kItemTotalPower: return Readout(kMeasureTotalPower);
        case kItemTotalPowerA: return Pair(m.weighted[1]);
        case kItemTotalPowerB: return Pair(m.weighted[2]);
        case kItemTotalPowerC: return Pair(m.weighted[3]);
        case kItemTotalPowerFlat: return Pair(m.weighted[0]);
        case kItemTHD: return Readout(kMeasureTHD);
        case kItemTHDN: return Readout(kMeasureTHDN);
        case kItemIMD: return Readout(kMeasureIMD);
        case kItemSNR: return Readout(kMeasureSNR);
        case kItemSINAD: return Readout(kMeasureSINAD);
        case kItemSFDR: return Readout(kMeasureSFDR);
        case kItemNF: return Format("%3.6f", m.noiseFigure);
        case kItemSpectrum: return SpectrumLines(false, std::nullopt);
        case kItemPhase: return SpectrumLines(true, std::nullopt);
        case kItemTimeSeries:
        case kItemZoomedTimeSeries: return TimeSeriesLines();
        case kItemZoomedSpectrum: return SpectrumLines(false, state_.spans[kViewSpectrum]);
        case kItemZoomedPhase: return SpectrumLines(true, state_.spans[kViewPhase]);
        case kItemMarkedSpectrum: return SpectrumLines(false, MarkedRange());
        case kItemMarkedPhase: return SpectrumLines(true, MarkedRange());
        case kItemTimeSegmentPower: return TimeSegmentPower();
        case kItemMarineEvent:
        case kItemToneMaskEvent: return {};
        default: return StateItem(index);
    }
}

}  // namespace zeltrak
