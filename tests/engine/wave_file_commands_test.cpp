// The shell's File commands over wave files made by hand (or by sox), a scripted host and a
// scripted chooser: titles, format and channel mode, calibration, the close question's
// answers, Real-Time refusal and the inputs that cannot be opened.
#include "engine/wave_file_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <memory>

#include "dsp/channel_processing.h"
#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine/processing_settings.h"
#include "files/calibration_record.h"
#include "files/wave_file.h"
#include "files/wave_test_util.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

using namespace test;

const std::string kTitle = "VornalPRO - FFT Spectral Analysis System";

std::string Q(const std::string& s) { return "'" + s + "'"; }

class ScriptedChooser : public TWaveFileChooser {
public:
    struct Call {
        std::string title, filter, current;
    };
    std::deque<std::optional<std::string>> names;  // answers to both file dialogs, in order
    std::deque<CalibrationChoice> choices;
    std::vector<Call> calls;
    std::vector<std::string> questions;

    std::optional<std::string> ChooseOpenFile(const std::string& title, const std::string& filter) override {
        return Next({title, filter, ""});
    }
    std::optional<std::string> ChooseSaveFile(const std::string& title, const std::string& filter,
                                              const std::string& current) override {
        return Next({title, filter, current});
    }
    CalibrationChoice AskWrongCalibration(const std::string& text) override {
        questions.push_back(text);
        CalibrationChoice c = choices.empty() ? CalibrationChoice::KeepCurrent : choices.front();
        if (!choices.empty()) choices.pop_front();
        return c;
    }

private:
    std::optional<std::string> Next(Call call) {
        calls.push_back(std::move(call));
        if (names.empty()) return std::nullopt;
        auto n = names.front();
        names.pop_front();
        return n;
    }
};

// Little-endian samples of a 16-bit file.
std::vector<uint8_t> Samples16(const std::vector<int16_t>& v) {
    std::vector<uint8_t> b;
    for (int16_t s : v) Put16(b, static_cast<uint16_t>(s));
    return b;
}

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
    WaveFileCommands() : card([] {
          LoopbackConfig c;
          c.clock = LoopbackConfig::Clock::Manual;
          return c;
      }()) {
        settings.Mode.OpMode = kModePostProcessing;
        settings.FileIO.WaveFileMode = TWaveFile::kMemoryMode;
        calibration = CalibrationRecord::Defaults();
        calibration.IsEnabled = 0;
        engine = std::make_unique<TEngine>(host, card, settings, &queue);
        TWaveFileEvents events;
        events.caption = [this](const std::string& c) { captions.push_back(c); };
        events.modeChanged = [this](uint32_t m) { modes.push_back(m); };
        events.named = [this](const std::string& n) { named.push_back(n); };
        commands = std::make_unique<TWaveFileCommands>(host, *engine, settings, calibration, chooser, work.Path(),
                                                       events);
    }

    // A stereo (or mono) 16-bit file at 8000 Hz holding `frames` frames of a known pattern.
    std::string MakeWave(const std::string& name, uint16_t channels, uint32_t frames,
                         const std::vector<uint8_t>& extraChunk = {}) {
        std::vector<int16_t> s(frames * channels);
        for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(i * 37 - 9000);
        auto bytes = SimpleWave(channels, 2, 8000, Samples16(s));
        bytes.insert(bytes.end(), extraChunk.begin(), extraChunk.end());
        const std::string path = dir.File(name);
        WriteAll(path, bytes);
        return path;
    }
    std::string Caption(const std::string& name) { return kTitle + " [" + name + "]"; }

    TempDir dir, work;
    ScriptedHost host;
    ScriptedChooser chooser;
    LoopbackDriver card;
    BufferDoneQueue queue;
    ProcessingSettings settings;
    CalibrationRecord calibration;
    std::unique_ptr<TEngine> engine;
    std::unique_ptr<TWaveFileCommands> commands;
    std::vector<std::string> captions, named;
    std::vector<uint32_t> modes;
};

