#include "views/generator_commands.h"

#include <string>
#include <string_view>
#include <vector>

#include "base/strings.h"
#include "generator/signal_generator.h"
#include "generator/signal_types.h"

namespace zeltrak {
namespace {

// The channel words of the generator commands.
constexpr std::string_view kLeftWord = "left";
constexpr std::string_view kRightWord = "right";

// A word of a list written "right, 1000, -20": the comma is not part of it.
std::string_view Bare(std::string_view word) {
    while (!word.empty() && word.back() == ',') word.remove_suffix(1);
    return word;
}

// "right" names the right channel; anything else the left.
int ChannelOf(std::string_view word) { return EqualsIgnoreCase(Bare(word), kRightWord) ? 1 : 0; }

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The text after the first word and its separators: a file name may hold blanks of its own.
std::string_view AfterFirstWord(std::string_view text) {
    text = Trimmed(text);
    const auto end = text.find(' ');
    if (end == std::string_view::npos) return {};
    return Trimmed(text.substr(end));
}

std::string_view FirstWord(std::string_view text) {
    text = Trimmed(text);
    return text.substr(0, text.find(' '));
}

bool SetType(TSignalGenerator& generator, std::string_view argument) {
    const std::string_view channel = Bare(FirstWord(argument));
    const bool left = EqualsIgnoreCase(channel, kLeftWord);
    if (!left && !EqualsIgnoreCase(channel, kRightWord)) return false;
    generator.SetTypeByName(AfterFirstWord(argument), left ? 0 : 1);
    return true;
}

bool SetTone(TSignalGenerator& generator, std::string_view argument) {
    const std::vector<std::string> words = SplitCommandWords(argument);
    if (words.size() < 3) return false;
    generator.SetTone(CommandDecimal(words[1]), CommandDecimal(words[2]), ChannelOf(words[0]));
    return true;
}

bool SetWaveFile(TSignalGenerator& generator, std::string_view argument) {
    const std::string_view path = AfterFirstWord(argument);
    if (path.empty()) return false;
    const int channel = ChannelOf(FirstWord(argument));
    generator.SetWaveFile(std::string(path), channel);
    // The file plays as the channel's User Defined signal.
    generator.SetTypeByName(SignalTypeListNames()[static_cast<int>(SignalType::UserDefined)], channel);
    return true;
}

}  // namespace

bool CarryGeneratorCommand(TSignalGenerator& generator, const AutomationCommand& c) {
    switch (c.id) {
        case CommandId::Generator:
            if (c.variant == kToolStart) return generator.Run();
            if (c.variant != kToolStop) return false;
            generator.Stop();
            return true;
        case CommandId::GeneratorType: return SetType(generator, c.argument);
        case CommandId::GeneratorTone: return SetTone(generator, c.argument);
        case CommandId::GeneratorWaveFile: return SetWaveFile(generator, c.argument);
        case CommandId::SaveGeneratorSignal: {
            const std::string_view path = Trimmed(c.argument);
            return !path.empty() && generator.SaveSignalAsWave(std::string(path));
        }
        default: return false;
    }
}

}  // namespace zeltrak
