// The automation interpreter on a live Real-Time run of a manual-clock Loopback card playing a
// known sine: items against closed forms and against the spectrum itself, commands against
// the settings they change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <cstring>
#include <fstream>
#include <sstream>

#include "automation/command_interpreter.h"
#include "automation/macro_processor.h"
#include "dsp/spectral_data.h"
#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine/processing_settings.h"
#include "files/calibration_record.h"
#include "files/ini_store.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wave_builder.h"
#include "views/headless_shell.h"

namespace zeltrak {
namespace {

constexpr uint32_t kRate = 8000;
constexpr uint32_t kFft = 1024;  // 1000 Hz falls on bin 128
constexpr double kSineDb = -12.0;

// Records what the interpreter advises.
class RecordingSink : public TAdviseSink {
public:
    AdviseSet wanted;
    std::vector<std::pair<int, std::string>> received;
    AdviseSet Subscribed() const override { return wanted; }
    void Publish(std::vector<std::pair<int, std::string>> values) override {
        received.insert(received.end(), values.begin(), values.end());
    }
};

class Interpreter : public ::testing::Test {
protected:
    explicit Interpreter(uint16_t channels = 1, LoopbackConfig::Source source = LoopbackConfig::Source::Sine)
        : card({.clock = LoopbackConfig::Clock::Manual, .impulseResponse = {}, .source = source, .sineHz = 1000.0,
                .sineDb = kSineDb}) {
        TSoundPort::ResetLivePositionEstimate();
        settings.Settings().format = SampleFormat::Make(kRate, channels, 2);
        settings.Settings().FFTsize = kFft;
        settings.Settings().ChannelProcessing = channels == 2 ? 2 : 0;
        settings.Mode.OpMode = kModeRealTime;
        settings.FileIO.RealTimeWaveBufferEnableFlag = 0;
        EngineEnvironment env;
        env.tempDir = env.waveDir = dir.path();
        engine = std::make_unique<TEngine>(host, card, settings, &queue, env);
        loop = std::make_unique<TEngineLoop>(*engine, queue);
        shell = std::make_unique<THeadlessShell>(host, *engine, settings, calibration, nullptr, dir.path(), &ini);
        interpreter = std::make_unique<TCommandInterpreter>(*shell);
    }
    ~Interpreter() override {
        interpreter.reset();
        engine->Stop();
    }
    // Advances the card by half a frame at a time until `frames` were analysed or the run ended.
    void Pump(uint32_t frames) {
        for (int i = 0; i < 200 && engine->Running() && engine->FrameCount() < frames; ++i) {
            card.Advance(kFft / 2);
            loop->Pump(0);
        }
    }
    std::string Item(const char* name) { return interpreter->Request(name).value_or("<none>"); }

