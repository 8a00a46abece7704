#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zeltrak {

class Host;
class TAutomationBackend;

// The [MacroOpts] settings a run uses.
struct MacroOptions {
    std::string outputFile;      // where Output and OutputComment write (resolved, never empty)
    bool overwrite = true;       // OverwriteFlag: empty the output file when a run starts
    std::string macroDirectory;  // where a bare SetOutputFile name goes
};

// What the macro window and the headless runner hear about.
struct MacroEvents {
    std::function<void(bool running)> stateChanged;        // after Run and after Stop
    std::function<void(int line)> lineChanged;             // the line to show as current (from 0)
    std::function<void(const std::string& name)> outputClosed;  // the output file was closed
    std::function<void(const std::string& text)> written;  // a line written to the output file (without its line end)
};

// The macro interpreter: runs a script of automation commands, waits, loops, jumps and output
// lines, one line per Step. It has no thread or timer: the analyser's idle pass calls Step just
// before the acquisition loop does its own work. Time comes from the host's tick and wall clock
// (local time through the C library), so tests run a week of waits on a manual clock.
class TMacroProcessor {
public:
    TMacroProcessor(TAutomationBackend& automation, Host& host, MacroEvents events = {});
    ~TMacroProcessor();

    // Starts the script (the editor's lines) from line 0; false when it has no text.
    bool Run(std::vector<std::string> lines, const MacroOptions& options);
    void Stop();
    // One line at most; nothing while stopped.
    void Step();

    bool Running() const;
    int CurrentLine() const;
    // The output file as the script last set it.
    const std::string& OutputFile() const;
    // Return addresses held by GoTo (0 ... 10).
    int ReturnDepth() const;
    // In one of the waits: the next line is not due at once.
    bool Waiting() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A script line as the interpreter reads it: trailing CR, LF and tabs removed, then trailing
// blanks, then leading blanks.
std::string NormaliseMacroLine(std::string line);

}  // namespace zeltrak
