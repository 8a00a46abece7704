#include "views/qt/spectrum_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/numeric.h"
#include "dsp/spectral_data.h"

namespace zeltrak {

namespace {
const char* const kSpectrumTraceNames[4] = {"Left", "Right", "Result 1", "Result 2"};
}  // namespace

TSpectrumView::TSpectrumView(double startFreq, double stopFreq, int frequencyScale, QWidget* parent)
    : TPlotView(4, XAxis::Frequency, parent) {
    SetXRange(startFreq, stopFreq);
    SetXScale(frequencyScale);
    for (int i = 0; i < 4; ++i) SetTraceName(i, kSpectrumTraceNames[i]);
}

void TSpectrumView::OnStarted() {
    ClearTraces();
    framesShown_ = 0;
    update();
}

void TSpectrumView::SetTrace(int i, std::vector<float> frequencies, std::vector<float> values) {
    if (i < 0 || i > 3) return;
    if (frequencies.size() != values.size()) values.resize(frequencies.size(), NAN);
    Trace(i).x = std::move(frequencies);
    Trace(i).values = std::move(values);
    update();
}

void TSpectrumView::OnFrame(const EngineFrame& frame) {
    if (!frame.analysed) return;
    bool labelled = false;
    for (int i = 0; i < 4; ++i) {
        TPlotTrace& t = Trace(i);
        const TSpectralData* s = frame.spectrums[i];
        if (!s || s->error()) {
            t.x.clear();
            t.values.clear();
            continue;
        }
        const uint32_t n = s->ValueCount();
        t.x.resize(n);
        t.values.resize(n);
        for (uint32_t k = 0; k < n; ++k) {
            t.x[k] = s->ValueFrequency(k);
            const double v = s->GetValue(k);
            // The no-value level stays out of the picture instead of dragging the scale down.
            t.values[k] = v <= kNoDecibels ? NAN : static_cast<float>(v);
        }
        if (!labelled) {
            SetUnitLabel(s->AverageDb() ? s->LogLabel() : s->LinearLabel());
            labelled = true;
        }
    }
    ++framesShown_;
    update();
}

TPlotView::TValueScale TSpectrumView::ValueScale(float dataMin, float dataMax, int plotHeight) const {
    float top = dataMax, bottom = dataMin;
    if (!std::isfinite(top) || !std::isfinite(bottom)) {
        top = 0.0f;
        bottom = -100.0f;
    }
    top = std::ceil(top / 10.0f) * 10.0f + 10.0f;
    bottom = std::floor(bottom / 10.0f) * 10.0f;
    if (!(top > bottom)) bottom = top - 10.0f;
    // Ten-unit steps, fewer when the plot is short.
    float step = 10.0f;
    while ((top - bottom) / step > std::max(2, plotHeight / 24)) step *= 2.0f;
    return TValueScale{top, bottom, step};
}

std::string TSpectrumView::ValueText(float value) const {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(value));
    return text;
}

}  // namespace zeltrak
