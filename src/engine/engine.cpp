#include "engine/engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

#include "base/text_format.h"
#include "base/numeric.h"
#include "base/strings.h"
#include "dsp/channel_processing.h"
#include "dsp/spectral_data.h"
#include "engine/analysis_window.h"
#include "engine/engine_strings.h"
#include "engine/wave_file_status.h"
#include "files/wave_file.h"
#include "files/wave_strings.h"
#include "platform/app_paths.h"
#include "platform/host.h"

namespace zeltrak {

namespace {

int32_t DeviceIndex(uint32_t stored) { return stored == kNoDevice ? -1 : static_cast<int32_t>(stored); }

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Moves a stored file on to the next frame's start, or to its end.
void SeekNextFrame(TWaveFile& file, const SettingsBlock& settings) {
    const uint64_t next = file.Position() + FileFrameAdvance(settings);
    file.Seek(static_cast<uint32_t>(std::min<uint64_t>(next, file.Length())));
}

}  // namespace

TEngine::TEngine(Host& host, WaveDriver& driver, ProcessingSettings& settings, WaveNotifySink* sink,
                 EngineEnvironment environment)
    : host_(host), driver_(driver), settings_(settings), sink_(sink), env_(std::move(environment)) {
    if (env_.programTitle.empty()) env_.programTitle = kProgramTitle;
    caption_ = env_.programTitle;
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

double TEngine::SeriesSeconds() const {
    const uint32_t rate = settings_.Settings().format.rate;
    return rate == 0 ? 0.0 : static_cast<double>(SeriesSamples()) / rate;
}

uint32_t TEngine::TriggerDelaySamples() const {
    // The delay in samples of the decimated series: the ratio enters once, through the
    // decimated sampling rate.
    const SettingsBlock& s = settings_.Settings();
    const double seconds = LimitedDelayMsec(settings_.Trigger.DelayMsec) * 0.001;
    return TruncToUint32(s.format.rate * seconds / std::max<uint32_t>(s.DecimationRatio, 1));
}

void TEngine::SetCalibration(const CalibrationRecord& record) {
    env_.calibrationEnabled = record.IsEnabled != 0;
    env_.calRatioLeft = env_.calibrationEnabled ? record.CalRatioLeft : 1.0f;
    env_.calRatioRight = env_.calibrationEnabled ? record.CalRatioRight : 1.0f;
    env_.calibration = record;
}

bool TEngine::Rebuild() {
    built_ = false;
    SettingsBlock& s = settings_.Settings();
    RecomputeDerivedFields(s);
    const uint32_t ratio = std::max<uint32_t>(s.DecimationRatio, 1);
    const bool filter = s.ApplyLowPassFilter != 0;
    const bool stereo = Stereo();
    const float gain[2] = {env_.calibrationEnabled ? env_.calRatioLeft : 1.0f,
                           env_.calibrationEnabled ? env_.calRatioRight : 1.0f};
    for (auto& sp : spectrums_) sp.reset();
    for (int c = 0; c < 2; ++c) {
        series_[c].reset();
        triggerSeries_[c].reset();
    }
    // Settings that bypassed the dialogs and the loader may ask for more than any valid
    // frame; such a frame is refused as one that could not be allocated.
    const uint64_t seriesLength = SeriesSamples();
    const uint64_t triggerLength = TriggerSeriesSamples(s, settings_.Trigger.DelayMsec);
    if (seriesLength > kMaxSeriesSamples || triggerLength > kMaxTriggerSeriesSamples) {
        ShowStringMessage(host_, kStrInsufficientMemory);
        return false;
    }
    for (int c = 0; c < 2; ++c) {
        if (c == 1 && !stereo) continue;
        series_[c] = std::make_unique<TSeriesData>(s.format, static_cast<uint32_t>(seriesLength), gain[c], ratio,
                                                   filter);
        triggerSeries_[c] =
            std::make_unique<TSeriesData>(s.format, static_cast<uint32_t>(triggerLength), gain[c], ratio, filter);
        if (series_[c]->Error() || triggerSeries_[c]->Error()) {
            series_[c].reset();
            triggerSeries_[c].reset();
            ShowStringMessage(host_, kStrInsufficientMemory);
            return false;
        }
    }

    SpectralSettings ss;
    ss.format = s.format;
    ss.fftSize = s.FFTsize;
    ss.decimationRatio = static_cast<uint16_t>(ratio);
    ss.samplingRateCorrection = s.SamplingRateCorrectionFactor;
    ss.averageBlocks = s.AverageBlocks;
    ss.averageType = s.AverageType;
    ss.peakHold = s.PeakHold != 0;
    ss.smoothingWindow = s.SmoothingWindow;
    ss.windowCorrection = settings_.WindowCorrectionMode();
    SpectralScaling sc;
    sc.ampScaleType = settings_.Scaling().AmpScaleType;
    sc.freqScaleType = settings_.Scaling().FreqScaleType;
    sc.octaveNumber = settings_.Scaling().OctaveNumber;
    sc.spectralDensityFlag = settings_.Scaling().SpectralDensityFlag;
    sc.spectralDensityType = settings_.Scaling().SpectralDensityType;
    sc.standardWeighting = settings_.Scaling().StandardWeighting;
    sc.coherenceSquared = settings_.CoherenceSquared;
    const SpectrumSet set = SpectrumsForMode(s.ChannelProcessing, stereo);
    const bool wanted[4] = {set.left || !stereo, set.right, set.result1, set.result2};
    const int channelOf[4] = {0, 1, -1, -1};
    for (int i = 0; i < 4; ++i) {
        if (!wanted[i]) continue;
        spectrums_[i] = std::make_unique<TSpectralData>(ss, sc, channelOf[i], &host_);
        if (spectrums_[i]->Error()) {
            for (auto& sp : spectrums_) sp.reset();
            return false;
        }
    }
    if (!BuildAnalysisWindow(s.FFTsize, s.SmoothingWindow, settings_.WindowCorrectionMode(), &host_, window_,
                             uniformWindow_))
        return false;
    if (scaling_) {
        TSpectralData* const all[4] = {spectrums_[0].get(), spectrums_[1].get(), spectrums_[2].get(),
                                       spectrums_[3].get()};
        scaling_->Prepare(all);
    }
    built_ = true;
    return true;
}

void TEngine::SetWaveFile(std::unique_ptr<TWaveFile> file) {
    if (Running()) Stop();
    ReleaseWaveFile(host_, waveFile_);
    waveFile_ = std::move(file);
    historyFile_ = false;
    recorderCreatedFile_ = false;
    wrapPosition_ = 0;
}

std::unique_ptr<TWaveFile> TEngine::TakeWaveFile() {
    if (Running()) Stop();
    historyFile_ = false;
    return std::move(waveFile_);
}

void TEngine::AddListener(TEngineListener* listener, ListenerRole role) {
    if (listener == nullptr) return;
    RemoveListener(listener);
    // Kept in the order they are told: by role, then by arrival.
    auto at = std::find_if(listeners_.begin(), listeners_.end(),
                           [role](const Registered& r) { return static_cast<int>(r.role) > static_cast<int>(role); });
    listeners_.insert(at, Registered{listener, role});
}

void TEngine::RemoveListener(TEngineListener* listener) {
    std::erase_if(listeners_, [listener](const Registered& r) { return r.listener == listener; });
}

void TEngine::SetCaption(const std::string& caption) {
    caption_ = caption;
    for (const Registered& r : listeners_) r.listener->OnCaption(caption_);
}

void TEngine::SetLevels(int32_t left, int32_t right) {
    if (left == levelLeft_ && right == levelRight_) return;
    levelLeft_ = left;
    levelRight_ = right;
    for (const Registered& r : listeners_) r.listener->OnLevels(left, right);
}

// ---------------------------------------------------------------------------------------------
// Commands

bool TEngine::Run() {
    frameLimitOn_ = false;
    // A recording or playback goes on as it is: starting again would reopen the device.
    if (runState_ == kRecording || runState_ == kPlaying) return true;
    return Start();
}

bool TEngine::RunFrames(uint32_t count) {
    frameLimitOn_ = true;
    frameLimit_ = count;
    if (runState_ == kRecording || runState_ == kPlaying) return true;
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
    runState_ = kRecording;
    return Start();
}

bool TEngine::Play() {
    if (settings_.Mode.OpMode != kModeRecorder || Running()) return false;
    runState_ = kPlaying;
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

void TEngine::ForceTrigger() { settings_.Trigger.triggerState = 1; }

void TEngine::ResetAverage() {
    for (auto& sp : spectrums_)
        if (sp) sp->ResetAverage();
}

bool TEngine::TakeIdleRequest() {
    const bool wanted = idleRequested_;
    idleRequested_ = false;
    return wanted;
}

bool TEngine::Start() {
    if (inputPort_->Peculiarities().echoFamily)
        host_.SleepMilliseconds(static_cast<uint32_t>(std::max(settings_.FileIO.DarlaDelay, 0)));
    if (runState_ == kRunning) return true;
    const uint32_t mode = settings_.Mode.OpMode;
    // A plain Run in Recorder mode plays an open file and records otherwise.
    if (mode == kModeRecorder && runState_ == kStopped) runState_ = waveFile_ ? kPlaying : kRecording;
    const SampleFormat format = settings_.Settings().format;
    inputPort_->SetFormat(format);
    outputPort_->SetFormat(format);

    overloaded_ = false;
    overloadCount_ = 0;
    frameCount_ = 0;
    levelLeft_ = levelRight_ = 0;
    RecomputeDerivedFields(settings_.Settings());
    if ((!singleStep_ || !built_) && !Rebuild()) {
        runState_ = kStopped;
        return false;
    }
    for (auto& t : triggerSeries_)
        if (t) t->Clear();
    if (!singleStep_) ResetAverage();

    switch (mode) {
        case kModeRealTime:
            if (!StartInput()) {
                runState_ = kStopped;
                return false;
            }
            runState_ = kRunning;
            break;
        case kModePostProcessing: {
            if (!waveFile_) {
                ShowMessage(host_, kEngineOpenWaveFile);
                runState_ = kStopped;
                return false;
            }
            const uint32_t position = waveFile_->Position();
            const uint32_t length = waveFile_->Length();
            if (length - std::min(position, length) < SeriesSamples()) {
                if (position == 0) ShowMessage(host_, kEngineFileTooShort);
                else if (position >= length) ShowMessage(host_, kEngineEndOfFile);
                else ShowMessage(host_, kEngineNearEnd);
                runState_ = kStopped;
                return false;
            }
            startTime_ = waveFile_->FramesToSeconds(position);
            runState_ = kRunning;
            break;
        }
        case kModeRecorder:
            if (runState_ == kRecording) {
                if (!StartInput()) {
                    runState_ = kStopped;
                    return false;
                }
            } else {
                if (!waveFile_) {
                    ShowMessage(host_, kEngineOpenWaveFile);
                    runState_ = kStopped;
                    return false;
                }
                if (waveFile_->Position() >= waveFile_->Length()) waveFile_->Rewind();
                playStart_ = waveFile_->FramesToSeconds(waveFile_->Position());
                playStartFrame_ = waveFile_->Position();
                playReadFrame_ = playStartFrame_;
                playbackFinished_ = false;
                outQueued_[0] = outQueued_[1] = false;
                if (!outputPort_->SetFormat(waveFile_->Format()) || !outputPort_->Open(sink_, false) ||
                    !AllocateSlots(SlotFrames(true))) {
                    outputPort_->Close();
                    runState_ = kStopped;
                    return false;
                }
                if (sink_) sink_->PostBufferDone(WaveDirection::Output, nullptr);
                else FillPlayback();
            }
            break;
        default:
            runState_ = kStopped;
            return false;
    }

    settings_.Trigger.armed = 1;
    for (const Registered& r : listeners_) r.listener->OnStarted();
    // A new run wants idle steps even if the last one ended in an idle step of its own (end
    // of file, a lost device) and no buffer notice will come to ask for them (a file run).
    idleRequested_ = true;
    FrameStep();
    if ((runState_ == kRunning && mode == kModeRealTime) || runState_ == kRecording) {
        if (!inputPort_->Start()) Stop();
    }
    return runState_ != kStopped || frameCount_ > 0;
}

uint32_t TEngine::SlotFrames(bool recorder) const {
    const SettingsBlock& s = settings_.Settings();
    const int32_t secs = recorder ? settings_.FileIO.RecordIOBufferSizeSecs : settings_.FileIO.RealTimeIOBufferSizeSecs;
    uint64_t frames = static_cast<uint64_t>(std::clamp(secs, 1, kMaxIOBufferSecs)) * s.format.rate;
    // A slot must hold a whole frame (the longer trigger frame when triggering), or the live
    // frame could never be formed from the two slots.
    uint64_t longest = series_[0] ? series_[0]->Length() : SeriesSamples();
    if (settings_.Trigger.Enable && triggerSeries_[0]) longest = triggerSeries_[0]->Length();
    frames = std::max<uint64_t>(frames, longest + s.delaySamples);
    return static_cast<uint32_t>(std::min<uint64_t>(frames, 0x7FFFFFFFu / std::max(s.format.BlockAlign(), 1u)));
}

bool TEngine::AllocateSlots(uint32_t frames) {
    for (int i = 0; i < 2; ++i) {
        slotBuffer_[i] = std::make_unique<TWaveData>(frames, settings_.Settings().format);
        if (slotBuffer_[i]->Error()) {
            slotBuffer_[i].reset();
            ShowStringMessage(host_, kStrInsufficientMemory);
            return false;
        }
        slotQueued_[i] = false;
        unfilled_[i] = 0;
        slotFilledOnce_[i] = false;
    }
    nextSlot_ = 0;
    return true;
}

bool TEngine::QueueSlot(int slot) {
    TWaveData& b = *slotBuffer_[slot];
    const uint32_t bytes = static_cast<uint32_t>(b.FramesToBytes(b.Length()));
    if (!inputPort_->AddBuffer(b.Buffer(), bytes, slot)) return false;
    slotQueued_[slot] = true;
    return true;
}

bool TEngine::StartInput() {
    const SettingsBlock& s = settings_.Settings();
    const FileIOBlock& io = settings_.FileIO;
    if (inputPort_->DeviceId() < 0) {
        ShowMessage(host_, kEngineNoSoundCard);
        return false;
    }
    // A device unplugged since it was chosen would otherwise be blamed on the format.
    if (static_cast<uint32_t>(inputPort_->DeviceId()) >= driver_.DeviceCount(WaveDirection::Input)) {
        ShowStringMessage(host_, kStrSoundDeviceFailure);
        return false;
    }
    if (!inputPort_->SetFormat(s.format)) {
        ShowStringMessage(host_, kStrFormatNotSupported);
        return false;
    }
    if (!inputPort_->Open(sink_, io.DALSelfMonitor != 0)) return false;
    ++generation_;

    const bool recorder = settings_.Mode.OpMode == kModeRecorder;
    if (!recorder) {
        ReleaseWaveFile(host_, waveFile_);
        historyFile_ = false;
        wrapPosition_ = 0;
        if (io.RealTimeWaveBufferEnableFlag == 1) {
            const double lapSeconds = std::max(io.RealTimeWaveBufferLengthSecs - 1, 1);
            const uint32_t capacity = TruncToUint32(lapSeconds * 1.1 * s.format.rate);
            std::unique_ptr<TWaveFile> file;
            if (io.WaveFileMode == TWaveFile::kDiskMode)
                file = MakeWaveFile(host_, s.format, false, env_.tempDir);
            else
                file = MakeMemoryWaveFile(host_, capacity, s.format);
            if (file->Error()) {
                inputPort_->Close();
                return false;
            }
            file->SetFullScale(env_.calibrationEnabled ? env_.calRatioLeft : 1.0f,
                               env_.calibrationEnabled ? env_.calRatioRight : 1.0f);
            waveFile_ = std::move(file);
            historyFile_ = true;
            historyLimit_ = TruncToUint32(lapSeconds * s.format.rate);
        }
        startTime_ = historyFile_ ? waveFile_->FramesToSeconds(waveFile_->Position())
                                  : static_cast<double>(host_.WallClockSeconds());
    } else if (!StartRecorderFile()) {
        inputPort_->Close();
        return false;
    }
    if (!AllocateSlots(SlotFrames(recorder)) || !QueueSlot(0) || !QueueSlot(1)) {
        inputPort_->Close();
        return false;
    }
    return true;
}

bool TEngine::StartRecorderFile() {
    const SettingsBlock& s = settings_.Settings();
    const FileIOBlock& io = settings_.FileIO;
    if (!waveFile_) {
        std::unique_ptr<TWaveFile> file;
        if (io.WaveFileMode == TWaveFile::kDiskMode) {
            file = MakeWaveFile(host_, s.format, io.MakeBackup != 0, env_.tempDir);
            if (file->Error()) return false;
        } else {
            const uint64_t frames =
                static_cast<uint64_t>(s.format.rate) * std::clamp(io.MaxRamRecordingTimeSecs, 1, kMaxRamRecordingSecs);
            file = MakeMemoryWaveFile(host_, static_cast<uint32_t>(std::min<uint64_t>(frames, 0xFFFFFFFFu)), s.format);
            if (file->Error()) {
                ShowMessage(host_, kEngineRecordingMemory);
                return false;
            }
        }
        waveFile_ = std::move(file);
        recorderCreatedFile_ = true;
        historyFile_ = false;
        SetCaption(FormatText(kEngineCaptionFile, env_.programTitle, kEngineUntitled));
    } else {
        TWaveFile& f = *waveFile_;
        if (f.StorageMode() == TWaveFile::kMemoryMode) {
            f.Seek(f.WrittenLength());
            if (f.RemainingSeconds() < 1.0) {
                uint32_t step = 60 * s.format.rate;
                int refusals = 0;
                while (!SetWaveLength(host_, f, f.Length() + step)) {
                    step /= 2;
                    if (++refusals > 10 || step == 0) {
                        ShowStringMessage(host_, kStrInsufficientMemory);
                        return false;
                    }
                }
            }
        } else {
            if (!f.MakeBackup() && host_.AskYesNo(kEngineNoBackupQuestion, env_.programTitle) != Answer::Yes)
                return false;
            f.Seek(f.WrittenLength());
        }
    }
    waveFile_->SetModified(true);
    startTime_ = waveFile_->FramesToSeconds(waveFile_->Position());
    savedCaption_ = caption_;
    SetCaption(FormatText(kEngineCaptionRecording, caption_));
    return true;
}

// ---------------------------------------------------------------------------------------------
// Buffer pump

void TEngine::BufferDone(WaveDirection direction, WaveHeader*) {
    if (runState_ == kStopped) return;
    const uint32_t mode = settings_.Mode.OpMode;
    if (direction == WaveDirection::Input) {
        const bool live = (mode == kModeRealTime && runState_ == kRunning) || runState_ == kRecording;
        if (!live) return;
        if (settings_.Trigger.Enable && settings_.Trigger.armed == 0) {
            Stop();
            return;
        }
        CollectInput(true);
        if (rolloverPending_) {
            rolloverPending_ = false;
            RollOverRecording();
        }
    } else if (runState_ == kPlaying) {
        FillPlayback();
        idleRequested_ = true;
    }
}

void TEngine::CollectInput(bool requeue) {
    const uint32_t generation = generation_;
    while (slotBuffer_[nextSlot_] && slotQueued_[nextSlot_] && inputPort_->IsSlotDone(nextSlot_)) {
        const int slot = nextSlot_;
        const uint32_t length = slotBuffer_[slot]->Length();
        const uint32_t frames = std::min(inputPort_->FramesInSlot(slot), length);
        slotQueued_[slot] = false;
        unfilled_[slot] = length - frames;
        slotFilledOnce_[slot] = true;
        nextSlot_ ^= 1;
        // The buffer is not cleared before it goes back: the live frame may still read its
        // end, and the driver overwrites it only after the other slot is full.
        if (!StoreInput(slot, frames) || generation != generation_ || runState_ == kStopped) return;
        if (requeue && !QueueSlot(slot)) {
            Stop();
            return;
        }
    }
}

bool TEngine::StoreInput(int slot, uint32_t frames) {
    if (frames == 0) return true;
    const uint8_t* bytes = slotBuffer_[slot]->Buffer();
    if (settings_.Mode.OpMode == kModeRealTime) {
        if (historyFile_ && waveFile_) AppendHistory(bytes, frames);
        return true;
    }
    if (!waveFile_) return false;
    if (settings_.Trigger.Enable && !SearchBuffer(slot, frames)) return true;
    if (!AppendToFile(bytes, frames)) {
        // A full memory recording simply ends; a disk that refuses the samples is a failure
        // the user must hear about.
        if (waveFile_->StorageMode() == TWaveFile::kDiskMode) ShowMessage(host_, kStrWaveWriteFailure);
        if (!stopping_) Stop();
        return false;
    }
    if (!stopping_ && DiskLimitReached()) rolloverPending_ = true;
    return true;
}

bool TEngine::SearchBuffer(int slot, uint32_t frames) {
    TriggerBlock& t = settings_.Trigger;
    if (t.triggerState != 0) return true;
    WaveTrigger w;
    w.TriggerType = t.TriggerType;
    w.TriggerSlope = t.TriggerSlope;
    w.Threshold = t.Threshold;
    return slotBuffer_[slot]->FindTrigger(w, 0, frames, t.Channel);
}

bool TEngine::AppendToFile(const uint8_t* bytes, uint32_t frames) {
    TWaveFile& f = *waveFile_;
    uint32_t fit = frames;
    if (f.StorageMode() == TWaveFile::kMemoryMode) fit = std::min(frames, f.Length() - std::min(f.Position(), f.Length()));
    if (fit > 0) {
        // WriteBytes zeroes the buffer it is given on failure; keep the slot's samples.
        std::vector<uint8_t> copy(bytes, bytes + f.FramesToBytes(fit));
        if (!f.WriteBytes(copy.data(), static_cast<uint32_t>(copy.size()))) return false;
    }
    // A full memory recording keeps what fitted and ends.
    return fit == frames;
}

void TEngine::AppendHistory(const uint8_t* bytes, uint32_t frames) {
    TWaveFile& f = *waveFile_;
    const bool memory = f.StorageMode() == TWaveFile::kMemoryMode;
    if (memory && frames > f.Length()) {
        // Only the newest part of a block longer than the whole history can be kept.
        bytes += f.FramesToBytes(frames - f.Length());
        frames = f.Length();
    }
    // A block that would run past the end of a memory history starts the next lap early, so
    // that no captured sample is dropped.
    if (memory && f.Position() + static_cast<uint64_t>(frames) > f.Length()) {
        wrapPosition_ = f.Position();
        f.Rewind();
    }
    std::vector<uint8_t> copy(bytes, bytes + f.FramesToBytes(frames));
    if (!f.WriteBytes(copy.data(), static_cast<uint32_t>(copy.size()))) return;
    if (f.Position() >= historyLimit_) {
        wrapPosition_ = f.Position();
        f.Rewind();
    }
}

void TEngine::UnwrapHistory() {
    if (!historyFile_ || !waveFile_) return;
    if (wrapPosition_ == 0) {
        // Not yet round the ring: the history is what was recorded; the room after it holds
        // no signal and must not be analysed as silence once the buffer is kept as a file.
        TWaveFile& history = *waveFile_;
        if (history.Length() > history.Position()) history.SetLength(history.Position());
        history.Rewind();
        return;
    }
    TWaveFile& old = *waveFile_;
    const uint32_t now = old.Position();
    // Oldest first: the rest of the previous lap after the write position, then this lap.
    uint32_t firstStart = now, firstEnd = wrapPosition_;
    if (now >= wrapPosition_) firstStart = firstEnd = 0;
    const uint64_t total = static_cast<uint64_t>(firstEnd - firstStart) + now;
    std::unique_ptr<TWaveFile> fresh;
    if (old.StorageMode() == TWaveFile::kDiskMode)
        fresh = MakeWaveFile(host_, old.Format(), false, env_.tempDir);
    else
        fresh = MakeMemoryWaveFile(host_, static_cast<uint32_t>(total), old.Format());
    if (fresh->Error()) return;
    std::vector<uint8_t> block;
    auto copy = [&](uint32_t from, uint32_t to) {
        const uint32_t step = 65536;
        for (uint32_t at = from; at < to; at += step) {
            const uint32_t n = std::min(step, to - at);
            block.resize(old.FramesToBytes(n));
            old.Seek(at);
            old.ReadBytes(block.data(), static_cast<uint32_t>(block.size()));
            if (!fresh->WriteBytes(block.data(), static_cast<uint32_t>(block.size()))) return false;
        }
        return true;
    };
    if (!copy(firstStart, firstEnd) || !copy(0, now)) return;
    fresh->SetFullScale(env_.calibrationEnabled ? env_.calRatioLeft : 1.0f,
                        env_.calibrationEnabled ? env_.calRatioRight : 1.0f);
    fresh->Rewind();
    ReleaseWaveFile(host_, waveFile_);
    waveFile_ = std::move(fresh);
    wrapPosition_ = 0;
}

bool TEngine::DiskLimitReached() const {
    return waveFile_ && waveFile_->StorageMode() == TWaveFile::kDiskMode &&
           waveFile_->DataSize() > settings_.FileIO.MaxDiskRecordingSizeBytes;
}

std::string TEngine::RecordingName() const {
    const std::time_t now = static_cast<std::time_t>(host_.WallClockSeconds());
    std::tm t{};
    ::localtime_r(&now, &t);
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, kEngineRecordingStamp, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                  t.tm_min, t.tm_sec);
    const std::string dir = env_.waveDir.empty() ? "." : env_.waveDir;
    std::string name = FormatText(kEngineRecordingName, dir, stamp);
    // Two limits reached within one second must not overwrite the first recording.
    for (int n = 2; FileExists(name); ++n) name = FormatText(kEngineRecordingName, dir, std::string(stamp) + "_" + std::to_string(n));
    return name;
}

void TEngine::RollOverRecording() {
    Stop();
    if (!waveFile_) return;
    if (recorderCreatedFile_) {
        if (!env_.waveDir.empty()) MakeDirectories(env_.waveDir);
        const std::string name = RecordingName();
        waveFile_->SetName(name);
        if (env_.calibrationEnabled && settings_.FileIO.IncludeCalibrationData) waveFile_->SetCalibration(env_.calibration);
        SetCaption(kEngineSavingWave);
        if (!SaveWaveFile(host_, *waveFile_)) return;  // the file stays open and nothing is lost
        savedRecordings_.push_back(name);
    } else if (!SaveWaveFile(host_, *waveFile_)) {
        return;
    }
    ReleaseWaveFile(host_, waveFile_);
    SetCaption(env_.programTitle);
    runState_ = kRecording;
    Start();
}

void TEngine::FillPlayback() {
    if (!waveFile_ || !slotBuffer_[0]) return;
    TWaveFile& f = *waveFile_;
    bool wrote = false;
    for (int s = 0; s < 2; ++s) {
        if (outQueued_[s] && !outputPort_->IsSlotDone(s)) continue;
        outQueued_[s] = false;
        if (playReadFrame_ >= f.Length()) continue;
        TWaveData& b = *slotBuffer_[s];
        const uint32_t n = std::min(b.Length(), f.Length() - playReadFrame_);
        const uint32_t bytes = static_cast<uint32_t>(f.FramesToBytes(n));
        f.Seek(playReadFrame_);
        f.ReadBytes(b.Buffer(), bytes);
        playReadFrame_ += n;
        if (!outputPort_->Write(b.Buffer(), bytes, s, false)) {
            Stop();
            return;
        }
        outQueued_[s] = true;
        wrote = true;
    }
    if (wrote) outputPort_->Restart();
    if (!outQueued_[0] && !outQueued_[1] && playReadFrame_ >= f.Length()) {
        playbackFinished_ = true;
        Stop();
    }
}

// ---------------------------------------------------------------------------------------------
// Idle step

bool TEngine::FrameStep() {
    if (runState_ == kStopped) return false;
    const uint32_t mode = settings_.Mode.OpMode;
    // A device that vanished mid-run would otherwise leave the analyser waiting for ever.
    if ((mode == kModeRealTime || runState_ == kRecording) && inputPort_->DeviceLost()) {
        Stop();
        ShowStringMessage(host_, kStrSoundDeviceFailure);
        return false;
    }
    const uint64_t need = SeriesSamples();
    const bool triggering = settings_.Trigger.Enable != 0;

    if (mode == kModeRealTime) {
        if (inputPort_->PositionFrames() < need) return true;
        currentTime_ = inputPort_->PositionSeconds() + startTime_ - 0.2;
        if (historyFile_) currentTime_ -= SeriesSeconds() / 2;
    } else if (mode == kModePostProcessing) {
        if (!waveFile_) {
            Stop();
            return false;
        }
        TWaveFile& f = *waveFile_;
        // A last frame that fills the file exactly is still analysed.
        if (f.Length() - std::min(f.Position(), f.Length()) < need) {
            f.SeekToEnd();
            currentTime_ = f.FramesToSeconds(f.Position());
            Stop();
            return false;
        }
        currentTime_ = f.FramesToSeconds(f.Position()) + SeriesSeconds() / 2;
    } else if (runState_ == kRecording) {
        if (!waveFile_) return true;
        TWaveFile& f = *waveFile_;
        currentTime_ = triggering ? f.FramesToSeconds(f.Position()) : inputPort_->PositionSeconds() + startTime_;
        const double duration = f.FramesToSeconds(f.Length());
        if (f.StorageMode() == TWaveFile::kMemoryMode && currentTime_ > duration) {
            currentTime_ = duration;
            Stop();
            return false;
        }
    } else if (runState_ == kPlaying) {
        if (!waveFile_) return false;
        TWaveFile& f = *waveFile_;
        currentTime_ = triggering ? f.FramesToSeconds(f.Position()) : outputPort_->PositionSeconds() + playStart_;
        const double end = f.FramesToSeconds(f.Length());
        if (currentTime_ > end) {
            currentTime_ = end;
            Stop();
            return false;
        }
    }

    TSeriesData* left = series_[0].get();
    TSeriesData* right = series_[1].get();
    if (!left) return false;
    const bool fromFile = mode == kModePostProcessing;
    if (triggering) {
        TSeriesData* tl = triggerSeries_[0].get();
        TSeriesData* tr = triggerSeries_[1].get();
        if (!GetFrame(*tl, tr)) {
            if (fromFile) {
                waveFile_->SeekToEnd();
                Stop();
                return false;
            }
            return true;
        }
        TriggerBlock& t = settings_.Trigger;
        const uint32_t delay = TriggerDelaySamples();
        const uint32_t pre = t.DelayType == 0 ? delay : 0;
        const uint32_t post = t.DelayType == 1 ? delay : 0;
        const uint32_t n = left->DecimatedLength();
        const TSeriesData& source = (t.Channel == 1 && tr) ? *tr : *tl;
        uint32_t found = 0;
        bool fired = false;
        if (t.triggerState != 0) {
            t.triggerState = 0;
            fired = true;
            found = pre;  // the forced frame starts where the search would have begun
        } else {
            fired = source.FindTrigger(t, pre, n + pre, found);
        }
        const uint32_t start = found - pre + post;
        if (fired && start + n <= tl->DecimatedLength()) {
            if (t.AutoReset == 0) t.armed = 0;
            for (int c = 0; c < 2; ++c) {
                TSeriesData* dst = c == 0 ? left : right;
                const TSeriesData* src = c == 0 ? tl : tr;
                if (!dst || !src) continue;
                for (uint32_t i = 0; i < n; ++i) dst->SetSample(i, src->Raw(start + i));
            }
            Analyse();
        } else if (fromFile) {
            // Nothing fired in this stretch: move on without counting a frame.
            SeekNextFrame(*waveFile_, settings_.Settings());
            return true;
        } else {
            return true;
        }
    } else {
        if (!GetFrame(*left, right)) {
            if (fromFile) {
                waveFile_->SeekToEnd();
                Stop();
                return false;
            }
            return true;
        }
        Analyse();
    }

    if (singleStep_) {
        singleStep_ = false;
        Stop();
    }
    if (triggering && settings_.Trigger.armed == 0 && Running()) Stop();
    if (fromFile && waveFile_) SeekNextFrame(*waveFile_, settings_.Settings());
    ++frameCount_;
    if (frameLimitOn_ && frameCount_ > frameLimit_ && Running()) Stop();
    return runState_ != kStopped;
}

bool TEngine::GetFrame(TSeriesData& left, TSeriesData* right) {
    const uint32_t mode = settings_.Mode.OpMode;
    bool ok = false;
    if (mode == kModePostProcessing) {
        ok = GetFileFrame(left, right, waveFile_ ? waveFile_->Position() : 0);
    } else if (runState_ == kPlaying) {
        ok = GetFileFrame(left, right, playStartFrame_ + outputPort_->PositionFrames());
    } else {
        ok = GetLiveFrame(left, right);
    }
    if (!ok) return false;
    left.Decimate();
    if (right) right->Decimate();
    CheckOverload(left, right);
    return true;
}

bool TEngine::GetFileFrame(TSeriesData& left, TSeriesData* right, uint32_t position) {
    if (!waveFile_) return false;
    TWaveFile& f = *waveFile_;
    const SettingsBlock& s = settings_.Settings();
    const bool stereo = right != nullptr;
    const uint32_t delayLeft = stereo && s.DelayChannel == 0 ? s.delaySamples : 0;
    const uint32_t delayRight = stereo && s.DelayChannel == 1 ? s.delaySamples : 0;
    // The filter's 39 extra samples are read where the file has them; past its end they are
    // the zero level, so that the file's last whole frame can still be analysed.
    const uint32_t core = left.Length() - (left.LowPass() ? kDecimationTaps : 0);
    const uint64_t remaining = f.Length() - std::min(position, f.Length());
    if (remaining < static_cast<uint64_t>(delayLeft) + core + delayRight) return false;
    auto read = [&](TSeriesData& series, uint32_t channel, uint32_t delay) {
        if (position < delay) {
            series.Clear();
            return;
        }
        const uint32_t start = position - delay;
        const uint32_t count = std::min(series.Length(), f.Length() - start);
        f.ReadChannel(series.Bytes(), start, count, channel);
        for (uint32_t i = count; i < series.Length(); ++i) series.SetSample(i, s.format.zeroOffset);
    };
    read(left, 0, delayLeft);
    if (right) read(*right, 1, delayRight);
    return true;
}

bool TEngine::GetLiveFrame(TSeriesData& left, TSeriesData* right) {
    if (!slotBuffer_[0]) return false;
    const SettingsBlock& s = settings_.Settings();
    if (inputPort_->Peculiarities().echoFamily)
        host_.SleepMilliseconds(static_cast<uint32_t>(std::max(settings_.FileIO.DarlaDelay, 0)));
    // Completed slots are taken in first, so that the other slot's valid length is known.
    CollectInput(true);
    if (rolloverPending_) {
        rolloverPending_ = false;
        RollOverRecording();
        return false;
    }
    if (runState_ == kStopped) return false;
    const bool triggering = settings_.Trigger.Enable != 0;
    int slot = 0;
    uint32_t offset = 0;
    const uint32_t minFrames = triggering ? static_cast<uint32_t>(std::min<uint64_t>(SeriesSamples(), UINT32_MAX)) : 0;
    if (!inputPort_->GetLivePosition(slot, offset, minFrames, triggering)) return false;
    if (slot < 0 || slot > 1) return false;
    const bool split = settings_.FileIO.AllowSplitBuffers != 0 &&
                       !(s.format.rate == 11025 && inputPort_->Peculiarities().preRoll);
    const uint32_t need = left.Length();
    if (!split && static_cast<uint64_t>(s.FFTsize) + need > offset) return false;
    const bool stereo = right != nullptr;
    const uint32_t delayLeft = stereo && s.DelayChannel == 0 ? s.delaySamples : 0;
    const uint32_t delayRight = stereo && s.DelayChannel == 1 ? s.delaySamples : 0;
    if (!CopyLiveChannel(left, 0, slot, offset, delayLeft, split)) return false;
    if (right && !CopyLiveChannel(*right, 1, slot, offset, delayRight, split)) return false;
    return true;
}

bool TEngine::CopyLiveChannel(TSeriesData& series, uint32_t channel, int slot, uint32_t offset, uint32_t delay,
                              bool split) {
    const int other = slot ^ 1;
    const TWaveData& cur = *slotBuffer_[slot];
    const TWaveData& prev = *slotBuffer_[other];
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

void TEngine::CheckOverload(const TSeriesData& left, const TSeriesData* right) {
    if (!settings_.Settings().EnableOverloadDetection) {
        overloaded_ = false;
        return;
    }
    int32_t l = left.PeakLevel();
    int32_t r = levelRight_;
    bool over = l == 10;
    if (!over && right) {
        r = right->PeakLevel();
        over = r == 10;
    }
    overloaded_ = over;
    if (over) ++overloadCount_;
    SetLevels(l, r);
}

void TEngine::Analyse() {
    const SettingsBlock& s = settings_.Settings();
    if (overloaded_ && s.ExcludeOverloadFlag) {
        Notify(false);
        return;
    }
    const bool stereo = Stereo();
    for (int c = 0; c < 2; ++c) {
        TSpectralData* sp = spectrums_[c].get();
        const TSeriesData* series = series_[c].get();
        if (!sp || !series) continue;
        float* t = sp->TimeSamples();
        const uint32_t n = std::min(sp->FFTSize(), series->DecimatedLength());
        for (uint32_t i = 0; i < n; ++i) t[i] = static_cast<float>(series->GetSample(i, false));
    }
    ChannelProcessingSetup setup;
    setup.mode = s.ChannelProcessing;
    setup.stereo = stereo;
    setup.averageType = s.AverageType;
    setup.averageBlocks = s.AverageBlocks;
    setup.window = uniformWindow_ ? nullptr : window_.data();
    setup.windowSize = uniformWindow_ ? 0 : static_cast<uint32_t>(window_.size());
    ChannelSpectrums cs{spectrums_[0].get(), spectrums_[1].get(), spectrums_[2].get(), spectrums_[3].get()};
    ProcessChannels(setup, cs);
    if (scaling_) {
        TSpectralData* const all[4] = {cs.left, cs.right, cs.result1, cs.result2};
        scaling_->AfterAverage(all);
    }
    Notify(true);
}

void TEngine::Notify(bool analysed) {
    if (listeners_.empty()) return;
    EngineFrame frame;
    frame.left = series_[0].get();
    frame.right = series_[1].get();
    for (int i = 0; i < 4; ++i) frame.spectrums[i] = spectrums_[i].get();
    frame.levelLeft = levelLeft_;
    frame.levelRight = levelRight_;
    frame.overloaded = overloaded_;
    frame.analysed = analysed;
    frame.frameCount = frameCount_;
    frame.currentTime = currentTime_;
    // Copied: a listener may add or remove listeners.
    const std::vector<Registered> audience = listeners_;
    for (const Registered& r : audience) r.listener->OnFrame(frame);
}

// ---------------------------------------------------------------------------------------------
// Stop

void TEngine::StopPorts() {
    inputPort_->Close();
    outputPort_->Close();
    slotQueued_[0] = slotQueued_[1] = false;
    outQueued_[0] = outQueued_[1] = false;
}

void TEngine::Stop() {
    if (stopping_) return;
    stopping_ = true;
    if (inputPort_->Peculiarities().echoFamily)
        host_.SleepMilliseconds(static_cast<uint32_t>(std::max(settings_.FileIO.DarlaDelay, 0)));
    const uint32_t mode = settings_.Mode.OpMode;
    const bool recording = runState_ == kRecording;
    if ((recording || (mode == kModeRealTime && runState_ == kRunning && historyFile_)) && slotBuffer_[0] &&
        inputPort_->IsOpen()) {
        // Whatever the card captured up to now goes into the file: completed slots first, in
        // order, then the part of the current one.
        CollectInput(false);
        const int slot = nextSlot_;
        if (slotQueued_[slot]) {
            const uint32_t frames = std::min(inputPort_->FramesInSlot(slot), slotBuffer_[slot]->Length());
            StoreInput(slot, frames);
        }
        if (recording) SetCaption(savedCaption_.empty() ? env_.programTitle : savedCaption_);
    }
    runState_ = kStopped;
    stopTime_ = host_.WallClockSeconds();
    StopPorts();
    if (mode == kModeRealTime) UnwrapHistory();
    for (const Registered& r : listeners_) r.listener->OnStopped();
    overloaded_ = false;
    SetLevels(0, 0);
    stopping_ = false;
}

}  // namespace zeltrak
