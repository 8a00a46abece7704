#include "views/qt/frequency_plot_view.h"

#include <cmath>
#include <utility>

namespace zeltrak {

namespace {
const char* const kTraceNames[4] = {"Left", "Right", "Result 1", "Result 2"};
}  // namespace

TFrequencyPlotView::TFrequencyPlotView(double startFreq, double stopFreq, int frequencyScale, QWidget* parent)
    : TPlotView(4, XAxis::Frequency, parent) {
    SetXRange(startFreq, stopFreq);
    SetXScale(frequencyScale);
    for (int i = 0; i < 4; ++i) SetTraceName(i, kTraceNames[i]);
}

void TFrequencyPlotView::OnStarted() {
    ClearTraces();
    framesShown_ = 0;
    update();
}

void TFrequencyPlotView::SetTrace(int i, std::vector<float> frequencies, std::vector<float> values) {
    if (i < 0 || i >= TraceCount()) return;
    if (frequencies.size() != values.size()) values.resize(frequencies.size(), NAN);
    Trace(i).x = std::move(frequencies);
    Trace(i).values = std::move(values);
    update();
}

void TFrequencyPlotView::FrameShown() {
    ++framesShown_;
    update();
}

}  // namespace zeltrak