TEST_F(WaveFileCommands, OpenSetsFormatChannelModeAndTitle) {
    settings.Settings().ChannelProcessing = kProcessLeft;
    const std::string stereo = MakeWave("stereo.wav", 2, 3000);
    chooser.names = {stereo};
    ASSERT_TRUE(commands->OpenFromMenu());
    ASSERT_EQ(chooser.calls.size(), 1u);
    EXPECT_EQ(chooser.calls[0].title, "Open Wave File");
    EXPECT_EQ(chooser.calls[0].filter, "Wave Files (*.wav)|*.wav|");
    EXPECT_EQ(host.statusTexts.front(), "Opening Wave file...");
    const SampleFormat& f = settings.Settings().format;
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.rate, 8000u);
    EXPECT_EQ(settings.Settings().ChannelProcessing, kProcessBoth);
    ASSERT_NE(engine->WaveFile(), nullptr);
    EXPECT_EQ(engine->WaveFile()->Length(), 3000u);
    EXPECT_EQ(engine->WaveFile()->Position(), 0u);
    EXPECT_EQ(captions.back(), Caption(stereo));
    EXPECT_EQ(commands->OpenFileName(), stereo);
    EXPECT_EQ(named, std::vector<std::string>{stereo});

    // Another two-channel mode survives a stereo file; a mono file forces the left channel.
    settings.Settings().ChannelProcessing = kProcessCoherence;
    ASSERT_TRUE(commands->Open(stereo, OpenOrigin::Menu));
    EXPECT_EQ(settings.Settings().ChannelProcessing, kProcessCoherence);
    ASSERT_TRUE(commands->Open(MakeWave("mono.wav", 1, 500), OpenOrigin::Menu));
    EXPECT_EQ(settings.Settings().ChannelProcessing, kProcessLeft);
    EXPECT_EQ(settings.Settings().format.channels, 1);
    // Unmodified files close without a question.
    EXPECT_TRUE(host.questions.empty());
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(WaveFileCommands, OpenTakesTheFormatOfAFileMadeBySox) {
    if (!HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    const std::string path = dir.File("sox8.wav");
    ASSERT_EQ(RunQuiet("sox -n -r 11025 -c 1 -b 8 " + Q(path) + " synth 0.2 sine 440"), 0);
    ASSERT_TRUE(commands->Open(path, OpenOrigin::Automation));
    EXPECT_EQ(settings.Settings().format, SampleFormat::Make(11025, 1, 1));
    EXPECT_EQ(std::to_string(engine->WaveFile()->Length()) + "\n", RunOutput("soxi -s " + Q(path)));
}

TEST_F(WaveFileCommands, CalibrationChunkReplacesTheRecordAndSetsFullScale) {
    calibration.SetFilename("old.cal");
    const std::string path = MakeWave("cal.wav", 2, 1000, CalibrationChunk(1, "lab.cal", 2.5f, 4.0f));
    ASSERT_TRUE(commands->Open(path, OpenOrigin::Menu));
    EXPECT_STREQ(calibration.Filename, "lab.cal");
    EXPECT_EQ(calibration.IsEnabled, 1);
    EXPECT_STREQ(calibration.LeftChannelName, "Left");  // empty names in the chunk
    EXPECT_STREQ(calibration.RightChannelName, "Right");
    TWaveFile& w = *engine->WaveFile();
    EXPECT_FLOAT_EQ(w.FullScaleLeft(), 2.5f);
    EXPECT_FLOAT_EQ(w.FullScaleRight(), 4.0f);
    // Frame 0 holds -9000 and -8963; 16-bit full scale is 32767 counts (maximum 32767,
    // minimum -32767), which reads as the channel's ratio.
    EXPECT_NEAR(w.GetSample(0, 0, true), -9000 * 2.5 / 32767, 1e-6);
    EXPECT_NEAR(w.GetSample(0, 1, true), -8963 * 4.0 / 32767, 1e-6);
    EXPECT_TRUE(chooser.questions.empty());
    // The engine's series take the same ratios.
    ASSERT_TRUE(engine->Rebuild());
    EXPECT_FLOAT_EQ(engine->Series(0)->Scale(), 2.5f / 32767);
    EXPECT_FLOAT_EQ(engine->Series(1)->Scale(), 4.0f / 32767);

    // A chunk whose record is switched off replaces the record too, and scales at 1.0.
    ASSERT_TRUE(commands->Open(MakeWave("off.wav", 1, 1000, CalibrationChunk(0, "x.cal", 2.5f, 4.0f)),
                               OpenOrigin::Menu));
    EXPECT_EQ(calibration.IsEnabled, 0);
    EXPECT_STREQ(calibration.Filename, "x.cal");
    EXPECT_FLOAT_EQ(engine->WaveFile()->FullScaleLeft(), 1.0f);
}

TEST_F(WaveFileCommands, WrongCalibrationQuestionAndItsThreeAnswers) {
    calibration.IsEnabled = 1;
    calibration.SetFilename("bench.cal");
    calibration.CalRatioLeft = calibration.CalRatioRight = 3.0f;
    const std::string plain = MakeWave("plain.wav", 1, 1000);

    ASSERT_TRUE(commands->Open(plain, OpenOrigin::Menu));  // no answer scripted: keep
    ASSERT_EQ(chooser.questions.size(), 1u);
    EXPECT_EQ(chooser.questions[0],
              "WARNING: You are currently using calibration file \"bench.cal\".  This may not be correct for this "
              ".WAV file.  Do you wish to select a different calibration file at this time?");
    EXPECT_FLOAT_EQ(engine->WaveFile()->FullScaleLeft(), 3.0f);

    // Another .cal file: its only key gives peak volts at half scale, so 2.0 / 0.5 = 4.0.
    const std::string cal = dir.File("two.cal");
    WriteAll(cal, {'[', 'C', 'a', 'l', 'i', 'b', 'r', 'a', 't', 'i', 'o', 'n', ']', '\n',
                   'R', 'e', 'f', 'L', 'e', 'v', 'e', 'l', '=', '2', '.', '0', '\n'});
    chooser.choices = {CalibrationChoice::SelectOther};
    chooser.names = {cal};
    ASSERT_TRUE(commands->Open(plain, OpenOrigin::Menu));
    EXPECT_EQ(chooser.calls.back().title, "Open Calibration File");
    EXPECT_EQ(chooser.calls.back().filter, "Calibration Files (*.cal)|*.cal|");
    EXPECT_STREQ(calibration.Filename, cal.c_str());
    EXPECT_FLOAT_EQ(calibration.CalRatioLeft, 4.0f);
    EXPECT_FLOAT_EQ(engine->WaveFile()->FullScaleRight(), 4.0f);

    // A .cal file that cannot be read is reported and the calibration stays as it was.
    chooser.choices = {CalibrationChoice::SelectOther};
    chooser.names = {dir.File("missing.cal")};
    ASSERT_TRUE(commands->Open(plain, OpenOrigin::Menu));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Failure opening file: " + dir.File("missing.cal"));
    EXPECT_STREQ(calibration.Filename, cal.c_str());
    EXPECT_FLOAT_EQ(engine->WaveFile()->FullScaleLeft(), 4.0f);

    chooser.choices = {CalibrationChoice::Disable};
    ASSERT_TRUE(commands->Open(plain, OpenOrigin::Menu));
    EXPECT_EQ(calibration.IsEnabled, 0);
    EXPECT_FLOAT_EQ(engine->WaveFile()->FullScaleLeft(), 1.0f);
    EXPECT_EQ(chooser.questions.size(), 4u);
}

TEST_F(WaveFileCommands, CloseQuestionCancelNoAndYes) {
    const std::string a = MakeWave("a.wav", 2, 2000);
    const std::vector<uint8_t> original = ReadAll(a);
    ASSERT_TRUE(commands->Open(a, OpenOrigin::Menu));
    engine->WaveFile()->PutSample(1234, 10, 1);

    // Cancel keeps the file and cancels the open that asked.
    host.ScriptAnswers({Answer::Cancel});
    EXPECT_FALSE(commands->Open(MakeWave("b.wav", 1, 100), OpenOrigin::Menu));
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].text, a + " has changed. Save file before closing?");
    EXPECT_EQ(host.questions[0].caption, kTitle);
    EXPECT_TRUE(host.questions[0].withCancel);
    ASSERT_NE(engine->WaveFile(), nullptr);
    EXPECT_EQ(engine->WaveFile()->GetName(), a);
    EXPECT_EQ(settings.Settings().format.channels, 2);
    EXPECT_EQ(captions.back(), Caption(a));

    // No leaves the disk file as it was.
    host.ScriptAnswers({Answer::No});
    EXPECT_TRUE(commands->Close());
    EXPECT_EQ(engine->WaveFile(), nullptr);
    EXPECT_EQ(ReadAll(a), original);
    EXPECT_EQ(commands->LastClosedName(), a);
    EXPECT_EQ(captions.back(), kTitle);

    // Yes writes the change; the header sizes and the sample are read back by hand.
    ASSERT_TRUE(commands->Open(a, OpenOrigin::Menu));
    engine->WaveFile()->PutSample(1234, 10, 1);
    host.ScriptAnswers({Answer::Yes});
    EXPECT_TRUE(commands->Close());
    const std::vector<uint8_t> saved = ReadAll(a);
    ASSERT_GE(saved.size(), 44u + 8000u);
    EXPECT_EQ(Get32(saved, 40), 8000u);
    EXPECT_EQ(static_cast<int16_t>(Get16(saved, 44 + 4 * 10 + 2)), 1234);
    EXPECT_EQ(Get16(saved, 44 + 4 * 11), Get16(original, 44 + 4 * 11));
    if (HaveProgram("soxi")) {
        EXPECT_EQ(RunOutput("soxi -s " + Q(a)), "2000\n");
    }
}

