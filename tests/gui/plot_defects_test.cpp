// The plot views as a new user meets them, offscreen: the cursor on bins, axis texts, tick
// labels, the exported table and the frequency range.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>

#include "views/qt/spectrum_view.h"
#include "views/view_text.h"

namespace zeltrak {
namespace {

// A spectrum of FFT 32768 at 48 kHz with a 440 Hz tone on bin 300 and a weaker peak on bin 1000.
void ShowTones(TSpectrumView& view) {
    std::vector<float> x(16384), v(16384, -100.0f);
    for (size_t k = 0; k < x.size(); ++k) x[k] = static_cast<float>(k * 48000.0 / 32768.0);
    v[299] = v[301] = -20.0f, v[300] = -6.0f, v[1000] = -30.0f;
    view.SetTrace(0, x, v);
}

int CursorBin(const TSpectrumView& view) {
    const std::optional<size_t> k = view.CursorPoint(0);
    // Only a cursor exactly on a bin counts.
    return k && view.TraceFrequencies(0)[*k] == view.CursorX() ? static_cast<int>(*k) : -1;
}

TEST(PlotCursor, RestsOnBinsStepsBinByBinAndJumpsToPeaks) {
    TSpectrumView view(10.0, 22000.0, FrequencyScale::Linear);
    view.resize(800, 400);
    ShowTones(view);
    // A click anywhere lands on a bin, and the readout names that bin's frequency.
    view.SetCursorColumn(*view.PixelMap().Column(440.0));
    ASSERT_GE(CursorBin(view), 0);
    EXPECT_EQ(view.CursorReadout().substr(0, view.CursorReadout().find("   ")),
              FormatTraceX(view.Model(), view.TraceFrequencies(0)[static_cast<size_t>(CursorBin(view))]));
    struct Press { int key; Qt::KeyboardModifiers modifiers; int bin; };
    for (const Press& p : {Press{Qt::Key_Home, {}, 300}, Press{Qt::Key_Right, {}, 301}, Press{Qt::Key_Left, {}, 300},
                           Press{Qt::Key_Left, {}, 299}, Press{Qt::Key_Period, {}, 300},
                           Press{Qt::Key_Right, Qt::ControlModifier, 1000}, Press{Qt::Key_Comma, {}, 300},
                           Press{Qt::Key_Right, Qt::ControlModifier, 1000}, Press{Qt::Key_P, {}, 300}}) {
        QKeyEvent event(QEvent::KeyPress, p.key, p.modifiers);
        QApplication::sendEvent(&view, &event);
        EXPECT_EQ(CursorBin(view), p.bin) << "key " << p.key;
    }
}

}  // namespace
}  // namespace zeltrak
