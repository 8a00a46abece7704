#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dsp/octave_bands.h"
#include "dsp/scales.h"
#include "engine/engine_listener.h"
#include "views/frequency_axis.h"
#include "views/phase_blanking.h"
#include "views/view_range.h"

namespace zeltrak {

// What a plot view's x axis measures.
enum class TraceAxis { Frequency, Time };

// The kind of values a view shows: it decides how the value axis is chosen and how a value is
// written in the cursor readout.
enum class TraceValueKind {
    Level,   // spectrum values: whole tens around the data
    Phase,   // degrees: always −180 … 180
    Sample,  // time series: symmetric about zero in 1-2-5 steps
};

// One plotted series: its points' x values (ascending) and values (NaN: no value there).
struct TTrace {
    std::string name;
    std::vector<float> x;
    std::vector<float> values;
};

// The value axis: the values at the top and bottom of the plot and the gridline step.
struct TValueScale {
    float top = 1.0f;
    float bottom = 0.0f;
    float step = 0.5f;
};

// What a plot view draws, apart from how: its traces, the x range and scale, the kind of its
// values and the unit written above the value axis. Setters return whether anything changed,
// so that a view repaints only then.
class TTraceModel {
public:
    // At least one trace.
    TTraceModel(int traceCount, TraceAxis axis, TraceValueKind kind);

    int TraceCount() const { return static_cast<int>(traces_.size()); }
    TTrace& Trace(int i) { return traces_[static_cast<std::size_t>(i)]; }
    const TTrace& Trace(int i) const { return traces_[static_cast<std::size_t>(i)]; }
    const std::vector<TTrace>& Traces() const { return traces_; }
    // Trace i, or every trace (and the bands), without points; the names stay.
    void ClearTrace(int i);
    void ClearTraces();
    // Replaces trace i's points; values missing at the end become NaN.
    void SetTracePoints(int i, std::vector<float> x, std::vector<float> values);

    TraceAxis Axis() const { return axis_; }
    TraceValueKind ValueKind() const { return kind_; }
    // The x range shown: the user's zoom, or else the whole range.
    double XLo() const { return zoom_ ? zoom_->lo : xLo_; }
    double XHi() const { return zoom_ ? zoom_->hi : xHi_; }
    // The whole x range, which the data decide; a zoom is kept inside it.
    double FullXLo() const { return xLo_; }
    double FullXHi() const { return xHi_; }
    bool SetXRange(double lo, double hi);
    // Shows part of the whole range, moved and cut to fit inside it; a zoom that covers the whole
    // range is none.
    bool SetXZoom(double lo, double hi);
    bool ResetXZoom();
    bool XZoomed() const { return zoom_.has_value(); }
    // Any scale but the linear one gives a logarithmic frequency axis when lo is above 0.
    FrequencyScale XScale() const { return xScale_; }
    bool SetXScale(FrequencyScale scale);
    bool LogarithmicX() const {
        return axis_ == TraceAxis::Frequency && xScale_ != FrequencyScale::Linear && xLo_ > 0.0;
    }
    // The fractional-octave bands the traces' points stand for, one per point; empty when
    // the points are bins or samples.
    const std::vector<TBandRecord>& Bands() const { return bands_; }
    void SetBands(std::vector<TBandRecord> bands) { bands_ = std::move(bands); }
    // Bands are drawn as bars over their edges only on the band scale.
    bool OnBandAxis() const {
        return axis_ == TraceAxis::Frequency && xScale_ == FrequencyScale::OctaveBands && !bands_.empty();
    }
    // The extremes the automatic value axis is chosen from: held so that the axis does not jump
    // from frame to frame, set afresh after ClearTraces or ResetValueHold.
    TAxisSpan HoldValueRange(double dataMin, double dataMax) { return valueHold_.Take(dataMin, dataMax); }
    void ResetValueHold() { valueHold_.Reset(); }
    const std::string& UnitLabel() const { return unitLabel_; }
    void SetUnitLabel(std::string label) { unitLabel_ = std::move(label); }

private:
    std::vector<TTrace> traces_;
    TraceAxis axis_;
    TraceValueKind kind_;
    double xLo_ = 0.0;
    double xHi_ = 1.0;
    std::optional<TAxisSpan> zoom_;
    TValueHold valueHold_;
    FrequencyScale xScale_ = FrequencyScale::Linear;
    std::string unitLabel_;
    std::vector<TBandRecord> bands_;
};

// Each analysed frame's displayed values (the scaling in force) of every spectrum present, per
// band (the model then holds the bands) or per averaged bin (all but the last); the no-value
// level becomes NaN so that it stays out of the picture. The unit label names every
// kind of value shown. False for a frame that was not analysed (nothing changed).
bool FillSpectrumTraces(const EngineFrame& frame, TTraceModel& model);
// The phase in degrees of each spectrum's averaged complex value, per averaged bin; NaN (blank)
// where the bin's averaged power is more than blankDepthDb below the spectrum's highest bin and,
// where the processing gives a coherence, in the two-channel results where it is below
// blankCoherence.
bool FillPhaseTraces(const EngineFrame& frame, TTraceModel& model, double blankDepthDb = kDefaultPhaseBlankDepthDb,
                     double blankCoherence = kDefaultPhaseBlankCoherence);
// The left and right frames after decimation against time from the frame's first sample; the
// x range follows the longer.
void FillSeriesTraces(const EngineFrame& frame, TTraceModel& model);
// Trace i as samples spaced `interval` seconds apart; the x range follows the longer trace.
void SetSampleTrace(TTraceModel& model, int i, const std::vector<float>& samples, double interval);

// The value axis for the extremes of the data shown (NaN when there is none) on a plot of
// plotHeight pixels; always top above bottom and a positive step.
TValueScale ChooseValueScale(TraceValueKind kind, float dataMin, float dataMax, int plotHeight);
// A value as the cursor readout writes it.
std::string FormatTraceValue(TraceValueKind kind, float value);
// An x position as the cursor readout writes it (milliseconds on a time axis under 2 s).
std::string FormatTraceX(const TTraceModel& model, double x);

// The x axis's unit: "Hz", or "ms" or "s" as the time marks and the readout write times.
std::string XAxisUnit(const TTraceModel& model);
// The right edge of the x axis's unit, drawn on the label line left of the plot: `gap` pixels
// clear of the plot's edge and of the leftmost label (centred on its mark, widthOf(text) wide).
int XAxisUnitRight(const std::vector<TAxisMark>& marks, int plotLeft, int gap,
                   const std::function<int(const std::string&)>& widthOf);

// One piece of the cursor readout: the x position (trace −1) or a trace's value at the cursor.
struct TReadoutPart {
    int trace = -1;
    std::string text;
};
// The x position, then "name: value" of each trace with points ("-" where it has no value),
// at each trace's point nearest to x.
std::vector<TReadoutPart> CursorReadoutParts(const TTraceModel& model, double x);
// The parts as one line, three blanks apart.
std::string JoinReadout(const std::vector<TReadoutPart>& parts);

// The traces with points as a tab-separated table (the unit after each name).
std::string TraceTable(const TTraceModel& model);

}  // namespace zeltrak
