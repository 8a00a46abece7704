#pragma once
#include <array>
#include <string>

#include "generator/signal_setup.h"

namespace zeltrak {

class TIniStore;

// Everything the generator keeps between runs: both channels' signals and the output level.
struct GeneratorSettings {
    std::array<SignalSetup, 2> channels;
    OutputLevelSetup level;
};

// Missing keys read as the defaults. Tone amplitudes are recomputed from the levels. Both
// channels share one DTMF section, so both read the same DTMF values.
GeneratorSettings ReadGeneratorSettings(const TIniStore& ini);
// Writes every key into `ini`, the program's initialisation file or a configuration file
// being saved. Channel 1's DTMF values are written last and so are the ones kept.
void WriteGeneratorSettings(const GeneratorSettings& settings, TIniStore& ini);
// Loads `path`, writes the settings into it and saves it; false when it could not be saved.
bool SaveGeneratorSettings(const GeneratorSettings& settings, const std::string& path);

}  // namespace zeltrak
