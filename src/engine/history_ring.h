#pragma once
#include <cstdint>
#include <memory>

#include "engine/engine_environment.h"
#include "engine/processing_settings.h"

namespace zeltrak {

class Host;
class TWaveFile;

// The Real-Time history: a wave file written round like a ring, one lap of the chosen
// length, that becomes a plain file in time order when the run stops.
class THistoryRing {
public:
    THistoryRing(Host& host, const EngineEnvironment& env) : host_(host), env_(env) {}

    // A fresh history for the coming run; null when it could not be made.
    std::unique_ptr<TWaveFile> Create(const SettingsBlock& s, const FileIOBlock& io);
    // Writes a captured block at the ring's write position, wrapping when a lap is full.
    void Append(TWaveFile& f, const uint8_t* bytes, uint32_t frames);
    // Puts `file` in time order, oldest first, rewound; a wrapped ring is replaced by a copy.
    void Unwrap(std::unique_ptr<TWaveFile>& file);

    // The write position at the last wrap (frames), 0 before the first wrap.
    uint32_t WrapPosition() const { return wrapPosition_; }
    void Reset() { wrapPosition_ = 0; }

private:
    Host& host_;
    const EngineEnvironment& env_;
    uint32_t historyLimit_ = 0;  // frames after which the history wraps
    uint32_t wrapPosition_ = 0;
};

}  // namespace zeltrak
