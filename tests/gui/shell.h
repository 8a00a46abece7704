#pragma once
// A main window on the Loopback card's real-time clock, for the shell's offscreen tests.
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <memory>

#include "engine/engine.h"
#include "engine/wave_file_commands.h"
#include "files/ini_store.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"
#include "views/qt/main_window.h"
#include "views/qt/qt_host.h"

namespace zeltrak {

inline const std::string kTitle = "VornalPRO - FFT Spectral Analysis System";

// Runs the Qt event loop until `done` holds or `ms` milliseconds have passed.
template <typename F>
bool SpinUntil(F done, int ms = 15000) {
    QElapsedTimer t;
    for (t.start(); !done(); QApplication::processEvents(QEventLoop::AllEvents, 20))
        if (t.elapsed() > ms) return false;
    return true;
}

// Index of the largest value, ignoring gaps (NaN).
inline std::size_t HighestPoint(const std::vector<float>& v) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < v.size(); ++i) best = !std::isnan(v[i]) && !(v[i] <= v[best]) ? i : best;
    return best;
}

// Answers the file dialogs from a list; an empty list is a cancelled dialog.
struct ScriptedChooser : TWaveFileChooser {
    std::deque<std::string> names;
    std::optional<std::string> ChooseOpenFile(const std::string&, const std::string&) override { return Next(); }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::string&, const std::string&) override {
        return Next();
    }
    CalibrationChoice AskWrongCalibration(const std::string&) override { return CalibrationChoice::KeepCurrent; }
    std::optional<std::string> Next() {
        if (names.empty()) return std::nullopt;
        std::string n = names.front();
        names.pop_front();
        return n;
    }
};

struct Shell {
    LoopbackDriver driver;
    ProcessingSettings settings;
    QtHost host;
    BufferDoneQueue queue;
    std::unique_ptr<TEngine> engine;
    std::unique_ptr<TMainWin> window;
    ScriptedChooser chooser;

    // `adjust` changes the settings before the engine and the window are built on them.
    explicit Shell(const std::string& tempDir, const std::function<void(ProcessingSettings&)>& adjust = {})
        : driver(Tone()) {
        settings.Load(TIniStore(), DeviceCounts{1, 1});
        settings.Mode.OpMode = kModeRealTime;
        settings.Settings().FFTsize = 1024;
        settings.FileIO.WaveFileMode = 0;  // a small in-memory history keeps the buffer cheap
        settings.FileIO.RealTimeWaveBufferLengthSecs = 4;
        if (adjust) adjust(settings);
        RecomputeDerivedFields(settings.Settings());
        host.SetQuiet(true);
        EngineEnvironment env;
        env.tempDir = env.waveDir = tempDir;
        engine = std::make_unique<TEngine>(host, driver, settings, &queue, env);
        window = std::make_unique<TMainWin>(host, *engine, queue, settings, 10.0, 20000.0, nullptr, tempDir);
        window->SetFileChooser(&chooser);
        window->show();
    }
    static LoopbackConfig Tone() {  // 1 kHz at -6 dBFS over a -90 dB floor
        LoopbackConfig c;
        c.source = LoopbackConfig::Source::Sine;
        c.sineDb = -6.0;
        c.noiseDb = -90.0;
        return c;
    }
    // Runs until a few frames went into the Real-Time buffer.
    void RunSomeFrames() {
        ASSERT_TRUE(window->RunAnalyser());
        ASSERT_TRUE(SpinUntil([&] { return engine->FrameCount() >= 3; }));
    }
    long Questions() const {
        return std::count_if(host.Messages().begin(), host.Messages().end(),
                             [](const std::string& m) { return m.find("Real-Time data buffers") != std::string::npos; });
    }
    std::string Title() const { return window->windowTitle().toStdString(); }
    std::string LastMessage() const { return host.Messages().empty() ? "" : host.Messages().back(); }
};

}  // namespace zeltrak
