#pragma once
#include <cstdint>
#include <string>

namespace zeltrak {

class TSeriesData;
class TSpectralData;

// What one analysed frame hands on. Pointers stay valid until the call returns; the right
// series is null in mono and a spectrum the channel mode does not use is null.
struct EngineFrame {
    const TSeriesData* left = nullptr;
    const TSeriesData* right = nullptr;
    // left, right, and the two results of two-channel processing.
    const TSpectralData* spectrums[4] = {nullptr, nullptr, nullptr, nullptr};
    int32_t levelLeft = 0;
    int32_t levelRight = 0;
    bool overloaded = false;
    // False for an overloaded frame left out of the average: only its time series is new.
    bool analysed = true;
    uint32_t frameCount = 0;  // frames analysed before this one since the start
    double currentTime = 0.0;  // seconds, the time of the frame shown
    // A live run without a history file counts its time on the wall clock (seconds since 1970).
    bool wallClockTime = false;
};

// Who hears about frames, in the order they are told: views first, then the measurement
// readouts, the data logger and the automation links.
enum class ListenerRole : int { View = 0, Readout = 1, Logger = 2, Link = 3 };

// The engine's audience. Every call comes from the engine's thread.
class TEngineListener {
public:
    virtual ~TEngineListener() = default;
    // After each frame, when the spectrums are complete.
    virtual void OnFrame(const EngineFrame& frame) = 0;
    // The level display: called when either level changes, and with 0, 0 when it is reset.
    virtual void OnLevels(int32_t /*left*/, int32_t /*right*/) {}
    // A run began (views reset their history) or ended.
    virtual void OnStarted() {}
    virtual void OnStopped() {}
    // The main window's caption changed (recording, file names).
    virtual void OnCaption(const std::string& /*caption*/) {}
};

}  // namespace zeltrak
