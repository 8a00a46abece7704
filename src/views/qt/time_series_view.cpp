#include "views/qt/time_series_view.h"

namespace zeltrak {

TTimeSeriesView::TTimeSeriesView(QWidget* parent) : TPlotView(2, TraceAxis::Time, TraceValueKind::Sample, parent) {
    EditModel().Trace(0).name = "Left";
    EditModel().Trace(1).name = "Right";
    EditModel().SetUnitLabel(kTimeSeriesFullScale);
}

void TTimeSeriesView::OnStarted() {
    EditModel().ClearTraces();
    framesShown_ = 0;
    update();
}

void TTimeSeriesView::SetSamples(int i, const std::vector<float>& samples, double interval) {
    if (i < 0 || i >= TraceCount()) return;
    SetSampleTrace(EditModel(), i, samples, interval);
    update();
}

void TTimeSeriesView::OnFrame(const EngineFrame& frame) {
    FillSeriesTraces(frame, EditModel());
    ++framesShown_;
    update();
}

}  // namespace zeltrak
