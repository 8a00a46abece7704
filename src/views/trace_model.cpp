#include "views/trace_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/numeric.h"
#include "base/text_format.h"
#include "dsp/spectral_data.h"
#include "dsp/spectral_display.h"
#include "engine/series_data.h"
#include "views/phase_blanking.h"
#include "views/view_text.h"

namespace zeltrak {

TTraceModel::TTraceModel(int traceCount, TraceAxis axis, TraceValueKind kind)
    : traces_(static_cast<std::size_t>(std::max(traceCount, 1))), axis_(axis), kind_(kind) {}

void TTraceModel::ClearTrace(int i) {
    Trace(i).x.clear();
    Trace(i).values.clear();
}

void TTraceModel::ClearTraces() {
    for (int i = 0; i < TraceCount(); ++i) ClearTrace(i);
    bands_.clear();
    valueHold_.Reset();
}

void TTraceModel::SetTracePoints(int i, std::vector<float> x, std::vector<float> values) {
    if (x.size() != values.size()) values.resize(x.size(), NAN);
    Trace(i).x = std::move(x);
    Trace(i).values = std::move(values);
}

bool TTraceModel::SetXRange(double lo, double hi) {
    if (lo == xLo_ && hi == xHi_) return false;
    xLo_ = lo;
    xHi_ = hi;
    if (zoom_) SetXZoom(zoom_->lo, zoom_->hi);
    return true;
}

namespace {
// Zooming in stops at a thousandth of the whole range: a few bins of the largest transform.
constexpr double kMinZoomFraction = 1e-3;
}  // namespace

bool TTraceModel::SetXZoom(double lo, double hi) {
    const std::optional<TAxisSpan> before = zoom_;
    const TAxisSpan shown = ClampSpan({lo, hi}, {xLo_, xHi_}, LogarithmicX(), kMinZoomFraction);
    zoom_.reset();
    if (shown.lo > xLo_ || shown.hi < xHi_) zoom_ = shown;
    const bool same = before.has_value() == zoom_.has_value() &&
                      (!zoom_ || (before->lo == zoom_->lo && before->hi == zoom_->hi));
    return !same;
}

bool TTraceModel::ResetXZoom() {
    if (!zoom_) return false;
    zoom_.reset();
    return true;
}

bool TTraceModel::SetXScale(FrequencyScale scale) {
    if (scale == xScale_) return false;
    xScale_ = scale;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Filled from the engine's frame

namespace {

// The last bin is never averaged and holds no value; bands have no such bin.
uint32_t ShownBins(const TSpectralData& s) { return s.Bins() > 0 ? s.Bins() - 1 : 0; }

void FillSpectrumTrace(const TSpectralData& s, TTrace& t) {
    const uint32_t n = s.InBands() ? SpectralValueCount(s) : ShownBins(s);
    t.x.resize(n);
    t.values.resize(n);
    for (uint32_t k = 0; k < n; ++k) {
        t.x[k] = SpectralValueFrequency(s, k);
        const double v = SpectralDisplayValue(s, k);
        // The no-value level stays out of the picture instead of dragging the scale down.
        t.values[k] = v <= kNoDecibels ? NAN : static_cast<float>(v);
    }
}

void FillPhaseTrace(const TSpectralData& s, const float* average, double blankDepthDb, TTrace& t) {
    // Phase belongs to bins: a band axis still shows it per bin.
    const uint32_t n = ShownBins(s);
    t.x.resize(n);
    t.values.resize(n);
    for (uint32_t k = 0; k < n; ++k) {
        t.x[k] = s.BinFrequency(k);
        t.values[k] = static_cast<float>(s.PhaseDegrees(k));
    }
    // Bin 0 packs DC (real) with Nyquist (imaginary); the phase of DC alone is its sign.
    if (n > 0) t.values[0] = average[0] < 0.0f ? 180.0f : 0.0f;
    BlankWeakPhase(s.AveragePower(), n, blankDepthDb, t.values);
}

// The coherence, where the processing gives one, says how far the two-channel results' phase
// can be trusted; the single channels' traces are left as they are.
void BlankIncoherentResults(const EngineFrame& frame, TTraceModel& model, double threshold) {
    const TSpectralData* coherence = nullptr;
    for (const int i : {2, 3}) {
        const TSpectralData* s = frame.spectrums[i];
        if (s && !s->Error() && s->CoherenceDone()) coherence = s;
    }
    if (!coherence) return;
    for (int i = 2; i < std::min(model.TraceCount(), 4); ++i) {
        std::vector<float>& phase = model.Trace(i).values;
        BlankIncoherentPhase(coherence->AveragePower(), ShownBins(*coherence), threshold, coherence->CoherenceSquared(),
                             phase);
    }
}

void FillSeriesTrace(const TSeriesData& s, TTrace& t) {
    const uint32_t n = std::min(s.DecimatedLength(), s.Length());
    // After decimation the samples are Ratio() input samples apart.
    const double interval = static_cast<double>(s.Ratio()) / s.Format().rate;
    t.x.resize(n);
    t.values.resize(n);
    for (uint32_t k = 0; k < n; ++k) {
        t.x[k] = static_cast<float>(k * interval);
        t.values[k] = static_cast<float>(s.GetSample(k, true));
    }
}

void FitTimeRange(TTraceModel& model) {
    double hi = 0.0;
    for (const TTrace& t : model.Traces()) {
        if (!t.x.empty()) hi = std::max(hi, static_cast<double>(t.x.back()));
    }
    // A frame of one sample still needs an axis of some width.
    model.SetXRange(0.0, hi > 0.0 ? hi : 1e-3);
}

}  // namespace

bool FillSpectrumTraces(const EngineFrame& frame, TTraceModel& model) {
    if (!frame.analysed) return false;
    std::string labels;
    std::vector<TBandRecord> bands;
    for (int i = 0; i < std::min(model.TraceCount(), 4); ++i) {
        const TSpectralData* s = frame.spectrums[i];
        if (!s || s->Error()) {
            model.ClearTrace(i);
            continue;
        }
        FillSpectrumTrace(*s, model.Trace(i));
        if (s->InBands()) bands = s->BandAxis().Records();
        // every kind of value shown gets its name on the axis (a coherence beside a transfer)
        const std::string label = SpectralValueLabel(*s);
        if (labels.find(label) == std::string::npos) labels += (labels.empty() ? "" : "; ") + label;
    }
    if (!labels.empty()) model.SetUnitLabel(labels);
    model.SetBands(std::move(bands));
    return true;
}

bool FillPhaseTraces(const EngineFrame& frame, TTraceModel& model, double blankDepthDb, double blankCoherence) {
    if (!frame.analysed) return false;
    for (int i = 0; i < std::min(model.TraceCount(), 4); ++i) {
        const TSpectralData* s = frame.spectrums[i];
        const float* average = s && !s->Error() ? s->AverageComplex() : nullptr;
        if (average) {
            FillPhaseTrace(*s, average, blankDepthDb, model.Trace(i));
        } else {
            model.ClearTrace(i);
        }
    }
    BlankIncoherentResults(frame, model, blankCoherence);
    return true;
}

void FillSeriesTraces(const EngineFrame& frame, TTraceModel& model) {
    const TSeriesData* series[2] = {frame.left, frame.right};
    for (int i = 0; i < std::min(model.TraceCount(), 2); ++i) {
        const TSeriesData* s = series[i];
        if (!s || s->Error() || s->Format().rate == 0) {
            model.ClearTrace(i);
        } else {
            FillSeriesTrace(*s, model.Trace(i));
        }
    }
    FitTimeRange(model);
}

void SetSampleTrace(TTraceModel& model, int i, const std::vector<float>& samples, double interval) {
    TTrace& t = model.Trace(i);
    t.values = samples;
    t.x.resize(samples.size());
    for (size_t k = 0; k < samples.size(); ++k) t.x[k] = static_cast<float>(static_cast<double>(k) * interval);
    FitTimeRange(model);
}

// ---------------------------------------------------------------------------------------------
// Value axis and readout

namespace {

// Whole tens around the data, so the scale does not jitter with every frame.
TValueScale LevelScale(float dataMin, float dataMax, int plotHeight) {
    float top = dataMax, bottom = dataMin;
    if (!std::isfinite(top) || !std::isfinite(bottom)) {
        top = 0.0f;
        bottom = -100.0f;
    }
    top = std::ceil(top / 10.0f) * 10.0f + 10.0f;
    bottom = std::floor(bottom / 10.0f) * 10.0f;
    if (!(top > bottom)) bottom = top - 10.0f;
    // Ten-unit steps, fewer when the plot is short.
    float step = 10.0f;
    while ((top - bottom) / step > std::max(2, plotHeight / 24)) step *= 2.0f;
    return TValueScale{top, bottom, step};
}

// Symmetric about zero with a little headroom, in 1-2-5 steps.
TValueScale SymmetricScale(float dataMin, float dataMax, int plotHeight) {
    float m = std::max(std::abs(dataMin), std::abs(dataMax));
    if (!std::isfinite(m) || m <= 0.0f) m = 1.0f;
    const double step = NiceStep(2.0 * m * 1.05, std::max(2, plotHeight / 40));
    const float top = static_cast<float>(std::ceil(m * 1.05 / step) * step);
    return TValueScale{top, -top, static_cast<float>(step)};
}

}  // namespace

TValueScale ChooseValueScale(TraceValueKind kind, float dataMin, float dataMax, int plotHeight) {
    TValueScale scale;
    switch (kind) {
        case TraceValueKind::Level: scale = LevelScale(dataMin, dataMax, plotHeight); break;
        case TraceValueKind::Phase: scale = TValueScale{180.0f, -180.0f, plotHeight >= 200 ? 45.0f : 90.0f}; break;
        case TraceValueKind::Sample: scale = SymmetricScale(dataMin, dataMax, plotHeight); break;
    }
    if (!(scale.top > scale.bottom)) scale.bottom = scale.top - 1.0f;
    if (!(scale.step > 0.0f)) scale.step = scale.top - scale.bottom;
    return scale;
}

std::string FormatTraceValue(TraceValueKind kind, float value) {
    const double v = static_cast<double>(value);
    switch (kind) {
        case TraceValueKind::Level: return FormatText("%.2f", v);
        case TraceValueKind::Phase: return FormatText("%.1f deg", v);
        case TraceValueKind::Sample: break;
    }
    return FormatText("%.4g", v);
}

std::string FormatTraceX(const TTraceModel& model, double x) {
    if (model.Axis() == TraceAxis::Time) {
        return std::abs(model.XHi() - model.XLo()) < 2.0 ? FormatText("%.3f %s", x * 1000.0, "ms")
                                                         : FormatText("%.4f %s", x, "s");
    }
    return FormatText("%.1f %s", x, "Hz");
}

std::string XAxisUnit(const TTraceModel& model) {
    if (model.Axis() == TraceAxis::Frequency) return "Hz";
    return std::abs(model.XHi() - model.XLo()) < 2.0 ? "ms" : "s";
}

int XAxisUnitRight(const std::vector<TAxisMark>& marks, int plotLeft, int gap,
                   const std::function<int(const std::string&)>& widthOf) {
    int clear = plotLeft;
    for (const TAxisMark& m : marks) {
        if (!m.label.empty()) clear = std::min(clear, m.position - widthOf(m.label) / 2);
    }
    return clear - gap;
}

std::vector<TReadoutPart> CursorReadoutParts(const TTraceModel& model, double x) {
    std::vector<TReadoutPart> parts{TReadoutPart{-1, FormatTraceX(model, x)}};
    for (int i = 0; i < model.TraceCount(); ++i) {
        const TTrace& t = model.Trace(i);
        const std::optional<size_t> k = NearestPoint(t.x, x);
        if (!k) continue;
        const float v = *k < t.values.size() ? t.values[*k] : NAN;
        parts.push_back(TReadoutPart{i, t.name + ": " + (std::isfinite(v) ? FormatTraceValue(model.ValueKind(), v) : "-")});
    }
    return parts;
}

std::string JoinReadout(const std::vector<TReadoutPart>& parts) {
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? "" : "   ") + parts[i].text;
    return text;
}

std::string TraceTable(const TTraceModel& model) {
    const std::vector<TTrace>& traces = model.Traces();
    std::vector<TTextSeries> series;
    for (const TTrace& t : traces) {
        if (t.x.empty()) continue;
        std::string name = t.name;
        if (!model.UnitLabel().empty()) name += " (" + model.UnitLabel() + ")";
        series.push_back(TTextSeries{std::move(name), &t.x, &t.values});
    }
    return BuildColumnText(model.Axis() == TraceAxis::Time ? kTimeColumnName : kFrequencyColumnName, series);
}

}  // namespace zeltrak
