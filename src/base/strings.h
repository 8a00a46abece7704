#pragma once
#include <string>
#include <string_view>

namespace zeltrak {

// The program title: the caption of every message box unless a caller names another.
inline constexpr const char* kProgramTitle = "VornalPRO - FFT Spectral Analysis System";

// Numbered user-visible messages.
enum StringId : int {
    kStrSampleRateRange = 29,
    kStrSoundDeviceFailure = 30,
    kStrSoundBoardBusy = 33,
    kStrNoSoundDriver = 37,
    kStrDiscreteRatesChanged = 43,
    kStrInsufficientMemory = 70,
    kStrFormatNotSupported = 174,
    kStrCalibrationFiles = 179,
    kStrRateNotSupported = 239,
};

// Looks a message up by number. A missing entry yields
// "StringTable entry <id> not found" so that the user still sees which text failed.
std::string LoadString(int id);
// True when the table holds the entry.
bool HasString(int id);

// ASCII comparison without regard to case, as names in settings files and commands are matched.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace zeltrak
