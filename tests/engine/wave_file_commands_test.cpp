// The shell's File commands over hand-made wave files, a scripted host and chooser: calibration,
// the close question's answers, Real-Time refusal and the inputs that cannot be opened.
#include "engine/wave_file_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <memory>

#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine/processing_settings.h"
#include "engine/wave_file_status.h"
#include "files/calibration_record.h"
#include "files/wave_file.h"
#include "support/wave_builder.h"
#include "platform/buffer_done_queue.h"
#include "engine/multi_device_driver.h"
#include "support/scripted_host.h"

namespace zeltrak {
namespace {

using namespace test;
using testing::TempDir;

const std::string kTitle = "VornalPRO - FFT Spectral Analysis System";

class ScriptedChooser : public TWaveFileChooser {
public:
    std::deque<std::optional<std::string>> names;  // answers to both file dialogs, in order
    std::deque<CalibrationChoice> choices;
    std::vector<std::string> currents, questions;

    std::optional<std::string> ChooseOpenFile(const std::string&, const std::string&) override { return Next(""); }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::string&, const std::string& c) override {
        return Next(c);
    }
    CalibrationChoice AskWrongCalibration(const std::string& text) override {
        questions.push_back(text);
        return Pop(choices, CalibrationChoice::KeepCurrent);
    }

private:
    template <class T>
    static T Pop(std::deque<T>& q, T otherwise) {
        if (q.empty()) return otherwise;
        T v = q.front();
        q.pop_front();
        return v;
    }
    std::optional<std::string> Next(const std::string& current) {
        currents.push_back(current);
        return Pop(names, std::optional<std::string>{});
    }
};

// A calibration chunk laid out by hand at the record's byte offsets.
std::vector<uint8_t> CalibrationChunk(int32_t enabled, const char* filename, float left, float right) {
    std::vector<uint8_t> rec(1024, 0);
    std::memcpy(&rec[0], &enabled, 4);
    std::memcpy(&rec[4], filename, std::strlen(filename));
    std::memcpy(&rec[408], &left, 4);
    std::memcpy(&rec[412], &right, 4);
    return Chunk("\x65\0\0\0", rec);
}

class WaveFileCommands : public ::testing::Test {
protected:
    WaveFileCommands() : card(test::ManualClock()) {
        settings.Mode.OpMode = kModePostProcessing;
        settings.FileIO.WaveFileMode = TWaveFile::kMemoryMode;
        calibration = CalibrationRecord::Defaults();
        calibration.IsEnabled = 0;
        engine = std::make_unique<TEngine>(host, card, settings, &queue);
        TWaveFileEvents events;
        events.modeChanged = [this](uint32_t m) { modes.push_back(m); };
        events.named = [this](const std::string& n) { named.push_back(n); };
        commands = std::make_unique<TWaveFileCommands>(host, *engine, settings, calibration, chooser, work.path(),
                                                       events);
    }
    // A 16-bit file at 8000 Hz holding `frames` frames of a known pattern.
    std::string MakeWave(const std::string& name, uint16_t channels, uint32_t frames,
                         const std::vector<uint8_t>& extraChunk = {}) {
        std::vector<uint8_t> samples;
        for (uint32_t i = 0; i < frames * channels; ++i) Put16(samples, static_cast<uint16_t>(i * 37 - 9000));
        WriteAll(dir.File(name), Cat(SimpleWave(channels, 2, 8000, samples), extraChunk));
        return dir.File(name);
    }

