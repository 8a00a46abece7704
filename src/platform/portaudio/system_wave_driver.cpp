#include "platform/portaudio/system_wave_driver.h"

#include "platform/portaudio/portaudio_driver.h"

namespace zeltrak {

std::unique_ptr<WaveDriverChain> CreateSystemWaveDriver(const LoopbackConfig& loopback) {
    auto chain = std::make_unique<WaveDriverChain>();
    auto portAudio = std::make_unique<PortAudioDriver>();
    if (portAudio->Initialized()) chain->Append(std::move(portAudio));
    chain->Append(std::make_unique<LoopbackDriver>(loopback));
    return chain;
}

}  // namespace zeltrak