    testing::TempDir dir;
    ScriptedHost host;
    ProcessingSettings settings;
    CalibrationRecord calibration;
    TIniStore ini;
    LoopbackDriver card;
    BufferDoneQueue queue;
    std::unique_ptr<TEngine> engine;
    std::unique_ptr<TEngineLoop> loop;
    std::unique_ptr<THeadlessShell> shell;
    std::unique_ptr<TCommandInterpreter> interpreter;
};

class StereoInterpreter : public Interpreter {
protected:
    StereoInterpreter() : Interpreter(2) {}
};

// A card that plays back what is played into it, for the generator.
class GeneratorInterpreter : public Interpreter {
protected:
    GeneratorInterpreter() : Interpreter(1, LoopbackConfig::Source::Silence) {}
};

std::vector<std::vector<double>> Lines(const std::string& text) {
    std::vector<std::vector<double>> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(!line.empty() && line.back() == '\r') << "lines end in CR LF";
        std::istringstream fields(line);
        std::vector<double> row;
        for (double v; fields >> v;) row.push_back(v);
        rows.push_back(row);
    }
    return rows;
}

TEST_F(Interpreter, ItemsOfASineMatchItsFrequencyLevelAndTheSpectrum) {
    ASSERT_TRUE(interpreter->Execute("[Run]"));
    Pump(8);
    ASSERT_GE(engine->FrameCount(), 8u);
    EXPECT_EQ(Item("Peak Frequency"), "1000.000000");
    EXPECT_EQ(Item("peak1 frequency"), Item("Peak Frequency"));  // names compare without case
    EXPECT_EQ(Item("Peak1 Amplitude"), Item("Peak Amplitude"));
    // The default window is corrected for tones: a bin-centred sine reads its own level, and
    // so does the power of the band that holds nothing else.
    EXPECT_NEAR(std::stod(Item("Peak Amplitude")), kSineDb, 0.01);
    EXPECT_NEAR(std::stod(Item("Total Power Flat")), kSineDb, 0.01);
    EXPECT_EQ(Item("FFT Size"), "1024");
    EXPECT_EQ(Item("Smoothing Window"), "Hanning");
    EXPECT_EQ(Item("Version Number"), "3.32.18");
    EXPECT_FALSE(interpreter->Request("Peak Frequency ").has_value());

    const auto rows = Lines(Item("Spectrum"));
    ASSERT_EQ(rows.size(), kFft / 2);
    EXPECT_EQ(rows[128].size(), 2u);
    EXPECT_DOUBLE_EQ(rows[128][0], 1000.0);
    EXPECT_NEAR(rows[128][1], std::stod(Item("Peak Amplitude")), 1e-6);
    const auto zoomed = (interpreter->Execute("[Spectrum Freq Span 900 1100]"), Lines(Item("Zoomed Spectrum")));
    EXPECT_EQ(zoomed.size(), 25u);  // bins 116 ... 140 of 7.8125 Hz
    ASSERT_TRUE(interpreter->Execute("[Marker1 1000]"));
    EXPECT_EQ(Item("Marker1 Amplitude"), Item("Peak Amplitude"));
    const auto series = Lines(Item("Time Series"));
    ASSERT_EQ(series.size(), kFft);
    EXPECT_DOUBLE_EQ(series[1][0], 1.0 / kRate);
}

TEST_F(StereoInterpreter, PairItemsFollowTheChannelMode) {
    ASSERT_TRUE(interpreter->Execute("[Run]"));
    Pump(4);
    const std::string both = Item("Peak Frequency");
    EXPECT_EQ(both, "1000.000000\t1000.000000");
    EXPECT_EQ(Lines(Item("Spectrum"))[128].size(), 3u);
    ASSERT_TRUE(interpreter->Execute("[Set Channel Average]"));
    Pump(engine->FrameCount() + 4);
    EXPECT_EQ(Item("Peak Frequency"), "1000.000000");
    EXPECT_TRUE(engine->Running());  // stopped and started again
}

TEST_F(Interpreter, RunWithACountStopsAfterOneMoreSpectrum) {
    EXPECT_FALSE(interpreter->Execute("[Run 0]"));
    EXPECT_FALSE(engine->Running());
    ASSERT_TRUE(interpreter->Execute("[Run 5]"));
    Pump(100);
    EXPECT_FALSE(engine->Running());
    EXPECT_EQ(Item("FFT Count"), "6");
}

// Each row: a command, whether it is acknowledged, and the setting it leaves.
TEST_F(Interpreter, SettingsCommandsChangeTheirSettingOrNothing) {
    struct Row {
        const char* command;
        bool ack;
        std::function<uint32_t(const ProcessingSettings&)> field;
        uint32_t expected;
    };
    auto fft = [](const ProcessingSettings& s) { return s.Settings().FFTsize; };
    auto avgType = [](const ProcessingSettings& s) { return uint32_t{s.Settings().AverageType}; };
    auto weighting = [](const ProcessingSettings& s) { return uint32_t{s.Scaling().StandardWeighting}; };
    auto channel = [](const ProcessingSettings& s) { return s.Settings().ChannelProcessing * 10u + s.Settings().format.channels; };
    auto octave = [](const ProcessingSettings& s) { return uint32_t{s.Scaling().OctaveNumber}; };
    const Row rows[] = {
        {"[FFT Size 2048]", true, fft, 2048},
        {"[set fft size 16]", false, fft, 2048},
        {"[FFT Size 1000]", false, fft, 2048},
        {"[Set Average Type Linear]", true, avgType, 1},
        {"[Set Average Type Geometric]", true, avgType, 0},
        {"[Set Spectrum Weighting A]", true, weighting, 1},
        {"[Set Spectrum Weighting c]", true, weighting, 1},
        {"[Set Channel Transfer LR+C]", true, channel, 112},
        {"[Set Channel Left]", true, channel, 1},
        {"[Set Channel Sideways]", false, channel, 1},
        {"[Window Blackman]", true, [](const ProcessingSettings& s) { return uint32_t{s.Settings().SmoothingWindow}; }, 1},
        {"[FFT Overlap 50]", true, [](const ProcessingSettings& s) { return uint32_t{s.Settings().OverlapPercent}; }, 50},
        {"[FFT Overlap 100]", false, [](const ProcessingSettings& s) { return uint32_t{s.Settings().OverlapPercent}; }, 50},
        {"[Set Octave 6]", true, octave, 6},
        {"[Set Octave 5]", false, octave, 6},
        {"[Average Size 2000]", true, [](const ProcessingSettings& s) { return s.Settings().AverageBlocks; }, 2000},
        {"[Peak Hold On]", true, [](const ProcessingSettings& s) { return s.Settings().PeakHold; }, 1},
        {"[Trigger Threshold 40]", true, [](const ProcessingSettings& s) { return s.Trigger.Threshold; }, 40},
        {"[Trigger Threshold 140]", false, [](const ProcessingSettings& s) { return s.Trigger.Threshold; }, 40},
        {"[Set Input Device 99]", false, [](const ProcessingSettings& s) { return s.Device.InputDeviceID; }, 0},
    };
    ASSERT_TRUE(interpreter->Execute("[Run]"));
    for (const Row& row : rows) {
        EXPECT_EQ(interpreter->Execute(row.command), row.ack) << row.command;
        EXPECT_EQ(row.field(settings), row.expected) << row.command;
        EXPECT_TRUE(engine->Running()) << row.command;
    }
    EXPECT_EQ(Item("Average Size"), "1001");
    EXPECT_TRUE(engine->Running());
    // Nothing a refused or unknown command could have touched changed.
    const ProcessingBlock before = settings.Processing;
    for (const char* bad : {"[Frobnicate]", "[FFT Size 4096", "", "[Set Channel Left]]"}) EXPECT_FALSE(interpreter->Execute(bad));
    EXPECT_TRUE(SameProcessingBlock(before, settings.Processing));
}

// A stored 16-bit mono sine file for the file commands.
std::string WriteSine(const testing::TempDir& dir, const char* name) {
    std::vector<uint8_t> bytes;
    for (uint32_t n = 0; n < 8 * kFft; ++n)
        test::Put16(bytes, static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000.0 * n / kRate))));
    const std::string path = dir.File(name);
    test::WriteAll(path, test::SimpleWave(1, 2, kRate, bytes));
    return path;
}

