#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zeltrak {

// The program's own options (sub-commands such as "analyze" parse the rest themselves).
struct MainOptions {
    enum class Questions { Defaults, Yes, No };
    bool headless = false;
    bool report = false;
    bool help = false;
    Questions questions = Questions::Defaults;
    std::string settingsFile;
    std::string file;         // a file named on the command line
    uint32_t frames = 0;      // 0: no frame limit
    double seconds = 0.0;     // 0: until interrupted
    std::string subcommand;   // "analyze", with its arguments in subArguments
    std::vector<std::string> subArguments;
};

inline constexpr const char* kMainUsage =
    "usage: zeltrak [--headless] [--frames N] [--seconds S] [--yes|--no] [--settings FILE] [--report] [FILE]\n"
    "       zeltrak [--settings FILE] analyze FILE.wav [options]   (zeltrak analyze --help)\n"
    "\n"
    "  --headless       run without windows: Real-Time analysis of the input device with one\n"
    "                   status line per second, or, with FILE.wav, the file analysed to its end\n"
    "  --frames N       stop after N analysed frames\n"
    "  --seconds S      stop after S seconds\n"
    "  --yes, --no      answer every question with Yes or No instead of its default\n"
    "  --settings FILE  use FILE as the settings file\n"
    "  --report         print the configuration report and exit\n"
    "The scaling (--cal, --amplitude, --frequency, --octave, --weighting, --psd, --mic-comp),\n"
    "measurement (--measure LIST) and logging (--log FILE ...) options of \"zeltrak analyze\"\n"
    "also apply here; measurements are printed once per second and at the end.\n";

// False with a message for an unknown option or a bad value.
bool ParseMainArguments(const std::vector<std::string>& args, MainOptions& out, std::string& error);

}  // namespace zeltrak
