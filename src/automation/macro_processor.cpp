#include "automation/macro_processor.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "automation/automation_backend.h"
#include "automation/macro_strings.h"
#include "base/strings.h"
#include "base/text_format.h"
#include "platform/host.h"

namespace zeltrak {
namespace {

constexpr int kLabelSlots = 10;
constexpr int kStackDepth = 10;
constexpr std::size_t kMaxLineLength = 255;

enum class LineKind { Nothing, Comment, Wait, Loop, Label, GoTo, Send, SetOutputFile, OutputComment, Output, Return, End, Unrecognized };

bool StartsWith(std::string_view line, std::string_view keyword) {
    return line.size() >= keyword.size() && EqualsIgnoreCase(line.substr(0, keyword.size()), keyword);
}

// The checks run in this order and a later match overrides an earlier one.
LineKind Classify(std::string_view line) {
    if (line.empty()) return LineKind::Nothing;
    static const std::pair<const char*, LineKind> kPrefixes[] = {
        {"Wait", LineKind::Wait},       {"Loop", LineKind::Loop},
        {"Label ", LineKind::Label},    {"GoTo ", LineKind::GoTo},
        {"Send ", LineKind::Send},      {"SetOutputFile ", LineKind::SetOutputFile},
        {"OutputCo", LineKind::OutputComment}, {"Output ", LineKind::Output},
        {"Return", LineKind::Return},   {"MacroEnd", LineKind::End},
    };
    LineKind kind = line[0] == ';' ? LineKind::Comment : LineKind::Unrecognized;
    for (const auto& [keyword, k] : kPrefixes)
        if (StartsWith(line, keyword)) kind = k;
    return kind;
}

// The text after a keyword of `length` characters (empty when the line is no longer).
std::string After(const std::string& line, std::size_t length) {
    return line.size() > length ? line.substr(length) : std::string();
}

// A whole number the way a script writes it: leading blanks, a sign, digits; clamped to int.
int IntegerOf(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

std::tm LocalTime(int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

int HourMinute(const std::tm& t) { return t.tm_hour * 100 + t.tm_min; }

// Local midnight at the start of an MM/DD/YYYY date; nothing for a text that is no such date.
std::optional<int64_t> DateMidnight(const std::string& text) {
    if (text.size() != 10) return std::nullopt;
    const int month = IntegerOf(text.substr(0, 2));
    const int day = IntegerOf(text.substr(3, 2));
    const int year = IntegerOf(text.substr(6, 4));
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 2000) return std::nullopt;
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    if (when == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<int64_t>(when);
}

// Milliseconds of a WaitSeconds argument; a negative or unreadable one waits for nothing.
int64_t WaitMilliseconds(const std::string& text) {
    const double ms = std::trunc(std::strtod(text.c_str(), nullptr) * 1000.0);
    if (!(ms > 0.0)) return 0;
    return ms >= 9.0e18 ? INT64_MAX : static_cast<int64_t>(ms);
}

}  // namespace

std::string NormaliseMacroLine(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == '\t')) line.pop_back();
    while (!line.empty() && line.back() == ' ') line.pop_back();
    const std::size_t first = line.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : line.substr(first);
}

struct TMacroProcessor::State {
    TAutomationBackend& automation;
    Host& host;
    MacroEvents events;
    MacroOptions options;
    std::vector<std::string> lines;

    bool running = false;
    int lineCount = 0;
    int currentLine = 0;
    std::string line;
    bool waiting = false;
    uint32_t lastTick = 0;  // WaitSeconds counts elapsed ticks, so the 49-day tick wrap does no harm
    int64_t waitedMs = 0;
    int64_t waitMs = 0;
    int clockStart = 0;
    bool wrapPending = false;
    int clockTarget = 0;
    int64_t dateTarget = 0;
    int loopStart = 0;
    int loopCount = 0;
    int loopPass = 0;
    std::array<std::string, kLabelSlots> labelNames;
    std::array<int, kLabelSlots> labelLines{};
    int labelSlot = 0;
    std::array<int, kStackDepth> stack{};
    int stackIndex = -1;
    std::string outputName;
    std::FILE* output = nullptr;

    State(TAutomationBackend& a, Host& h, MacroEvents e) : automation(a), host(h), events(std::move(e)) {}
    ~State() { CloseOutput(); }

    void Reset();
    void ScanLabels();
    void Execute();
    void Fail(const char* format);
    void StopRun();
    void CloseOutput();
    void Write(const std::string& text);
    std::string Expand(std::string text);
    std::string ResolveOutputName(const std::string& name) const;

