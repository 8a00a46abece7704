#pragma once
#include "engine/engine.h"
#include "files/calibration_record.h"

namespace zeltrak {

struct ProcessingSettings;

// Puts the shell's calibration and microphone compensation into the engine's spectrums each
// time they are rebuilt (the weighting comes with the scaling settings they are built from).
// The results of two-channel processing are built from the already scaled channels and only
// take the calibration's units, at unit gain.
class TShellScaling : public TSpectrumScaling {
public:
    TShellScaling(const ProcessingSettings& settings, const CalibrationRecord& calibration)
        : settings_(settings), calibration_(calibration) {}

    void Prepare(TSpectralData* const (&spectrums)[4], Host& host) override;
    void AfterAverage(TSpectralData* const (&)[4]) override {}

private:
    const ProcessingSettings& settings_;
    const CalibrationRecord& calibration_;
};

}  // namespace zeltrak
