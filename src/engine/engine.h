#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_listener.h"
#include "engine/processing_settings.h"
#include "engine/series_data.h"
#include "engine/sound_port.h"
#include "files/calibration_record.h"
#include "files/wave_data.h"

namespace zeltrak {

class Host;
class TSpectralData;
class TWaveFile;
class WaveDriver;
class WaveNotifySink;

enum EngineRunState : uint32_t { kRunning = 1, kStopped = 2, kRecording = 3, kPlaying = 4 };

// Where calibration and spectral scaling plug in. Prepare runs whenever the spectrums are
// rebuilt (per-bin scale, weighting, bands), telling what fails through host; AfterAverage
// after each frame's two-channel processing, before anyone is told about the frame.
class TSpectrumScaling {
public:
    virtual ~TSpectrumScaling() = default;
    virtual void Prepare(TSpectralData* const (&spectrums)[4], Host& host) = 0;
    virtual void AfterAverage(TSpectralData* const (&spectrums)[4]) = 0;
};

// Folders and options of the shell that the loop needs.
struct EngineEnvironment {
    std::string waveDir;  // where a recording that reached the disk size limit is saved
    std::string tempDir;  // working files and the Real-Time history; empty: the system's
    // The calibration ratios (full-scale units) per channel when calibration is enabled.
    bool calibrationEnabled = false;
    float calRatioLeft = 1.0f;
    float calRatioRight = 1.0f;
    // Written into recordings that the loop saves when calibration is enabled.
    CalibrationRecord calibration;
    std::string programTitle;  // caption base; empty means the program title
};

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
    void ForceTrigger();
    void ResetAverage();
    // Moves the analyser to other sound devices: stores the ids in the Device settings and
    // rebuilds both ports on them. Refused (false, nothing changed) while the engine runs or
    // when an id is not one of the direction's devices (kNoDevice included).
    bool SelectDevices(uint32_t inputDeviceId, uint32_t outputDeviceId);

    // The idle step: analyses at most one frame; true while it wants to be called again.
    bool FrameStep();
    // A buffer-done notice from the driver (the header is only a hint; slots are checked).
    void BufferDone(WaveDirection direction, WaveHeader* header);
    // Set when playback asked for an idle step even though FrameStep returned false.
    bool TakeIdleRequest();

    // Rebuilds series, spectrums and window for the current settings (done by every Run
    // that is not a single step).
    bool Rebuild();

    // The open wave file: analysed, recorded into, or the Real-Time history.
    void SetWaveFile(std::unique_ptr<TWaveFile> file);
    TWaveFile* WaveFile() { return waveFile_.get(); }
    std::unique_ptr<TWaveFile> TakeWaveFile();

    void AddListener(TEngineListener* listener, ListenerRole role);
    void RemoveListener(TEngineListener* listener);
    void SetScaling(TSpectrumScaling* scaling) { scaling_ = scaling; }
    // The application's calibration changed (a file's chunk, another .cal file, or off): its
    // ratios scale the next frames and recordings the loop saves carry the record.
    void SetCalibration(const CalibrationRecord& record);

    // State.
    uint32_t RunState() const { return runState_; }
    bool Running() const { return runState_ != kStopped; }
    uint32_t FrameCount() const { return frameCount_; }
    bool Overloaded() const { return overloaded_; }
    uint32_t OverloadCount() const { return overloadCount_; }
    int32_t LevelLeft() const { return levelLeft_; }
    int32_t LevelRight() const { return levelRight_; }
    double StartTime() const { return startTime_; }
    double CurrentTime() const { return currentTime_; }
    int64_t StopTime() const { return stopTime_; }
    bool FrameLimitOn() const { return frameLimitOn_; }
    uint32_t FrameLimit() const { return frameLimit_; }
    const std::string& Caption() const { return caption_; }
    // The shell's title (program and file name); a recording shows its state after it and
    // returns to it when it stops. Listeners hear the change.
    void SetCaption(const std::string& caption);
    // The history file's wrap position (frames), 0 before the first wrap.
    uint32_t WrapPosition() const { return wrapPosition_; }
    // Recordings saved when the disk size limit was reached, oldest first.
    const std::vector<std::string>& SavedRecordings() const { return savedRecordings_; }

