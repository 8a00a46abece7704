#include "engine/engine.h"

#include <algorithm>

#include "base/strings.h"
#include "engine/engine_strings.h"
#include "engine/wave_file_status.h"
#include "files/wave_file.h"
#include "platform/host.h"

namespace zeltrak {

namespace {

int32_t DeviceIndex(uint32_t stored) { return stored == kNoDevice ? -1 : static_cast<int32_t>(stored); }

// Moves a stored file on to the next frame's start, or to its end.
void SeekNextFrame(TWaveFile& file, const SettingsBlock& settings) {
    const uint64_t next = file.Position() + FileFrameAdvance(settings);
    file.Seek(static_cast<uint32_t>(std::min<uint64_t>(next, file.Length())));
}

}  // namespace

TEngine::TEngine(Host& host, WaveDriver& driver, ProcessingSettings& settings, WaveNotifySink* sink,
                 EngineEnvironment environment)
    : host_(host),
      driver_(driver),
      settings_(settings),
      sink_(sink),
      env_(std::move(environment)),
      chain_(host),
      history_(host, env_),
      recorder_(host, env_, settings, audience_),
      fileSource_(waveFile_, settings),
      liveSource_(inputPort_, slots_, settings, run_),
      recordingSource_(waveFile_, inputPort_, slots_, settings, run_),
      playback_(waveFile_, outputPort_, slots_, settings) {
    if (env_.programTitle.empty()) env_.programTitle = kProgramTitle;
    audience_.SetCaption(env_.programTitle);
    inputPort_ = std::make_unique<TSoundInput>(driver, host, DeviceIndex(settings_.Device.InputDeviceID));
    outputPort_ = std::make_unique<TSoundOutput>(driver, host, DeviceIndex(settings_.Device.OutputDeviceID));
}

TEngine::~TEngine() {
    // The ports' destructors close the devices; the slot buffers must outlive that.
    inputPort_.reset();
    outputPort_.reset();
    ReleaseWaveFile(host_, waveFile_);
}

// ---------------------------------------------------------------------------------------------
// Setup

uint64_t TEngine::SeriesSamples() const { return zeltrak::SeriesSamples(settings_.Settings()); }

uint32_t TEngine::TriggerDelaySamples() const {
    return zeltrak::TriggerDelaySamples(settings_.Settings(), settings_.Trigger);
}

void TEngine::SetCalibration(const CalibrationRecord& record) {
    env_.calibrationEnabled = record.IsEnabled != 0;
    env_.calRatioLeft = env_.calibrationEnabled ? record.CalRatioLeft : 1.0f;
    env_.calRatioRight = env_.calibrationEnabled ? record.CalRatioRight : 1.0f;
    env_.calibration = record;
}

bool TEngine::Rebuild() {
    const float fullScale[2] = {env_.FullScale(0), env_.FullScale(1)};
    return chain_.Build(settings_, fullScale, scaling_);
}

void TEngine::SetWaveFile(std::unique_ptr<TWaveFile> file) {
    if (Running()) Stop();
    ReleaseWaveFile(host_, waveFile_);
    waveFile_ = std::move(file);
    run_.historyFile = false;
    recorder_.FileReplaced();
    history_.Reset();
}

std::unique_ptr<TWaveFile> TEngine::TakeWaveFile() {
    if (Running()) Stop();
    run_.historyFile = false;
    return std::move(waveFile_);
}

// ---------------------------------------------------------------------------------------------
// Commands

bool TEngine::Run() {
    frameLimitOn_ = false;
    // A recording or playback goes on as it is: starting again would reopen the device.
    if (runState_ == EngineRunState::Recording || runState_ == EngineRunState::Playing) return true;
    return Start();
}

bool TEngine::RunFrames(uint32_t count) {
    frameLimitOn_ = true;
    frameLimit_ = count;
    if (runState_ == EngineRunState::Recording || runState_ == EngineRunState::Playing) return true;
    return Start();
}

bool TEngine::SingleStep() {
    const uint32_t mode = settings_.Mode.OpMode;
    if (mode == kModeRecorder) return false;
    if (mode == kModeRealTime && Running()) return false;
    singleStep_ = true;
    const bool ok = Start();
    if (!ok) singleStep_ = false;
    return ok;
}

bool TEngine::Record() {
    if (settings_.Mode.OpMode != kModeRecorder || Running()) return false;
    runState_ = EngineRunState::Recording;
    return Start();
}

bool TEngine::Play() {
    if (settings_.Mode.OpMode != kModeRecorder || Running()) return false;
    runState_ = EngineRunState::Playing;
    return Start();
}

bool TEngine::SelectDevices(uint32_t inputDeviceId, uint32_t outputDeviceId) {
    if (Running()) return false;
    // The device lists may have changed since they were shown; only a present device counts.
    if (inputDeviceId == kNoDevice || inputDeviceId >= driver_.DeviceCount(WaveDirection::Input)) return false;
    if (outputDeviceId == kNoDevice || outputDeviceId >= driver_.DeviceCount(WaveDirection::Output)) return false;
    settings_.Device.InputDeviceID = inputDeviceId;
    settings_.Device.OutputDeviceID = outputDeviceId;
    // Stopped ports hold no queued buffers, so the slot buffers need not change.
    inputPort_ = std::make_unique<TSoundInput>(driver_, host_, DeviceIndex(inputDeviceId));
    outputPort_ = std::make_unique<TSoundOutput>(driver_, host_, DeviceIndex(outputDeviceId));
    return true;
}

bool TEngine::TakeIdleRequest() {
    const bool wanted = idleRequested_;
    idleRequested_ = false;
    return wanted;
}

std::optional<uint32_t> TEngine::MillisecondsToNextFrame() {
    const uint32_t rate = settings_.Settings().format.rate;
    const bool paced = runState_ == EngineRunState::Running && settings_.Mode.OpMode == kModeRealTime;
    if (!paced || !liveSource_.Scheduled() || rate == 0) return std::nullopt;
    const uint64_t ms = (liveSource_.FramesUntilDue() * 1000 + rate - 1) / rate;
    return static_cast<uint32_t>(std::min<uint64_t>(ms, UINT32_MAX));
}

// Some devices need a pause around their state changes.
void TEngine::EchoPause() {
    if (inputPort_->Peculiarities().echoFamily)
        host_.SleepMilliseconds(static_cast<uint32_t>(std::max(settings_.FileIO.DarlaDelay, 0)));
}

// ---------------------------------------------------------------------------------------------
// Start

bool TEngine::Start() {
    EchoPause();
    if (runState_ == EngineRunState::Running) return true;
    const uint32_t mode = settings_.Mode.OpMode;
    // A plain Run in Recorder mode plays an open file and records otherwise.
    if (mode == kModeRecorder && runState_ == EngineRunState::Stopped)
        runState_ = waveFile_ ? EngineRunState::Playing : EngineRunState::Recording;
    if (!PrepareRun() || !StartMode(mode)) {
        runState_ = EngineRunState::Stopped;
        return false;
    }
    trigger_.Arm();
    audience_.Started();
    // A new run wants idle steps even if the last one ended in an idle step of its own (end
    // of file, a lost device) and no buffer notice will come to ask for them (a file run).
    idleRequested_ = true;
    FrameStep();
    if ((runState_ == EngineRunState::Running && mode == kModeRealTime) || runState_ == EngineRunState::Recording) {
        if (!inputPort_->Start()) Stop();
    }
    return runState_ != EngineRunState::Stopped || frameCount_ > 0;
}

// The counters and series a run starts from; a single step keeps the built chain.
bool TEngine::PrepareRun() {
    const SampleFormat format = settings_.Settings().format;
    inputPort_->SetFormat(format);
    outputPort_->SetFormat(format);
    overloaded_ = false;
    overloadCount_ = 0;
    frameCount_ = 0;
    audience_.ForgetLevels();
    if ((!singleStep_ || !chain_.Built()) && !Rebuild()) return false;
    chain_.ClearTriggerSeries();
    if (!singleStep_) ResetAverage();
    return true;
}

bool TEngine::StartMode(uint32_t mode) {
    switch (mode) {
        case kModeRealTime:
            if (!StartInput()) return false;
            liveSource_.RestartSchedule();
            runState_ = EngineRunState::Running;
            StartGenerator();
            return true;
        case kModePostProcessing:
            if (!StartFile()) return false;
            runState_ = EngineRunState::Running;
            return true;
        case kModeRecorder:
            if (runState_ != EngineRunState::Recording) return StartPlayback();
            if (!StartInput()) return false;
            StartGenerator();
            return true;
        default: return false;
    }
}

void TEngine::StartGenerator() {
    if (!generator_ || !generator_->Active()) return;
    const bool sharedDevice = generator_->OutputDeviceId() == inputPort_->DeviceId();
    if (sharedDevice && !inputPort_->SupportsDuplex()) return;
    if (const uint32_t delay = generator_->StartDelayMilliseconds()) host_.SleepMilliseconds(delay);
    generator_->StartWithRun();
}

bool TEngine::StartFile() {
    if (!fileSource_.CanStart(host_)) return false;
    run_.startTime = waveFile_->FramesToSeconds(waveFile_->Position());
    return true;
}

bool TEngine::StartPlayback() {
    if (!waveFile_) {
        ShowMessage(host_, kEngineOpenWaveFile);
        return false;
    }
    playback_.Begin();
    if (!outputPort_->SetFormat(waveFile_->Format()) || !outputPort_->Open(sink_, false) ||
        !AllocateSlots(SlotFrames(true))) {
        outputPort_->Close();
        return false;
    }
    if (sink_) sink_->PostBufferDone(WaveDirection::Output, nullptr);
    else FillPlayback();
    return true;
}

uint32_t TEngine::SlotFrames(bool recorder) const {
    const SettingsBlock& s = settings_.Settings();
    const int32_t secs = recorder ? settings_.FileIO.RecordIOBufferSizeSecs : settings_.FileIO.RealTimeIOBufferSizeSecs;
    uint64_t frames = static_cast<uint64_t>(std::clamp(secs, 1, kMaxIOBufferSecs)) * s.format.rate;
    // A slot must hold a whole frame (the longer trigger frame when triggering), or the live
    // frame could never be formed from the two slots.
    uint64_t longest = chain_.Series(0) ? chain_.Series(0)->Length() : SeriesSamples();
    if (settings_.Trigger.Enable && chain_.TriggerSeries(0)) longest = chain_.TriggerSeries(0)->Length();
    frames = std::max<uint64_t>({frames, longest + ChannelDelaySamples(s), minSlotFrames_});
    return static_cast<uint32_t>(std::min<uint64_t>(frames, 0x7FFFFFFFu / std::max(s.format.BlockAlign(), 1u)));
}

bool TEngine::AllocateSlots(uint32_t frames) {
    if (slots_.Allocate(frames, settings_.Settings().format)) return true;
    ShowStringMessage(host_, kStrInsufficientMemory);
    return false;
}

bool TEngine::StartInput() {
    if (!OpenInput()) return false;
    ++generation_;
    const bool recorder = settings_.Mode.OpMode == kModeRecorder;
    const bool fileReady = recorder ? StartRecorderFile() : StartHistory();
    if (!fileReady || !AllocateSlots(SlotFrames(recorder)) || !slots_.Queue(*inputPort_, 0) ||
        !slots_.Queue(*inputPort_, 1)) {
        inputPort_->Close();
        return false;
    }
    return true;
}

bool TEngine::OpenInput() {
    if (inputPort_->DeviceId() < 0) {
        ShowMessage(host_, kEngineNoSoundCard);
        return false;
    }
    // A device unplugged since it was chosen would otherwise be blamed on the format.
    if (static_cast<uint32_t>(inputPort_->DeviceId()) >= driver_.DeviceCount(WaveDirection::Input)) {
        ShowStringMessage(host_, kStrSoundDeviceFailure);
        return false;
    }
    if (!inputPort_->SetFormat(settings_.Settings().format)) {
        ShowStringMessage(host_, kStrFormatNotSupported);
        return false;
    }
    return inputPort_->Open(sink_, settings_.FileIO.DALSelfMonitor != 0);
}

bool TEngine::StartHistory() {
    ReleaseWaveFile(host_, waveFile_);
    run_.historyFile = false;
    history_.Reset();
    if (settings_.FileIO.RealTimeWaveBufferEnableFlag == 1) {
        waveFile_ = history_.Create(settings_.Settings(), settings_.FileIO);
        if (!waveFile_) return false;
        run_.historyFile = true;
    }
    run_.startTime = run_.historyFile ? waveFile_->FramesToSeconds(waveFile_->Position())
                                      : static_cast<double>(host_.WallClockSeconds());
    return true;
}

bool TEngine::StartRecorderFile() {
    const bool newFile = !waveFile_;
    if (!recorder_.Open(waveFile_)) return false;
    if (newFile) run_.historyFile = false;
    run_.startTime = waveFile_->FramesToSeconds(waveFile_->Position());
    return true;
}

// ---------------------------------------------------------------------------------------------
// Buffer pump

void TEngine::BufferDone(WaveDirection direction, WaveHeader*) {
    if (runState_ == EngineRunState::Stopped) return;
    const uint32_t mode = settings_.Mode.OpMode;
    if (direction == WaveDirection::Input) {
        const bool live =
            (mode == kModeRealTime && runState_ == EngineRunState::Running) || runState_ == EngineRunState::Recording;
        if (!live) return;
        if (settings_.Trigger.Enable && !trigger_.Armed()) {
            Stop();
            return;
        }
        CollectInput(true);
        if (recorder_.TakeRollover()) RollOverRecording();
    } else if (runState_ == EngineRunState::Playing) {
        FillPlayback();
        idleRequested_ = true;
    }
}

void TEngine::CollectInput(bool requeue) {
    const uint32_t generation = generation_;
    uint32_t frames = 0;
    for (int slot; (slot = slots_.TakeCompleted(*inputPort_, frames)) >= 0;) {
        // The buffer is not cleared before it goes back: the live frame may still read its
        // end, and the driver overwrites it only after the other slot is full.
        if (!StoreInput(slot, frames) || generation != generation_ || runState_ == EngineRunState::Stopped) return;
        if (requeue && !slots_.Queue(*inputPort_, slot)) {
            Stop();
            return;
        }
    }
}

void TEngine::FlushInput() {
    CollectInput(false);
    const int slot = slots_.Next();
    if (!slots_.Queued(slot)) return;
    const uint32_t frames = std::min(inputPort_->FramesInSlot(slot), slots_.Buffer(slot).Length());
    StoreInput(slot, frames);
}

bool TEngine::StoreInput(int slot, uint32_t frames) {
    if (frames == 0) return true;
    const uint8_t* bytes = slots_.Buffer(slot).Buffer();
    if (settings_.Mode.OpMode == kModeRealTime) {
        if (run_.historyFile && waveFile_) history_.Append(*waveFile_, bytes, frames);
        return true;
    }
    if (!waveFile_) return false;
    if (settings_.Trigger.Enable && !trigger_.BlockFires(slots_.Buffer(slot), frames, settings_.Trigger)) return true;
    if (!recorder_.Append(*waveFile_, bytes, frames)) {
        if (!stopping_) Stop();
        return false;
    }
    if (!stopping_) recorder_.CheckDiskLimit(*waveFile_);
    return true;
}

void TEngine::UnwrapHistory() {
    if (run_.historyFile && waveFile_) history_.Unwrap(waveFile_);
}

void TEngine::RollOverRecording() {
    Stop();
    if (!waveFile_ || !recorder_.SaveFull(waveFile_)) return;
    runState_ = EngineRunState::Recording;
    Start();
}

void TEngine::FillPlayback() {
    if (!playback_.Refill()) Stop();
}

// ---------------------------------------------------------------------------------------------
// Idle step

bool TEngine::FrameStep() {
    if (runState_ == EngineRunState::Stopped) return false;
    const uint32_t mode = settings_.Mode.OpMode;
    // A device that vanished mid-run would otherwise leave the analyser waiting for ever.
    if ((mode == kModeRealTime || runState_ == EngineRunState::Recording) && inputPort_->DeviceLost()) {
        Stop();
        ShowStringMessage(host_, kStrSoundDeviceFailure);
        return false;
    }
    FrameGate gate = ActiveSource().Place(currentTime_);
    if (gate == FrameGate::kAnalyse && !chain_.Series(0)) gate = FrameGate::kIdle;
    const bool triggering = settings_.Trigger.Enable != 0;
    const bool fromFile = mode == kModePostProcessing;
    if (gate == FrameGate::kAnalyse) gate = triggering ? TriggeredFrame(fromFile) : PlainFrame(fromFile);
    if (gate == FrameGate::kEnd) Stop();
    if (gate != FrameGate::kAnalyse) return gate == FrameGate::kWait;
    FinishFrame(triggering, fromFile);
    return runState_ != EngineRunState::Stopped;
}

FrameGate TEngine::TriggeredFrame(bool fromFile) {
    TSeriesData* tl = chain_.TriggerSeries(0);
    TSeriesData* tr = chain_.TriggerSeries(1);
    if (!GetFrame(*tl, tr)) return FrameMissing(fromFile);
    if (trigger_.TakeFrame(settings_.Trigger, TriggerDelaySamples(), *tl, tr, *chain_.Series(0), chain_.Series(1))) {
        Analyse();
        return FrameGate::kAnalyse;
    }
    // Nothing fired in this stretch: a file moves on without counting a frame.
    if (fromFile) SeekNextFrame(*waveFile_, settings_.Settings());
    return FrameGate::kWait;
}

FrameGate TEngine::PlainFrame(bool fromFile) {
    if (!GetFrame(*chain_.Series(0), chain_.Series(1))) return FrameMissing(fromFile);
    Analyse();
    return FrameGate::kAnalyse;
}

// No whole frame: a file has reached its end; live input waits for more.
FrameGate TEngine::FrameMissing(bool fromFile) {
    if (!fromFile) return FrameGate::kWait;
    waveFile_->SeekToEnd();
    return FrameGate::kEnd;
}

void TEngine::FinishFrame(bool triggering, bool fromFile) {
    if (singleStep_) {
        singleStep_ = false;
        Stop();
    }
    if (triggering && !trigger_.Armed() && Running()) Stop();
    if (fromFile && waveFile_) SeekNextFrame(*waveFile_, settings_.Settings());
    ++frameCount_;
    if (frameLimitOn_ && frameCount_ > frameLimit_ && Running()) Stop();
}

TFrameSource& TEngine::ActiveSource() {
    if (settings_.Mode.OpMode == kModePostProcessing) return fileSource_;
    if (runState_ == EngineRunState::Playing) return playback_;
    if (runState_ == EngineRunState::Recording) return recordingSource_;
    return liveSource_;
}

bool TEngine::GetFrame(TSeriesData& left, TSeriesData* right) {
    const bool capturing = settings_.Mode.OpMode != kModePostProcessing && runState_ != EngineRunState::Playing;
    if (capturing && !TakeLiveInput()) return false;
    if (!ActiveSource().Read(left, right)) return false;
    left.Decimate();
    if (right) right->Decimate();
    CheckOverload(left, right);
    return true;
}

// Completed slots are taken in first, so that the other slot's valid length is known.
bool TEngine::TakeLiveInput() {
    if (!slots_.Allocated()) return false;
    EchoPause();
    CollectInput(true);
    if (recorder_.TakeRollover()) {
        RollOverRecording();
        return false;
    }
    return runState_ != EngineRunState::Stopped;
}

void TEngine::CheckOverload(const TSeriesData& left, const TSeriesData* right) {
    if (!settings_.Settings().EnableOverloadDetection) {
        overloaded_ = false;
        return;
    }
    int32_t l = left.PeakLevel();
    int32_t r = audience_.LevelRight();
    bool over = l == 10;
    if (!over && right) {
        r = right->PeakLevel();
        over = r == 10;
    }
    overloaded_ = over;
    if (over) ++overloadCount_;
    audience_.SetLevels(l, r);
}

void TEngine::Analyse() {
    if (overloaded_ && settings_.Settings().ExcludeOverloadFlag) {
        Notify(false);
        return;
    }
    chain_.Process(settings_.Settings(), scaling_);
    Notify(true);
}

void TEngine::Notify(bool analysed) {
    if (audience_.Empty()) return;
    EngineFrame frame;
    frame.left = chain_.Series(0);
    frame.right = chain_.Series(1);
    for (int i = 0; i < 4; ++i) frame.spectrums[i] = chain_.Spectrum(i);
    frame.levelLeft = audience_.LevelLeft();
    frame.levelRight = audience_.LevelRight();
    frame.overloaded = overloaded_;
    frame.analysed = analysed;
    frame.frameCount = frameCount_;
    frame.currentTime = currentTime_;
    frame.wallClockTime = settings_.Mode.OpMode == kModeRealTime && !run_.historyFile;
    audience_.Frame(frame);
}

// ---------------------------------------------------------------------------------------------
// Stop

void TEngine::StopPorts() {
    inputPort_->Close();
    outputPort_->Close();
    slots_.Unqueue();
    playback_.Unqueue();
}

void TEngine::Stop() {
    if (stopping_) return;
    stopping_ = true;
    EchoPause();
    const uint32_t mode = settings_.Mode.OpMode;
    const bool recording = runState_ == EngineRunState::Recording;
    const bool wasRunning = runState_ != EngineRunState::Stopped;
    const bool liveHistory = mode == kModeRealTime && runState_ == EngineRunState::Running && run_.historyFile;
    if ((recording || liveHistory) && slots_.Allocated() && inputPort_->IsOpen()) {
        // Whatever the card captured up to now goes into the file.
        FlushInput();
        if (recording) recorder_.RestoreCaption();
    }
    runState_ = EngineRunState::Stopped;
    stopTime_ = host_.WallClockSeconds();
    StopPorts();
    if (generator_ && generator_->Active()) generator_->StopWithRun();
    // Only a run leaves history to put in time order; unwrapping a kept file again would cut
    // it to its rewound position.
    if (mode == kModeRealTime && wasRunning) UnwrapHistory();
    audience_.Stopped();
    overloaded_ = false;
    audience_.SetLevels(0, 0);
    stopping_ = false;
}

}  // namespace zeltrak
