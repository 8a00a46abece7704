#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/analysis_reports.h"
#include "engine/analyze_command.h"
#include "engine/ctl_options.h"
#include "engine/generate_options.h"
#include "engine/utility_options.h"
#include "measure/scaling_options.h"

namespace zeltrak {

// The program's own options.
struct MainOptions {
    enum class Questions { Defaults, Yes, No };
    bool headless = false;
    bool report = false;
    Questions questions = Questions::Defaults;
    std::string settingsFile;  // given before or after "analyze"
    std::string file;          // a file named on the command line
    uint32_t frames = 0;       // 0: no frame limit
    double seconds = 0.0;      // 0: until interrupted
    bool analyze = false;      // the "analyze" sub-command, with its options in CommandLine::analyze
    bool generate = false;     // the "generate" sub-command, with its options in CommandLine::generate
    std::string macroFile;     // "run-macro FILE.mac", or a .mac file named on its own
};

// Everything a command line says. Scaling, measurement and logging options serve the
// headless analyser and "analyze" alike, wherever they stand.
struct CommandLine {
    MainOptions main;
    AnalyzeOptions analyze;
    GenerateOptions generate;
    UtilityOptions utility;
    CtlOptions ctl;  // "ctl": action None when not given
    ScalingOptions scaling;
    ReportOptions reports;
    std::string help;  // not empty: the help that was asked for, to print instead of running
};

// Reads the arguments (without the program name) through the one option table: "--name value"
// and "--name=value" alike, every value checked. False with a one-line message for an unknown
// option, a missing or refused value, or options that do not go together.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error);

}  // namespace zeltrak
