#pragma once
#include <cstdint>
#include <memory>

#include "engine/processing_settings.h"

namespace zeltrak {

class Host;
class TSeriesData;
class TSlotBuffers;
class TSoundInput;
class TSoundOutput;
class TWaveFile;

// What the idle step does once the source has placed its next frame in time.
enum class FrameGate {
    kAnalyse,  // a frame is due
    kWait,     // none yet: call again
    kEnd,      // the run's frames ran out: stop it
    kIdle,     // nothing to do, nothing to stop
};

// Where a run's frames come from. Place sets the time (seconds) of the frame to come and
// says whether it is due; Read fills the undecimated series of one frame (the right one is
// null in mono), each channel shifted by its delay, false when no whole frame is there.
class TFrameSource {
public:
    virtual ~TFrameSource() = default;
    virtual FrameGate Place(double& currentTime) = 0;
    virtual bool Read(TSeriesData& left, TSeriesData* right) = 0;
};

// Post-processing: the frame at the stored file's position.
class TFileFrameSource : public TFrameSource {
public:
    TFileFrameSource(const std::unique_ptr<TWaveFile>& file, const ProcessingSettings& settings)
        : file_(file), settings_(settings) {}
    // Whether a run can start at the file's position; a refusal is shown.
    bool CanStart(Host& host) const;
    FrameGate Place(double& currentTime) override;
    bool Read(TSeriesData& left, TSeriesData* right) override;

private:
    const std::unique_ptr<TWaveFile>& file_;
    const ProcessingSettings& settings_;
};

// The run's start in seconds (of the file or the wall clock) and whether the Real-Time
// history is kept, as the live sources need them.
struct LiveRunState {
    double startTime = 0.0;
    bool historyFile = false;
};

// Live input. Untriggered Real-Time frames follow the overlap: each one ends one frame advance
// after the last, and is due once the card has captured it. Otherwise the newest frame captured.
class TLiveFrameSource : public TFrameSource {
public:
    TLiveFrameSource(const std::unique_ptr<TSoundInput>& port, const TSlotBuffers& slotBuffers,
                     const ProcessingSettings& settings, const LiveRunState& run)
        : port_(port), slots_(slotBuffers), settings_(settings), run_(run) {}
    FrameGate Place(double& currentTime) override;
    bool Read(TSeriesData& left, TSeriesData* right) override;
    // A new run: the first frame ends when a whole series (and the channel delay) is in.
    void RestartSchedule();
    // Whether frames follow the overlap schedule, and how many samples the next one still lacks.
    bool Scheduled() const { return settings_.Trigger.Enable == 0; }
    uint64_t FramesUntilDue();
    // Frames the card overwrote before they could be read.
    uint64_t LostFrames() const { return lost_; }

protected:
    const std::unique_ptr<TSoundInput>& port_;
    const TSlotBuffers& slots_;
    const ProcessingSettings& settings_;
    const LiveRunState& run_;

private:
    FrameGate PlaceNewest(double& currentTime);
    bool ReadAt(TSeriesData& left, TSeriesData* right, int slot, uint32_t offset);

    uint64_t nextEnd_ = 0;
    uint64_t lost_ = 0;
    bool placed_ = false;  // Place found the scheduled frame: Read takes it
    int placedSlot_ = 0;
    uint32_t placedOffset_ = 0;
};

// Recording: live frames, timed by the file they go into.
class TRecordingSource : public TLiveFrameSource {
public:
    TRecordingSource(const std::unique_ptr<TWaveFile>& file, const std::unique_ptr<TSoundInput>& port,
                     const TSlotBuffers& slotBuffers, const ProcessingSettings& settings, const LiveRunState& run)
        : TLiveFrameSource(port, slotBuffers, settings, run), file_(file) {}
    FrameGate Place(double& currentTime) override;

private:
    const std::unique_ptr<TWaveFile>& file_;
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
    FrameGate Place(double& currentTime) override;
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
