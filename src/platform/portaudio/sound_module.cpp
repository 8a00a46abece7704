// The system's sound cards as a loadable module: the program opens it only when it needs a card.
#include "module_entries.h"
#include "platform/portaudio/system_wave_driver.h"

namespace {

zeltrak::WaveDriverChain* CreateChain(const zeltrak::LoopbackConfig& loopback) {
    return zeltrak::CreateSystemWaveDriver(loopback).release();
}

const zeltrak::SoundModuleEntry kEntry{zeltrak::kModuleAbiVersion, sizeof(zeltrak::LoopbackConfig), CreateChain};

}  // namespace

extern "C" __attribute__((visibility("default"))) const zeltrak::SoundModuleEntry* zeltrak_sound_module_entry() {
    return &kEntry;
}
