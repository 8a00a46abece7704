#pragma once
#include <string_view>

#include "automation/automation_shell.h"

namespace zeltrak {

class TMainWin;

// The desktop window as the automation interpreter drives it: every command calls what the
// menu item or button of the same name calls, so that both do the same thing.
class TDesktopShell : public TAutomationShell {
public:
    explicit TDesktopShell(TMainWin& window) : window_(window) {}

    TEngine& Engine() override;
    ProcessingSettings& Settings() override;
    CalibrationRecord& Calibration() override;
    TWaveFileCommands& Files() override;
    Host& UserHost() override;

    bool Run() override;
    bool RunFrames(uint32_t limit) override;
    bool SingleStep() override;
    void Stop() override;
    bool Rewind() override;
    bool FastForward() override;
    bool GoTo(double seconds) override;
    bool Record() override;
    bool Play() override;
    void SelectMode(uint32_t mode) override;
    void ChangeSettings(const std::function<void()>& change) override;
    void CalibrationChanged() override;
    void Exit() override;

    bool FrontEndCommand(const AutomationCommand& command) override;
    double DelayFound() const override;
    int MacroStatus() const override;

private:
    bool MainWindow(int state);
    bool Arrange(int arrangement);
    bool ViewCommand(CommandId id, int view);
    bool CopyBitmap();
    bool Furniture(int which, bool show);
    bool FreqSpan(int view, std::string_view argument);
    bool Generator(int action);
    bool GeneratorSetting(const AutomationCommand& command);
    bool SaveGeneratorSignal(std::string_view argument);
    bool DelayFinder(int action);
    bool Reverb(int action);
    bool SaveReverb(std::string_view argument);
    bool Macro(int action);
    bool OpenMacroFile(std::string_view argument);

    TMainWin& window_;
};

}  // namespace zeltrak