TEST_F(Interpreter, FileCommandsAndTheTextsARepliesClears) {
    const std::string path = WriteSine(dir, "sine.wav");
    ASSERT_TRUE(interpreter->Execute("[File Open " + path + "]"));
    EXPECT_EQ(settings.Mode.OpMode, uint32_t{kModePostProcessing});  // an automation open leaves Real-Time
    EXPECT_EQ(Item("Total Time"), "1.0240");
    ASSERT_TRUE(interpreter->Execute("[Go To 0.5]"));
    // A sine of peak 8000 in 16 bits: rms 8000 / sqrt 2 re full scale 32768, over whole periods.
    EXPECT_EQ(Item("Total Power in Time Segment"), "0.00");  // no segment yet
    ASSERT_TRUE(interpreter->Execute("[Set Time Segment 0.1 0.5]"));
    EXPECT_NEAR(std::stod(Item("Total Power in Time Segment")), 20.0 * std::log10(8000.0 / 32768.0 / std::sqrt(2.0)), 0.01);
    EXPECT_FALSE(interpreter->Execute("[Set Time Segment 0.5 0.1]"));
    EXPECT_FALSE(interpreter->Execute("[File Delete " + path + "]"));  // the open file stays
    ASSERT_TRUE(interpreter->Execute("[File Close]"));
    EXPECT_EQ(Item("File Closed"), path);
    EXPECT_EQ(Item("File Closed"), "");
    ASSERT_TRUE(interpreter->Execute("[Pass String tone 1 ok]"));
    EXPECT_EQ(Item("Pass String"), "tone 1 ok");
    EXPECT_EQ(Item("Pass String"), "");
    EXPECT_TRUE(interpreter->Execute("[File Delete " + path + "]"));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(Interpreter, UseTempFileSetsTheCalibrationAndDeletesTheFileAtClose) {
    const std::string path = WriteSine(dir, "temp.wav");
    EXPECT_FALSE(interpreter->Execute("[UseTempFile " + path + ", 1.0, 2.5, Pa]"));
    ASSERT_TRUE(interpreter->Execute("[UseTempFile " + path + ", 1.0, 2.5, Pa, dB SPL]"));
    EXPECT_FLOAT_EQ(calibration.CalRatioLeft, 0.999f);
    EXPECT_FLOAT_EQ(calibration.CalRatioRight, 2.5f);
    EXPECT_STREQ(calibration.LabelLog, "dB SPL");
    EXPECT_EQ(calibration.IsEnabled, 1);
    ASSERT_TRUE(interpreter->Execute("[File Close]"));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(Interpreter, AdviseSendsTheSubscribedItemsAfterEveryFrameAndSingleNotices) {
    RecordingSink sink;
    sink.wanted.set(kItemPeakFrequency).set(kItemPassString);
    interpreter->SetAdviseSink(&sink);
    ASSERT_TRUE(interpreter->Execute("[Run 2]"));
    Pump(100);
    ASSERT_TRUE(interpreter->Execute("[Pass String done]"));
    // Each frame advises both subscribed items (Pass String still empty), then the notice.
    ASSERT_EQ(sink.received.size(), 7u);
    EXPECT_EQ(sink.received.back(), (std::pair<int, std::string>{kItemPassString, "done"}));
    EXPECT_EQ(std::count(sink.received.begin(), sink.received.end(), std::pair<int, std::string>{kItemPeakFrequency, "1000.000000"}), 3);
}

}  // namespace
}  // namespace zeltrak

