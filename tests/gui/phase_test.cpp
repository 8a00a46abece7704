// The phase view leaves bins far below the tone blank in its export and cursor readout, and a
// deeper threshold brings them back; the threshold is a checked field of the Scaling dialog,
// kept in the settings file; a two-channel result's phase is blank where its coherence is low.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <cmath>
#include <random>

#include "dsp/spectral_data.h"
#include "dsp/spectral_test_support.h"
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

TEST(PhaseView, TransferPhaseIsBlankWhereTheCoherenceIsBelowTheThreshold) {
    // Right = left + independent noise of r times its level: every bin's coherence is
    // |γ| = 1 / sqrt(1 + r²) (0.707 for r = 1, 0.316 for r = 3), estimated over 64 frames.
    struct Case { double noiseRatio, threshold; bool squared; double wantBlankShare; };
    for (const Case& c : {Case{1, 0.5, false, 0.0}, Case{3, 0.5, false, 1.0}, Case{1, 0.7, true, 1.0},
                          Case{3, 0.02, true, 0.0}, Case{3, 0.0, false, 0.0}}) {
        SpectralScaling scaling = spectral_test::Scaling();
        scaling.coherenceSquared = c.squared;
        spectral_test::Analyser a(ChannelProcessingMode::TransferCoherenceLR, 256, 64, AveragingType::Linear, scaling);
        std::mt19937 random(7);
        std::normal_distribution<float> normal(0.0f, 1000.0f);
        std::vector<float> left(256), right(256);
        for (int frame = 0; frame < 64; ++frame) {
            for (size_t i = 0; i < left.size(); ++i) {
                left[i] = normal(random);
                right[i] = left[i] + static_cast<float>(c.noiseRatio) * normal(random);
            }
            ASSERT_TRUE(a.Frame(left, right));
        }
        TPhaseView view(10.0, 22000.0, FrequencyScale::Linear);
        view.SetBlankDepthDb(200.0);
        view.SetBlankCoherence(c.threshold);
        view.OnFrame(EngineFrame{.spectrums = {a.L.get(), a.R.get(), a.S1.get(), a.S2.get()}});
        for (const int trace : {2, 3}) {
            const std::vector<float>& phase = view.Model().Trace(trace).values;
            ASSERT_GT(phase.size(), 100u);
            const double blank = std::count_if(phase.begin() + 1, phase.end(), [](float p) { return std::isnan(p); });
            EXPECT_NEAR(blank / (phase.size() - 1), c.wantBlankShare, 0.1) << c.noiseRatio << " " << c.threshold;
        }
        // The single channels' phase is not the coherence's business.
        EXPECT_EQ(std::count_if(view.Model().Trace(0).values.begin(), view.Model().Trace(0).values.end(),
                                [](float p) { return std::isnan(p); }), 0);
    }
}

TEST(PhaseView, TheBlankingDepthAndCoherenceAreCheckedInTheDialogAndKeptInTheSettingsFile) {
    QtHost host;
    host.SetQuiet(true);
    struct Case {
        bool coherence;  // the coherence field, else the depth field
        std::string entry;
        double stored;  // NaN: refused, the dialog stays open and the value is kept
    };
    for (const Case& c : {Case{false, "45", 45.0}, Case{false, " 120.5 ", 120.5}, Case{false, "abc", NAN},
                          Case{false, "0", NAN}, Case{false, "250", NAN}, Case{false, "40dB", NAN}, Case{false, "", NAN},
                          Case{true, "0.8", 0.8}, Case{true, " 0 ", 0.0}, Case{true, "1", 1.0}, Case{true, "1.01", NAN},
                          Case{true, "-0.1", NAN}, Case{true, "0,5", NAN}, Case{true, "", NAN}}) {
        SCOPED_TRACE(c.entry);
        ScalingBlock scaling;
        bool squared = false;
        double depth = kDefaultPhaseBlankDepthDb, coherence = kDefaultPhaseBlankCoherence;
        const double before = c.coherence ? coherence : depth;
        TScalingDialog d(host, scaling, squared, nullptr, &depth, &coherence);
        d.show();
        d.findChild<QLineEdit*>(c.coherence ? "phaseBlankCoherence" : "phaseBlankDepth")->setText(QString::fromStdString(c.entry));
        const std::size_t shown = host.Messages().size();
        d.accept();
        EXPECT_EQ(d.isVisible(), std::isnan(c.stored));
        EXPECT_EQ(host.Messages().size(), shown + (std::isnan(c.stored) ? 1 : 0));
        EXPECT_EQ(c.coherence ? coherence : depth, std::isnan(c.stored) ? before : c.stored);

        // What the dialog took comes back from the settings file; a hand-edited bad value does not.
        TIniStore ini;
        const double written = std::isnan(c.stored) ? -5.0 : c.stored;
        DesktopSetup setup;
        if (c.coherence) {
            StorePhaseBlankCoherence(written, ini);
            ReadPhaseBlankCoherence(ini, setup);
        } else {
            StorePhaseBlankDepth(written, ini);
            ReadPhaseBlankDepth(ini, setup);
        }
        EXPECT_EQ(c.coherence ? setup.phaseBlankCoherence : setup.phaseBlankDepthDb, std::isnan(c.stored) ? before : c.stored);
    }
}

}  // namespace
}  // namespace zeltrak
