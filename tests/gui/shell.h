#pragma once
// A main window on the Loopback card's real-time clock, for the shell's offscreen tests.
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <utility>

#include "engine/engine.h"
#include "engine/wave_file_commands.h"
#include "files/ini_store.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "views/qt/main_window.h"
#include "views/qt/qt_host.h"
#include "views/qt/spectrum_view.h"

namespace zeltrak {

using testing::RunCommand;
using testing::TempDir;

inline const std::string kTitle = "VornalPRO - FFT Spectral Analysis System";

template <typename F>
bool SpinUntil(F done, int ms = 15000) {
    QElapsedTimer t;
    for (t.start(); !done(); QApplication::processEvents(QEventLoop::AllEvents, 20))
        if (t.elapsed() > ms) return false;
    return true;
}

// Frequency of the spectrum trace's highest point, ignoring gaps (NaN).
inline double PeakHz(const TSpectrumView& view) {
    const std::vector<float>& v = view.TraceValues(0);
    std::size_t best = 0;
    for (std::size_t i = 1; i < v.size(); ++i) best = !std::isnan(v[i]) && !(v[i] <= v[best]) ? i : best;
    return view.TraceFrequencies(0)[best];
}

// Writes a sine wave file with sox; false when sox failed.
inline bool WriteTone(const std::string& path, double secs, double hz = 1000.0, int channels = 1, int rate = 32000,
                      int bits = 16) {
    return RunCommand("sox -q -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b " +
                      std::to_string(bits) + " '" + path + "' synth " + std::to_string(secs) + " sine " +
                      std::to_string(hz)).first == 0;
}

// Answers the next file dialog with `next`, once; no name is a cancelled dialog.
struct ScriptedChooser : TWaveFileChooser {
    std::optional<std::string> next;
    std::optional<std::string> ChooseOpenFile(const std::string&, const std::string&) override { return Next(); }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::string&, const std::string&) override {
        return Next();
    }
    CalibrationChoice AskWrongCalibration(const std::string&) override { return CalibrationChoice::KeepCurrent; }
    std::optional<std::string> Next() { return std::exchange(next, std::nullopt); }
};

struct Shell {
    LoopbackDriver driver{LoopbackConfig{  // 1 kHz at -6 dBFS over a -90 dB floor
        .impulseResponse = {}, .noiseDb = -90.0, .source = LoopbackConfig::Source::Sine, .sineDb = -6.0}};
    ProcessingSettings settings;
    QtHost host;
    BufferDoneQueue queue;
    std::unique_ptr<TEngine> engine;
    std::unique_ptr<TMainWin> window;
    ScriptedChooser chooser;

    // `adjust` changes the settings before the engine and the window are built on them.
    explicit Shell(const std::string& tempDir, const std::function<void(ProcessingSettings&)>& adjust = {}) {
        settings.Load(TIniStore(), DeviceCounts{1, 1});
        settings.Mode.OpMode = kModeRealTime;
        settings.Settings().FFTsize = 1024;
        settings.FileIO.WaveFileMode = 0;  // a small in-memory history keeps the buffer cheap
        settings.FileIO.RealTimeWaveBufferLengthSecs = 4;
        if (adjust) adjust(settings);
        host.SetQuiet(true);
        EngineEnvironment env;
        env.tempDir = env.waveDir = tempDir;
        engine = std::make_unique<TEngine>(host, driver, settings, &queue, env);
        window = std::make_unique<TMainWin>(host, *engine, queue, settings, 10.0, 20000.0, nullptr, tempDir);
        window->SetFileChooser(&chooser);
        window->show();
    }
    void RunSomeFrames() {
        ASSERT_TRUE(window->RunAnalyser());
        ASSERT_TRUE(SpinUntil([&] { return engine->FrameCount() >= 3; }));
    }
    long Questions() const {
        const auto& m = host.Messages();
        return std::count_if(m.begin(), m.end(), [](const std::string& s) { return s.find("data buffers") != s.npos; });
    }
    std::string Title() const { return window->windowTitle().toStdString(); }
    std::string LastMessage() const { return host.Messages().empty() ? "" : host.Messages().back(); }
};

}  // namespace zeltrak
