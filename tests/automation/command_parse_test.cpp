#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "automation/automation_commands.h"

namespace zeltrak {
namespace {

using namespace std::string_literals;
using C = CommandId;

struct ParseCase {
    std::string text;
    bool recognised;
    CommandId id = C::Run;
    int variant = 0;
    std::string argument = "";
    bool on = false;
};

std::string Repeat(std::size_t n) { return std::string(n, 'x'); }

// One row per interesting text; a row with recognised == false expects "not processed".
const ParseCase kCases[] = {
    {"[Run]", true, C::Run},
    {"[rUN]", true, C::Run},
    {"[RUN 5]", true, C::RunCount, 0, "5"},
    {"[Run]xyz]", false},
    {"[Run] ", false},
    {"[Run 5", false},
    {"[Run]\r\n", true, C::Run},
    {"[Run 5]\r\n\0"s, true, C::RunCount, 0, "5"},
    {"", false},
    {"\r\n", false},
    {"[Unknown]", false},
    // Leading parts of the tool commands, only when they name one tool.
    {"[Open Gen", true, C::Generator, kToolOpen},
    {"[oPEN gEN", true, C::Generator, kToolOpen},
    {"[Stop M", true, C::Macro, kToolStop},
    {"[Close D", true, C::DelayFinder, 1},
    {"[Start R", true, C::Reverb, kToolStart},
    {"[Open Macro", true, C::Macro, kToolOpen},
    {"[Stop", false},
    {"[Open ", false},
    {"[", false},
    {"[Apply Delay", false},
    {"[Stop]", true, C::Stop},
    {"[Open Generator]x]", false},
    {"[Open Gen]", false},
    // Keywords that begin another keyword.
    {"[Open Macro]", true, C::Macro, kToolOpen},
    {"[Open Macro File c:/m.mac]", true, C::OpenMacroFile, 0, "c:/m.mac"},
    {"[Open Macro File]", false},
    {"[Trigger]", true, C::Trigger},
    {"[Trigger On]", true, C::TriggerEnable, 1},
    {"[Trigger ReArm Off]", true, C::TriggerReArm, 0},
    {"[Trigger Threshold 50]", true, C::TriggerThreshold, 0, "50"},
    {"[Set Mic Compensation File m.mic]", true, C::MicFile, 0, "m.mic"},
    // The argument after one blank.
    {"[Set Channel Transfer LR+C]", true, C::Channel, 0, "Transfer LR+C"},
    {"[set channel left]", true, C::Channel, 0, "left"},
    {"[Set ChannelXLeft]", false},
    {"[Set Channel]", false},
    {"[Marker3 1000.5]", true, C::Marker, 3, "1000.5"},
    {"[Marker10 5]", false},
    {"[File Save /tmp/a  b.wav]", true, C::FileSave, 0, "/tmp/a  b.wav"},
    {"[Set Right Mic Compensation File  m.mic]", true, C::MicFile, 2, " m.mic"},
    {"[Save Reverb r.txt]", true, C::SaveReverb, 0, "r.txt"},
    // Argument text is kept as written, including case and inner brackets.
    {"[Set Spectrum Weighting a]", true, C::SpectrumWeighting, 0, "a"},
    {"[Pass String [x]]", true, C::PassString, 0, "[x]"},
    {"[File Delete ]", true, C::FileDelete, 0, ""},
    {"[Surface Freq Span 20 20000]", true, C::FreqSpan, kViewSurface, "20 20000"},
    {"[Show Plot Toolbars]", true, C::Furniture, kFurniturePlotToolbars, "", true},
    {"[Hide Menu]", true, C::Furniture, kFurnitureMenu, "", false},
    {"[Mode Post Processing]", true, C::Mode, 2},
    // Limits: 280 bytes of text (terminators not counted), 260 of argument.
    {"[Save Generator Signal as Wave " + Repeat(248) + "]", true, C::SaveGeneratorSignal, 0, Repeat(248)},
    {"[Save Generator Signal as Wave " + Repeat(248) + "]\r\n", true, C::SaveGeneratorSignal, 0, Repeat(248)},
    {"[Save Generator Signal as Wave " + Repeat(249) + "]", false},
    {"[Pass String " + Repeat(260) + "]", true, C::PassString, 0, Repeat(260)},
    {"[Pass String " + Repeat(261) + "]", false},
};

TEST(CommandParse, TextsGiveTheirCommandOrNothing) {
    for (const ParseCase& c : kCases) {
        SCOPED_TRACE(c.text);
        const auto command = ParseAutomationCommand(c.text);
        ASSERT_EQ(command.has_value(), c.recognised);
        if (!command) continue;
        EXPECT_EQ(command->id, c.id);
        EXPECT_EQ(command->variant, c.variant);
        EXPECT_EQ(command->argument, c.argument);
        EXPECT_EQ(command->on, c.on);
    }
}

// Every keyword written whole, with a sample argument where it takes one, reads as itself.
TEST(CommandParse, EveryKeywordReadsAsItself) {
    for (const CommandKeyword& k : AutomationCommandKeywords()) {
        const std::string keyword = k.keyword;
        const bool bare = keyword.back() == ']';
        const std::string text = bare ? keyword : keyword + (keyword.back() == ' ' ? "" : " ") + "a 1]";
        SCOPED_TRACE(text);
        EXPECT_EQ(*k.argument == '\0', bare);
        const auto command = ParseAutomationCommand(text);
        ASSERT_TRUE(command.has_value());
        EXPECT_EQ(command->id, k.id);
        EXPECT_EQ(command->variant, k.variant);
        EXPECT_EQ(command->on, k.on);
        EXPECT_EQ(command->argument, bare ? "" : "a 1");
    }
}

TEST(CommandParse, NumbersReadTheLeadingNumber) {
    const struct {
        const char* text;
        long integer;
        double decimal;
    } cases[] = {
        {"  42", 42, 42.0},   {"-7x", -7, -7.0},     {"+3.5", 3, 3.5},   {"\t-0.25 s", 0, -0.25},
        {" 1e3", 1, 1000.0},  {".5", 0, 0.5},        {"1,5", 1, 1.0},    {"abc", 0, 0.0},
        {"", 0, 0.0},         {"+-5", 0, 0.0},       {"nan", 0, 0.0},    {"-inf", 0, 0.0},
        {"1e400", 1, 0.0},    {"99999999999999999999", LONG_MAX, 1e20},  {"-99999999999999999999", LONG_MIN, -1e20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CommandInteger(c.text), c.integer);
        EXPECT_DOUBLE_EQ(CommandDecimal(c.text), c.decimal);
    }
}

TEST(CommandParse, WordsSplitAtRunsOfBlanks) {
    using Words = std::vector<std::string>;
    EXPECT_EQ(SplitCommandWords("  a  b\tc "), (Words{"a", "b", "c"}));
    EXPECT_EQ(SplitCommandWords("20 20000"), (Words{"20", "20000"}));
    EXPECT_EQ(SplitCommandWords("   "), Words{});
}

}  // namespace
}  // namespace zeltrak
