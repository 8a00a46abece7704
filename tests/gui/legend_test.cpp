// The plot legend, offscreen: an entry for each trace that holds points, in the trace's colour,
// at the top right inside the plot.
#include <gtest/gtest.h>

#include <QImage>
#include <memory>

#include "views/qt/spectrum_view.h"
#include "views/qt/time_series_view.h"

namespace zeltrak {
namespace {

struct SwatchSpot {
    int pixels = 0;
    double meanRow = 0.0;
};

// Pixels of exactly the trace's colour in the top third of the plot's right half. The traces
// below are flat lines in the middle of the plot, so only the legend can put them there.
SwatchSpot FindColour(const QImage& image, const QRect& plot, const QColor& colour) {
    SwatchSpot spot;
    for (int y = plot.top(); y < plot.top() + plot.height() / 3; ++y)
        for (int x = plot.center().x(); x <= plot.right(); ++x)
            if (image.pixelColor(x, y).rgb() == colour.rgb()) ++spot.pixels, spot.meanRow += y;
    if (spot.pixels > 0) spot.meanRow /= spot.pixels;
    return spot;
}

TEST(PlotLegend, ShowsOneSwatchPerTraceWithPointsInTraceOrder) {
    struct Case { bool timeSeries; std::vector<int> filled; };
    for (const Case& c : {Case{false, {0, 1}}, Case{false, {2}}, Case{false, {0, 1, 2, 3}}, Case{true, {0, 1}},
                          Case{true, {1}}}) {
        std::unique_ptr<TPlotView> view;
        if (c.timeSeries) {
            auto series = std::make_unique<TTimeSeriesView>();
            for (int i : c.filled) series->SetSamples(i, std::vector<float>(400, 0.25f), 1e-4);
            view = std::move(series);
        } else {
            auto spectrum = std::make_unique<TSpectrumView>(0.0, 20000.0, FrequencyScale::Linear);
            std::vector<float> x(512);
            for (size_t k = 0; k < x.size(); ++k) x[k] = static_cast<float>(k * 40.0);
            for (int i : c.filled) spectrum->SetTrace(i, x, std::vector<float>(x.size(), -50.0f));
            view = std::move(spectrum);
        }
        view->resize(640, 400);
        const QImage image = view->grab().toImage();
        EXPECT_TRUE(view->PlotRect().contains(view->LegendRect()));
        double previousRow = -1.0;
        for (int i = 0; i < view->TraceCount(); ++i) {
            const bool filled = std::find(c.filled.begin(), c.filled.end(), i) != c.filled.end();
            const SwatchSpot spot = FindColour(image, view->PlotRect(), TPlotView::PlotColor(i));
            SCOPED_TRACE(testing::Message() << (c.timeSeries ? "series" : "spectrum") << " trace " << i);
            if (!filled) {
                EXPECT_EQ(spot.pixels, 0);
                continue;
            }
            // A swatch of some 10 × 10 pixels, each entry on a line below the one before.
            EXPECT_GE(spot.pixels, 64);
            EXPECT_GT(spot.meanRow, previousRow);
            previousRow = spot.meanRow;
        }
    }
}

}  // namespace
}  // namespace zeltrak
