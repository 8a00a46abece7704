#include "module_loader.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/loopback_driver.h"
#include "views/qt/desktop.h"

namespace zeltrak {
namespace {

namespace fs = std::filesystem;

// Beside the executable (the build folder, a portable copy), then the installed module folder.
std::vector<fs::path> ModuleFolders() {
    std::error_code ec;
    const fs::path exeDir = fs::read_symlink("/proc/self/exe", ec).parent_path();
    if (ec) return {};
    return {exeDir, exeDir / ZELTRAK_INSTALLED_MODULE_DIR};
}

// Never closed: objects the module made may live until the process ends.
void* OpenModule(const std::string& fileName, std::string& error) {
    std::error_code ec;
    for (const fs::path& folder : ModuleFolders()) {
        const fs::path path = folder / fileName;
        if (!fs::exists(path, ec)) continue;
        if (void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
        error = "cannot load " + path.string() + ": " + ::dlerror();
        return nullptr;
    }
    error = fileName + " not found beside the program nor in its " ZELTRAK_INSTALLED_MODULE_DIR " folder";
    return nullptr;
}

// The module's entry, when it was built with the same interface (version and struct size).
template <typename Entry>
const Entry* LoadEntry(const std::string& fileName, const char* symbol, std::size_t Entry::*sizeField,
                       std::size_t expectedSize, std::string& error) {
    void* handle = OpenModule(fileName, error);
    if (!handle) return nullptr;
    using EntryFunction = const Entry* (*)();
    const auto function = reinterpret_cast<EntryFunction>(::dlsym(handle, symbol));
    const Entry* entry = function ? function() : nullptr;
    if (!entry) {
        error = fileName + " has no entry " + symbol;
        return nullptr;
    }
    if (entry->abiVersion == kModuleAbiVersion && entry->*sizeField == expectedSize) return entry;
    error = fileName + " belongs to another build of zeltrak";
    return nullptr;
}

}  // namespace

const DesktopModuleEntry* DesktopModule(std::string& error) {
    return LoadEntry<DesktopModuleEntry>("zeltrak-desktop.so", "zeltrak_desktop_module_entry",
                                         &DesktopModuleEntry::setupSize, sizeof(DesktopSetup), error);
}

const SoundModuleEntry* SoundModule(std::string& error) {
    return LoadEntry<SoundModuleEntry>("zeltrak-portaudio.so", "zeltrak_sound_module_entry",
                                       &SoundModuleEntry::loopbackSize, sizeof(LoopbackConfig), error);
}

}  // namespace zeltrak
