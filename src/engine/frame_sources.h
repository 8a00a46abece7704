#pragma once
#include <cstdint>
#include <memory>

#include "engine/processing_settings.h"

namespace zeltrak {

class TSeriesData;
class TSlotBuffers;
class TSoundInput;
class TSoundOutput;
class TWaveFile;

// Where a run's frames come from. Read fills the undecimated series of one frame (the right
// one is null in mono), each channel shifted by its delay; false when no whole frame is
// there.
class TFrameSource {
public:
    virtual ~TFrameSource() = default;
    virtual bool Read(TSeriesData& left, TSeriesData* right) = 0;
};

// Post-processing: the frame at the stored file's position.
class TFileFrameSource : public TFrameSource {
public:
    TFileFrameSource(const std::unique_ptr<TWaveFile>& file, const ProcessingSettings& settings)
        : file_(file), settings_(settings) {}
    bool Read(TSeriesData& left, TSeriesData* right) override;

private:
    const std::unique_ptr<TWaveFile>& file_;
    const ProcessingSettings& settings_;
};

// Live input: the newest frame the card has captured into the slots.
class TLiveFrameSource : public TFrameSource {
public:
    TLiveFrameSource(const std::unique_ptr<TSoundInput>& port, const TSlotBuffers& slotBuffers,
                     const ProcessingSettings& settings)
        : port_(port), slots_(slotBuffers), settings_(settings) {}
    bool Read(TSeriesData& left, TSeriesData* right) override;

private:
    const std::unique_ptr<TSoundInput>& port_;
    const TSlotBuffers& slots_;
    const ProcessingSettings& settings_;
};

// Playback of a stored file through the slots; its frame is the one the card is playing.
class TPlaybackSource : public TFrameSource {
public:
    TPlaybackSource(const std::unique_ptr<TWaveFile>& file, const std::unique_ptr<TSoundOutput>& port,
                    TSlotBuffers& slotBuffers, const ProcessingSettings& settings)
        : file_(file), port_(port), slots_(slotBuffers), settings_(settings) {}

    // Plays from the file's position, from its start when it stands at the end.
    void Begin();
    // Refills the slots the card has played; false when playback ended (the whole file
    // played) or the card refused a slot, so that the run stops.
    bool Refill();
    // The ports were closed: no slot is with the card any more.
    void Unqueue() { outQueued_[0] = outQueued_[1] = false; }
    double StartSeconds() const { return playStart_; }
    bool Read(TSeriesData& left, TSeriesData* right) override;

private:
    const std::unique_ptr<TWaveFile>& file_;
    const std::unique_ptr<TSoundOutput>& port_;
    TSlotBuffers& slots_;
    const ProcessingSettings& settings_;
    double playStart_ = 0.0;
    uint32_t playStartFrame_ = 0;
    uint32_t playReadFrame_ = 0;
    bool outQueued_[2] = {false, false};
};

}  // namespace zeltrak
