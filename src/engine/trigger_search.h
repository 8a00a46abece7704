#pragma once
#include <cstdint>

#include "engine/processing_settings.h"

namespace zeltrak {

class TSeriesData;
class TWaveData;

// The trigger delay in samples of the decimated trigger series.
uint32_t TriggerDelaySamples(const SettingsBlock& settings, const TriggerBlock& trigger);

// The trigger's working state between frames: each start arms it, a frame that fired
// without auto-reset disarms it, and a forced trigger counts as found once.
class TTriggerSearch {
public:
    void Arm() { armed_ = true; }
    bool Armed() const { return armed_; }
    void Force() { forced_ = true; }
    bool Forced() const { return forced_; }

    // The recorder's gate: whether a captured block holds a trigger (every block does while
    // a forced trigger waits for its frame).
    bool BlockFires(TWaveData& block, uint32_t frames, const TriggerBlock& trigger) const;
    // Searches the decimated trigger series `tl`/`tr` for the frame and copies its samples
    // into `left`/`right`; false when nothing fired or the frame would run past the series.
    bool TakeFrame(const TriggerBlock& trigger, uint32_t delay, const TSeriesData& tl, const TSeriesData* tr,
                   TSeriesData& left, TSeriesData* right);

private:
    bool armed_ = false;
    bool forced_ = false;
};

}  // namespace zeltrak
