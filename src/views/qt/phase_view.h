#pragma once

#include "views/qt/frequency_plot_view.h"

namespace zeltrak {

inline constexpr const char* kPhaseUnit = "Degrees";

// The phase in degrees (−180 … 180) of the averaged complex value of each spectrum present,
// per bin, over the same kind of frequency axis as the spectrum view.
class TPhaseView : public TFrequencyPlotView {
public:
    TPhaseView(double startFreq, double stopFreq, FrequencyScale frequencyScale, QWidget* parent = nullptr)
        : TFrequencyPlotView(startFreq, stopFreq, frequencyScale, TraceValueKind::Phase, parent) {
        EditModel().SetUnitLabel(kPhaseUnit);
    }

    void OnFrame(const EngineFrame& frame) override {
        if (FillPhaseTraces(frame, EditModel())) FrameShown();
    }
};

}  // namespace zeltrak
