#include "engine/slot_buffers.h"

#include <algorithm>
#include <cstring>

#include "engine/series_data.h"
#include "engine/sound_port.h"
#include "files/wave_data.h"

namespace zeltrak {

TSlotBuffers::TSlotBuffers() = default;
TSlotBuffers::~TSlotBuffers() = default;

bool TSlotBuffers::Allocate(uint32_t frames, const SampleFormat& format) {
    for (int i = 0; i < 2; ++i) {
        buffer_[i] = std::make_unique<TWaveData>(frames, format);
        if (buffer_[i]->Error()) {
            buffer_[i].reset();
            return false;
        }
        slotQueued_[i] = false;
        unfilled_[i] = 0;
        slotFilledOnce_[i] = false;
    }
    nextSlot_ = 0;
    return true;
}

bool TSlotBuffers::Queue(TSoundInput& port, int slot) {
    TWaveData& b = *buffer_[slot];
    const uint32_t bytes = static_cast<uint32_t>(b.FramesToBytes(b.Length()));
    if (!port.AddBuffer(b.Buffer(), bytes, slot)) return false;
    slotQueued_[slot] = true;
    return true;
}

int TSlotBuffers::TakeCompleted(TSoundInput& port, uint32_t& frames) {
    const int slot = nextSlot_;
    if (!buffer_[slot] || !slotQueued_[slot] || !port.IsSlotDone(slot)) return -1;
    const uint32_t length = buffer_[slot]->Length();
    frames = std::min(port.FramesInSlot(slot), length);
    slotQueued_[slot] = false;
    unfilled_[slot] = length - frames;
    slotFilledOnce_[slot] = true;
    nextSlot_ ^= 1;
    return slot;
}

bool TSlotBuffers::CopyChannel(TSeriesData& series, uint32_t channel, int slot, uint32_t offset, uint32_t delay,
                               bool split) const {
    const int other = slot ^ 1;
    const TWaveData& cur = *buffer_[slot];
    const TWaveData& prev = *buffer_[other];
    offset = std::min(offset, cur.Length());
    const uint32_t prevValid = slotFilledOnce_[other] ? prev.Length() - unfilled_[other] : 0;
    // The two slots as one run: the other slot's valid samples, then the current slot's.
    const int64_t end = static_cast<int64_t>(prevValid) + offset - delay;
    const int64_t begin = end - series.Length();
    if (begin < 0) return false;
    if (begin < prevValid && !split) return false;
    const uint32_t bps = cur.Format().bytesPerSample;
    const uint32_t blockAlign = cur.Format().BlockAlign();
    const uint32_t channelOffset = std::min<uint32_t>(channel, cur.Format().channels - 1u) * bps;
    uint8_t* out = series.Bytes();
    for (int64_t v = begin; v < end; ++v) {
        const bool inPrev = v < prevValid;
        const uint8_t* from = inPrev ? prev.Buffer() + static_cast<uint64_t>(v) * blockAlign
                                     : cur.Buffer() + static_cast<uint64_t>(v - prevValid) * blockAlign;
        std::memcpy(out, from + channelOffset, bps);
        out += bps;
    }
    return true;
}

}  // namespace zeltrak
