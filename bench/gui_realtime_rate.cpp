// A live Real-Time run as the desktop drives it, offscreen: the Loopback card on its real-time
// clock playing its 1 kHz tone, stereo, both channels shown, 50 % overlap, the engine woken by a
// single-shot timer set for the next frame (or by a driver notice) at most 60 times a second, and
// a 1600 x 900 spectrum view listening. Each repetition runs two seconds of audio and reports
// the process's CPU time per second of audio (card included), the frames analysed against those
// the overlap asks for, and the repaints; the median is the figure.
// Measure on one core: taskset -c 0 build/bench/bench_gui_realtime_rate
#include <benchmark/benchmark.h>

#include "gui_bench_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <ctime>
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

protected:
    void paintEvent(QPaintEvent* event) override {
        TSpectrumView::paintEvent(event);
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

// CPU time of the whole process: the card's clock thread counts too.
double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
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
    QElapsedTimer sincePass;
    bool inStep = false;
    bool ok = false;

    explicit Rig(uint32_t fftSize) {
        settings.Load(TIniStore(), DeviceCounts{driver.DeviceCount(WaveDirection::Input),
                                                driver.DeviceCount(WaveDirection::Output)});
        settings.Mode.OpMode = kModeRealTime;
        SettingsBlock& s = settings.Settings();
        s.format = SampleFormat::Make(44100, 2, 2);
        s.FFTsize = fftSize;
        s.OverlapPercent = 50;
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
        idle.setSingleShot(true);
        QObject::connect(&idle, &QTimer::timeout, [this] { Pass(); });
        queue.SetWake([this] { QMetaObject::invokeMethod(&idle, [this] { idle.start(0); }, Qt::QueuedConnection); });
        sincePass.start();
        ok = engine->Run();
        idle.start(0);
        QElapsedTimer t;
        t.start();
        while (ok && engine->FrameCount() < 2 && t.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        ok = ok && engine->FrameCount() >= 2;
    }
    // As the window's idle pass: every frame due, then sleep until the next, 60 passes a second at most.
    void Pass() {
        if (inStep) return;
        inStep = true;
        sincePass.restart();
        while (loop->Pump(0) && loop->MillisecondsToWork(5) == 0 && sincePass.elapsed() < 40) {
        }
        inStep = false;
        if (!engine->Running()) return;
        const qint64 wait = std::min<qint64>(loop->MillisecondsToWork(5), 500);
        idle.start(static_cast<int>(std::max<qint64>(wait, 16 - sincePass.elapsed())));
    }
    ~Rig() {
        queue.SetWake({});
        idle.stop();
        if (engine->Running()) engine->Stop();
        loop->DeliverPending();
        engine->RemoveListener(&view);
    }
};

void BM_RealTimeCpu(benchmark::State& state) {
    static Rig* rig = nullptr;  // one run at a time: the card has one input
    delete rig;
    rig = new Rig(static_cast<uint32_t>(state.range(0)));
    if (!rig->ok) {
        state.SkipWithError("the Real-Time run did not start");
        return;
    }
    const uint32_t rate = rig->settings.Settings().format.rate;
    const uint64_t advance = FileFrameAdvance(rig->settings.Settings());
    for (auto _ : state) {
        const uint64_t paints = rig->view.paints;
        const uint32_t frames = rig->engine->FrameCount();
        const uint64_t captured = rig->engine->InputPort().CapturedFrames();
        const double cpu = ProcessCpuSeconds();
        QElapsedTimer t;
        t.start();
        // An event loop that sleeps as the window's does (processEvents with a time limit polls).
        QEventLoop wait;
        QTimer::singleShot(2000, &wait, &QEventLoop::quit);
        wait.exec();
        const double audio = static_cast<double>(rig->engine->InputPort().CapturedFrames() - captured) / rate;
        state.SetIterationTime(t.nsecsElapsed() * 1e-9);
        state.counters["cpu_pct_of_audio"] = 100.0 * (ProcessCpuSeconds() - cpu) / audio;
        state.counters["frames"] = rig->engine->FrameCount() - frames;
        state.counters["frames_due"] = audio * rate / static_cast<double>(advance);
        state.counters["paints_per_s"] = static_cast<double>(rig->view.paints - paints) / audio;
    }
    // Where the last drawn trace peaks: the card plays 1 kHz.
    const std::vector<float>& values = rig->view.TraceValues(0);
    const size_t peak = std::max_element(values.begin(), values.end()) - values.begin();
    state.counters["peak_hz"] = values.empty() ? 0.0 : rig->view.TraceFrequencies(0)[peak];
    state.counters["lost_frames"] = static_cast<double>(rig->engine->LostLiveFrames());
    state.counters["messages"] = static_cast<double>(rig->host.messages.size());
    state.counters["running"] = rig->engine->Running() ? 1 : 0;
}
BENCHMARK(BM_RealTimeCpu)
    ->Arg(4096)
    ->Arg(65536)
    ->Iterations(1)
    ->Repetitions(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->ReportAggregatesOnly(false);

}  // namespace

int main(int argc, char** argv) { return RunOffscreenBenchmarks(argc, argv); }
