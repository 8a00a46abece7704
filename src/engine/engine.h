#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/analysis_chain.h"
#include "engine/engine_audience.h"
#include "engine/engine_environment.h"
#include "engine/frame_sources.h"
#include "engine/history_ring.h"
#include "engine/processing_settings.h"
#include "engine/recorder.h"
#include "engine/series_data.h"
#include "engine/slot_buffers.h"
#include "engine/sound_port.h"
#include "measure/generator_hook.h"
#include "engine/trigger_search.h"
#include "files/calibration_record.h"
#include "files/wave_data.h"

namespace zeltrak {

class Host;
class TWaveFile;
class WaveDriver;
class WaveNotifySink;

enum class EngineRunState : uint32_t { Running = 1, Stopped = 2, Recording = 3, Playing = 4 };

// The acquisition and processing loop: live input, recording, playback and stepping through
// a stored file, one analysed frame at a time. Single-threaded: the sound driver only posts
// buffer-done notices to `sink`; the owner's loop hands them to BufferDone and calls
// FrameStep while it returns true (and while WantsIdle is set).
class TEngine {
public:
    TEngine(Host& host, WaveDriver& driver, ProcessingSettings& settings, WaveNotifySink* sink,
            EngineEnvironment environment = {});
    ~TEngine();
    TEngine(const TEngine&) = delete;
    TEngine& operator=(const TEngine&) = delete;

    // Commands.
    bool Run();                      // clears the frame limit
    bool RunFrames(uint32_t count);  // stops once more than `count` frames were analysed
    void Stop();
    bool SingleStep();
    bool Record();
    bool Play();
    void ForceTrigger() { trigger_.Force(); }
    void ResetAverage() { chain_.ResetAverage(); }
    void ResetOverload() {
        overloaded_ = false;
        overloadCount_ = 0;
    }
    // Moves the analyser to other sound devices: stores the ids in the Device settings and
    // rebuilds both ports on them. Refused (false, nothing changed) while the engine runs or
    // when an id is not one of the direction's devices (kNoDevice included).
    bool SelectDevices(uint32_t inputDeviceId, uint32_t outputDeviceId);
    // The open signal generator (null: none): a live run or a recording starts it beside the
    // input, and every stop stops it.
    void SetGenerator(GeneratorHook* generator) { generator_ = generator; }

    // The idle step: analyses at most one frame; true while it wants to be called again.
    bool FrameStep();
    // A buffer-done notice from the driver (the header is only a hint; slots are checked).
    void BufferDone(WaveDirection direction, WaveHeader* header);
    // Set when playback asked for an idle step even though FrameStep returned false.
    bool TakeIdleRequest();
    // How long until the live input completes the next frame the overlap asks for (0: one is
    // due); none when the input does not pace the run (files, playback, recording, triggers).
    std::optional<uint32_t> MillisecondsToNextFrame();
    // Real-Time frames the card overwrote before the loop came to read them.
    uint64_t LostLiveFrames() const { return liveSource_.LostFrames(); }

    // Rebuilds series, spectrums and window for the current settings (done by every Run
    // that is not a single step).
    bool Rebuild();

    // The open wave file: analysed, recorded into, or the Real-Time history.
    void SetWaveFile(std::unique_ptr<TWaveFile> file);
    TWaveFile* WaveFile() { return waveFile_.get(); }
    std::unique_ptr<TWaveFile> TakeWaveFile();

    void AddListener(TEngineListener* listener, ListenerRole role) { audience_.Add(listener, role); }
    void RemoveListener(TEngineListener* listener) { audience_.Remove(listener); }
    void SetScaling(TSpectrumScaling* scaling) { scaling_ = scaling; }
    // The application's calibration changed (a file's chunk, another .cal file, or off): its
    // ratios scale the next frames and recordings the loop saves carry the record.
    void SetCalibration(const CalibrationRecord& record);

    // State.
    EngineRunState RunState() const { return runState_; }
    bool Running() const { return runState_ != EngineRunState::Stopped; }
    uint32_t FrameCount() const { return frameCount_; }
    bool Overloaded() const { return overloaded_; }
    uint32_t OverloadCount() const { return overloadCount_; }
    int32_t LevelLeft() const { return audience_.LevelLeft(); }
    int32_t LevelRight() const { return audience_.LevelRight(); }
    double StartTime() const { return run_.startTime; }
    double CurrentTime() const { return currentTime_; }
    int64_t StopTime() const { return stopTime_; }
    bool FrameLimitOn() const { return frameLimitOn_; }
    uint32_t FrameLimit() const { return frameLimit_; }
    const std::string& Caption() const { return audience_.Caption(); }
    // The shell's title (program and file name); a recording shows its state after it and
    // returns to it when it stops. Listeners hear the change.
    void SetCaption(const std::string& caption) { audience_.SetCaption(caption); }
    // The history file's wrap position (frames), 0 before the first wrap.
    uint32_t WrapPosition() const { return history_.WrapPosition(); }
    // Recordings saved when the disk size limit was reached, oldest first.
    const std::vector<std::string>& SavedRecordings() const { return recorder_.SavedRecordings(); }

