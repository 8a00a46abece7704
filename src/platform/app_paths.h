#pragma once
#include <string>

namespace zeltrak {

// Where the program keeps its files. The settings file is zeltrak.ini in
// $XDG_CONFIG_HOME/zeltrak (default ~/.config/zeltrak), unless a zeltrak.ini stands beside
// the executable: then that one is used (portable installation). Data folders named in the
// settings in their stored form (for example "..\.\wave") resolve below
// $XDG_DATA_HOME/zeltrak (default ~/.local/share/zeltrak).
struct AppEnvironment {
    std::string executableDir;
    std::string home;           // $HOME
    std::string xdgConfigHome;  // $XDG_CONFIG_HOME, may be empty
    std::string xdgDataHome;    // $XDG_DATA_HOME, may be empty

    static AppEnvironment FromProcess();
};

inline constexpr const char* kSettingsFileName = "zeltrak.ini";

std::string ConfigDir(const AppEnvironment& env);
std::string DataDir(const AppEnvironment& env);
// The portable settings file beside the executable when it exists, else the one in ConfigDir.
std::string SettingsFilePath(const AppEnvironment& env);

// A stored folder or file name made usable here: "\" becomes "/", and a relative name is
// taken below DataDir with its "." and ".." steps removed (they never climb above DataDir).
std::string ResolveDataPath(const AppEnvironment& env, const std::string& stored);

// Creates a folder and its parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

}  // namespace zeltrak