    void GoTo();
    void Return();
    void Push(int address);
    void LoopLine();
    void WaitLine();
    bool StartWait();
    bool WaitEnded();
    void Send();
    void Output();
    void SetOutputFile();
};

void TMacroProcessor::State::Reset() {
    CloseOutput();
    outputName = options.outputFile;
    line.clear();
    waiting = wrapPending = false;
    lastTick = 0;
    waitedMs = waitMs = dateTarget = 0;
    clockStart = clockTarget = loopStart = loopCount = loopPass = 0;
    labelNames.fill(std::string());
    labelLines.fill(0);
    labelSlot = 0;
    stack.fill(-1);
    stackIndex = -1;
}

void TMacroProcessor::State::ScanLabels() {
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        const std::string text = NormaliseMacroLine(lines[i]);
        if (Classify(text) != LineKind::Label || text.compare(0, 6, "Label ") != 0) continue;
        labelNames[labelSlot] = text.substr(6);
        labelLines[labelSlot] = i;
        labelSlot = (labelSlot + 1) % kLabelSlots;
    }
}

void TMacroProcessor::State::CloseOutput() {
    if (output) std::fclose(output);
    output = nullptr;
}

void TMacroProcessor::State::StopRun() {
    if (!running) return;
    running = false;
    CloseOutput();
    if (events.outputClosed) events.outputClosed(outputName);
    if (events.stateChanged) events.stateChanged(false);
}

// Every script error is shown once and ends the run past the failing line.
void TMacroProcessor::State::Fail(const char* format) {
    ShowMessage(host, FormatText(format, line, currentLine));
    ++currentLine;
    StopRun();
}

// A file that cannot be opened takes nothing, without a message, as a run must not stop for it.
void TMacroProcessor::State::Write(const std::string& text) {
    if (!output && !outputName.empty()) output = std::fopen(outputName.c_str(), "a+");
    if (!output) return;
    std::fwrite(text.data(), 1, text.size(), output);
    std::fputc('\n', output);
    std::fflush(output);  // a log written for days keeps every line even if the program dies
    if (events.written) events.written(text);
}

