#include "generator/signal_types.h"

#include <utility>

#include "base/strings.h"

namespace zeltrak {

const std::array<std::string_view, 14>& SignalTypeListNames() {
    static constexpr std::array<std::string_view, 14> names{
        "White Noise", "Pink Noise", "Noise Burst", "1 kHz Tone",     "Multiple Tones", "Tone Burst", "Swept Sine",
        "Sawtooth",    "Pulse",      "Square",      "IMD Test Tones", "User Defined",   "DTMF",       "Digital Zero"};
    return names;
}

std::string_view SignalTypeReportName(int32_t code) {
    static constexpr std::array<std::string_view, kSignalTypeCount> names{
        "White Noise", "Pink Noise", "Noise Burst", "1 kHz Tone", "Multiple Tones", "Tone Burst",
        "Frequency Sweep", "Sawtooth", "Pulse", "Squarewave", "IMD Tones", "User Defined",
        "DTMF", "Digital Zero", "Level Sweep", "Triangular"};
    return code >= 0 && code < kSignalTypeCount ? names[code] : std::string_view();
}

SignalType SignalTypeFromName(std::string_view name, SignalType current) {
    static constexpr std::pair<std::string_view, SignalType> byName[] = {
        {"White Noise", SignalType::WhiteNoise},    {"Pink Noise", SignalType::PinkNoise},
        {"Noise Burst", SignalType::NoiseBurst},    {"1 kHz Tone", SignalType::Tone1kHz},
        {"Multiple Tones", SignalType::MultipleTones}, {"Tone Burst", SignalType::ToneBurst},
        {"IMD Test Tones", SignalType::Imd},        {"Freq Sweep", SignalType::FrequencySweep},
        {"Level Sweep", SignalType::LevelSweep},    {"Sawtooth", SignalType::Sawtooth},
        {"Triangular", SignalType::Triangular},     {"Pulse", SignalType::Pulse},
        {"Square", SignalType::Square},             {"Noise", SignalType::WhiteNoise},
        {"User Defined", SignalType::UserDefined},  {"DTMF", SignalType::Dtmf},
        {"Digital Zero", SignalType::DigitalZero}};
    for (const auto& [typeName, type] : byName)
        if (EqualsIgnoreCase(name, typeName)) current = type;
    return current;
}

namespace {

std::string Squashed(std::string_view name) {
    std::string out;
    for (char c : name)
        if (c != ' ' && c != '-' && c != '_') out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return out;
}

}  // namespace

bool SignalTypeFromCommandName(std::string_view name, SignalType& type) {
    static constexpr std::pair<std::string_view, SignalType> shortNames[] = {
        {"white", SignalType::WhiteNoise},         {"pink", SignalType::PinkNoise},
        {"1khz", SignalType::Tone1kHz},            {"tone", SignalType::MultipleTones},
        {"tones", SignalType::MultipleTones},      {"sweep", SignalType::FrequencySweep},
        {"imd", SignalType::Imd},                  {"user", SignalType::UserDefined},
        {"zero", SignalType::DigitalZero},         {"triangle", SignalType::Triangular}};
    const std::string wanted = Squashed(name);
    for (const auto& [shortName, code] : shortNames)
        if (wanted == shortName) return type = code, true;
    for (int32_t code = 0; code < kSignalTypeCount; ++code) {
        const bool listed = code < static_cast<int32_t>(SignalTypeListNames().size()) &&
                            wanted == Squashed(SignalTypeListNames()[code]);
        if (listed || wanted == Squashed(SignalTypeReportName(code))) return type = static_cast<SignalType>(code), true;
    }
    // the automation names, as typed with their blanks ("Freq Sweep", "Noise")
    const auto none = static_cast<SignalType>(-1);
    const SignalType byName = SignalTypeFromName(name, none);
    if (byName == none) return false;
    type = byName;
    return true;
}

}  // namespace zeltrak
