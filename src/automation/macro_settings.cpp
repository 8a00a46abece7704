#include "automation/macro_settings.h"

#include "files/ini_store.h"
#include "measure/data_log.h"
#include "platform/app_paths.h"

namespace zeltrak {
namespace {

constexpr const char* kSection = "MacroOpts";
constexpr std::size_t kNameChars = 260;  // the file name fields' size

}  // namespace

MacroSettings ReadMacroSettings(const TIniStore& ini) {
    MacroSettings s;
    s.macroFilename = ini.GetString(kSection, "MacroFilename", "", kNameChars);
    s.overwrite = ini.GetInt(kSection, "OverwriteFlag", 1) == 1;
    s.outputViewerProgram = ini.GetString(kSection, "OutputViewerProgram", s.outputViewerProgram, kNameChars);
    s.outputFilename = ini.GetString(kSection, "OutputFilename", "", kNameChars);
    return s;
}

void StoreMacroSettings(const MacroSettings& settings, TIniStore& ini) {
    ini.SetString(kSection, "MacroFilename", settings.macroFilename);
    ini.SetInt(kSection, "OverwriteFlag", settings.overwrite ? 1 : 0);
    ini.SetString(kSection, "OutputViewerProgram", settings.outputViewerProgram);
    ini.SetString(kSection, "OutputFilename", settings.outputFilename);
}

std::string MacroDirectory(const AppEnvironment& env, const TIniStore& ini) {
    return ResolveDataPath(env, ini.GetString("Paths", "macro", "..\\.\\macro", kNameChars));
}

std::string DefaultMacroOutputFile(const std::string& macroDirectory) {
    return macroDirectory.empty() ? "macro_output.txt" : macroDirectory + "/macro_output.txt";
}

MacroSettings DefaultMacroOptions(const MacroSettings& current, const std::string& macroDirectory) {
    MacroSettings s = current;
    s.overwrite = true;
    s.outputFilename = DefaultMacroOutputFile(macroDirectory);
    s.outputViewerProgram = "Notepad.exe";
    return s;
}

std::string MacroViewer(const MacroSettings& settings) { return ResolveLogViewer(settings.outputViewerProgram); }

MacroOptions MacroRunOptions(const MacroSettings& settings, const std::string& macroDirectory) {
    MacroOptions options;
    options.outputFile =
        settings.outputFilename.empty() ? DefaultMacroOutputFile(macroDirectory) : settings.outputFilename;
    options.overwrite = settings.overwrite;
    options.macroDirectory = macroDirectory;
    return options;
}

}  // namespace zeltrak
