#pragma once
#include <string>
#include <vector>

#include "engine/engine_listener.h"
#include "views/qt/plot_view.h"

namespace zeltrak {

// The phase in degrees (−180 … 180) of the averaged complex value of each spectrum present,
// per bin, over the same kind of frequency axis as the spectrum view.
class TPhaseView : public TPlotView, public TEngineListener {
public:
    TPhaseView(double startFreq, double stopFreq, int frequencyScale, QWidget* parent = nullptr);

    void OnFrame(const EngineFrame& frame) override;
    void OnStarted() override;
    // Replaces trace i (0 … 3) with the given phases in degrees.
    void SetTrace(int i, std::vector<float> frequencies, std::vector<float> degrees);

    void SetFrequencyScale(int frequencyScale) { SetXScale(frequencyScale); }
    int FrequencyScale() const { return XScale(); }
    uint32_t FramesShown() const { return framesShown_; }
    const std::vector<float>& TraceValues(int i) const { return Trace(i).values; }
    const std::vector<float>& TraceFrequencies(int i) const { return Trace(i).x; }

protected:
    TValueScale ValueScale(float dataMin, float dataMax, int plotHeight) const override;
    std::string ValueText(float value) const override;

private:
    uint32_t framesShown_ = 0;
};

}  // namespace zeltrak
