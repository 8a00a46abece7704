#pragma once
#include <vector>

#include "engine/engine_listener.h"
#include "views/qt/plot_view.h"

namespace zeltrak {

// A view of the four spectrums of a frame (left, right and the two results of two-channel
// processing) over the frequency axis: what the spectrum and phase views share. Each frame's
// values are the subclass's to compute.
class TFrequencyPlotView : public TPlotView, public TEngineListener {
public:
    TFrequencyPlotView(double startFreq, double stopFreq, FrequencyScale frequencyScale, TraceValueKind kind, QWidget* parent);

    void OnStarted() override;
    // Replaces trace i (0 … 3) with the given points, as a frame would; for stored data.
    void SetTrace(int i, std::vector<float> frequencies, std::vector<float> values);

    // Linear, logarithmic or octave bands (drawn on the logarithmic axis); redraws.
    void SetFrequencyScale(FrequencyScale frequencyScale) { SetXScale(frequencyScale); }
    FrequencyScale AxisScale() const { return Model().XScale(); }
    uint32_t FramesShown() const { return framesShown_; }
    // Values of trace i as last received (empty when the mode does not produce it).
    const std::vector<float>& TraceValues(int i) const { return Model().Trace(i).values; }
    const std::vector<float>& TraceFrequencies(int i) const { return Model().Trace(i).x; }

protected:
    // After a frame's traces are in place: fits the range to them, counts the frame and asks
    // for a repaint.
    void FrameShown();

private:
    // The range asked for, which the range shown follows (see SpectrumViewRange).
    void FitRangeToData();

    double startFreq_;
    double stopFreq_;
    uint32_t framesShown_ = 0;
};

}  // namespace zeltrak
