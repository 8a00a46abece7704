#pragma once
#include <QWidget>
#include <mutex>
#include <string>
#include <vector>

#include "engine/engine_listener.h"
#include "views/frequency_axis.h"

namespace zeltrak {

// The live spectrum: each analysed frame's displayed values (the scaling in force) of every
// spectrum the channel mode produces, drawn over the frequency axis marks. Frames arrive on
// the GUI thread (the engine runs in Qt's event loop); painting coalesces them.
class TSpectrumView : public QWidget, public TEngineListener {
public:
    TSpectrumView(double startFreq, double stopFreq, int frequencyScale, QWidget* parent = nullptr);

    void OnFrame(const EngineFrame& frame) override;
    void OnStarted() override;
    // Replaces trace i (0 … 3) with the given points, as a frame would; for stored spectrums.
    void SetTrace(int i, std::vector<float> frequencies, std::vector<float> values);

    // The plot area inside the widget, and its frequency-to-pixel mapping for the current size.
    QRect PlotRect() const;
    TFrequencyPixelMap PixelMap() const;
    // Linear, logarithmic or octave bands (drawn on the logarithmic axis); redraws.
    void SetFrequencyScale(int frequencyScale);
    int FrequencyScale() const { return frequencyScale_; }
    // The colour of trace i (0 left, 1 right, 2 and 3 the two-channel results).
    static QColor TraceColor(int trace);
    uint32_t FramesShown() const { return framesShown_; }
    // Values of trace i as last received (empty when the mode does not produce it).
    const std::vector<float>& TraceValues(int i) const { return traces_[i].values; }
    const std::vector<float>& TraceFrequencies(int i) const { return traces_[i].frequencies; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Trace {
        std::vector<float> frequencies;
        std::vector<float> values;
    };
    Trace traces_[4];
    std::string unitLabel_;
    double startFreq_;
    double stopFreq_;
    int frequencyScale_;
    uint32_t framesShown_ = 0;
};

}  // namespace zeltrak
