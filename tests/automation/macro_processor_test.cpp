// The macro interpreter against a recording backend on a manual clock (local time is UTC):
// commands sent, output files compared byte for byte, waits timed against closed forms.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>

#include "automation/automation_backend.h"
#include "automation/macro_file.h"
#include "automation/macro_processor.h"
#include "base/strings.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

using testing::ReadFile;
using testing::WriteFile;

constexpr int64_t kJan5 = 1704412800;  // 2024-01-05 00:00:00 UTC

class FakeBackend : public TAutomationBackend {
public:
    std::vector<std::string> sent;
    std::map<std::string, std::string, std::less<>> items{{"Peak Level", "-12.5"}, {"Peak Frequency", ""}};
    bool Execute(std::string_view command) override {
        sent.emplace_back(command);
        return command != "[Fail]";
    }
    std::optional<std::string> Request(std::string_view item) override {
        const auto it = items.find(item);
        return it == items.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
};

class Macro : public ::testing::Test {
protected:
    Macro() {
        setenv("TZ", "UTC", 1);
        tzset();
        host.SetWallClock(kJan5 + 14 * 3600 + 30 * 60);
    }
    MacroOptions Options(bool overwrite = true) { return {dir.File("out.txt"), overwrite, dir.path()}; }
    // Steps until the macro stops (or `maxSteps`), moving the clock `stepMs` after each step.
    void RunToEnd(std::vector<std::string> lines, uint32_t stepMs = 0, int maxSteps = 1000) {
        ASSERT_TRUE(macro.Run(std::move(lines), Options()));
        for (int i = 0; i < maxSteps && macro.Running(); ++i) {
            macro.Step();
            host.Advance(stepMs);
        }
    }

