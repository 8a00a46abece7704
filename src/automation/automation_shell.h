#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "automation/automation_commands.h"

namespace zeltrak {

class Host;
class TDataLogger;
class TEngine;
class TWaveFileCommands;
struct CalibrationRecord;
struct ProcessingSettings;

// The analyser as the automation interpreter drives it. The desktop window and the headless
// program each implement it with the functions their own menus and command line call, so that
// a command and the menu item of the same name do the same thing. Every call comes on the
// analyser's thread.
class TAutomationShell {
public:
    virtual ~TAutomationShell() = default;

    // What the analyser holds.
    virtual TEngine& Engine() = 0;
    virtual ProcessingSettings& Settings() = 0;
    virtual CalibrationRecord& Calibration() = 0;
    virtual TWaveFileCommands& Files() = 0;
    virtual Host& UserHost() = 0;
    // The data logger, null when this front end has none.
    virtual TDataLogger* Logger() { return nullptr; }

    // The Run menu and transport buttons; false when the command was refused.
    virtual bool Run() = 0;
    // Runs and stops once more than `limit` frames were analysed.
    virtual bool RunFrames(uint32_t limit) = 0;
    virtual bool SingleStep() = 0;
    virtual void Stop() = 0;
    virtual bool Rewind() = 0;
    virtual bool FastForward() = 0;
    virtual bool GoTo(double seconds) = 0;
    virtual bool Record() = 0;
    virtual bool Play() = 0;
    // Mode commands (the OpMode codes); Post-Processing and Recorder close the open file first.
    virtual void SelectMode(uint32_t mode) = 0;
    // Stops a running analyser around `change` (which edits Settings()) and starts it again
    // after; the front end then shows the new settings.
    virtual void ChangeSettings(const std::function<void()>& change) = 0;
    // The calibration record was replaced (a .cal file, a temporary file's record).
    virtual void CalibrationChanged() = 0;
    // Closes the program (after its usual questions).
    virtual void Exit() = 0;

    // The commands only some front ends carry out (the main window, views, tool windows,
    // overlays, macros, the generator): false when not processed here.
    virtual bool FrontEndCommand(const AutomationCommand& /*command*/) { return false; }

    // Item values the front end holds.
    virtual double DelayFound() const { return 0.0; }
    // 1 while a macro runs, 0 when stopped, -1 when no macro window is open.
    virtual int MacroStatus() const { return -1; }
};

}  // namespace zeltrak