    const TSeriesData* Series(int channel) const { return series_[channel].get(); }
    const TSeriesData* TriggerSeries(int channel) const { return triggerSeries_[channel].get(); }
    TSpectralData* Spectrum(int i) { return spectrums_[i].get(); }
    const TSpectralData* Spectrum(int i) const { return spectrums_[i].get(); }
    TSoundInput& InputPort() { return *inputPort_; }
    WaveDriver& Driver() { return driver_; }
    TSoundOutput& OutputPort() { return *outputPort_; }
    const ProcessingSettings& Settings() const { return settings_; }
    // Trigger delay in samples of the decimated trigger series.
    uint32_t TriggerDelaySamples() const;

private:
    bool Start();
    bool StartInput();
    bool StartRecorderFile();
    bool GetFrame(TSeriesData& left, TSeriesData* right);
    bool GetLiveFrame(TSeriesData& left, TSeriesData* right);
    bool GetFileFrame(TSeriesData& left, TSeriesData* right, uint32_t position);
    bool CopyLiveChannel(TSeriesData& series, uint32_t channel, int slot, uint32_t offset, uint32_t delay,
                         bool split);
    void CheckOverload(const TSeriesData& left, const TSeriesData* right);
    void Analyse();
    void Notify(bool analysed);
    void SetLevels(int32_t left, int32_t right);

    uint64_t SeriesSamples() const;  // DecimationRatio x FFTsize
    bool Stereo() const { return settings_.Settings().format.channels == 2; }
    double SeriesSeconds() const;
    uint32_t SlotFrames(bool recorder) const;
    bool AllocateSlots(uint32_t frames);
    bool QueueSlot(int slot);
    // Takes every completed input slot in order: appends, searches the trigger, requeues.
    void CollectInput(bool requeue);
    // Handles one completed input block of `frames` frames from slot buffer `slot`.
    bool StoreInput(int slot, uint32_t frames);
    bool AppendToFile(const uint8_t* bytes, uint32_t frames);
    void AppendHistory(const uint8_t* bytes, uint32_t frames);
    void UnwrapHistory();
    bool SearchBuffer(int slot, uint32_t frames);
    void FillPlayback();
    void StopPorts();
    bool DiskLimitReached() const;
    void RollOverRecording();
    std::string RecordingName() const;

    Host& host_;
    WaveDriver& driver_;
    ProcessingSettings& settings_;
    WaveNotifySink* sink_;
    EngineEnvironment env_;
    std::unique_ptr<TSoundInput> inputPort_;
    std::unique_ptr<TSoundOutput> outputPort_;

    uint32_t runState_ = kStopped;
    bool singleStep_ = false;
    bool frameLimitOn_ = false;
    uint32_t frameLimit_ = 0;
    uint32_t frameCount_ = 0;
    bool overloaded_ = false;
    uint32_t overloadCount_ = 0;
    int32_t levelLeft_ = 0;
    int32_t levelRight_ = 0;
    double startTime_ = 0.0;
    double currentTime_ = 0.0;
    double playStart_ = 0.0;
    int64_t stopTime_ = 0;

    std::unique_ptr<TWaveData> slotBuffer_[2];
    bool slotQueued_[2] = {false, false};
    int nextSlot_ = 0;               // the input slot that completes next
    uint32_t unfilled_[2] = {0, 0};  // frames not filled in each slot's last lap
    bool slotFilledOnce_[2] = {false, false};
    std::unique_ptr<TWaveFile> waveFile_;
    bool historyFile_ = false;  // waveFile_ is the Real-Time history
    uint32_t historyLimit_ = 0;  // frames after which the history wraps
    uint32_t wrapPosition_ = 0;
    bool recorderCreatedFile_ = false;
    bool playbackFinished_ = false;
    uint32_t playReadFrame_ = 0;
    uint32_t playStartFrame_ = 0;
    bool idleRequested_ = false;
    bool stopping_ = false;
    bool rolloverPending_ = false;
    uint32_t generation_ = 0;  // counts input starts, so a loop over slots sees a restart
    bool outQueued_[2] = {false, false};
    std::string caption_;
    std::string savedCaption_;
    std::vector<std::string> savedRecordings_;

    std::unique_ptr<TSeriesData> series_[2];
    std::unique_ptr<TSeriesData> triggerSeries_[2];
    std::unique_ptr<TSpectralData> spectrums_[4];
    std::vector<float> window_;
    bool uniformWindow_ = true;
    bool built_ = false;
    TSpectrumScaling* scaling_ = nullptr;

    struct Registered {
        TEngineListener* listener;
        ListenerRole role;
    };
    std::vector<Registered> listeners_;
};

}  // namespace zeltrak
