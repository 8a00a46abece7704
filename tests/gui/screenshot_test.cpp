// The three plot views rendered offscreen at two sizes and compared with committed reference
// images, so that any later change to what a user sees shows up here. A changed look that is
// meant is accepted by regenerating the references: ZELTRAK_UPDATE_SCREENSHOTS=1 ctest -R Screenshot.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "dsp/spectral_data.h"
#include "views/qt/phase_view.h"
#include "views/qt/spectrum_view.h"
#include "views/qt/time_series_view.h"

namespace zeltrak {
namespace {

constexpr uint32_t kFft = 1024;
constexpr double kRate = 48000.0;

// A Hann-windowed channel of two tones (bins 40.5 and 200) over a faint deterministic floor; the right
// channel lags the left by `lag` samples so the phase view has a slope to show.
std::unique_ptr<TSpectralData> Channel(double lag, std::vector<float>& samples) {
    const SpectralSettings settings{.format = SampleFormat::Make(48000, 2, 2), .fftSize = kFft};
    auto data = std::make_unique<TSpectralData>(settings, SpectralScaling{}, 0);
    samples.resize(kFft);
    for (uint32_t i = 0; i < kFft; ++i) {
        const double t = i - lag;
        samples[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * 40.5 * t / kFft) +
                                        0.05 * std::sin(2 * M_PI * 200.0 * t / kFft) + 1e-4 * std::sin(i * 1.7));
        // The analysis chain hands the transform samples in sample units, Hann-windowed with the
        // window's amplitude correction (2).
        data->TimeSamples()[i] = samples[i] * 32768.0f * static_cast<float>(1.0 - std::cos(2 * M_PI * i / kFft));
    }
    EXPECT_TRUE(data->Transform());
    data->Average();
    return data;
}

// Pixels whose colour differs by more than a blend of antialiasing would make.
int DifferingPixels(const QImage& a, const QImage& b) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int d = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                    std::abs(qBlue(p) - qBlue(q))});
            count += d > 64 ? 1 : 0;
        }
    return count;
}

void CompareWithReference(QWidget& view, const QString& name) {
    const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString path = QString(ZELTRAK_REFERENCE_DIR) + "/" + name + ".png";
    if (std::getenv("ZELTRAK_UPDATE_SCREENSHOTS")) {
        QDir().mkpath(ZELTRAK_REFERENCE_DIR);
        ASSERT_TRUE(shot.save(path)) << path.toStdString();
        return;
    }
    const QImage reference = QImage(path).convertToFormat(QImage::Format_RGB32);
    const QString actual = QDir::tempPath() + "/zeltrak-" + name + ".png";
    shot.save(actual);
    ASSERT_FALSE(reference.isNull()) << "no reference " << path.toStdString();
    ASSERT_EQ(shot.size(), reference.size()) << name.toStdString();
    // A few hundred pixels of slack (0.3 %) for font hinting; a moved trace, label or grid line
    // changes thousands.
    EXPECT_LE(DifferingPixels(shot, reference), shot.width() * shot.height() * 3 / 1000)
        << name.toStdString() << " differs from its reference; this run's image is " << actual.toStdString();
}

TEST(Screenshot, TheThreeViewsLookAsTheirReferencesAtTwoSizes) {
    std::vector<float> left, right;
    const auto l = Channel(0.0, left), r = Channel(3.0, right);
    const EngineFrame frame{.spectrums = {l.get(), r.get()}};
    TSpectrumView spectrum(10.0, 24000.0, FrequencyScale::Linear);
    TPhaseView phase(10.0, 24000.0, FrequencyScale::Logarithmic);
    TTimeSeriesView series;
    spectrum.OnFrame(frame);
    phase.OnFrame(frame);
    series.SetSamples(0, left, 1.0 / kRate);
    series.SetSamples(1, right, 1.0 / kRate);
    struct View {
        QWidget* widget;
        const char* name;
    };
    for (const View& v : {View{&spectrum, "spectrum"}, View{&phase, "phase"}, View{&series, "time_series"}})
        for (const QSize size : {QSize(420, 260), QSize(900, 520)}) {
            v.widget->resize(size);
            CompareWithReference(*v.widget, QString("%1_%2x%3").arg(v.name).arg(size.width()).arg(size.height()));
        }
}

}  // namespace
}  // namespace zeltrak
