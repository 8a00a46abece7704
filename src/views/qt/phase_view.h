#pragma once
#include <string>
#include <vector>

#include "views/qt/frequency_plot_view.h"

namespace zeltrak {

// The phase in degrees (−180 … 180) of the averaged complex value of each spectrum present,
// per bin, over the same kind of frequency axis as the spectrum view.
class TPhaseView : public TFrequencyPlotView {
public:
    TPhaseView(double startFreq, double stopFreq, int frequencyScale, QWidget* parent = nullptr);

    void OnFrame(const EngineFrame& frame) override;

protected:
    TValueScale ValueScale(float dataMin, float dataMax, int plotHeight) const override;
    std::string ValueText(float value) const override;
};

}  // namespace zeltrak
