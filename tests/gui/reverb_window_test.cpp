// The Reverberation Time window, offscreen, on a manual-clock Loopback card with a room of
// 0.8 s: Start measures and draws, Save and Load keep the results, the options dialog refuses
// a decay time out of range, Copy as Text follows the view, Esc cancels, the menu entry opens
// the window and remembers it.
#include <gtest/gtest.h>

#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <cstdio>

#include "gui/shell.h"
#include "utilities/reverb_strings.h"
#include "views/qt/reverb_window.h"

namespace zeltrak {
namespace {

struct Bench {
    LoopbackDriver card{Room()};
    ProcessingSettings settings;
    QtHost host;
    TIniStore ini;
    std::unique_ptr<TEngine> engine;
    std::unique_ptr<TReverbWindow> window;

    static LoopbackConfig Room() {
        // Half gain: the room's peaks would clip the recording at full gain.
        LoopbackConfig config{.clock = LoopbackConfig::Clock::Manual, .gain = {0.5, 0.5}, .impulseResponse = {}};
        EXPECT_TRUE(config.Set("RoomRT", "0.8"));
        return config;
    }
    explicit Bench(const std::string& dir) {
        settings.Load(TIniStore(), DeviceCounts{1, 1});
        host.SetQuiet(true);
        EngineEnvironment env;
        env.tempDir = env.waveDir = dir;
        engine = std::make_unique<TEngine>(host, card, settings, nullptr, env);
        ini.SetInt("ReverbOpts", "MaxDecayTime", 3);
        ini.SetInt("ReverbOpts", "SmoothingMethod", 2);
        ini.SetInt("ReverbOpts", "ExtrapolationMethod", 2);
        window = std::make_unique<TReverbWindow>(host, *engine, ini);
        window->resize(800, 500);
        window->show();
    }
    // Moves the card on by `frames` on each turn of the wait; `then` runs on turn `at`.
    void Pump(int at = -1, std::function<void()> then = {}) {
        window->SetTurnHook([this, at, then, turn = 0]() mutable {
            card.Advance(1024);
            if (++turn == at) then();
        });
    }
};

int BandAt(const ReverbData& d, float hz) {
    for (int b = 0; b < d.bandCount; ++b)
        if (std::abs(d.results[size_t(b)].frequency - hz) < 0.05f * hz) return b;
    return -1;
}

long PixelsOf(const QImage& image, QRgb color) {
    long n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == color;
    return n;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find("\r\n")); }

TEST(ReverbWindow, MeasuresTheRoomDrawsSavesAndLoadsIt) {
    TempDir dir;
    Bench b(dir.path());
    const QRgb bar = qRgb(40, 90, 200);
    EXPECT_EQ(PixelsOf(b.window->Plot()->grab().toImage(), bar), 0);
    b.Pump();
    ASSERT_TRUE(b.window->Start()) << b.host.Messages().size();
    const ReverbData& d = b.window->Data();
    const int k1 = BandAt(d, 1000.0f);
    ASSERT_GE(k1, 0);
    EXPECT_NEAR(d.results[size_t(k1)].time[5], 0.8, 0.04);  // RT30 (t60 from the 30 dB drop), Schroeder
    EXPECT_GT(PixelsOf(b.window->Plot()->grab().toImage(), bar), 1000);

    // Copy as Text of the bar chart: the first band and its RT60 (the stored choice).
    char line[64];
    std::snprintf(line, sizeof line, "%f\t%f", d.results[0].frequency, d.results[0].time[5]);
    b.window->CopyAsText();
    EXPECT_EQ(FirstLine(b.host.ClipboardText()), line);

    // Starting over asks about the unsaved results; Cancel keeps them.
    EXPECT_FALSE(b.window->Start());
    EXPECT_EQ(b.host.Messages().back(), kReverbUnsavedQuestion);
    EXPECT_TRUE(d.present);

    const std::string path = dir.path() + "/room.rvb";
    ASSERT_TRUE(b.window->Save(path));
    EXPECT_FALSE(d.modified);
    EXPECT_EQ(b.window->windowTitle(), "Reverberation Time - room.rvb");
    TReverbWindow again(b.host, *b.engine, b.ini);
    ASSERT_TRUE(again.Load(path));
    const ReverbData& e = again.Data();
    ASSERT_EQ(e.frames.size(), d.frames.size());
    EXPECT_EQ(e.bandCount, d.bandCount);
    EXPECT_EQ(std::memcmp(e.frames.data(), d.frames.data(), d.frames.size() * sizeof(ReverbFrame)), 0);
    EXPECT_EQ(e.results[size_t(k1)].time, d.results[size_t(k1)].time);
}

TEST(ReverbWindow, EscCancelsAndKeepsTheWindowUsable) {
    TempDir dir;
    Bench b(dir.path());
    b.Pump(50, [&] {
        QApplication::postEvent(b.window.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    EXPECT_FALSE(b.window->Start());
    EXPECT_TRUE(b.host.Messages().empty());  // cancelled, not refused
    EXPECT_FALSE(b.window->Data().present);
    EXPECT_FALSE(b.window->Measuring());
}

TEST(ReverbWindow, OptionsRefuseADecayTimeOutOfRange) {
    TempDir dir;
    Bench b(dir.path());
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Reverb Options");
        for (const char* bad : {"0", "31", "abc"}) {
            dialog->findChild<QLineEdit*>("maxDecayTime")->setText(bad);
            const size_t before = b.host.Messages().size();
            dialog->accept();
            EXPECT_TRUE(dialog->isVisible()) << bad;
            EXPECT_EQ(b.host.Messages().size(), before + 1) << bad;
            EXPECT_EQ(b.host.Messages().back(), kReverbMaxDecayRangeText) << bad;
        }
        dialog->findChild<QLineEdit*>("maxDecayTime")->setText("30");
        dialog->accept();
        EXPECT_FALSE(dialog->isVisible());
    });
    b.window->EditOptions();
    EXPECT_EQ(b.window->Options().maxDecayTime, 30);
    EXPECT_EQ(b.ini.GetInt("ReverbOpts", "MaxDecayTime", 0), 30);
}

TEST(ReverbWindow, OpensFromTheUtilitiesMenuAndRemembersIt) {
    TempDir dir;
    Shell s(dir.path());
    TIniStore ini;
    s.window->ReverbTool().UseSettings(ini);
    s.window->ReverbTool().ToggleAction()->trigger();
    ASSERT_NE(s.window->ReverbTool().Window(), nullptr);
    EXPECT_EQ(s.window->Client()->activeSubWindow()->windowTitle(), "Reverberation Time");
    EXPECT_EQ(ini.GetInt("ViewStatus", "Reverb", 0), 1);
    s.window->ReverbTool().ToggleAction()->trigger();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(s.window->ReverbTool().Window(), nullptr);
    EXPECT_EQ(ini.GetInt("ViewStatus", "Reverb", 1), 0);
}

}  // namespace
}  // namespace zeltrak
