#include "views/qt/phase_view.h"

#include <cmath>
#include <cstdio>

#include "dsp/spectral_data.h"

namespace zeltrak {

namespace {
constexpr const char* kDegreesUnit = "Degrees";
}  // namespace

TPhaseView::TPhaseView(double startFreq, double stopFreq, int frequencyScale, QWidget* parent)
    : TFrequencyPlotView(startFreq, stopFreq, frequencyScale, parent) {
    SetUnitLabel(kDegreesUnit);
}

void TPhaseView::OnFrame(const EngineFrame& frame) {
    if (!frame.analysed) return;
    for (int i = 0; i < 4; ++i) {
        TPlotTrace& t = Trace(i);
        const TSpectralData* s = frame.spectrums[i];
        const float* average = s && !s->Error() ? s->AverageComplex() : nullptr;
        if (!average) {
            t.x.clear();
            t.values.clear();
            continue;
        }
        // Phase belongs to bins: a band axis still shows it per bin.
        const uint32_t n = s->Bins();
        t.x.resize(n);
        t.values.resize(n);
        for (uint32_t k = 0; k < n; ++k) {
            t.x[k] = s->BinFrequency(k);
            t.values[k] = static_cast<float>(s->PhaseDegrees(k));
        }
        // Bin 0 packs DC (real) with Nyquist (imaginary); the phase of DC alone is its sign.
        if (n > 0) t.values[0] = average[0] < 0.0f ? 180.0f : 0.0f;
    }
    FrameShown();
}

TPlotView::TValueScale TPhaseView::ValueScale(float, float, int plotHeight) const {
    return TValueScale{180.0f, -180.0f, plotHeight >= 200 ? 45.0f : 90.0f};
}

std::string TPhaseView::ValueText(float value) const {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f deg", static_cast<double>(value));
    return text;
}

}  // namespace zeltrak
