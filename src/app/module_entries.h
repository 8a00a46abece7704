#pragma once
// The entries of the parts the program loads only when a command uses them: the desktop window
// (Qt) and the system's sound cards (PortAudio). Batch commands then start without either
// stack. Program and modules are built together from these sources, so the entries pass C++
// objects; the version and the sizes refuse a module left over from another build.
#include <cstddef>

namespace zeltrak {

struct DesktopSetup;
struct LoopbackConfig;
class WaveDriverChain;

inline constexpr int kModuleAbiVersion = 2;

struct DesktopModuleEntry {
    int abiVersion;
    std::size_t setupSize;  // sizeof(DesktopSetup) where the module was built
    // Reads the window's own settings from setup.ini, then runs the window until it closes.
    int (*run)(int& argc, char** argv, DesktopSetup& setup);
};

struct SoundModuleEntry {
    int abiVersion;
    std::size_t loopbackSize;  // sizeof(LoopbackConfig) where the module was built
    // The system's cards, then the Loopback card; the caller owns (deletes) the chain.
    WaveDriverChain* (*createSystemWaveDriver)(const LoopbackConfig& loopback);
};

}  // namespace zeltrak

// Each module defines one of these; the program finds it by name.
extern "C" const zeltrak::DesktopModuleEntry* zeltrak_desktop_module_entry();
extern "C" const zeltrak::SoundModuleEntry* zeltrak_sound_module_entry();
