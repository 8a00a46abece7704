#pragma once
#include "engine/engine_listener.h"

namespace zeltrak {

class TEngine;
class TMeasurementReadouts;
class TDataLogger;
struct ChannelSpectrums;

// The engine's four spectrums as the measurement code takes them.
ChannelSpectrums EngineSpectrums(TEngine& engine);

// Recomputes the measurement readouts from every analysed frame.
class TReadoutListener : public TEngineListener {
public:
    TReadoutListener(TEngine& engine, TMeasurementReadouts& readouts) : engine_(engine), readouts_(readouts) {}
    void OnFrame(const EngineFrame& frame) override;
    void OnStarted() override;

private:
    TEngine& engine_;
    TMeasurementReadouts& readouts_;
};

// Hands every analysed frame to the data log while logging is on.
class TLoggerListener : public TEngineListener {
public:
    TLoggerListener(TEngine& engine, TDataLogger& logger) : engine_(engine), logger_(logger) {}
    void OnFrame(const EngineFrame& frame) override;

private:
    TEngine& engine_;
    TDataLogger& logger_;
};

}  // namespace zeltrak
