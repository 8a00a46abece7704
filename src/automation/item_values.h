#pragma once
#include <optional>
#include <string>

#include "automation/automation_state.h"
#include "measure/measurements.h"

namespace zeltrak {

class TAutomationShell;

// The reply texts of the automation items, read from the analyser as it is now. The
// measurements of the latest spectrum are made once per frame whatever the number of items
// asked for (an advise asks for all of them after every frame).
class TItemValues {
public:
    TItemValues(TAutomationShell& shell, AutomationState& state);

    // The reply of item `index` (0 ... 58). "File Closed" and "Pass String" are cleared by it.
    std::string Text(int index);
    // A new frame, a start or a stop: the measurements are made again when next asked for.
    void Invalidate() { measured_.reset(); }
    // While a frame is being told about, the engine has not counted it yet: the count to report.
    void SetFrameBeingTold(std::optional<uint32_t> count) { frameBeingTold_ = count; }

private:
    struct Measured {
        MeasuredSpectrums spectrums;
        bool pair = false;  // the channel mode reports a second result
        double values[kMeasurementCount][2] = {};
        double weighted[4][2] = {};  // flat, A, B, C
        PeakResult peaks[6][2];
        double noiseFigure = 0.0;
    };
    const Measured& Measurements();
    MeasurementContext Context() const;
    std::string Pair(const double (&values)[2]) const;
    std::string Readout(MeasurementCode code) { return Pair(Measurements().values[code]); }
    std::string PeakItem(int k, bool amplitude);
    std::string MarkerItem(int n);
    std::string SpectrumLines(bool phase, std::optional<AutomationRange> range);
    std::string TimeSeriesLines();
    std::optional<AutomationRange> MarkedRange() const;
    std::string TimeSegmentPower();
    std::string SettingsItem(int index) const;
    std::string StateItem(int index);

    TAutomationShell& shell_;
    AutomationState& state_;
    std::optional<Measured> measured_;
    std::optional<uint32_t> frameBeingTold_;
};

}  // namespace zeltrak
