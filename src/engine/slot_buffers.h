#pragma once
#include <cstdint>
#include <memory>

#include "base/sample_format.h"

namespace zeltrak {

class TSeriesData;
class TSoundInput;
class TWaveData;

// The two buffers the sound card fills (or plays from) in turn, with what is known of each
// input slot: whether it is queued, whether it was ever filled, and how much of its last lap
// stayed unfilled.
class TSlotBuffers {
public:
    TSlotBuffers();
    ~TSlotBuffers();

    // Fresh slots of `frames` frames each, none queued; false when memory is short.
    bool Allocate(uint32_t frames, const SampleFormat& format);
    bool Allocated() const { return buffer_[0] != nullptr; }
    TWaveData& Buffer(int slot) { return *buffer_[slot]; }

    // Hands a whole slot to the input port to fill.
    bool Queue(TSoundInput& port, int slot);
    // The slot the port completed next, in order, with the frames it holds; -1 when the next
    // slot is not done yet. Its turn passes to the other slot.
    int TakeCompleted(TSoundInput& port, uint32_t& frames);
    // The slot that completes next, and whether it is still with the port.
    int Next() const { return nextSlot_; }
    bool Queued(int slot) const { return slotQueued_[slot]; }
    // The ports were closed: no slot is with them any more.
    void Unqueue() { slotQueued_[0] = slotQueued_[1] = false; }

    // Copies one channel of the `series.Length()` frames that end `delay` frames before
    // `offset` in `slot`, reaching back into the other slot's valid frames when `split`.
    // False when those frames are not all there.
    bool CopyChannel(TSeriesData& series, uint32_t channel, int slot, uint32_t offset, uint32_t delay,
                     bool split) const;

private:
    std::unique_ptr<TWaveData> buffer_[2];
    bool slotQueued_[2] = {false, false};
    int nextSlot_ = 0;               // the input slot that completes next
    uint32_t unfilled_[2] = {0, 0};  // frames not filled in each slot's last lap
    bool slotFilledOnce_[2] = {false, false};
};

}  // namespace zeltrak
