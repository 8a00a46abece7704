#include "views/headless_macro.h"

#include "automation/command_interpreter.h"
#include "automation/macro_file.h"
#include "platform/host.h"

namespace zeltrak {

THeadlessMacro::THeadlessMacro(TCommandInterpreter& automation, Host& host, MacroOptions options,
                               std::function<void(const std::string&)> written)
    : options_(std::move(options)) {
    MacroEvents events;
    events.stateChanged = [&automation](bool) { automation.MacroStatusChanged(); };
    events.outputClosed = [&automation](const std::string& name) { automation.FileClosed(name); };
    events.written = std::move(written);
    processor_ = std::make_unique<TMacroProcessor>(automation, host, std::move(events));
}

THeadlessMacro::~THeadlessMacro() = default;

bool THeadlessMacro::Load(const std::string& path, std::string& error) {
    std::vector<std::string> lines;
    if (!ReadMacroFile(path, lines, error)) return false;
    if (processor_->Running()) processor_->Stop();
    lines_ = std::move(lines);
    loaded_ = true;
    return true;
}

bool THeadlessMacro::Start() { return loaded_ && !processor_->Running() && processor_->Run(lines_, options_); }

void THeadlessMacro::Stop() {
    if (processor_->Running()) processor_->Stop();
}

int THeadlessMacro::Status() const { return !loaded_ ? -1 : processor_->Running() ? 1 : 0; }

}  // namespace zeltrak
