// Reads arbitrary bytes as an automation command text. Beyond "no crash", it checks that a
// recognised command stays within the limits, that its argument is the tail of the text before
// the closing bracket, that some keyword of its own id and variant starts the text (or, for an
// abbreviated tool command, the text starts that keyword), that case does not change which
// command is recognised, that parsing is repeatable, and that the number and word readers
// accept whatever the argument holds.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "automation/automation_commands.h"
#include "base/strings.h"

#include "fuzz_check.h"

namespace {

using namespace zeltrak;

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == '\0'))
        text.remove_suffix(1);
    return text;
}

bool HeadMatches(std::string_view longer, std::string_view head) {
    return longer.size() >= head.size() && EqualsIgnoreCase(longer.substr(0, head.size()), head);
}

// A keyword of the command's own id, variant and on/off that starts the text, or that the text starts.
bool CarriesItsKeyword(std::string_view text, const AutomationCommand& command) {
    for (const CommandKeyword& k : AutomationCommandKeywords()) {
        if (k.id != command.id || k.variant != command.variant || k.on != command.on) continue;
        if (HeadMatches(text, k.keyword)) return true;
        if (command.argument.empty() && HeadMatches(k.keyword, text)) return true;
    }
    return false;
}

void CheckCommand(std::string_view text, const AutomationCommand& command) {
    const std::string_view trimmed = Trimmed(text);
    Check(!trimmed.empty() && trimmed.size() <= kMaxCommandText);
    Check(command.argument.size() <= kMaxCommandArgument);
    Check(CarriesItsKeyword(trimmed, command));
    if (trimmed.back() == ']') {
        const std::string_view before = trimmed.substr(0, trimmed.size() - 1);
        Check(before.size() >= command.argument.size());
        Check(before.substr(before.size() - command.argument.size()) == command.argument);
    } else {
        Check(command.argument.empty());  // only an abbreviated tool command lacks the bracket
    }
    Check(std::isfinite(CommandDecimal(command.argument)));
    CommandInteger(command.argument);
    for (const std::string& word : SplitCommandWords(command.argument))
        Check(!word.empty() && word.find(' ') == std::string::npos && command.argument.find(word) != std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto command = ParseAutomationCommand(text);
    const auto again = ParseAutomationCommand(text);
    Check(command.has_value() == again.has_value());
    const auto upper = ParseAutomationCommand(Upper(text));
    Check(command.has_value() == upper.has_value());
    if (!command) return 0;
    Check(command->id == again->id && command->variant == again->variant && command->argument == again->argument);
    Check(upper->id == command->id && upper->variant == command->variant && upper->on == command->on);
    Check(upper->argument == Upper(command->argument));
    CheckCommand(text, *command);
    return 0;
}
