#pragma once
#include <string>
#include <vector>

#include "engine/engine_listener.h"
#include "views/frequency_axis.h"
#include "views/qt/plot_view.h"

namespace zeltrak {

// The live spectrum: each analysed frame's displayed values (the scaling in force) of every
// spectrum the channel mode produces, drawn over the frequency axis marks. Frames arrive on
// the GUI thread (the engine runs in Qt's event loop); painting coalesces them.
class TSpectrumView : public TPlotView, public TEngineListener {
public:
    TSpectrumView(double startFreq, double stopFreq, int frequencyScale, QWidget* parent = nullptr);

    void OnFrame(const EngineFrame& frame) override;
    void OnStarted() override;
    // Replaces trace i (0 … 3) with the given points, as a frame would; for stored spectrums.
    void SetTrace(int i, std::vector<float> frequencies, std::vector<float> values);

    // Linear, logarithmic or octave bands (drawn on the logarithmic axis); redraws.
    void SetFrequencyScale(int frequencyScale) { SetXScale(frequencyScale); }
    int FrequencyScale() const { return XScale(); }
    // The colour of trace i (0 left, 1 right, 2 and 3 the two-channel results).
    static QColor TraceColor(int trace) { return PlotColor(trace); }
    uint32_t FramesShown() const { return framesShown_; }
    // Values of trace i as last received (empty when the mode does not produce it).
    const std::vector<float>& TraceValues(int i) const { return Trace(i).values; }
    const std::vector<float>& TraceFrequencies(int i) const { return Trace(i).x; }

protected:
    // Whole tens around the data, so the scale does not jitter with every frame.
    TValueScale ValueScale(float dataMin, float dataMax, int plotHeight) const override;
    std::string ValueText(float value) const override;

private:
    uint32_t framesShown_ = 0;
};

}  // namespace zeltrak
