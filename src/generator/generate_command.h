#pragma once
#include <functional>
#include <string>

#include "engine/generate_options.h"
#include "generator/signal_generator.h"

namespace zeltrak {

class TIniStore;

// What `zeltrak generate` makes: the generator's settings with the command line on top, for
// both channels alike, and the format inputs.
struct GenerateSetup {
    GeneratorSettings settings;
    GeneratorFormatInputs format;
};

// The settings file's generator settings and the analyser's format (`analyser`), then every
// parameter the command line gives. False with the message the generator's dialog would show
// (or one naming the option) when a value is refused.
bool MakeGenerateSetup(const GenerateOptions& options, const TIniStore& ini, const SampleFormat& analyser,
                       GenerateSetup& setup, std::string& error);

// Writes the signal to options.output: the buffer once (periodic waveforms over a second), or
// options.seconds of it played in a loop. A one-line summary goes to `summary`.
bool WriteGeneratedSignal(const GenerateOptions& options, const GenerateSetup& setup, std::string& summary,
                          std::string& error);

// Plays the generator's signal until options.seconds have passed, a play-once signal ended, or
// `interrupted` says so; `wait` sleeps a little between polls.
bool PlayGeneratedSignal(const GenerateOptions& options, TSignalGenerator& generator,
                         const std::function<bool()>& interrupted, const std::function<void()>& wait);

}  // namespace zeltrak