TEST_F(WaveFileCommands, UntitledFileGoesToSaveAs) {
    const SampleFormat format = SampleFormat::Make(8000, 1, 2);
    engine->SetWaveFile(std::make_unique<TWaveFile>(host, 1600u, format));
    for (uint32_t i = 0; i < 1600; ++i) engine->WaveFile()->PutSample(static_cast<double>(i), i, 0);
    EXPECT_EQ(commands->OpenFileName(), "");

    // Yes with the name dialog cancelled keeps the file open.
    host.ScriptAnswers({Answer::Yes});
    EXPECT_FALSE(commands->Close());
    EXPECT_EQ(host.questions.back().text, "Untitled has changed. Save file before closing?");
    ASSERT_EQ(chooser.calls.size(), 1u);
    EXPECT_EQ(chooser.calls[0].title, "Save Wave File");
    EXPECT_EQ(chooser.calls[0].filter, "Wave Files (*.wav)|*.wav|");
    ASSERT_NE(engine->WaveFile(), nullptr);

    // A name in a folder that does not exist fails; the file stays untitled and open.
    host.ScriptAnswers({Answer::Yes});
    chooser.names = {dir.File("no/such/folder.wav")};
    EXPECT_FALSE(commands->Close());
    EXPECT_FALSE(host.messages.empty());
    EXPECT_EQ(commands->OpenFileName(), "");
    ASSERT_NE(engine->WaveFile(), nullptr);

    const std::string target = dir.File("kept.wav");
    host.ScriptAnswers({Answer::Yes});
    chooser.names = {target};
    EXPECT_TRUE(commands->Close());
    EXPECT_EQ(chooser.calls.back().current, "");
    EXPECT_EQ(commands->LastClosedName(), target);
    EXPECT_EQ(named, std::vector<std::string>{target});
    const std::vector<uint8_t> bytes = ReadAll(target);
    ASSERT_EQ(bytes.size(), 44u + 3200u);
    EXPECT_EQ(Get16(bytes, 44 + 2 * 1599), 1599);
    if (HaveProgram("soxi")) {
        EXPECT_EQ(RunOutput("soxi -s " + Q(target)), "1600\n");
    }
}

