// The Signal Generator window, offscreen: opened from the Utilities menu and reopened at the
// next start; a cancelled parameter dialog keeps the old type; the dialogs refuse bad entries
// with the generator's messages and stay open; mono offers only "N/A" on the right; Run and
// Stop drive the generator.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "generator/generator_strings.h"
#include "generator/signal_generator.h"
#include "gui/shell.h"
#include "views/qt/generator_window.h"

namespace zeltrak {
namespace {

void Stereo(ProcessingSettings& s) { s.Settings().format = SampleFormat::Make(44100, 2, 2); }

// Runs `act` on the modal dialog the next call opens.
template <typename F>
void OnDialog(F act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
        if (dialog->isVisible()) dialog->reject();
    });
}

// Types `value` into field `name` and presses OK; the message shown if the dialog stayed open.
std::string Enter(Shell& s, QDialog& dialog, const char* name, const char* value) {
    dialog.findChild<QLineEdit*>(name)->setText(value);
    const size_t before = s.host.Messages().size();
    dialog.accept();
    return dialog.isVisible() && s.host.Messages().size() > before ? s.LastMessage() : "";
}

TEST(GeneratorWindow, OpensFromTheMenuAndReopensAtTheNextStart) {
    TempDir dir;
    TIniStore ini;
    {
        Shell s(dir.path());
        s.window->GeneratorTool().UseSettings(ini);
        EXPECT_EQ(s.window->GeneratorTool().Window(), nullptr);
        s.window->GeneratorTool().ToggleAction()->trigger();
        TGeneratorWindow* w = s.window->GeneratorTool().Window();
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(s.window->Client()->activeSubWindow()->windowTitle(), "Signal Generator");
        SignalSetup square = w->Generator().Settings().channels[0];
        square.type = SignalType::Square;
        w->Generator().SetSignal(0, square);
        s.window->close();  // stores the settings as the program's end does
    }
    EXPECT_EQ(ini.GetInt("ViewStatus", "SignalGenerator", 0), 1);
    EXPECT_EQ(ini.GetInt("Main", "SigType", -1), 9);
    Shell s(dir.path());
    s.window->GeneratorTool().UseSettings(ini);
    TGeneratorWindow* w = s.window->GeneratorTool().Window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->TypeList(0)->currentText(), "Square");
    w->parentWidget()->close();  // its close box
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(s.window->GeneratorTool().Window(), nullptr);
    EXPECT_FALSE(s.window->GeneratorTool().ToggleAction()->isChecked());
    EXPECT_EQ(ini.GetInt("ViewStatus", "SignalGenerator", 1), 0);
}

TEST(GeneratorWindow, CancelKeepsTheOldTypeAndRefusalsKeepTheDialogOpen) {
    TempDir dir;
    Shell s(dir.path());
    TGeneratorWindow* w = s.window->GeneratorTool().Open();
    const SignalType old = w->Generator().Settings().channels[0].type;
    OnDialog([](QDialog& d) { EXPECT_EQ(d.windowTitle(), "Square Wave Settings"); });
    w->TypeList(0)->activated(9);
    EXPECT_EQ(w->Generator().Settings().channels[0].type, old);
    EXPECT_EQ(w->TypeList(0)->currentIndex(), static_cast<int>(old));

    // 44100 Hz: the highest frequency is 22050 Hz.
    const std::string refusal = "Frequency must be between   0.00 and 22050.00 Hz.";
    OnDialog([&](QDialog& d) {
        for (const char* bad : {"22050.5", "abc", ""}) EXPECT_EQ(Enter(s, d, "frequency", bad), refusal) << bad;
        EXPECT_EQ(Enter(s, d, "frequency", "1500"), "");
    });
    w->TypeList(0)->activated(9);
    EXPECT_EQ(w->Generator().Settings().channels[0].type, SignalType::Square);
    EXPECT_FLOAT_EQ(w->Generator().Settings().channels[0].square.frequencyHz, 1500.0f);
    EXPECT_TRUE(w->DetailsButton(0)->isEnabled());

    // Level: a preset fills the full scale and both levels; dB full scale refuses +5 dB.
    OnDialog([&](QDialog& d) {
        d.findChildren<QRadioButton*>()[2]->click();
        d.findChild<QComboBox*>("cardPreset")->activated(2);
        for (const char* name : {"fullScaleVolts", "levelLeft", "levelRight"})
            EXPECT_EQ(d.findChild<QLineEdit*>(name)->text(), "2.13") << name;
        d.findChildren<QRadioButton*>()[1]->click();
        EXPECT_EQ(d.findChild<QComboBox*>("units")->count(), 2);
        EXPECT_EQ(Enter(s, d, "levelLeft", "5"), "Output Level must be between 0.0 and -96 dB");
    });
    const OutputLevelSetup level = w->Generator().Settings().level;
    w->LevelButton()->click();
    EXPECT_FLOAT_EQ(w->Generator().Settings().level.levelLeft, level.levelLeft);
}

TEST(GeneratorWindow, MonoOffersOnlyNotAvailableOnTheRight) {
    TempDir dir;
    for (bool stereo : {false, true}) {
        TIniStore ini;  // outlives the window, which writes into it as it goes
        ini.SetInt("Main", "SigTypeR", 4);  // Multiple Tones: it has parameters, yet no Details in mono
        Shell s(dir.path(), stereo ? Stereo : std::function<void(ProcessingSettings&)>());
        s.window->GeneratorTool().UseSettings(ini);
        TGeneratorWindow* w = s.window->GeneratorTool().Open();
        EXPECT_EQ(w->TypeList(1)->count(), stereo ? 14 : 1);
        EXPECT_EQ(w->TypeList(1)->currentText(), stereo ? "Multiple Tones" : "N/A");
        EXPECT_EQ(w->DetailsButton(1)->isEnabled(), stereo);
        const size_t before = s.host.Messages().size();
        w->TypeList(1)->showPopup();
        w->TypeList(1)->hidePopup();
        EXPECT_EQ(s.host.Messages().size() > before && s.LastMessage() == generator_text::kMonoExplanation, !stereo);
    }
}

TEST(GeneratorWindow, RunAndStopButtonsDriveTheGenerator) {
    TempDir dir;
    Shell s(dir.path());
    TGeneratorWindow* w = s.window->GeneratorTool().Open();
    w->SetCompact(true);
    EXPECT_FALSE(w->TypeList(0)->isVisible());
    w->RunButton()->click();
    EXPECT_TRUE(w->Generator().Playing());
    EXPECT_TRUE(w->StopButton()->isEnabled());
    EXPECT_FALSE(w->RunButton()->isEnabled());
    bool silentInDialog = false;
    OnDialog([&](QDialog&) { silentInDialog = !w->Generator().Playing(); });
    w->TypeList(0)->activated(9);
    EXPECT_TRUE(silentInDialog);
    EXPECT_TRUE(w->Generator().Playing());  // and again after it
    w->StopButton()->click();
    EXPECT_FALSE(w->Generator().Playing());
    EXPECT_TRUE(w->RunButton()->isEnabled());

    // The analyser turned stereo while the window is open: a two-channel buffer, a right list.
    Stereo(s.settings);
    w->Refresh();
    EXPECT_EQ(w->Generator().OutputFormat().channels, 2);
    EXPECT_EQ(w->TypeList(1)->count(), 14);
}

}  // namespace
}  // namespace zeltrak