std::string TMacroProcessor::State::Expand(std::string text) {
    const std::size_t at = text.find(kMacroAutoDateTime);
    if (at == std::string::npos) return text;
    const std::tm t = LocalTime(host.WallClockSeconds());
    const std::string stamp =
        FormatText(kMacroDateTimeFormat, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text.replace(at, std::string_view(kMacroAutoDateTime).size(), stamp);
}

// A bare name goes into the macro folder; one with a path is used as written.
std::string TMacroProcessor::State::ResolveOutputName(const std::string& name) const {
    if (name.empty() || name.find('/') != std::string::npos || options.macroDirectory.empty()) return name;
    return options.macroDirectory + "/" + name;
}

void TMacroProcessor::State::Push(int address) {
    if (stackIndex == kStackDepth - 1) {
        stack.fill(-1);
        stackIndex = -1;
    }
    stack[++stackIndex] = address;
}

void TMacroProcessor::State::GoTo() {
    const std::string name = After(line, 5);
    int target = -1;
    for (int slot = 0; slot < kLabelSlots; ++slot)
        if (!labelNames[slot].empty() && labelNames[slot] == name) target = labelLines[slot];
    if (target < 0) {
        ++currentLine;
        return;
    }
    Push(currentLine + 1);
    currentLine = std::min(target, lineCount - 1);
}

void TMacroProcessor::State::Return() {
    if (stackIndex < 0) {
        ++currentLine;
        return;
    }
    const int address = stack[stackIndex];
    stack[stackIndex--] = -1;
    currentLine = address <= lineCount ? address : currentLine + 1;
}

void TMacroProcessor::State::LoopLine() {
    if (StartsWith(line, "Loop ")) {
        loopCount = IntegerOf(After(line, 5));
        loopPass = 1;
        loopStart = currentLine;
    } else if (EqualsIgnoreCase(line, "LoopEnd")) {
        if (loopPass < loopCount) {
            ++loopPass;
            currentLine = loopStart + 1;
            return;
        }
        loopStart = loopCount = loopPass = 0;
    }
    ++currentLine;
}

// Starts the wait the line names; false for a line of the family that is no wait (or a bad date,
// which has then been reported).
bool TMacroProcessor::State::StartWait() {
    const int now = HourMinute(LocalTime(host.WallClockSeconds()));
    if (StartsWith(line, "WaitSeconds ")) {
        waitMs = WaitMilliseconds(After(line, 12));
        waitedMs = 0;
        lastTick = host.TickMilliseconds();
    } else if (StartsWith(line, "WaitClock ") || StartsWith(line, "WaitTopOfHour")) {
        const bool clock = StartsWith(line, "WaitClock ");
        clockTarget = clock ? IntegerOf(After(line, 10)) : now / 100 * 100 + 100;
        if (!clock && clockTarget > 2300) clockTarget = 0;
        clockStart = now;
        wrapPending = now > clockTarget;
    } else if (StartsWith(line, "WaitDate ")) {
        const std::optional<int64_t> midnight = DateMidnight(After(line, 9));
        if (!midnight) {
            Fail(kMacroUnrecognized);
            return false;
        }
        dateTarget = *midnight;
    } else {
        return false;
    }
    return true;
}

bool TMacroProcessor::State::WaitEnded() {
    if (StartsWith(line, "WaitSeconds ")) {
        const uint32_t tick = host.TickMilliseconds();
        waitedMs += static_cast<uint32_t>(tick - lastTick);
        lastTick = tick;
        return waitedMs >= waitMs;
    }
    if (StartsWith(line, "WaitDate ")) return host.WallClockSeconds() >= dateTarget;
    const int now = HourMinute(LocalTime(host.WallClockSeconds()));
    if (now < clockStart) wrapPending = false;  // midnight has passed
    if (clockTarget <= 1 && now <= 1) wrapPending = false;
    return !wrapPending && now >= clockTarget;
}

void TMacroProcessor::State::WaitLine() {
    if (!waiting) {
        waiting = StartWait();
        return;
    }
    if (!WaitEnded()) return;
    waiting = false;
    ++currentLine;
}

void TMacroProcessor::State::Send() {
    const std::string command = Expand(NormaliseMacroLine(After(line, 5)));
    if (!automation.Execute(command)) return Fail(kMacroExecuteFailed);
    ++currentLine;
}

void TMacroProcessor::State::Output() {
    const std::string item = NormaliseMacroLine(After(line, 7));
    const std::optional<std::string> value = automation.Request(item);
    if (!value || value->empty()) {
        if (!EqualsIgnoreCase(item, kMacroPeakFrequencyItem)) return Fail(kMacroRequestFailed);
    } else {
        Write(*value);
    }
    ++currentLine;
}

void TMacroProcessor::State::SetOutputFile() {
    CloseOutput();
    outputName = ResolveOutputName(Expand(NormaliseMacroLine(After(line, 14))));
    // unlink, not remove: a name that turns out to be a folder must never be taken away
    if (options.overwrite && !outputName.empty()) ::unlink(outputName.c_str());
    ++currentLine;
}

void TMacroProcessor::State::Execute() {
    switch (Classify(line)) {
        case LineKind::Nothing:
        case LineKind::Comment:
        case LineKind::Label: ++currentLine; return;
        case LineKind::GoTo: return GoTo();
        case LineKind::Return: return Return();
        case LineKind::Loop: return LoopLine();
        case LineKind::Wait: return WaitLine();
        case LineKind::Send: return Send();
        case LineKind::Output: return Output();
        case LineKind::OutputComment:
            Write(Expand(After(line, 14)));
            ++currentLine;
            return;
        case LineKind::SetOutputFile: return SetOutputFile();
        case LineKind::End: return StopRun();
        case LineKind::Unrecognized: return Fail(kMacroUnrecognized);
    }
}

TMacroProcessor::TMacroProcessor(TAutomationBackend& automation, Host& host, MacroEvents events)
    : state_(std::make_unique<State>(automation, host, std::move(events))) {}

TMacroProcessor::~TMacroProcessor() = default;

bool TMacroProcessor::Run(std::vector<std::string> lines, const MacroOptions& options) {
    if (lines.empty() || (lines.size() == 1 && lines[0].empty())) return false;
    State& s = *state_;
    Stop();
    s.options = options;
    s.lines = std::move(lines);
    s.Reset();
    s.ScanLabels();
    s.lineCount = static_cast<int>(std::min<std::size_t>(s.lines.size(), INT32_MAX));
    s.currentLine = 0;
    s.running = true;
    if (s.events.stateChanged) s.events.stateChanged(true);
    if (s.events.lineChanged) s.events.lineChanged(0);
    if (options.overwrite && !s.outputName.empty()) ::unlink(s.outputName.c_str());
    return true;
}

void TMacroProcessor::Stop() { state_->StopRun(); }

void TMacroProcessor::Step() {
    State& s = *state_;
    if (!s.running || s.currentLine < 0) return;
    if (s.currentLine >= s.lineCount) return s.StopRun();
    s.line = NormaliseMacroLine(s.lines[s.currentLine]);
    // A longer line would be cut short and then do something else than written.
    if (s.line.size() > kMaxLineLength) {
        ShowMessage(s.host, FormatText(kMacroLineTooLong, s.currentLine));
        ++s.currentLine;
        s.StopRun();
    } else {
        s.Execute();
    }
    if (s.events.lineChanged) s.events.lineChanged(s.currentLine);
}

bool TMacroProcessor::Running() const { return state_->running; }
int TMacroProcessor::CurrentLine() const { return state_->currentLine; }
const std::string& TMacroProcessor::OutputFile() const { return state_->outputName; }
int TMacroProcessor::ReturnDepth() const { return state_->stackIndex + 1; }
bool TMacroProcessor::Waiting() const { return state_->running && state_->waiting; }

}  // namespace zeltrak
