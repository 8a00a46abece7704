#include "views/qt/spectrum_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/numeric.h"
#include "dsp/spectral_data.h"

namespace zeltrak {

void TSpectrumView::OnFrame(const EngineFrame& frame) {
    if (!frame.analysed) return;
    std::string labels;
    for (int i = 0; i < 4; ++i) {
        TPlotTrace& t = Trace(i);
        const TSpectralData* s = frame.spectrums[i];
        if (!s || s->Error()) {
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
        // every kind of value shown gets its name on the axis (a coherence beside a transfer)
        const std::string label = s->ValueLabel();
        if (labels.find(label) == std::string::npos) labels += (labels.empty() ? "" : "; ") + label;
    }
    if (!labels.empty()) SetUnitLabel(labels);
    FrameShown();
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