TEST_F(WaveFileCommands, CloseStopsARecordingAndOffersToSaveIt) {
    settings.Mode.OpMode = kModeRecorder;
    settings.Settings().format = SampleFormat::Make(8000, 1, 2);
    settings.Settings().FFTsize = 1024;
    LoopbackConfig sine;
    sine.clock = LoopbackConfig::Clock::Manual;
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
    ASSERT_EQ(engine->RunState(), kRecording);

    const std::string target = dir.File("take.wav");
    host.ScriptAnswers({Answer::Yes});
    chooser.names = {target};
    ASSERT_TRUE(commands->Close());
    EXPECT_EQ(engine->RunState(), kStopped);
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].text, "Untitled has changed. Save file before closing?");
    // Every frame the card delivered is in the file: a -20 dB sine, rms 0.1 x 32767 / sqrt 2.
    const std::vector<uint8_t> b = ReadAll(target);
    ASSERT_GE(b.size(), 44u);
    ASSERT_EQ(Get32(b, 40), 2u * 16000);
    ASSERT_EQ(b.size(), 44u + 2 * 16000);
    double sum = 0;
    for (size_t at = 44; at < b.size(); at += 2) sum += std::pow(static_cast<int16_t>(Get16(b, at)), 2);
    EXPECT_NEAR(std::sqrt(sum / 16000), 0.1 * 32767 / std::sqrt(2.0), 0.01 * 2317);
    if (HaveProgram("soxi")) {
        EXPECT_EQ(RunOutput("soxi -s " + Q(target)), "16000\n");
    }
}

