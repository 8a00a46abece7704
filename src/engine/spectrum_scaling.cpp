#include "engine/spectrum_scaling.h"

#include "dsp/spectral_data.h"
#include "engine/processing_settings.h"
#include "measure/spectrum_compensation.h"

namespace zeltrak {

void TShellScaling::Prepare(TSpectralData* const (&spectrums)[4], Host& host) {
    const ScalingBlock& scaling = settings_.Scaling();
    const CalibrationRecord* record = calibration_.IsEnabled ? &calibration_ : nullptr;
    const char* const micFile[2] = {scaling.MicCompFilenameLeft, scaling.MicCompFilenameRight};
    for (int i = 0; i < 4; ++i) {
        TSpectralData* sp = spectrums[i];
        if (!sp) continue;
        const bool channel = i < 2;
        sp->SetCalibration(record, channel ? i : -1);
        if (!channel) continue;
        ApplyCompensation(*sp, FieldText(micFile[i], kFileNameBytes), scaling.MicCompEnable != 0, &host);
    }
}

}  // namespace zeltrak
