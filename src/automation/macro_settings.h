#pragma once
#include <string>

#include "automation/macro_processor.h"

namespace zeltrak {

class TIniStore;
struct AppEnvironment;

// The [MacroOpts] section as stored: names in the form the user gave them.
struct MacroSettings {
    std::string macroFilename;                        // the macro file last opened or saved
    bool overwrite = true;                            // empty the output file when a run starts
    std::string outputViewerProgram = "notepad.exe";  // as stored; MacroViewer makes it usable
    std::string outputFilename;                       // empty: macro_output.txt in the macro folder
};

MacroSettings ReadMacroSettings(const TIniStore& ini);
void StoreMacroSettings(const MacroSettings& settings, TIniStore& ini);

// The [Paths] macro folder, resolved like the other data folders.
std::string MacroDirectory(const AppEnvironment& env, const TIniStore& ini);
// Where output goes when no output file is set.
std::string DefaultMacroOutputFile(const std::string& macroDirectory);
// The options dialog's Defaults: Overwrite, the default output file and the stock viewer.
MacroSettings DefaultMacroOptions(const MacroSettings& current, const std::string& macroDirectory);
// The viewer that "View Output..." starts: a stored Windows program that is not found here
// gives the desktop's own opener.
std::string MacroViewer(const MacroSettings& settings);
// What a run of the macro uses.
MacroOptions MacroRunOptions(const MacroSettings& settings, const std::string& macroDirectory);

}  // namespace zeltrak