TEST_F(WaveFileCommands, SaveAsRenamesAndCarriesCalibrationWhenAsked) {
    calibration.IsEnabled = 1;
    calibration.SetFilename("rig.cal");
    calibration.CalRatioLeft = 7.5f;
    chooser.choices = {CalibrationChoice::KeepCurrent};
    ASSERT_TRUE(commands->Open(MakeWave("src.wav", 1, 400), OpenOrigin::Menu));

    const std::string with = dir.File("with.wav");
    chooser.names = {with};
    ASSERT_TRUE(commands->SaveAs());
    EXPECT_EQ(chooser.calls.back().current, dir.File("src.wav"));
    EXPECT_EQ(host.statusTexts[host.statusTexts.size() - 2], "Saving Wave file...");
    EXPECT_EQ(captions.back(), Caption(with));
    EXPECT_EQ(commands->OpenFileName(), with);
    std::vector<uint8_t> b = ReadAll(with);
    // The chunk follows the RIFF form, outside it.
    const size_t at = 8 + Get32(b, 4);
    ASSERT_EQ(b.size(), at + 8 + 1024);
    EXPECT_EQ(Get32(b, at), 0x65u);
    EXPECT_EQ(Get32(b, at + 8), 1u);  // IsEnabled
    float ratio = 0;
    std::memcpy(&ratio, &b[at + 8 + 408], 4);
    EXPECT_FLOAT_EQ(ratio, 7.5f);

    // Without IncludeCalibrationData a file that had no chunk gets none.
    settings.FileIO.IncludeCalibrationData = 0;
    chooser.choices = {CalibrationChoice::KeepCurrent};
    ASSERT_TRUE(commands->Open(MakeWave("src2.wav", 1, 400), OpenOrigin::Menu));
    ASSERT_TRUE(commands->SaveAs(dir.File("without.wav")));
    b = ReadAll(dir.File("without.wav"));
    EXPECT_EQ(b.size(), 8 + Get32(b, 4));
}

TEST_F(WaveFileCommands, DiskModeWithBackupNoLeavesTheFileAndRemovesTheWorkingCopy) {
    settings.FileIO.WaveFileMode = TWaveFile::kDiskMode;
    settings.FileIO.MakeBackup = 1;
    const std::string path = MakeWave("disk.wav", 2, 4000);
    const std::vector<uint8_t> original = ReadAll(path);
    ASSERT_TRUE(commands->Open(path, OpenOrigin::Menu));
    EXPECT_EQ(work.Files().size(), 1u);  // the working copy
    engine->WaveFile()->PutSample(-77, 3, 0);
    host.ScriptAnswers({Answer::No});
    EXPECT_TRUE(commands->Close());
    EXPECT_EQ(ReadAll(path), original);
    EXPECT_TRUE(work.Files().empty());
}

