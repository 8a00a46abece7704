#include "views/qt/time_series_view.h"

#include <algorithm>

#include "engine/series_data.h"

namespace zeltrak {

TTimeSeriesView::TTimeSeriesView(QWidget* parent) : TPlotView(2, XAxis::Time, parent) {
    SetTraceName(0, "Left");
    SetTraceName(1, "Right");
    SetUnitLabel(kTimeSeriesFullScale);
}

void TTimeSeriesView::OnStarted() {
    ClearTraces();
    framesShown_ = 0;
    update();
}

void TTimeSeriesView::UpdateRange() {
    double hi = 0.0;
    for (int i = 0; i < TraceCount(); ++i) {
        if (!Trace(i).x.empty()) hi = std::max(hi, static_cast<double>(Trace(i).x.back()));
    }
    // A frame of one sample still needs an axis of some width.
    SetXRange(0.0, hi > 0.0 ? hi : 1e-3);
}

void TTimeSeriesView::SetSamples(int i, const std::vector<float>& samples, double interval) {
    if (i < 0 || i >= TraceCount()) return;
    TPlotTrace& t = Trace(i);
    t.values = samples;
    t.x.resize(samples.size());
    for (size_t k = 0; k < samples.size(); ++k) t.x[k] = static_cast<float>(static_cast<double>(k) * interval);
    UpdateRange();
    update();
}

void TTimeSeriesView::OnFrame(const EngineFrame& frame) {
    const TSeriesData* series[2] = {frame.left, frame.right};
    for (int i = 0; i < 2; ++i) {
        TPlotTrace& t = Trace(i);
        const TSeriesData* s = series[i];
        if (!s || s->Error() || s->Format().rate == 0) {
            t.x.clear();
            t.values.clear();
            continue;
        }
        const uint32_t n = std::min(s->DecimatedLength(), s->Length());
        // After decimation the samples are Ratio() input samples apart.
        const double interval = static_cast<double>(s->Ratio()) / s->Format().rate;
        t.x.resize(n);
        t.values.resize(n);
        for (uint32_t k = 0; k < n; ++k) {
            t.x[k] = static_cast<float>(k * interval);
            t.values[k] = static_cast<float>(s->GetSample(k, true));
        }
    }
    UpdateRange();
    ++framesShown_;
    update();
}

}  // namespace zeltrak