namespace zeltrak {
namespace {
// The generator of the analyser without a window: a tone set by command reaches the input at
// its level (0.99 of full scale times the tone's level, as the generator plays).
TEST_F(GeneratorInterpreter, ATonePlayedByCommandIsMeasuredAtItsFrequencyAndLevel) {
    EXPECT_FALSE(interpreter->Execute("[Start Generator]"));  // not open yet
    for (const char* command : {"[Open Generator]", "[Set Generator Tone left, 1000, -20]", "[Start Generator]", "[Run]"})
        ASSERT_TRUE(interpreter->Execute(command)) << command;
    for (int i = 0; i < 24 && engine->Running(); ++i) {
        card.Advance(kFft / 2);
        loop->Pump(0);
        shell->IdlePass();
    }
    EXPECT_EQ(Item("Peak Frequency"), "1000.000000");
    EXPECT_NEAR(std::stod(Item("Peak Amplitude")), -20.0 + 20.0 * std::log10(0.99), 0.05);
    EXPECT_TRUE(interpreter->Execute("[Close Generator]"));
}
}  // namespace
}  // namespace zeltrak

namespace zeltrak {
namespace {
// A macro driving the live run: what it writes is what the items give once the run is over.
TEST_F(Interpreter, AMacroWritesTheMeasuredValuesTheItemsGive) {
    const std::string out = dir.File("out.txt");
    TMacroProcessor macro(*interpreter, host);
    const std::vector<std::string> script = {"Send [Run 4]",         "WaitSeconds 1",         "Output FFT Count",
                                             "Output Peak Frequency", "Output Peak Amplitude", "MacroEnd"};
    ASSERT_TRUE(macro.Run(script, MacroOptions{out, true, dir.path()}));
    for (int pass = 0; pass < 400 && macro.Running(); ++pass) {
        macro.Step();
        card.Advance(kFft / 2);
        loop->Pump(0);
        host.Advance(10);
    }
    EXPECT_FALSE(macro.Running());
    EXPECT_EQ(Item("FFT Count"), "5");
    EXPECT_EQ(testing::ReadFile(out), Item("FFT Count") + "\n" + Item("Peak Frequency") + "\n" + Item("Peak Amplitude") + "\n");
}
}  // namespace
}  // namespace zeltrak
