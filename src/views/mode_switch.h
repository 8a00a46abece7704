#pragma once
#include <cstdint>
#include <string>

namespace zeltrak {

class Host;

// What a mode switch acts on; the desktop window forwards these to the engine and the
// settings, tests record them.
class TModeSwitchTarget {
public:
    virtual ~TModeSwitchTarget() = default;
    virtual bool AnalyserRunning() const = 0;
    virtual void StopAnalyser() = 0;
    virtual void StopLogging() = 0;
    virtual bool HasRealTimeBuffer() const = 0;
    // Yes to the buffer question: the buffer stays as an untitled wave file.
    virtual void KeepRealTimeBuffer() = 0;
    virtual void DiscardRealTimeBuffer() = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    // Stores the mode; the window moves the check mark and rebuilds the toolbar.
    virtual void SetMode(uint32_t mode) = 0;
};

enum class ModeSwitchResult { Unchanged, Switched, Refused };

// Switches from `current` to `requested` (1 Real-Time, 2 Post-Processing, 3 Recorder).
// The current mode or an unknown one changes nothing.
ModeSwitchResult SwitchMode(uint32_t current, uint32_t requested, Host& host, TModeSwitchTarget& target);

// The toolbar label of a mode; empty for an unknown mode.
std::string ModeLabel(uint32_t mode);

// "%s [%s]" with the program title and a file name ("Untitled" when it has none).
std::string FileCaption(const std::string& fileName);

}  // namespace zeltrak
