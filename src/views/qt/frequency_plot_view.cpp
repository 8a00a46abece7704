#include "views/qt/frequency_plot_view.h"

#include <cmath>
#include <utility>

namespace zeltrak {

namespace {
const char* const kTraceNames[4] = {"Left", "Right", "Result 1", "Result 2"};
}  // namespace

TFrequencyPlotView::TFrequencyPlotView(double startFreq, double stopFreq, FrequencyScale frequencyScale, TraceValueKind kind,
                                       QWidget* parent)
    : TPlotView(4, TraceAxis::Frequency, kind, parent), startFreq_(startFreq), stopFreq_(stopFreq) {
    SetXRange(startFreq, stopFreq);
    SetXScale(frequencyScale);
    for (int i = 0; i < 4; ++i) EditModel().Trace(i).name = kTraceNames[i];
}

void TFrequencyPlotView::OnStarted() {
    EditModel().ClearTraces();
    framesShown_ = 0;
    update();
}

void TFrequencyPlotView::SetTrace(int i, std::vector<float> frequencies, std::vector<float> values) {
    if (i < 0 || i >= TraceCount()) return;
    EditModel().SetTracePoints(i, std::move(frequencies), std::move(values));
    FitRangeToData();
    update();
}

void TFrequencyPlotView::FrameShown() {
    FitRangeToData();
    ++framesShown_;
    update();
}

void TFrequencyPlotView::FitRangeToData() {
    double top = NAN;
    for (const TTrace& t : Model().Traces()) {
        if (!t.x.empty() && !(top >= t.x.back())) top = t.x.back();
    }
    const TFrequencyRange range = SpectrumViewRange(startFreq_, stopFreq_, top);
    SetXRange(range.lo, range.hi);
}

}  // namespace zeltrak
