// The window's Real-Time run is paced by the input: every frame the overlap asks for is
// analysed, and the views repaint at most at the display's rate however many frames come.
#include <gtest/gtest.h>

#include <QEvent>

#include "gui/shell.h"

namespace zeltrak {
namespace {

struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST(RealTimePace, EveryFrameTheOverlapAsksForIsAnalysedAndRepaintsStayAtTheDisplayRate) {
    TempDir dir;
    // 90 % overlap of 1024 at 44.1 kHz: 432 frames a second, far above any display's rate.
    Shell s(dir.path(), [](ProcessingSettings& p) { p.Settings().OverlapPercent = 90; });
    PaintCounter counter;
    s.window->SpectrumView()->installEventFilter(&counter);
    s.RunSomeFrames();
    const uint64_t captured = s.engine->InputPort().CapturedFrames();
    const uint32_t frames = s.engine->FrameCount();
    const int paints = counter.paints;
    QElapsedTimer t;
    t.start();
    SpinUntil([&] { return t.elapsed() >= 1500; });
    const double seconds = t.elapsed() / 1000.0;
    const double due = (s.engine->InputPort().CapturedFrames() - captured) / 102.0;
    const uint32_t analysed = s.engine->FrameCount() - frames;
    // Never more than is due (none twice); fewer only by the frames still waiting for the next
    // pass, at most half a second's worth even on a slow (sanitizer) build on a busy machine: a
    // window that analysed one frame per repaint would fall over 500 behind in these 1.5 s.
    EXPECT_LE(analysed, due + 1.0);
    EXPECT_GE(analysed, due - 0.5 * 432);
    EXPECT_EQ(s.engine->LostLiveFrames(), 0u);
    EXPECT_GT(counter.paints - paints, 0);
    EXPECT_LE(counter.paints - paints, 61 * seconds);
}

}  // namespace
}  // namespace zeltrak
