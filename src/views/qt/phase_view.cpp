#include "views/qt/phase_view.h"

#include <cmath>
#include <cstdio>

#include "dsp/spectral_data.h"

namespace zeltrak {

namespace {
const char* const kPhaseTraceNames[4] = {"Left", "Right", "Result 1", "Result 2"};
constexpr const char* kDegreesUnit = "Degrees";
}  // namespace

TPhaseView::TPhaseView(double startFreq, double stopFreq, int frequencyScale, QWidget* parent)
    : TPlotView(4, XAxis::Frequency, parent) {
    SetXRange(startFreq, stopFreq);
    SetXScale(frequencyScale);
    SetUnitLabel(kDegreesUnit);
    for (int i = 0; i < 4; ++i) SetTraceName(i, kPhaseTraceNames[i]);
}

void TPhaseView::OnStarted() {
    ClearTraces();
    framesShown_ = 0;
    update();
}

void TPhaseView::SetTrace(int i, std::vector<float> frequencies, std::vector<float> degrees) {
    if (i < 0 || i >= TraceCount()) return;
    if (frequencies.size() != degrees.size()) degrees.resize(frequencies.size(), NAN);
    Trace(i).x = std::move(frequencies);
    Trace(i).values = std::move(degrees);
    update();
}

void TPhaseView::OnFrame(const EngineFrame& frame) {
    if (!frame.analysed) return;
    for (int i = 0; i < 4; ++i) {
        TPlotTrace& t = Trace(i);
        const TSpectralData* s = frame.spectrums[i];
        const float* average = s && !s->error() ? s->AverageComplex() : nullptr;
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
    ++framesShown_;
    update();
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
