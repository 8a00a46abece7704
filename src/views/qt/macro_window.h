#pragma once
#include <QPlainTextEdit>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "automation/macro_settings.h"
#include "views/qt/tool_window_slot.h"

class QPushButton;

namespace zeltrak {

class Host;
class TCommandInterpreter;
class TMacroProcessor;
class TQtWaveFileChooser;
class TWaveFileChooser;

// A plain-text editor with the line numbers in a gutter on its left, counted from 0 as the
// macro's messages count them.
class TMacroEditor : public QPlainTextEdit {
public:
    explicit TMacroEditor(QWidget* parent = nullptr);
    void PaintGutter(QPaintEvent* event);
    int GutterWidth() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* gutter_;
};

// The macro processor's window: the script in an editor, Run, Stop and View Output..., the
// file menu and the options. The script runs one line per Step, which the main window's idle
// pass calls.
class TMacroWindow : public QWidget {
public:
    TMacroWindow(Host& host, TIniStore& ini, std::string macroDirectory, QWidget* parent = nullptr);
    ~TMacroWindow() override;

    // The interpreter the script's commands and items go to; without one the script cannot run.
    void SetAutomation(TCommandInterpreter* interpreter);
    // Tests answer the file dialogs.
    void SetFileChooser(TWaveFileChooser* chooser);
    // Told when a run starts or stops.
    void SetRunningChanged(std::function<void(bool)> changed) { runningChanged_ = std::move(changed); }

    bool Run();
    void Stop();
    void Step();
    bool Running() const;
    // Loads a script without questions (the automation's way); false with the message shown.
    bool Load(const std::string& path);
    // The menu's commands; false when the user cancelled or the command failed.
    void New();
    bool Open();
    bool CloseMacro();
    bool Save();
    bool SaveAs();
    bool ViewOutput();
    void ShowOptions();

    QPlainTextEdit& Editor() { return *editor_; }
    const std::string& FileName() const { return fileName_; }
    // The output file the last run closed.
    const std::string& LastOutputFile() const { return lastOutput_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenu();
    void UpdateState();
    void ShowLine(int line);
    void SetFileName(const std::string& name);
    bool WriteTo(const std::string& path);
    bool OfferToSave();

    Host& host_;
    TIniStore& ini_;
    std::string macroDirectory_;
    TCommandInterpreter* interpreter_ = nullptr;
    std::unique_ptr<TMacroProcessor> processor_;
    std::unique_ptr<TQtWaveFileChooser> dialogs_;
    TWaveFileChooser* chooser_ = nullptr;
    std::function<void(bool)> runningChanged_;
    TMacroEditor* editor_ = nullptr;
    QPushButton* run_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* viewOutput_ = nullptr;
    std::string fileName_;
    std::string lastOutput_;
    bool closing_ = false;  // the interpreter may be gone: its events are no longer passed on
};

// The Utilities menu's macro processor: its window slot and the interpreter it runs on.
class TMacroTool {
public:
    TMacroTool(Host& host, QMdiArea& area);

    // Until a store is given the tool keeps its own; reopens the window when it says so.
    void UseSettings(TIniStore& ini) { slot_.UseSettings(ini); }
    // Before the interpreter goes away: null, which stops a running macro.
    void SetAutomation(TCommandInterpreter* interpreter);
    // Called when a macro starts, so that the idle passes that step it begin.
    void SetWake(std::function<void()> wake) { wake_ = std::move(wake); }
    TMacroWindow* Open();
    void Close();
    TMacroWindow* Window() const { return static_cast<TMacroWindow*>(slot_.Window()); }
    QAction* ToggleAction() const { return slot_.ToggleAction(); }
    // One script line; nothing without a running macro.
    void Step();
    bool Running() const;
    // 1 running, 0 stopped, -1 no window.
    int Status() const;
    // Stops a running macro, loads `path` and runs it, opening the window when needed.
    bool RunFile(const std::string& path);
    void StoreForExit() { slot_.StoreOpenState(); }

private:
    Host& host_;
    TCommandInterpreter* interpreter_ = nullptr;
    std::function<void()> wake_;
    TToolWindowSlot slot_;
};

}  // namespace zeltrak
