// The File menu in the window, offscreen: opening a wave file made by sox sets the title and
// the channel processing and analyses it; bad names leave the program as it was; leaving the
// program offers a changed file for saving and remembers the open file.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <cmath>
#include <cstdlib>
#include <deque>

#include "dsp/channel_processing.h"
#include "engine/wave_file_commands.h"
#include "files/wave_file.h"
#include "gui/shell_fixture.h"
#include "support/temp_dir.h"
#include "views/qt/desktop.h"
#include "views/qt/file_dialogs.h"
#include "views/qt/spectrum_view.h"

namespace zeltrak {
namespace {

using gui_testing::SpinUntil;

// Answers the file dialogs from a list; an empty list is a cancelled dialog.
class ScriptedChooser : public TWaveFileChooser {
public:
    std::deque<std::string> names;
    std::vector<std::string> titles;
    std::optional<std::string> ChooseOpenFile(const std::string& title, const std::string&) override {
        return Next(title);
    }
    std::optional<std::string> ChooseSaveFile(const std::string& title, const std::string&,
                                              const std::string&) override {
        return Next(title);
    }
    CalibrationChoice AskWrongCalibration(const std::string&) override { return CalibrationChoice::KeepCurrent; }

private:
    std::optional<std::string> Next(const std::string& title) {
        titles.push_back(title);
        if (names.empty()) return std::nullopt;
        std::string n = names.front();
        names.pop_front();
        return n;
    }
};

std::string MakeTone(const std::string& path, int channels, double hz) {
    const std::string command = "sox -q -n -r 32000 -c " + std::to_string(channels) + " -b 16 '" + path +
                                "' synth 1 sine " + std::to_string(hz) + " vol 0.5";
    return std::system(command.c_str()) == 0 ? path : std::string();
}

void Trigger(Shell& s, const char* action) {
    QAction* a = s.window->FileAction(action);
    ASSERT_NE(a, nullptr) << action;
    a->trigger();
}

// Post-Processing with `name` opened through File > Open.
void OpenForPostProcessing(Shell& s, ScriptedChooser& chooser, const std::string& name) {
    s.window->SetFileChooser(&chooser);
    s.window->SelectMode(kModePostProcessing);
    chooser.names = {name};
    Trigger(s, "Open");
}

TEST(FileMenu, OpeningAWaveFileSetsTitleAndChannelProcessingAndAnalysesIt) {
    zeltrak::testing::TempDir dir;
    const std::string mono = MakeTone(dir.File("mono tone.wav"), 1, 1000.0);
    ASSERT_FALSE(mono.empty()) << "sox is needed";
    Shell s(dir.path());
    ScriptedChooser chooser;
    s.window->SetFileChooser(&chooser);

    // From Real-Time the menu refuses before a dialog is shown.
    Trigger(s, "Open");
    EXPECT_TRUE(chooser.titles.empty());
    ASSERT_EQ(s.host.Messages().size(), 1u);
    EXPECT_EQ(s.host.Messages()[0],
              "You are currently using the Real Time Mode.  You must change to either the Post Processing or "
              "Recorder Mode before opening a file.");
    EXPECT_FALSE(s.window->FileAction("Close")->isEnabled());

    s.window->SelectMode(kModePostProcessing);
    s.settings.Settings().ChannelProcessing = kProcessBoth;
    chooser.names = {mono};
    Trigger(s, "Open");
    EXPECT_EQ(chooser.titles.back(), "Open Wave File");
    EXPECT_EQ(s.Title(), kTitle + " [" + mono + "]");
    EXPECT_EQ(s.settings.Settings().ChannelProcessing, kProcessLeft);
    EXPECT_EQ(s.settings.Settings().format.rate, 32000u);
    EXPECT_EQ(s.settings.Settings().format.channels, 1u);
    EXPECT_TRUE(s.window->FileAction("Close")->isEnabled());

    // The file is what the analyser now steps through: its tone peaks in the spectrum.
    ASSERT_TRUE(s.window->RunAnalyser()) << s.host.Messages().back();
    TSpectrumView* view = s.window->SpectrumView();
    ASSERT_TRUE(SpinUntil([&] { return view->FramesShown() >= 3; }, 15000));
    s.window->StopAnalyser();
    const auto& f = view->TraceFrequencies(0);
    const auto& v = view->TraceValues(0);
    ASSERT_FALSE(v.empty());
    const size_t best = gui_testing::HighestPoint(v);
    EXPECT_NEAR(f[best], 1000.0, 32000.0 / 1024);

    // Run to the end of the file, rewind and run again: the second pass is analysed too.
    ASSERT_TRUE(s.window->RunAnalyser());
    ASSERT_TRUE(SpinUntil([&] { return !s.engine->Running(); }, 15000));
    EXPECT_EQ(s.engine->WaveFile()->Position(), s.engine->WaveFile()->Length());
    ASSERT_TRUE(s.window->Rewind());
    ASSERT_TRUE(s.window->RunAnalyser());
    ASSERT_TRUE(SpinUntil([&] { return !s.engine->Running(); }, 15000));
    // The whole second of 32000 frames, 1024 at a time without overlap.
    const uint32_t fft = s.settings.Settings().FFTsize;
    ASSERT_EQ(s.settings.Settings().OverlapPercent, 0u);
    EXPECT_EQ(view->FramesShown(), (32000 - fft) / fft + 1);

    // A stereo file lifts "Left channel only" to "Both Left and Right".
    const std::string stereo = MakeTone(dir.File("stereo.wav"), 2, 500.0);
    chooser.names = {stereo};
    Trigger(s, "Open");
    EXPECT_EQ(s.Title(), kTitle + " [" + stereo + "]");
    EXPECT_EQ(s.settings.Settings().ChannelProcessing, kProcessBoth);
    EXPECT_EQ(s.settings.Settings().format.channels, 2u);

    Trigger(s, "Close");
    EXPECT_EQ(s.Title(), kTitle);
    EXPECT_EQ(s.engine->WaveFile(), nullptr);
    EXPECT_FALSE(s.window->FileAction("Save")->isEnabled());
}

TEST(FileMenu, NamesThatAreNoWaveFilesAreRefusedAndTheProgramCarriesOn) {
    zeltrak::testing::TempDir dir;
    const std::string good = MakeTone(dir.File("good.wav"), 1, 1000.0);
    ASSERT_FALSE(good.empty());
    zeltrak::testing::WriteFile(dir.File("notes.wav"), "these are not samples\n");
    Shell s(dir.path());
    ScriptedChooser chooser;
    OpenForPostProcessing(s, chooser, good);
    const uint16_t channelMode = s.settings.Settings().ChannelProcessing;

    const std::pair<std::string, std::string> bad[] = {
        {dir.path(), "Failure opening file: " + dir.path()},
        {dir.File("missing.wav"), "Failure opening file: " + dir.File("missing.wav")},
        {dir.File("notes.wav"), "The wave file format is invalid"},
    };
    for (const auto& [name, message] : bad) {
        const size_t before = s.host.Messages().size();
        chooser.names = {name};
        Trigger(s, "Open");
        ASSERT_GT(s.host.Messages().size(), before) << name;
        EXPECT_EQ(s.host.Messages().back(), message);
        EXPECT_EQ(s.settings.Settings().ChannelProcessing, channelMode);
        EXPECT_EQ(s.settings.Mode.OpMode, kModePostProcessing);
    }
    // Still a working program: a good file opens afterwards.
    chooser.names = {good};
    Trigger(s, "Open");
    EXPECT_EQ(s.Title(), kTitle + " [" + good + "]");
}

TEST(FileMenu, LeavingTheProgramOffersAChangedFileAndRemembersTheOpenOne) {
    zeltrak::testing::TempDir dir;
    Shell s(dir.path());
    ScriptedChooser chooser;
    s.window->SetFileChooser(&chooser);
    std::string remembered = "unset";
    s.window->SetOnClose([&](const std::string& name) { remembered = name; });

    // A Real-Time history kept as an untitled file is unsaved work.
    s.host.SetScriptedAnswer(true, Answer::Yes);
    s.RunSomeFrames();
    s.window->SelectMode(kModePostProcessing);
    ASSERT_NE(s.engine->WaveFile(), nullptr);
    // Only what was recorded is kept: the unused rest of the ring is no part of the file.
    const uint32_t frames = s.engine->WaveFile()->Length();
    ASSERT_GT(frames, 0u);
    EXPECT_EQ(frames, s.engine->WaveFile()->WrittenLength());
    EXPECT_LT(frames, s.settings.Settings().format.rate * 3u);

    s.host.SetScriptedAnswer(true, Answer::Cancel);
    EXPECT_FALSE(s.window->close());
    EXPECT_TRUE(s.window->isVisible());
    EXPECT_EQ(s.host.Messages().back(), "Untitled has changed. Save file before closing?");
    EXPECT_EQ(remembered, "unset");

    // Yes saves it under the name chosen; that name is what the next start reopens.
    const std::string saved = dir.File("kept.wav");
    chooser.names = {saved};
    s.host.SetScriptedAnswer(true, Answer::Yes);
    EXPECT_TRUE(s.window->close());
    EXPECT_EQ(remembered, "");  // it was untitled while open
    TWaveFile reread(s.host, saved, TWaveFile::kMemoryMode, false);
    ASSERT_FALSE(reread.Error());
    EXPECT_EQ(reread.Length(), frames);
}

// A Real-Time run makes a new history; a kept or opened file is offered for saving first.
TEST(FileMenu, ARealTimeRunDoesNotThrowAwayAKeptFileUnasked) {
    zeltrak::testing::TempDir dir;
    Shell s(dir.path());
    s.host.SetScriptedAnswer(true, Answer::Yes);
    s.RunSomeFrames();
    s.window->SelectMode(kModePostProcessing);  // Yes: kept as an untitled file
    const TWaveFile* kept = s.engine->WaveFile();
    ASSERT_NE(kept, nullptr);
    s.window->SelectMode(kModeRealTime);
    EXPECT_EQ(s.engine->WaveFile(), kept);

    s.host.SetScriptedAnswer(true, Answer::Cancel);
    EXPECT_FALSE(s.window->RunAnalyser());
    EXPECT_FALSE(s.engine->Running());
    EXPECT_EQ(s.engine->WaveFile(), kept);
    EXPECT_EQ(s.host.Messages().back(), "Untitled has changed. Save file before closing?");

    // No lets it go; from then on the run's own history is replaced without a question.
    s.host.SetScriptedAnswer(true, Answer::No);
    ASSERT_TRUE(s.window->RunAnalyser());
    s.window->StopAnalyser();
    const size_t asked = s.host.Messages().size();
    ASSERT_TRUE(s.window->RunAnalyser());
    s.window->StopAnalyser();
    EXPECT_EQ(s.host.Messages().size(), asked);
}

TEST(FileMenu, TheOpenFileIsRememberedAtExitAndDialogFiltersReadAsQtWantsThem) {
    zeltrak::testing::TempDir dir;
    const std::string good = MakeTone(dir.File("good.wav"), 1, 1000.0);
    ASSERT_FALSE(good.empty());
    Shell s(dir.path());
    ScriptedChooser chooser;
    OpenForPostProcessing(s, chooser, good);
    TIniStore ini;
    const std::string path = dir.File("zeltrak.ini");
    s.window->SetOnClose(
        [&](const std::string& name) { StoreDesktopSettings(s.host, s.settings, name, ini, path); });
    EXPECT_TRUE(s.window->close());
    TIniStore reread;
    ASSERT_TRUE(reread.Load(path));
    EXPECT_EQ(reread.GetString("FileHistory", "OpenFileName", "", 260), good);

    EXPECT_EQ(QtFileFilter("Wave Files (*.wav)|*.wav|").toStdString(), "Wave Files (*.wav)");
    EXPECT_EQ(QtFileFilter("Mic Comp Files (*.mic)|*.mic|Overlay Files (*.ovl)|*.ovl|").toStdString(),
              "Mic Comp Files (*.mic);;Overlay Files (*.ovl)");
}

}  // namespace
}  // namespace zeltrak