    testing::TempDir dir;
    ScriptedHost host;
    FakeBackend backend;
    std::vector<std::string> written, closed;
    std::vector<bool> states;
    TMacroProcessor macro{backend, host,
                          {[this](bool on) { states.push_back(on); }, nullptr,
                           [this](const std::string& name) { closed.push_back(name); },
                           [this](const std::string& text) { written.push_back(text); }}};
};

TEST_F(Macro, CommandsSendAndWriteInOrder) {
    RunToEnd({"; a comment", "", "   send   [Run]  \t", "Output Peak Level", "Output Peak Frequency",
              "OutputComment   keep  blanks", "OUTPUTCOMMENT Run AutoDateTime and AutoDateTime",
              "Label here", "Send [Stop AutoDateTime]  ", "MacroEnd", "OutputComment never"});
    EXPECT_EQ(backend.sent, (std::vector<std::string>{"[Run]", "[Stop 2024_01_05_143000]"}));
    const std::string expected = "-12.5\n  keep  blanks\nRun 2024_01_05_143000 and AutoDateTime\n";
    EXPECT_EQ(ReadFile(dir.File("out.txt")), expected);
    EXPECT_EQ(written, (std::vector<std::string>{"-12.5", "  keep  blanks", "Run 2024_01_05_143000 and AutoDateTime"}));
    EXPECT_EQ(macro.CurrentLine(), 9);  // MacroEnd does not advance
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
    EXPECT_EQ(closed, (std::vector<std::string>{dir.File("out.txt")}));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(Macro, LoopsAndJumps) {
    const std::vector<std::string> elevenLabels = {"GoTo L0", "GoTo L10", "MacroEnd", "Label L0", "Send 0", "MacroEnd",
        "Label L1", "Label L2", "Label L3", "Label L4", "Label L5", "Label L6", "Label L7", "Label L8", "Label L9",
        "Label L10", "Send 10"};
    const struct {
        std::vector<std::string> script;
        std::vector<std::string> sent;
    } cases[] = {
        {{"Loop 3", "Send A", "LoopEnd", "Send B"}, {"A", "A", "A", "B"}},
        {{"Loop 1", "Send A", "loopend"}, {"A"}},
        {{"Loop 0", "Send A", "LoopEnd"}, {"A"}},
        // one loop state: the inner Loop restarts it and the outer LoopEnd finds nothing to repeat
        {{"Loop 2", "Send A", "Loop 2", "Send B", "LoopEnd", "Send C", "LoopEnd"}, {"A", "B", "B", "C"}},
        {{"GoTo sub", "Send after", "MacroEnd", "Label sub", "Send in", "Return"}, {"in", "after"}},
        {{"GoTo x", "Label x", "Send first", "MacroEnd", "Label x", "Send second"}, {"second"}},
        {{"Return", "GoTo nowhere", "GoTo X", "Send on", "Label x", "Send end"}, {"on", "end"}},
        {elevenLabels, {"10"}},
    };
    for (const auto& c : cases) {
        backend.sent.clear();
        RunToEnd(c.script);
        EXPECT_EQ(backend.sent, c.sent) << c.script[0] << " ... " << c.script.back();
        EXPECT_FALSE(macro.Running());
    }
    EXPECT_TRUE(host.messages.empty());
}

// `depth` nested calls of one subroutine: the loop repeats the GoTo before any Return (eleven
// distinct labels would not fit the ten slots). Each Return passes "back" on the way out.
std::vector<std::string> NestedCalls(int depth) {
    return {"Loop " + std::to_string(depth), "GoTo r", "Send back", "Return", "Label r", "LoopEnd", "Send deep", "Return"};
}

TEST_F(Macro, ReturnStackHoldsTenAndAnEleventhPushEmptiesIt) {
    std::vector<std::string> ten = {"deep"};
    ten.insert(ten.end(), 10, "back");
    ten.push_back("deep");  // the last Return finds the stack empty and falls through to the end
    // the eleventh call leaves only its own return address
    const std::vector<std::string> eleven = {"deep", "back", "deep"};
    for (const auto& [depth, expected, deepest] : {std::tuple{10, ten, 10}, std::tuple{11, eleven, 1}}) {
        backend.sent.clear();
        int maxDepth = 0, atDeepest = -1;
        ASSERT_TRUE(macro.Run(NestedCalls(depth), Options()));
        for (int i = 0; i < 1000 && macro.Running(); ++i) {
            macro.Step();
            maxDepth = std::max(maxDepth, macro.ReturnDepth());
            if (atDeepest < 0 && backend.sent.size() == 1) atDeepest = macro.ReturnDepth();
        }
        EXPECT_EQ(atDeepest, deepest);
        EXPECT_EQ(backend.sent, expected) << depth;
        EXPECT_EQ(maxDepth, 10);
    }
}

TEST_F(Macro, WaitsEndAtTheirTime) {
    const struct {
        const char* line;
        int64_t start;    // wall clock at Run
        uint32_t stepMs;  // clock moved between steps
        int64_t endsMs;   // clock when the wait ends, from Run; -1 never
    } cases[] = {
        {"WaitSeconds 2.5", kJan5, 100, 2500},
        {"WaitSeconds 0", kJan5, 100, 100},
        {"WaitClock 1", kJan5 - 60, 1000, 120'000},                      // 23:59 -> 00:01
        {"WaitClock 0", kJan5 - 600, 1000, 600'000},                     // 23:50 -> 00:00
        {"WaitClock 1430", kJan5 + 15 * 3600, 60'000, 84'600'000},       // 15:00 -> 14:30 next day
        {"WaitTopOfHour", kJan5 - 3600 + 59 * 60, 1000, 60'000},          // 22:59 -> 23:00
        {"WaitTopOfHour", kJan5 - 3600 + 10 * 60, 1000, 3'000'000},       // 23:10 -> 00:00
        {"WaitDate 01/12/2024", kJan5 + 3600, 60'000, 601'200'000},       // a week less an hour
        {"WaitDate 01/01/2024", kJan5, 1000, 1000},                       // in the past: the next step
        {"WaitFoo", kJan5, 60'000, -1},
    };
    host.Advance(UINT32_MAX - 999);  // the first wait spans the wrap of the millisecond tick
    for (const auto& c : cases) {
        host.SetWallClock(c.start - host.TickMilliseconds() / 1000);
        const uint32_t t0 = host.TickMilliseconds();
        ASSERT_TRUE(macro.Run({c.line, "Send done"}, Options()));
        int64_t endedMs = -1;
        for (int i = 0; i < 20'000 && endedMs < 0; ++i) {
            macro.Step();
            if (macro.CurrentLine() == 1) endedMs = host.TickMilliseconds() - t0;
            host.Advance(c.stepMs);
        }
        EXPECT_EQ(endedMs, c.endsMs) << c.line;
        macro.Stop();
        EXPECT_FALSE(macro.Running());
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(Macro, ScriptErrorsStopPastTheLineAndKeepTheOutput) {
    backend.items["Time Series"] = "";
    const struct {
        std::string line;
        std::string message;
    } cases[] = {
        {"Frobnicate 3", "Macro Command Processor: Unrecognized command \"Frobnicate 3\" at line 1"},
        {"Send [Fail]", "Macro Command Processor: DDE Execute command \"Send [Fail]\" at line 1 cannot be processed"},
        {"Output No Such Item", "Macro Command Processor: DDE Request item \"Output No Such Item\" at line 1 is unrecognized"},
        {"Output Time Series", "Macro Command Processor: DDE Request item \"Output Time Series\" at line 1 is unrecognized"},
        {"WaitDate 12/31/1999", "Macro Command Processor: Unrecognized command \"WaitDate 12/31/1999\" at line 1"},
        {"WaitDate 1/1/2001", "Macro Command Processor: Unrecognized command \"WaitDate 1/1/2001\" at line 1"},
        {"OutputComment " + std::string(242, 'x'), "Macro Command Processor: line 1 is longer than 255 characters"},
    };
    for (const auto& c : cases) {
        host.messages.clear();
        RunToEnd({"OutputComment kept", c.line, "OutputComment never"});
        ASSERT_EQ(host.messages.size(), 1u) << c.line;
        EXPECT_EQ(host.messages[0].text, c.message);
        EXPECT_EQ(host.messages[0].caption, kProgramTitle);
        EXPECT_EQ(macro.CurrentLine(), 2) << c.line;
        EXPECT_FALSE(macro.Running());
        EXPECT_EQ(ReadFile(dir.File("out.txt")), "kept\n") << c.line;
    }
    RunToEnd({"OutputComment " + std::string(241, 'x')});  // 255 characters exactly is allowed
    EXPECT_EQ(ReadFile(dir.File("out.txt")), std::string(241, 'x') + "\n");
}

TEST_F(Macro, OutputFiles) {
    WriteFile(dir.File("out.txt"), "old\n");
    ASSERT_TRUE(macro.Run({"OutputComment appended"}, Options(false)));
    while (macro.Running()) macro.Step();
    EXPECT_EQ(ReadFile(dir.File("out.txt")), "old\nappended\n");

    WriteFile(dir.File("a.txt"), "old\n");
    RunToEnd({"OutputComment first", "SetOutputFile a.txt", "OutputComment second",
              "SetOutputFile log AutoDateTime.txt", "OutputComment third", "SetOutputFile " + dir.File("no/such.txt"),
              "OutputComment lost"});
    EXPECT_EQ(ReadFile(dir.File("out.txt")), "first\n");  // overwrite: emptied at Run
    EXPECT_EQ(ReadFile(dir.File("a.txt")), "second\n");   // overwrite: deleted when named
    EXPECT_EQ(ReadFile(dir.File("log 2024_01_05_143000.txt")), "third\n");
    EXPECT_EQ(macro.OutputFile(), dir.File("no/such.txt"));
    EXPECT_EQ(written, (std::vector<std::string>{"appended", "first", "second", "third"}));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(macro.Run({""}, Options()));
}

TEST(MacroFile, LinesAndRefusals) {
    testing::TempDir dir;
    const std::string path = dir.File("m.mac");
    const struct {
        std::string bytes;
        std::vector<std::string> lines;
        std::string error;
    } cases[] = {
        {"Send [Run]\r\n\r\nWaitSeconds 1\nMacroEnd", {"Send [Run]", "", "WaitSeconds 1", "MacroEnd"}, ""},
        {"a\n", {"a"}, ""},
        {std::string(kMaxMacroFileBytes, 'x'), {std::string(kMaxMacroFileBytes, 'x')}, ""},
        {std::string("Send\0x", 6), {}, "\"" + path + "\" is not a macro command file (binary data)"},
        {std::string(kMaxMacroFileBytes + 1, '\n'), {}, "\"" + path + "\" is not a macro command file (larger than 1 MiB)"},
    };
    for (const auto& c : cases) {
        WriteFile(path, c.bytes);
        std::vector<std::string> lines{"stale"};
        std::string error;
        EXPECT_EQ(ReadMacroFile(path, lines, error), c.error.empty());
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(error, c.error);
    }
    std::vector<std::string> lines;
    std::string error;
    EXPECT_FALSE(ReadMacroFile(dir.File("none.mac"), lines, error));
    EXPECT_EQ(error, "Failure opening macro file: " + dir.File("none.mac"));
    EXPECT_FALSE(ReadMacroFile(dir.path(), lines, error));
}

}  // namespace
}  // namespace zeltrak