    TempDir dir, work;
    ScriptedHost host;
    ScriptedChooser chooser;
    LoopbackDriver card;
    BufferDoneQueue queue;
    ProcessingSettings settings;
    CalibrationRecord calibration;
    std::unique_ptr<TEngine> engine;
    std::unique_ptr<TWaveFileCommands> commands;
    std::vector<std::string> named;
    std::vector<uint32_t> modes;
};

TEST_F(WaveFileCommands, CalibrationChunkOrTheAnswerToTheQuestionSetsFullScale) {
    const std::string path = MakeWave("cal.wav", 2, 1000, CalibrationChunk(1, "lab.cal", 2.5f, 4.0f));
    ASSERT_TRUE(commands->Open(path, OpenOrigin::Menu));
    EXPECT_STREQ(calibration.Filename, "lab.cal");
    EXPECT_EQ(calibration.IsEnabled, 1);
    // Frame 0 holds -9000 and -8963; 16-bit full scale is 32767 counts, read as the ratio.
    EXPECT_NEAR(engine->WaveFile()->GetSample(0, 0, true), -9000 * 2.5 / 32767, 1e-6);
    EXPECT_NEAR(engine->WaveFile()->GetSample(0, 1, true), -8963 * 4.0 / 32767, 1e-6);
    ASSERT_TRUE(engine->Rebuild());  // the engine's series take the same ratios
    EXPECT_FLOAT_EQ(engine->Series(1)->Scale(), 4.0f / 32767);
    EXPECT_TRUE(chooser.questions.empty());

    // A file without a chunk while a calibration is on: the question, then each answer.
    calibration.CalRatioLeft = calibration.CalRatioRight = 3.0f;
    const std::string plain = MakeWave("plain.wav", 1, 1000);
    ASSERT_TRUE(commands->Open(plain, OpenOrigin::Menu));
    ASSERT_EQ(chooser.questions.size(), 1u);
    EXPECT_EQ(chooser.questions[0],
              "WARNING: You are currently using calibration file \"lab.cal\".  This may not be correct for this "
              ".WAV file.  Do you wish to select a different calibration file at this time?");
    EXPECT_FLOAT_EQ(engine->WaveFile()->FullScaleLeft(), 3.0f);
    // Another .cal file: its only key gives peak volts at half scale, so 2.0 / 0.5 = 4.0.
    const std::string cal = dir.File("two.cal");
    zeltrak::testing::WriteFile(cal, "[Calibration]\nRefLevel=2.0\n");
    chooser.choices = {CalibrationChoice::SelectOther};
    chooser.names = {cal};
    ASSERT_TRUE(commands->Open(plain, OpenOrigin::Menu));
    EXPECT_STREQ(calibration.Filename, cal.c_str());
    EXPECT_FLOAT_EQ(engine->WaveFile()->FullScaleRight(), 4.0f);
    // One that cannot be read is reported and the calibration stays as it was.
    chooser.choices = {CalibrationChoice::SelectOther};
    chooser.names = {dir.File("missing.cal")};
    host.messages.clear();  // the earlier files' formats were announced
    ASSERT_TRUE(commands->Open(plain, OpenOrigin::Menu));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Failure opening file: " + dir.File("missing.cal"));
    EXPECT_FLOAT_EQ(engine->WaveFile()->FullScaleLeft(), 4.0f);
    chooser.choices = {CalibrationChoice::Disable};
    ASSERT_TRUE(commands->Open(plain, OpenOrigin::Menu));
    EXPECT_EQ(calibration.IsEnabled, 0);
    EXPECT_FLOAT_EQ(engine->WaveFile()->FullScaleLeft(), 1.0f);
}

TEST_F(WaveFileCommands, CloseQuestionCancelNoAndYes) {
    for (uint32_t mode : {TWaveFile::kMemoryMode, TWaveFile::kDiskMode}) {
        SCOPED_TRACE(mode);
        settings.FileIO.WaveFileMode = mode;
        settings.FileIO.MakeBackup = 1;
        host.questions.clear();
        const std::string a = MakeWave("a.wav", 2, 2000);
        const std::vector<uint8_t> original = ReadAll(a);
        ASSERT_TRUE(commands->Open(a, OpenOrigin::Menu));
        engine->WaveFile()->PutSample(1234, 10, 1);
        // Cancel keeps the file and cancels the open that asked.
        host.ScriptAnswers({Answer::Cancel});
        EXPECT_FALSE(commands->Open(MakeWave("b.wav", 1, 100), OpenOrigin::Menu));
        ASSERT_EQ(host.questions.size(), 1u);
        EXPECT_EQ(host.questions[0].text, a + " has changed. Save file before closing?");
        EXPECT_TRUE(host.questions[0].withCancel);
        ASSERT_NE(engine->WaveFile(), nullptr);
        EXPECT_EQ(engine->WaveFile()->GetName(), a);
        // No leaves the disk file as it was, and no working copy behind.
        host.ScriptAnswers({Answer::No});
        EXPECT_TRUE(commands->Close());
        EXPECT_EQ(engine->WaveFile(), nullptr);
        EXPECT_EQ(ReadAll(a), original);
        EXPECT_TRUE(work.Files().empty());
        // Yes writes the change; the header sizes and the sample are read back by hand.
        ASSERT_TRUE(commands->Open(a, OpenOrigin::Menu));
        engine->WaveFile()->PutSample(1234, 10, 1);
        host.ScriptAnswers({Answer::Yes});
        EXPECT_TRUE(commands->Close());
        const std::vector<uint8_t> saved = ReadAll(a);
        ASSERT_EQ(saved.size(), 44u + 8000u);
        EXPECT_EQ(Get32(saved, 40), 8000u);
        EXPECT_EQ(static_cast<int16_t>(Get16(saved, 44 + 4 * 10 + 2)), 1234);
        EXPECT_EQ(Get16(saved, 44 + 4 * 11), Get16(original, 44 + 4 * 11));
    }
}

TEST_F(WaveFileCommands, CloseStopsARecordingAndSavesItUnderTheChosenName) {
    settings.Mode.OpMode = kModeRecorder;
    settings.Settings().format = SampleFormat::Make(8000, 1, 2);
    settings.Settings().FFTsize = 1024;
    LoopbackConfig sine = test::ManualClock();
    sine.source = LoopbackConfig::Source::Sine;
    sine.sineHz = 1000.0;
    sine.sineDb = -20.0;
    card.Configure(sine);
    ASSERT_TRUE(engine->Record());
    TEngineLoop loop(*engine, queue);
    for (int i = 0; i < 16; ++i) {
        card.Advance(1000);
        loop.Pump(0);
    }
    ASSERT_EQ(engine->RunState(), EngineRunState::Recording);
    EXPECT_EQ(commands->OpenFileName(), "");  // untitled

    // Yes with the name dialog cancelled, or a name in a folder that does not exist, keeps
    // the recording open and untitled.
    host.ScriptAnswers({Answer::Yes});
    EXPECT_FALSE(commands->Close());
    EXPECT_EQ(engine->RunState(), EngineRunState::Stopped);
    EXPECT_EQ(host.questions.back().text, "Untitled has changed. Save file before closing?");
    host.ScriptAnswers({Answer::Yes});
    chooser.names = {dir.File("no/such/folder.wav")};
    EXPECT_FALSE(commands->Close());
    EXPECT_FALSE(host.messages.empty());
    EXPECT_EQ(commands->OpenFileName(), "");
    ASSERT_NE(engine->WaveFile(), nullptr);

    const std::string target = dir.File("take.wav");
    host.ScriptAnswers({Answer::Yes});
    chooser.names = {target};
    ASSERT_TRUE(commands->Close());
    EXPECT_EQ(named, std::vector<std::string>{target});
    // Every frame the card delivered is in the file: a -20 dB sine, rms 0.1 x 32767 / sqrt 2.
    const std::vector<uint8_t> b = ReadAll(target);
    ASSERT_EQ(b.size(), 44u + 2 * 16000);
    ASSERT_EQ(Get32(b, 40), 2u * 16000);
    double sum = 0;
    for (size_t at = 44; at < b.size(); at += 2) sum += std::pow(static_cast<int16_t>(Get16(b, at)), 2);
    EXPECT_NEAR(std::sqrt(sum / 16000), 0.1 * 32767 / std::sqrt(2.0), 0.01 * 2317);
}

TEST_F(WaveFileCommands, RealTimeModeRefusesTheMenuAndClosesItsBufferUnasked) {
    settings.Mode.OpMode = kModeRealTime;
    const SampleFormat before = settings.Settings().format;
    EXPECT_FALSE(commands->OpenFromMenu());
    EXPECT_FALSE(commands->Open(MakeWave("x.wav", 2, 100), OpenOrigin::Menu));
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].text,
              "You are currently using the Real Time Mode.  You must change to either the Post Processing or "
              "Recorder Mode before opening a file.");
    EXPECT_EQ(settings.Settings().format, before);
    // A modified Real-Time history is dropped without a question by an automation open,
    // which then leaves Real-Time mode.
    engine->SetWaveFile(MakeWaveFile(host, 100u, before));
    engine->WaveFile()->PutSample(5, 0, 0);
    EXPECT_FALSE(commands->FileIoOptionsLocked());
    ASSERT_TRUE(commands->Open(dir.File("x.wav"), OpenOrigin::Automation));
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(modes, std::vector<uint32_t>{kModePostProcessing});
}

