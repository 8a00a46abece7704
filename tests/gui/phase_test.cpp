// The phase view leaves bins far below the tone blank in its export and cursor readout, and a
// deeper threshold brings them back; the threshold is a checked field of the Scaling dialog,
// kept in the settings file.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <cmath>

#include "dsp/spectral_data.h"
#include "support/tab_table.h"
#include "files/ini_store.h"
#include "views/qt/desktop.h"
#include "views/qt/phase_view.h"
#include "views/qt/qt_host.h"
#include "views/qt/settings_dialogs.h"

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

TEST(PhaseView, TheBlankingDepthIsCheckedInTheDialogAndKeptInTheSettingsFile) {
    QtHost host;
    host.SetQuiet(true);
    struct Case {
        std::string entry;
        double stored;  // NaN: refused, the dialog stays open and the depth is kept
    };
    for (const Case& c : {Case{"45", 45.0}, Case{" 120.5 ", 120.5}, Case{"abc", NAN}, Case{"0", NAN},
                          Case{"250", NAN}, Case{"40dB", NAN}, Case{"", NAN}}) {
        SCOPED_TRACE(c.entry);
        ScalingBlock scaling;
        bool squared = false;
        double depth = kDefaultPhaseBlankDepthDb;
        TScalingDialog d(host, scaling, squared, nullptr, &depth);
        d.show();
        d.findChild<QLineEdit*>("phaseBlankDepth")->setText(QString::fromStdString(c.entry));
        const std::size_t shown = host.Messages().size();
        d.accept();
        EXPECT_EQ(d.isVisible(), std::isnan(c.stored));
        EXPECT_EQ(host.Messages().size(), shown + (std::isnan(c.stored) ? 1 : 0));
        EXPECT_EQ(depth, std::isnan(c.stored) ? kDefaultPhaseBlankDepthDb : c.stored);

        // What the dialog took comes back from the settings file; a hand-edited bad value does not.
        TIniStore ini;
        StorePhaseBlankDepth(std::isnan(c.stored) ? -5.0 : c.stored, ini);
        DesktopSetup setup;
        ReadPhaseBlankDepth(ini, setup);
        EXPECT_EQ(setup.phaseBlankDepthDb, std::isnan(c.stored) ? kDefaultPhaseBlankDepthDb : c.stored);
    }
}

}  // namespace
}  // namespace zeltrak
