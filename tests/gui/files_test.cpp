// Files in the window, offscreen: wave files made by sox opened and analysed, unsaved takes
// offered for saving before they could be lost, and a recorder take that sox reads back whole.
#include <gtest/gtest.h>

#include <QAction>
#include <QToolBar>
#include <cstdio>
#include <cstdlib>

#include "dsp/channel_processing.h"
#include "files/wave_file.h"
#include "gui/shell.h"
#include "support/temp_dir.h"
#include "views/qt/spectrum_view.h"

namespace zeltrak {
namespace {

std::string MakeTone(const std::string& path, int channels, double hz) {
    const std::string command = "sox -q -n -r 32000 -c " + std::to_string(channels) + " -b 16 '" + path +
                                "' synth 1 sine " + std::to_string(hz) + " vol 0.5";
    return std::system(command.c_str()) == 0 ? path : std::string();
}

void Open(Shell& s, const std::string& name) {
    s.chooser.names = {name};
    s.window->FileAction("Open")->trigger();
}

double PeakHz(TSpectrumView* view) { return view->TraceFrequencies(0)[HighestPoint(view->TraceValues(0))]; }

TEST(FileMenu, OpeningAWaveFileSetsTheChannelsAndAnalysesItToTheEnd) {
    zeltrak::testing::TempDir dir;
    const std::string mono = MakeTone(dir.File("mono tone.wav"), 1, 1000.0);
    ASSERT_FALSE(mono.empty()) << "sox is needed";
    Shell s(dir.path());
    s.window->SelectMode(kModePostProcessing);
    s.settings.Settings().ChannelProcessing = kProcessBoth;
    Open(s, mono);
    EXPECT_EQ(s.Title(), kTitle + " [" + mono + "]");
    EXPECT_EQ(s.settings.Settings().ChannelProcessing, kProcessLeft);
    EXPECT_EQ(s.settings.Settings().format.rate, 32000u);
    // Run to the end, rewind and run again: 32000 frames, 1024 at a time, all analysed again.
    TSpectrumView* view = s.window->SpectrumView();
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(pass == 0 || s.window->Rewind());
        ASSERT_TRUE(s.window->RunAnalyser()) << s.LastMessage();
        ASSERT_TRUE(SpinUntil([&] { return !s.engine->Running(); }));
        EXPECT_EQ(s.engine->WaveFile()->Position(), s.engine->WaveFile()->Length());
    }
    ASSERT_EQ(s.settings.Settings().OverlapPercent, 0u);
    EXPECT_EQ(view->FramesShown(), (32000 - 1024) / 1024 + 1);
    EXPECT_NEAR(PeakHz(view), 1000.0, 32000.0 / 1024);

