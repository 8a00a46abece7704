#include "engine/trigger_search.h"

#include <algorithm>

#include "base/numeric.h"
#include "engine/series_data.h"
#include "files/wave_data.h"

namespace zeltrak {

uint32_t TriggerDelaySamples(const SettingsBlock& settings, const TriggerBlock& trigger) {
    // The ratio enters once, through the decimated sampling rate.
    const double seconds = LimitedDelayMsec(trigger.DelayMsec) * 0.001;
    return TruncToUint32(settings.format.rate * seconds / std::max<uint32_t>(settings.DecimationRatio, 1));
}

bool TTriggerSearch::BlockFires(TWaveData& block, uint32_t frames, const TriggerBlock& trigger) const {
    if (forced_) return true;
    WaveTrigger w;
    w.TriggerType = trigger.TriggerType;
    w.TriggerSlope = trigger.TriggerSlope;
    w.Threshold = trigger.Threshold;
    return block.FindTrigger(w, 0, frames, trigger.Channel);
}

bool TTriggerSearch::TakeFrame(const TriggerBlock& trigger, uint32_t delay, const TSeriesData& tl,
                               const TSeriesData* tr, TSeriesData& left, TSeriesData* right) {
    const uint32_t pre = trigger.DelayType == 0 ? delay : 0;
    const uint32_t post = trigger.DelayType == 1 ? delay : 0;
    const uint32_t n = left.DecimatedLength();
    const TSeriesData& source = (trigger.Channel == 1 && tr) ? *tr : tl;
    uint32_t found = 0;
    bool fired = false;
    if (forced_) {
        forced_ = false;
        fired = true;
        found = pre;  // the forced frame starts where the search would have begun
    } else {
        fired = source.FindTrigger(trigger, pre, n + pre, found);
    }
    const uint32_t start = found - pre + post;
    if (!fired || start + n > tl.DecimatedLength()) return false;
    if (trigger.AutoReset == 0) armed_ = false;
    for (uint32_t i = 0; i < n; ++i) left.SetSample(i, tl.Raw(start + i));
    if (right && tr)
        for (uint32_t i = 0; i < n; ++i) right->SetSample(i, tr->Raw(start + i));
    return true;
}

}  // namespace zeltrak
