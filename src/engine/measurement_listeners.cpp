#include "engine/measurement_listeners.h"

#include "dsp/channel_processing.h"
#include "engine/engine.h"
#include "measure/data_log.h"
#include "measure/measurements.h"

namespace zeltrak {

namespace {
ChannelProcessingMode Mode(const TEngine& engine) {
    return ChannelModeFromCode(engine.Settings().Settings().ChannelProcessing);
}
bool Stereo(const TEngine& engine) { return engine.Settings().Settings().format.channels == 2; }
}  // namespace

ChannelSpectrums EngineSpectrums(TEngine& engine) {
    return {engine.Spectrum(0), engine.Spectrum(1), engine.Spectrum(2), engine.Spectrum(3)};
}

void TReadoutListener::OnFrame(const EngineFrame& frame) {
    // A frame left out of the average brings no new spectrum.
    if (frame.analysed) readouts_.Update(EngineSpectrums(engine_), Mode(engine_), Stereo(engine_));
}

void TReadoutListener::OnStarted() { readouts_.Reset(); }

void TLoggerListener::OnFrame(const EngineFrame& frame) {
    TDataLog* log = logger_.Log();
    if (!frame.analysed || !log) return;
    log->LogFrame(EngineSpectrums(engine_), Mode(engine_), Stereo(engine_), frame.currentTime);
}

}  // namespace zeltrak
