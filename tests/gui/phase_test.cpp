// The phase view leaves bins far below the tone blank in its export and cursor readout, and a
// deeper threshold brings them back.
#include <gtest/gtest.h>

#include <cmath>

#include "dsp/spectral_data.h"
#include "support/tab_table.h"
#include "views/qt/phase_view.h"

namespace zeltrak {
namespace {

TEST(PhaseView, BinsTooWeakForAPhaseAreNeitherExportedNorRead) {
    // A tone in bin 64 of 1024 at full scale over a floor about 100 dB down.
    const SpectralSettings settings{.format = SampleFormat::Make(48000, 1, 2), .fftSize = 1024};
    TSpectralData data(settings, SpectralScaling{}, 0);
    for (uint32_t i = 0; i < settings.fftSize; ++i)
        data.TimeSamples()[i] = static_cast<float>(std::sin(2.0 * M_PI * 64.0 * i / 1024.0) + 1e-5 * std::sin(i * 1.7));
    ASSERT_TRUE(data.Transform());
    data.Average();
    struct Case {
        double depthDb;
        bool farBinShown;
    };
    for (const Case& c : {Case{kDefaultPhaseBlankDepthDb, false}, Case{200.0, true}}) {
        TPhaseView view(10.0, 22000.0, FrequencyScale::Linear);
        view.SetBlankDepthDb(c.depthDb);
        view.OnFrame(EngineFrame{.spectrums = {&data}});
        const auto rows = testing::ParseTabTable(view.ExportText());
        ASSERT_GT(rows.size(), 301u);
        EXPECT_NE(rows[1 + 64][1], "") << "the tone's bin keeps its phase";
        EXPECT_EQ(rows[1 + 300][1] != "", c.farBinShown) << "depth " << c.depthDb;
        ASSERT_TRUE(view.SetCursorX(data.BinFrequency(300)));
        EXPECT_EQ(view.CursorReadout().find("Left: -") != std::string::npos, !c.farBinShown) << view.CursorReadout();
    }
}

}  // namespace
}  // namespace zeltrak