    const TSeriesData* Series(int channel) const { return chain_.Series(channel); }
    const TSeriesData* TriggerSeries(int channel) const { return chain_.TriggerSeries(channel); }
    TSpectralData* Spectrum(int i) { return chain_.Spectrum(i); }
    const TSpectralData* Spectrum(int i) const { return chain_.Spectrum(i); }
    TSoundInput& InputPort() { return *inputPort_; }
    // The two input slots the card fills, for readers of the newest live samples.
    const TSlotBuffers& InputSlots() const { return slots_; }
    // Slots of at least `frames` frames from the next start on, for a reader of longer spans.
    void SetMinimumSlotFrames(uint32_t frames) { minSlotFrames_ = frames; }
    WaveDriver& Driver() { return driver_; }
    TSoundOutput& OutputPort() { return *outputPort_; }
    const ProcessingSettings& Settings() const { return settings_; }
    // Where its files go and the calibration it started with.
    const EngineEnvironment& Environment() const { return env_; }
    // Trigger delay in samples of the decimated trigger series.
    uint32_t TriggerDelaySamples() const;
    // The trigger's working state: armed by a start, a forced trigger waiting.
    const TTriggerSearch& Trigger() const { return trigger_; }

private:
    bool Start();
    bool PrepareRun();
    bool StartMode(uint32_t mode);
    bool StartFile();
    void StartGenerator();
    bool StartPlayback();
    bool StartInput();
    bool OpenInput();
    bool StartHistory();
    bool StartRecorderFile();
    void EchoPause();

    FrameGate TriggeredFrame(bool fromFile);
    FrameGate PlainFrame(bool fromFile);
    FrameGate FrameMissing(bool fromFile);
    void FinishFrame(bool triggering, bool fromFile);

    bool GetFrame(TSeriesData& left, TSeriesData* right);
    bool TakeLiveInput();
    TFrameSource& ActiveSource();
    void CheckOverload(const TSeriesData& left, const TSeriesData* right);
    void Analyse();
    void Notify(bool analysed);

    uint64_t SeriesSamples() const;  // DecimationRatio x FFTsize
    uint32_t SlotFrames(bool recorder) const;
    bool AllocateSlots(uint32_t frames);
    // Takes every completed input slot in order: appends, searches the trigger, requeues.
    void CollectInput(bool requeue);
    // Stores what the card captured so far, the current slot's part included.
    void FlushInput();
    // Handles one completed input block of `frames` frames from slot buffer `slot`.
    bool StoreInput(int slot, uint32_t frames);
    void UnwrapHistory();
    void FillPlayback();
    void StopPorts();
    void RollOverRecording();

    Host& host_;
    WaveDriver& driver_;
    ProcessingSettings& settings_;
    WaveNotifySink* sink_;
    EngineEnvironment env_;
    std::unique_ptr<TSoundInput> inputPort_;
    std::unique_ptr<TSoundOutput> outputPort_;
    GeneratorHook* generator_ = nullptr;
    std::unique_ptr<TWaveFile> waveFile_;
    LiveRunState run_;  // historyFile: waveFile_ is the Real-Time history

    TEngineAudience audience_;
    TAnalysisChain chain_;
    TSlotBuffers slots_;
    TTriggerSearch trigger_;
    THistoryRing history_;
    TRecorder recorder_;
    TFileFrameSource fileSource_;
    TLiveFrameSource liveSource_;
    TRecordingSource recordingSource_;
    TPlaybackSource playback_;
    TSpectrumScaling* scaling_ = nullptr;

    EngineRunState runState_ = EngineRunState::Stopped;
    bool singleStep_ = false;
    bool frameLimitOn_ = false;
    uint32_t frameLimit_ = 0;
    uint32_t frameCount_ = 0;
    bool overloaded_ = false;
    uint32_t overloadCount_ = 0;
    double currentTime_ = 0.0;
    int64_t stopTime_ = 0;
    bool idleRequested_ = false;
    bool stopping_ = false;
    uint32_t minSlotFrames_ = 0;
    uint32_t generation_ = 0;  // counts input starts, so a loop over slots sees a restart
};

}  // namespace zeltrak
