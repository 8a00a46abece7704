#pragma once

#include "views/qt/frequency_plot_view.h"

namespace zeltrak {

inline constexpr const char* kPhaseUnit = "Degrees";

// The phase in degrees (−180 … 180) of the averaged complex value of each spectrum present,
// per bin, over the same kind of frequency axis as the spectrum view; bins too weak for their
// phase to mean anything are left blank.
class TPhaseView : public TFrequencyPlotView {
public:
    TPhaseView(double startFreq, double stopFreq, FrequencyScale frequencyScale, QWidget* parent = nullptr)
        : TFrequencyPlotView(startFreq, stopFreq, frequencyScale, TraceValueKind::Phase, parent) {
        EditModel().SetUnitLabel(kPhaseUnit);
    }

    void OnFrame(const EngineFrame& frame) override {
        if (FillPhaseTraces(frame, EditModel(), blankDepthDb_, blankCoherence_)) FrameShown();
    }

    // Bins more than this many dB below a spectrum's highest are blank from the next frame on.
    double BlankDepthDb() const { return blankDepthDb_; }
    void SetBlankDepthDb(double depthDb) { blankDepthDb_ = depthDb; }
    // The two-channel results' bins whose coherence is below this are blank from the next frame on.
    double BlankCoherence() const { return blankCoherence_; }
    void SetBlankCoherence(double threshold) { blankCoherence_ = threshold; }

private:
    double blankDepthDb_ = kDefaultPhaseBlankDepthDb;
    double blankCoherence_ = kDefaultPhaseBlankCoherence;
};

}  // namespace zeltrak
