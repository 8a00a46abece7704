// A live Real-Time run as the desktop drives it, offscreen: the Loopback card on its real-time
// clock, FFT 65,536, stereo, both channels shown, a 5 ms timer giving the engine its idle step
// through the loop, and a 1600 x 900 spectrum view listening. Each repetition counts the view's
// repaints (and the frames analysed) over one second of wall time; the median is the figure.
// Measure on one core: taskset -c 0 build/bench/bench_gui_realtime_rate
#include <benchmark/benchmark.h>

#include "gui_bench_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dsp/channel_processing.h"
#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine/processing_settings.h"
#include "engine/spectrum_scaling.h"
#include "files/ini_store.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"
#include "support/scripted_host.h"
#include "views/qt/spectrum_view.h"

namespace {

using namespace zeltrak;

// The view as the window shows it, counting the paints that actually happen (updates that
// arrive between two paints are merged by Qt and are not counted).
class CountingSpectrumView : public TSpectrumView {
public:
    using TSpectrumView::TSpectrumView;
    uint64_t paints = 0;
    int64_t paintNs = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        QElapsedTimer t;
        t.start();
        TSpectrumView::paintEvent(event);
        paintNs += t.nsecsElapsed();
        ++paints;
    }
};

LoopbackConfig CardConfig() {
    LoopbackConfig c;
    c.clock = LoopbackConfig::Clock::RealTime;
    c.source = LoopbackConfig::Source::Sine;
    c.sineHz = 1000.0;
    c.noiseDb = -90.0;
    return c;
}

struct Rig {
    LoopbackDriver driver{CardConfig()};
    ProcessingSettings settings;
    CalibrationRecord calibration;
    TShellScaling scaling{settings, calibration};
    ScriptedHost host;  // a message box would stop the run; the count of messages is checked
    BufferDoneQueue queue;
    std::unique_ptr<TEngine> engine;
    std::unique_ptr<TEngineLoop> loop;
    CountingSpectrumView view{10.0, 22000.0, FrequencyScale::Logarithmic};
    QTimer idle;
    bool inStep = false;
    bool ok = false;
    int64_t stepNs = 0;  // time in the idle steps that analysed a frame, views told included

    Rig() {
        settings.Load(TIniStore(), DeviceCounts{driver.DeviceCount(WaveDirection::Input),
                                                driver.DeviceCount(WaveDirection::Output)});
        settings.Mode.OpMode = kModeRealTime;
        SettingsBlock& s = settings.Settings();
        s.format = SampleFormat::Make(44100, 2, 2);
        s.FFTsize = 65536;
        s.ChannelProcessing = ChannelModeCode(ChannelProcessingMode::Both);
        // The Real-Time history stays on as the defaults have it, in memory so that the disk
        // of the machine does not enter the figure.
        settings.FileIO.WaveFileMode = 0;
        EngineEnvironment env;
        env.tempDir = "/tmp";
        engine = std::make_unique<TEngine>(host, driver, settings, &queue, env);
        engine->SetScaling(&scaling);
        loop = std::make_unique<TEngineLoop>(*engine, queue);
        view.resize(1600, 900);
        view.show();
        engine->AddListener(&view, ListenerRole::View);
        idle.setInterval(5);
        QObject::connect(&idle, &QTimer::timeout, [this] {
            if (inStep) return;
            inStep = true;
            const uint32_t before = engine->FrameCount();
            QElapsedTimer t;
            t.start();
            loop->Pump(0);
            if (engine->FrameCount() != before) stepNs += t.nsecsElapsed();
            inStep = false;
        });
        ok = engine->Run();
        idle.start();
        // The first frame needs 1.5 s of signal; then let the run settle.
        QElapsedTimer t;
        t.start();
        while (ok && engine->FrameCount() < 5 && t.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        ok = ok && engine->FrameCount() >= 5;
    }
    ~Rig() {
        idle.stop();
        if (engine->Running()) engine->Stop();
        loop->DeliverPending();
        engine->RemoveListener(&view);
    }
};

Rig* TheRig() {
    static Rig* rig = new Rig;  // shared by the repetitions; lives until exit
    return rig;
}

void BM_RealTimeViewRate(benchmark::State& state) {
    Rig& rig = *TheRig();
    if (!rig.ok) {
        state.SkipWithError("the Real-Time run did not start");
        return;
    }
    for (auto _ : state) {
        const uint64_t paints = rig.view.paints;
        const uint32_t frames = rig.engine->FrameCount();
        const int64_t paintNs = rig.view.paintNs;
        const int64_t stepNs = rig.stepNs;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 1000) QApplication::processEvents(QEventLoop::AllEvents, 5);
        const double seconds = t.nsecsElapsed() * 1e-9;
        state.SetIterationTime(seconds);
        state.counters["updates_per_s"] = static_cast<double>(rig.view.paints - paints) / seconds;
        const uint32_t analysed = rig.engine->FrameCount() - frames;
        const uint64_t painted = rig.view.paints - paints;
        state.counters["frames_per_s"] = static_cast<double>(analysed) / seconds;
        // Where a frame's time goes: the idle step (analysis and the views' copies) and the paint.
        state.counters["step_ms"] = analysed ? (rig.stepNs - stepNs) * 1e-6 / analysed : 0.0;
        state.counters["paint_ms"] = painted ? (rig.view.paintNs - paintNs) * 1e-6 / painted : 0.0;
    }
    // What the view last drew: its bin count and where trace 0 peaks (the card plays 1 kHz).
    const std::vector<float>& values = rig.view.TraceValues(0);
    size_t peak = 0;
    for (size_t k = 1; k < values.size(); ++k)
        if (values[k] > values[peak]) peak = k;
    state.counters["bins"] = static_cast<double>(values.size());
    state.counters["traces"] = static_cast<double>(!rig.view.TraceValues(0).empty() + !rig.view.TraceValues(1).empty() +
                                                   !rig.view.TraceValues(2).empty() + !rig.view.TraceValues(3).empty());
    state.counters["peak_hz"] = values.empty() ? 0.0 : rig.view.TraceFrequencies(0)[peak];
    state.counters["messages"] = static_cast<double>(rig.host.messages.size());
    state.counters["running"] = rig.engine->Running() ? 1 : 0;
}
BENCHMARK(BM_RealTimeViewRate)
    ->Iterations(1)
    ->Repetitions(7)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->ReportAggregatesOnly(false);

}  // namespace

int main(int argc, char** argv) { return RunOffscreenBenchmarks(argc, argv); }