    // A stereo file lifts "Left channel only" to "Both Left and Right".
    Open(s, MakeTone(dir.File("stereo.wav"), 2, 500.0));
    EXPECT_EQ(s.settings.Settings().ChannelProcessing, kProcessBoth);
    s.window->FileAction("Close")->trigger();
    EXPECT_EQ(s.Title(), kTitle);
    EXPECT_EQ(s.engine->WaveFile(), nullptr);
}

// A kept Real-Time history is unsaved work: neither leaving nor a new run throws it away unasked.
TEST(FileMenu, AKeptRealTimeHistoryIsOfferedForSavingBeforeItIsLost) {
    zeltrak::testing::TempDir dir;
    for (bool exit : {true, false}) {
        SCOPED_TRACE(exit ? "leaving the program" : "a new Real-Time run");
        std::string remembered = "unset";
        Shell s(dir.path());
        s.window->SetOnClose([&](const std::string& name) { remembered = name; });
        s.host.SetScriptedAnswer(true, Answer::Yes);
        s.RunSomeFrames();
        s.window->SelectMode(kModePostProcessing);
        const TWaveFile* kept = s.engine->WaveFile();
        ASSERT_NE(kept, nullptr);
        // Only what was recorded is kept: the unused rest of the ring is no part of the file.
        const uint32_t frames = kept->Length();
        EXPECT_EQ(frames, kept->WrittenLength());
        EXPECT_LT(frames, s.settings.Settings().format.rate * 3u);
        if (!exit) s.window->SelectMode(kModeRealTime);

        s.host.SetScriptedAnswer(true, Answer::Cancel);
        EXPECT_FALSE(exit ? s.window->close() : s.window->RunAnalyser());
        EXPECT_EQ(s.LastMessage(), "Untitled has changed. Save file before closing?");
        EXPECT_EQ(s.engine->WaveFile(), kept);
        EXPECT_FALSE(s.engine->Running());
        EXPECT_EQ(remembered, "unset");
        if (exit) {
            // Yes saves it under the name chosen.
            const std::string saved = dir.File("kept.wav");
            s.chooser.names = {saved};
            s.host.SetScriptedAnswer(true, Answer::Yes);
            EXPECT_TRUE(s.window->close());
            EXPECT_EQ(remembered, "");  // it was untitled while open
            TWaveFile reread(s.host, saved, TWaveFile::kMemoryMode, false);
            ASSERT_FALSE(reread.Error());
            EXPECT_EQ(reread.Length(), frames);
        } else {
            // No lets it go; from then on the run's own history is replaced without a question.
            s.host.SetScriptedAnswer(true, Answer::No);
            ASSERT_TRUE(s.window->RunAnalyser());
            s.window->StopAnalyser();
            const size_t asked = s.host.Messages().size();
            ASSERT_TRUE(s.window->RunAnalyser());
            s.window->StopAnalyser();
            EXPECT_EQ(s.host.Messages().size(), asked);
        }
    }
}

TEST(RecorderWindow, RecordPlayAndSaveTheTake) {
    zeltrak::testing::TempDir dir;
    Shell s(dir.path());
    s.window->SelectMode(kModeRecorder);
    auto button = [&](const QString& text) {
        const auto actions = s.window->ModeToolBar()->actions();
        const auto it = std::find_if(actions.begin(), actions.end(), [&](QAction* a) { return a->text() == text; });
        return it == actions.end() ? nullptr : *it;
    };
    ASSERT_NE(button("Record"), nullptr);
    button("Record")->trigger();
    ASSERT_TRUE(s.engine->Running()) << s.LastMessage();
    EXPECT_EQ(s.Title(), kTitle + " [Untitled] - Recording...");
    const uint32_t rate = s.settings.Settings().format.rate;
    ASSERT_TRUE(SpinUntil([&] { return s.engine->WaveFile()->WrittenLength() >= rate / 2; }));
    s.window->StopAnalyser();
    const uint32_t frames = s.engine->WaveFile()->WrittenLength();

    s.engine->WaveFile()->Rewind();
    button("Play")->trigger();
    ASSERT_TRUE(s.engine->Running()) << s.LastMessage();
    TSpectrumView* view = s.window->SpectrumView();
    const uint32_t before = view->FramesShown();
    ASSERT_TRUE(SpinUntil([&] { return view->FramesShown() >= before + 3; }));
    s.window->StopAnalyser();
    EXPECT_NEAR(PeakHz(view), 1000.0, 2.0 * rate / s.settings.Settings().FFTsize);

    // Save As names the take; sox reads every recorded frame back.
    const std::string saved = dir.File("take.wav");
    s.chooser.names = {saved};
    s.window->FileAction("Save As")->trigger();
    EXPECT_EQ(s.Title(), kTitle + " [" + saved + "]");
    FILE* p = ::popen(("soxi -s '" + saved + "'").c_str(), "r");
    ASSERT_NE(p, nullptr);
    long samples = -1;
    EXPECT_EQ(std::fscanf(p, "%ld", &samples), 1);
    ::pclose(p);
    EXPECT_EQ(samples, static_cast<long>(frames));  // sox counts samples per channel
}

}  // namespace
}  // namespace zeltrak