TEST_F(WaveFileCommands, RealTimeModeRefusesTheMenuAndClosesItsBufferUnasked) {
    settings.Mode.OpMode = kModeRealTime;
    const SampleFormat before = settings.Settings().format;
    EXPECT_FALSE(commands->OpenFromMenu());
    EXPECT_FALSE(commands->Open(MakeWave("x.wav", 2, 100), OpenOrigin::Menu));
    ASSERT_EQ(host.messages.size(), 2u);
    for (const auto& m : host.messages) {
        EXPECT_EQ(m.text,
                  "You are currently using the Real Time Mode.  You must change to either the Post Processing or "
                  "Recorder Mode before opening a file.");
        EXPECT_EQ(m.caption, kTitle);
    }
    EXPECT_TRUE(chooser.calls.empty());
    EXPECT_EQ(settings.Settings().format, before);

    // A modified Real-Time history is dropped without a question by an automation open,
    // which then leaves Real-Time mode.
    engine->SetWaveFile(std::make_unique<TWaveFile>(host, 100u, before));
    engine->WaveFile()->PutSample(5, 0, 0);
    EXPECT_FALSE(commands->FileIoOptionsLocked());
    ASSERT_TRUE(commands->Open(dir.File("x.wav"), OpenOrigin::Automation));
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(settings.Mode.OpMode, kModePostProcessing);
    EXPECT_EQ(modes, std::vector<uint32_t>{kModePostProcessing});
    EXPECT_EQ(commands->OpenFileName(), dir.File("x.wav"));
}

TEST_F(WaveFileCommands, WhatCannotBeOpenedIsReportedAndChangesNothing) {
    calibration.IsEnabled = 0;
    const SampleFormat before = settings.Settings().format;
    const std::string text = dir.File("notes.wav");
    WriteAll(text, {'h', 'e', 'l', 'l', 'o', '\n'});
    const std::string empty = dir.File("empty.wav");
    WriteAll(empty, SimpleWave(1, 2, 8000, {}));  // a data chunk of size 0
    const std::string fifo = dir.File("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string name, message, caption;
    };
    const Case cases[] = {
        {dir.Path(), "Failure opening file: " + dir.Path(), kTitle},
        {dir.File("gone.wav"), "Failure opening file: " + dir.File("gone.wav"), kTitle},
        {"", "Failure opening file: ", kTitle},
        {fifo, "Failure opening file: " + fifo, kTitle},  // must not wait for a writer
        {text, "The wave file format is invalid", ""},
        {empty, "The wave file format is invalid", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.messages.clear();
        EXPECT_FALSE(commands->Open(c.name, OpenOrigin::Menu));
        ASSERT_FALSE(host.messages.empty());
        EXPECT_EQ(host.messages[0].text.substr(0, c.message.size()), c.message);
        EXPECT_EQ(host.messages[0].caption, c.caption);
        EXPECT_EQ(engine->WaveFile(), nullptr);
        EXPECT_EQ(settings.Settings().format, before);
        EXPECT_EQ(settings.Mode.OpMode, kModePostProcessing);
        EXPECT_EQ(commands->Caption(), kTitle);
    }
    EXPECT_TRUE(named.empty());
    EXPECT_TRUE(chooser.questions.empty());
    EXPECT_TRUE(work.Files().empty());
}

TEST_F(WaveFileCommands, FileIoLockAndTemporaryResults) {
    EXPECT_TRUE(commands->AllowFileIoOptionsChange());
    const std::string path = MakeWave("tmp.wav", 1, 100);
    ASSERT_TRUE(commands->Open(path, OpenOrigin::Menu));
    EXPECT_TRUE(commands->FileIoOptionsLocked());
    EXPECT_FALSE(commands->AllowFileIoOptionsChange());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text,
              "You cannot change the File I/O options while an existing .WAV file is open.  Please close the file.");
    EXPECT_EQ(host.messages[0].caption, kTitle);

    struct stat st {};
    commands->SetTemporaryResult(true);
    EXPECT_TRUE(commands->Close());
    EXPECT_NE(::stat(path.c_str(), &st), 0);
    EXPECT_FALSE(commands->FileIoOptionsLocked());
    EXPECT_EQ(commands->OpenFileName(), "");

    // Saved elsewhere, the result is the user's: only the temporary file goes.
    const std::string temp = MakeWave("tmp2.wav", 1, 100);
    const std::string kept = dir.File("kept.wav");
    ASSERT_TRUE(commands->Open(temp, OpenOrigin::Menu));
    commands->SetTemporaryResult(true);
    ASSERT_TRUE(commands->SaveAs(kept));
    EXPECT_TRUE(commands->Close());
    EXPECT_NE(::stat(temp.c_str(), &st), 0);
    EXPECT_EQ(::stat(kept.c_str(), &st), 0);
}

}  // namespace
}  // namespace zeltrak
