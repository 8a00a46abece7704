// Redrawing the spectrum view offscreen: 524,288 bins into a 1600 x 900 image.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <cmath>

#include "engine/processing_settings.h"
#include "views/qt/spectrum_view.h"

namespace {

void Redraw(benchmark::State& state, int frequencyScale) {
    const uint32_t bins = 524288;
    zeltrak::TSpectrumView view(10.0, 22000.0, frequencyScale);
    view.resize(1600, 900);
    std::vector<float> f(bins), v(bins), w(bins);
    for (uint32_t k = 0; k < bins; ++k) {
        f[k] = static_cast<float>(k) * 48000.0f / (2.0f * bins);
        v[k] = -100.0f + 10.0f * std::sin(0.001f * k) - 0.5f * static_cast<float>(k % 17);
        w[k] = v[k] - 6.0f;
    }
    view.SetTrace(0, f, v);
    view.SetTrace(1, f, w);
    QImage image(view.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["bins"] = bins;
}

void BM_RedrawLogTwoTraces(benchmark::State& state) { Redraw(state, zeltrak::kFreqLogarithmic); }
void BM_RedrawLinearTwoTraces(benchmark::State& state) { Redraw(state, zeltrak::kFreqLinear); }
BENCHMARK(BM_RedrawLogTwoTraces)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawLinearTwoTraces)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
