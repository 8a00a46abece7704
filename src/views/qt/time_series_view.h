#pragma once
#include <string>
#include <vector>

#include "engine/engine_listener.h"
#include "views/qt/plot_view.h"

namespace zeltrak {

// The time series' unit when the samples are not calibrated.
inline constexpr const char* kTimeSeriesFullScale = "Full scale";

// The left and right frames as the engine cut them (after decimation), in the series' scaled
// units against time from the frame's first sample. Every frame updates it, overloaded ones
// left out of the average included.
class TTimeSeriesView : public TPlotView, public TEngineListener {
public:
    explicit TTimeSeriesView(QWidget* parent = nullptr);

    void OnFrame(const EngineFrame& frame) override;
    void OnStarted() override;
    // Replaces channel i (0 left, 1 right) with samples spaced `interval` seconds apart.
    void SetSamples(int i, const std::vector<float>& samples, double interval);

    // The value axis label: full scale uncalibrated, the physical unit when calibrated.
    void SetValueUnit(std::string unit) { EditModel().SetUnitLabel(std::move(unit)); update(); }
    uint32_t FramesShown() const { return framesShown_; }
    const std::vector<float>& TraceValues(int i) const { return Model().Trace(i).values; }
    const std::vector<float>& TraceTimes(int i) const { return Model().Trace(i).x; }

private:
    uint32_t framesShown_ = 0;
};

}  // namespace zeltrak
