#pragma once

#include "views/qt/frequency_plot_view.h"

namespace zeltrak {

// The live spectrum: each analysed frame's displayed values (the scaling in force) of every
// spectrum the channel mode produces, drawn over the frequency axis marks. Frames arrive on
// the GUI thread (the engine runs in Qt's event loop); painting coalesces them.
class TSpectrumView : public TFrequencyPlotView {
public:
    TSpectrumView(double startFreq, double stopFreq, FrequencyScale frequencyScale, QWidget* parent = nullptr)
        : TFrequencyPlotView(startFreq, stopFreq, frequencyScale, TraceValueKind::Level, parent) {}

    void OnFrame(const EngineFrame& frame) override {
        if (FillSpectrumTraces(frame, EditModel())) FrameShown();
    }
    // The colour of trace i (0 left, 1 right, 2 and 3 the two-channel results).
    static QColor TraceColor(int trace) { return PlotColor(trace); }
};

}  // namespace zeltrak
