#include "views/mode_switch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/processing_settings.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

// Records every call, in order, so the test sees what happened and in which sequence.
class RecordingTarget : public TModeSwitchTarget {
public:
    bool running = false;
    bool buffer = false;
    std::vector<std::string> calls;

    bool AnalyserRunning() const override { return running; }
    void StopAnalyser() override {
        calls.push_back("stop");
        running = false;
    }
    void StopLogging() override { calls.push_back("logging off"); }
    bool HasRealTimeBuffer() const override { return buffer; }
    void KeepRealTimeBuffer() override { calls.push_back("keep"); }
    void DiscardRealTimeBuffer() override {
        calls.push_back("discard");
        buffer = false;
    }
    void SetCaption(const std::string& caption) override { calls.push_back("caption " + caption); }
    void SetMode(uint32_t mode) override { calls.push_back("mode " + std::to_string(mode)); }
};

const char* const kQuestion =
    "Data is still available in the Real-Time data buffers.\rDo you want to convert this to a WAV file for "
    "further Processing?";
const char* const kTitle = "VornalPRO - FFT Spectral Analysis System";

TEST(ModeSwitch, SameOrUnknownModeDoesNothing) {
    ScriptedHost host;
    RecordingTarget t;
    t.running = true;
    t.buffer = true;
    for (uint32_t m : {kModeRealTime, kModePostProcessing, kModeRecorder})
        EXPECT_EQ(SwitchMode(m, m, host, t), ModeSwitchResult::Unchanged);
    EXPECT_EQ(SwitchMode(kModeRealTime, 0, host, t), ModeSwitchResult::Refused);
    EXPECT_EQ(SwitchMode(kModeRealTime, 4, host, t), ModeSwitchResult::Refused);
    EXPECT_TRUE(t.calls.empty());
    EXPECT_TRUE(host.questions.empty());
    EXPECT_TRUE(t.running);
}

TEST(ModeSwitch, LeavingRealTimeWithBufferAsksAndYesKeepsItUntitled) {
    ScriptedHost host;
    host.ScriptAnswers({Answer::Yes});
    RecordingTarget t;
    t.running = true;
    t.buffer = true;
    EXPECT_EQ(SwitchMode(kModeRealTime, kModePostProcessing, host, t), ModeSwitchResult::Switched);
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].text, kQuestion);
    EXPECT_EQ(host.questions[0].caption, kTitle);
    EXPECT_FALSE(host.questions[0].withCancel);
    const std::vector<std::string> expected{"stop", "keep", std::string("caption ") + kTitle + " [Untitled]",
                                            "mode 2"};
    EXPECT_EQ(t.calls, expected);
}

TEST(ModeSwitch, NoDiscardsTheBufferAndKeepsTheCaption) {
    ScriptedHost host;
    host.ScriptAnswers({Answer::No});
    RecordingTarget t;
    t.buffer = true;
    EXPECT_EQ(SwitchMode(kModeRealTime, kModeRecorder, host, t), ModeSwitchResult::Switched);
    EXPECT_EQ(host.questions.size(), 1u);
    // Not running: nothing to stop; to Recorder: logging goes off before the question.
    const std::vector<std::string> expected{"logging off", "discard", "mode 3"};
    EXPECT_EQ(t.calls, expected);
}

TEST(ModeSwitch, NoQuestionWithoutBufferOrWhenNotLeavingRealTime) {
    {
        ScriptedHost host;
        RecordingTarget t;
        EXPECT_EQ(SwitchMode(kModeRealTime, kModePostProcessing, host, t), ModeSwitchResult::Switched);
        EXPECT_TRUE(host.questions.empty());
        EXPECT_EQ(t.calls, std::vector<std::string>{"mode 2"});
    }
    {
        // A Post-Processing file is not a real-time buffer, whatever the target says.
        ScriptedHost host;
        RecordingTarget t;
        t.buffer = true;
        t.running = true;
        EXPECT_EQ(SwitchMode(kModePostProcessing, kModeRealTime, host, t), ModeSwitchResult::Switched);
        EXPECT_TRUE(host.questions.empty());
        const std::vector<std::string> expected{"stop", "mode 1"};
        EXPECT_EQ(t.calls, expected);
    }
}

TEST(ModeSwitch, LabelsAndCaptions) {
    EXPECT_EQ(ModeLabel(kModeRealTime), "Real Time");
    EXPECT_EQ(ModeLabel(kModePostProcessing), "Post Process");
    EXPECT_EQ(ModeLabel(kModeRecorder), "Recorder");
    EXPECT_EQ(ModeLabel(7), "");
    EXPECT_EQ(FileCaption("/data/a b.wav"), std::string(kTitle) + " [/data/a b.wav]");
    EXPECT_EQ(FileCaption(""), std::string(kTitle) + " [Untitled]");
}

}  // namespace
}  // namespace zeltrak
