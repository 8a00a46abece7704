#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "automation/automation_backend.h"
#include "automation/automation_commands.h"
#include "automation/automation_state.h"
#include "automation/item_values.h"

namespace zeltrak {

class TAutomationShell;

// The one interpreter of automation commands and items: the automation server, the macro
// processor and `zeltrak ctl` (through the server) all come here. It carries a command out
// through the front end's shell and reads items from the analyser. No thread of its own: it
// is called on the analyser's thread.
class TCommandInterpreter : public TAutomationBackend {
public:
    explicit TCommandInterpreter(TAutomationShell& shell);
    ~TCommandInterpreter() override;
    TCommandInterpreter(const TCommandInterpreter&) = delete;
    TCommandInterpreter& operator=(const TCommandInterpreter&) = delete;

    // True when the command was carried out; an unknown or malformed command changes nothing.
    bool Execute(std::string_view command) override;
    std::optional<std::string> Request(std::string_view item) override;

    // Where advise values go after every analysed frame and when a single item changes (null:
    // nowhere).
    void SetAdviseSink(TAdviseSink* sink) { sink_ = sink; }
    // The macro processor started or stopped, or closed its output file (its name).
    void MacroStatusChanged() { Notify(kItemMacroStatus); }
    void FileClosed(const std::string& name);

    const AutomationState& State() const { return state_; }

private:
    class FrameLink;
    bool Carry(const AutomationCommand& command);
    bool RunCommand(const AutomationCommand& command);
    bool SettingsCommand(const AutomationCommand& command);
    bool ScalingCommand(const AutomationCommand& command);
    bool TriggerCommand(const AutomationCommand& command);
    bool ViewStateCommand(const AutomationCommand& command);
    bool FileCommand(const AutomationCommand& command);
    bool FileOpen(const std::string& name);
    bool FileSave(const std::string& name);
    bool FileDelete(const std::string& name);
    bool UseTempFile(const std::string& argument);
    bool LoggingCommand(const AutomationCommand& command);
    // The processing dialog's checks on one changed field, then the change with the analyser paused.
    bool ChangeProcessing(const std::function<void(struct ProcessingDialogFields&)>& edit);
    bool ChangeScaling(const std::function<bool(struct ScalingBlock&)>& edit);
    bool SetCompensationFile(int which, const std::string& name);
    void Notify(int item);
    void AdviseAll();

    TAutomationShell& shell_;
    AutomationState state_;
    TItemValues values_;
    TAdviseSink* sink_ = nullptr;
    std::unique_ptr<FrameLink> link_;
};

}  // namespace zeltrak