TEST_F(WaveFileCommands, WhatCannotBeOpenedIsReportedAndChangesNothing) {
    const SampleFormat before = settings.Settings().format;
    const std::string text = dir.File("notes.wav");
    WriteAll(text, {'h', 'e', 'l', 'l', 'o', '\n'});
    const std::string empty = dir.File("empty.wav");
    WriteAll(empty, SimpleWave(1, 2, 8000, {}));  // a data chunk of size 0
    const std::string fifo = dir.File("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string name, message, caption;
    } cases[] = {
        {dir.path(), "Failure opening file: " + dir.path(), kTitle},
        {dir.File("gone.wav"), "Failure opening file: " + dir.File("gone.wav"), kTitle},
        {"", "Failure opening file: ", kTitle},
        {fifo, "Failure opening file: " + fifo, kTitle},  // must not wait for a writer
        {text, "The wave file format is invalid", ""},
        {empty, "The wave file format is invalid", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host.messages.clear();
        EXPECT_FALSE(commands->Open(c.name, OpenOrigin::Menu));
        ASSERT_FALSE(host.messages.empty());
        EXPECT_EQ(host.messages[0].text.substr(0, c.message.size()), c.message);
        EXPECT_EQ(host.messages[0].caption, c.caption);
        EXPECT_EQ(engine->WaveFile(), nullptr);
        EXPECT_EQ(settings.Settings().format, before);
    }
    EXPECT_TRUE(named.empty());
    EXPECT_TRUE(work.Files().empty());
}

TEST_F(WaveFileCommands, FileIoLockAndTemporaryResults) {
    EXPECT_TRUE(commands->AllowFileIoOptionsChange());
    const std::string temp = MakeWave("tmp.wav", 1, 100), kept = dir.File("kept.wav");
    chooser.names = {temp};
    ASSERT_TRUE(commands->OpenFromMenu());
    host.messages.clear();  // the file's format was announced
    EXPECT_FALSE(commands->AllowFileIoOptionsChange());
    EXPECT_EQ(host.messages.size(), 1u);
    // Saved elsewhere, the result is the user's: only the temporary file goes.
    commands->SetTemporaryResult(true);
    ASSERT_TRUE(commands->SaveAs(kept));
    EXPECT_TRUE(commands->Close());
    struct stat st {};
    EXPECT_NE(::stat(temp.c_str(), &st), 0);
    EXPECT_EQ(::stat(kept.c_str(), &st), 0);
    EXPECT_FALSE(commands->FileIoOptionsLocked());
    EXPECT_EQ(commands->OpenFileName(), "");
}

}  // namespace
}  // namespace zeltrak
