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

}  // namespace zeltrak
