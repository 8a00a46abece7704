#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "automation/macro_processor.h"

namespace zeltrak {

class Host;
class TCommandInterpreter;

// The macro processor of the analyser without a window: a script read from a file and run on
// the headless analyser, started and stopped by the command line and by automation commands.
// The interpreter hears when a macro starts or stops and when its output file closes.
class THeadlessMacro {
public:
    // `written` receives each line the script writes to its output file.
    THeadlessMacro(TCommandInterpreter& automation, Host& host, MacroOptions options,
                   std::function<void(const std::string&)> written = {});
    ~THeadlessMacro();

    // Reads the script; false (with the reason in `error`) when it cannot be used.
    bool Load(const std::string& path, std::string& error);
    // Runs the loaded script from its first line.
    bool Start();
    void Stop();
    // One line at most, from the host loop's pass, before the analyser's own step.
    void Step() { processor_->Step(); }
    bool Running() const { return processor_->Running(); }
    // A line is due now (running and not in a wait): the host loop should not sleep.
    bool LineDue() const { return processor_->Running() && !processor_->Waiting(); }
    // 1 running, 0 stopped, -1 nothing loaded (no macro "window").
    int Status() const;

private:
    MacroOptions options_;
    std::vector<std::string> lines_;
    bool loaded_ = false;
    std::unique_ptr<TMacroProcessor> processor_;
};

}  // namespace zeltrak
