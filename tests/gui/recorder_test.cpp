// Recorder mode in the window, offscreen: Record takes the Loopback card's tone into a new
// untitled file, Play analyses it back, and Save As writes a file that sox reads back whole.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QToolBar>
#include <cmath>
#include <cstdio>
#include <deque>

#include "engine/wave_file_commands.h"
#include "files/wave_file.h"
#include "gui/shell_fixture.h"
#include "support/temp_dir.h"
#include "views/qt/spectrum_view.h"

namespace zeltrak {
namespace {

using gui_testing::SpinUntil;

class SaveTo : public TWaveFileChooser {
public:
    explicit SaveTo(std::string name) : name_(std::move(name)) {}
    std::optional<std::string> ChooseOpenFile(const std::string&, const std::string&) override { return std::nullopt; }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::string&, const std::string&) override {
        return name_;
    }
    CalibrationChoice AskWrongCalibration(const std::string&) override { return CalibrationChoice::KeepCurrent; }

private:
    std::string name_;
};

QAction* ToolButton(TMainWin& window, const char* text) {
    for (QAction* a : window.ModeToolBar()->actions())
        if (a->text() == text) return a;
    return nullptr;
}

long SoxSamples(const std::string& path) {
    FILE* p = ::popen(("soxi -s '" + path + "' 2>/dev/null").c_str(), "r");
    if (!p) return -1;
    long n = -1;
    if (std::fscanf(p, "%ld", &n) != 1) n = -1;
    ::pclose(p);
    return n;
}

TEST(RecorderWindow, RecordPlayAndSaveTheTake) {
    zeltrak::testing::TempDir dir;
    Shell s(dir.path());
    s.window->SelectMode(kModeRecorder);
    QAction* record = ToolButton(*s.window, "Record");
    QAction* play = ToolButton(*s.window, "Play");
    ASSERT_NE(record, nullptr);
    ASSERT_NE(play, nullptr);

    record->trigger();
    ASSERT_TRUE(s.engine->Running()) << (s.host.Messages().empty() ? "" : s.host.Messages().back());
    EXPECT_EQ(s.Title(), kTitle + " [Untitled] - Recording...");
    const uint32_t rate = s.settings.Settings().format.rate;
    ASSERT_TRUE(SpinUntil([&] { return s.engine->WaveFile()->WrittenLength() >= rate / 2; }, 15000));
    s.window->StopAnalyser();
    EXPECT_EQ(s.Title(), kTitle + " [Untitled]");
    TWaveFile* take = s.engine->WaveFile();
    ASSERT_NE(take, nullptr);
    const uint32_t frames = take->WrittenLength();
    EXPECT_GE(frames, rate / 2);

    // Playing the take analyses the recorded tone.
    take->Rewind();
    play->trigger();
    ASSERT_TRUE(s.engine->Running()) << (s.host.Messages().empty() ? "" : s.host.Messages().back());
    TSpectrumView* view = s.window->SpectrumView();
    const uint32_t before = view->FramesShown();
    ASSERT_TRUE(SpinUntil([&] { return view->FramesShown() >= before + 3; }, 15000));
    s.window->StopAnalyser();
    const auto& f = view->TraceFrequencies(0);
    const auto& v = view->TraceValues(0);
    const size_t best = gui_testing::HighestPoint(v);
    ASSERT_FALSE(v.empty());
    EXPECT_NEAR(f[best], 1000.0, 2.0 * rate / s.settings.Settings().FFTsize);

    // Save As names the take; sox reads every recorded frame back.
    const std::string saved = dir.File("take.wav");
    SaveTo chooser(saved);
    s.window->SetFileChooser(&chooser);
    s.window->FileAction("Save As")->trigger();
    EXPECT_EQ(s.Title(), kTitle + " [" + saved + "]");
    EXPECT_EQ(SoxSamples(saved), static_cast<long>(frames));  // sox counts samples per channel
}

}  // namespace
}  // namespace zeltrak
