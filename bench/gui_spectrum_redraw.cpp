// Redrawing the plot views offscreen into a 1600 x 900 image: the spectrum and phase views
// with 524,288 bins per trace, the time series with 524,288 samples per channel.
#include <benchmark/benchmark.h>

#include "gui_bench_main.h"

#include <QApplication>
#include <QImage>
#include <cmath>

#include "engine/processing_settings.h"
#include "views/qt/phase_view.h"
#include "views/qt/spectrum_view.h"
#include "views/qt/time_series_view.h"

namespace {

constexpr uint32_t kPoints = 524288;

struct Data {
    std::vector<float> f, v, w;
    Data() : f(kPoints), v(kPoints), w(kPoints) {
        for (uint32_t k = 0; k < kPoints; ++k) {
            f[k] = static_cast<float>(k) * 48000.0f / (2.0f * kPoints);
            v[k] = -100.0f + 10.0f * std::sin(0.001f * k) - 0.5f * static_cast<float>(k % 17);
            w[k] = v[k] - 6.0f;
        }
    }
};

void Render(benchmark::State& state, QWidget& view) {
    QImage image(view.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["points"] = kPoints;
}

void RedrawSpectrum(benchmark::State& state, zeltrak::FrequencyScale frequencyScale) {
    const Data d;
    zeltrak::TSpectrumView view(10.0, 22000.0, frequencyScale);
    view.resize(1600, 900);
    view.SetTrace(0, d.f, d.v);
    view.SetTrace(1, d.f, d.w);
    view.SetCursorX(1000.0);
    Render(state, view);
}

void RedrawPhase(benchmark::State& state, zeltrak::FrequencyScale frequencyScale) {
    const Data d;
    std::vector<float> a(kPoints), b(kPoints);
    for (uint32_t k = 0; k < kPoints; ++k) {
        // Wrapping phase: every column spans the full −180 … 180, the costliest strokes.
        a[k] = std::remainder(0.7f * static_cast<float>(k), 360.0f);
        b[k] = std::remainder(0.01f * static_cast<float>(k), 360.0f);
    }
    zeltrak::TPhaseView view(20.0, 22000.0, frequencyScale);
    view.resize(1600, 900);
    view.SetTrace(0, d.f, a);
    view.SetTrace(1, d.f, b);
    Render(state, view);
}

void BM_RedrawSpectrumLogTwoTraces(benchmark::State& state) { RedrawSpectrum(state, zeltrak::FrequencyScale::Logarithmic); }
void BM_RedrawSpectrumLinearTwoTraces(benchmark::State& state) { RedrawSpectrum(state, zeltrak::FrequencyScale::Linear); }
void BM_RedrawPhaseLogTwoTraces(benchmark::State& state) { RedrawPhase(state, zeltrak::FrequencyScale::Logarithmic); }

void BM_RedrawTimeSeriesTwoChannels(benchmark::State& state) {
    std::vector<float> a(kPoints), b(kPoints);
    for (uint32_t k = 0; k < kPoints; ++k) {
        a[k] = 0.5f * std::sin(0.002f * static_cast<float>(k)) + 0.01f * static_cast<float>(k % 7);
        b[k] = 0.25f * std::cos(0.0005f * static_cast<float>(k));
    }
    zeltrak::TTimeSeriesView view;
    view.resize(1600, 900);
    view.SetSamples(0, a, 1.0 / 48000.0);
    view.SetSamples(1, b, 1.0 / 48000.0);
    Render(state, view);
}

BENCHMARK(BM_RedrawSpectrumLogTwoTraces)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawSpectrumLinearTwoTraces)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawPhaseLogTwoTraces)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawTimeSeriesTwoChannels)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunOffscreenBenchmarks(argc, argv); }
