#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zeltrak {

class Host;
class TEngine;
struct ProcessingSettings;
struct CalibrationRecord;

// Where an Open comes from: the menu is refused in Real-Time mode, automation (macro or
// automation server) switches that mode to Post-Processing instead.
enum class OpenOrigin { Menu, Automation };

// The three answers to the question asked when a file without a calibration chunk is opened
// while calibration is on.
enum class CalibrationChoice { KeepCurrent, SelectOther, Disable };

// What needs a dialog. The window implements it with its file dialogs, tests with a script.
class TWaveFileChooser {
public:
    virtual ~TWaveFileChooser() = default;
    // An existing file to open (wave files and .cal files). The filter has the form
    // "Description (*.ext)|*.ext|". nullopt or an empty name means cancelled.
    virtual std::optional<std::string> ChooseOpenFile(const std::string& title, const std::string& filter) = 0;
    // A name to save under; `current` is the file's name, empty for an untitled file.
    virtual std::optional<std::string> ChooseSaveFile(const std::string& title, const std::string& filter,
                                                      const std::string& current) = 0;
    // The wrong-calibration warning with its three choices; dismissing it is KeepCurrent.
    virtual CalibrationChoice AskWrongCalibration(const std::string& text) = 0;
};

// What the shell hears about; every member may be left empty.
struct TWaveFileEvents {
    // The window title: "<program title> [<file name or Untitled>]", or the program title alone.
    std::function<void(const std::string&)> caption;
    // An automation open moved the analyser out of Real-Time mode; the settings already hold
    // the new mode, the window moves its check mark and rebuilds the toolbar.
    std::function<void(uint32_t mode)> modeChanged;
    // The application's calibration record was replaced, reloaded or disabled.
    std::function<void()> calibrationChanged;
    // A wave file was opened or saved under this name (for the recent-file list).
    std::function<void(const std::string& name)> named;
    // The open file changed: one was opened or closed (for the automation server's links).
    std::function<void()> fileChanged;
};

// The shell's File commands for its one open wave file, without a window. The file itself
// lives in the engine (TEngine::WaveFile); in Real-Time mode that is the history buffer.
//
// The application's CalibrationRecord is reached through the reference given to the
// constructor and is changed in place: a calibration chunk in an opened file replaces it,
// the wrong-calibration question may reload or disable it. Whoever else reads that record
// (the spectrum scaling) sees the change; the engine's ratios are set with SetCalibration.
// Settings are the live record the engine was built with.
class TWaveFileCommands {
public:
    // `tempDir` is where working copies go (empty: the system's temporary directory).
    TWaveFileCommands(Host& host, TEngine& engine, ProcessingSettings& settings, CalibrationRecord& calibration,
                      TWaveFileChooser& chooser, std::string tempDir = "", TWaveFileEvents events = {});

    // File Open: refused in Real-Time mode, else asks for a name and opens it.
    bool OpenFromMenu();
    // Closes the current file (its question may cancel the open), then opens `name`. On any
    // failure the user has been told why and settings, calibration and mode are unchanged.
    bool Open(const std::string& name, OpenOrigin origin);
    // False when the user cancelled (or a save that was asked for failed): the file stays open.
    // In Real-Time mode the file is the history buffer and goes without a question.
    bool Close();
    // Before a Real-Time run replaces the file the engine holds: that file is the user's (one
    // opened or kept earlier), so a changed one is offered for saving whatever the mode.
    bool CloseBeforeRealTimeRun();
    // Save writes under the file's name; an untitled file goes to Save As.
    bool Save();
    bool SaveAs();
    bool SaveAs(const std::string& name);

    // The name of the last named file that was closed.
    const std::string& LastClosedName() const { return lastClosedName_; }
    // The name to remember at exit: empty when nothing is open or the file has no name.
    std::string OpenFileName() const;
    // The File I/O options cannot change while a file is open outside Real-Time mode (the
    // Real-Time history is rebuilt with the options at every run).
    bool FileIoOptionsLocked() const;
    // For the File I/O dialog: when locked, tells the user so and returns false.
    bool AllowFileIoOptionsChange();
    // Marks the open (named) file as a temporary result of ours: closing deletes it from disk.
    // Saving it under its own name again keeps it; a Save As elsewhere leaves the temporary
    // file to be deleted and the new one kept.
    void SetTemporaryResult(bool temporary);
    // The window title as last set.
    const std::string& Caption() const { return caption_; }
    // Told the name of every named file that is closed (the automation's "File Closed").
    void SetClosedListener(std::function<void(const std::string&)> listener) { closedListener_ = std::move(listener); }

private:
    bool CloseFile(bool askInRealTime);
    bool SaveUnder(const std::string* newName);
    void AskAboutCalibration();
    void ApplyCalibration();
    void SetCaption(const std::string& caption);
    std::string FileCaption() const;

    Host& host_;
    TEngine& engine_;
    ProcessingSettings& settings_;
    CalibrationRecord& calibration_;
    TWaveFileChooser& chooser_;
    std::string tempDir_;
    TWaveFileEvents events_;
    std::function<void(const std::string&)> closedListener_;

    std::string lastClosedName_;
    std::string caption_;
    std::string temporaryName_;  // deleted at close; empty when there is none
    // An untitled file whose first save failed keeps the name it was given, but it is not
    // yet a file on disk: it stays "Untitled" and Save asks for a name again.
    bool nameUnconfirmed_ = false;
};

}  // namespace zeltrak
