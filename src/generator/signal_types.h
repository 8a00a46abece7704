#pragma once
#include <array>
#include <string>
#include <string_view>

#include "generator/signal_setup.h"

namespace zeltrak {

// The type list of each channel, in code order (list index = type code).
const std::array<std::string_view, 14>& SignalTypeListNames();
// The name a settings report gives a type code; the empty string for an unknown code.
std::string_view SignalTypeReportName(int32_t code);
// Picks a type by its whole name, without regard to case; a name that matches no type leaves
// `current` as it is. Some types answer to two names ("Noise" is White Noise).
SignalType SignalTypeFromName(std::string_view name, SignalType current);
// A type as a command line names it: any of the names above or a short one ("white", "tones",
// "sweep", "zero" ...), any case, blanks, dashes and underscores ignored. False when none fits.
bool SignalTypeFromCommandName(std::string_view name, SignalType& type);

}  // namespace zeltrak
