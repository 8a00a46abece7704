// The macro processor window offscreen on the Loopback card, driven by the desktop's own
// automation interpreter: its enable, read-only and title rules, a script run from the window
// and from an automation command, the status item, and the options through the settings.
#include <gtest/gtest.h>

#include <QPushButton>
#include <fstream>
#include <sstream>

#include "automation/command_interpreter.h"
#include "gui/shell.h"
#include "views/qt/desktop_automation.h"
#include "views/qt/macro_dialogs.h"
#include "views/qt/macro_window.h"

namespace zeltrak {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Bench {
    TempDir dir;
    Shell s{dir.path()};
    TIniStore ini;
    TDesktopShell shell{*s.window};
    TCommandInterpreter interpreter{shell};
    TMacroTool& tool = s.window->MacroTool();
    Bench() {
        ini.SetString("Paths", "macro", dir.path());
        tool.UseSettings(ini);
        tool.SetAutomation(&interpreter);
    }
    ~Bench() { tool.SetAutomation(nullptr); }
    std::string Path(const char* name) const { return dir.path() + "/" + name; }
    TMacroWindow& Window() {
        if (!tool.Window()) tool.Open()->SetFileChooser(&s.chooser);
        return *tool.Window();
    }
    QPushButton* Button(const char* name) { return Window().findChild<QPushButton*>(name); }
    std::string Status() { return interpreter.Request("Macro Status").value_or("none"); }
};

TEST(MacroWindow, EnableReadOnlyAndTitleFollowTextFileAndRun) {
    Bench b;
    TMacroWindow& w = b.Window();
    struct Case {
        const char* text;
        bool run;
        const char* state;  // Run, Stop, View Output enabled; editor read-only
    };
    // One empty line is no text; two are.
    for (const Case& c : {Case{"", false, "--+w"}, Case{"\n", false, "+-+w"}, Case{"WaitSeconds 100", false, "+-+w"},
                          Case{"WaitSeconds 100", true, "-+-r"}}) {
        w.Editor().setPlainText(c.text);
        if (c.run) {
            ASSERT_TRUE(w.Run());
        }
        std::string state;
        for (const char* name : {"Run", "Stop", "View Output..."}) state += b.Button(name)->isEnabled() ? '+' : '-';
        state += w.Editor().isReadOnly() ? 'r' : 'w';
        EXPECT_EQ(state, c.state) << c.text;
        w.Stop();
    }
    EXPECT_EQ(w.windowTitle().toStdString(), macro_text::kUntitledTitle);
    b.s.chooser.next = b.Path("saved.mac");
    ASSERT_TRUE(w.SaveAs());
    EXPECT_EQ(w.windowTitle().toStdString(), "Macro - [" + b.Path("saved.mac") + "]");
    EXPECT_EQ(Slurp(b.Path("saved.mac")), "WaitSeconds 100\n");
    EXPECT_EQ(ReadMacroSettings(b.ini).macroFilename, b.Path("saved.mac"));
    // A changed macro asks before it is closed; Cancel keeps it, No drops the change.
    w.Editor().appendPlainText("MacroEnd");
    b.s.host.SetScriptedAnswer(true, Answer::Cancel);
    EXPECT_FALSE(w.CloseMacro());
    EXPECT_EQ(b.s.LastMessage(), "Macro file \"" + b.Path("saved.mac") + "\" has changed. Save file before closing?");
    b.s.host.SetScriptedAnswer(true, Answer::No);
    EXPECT_TRUE(w.CloseMacro());
    EXPECT_EQ(w.windowTitle().toStdString(), macro_text::kUntitledTitle);
    EXPECT_FALSE(w.Load(b.Path("missing.mac")));
    EXPECT_NE(b.s.LastMessage().find("Failure opening macro file"), std::string::npos);
    // Exit closes the window with its frame.
    w.findChild<QAction*>("Exit")->trigger();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(b.tool.Window(), nullptr);
}

TEST(MacroWindow, ScriptFromTheWindowWritesMeasuredItems) {
    Bench b;
    // No output file set: macro_output.txt in the macro folder, which the run makes.
    b.ini.SetString("Paths", "macro", b.Path("macros"));
    const std::string output = b.Path("macros/macro_output.txt");
    TMacroWindow& w = b.Window();
    w.Editor().setPlainText("; two frames, then their count\nOutputComment counted\nSend [Run 2]\nWaitSeconds 1.5\n"
                            "Output FFT Count\nOutputComment done");
    ASSERT_TRUE(w.Run());
    EXPECT_EQ(b.Status(), "1");
    ASSERT_TRUE(SpinUntil([&] { return !w.Running(); }));
    EXPECT_FALSE(b.s.engine->Running());
    const std::string count = b.interpreter.Request("FFT Count").value_or("");
    EXPECT_EQ(count, std::to_string(b.s.engine->FrameCount()));
    EXPECT_GT(std::stol("0" + count), 2);  // a run of 2 stops once more than 2 frames were analysed
    EXPECT_EQ(Slurp(output), "counted\n" + count + "\ndone\n");
    EXPECT_EQ(w.LastOutputFile(), output);
    EXPECT_EQ(b.Status(), "0");
    // Overwrite (the default) empties the file when the next run starts; the analyser
    // stopping under a waiting macro leaves it running.
    w.Editor().setPlainText("WaitSeconds 0.2\nOutputComment again");
    ASSERT_TRUE(w.Run());
    b.s.window->StopAnalyser();
    ASSERT_TRUE(SpinUntil([&] { return !w.Running(); }));
    EXPECT_EQ(Slurp(output), "again\n");
}

TEST(MacroWindow, AutomationOpensRunsStopsAndReportsTheMacro) {
    Bench b;
    b.ini.SetString("MacroOpts", "OutputFilename", b.Path("out.txt"));
    {
        std::ofstream script(b.Path("wait.mac"));
        script << "OutputComment waiting\nWaitSeconds 1000\nOutputComment never\n";
    }
    EXPECT_EQ(b.Status(), "-1");
    EXPECT_FALSE(b.interpreter.Execute("[Start Macro]"));
    ASSERT_TRUE(b.interpreter.Execute("[Open Macro]"));
    EXPECT_EQ(b.Status(), "0");
    ASSERT_TRUE(b.interpreter.Execute("[File Open " + b.Path("wait.mac") + "]"));
    EXPECT_EQ(b.Status(), "1");
    // The wait holds the macro, not the window: other events go on.
    ASSERT_TRUE(SpinUntil([&] { return b.tool.Window()->Editor().textCursor().blockNumber() == 1; }));
    EXPECT_TRUE(b.tool.Window()->Running());
    ASSERT_TRUE(b.interpreter.Execute("[Stop Macro]"));
    EXPECT_EQ(b.Status(), "0");
    EXPECT_EQ(Slurp(b.Path("out.txt")), "waiting\n");
    ASSERT_TRUE(b.interpreter.Execute("[Open Macro File " + b.Path("wait.mac") + "]"));
    EXPECT_EQ(b.Status(), "1");
    // The close box asks while a macro runs; the command closes without asking.
    b.s.host.SetScriptedAnswer(true, Answer::No);
    EXPECT_FALSE(b.tool.Window()->close());
    EXPECT_EQ(b.s.LastMessage(), macro_text::kCloseWhileRunning);
    const std::size_t asked = b.s.host.Messages().size();
    ASSERT_TRUE(b.interpreter.Execute("[Close Macro]"));
    EXPECT_EQ(b.s.host.Messages().size(), asked);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // what the event loop does next
    EXPECT_EQ(b.tool.Window(), nullptr);
    EXPECT_EQ(b.Status(), "-1");
    EXPECT_EQ(b.ini.GetInt("ViewStatus", "Macro", -1), 0);
}

TEST(MacroWindow, OptionsDialogRoundTripsThroughTheSettings) {
    TIniStore ini;
    const MacroSettings unset = ReadMacroSettings(ini);
    EXPECT_TRUE(unset.overwrite);
    EXPECT_EQ(unset.outputViewerProgram, "notepad.exe");
    EXPECT_EQ(MacroRunOptions(unset, "/m").outputFile, "/m/macro_output.txt");
    MacroSettings edited = unset;
    edited.overwrite = false;
    edited.outputFilename = "/data/run log.txt";
    edited.outputViewerProgram = "less";
    StoreMacroSettings(edited, ini);
    TIniStore reread;
    reread.Parse(ini.Text());
    TMacroOptionsDialog dialog(ReadMacroSettings(reread), "/m");
    const MacroSettings shown = dialog.Result();
    EXPECT_EQ(std::tie(shown.overwrite, shown.outputFilename, shown.outputViewerProgram),
              std::tie(edited.overwrite, edited.outputFilename, edited.outputViewerProgram));
    dialog.findChild<QPushButton*>("defaults")->click();
    const MacroSettings defaults = dialog.Result();
    EXPECT_EQ(std::tie(defaults.overwrite, defaults.outputFilename, defaults.outputViewerProgram),
              std::make_tuple(true, std::string("/m/macro_output.txt"), std::string("Notepad.exe")));
    EXPECT_EQ(MacroRunOptions(edited, "/m").outputFile, "/data/run log.txt");
    EXPECT_FALSE(MacroRunOptions(edited, "/m").overwrite);
}

}  // namespace
}  // namespace zeltrak
