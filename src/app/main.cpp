#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/strings.h"
#include "engine/processing_settings.h"
#include "engine/settings_report.h"
#include "files/ini_store.h"
#include "platform/app_paths.h"
#include "platform/console_host.h"

namespace {

constexpr const char* kUsage =
    "usage: zeltrak [--headless] [--yes|--no] [--settings FILE] [--report]\n"
    "\n"
    "  --headless       run without windows (messages to stderr)\n"
    "  --yes, --no      answer every question with Yes or No instead of its default\n"
    "  --settings FILE  use FILE as the settings file\n"
    "  --report         print the configuration report and exit\n";

struct Options {
    bool headless = false;
    bool report = false;
    zeltrak::ConsoleHost::QuestionPolicy questions = zeltrak::ConsoleHost::QuestionPolicy::Defaults;
    std::string settingsFile;
};

bool ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--report") {
            options.report = true;
        } else if (arg == "--yes") {
            options.questions = zeltrak::ConsoleHost::QuestionPolicy::AlwaysYes;
        } else if (arg == "--no") {
            options.questions = zeltrak::ConsoleHost::QuestionPolicy::AlwaysNo;
        } else if (arg == "--settings" && i + 1 < argc) {
            options.settingsFile = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else {
            std::fprintf(stderr, "zeltrak: unknown argument '%s'\n%s", arg.c_str(), kUsage);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseArguments(argc, argv, options)) return 2;

    const zeltrak::AppEnvironment env = zeltrak::AppEnvironment::FromProcess();
    const std::string settingsPath =
        options.settingsFile.empty() ? zeltrak::SettingsFilePath(env) : options.settingsFile;

    zeltrak::ConsoleHost host(stderr, options.questions);
    zeltrak::TIniStore ini;
    if (!ini.Load(settingsPath) && !options.settingsFile.empty())
        zeltrak::ShowMessage(host, "Settings file " + settingsPath + " not found; using the defaults.",
                             zeltrak::MessageIcon::Information);
    zeltrak::ProcessingSettings settings;
    settings.Load(ini, zeltrak::DeviceCounts{});

    std::printf("%s\n", zeltrak::kProgramTitle);
    std::printf("Settings file: %s\n\n", settingsPath.c_str());
    std::fputs(zeltrak::SettingsReport(settings).c_str(), stdout);
    return 0;
}
