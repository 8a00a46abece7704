// The delay finder and DTMF decoder windows, offscreen, on the Loopback card's real-time clock:
// each reads what the generator plays through the card, against what the card was told to do.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <map>

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

// Keypad tones made with sox, 100 ms each with 100 ms between; false when sox failed.
bool WriteKeys(const std::string& keys, const std::string& path) {
    const std::map<char, std::pair<int, int>> tones = {{'1', {697, 1209}}, {'5', {770, 1336}}, {'9', {852, 1477}},
                                                       {'#', {941, 1477}}, {'*', {941, 1209}}, {'0', {941, 1336}},
                                                       {'D', {941, 1633}}, {'7', {852, 1209}}};
    std::string parts;
    for (size_t i = 0; i < keys.size(); ++i) {
        const auto [low, high] = tones.at(keys[i]);
        const std::string part = path + std::to_string(i) + ".wav";
        if (RunCommand("sox -q -n -r 44100 -c 1 -b 16 '" + part + "' synth 0.1 sine " + std::to_string(low) +
                       " synth 0.1 sine mix " + std::to_string(high) + " vol 0.45 pad 0.1 0").first != 0)
            return false;
        parts += " '" + part + "'";
    }
    return RunCommand("sox -q" + parts + " '" + path + "' pad 0 0.1").first == 0;
}

TEST(DtmfDecoderWindow, ListsEachChannelsKeysAndClears) {
    TempDir dir;
    Shell s(dir.path());
    s.window->SelectMode(kModePostProcessing);
    TDtmfDecoderWindow* w = static_cast<TDtmfDecoderWindow*>(s.window->UtilityTools().DtmfDecoder().Open());
    ASSERT_NE(w, nullptr);
    const std::string left = dir.File("l.wav"), right = dir.File("r.wav"), both = dir.File("keys.wav");
    ASSERT_TRUE(WriteKeys("159#", left) && WriteKeys("*0D7", right)) << "sox is needed";
    ASSERT_EQ(RunCommand("sox -q -M '" + left + "' '" + right + "' '" + both + "'").first, 0);
    s.chooser.next = both;
    s.window->FileAction("Open")->trigger();
    ASSERT_TRUE(s.window->RunAnalyser()) << s.LastMessage();
    ASSERT_TRUE(SpinUntil([&] { return !s.engine->Running(); }));
    EXPECT_EQ(w->KeysText(), "159#\n*0D7");
    w->ClearButton()->click();
    EXPECT_EQ(w->KeysText(), "\n");
    OnDialog([&](QDialog& d) { EXPECT_EQ(Enter(s, d, {{"threshold", "1"}}), dtmf_text::kThresholdRange); });
    w->EditOptions();
}

// Started on the decoder's own configuration the decoder is the program: no Options, and its
// close box ends the program.
TEST(DtmfDecoderWindow, OnItsOwnConfigurationItsCloseEndsTheProgram) {
    TempDir dir;
    TIniStore ini;
    ini.SetInt("ViewStatus", "DTMFDecoder", 1);
    Shell s(dir.path());
    s.window->UtilityTools().UseSettings(ini, dir.path() + "/dtmf.cfg");
    TDtmfDecoderWindow* w = s.window->UtilityTools().DtmfDecoderWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->OptionsButton()->isHidden());
    QApplication::processEvents();
    w->parentWidget()->close();
    EXPECT_FALSE(s.window->isVisible());
    EXPECT_EQ(ini.GetInt("ViewStatus", "DTMFDecoder", 0), 1);  // it comes back at the next start
}

}  // namespace
}  // namespace zeltrak
