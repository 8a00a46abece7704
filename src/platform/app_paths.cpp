#include "platform/app_paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace zeltrak {

namespace fs = std::filesystem;

namespace {
std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string ExecutableDir() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

// XDG says relative values are invalid and must be ignored.
std::string XdgBase(const std::string& xdg, const std::string& home, const char* fallbackBelowHome) {
    if (!xdg.empty() && xdg.front() == '/') return xdg;
    return (home.empty() ? std::string("/tmp") : home) + "/" + fallbackBelowHome;
}
}  // namespace

AppEnvironment AppEnvironment::FromProcess() {
    return {ExecutableDir(), EnvOrEmpty("HOME"), EnvOrEmpty("XDG_CONFIG_HOME"), EnvOrEmpty("XDG_DATA_HOME")};
}

std::string ConfigDir(const AppEnvironment& env) { return XdgBase(env.xdgConfigHome, env.home, ".config") + "/zeltrak"; }

std::string DataDir(const AppEnvironment& env) { return XdgBase(env.xdgDataHome, env.home, ".local/share") + "/zeltrak"; }

std::string SettingsFilePath(const AppEnvironment& env) {
    const std::string portable = env.executableDir + "/" + kSettingsFileName;
    std::error_code ec;
    if (!env.executableDir.empty() && fs::is_regular_file(portable, ec)) return portable;
    return ConfigDir(env) + "/" + kSettingsFileName;
}

std::string ResolveDataPath(const AppEnvironment& env, const std::string& stored) {
    std::string name = stored;
    for (char& c : name)
        if (c == '\\') c = '/';
    if (!name.empty() && name.front() == '/') return fs::path(name).lexically_normal().string();
    // Stored names were relative to the program's folder one level down, so the leading
    // ".." steps only lead back to the data folder.
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t slash = name.find('/', start);
        if (slash == std::string::npos) slash = name.size();
        const std::string part = name.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string result = DataDir(env);
    for (const std::string& part : parts) result += "/" + part;
    return result;
}

bool MakeDirectories(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    return fs::is_directory(path, ec);
}

}  // namespace zeltrak
