#pragma once
// A main window on the Loopback card's real-time clock, for the shell's offscreen tests.
#include <functional>
#include <memory>
#include <string>

#include "gui/gui_test_support.h"
#include "engine/engine.h"
#include "files/ini_store.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"
#include "views/qt/main_window.h"
#include "views/qt/qt_host.h"

namespace zeltrak {

inline const std::string kTitle = "VornalPRO - FFT Spectral Analysis System";
inline const std::string kQuestion =
    "Data is still available in the Real-Time data buffers.\rDo you want to convert this to a WAV file for "
    "further Processing?";

struct Shell {
    LoopbackDriver driver;
    ProcessingSettings settings;
    QtHost host;
    BufferDoneQueue queue;
    std::unique_ptr<TEngine> engine;
    std::unique_ptr<TMainWin> window;

    // `adjust` changes the settings before the engine and the window are built on them.
    explicit Shell(const std::string& tempDir, LoopbackConfig card = Config(),
                   const std::function<void(ProcessingSettings&)>& adjust = {})
        : driver(card) {
        settings.Load(TIniStore(), DeviceCounts{driver.DeviceCount(WaveDirection::Input),
                                                driver.DeviceCount(WaveDirection::Output)});
        settings.Mode.OpMode = kModeRealTime;
        settings.Settings().FFTsize = 1024;
        // A small in-memory history keeps the Real-Time buffer cheap.
        settings.FileIO.WaveFileMode = 0;
        settings.FileIO.RealTimeWaveBufferLengthSecs = 4;
        if (adjust) adjust(settings);
        RecomputeDerivedFields(settings.Settings());
        host.SetQuiet(true);
        EngineEnvironment env;
        env.tempDir = tempDir;
        env.waveDir = tempDir;
        engine = std::make_unique<TEngine>(host, driver, settings, &queue, env);
        window = std::make_unique<TMainWin>(host, *engine, queue, settings, 10.0, 20000.0, nullptr, tempDir);
        window->show();
    }
    static LoopbackConfig Config() {
        LoopbackConfig c;
        c.clock = LoopbackConfig::Clock::RealTime;
        c.source = LoopbackConfig::Source::Sine;
        c.sineHz = 1000.0;
        return c;
    }
    // Runs until a few frames went into the Real-Time buffer.
    void RunSomeFrames() {
        ASSERT_TRUE(window->RunAnalyser());
        ASSERT_TRUE(gui_testing::SpinUntil([&] { return engine->FrameCount() >= 3; }, 15000));
    }
    int Questions() const {
        int n = 0;
        for (const std::string& m : host.Messages()) n += m == kQuestion ? 1 : 0;
        return n;
    }
    std::string Title() const { return window->windowTitle().toStdString(); }
};

}  // namespace zeltrak
