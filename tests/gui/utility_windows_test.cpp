// The delay finder and DTMF decoder windows, offscreen, on the Loopback card's real-time clock:
// each reads what the generator plays through the card, against what the card was told to do.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "generator/signal_generator.h"
#include "gui/shell.h"
#include "utilities/delay_strings.h"
#include "utilities/dtmf_strings.h"
#include "views/qt/delay_finder_window.h"
#include "views/qt/dtmf_decoder_window.h"
#include "views/qt/generator_window.h"
#include "views/qt/utility_tools.h"

namespace zeltrak {
namespace {

// Runs `act` on the modal dialog the next call opens; closes it if `act` left it open.
template <typename F>
void OnDialog(F act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
        if (dialog->isVisible()) dialog->reject();
    });
}

// Fills the dialog's fields by object name, presses OK; the message shown if it stayed open.
std::string Enter(Shell& s, QDialog& dialog, const std::vector<std::pair<const char*, const char*>>& fields) {
    for (const auto& [name, value] : fields) dialog.findChild<QLineEdit*>(name)->setText(value);
    const size_t before = s.host.Messages().size();
    dialog.accept();
    return dialog.isVisible() && s.host.Messages().size() > before ? s.LastMessage() : "";
}

TEST(DelayFinderWindow, FindsTheCardsChannelDelayAndAppliesIt) {
    TempDir dir;
    TIniStore ini;  // outlives the window, which stores its options when it goes
    Shell s(dir.path(), [](ProcessingSettings& p) { p.Settings().format = SampleFormat::Make(44100, 2, 2); });
    LoopbackConfig card = s.driver.Config();
    card.delaySamples[1] = 40;  // the right channel lags by 0.907 ms
    s.driver.Configure(card);
    ini.SetInt(kDelayOptionsSection, kDelayKeyMaxDelay, 20);  // blocks of 4096: a short run fills them
    s.window->UtilityTools().UseSettings(ini);
    s.window->UtilityTools().DelayFinder().ToggleAction()->trigger();
    TDelayFinderWindow* w = s.window->UtilityTools().DelayFinderWindow();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->Finder().BlockLength(), 4096u);
    s.window->GeneratorTool().Open();  // pink noise, the same on both channels
    ASSERT_TRUE(s.window->RunAnalyser());
    EXPECT_TRUE(SpinUntil([&] { return w->Finder().DelaySamples() != 0; }, 8000));
    s.window->StopAnalyser();
    EXPECT_EQ(w->Finder().DelaySamples(), -40);
    EXPECT_EQ(w->DelayText(), "-0.907 msec");
    w->ApplyButton()->click();
    EXPECT_EQ(s.settings.Settings().DelayChannel, 0);  // the left channel waits for the right
    EXPECT_NEAR(s.settings.Settings().DelayTimeMsec, 40.0 / 44.1, 1e-4);
    EXPECT_EQ(w->DelayEdit()->text(), " 0.907 msec");
    w->DelayEdit()->setText("1500");  // typed: limited to 1000 ms
    w->TypeDelay();
    EXPECT_FLOAT_EQ(s.settings.Settings().DelayTimeMsec, 1000.0f);
}

TEST(DelayFinderWindow, RefusesMonoAndOutOfRangeOptions) {
    TempDir dir;
    {
        TIniStore ini;
        Shell mono(dir.path());
        mono.window->UtilityTools().UseSettings(ini);
        mono.window->UtilityTools().DelayFinder().ToggleAction()->trigger();
        EXPECT_EQ(mono.window->UtilityTools().DelayFinderWindow(), nullptr);
        EXPECT_FALSE(mono.window->UtilityTools().DelayFinder().ToggleAction()->isChecked());
        EXPECT_EQ(mono.LastMessage(), kDelayNeedsStereo);
        EXPECT_EQ(ini.GetInt("ViewStatus", "Delay Finder", -1), 0);
    }
    Shell s(dir.path(), [](ProcessingSettings& p) { p.Settings().format = SampleFormat::Make(44100, 2, 2); });
    TDelayFinderWindow* w = static_cast<TDelayFinderWindow*>(s.window->UtilityTools().DelayFinder().Open());
    ASSERT_NE(w, nullptr);
    const struct {
        const char *speed, *maxDelay, *message;
    } cases[] = {{"5", "500", kDelaySpeedRange}, {"1130", "1001", kDelayMaxDelayRange}, {"x", "500", kDelaySpeedRange}};
    for (const auto& c : cases) {
        OnDialog([&](QDialog& d) { EXPECT_EQ(Enter(s, d, {{"speed", c.speed}, {"maxDelay", c.maxDelay}}), c.message); });
        w->EditOptions();
    }
    // Accepted options take effect: a new maximum delay, a new block length.
    OnDialog([&](QDialog& d) { EXPECT_EQ(Enter(s, d, {{"speed", "1130"}, {"maxDelay", "100"}}), ""); });
    w->EditOptions();
    EXPECT_EQ(w->Finder().BlockLength(), 16384u);
}

TEST(DtmfDecoderWindow, ListsTheKeysPlayedThroughTheCardAndClears) {
    TempDir dir;
    Shell s(dir.path());
    TDtmfDecoderWindow* w = static_cast<TDtmfDecoderWindow*>(s.window->UtilityTools().DtmfDecoder().Open());
    ASSERT_NE(w, nullptr);
    SignalSetup keys;
    keys.type = SignalType::Dtmf;
    keys.dtmf = {"159#", 100, 100, 0.0f, 1};
    s.window->GeneratorTool().Open()->Generator().SetSignal(0, keys);
    ASSERT_TRUE(s.window->RunAnalyser());
    EXPECT_TRUE(SpinUntil([&] { return w->Detector(0).KeyString().size() >= 7; }, 8000));
    s.window->StopAnalyser();
    // Played in a loop from the first key: every key, in order, and nothing else.
    const std::string heard = w->Detector(0).KeyString();
    EXPECT_EQ(heard.substr(0, 7), std::string("159#159#").substr(0, 7)) << heard;
    EXPECT_TRUE(w->KeysText().startsWith(QString::fromStdString(heard) + "\n")) << w->KeysText().toStdString();
    EXPECT_EQ(w->Detector(1).KeyString(), "");  // mono: no right spectrum
    w->ClearButton()->click();
    EXPECT_EQ(w->KeysText(), "\n");
    OnDialog([&](QDialog& d) { EXPECT_EQ(Enter(s, d, {{"threshold", "1"}}), dtmf_text::kThresholdRange); });
    w->EditOptions();
}

}  // namespace
}  // namespace zeltrak
