#include "engine/frame_sources.h"

#include <algorithm>

#include "dsp/decimation.h"
#include "engine/series_data.h"
#include "engine/engine_strings.h"
#include "engine/slot_buffers.h"
#include "engine/sound_port.h"
#include "files/wave_file.h"
#include "platform/host.h"

namespace zeltrak {

namespace {

// One frame's length in seconds at the input rate.
double FrameSeconds(const SettingsBlock& s) {
    return s.format.rate == 0 ? 0.0 : static_cast<double>(SeriesSamples(s)) / s.format.rate;
}

// The frame of a stored file that starts at `position`.
bool ReadFileFrame(TWaveFile& f, const SettingsBlock& s, uint32_t position, TSeriesData& left, TSeriesData* right) {
    const bool stereo = right != nullptr;
    const uint32_t delaySamples = ChannelDelaySamples(s);
    const uint32_t delayLeft = stereo && s.DelayChannel == 0 ? delaySamples : 0;
    const uint32_t delayRight = stereo && s.DelayChannel == 1 ? delaySamples : 0;
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

}  // namespace

bool TFileFrameSource::CanStart(Host& host) const {
    if (!file_) {
        ShowMessage(host, kEngineOpenWaveFile);
        return false;
    }
    const uint32_t position = file_->Position();
    const uint32_t length = file_->Length();
    if (length - std::min(position, length) >= SeriesSamples(settings_.Settings())) return true;
    if (position == 0) ShowMessage(host, kEngineFileTooShort);
    else if (position >= length) ShowMessage(host, kEngineEndOfFile);
    else ShowMessage(host, kEngineNearEnd);
    return false;
}

FrameGate TFileFrameSource::Place(double& currentTime) {
    if (!file_) return FrameGate::kEnd;
    TWaveFile& f = *file_;
    // A last frame that fills the file exactly is still analysed.
    if (f.Length() - std::min(f.Position(), f.Length()) < SeriesSamples(settings_.Settings())) {
        f.SeekToEnd();
        currentTime = f.FramesToSeconds(f.Position());
        return FrameGate::kEnd;
    }
    currentTime = f.FramesToSeconds(f.Position()) + FrameSeconds(settings_.Settings()) / 2;
    return FrameGate::kAnalyse;
}

bool TFileFrameSource::Read(TSeriesData& left, TSeriesData* right) {
    if (!file_) return false;
    return ReadFileFrame(*file_, settings_.Settings(), file_->Position(), left, right);
}

void TLiveFrameSource::RestartSchedule() {
    const SettingsBlock& s = settings_.Settings();
    nextEnd_ = SeriesSamples(s) + ChannelDelaySamples(s);
    lost_ = 0;
    placed_ = false;
}

uint64_t TLiveFrameSource::FramesUntilDue() {
    const uint64_t captured = port_->CapturedFrames();
    return nextEnd_ > captured ? nextEnd_ - captured : 0;
}

FrameGate TLiveFrameSource::Place(double& currentTime) {
    placed_ = false;
    if (!Scheduled()) return PlaceNewest(currentTime);
    const uint64_t captured = port_->CapturedFrames();
    const uint64_t advance = std::max<uint64_t>(FileFrameAdvance(settings_.Settings()), 1);
    const uint64_t span = SeriesSamples(settings_.Settings()) + ChannelDelaySamples(settings_.Settings());
    for (; nextEnd_ <= captured; nextEnd_ += advance, ++lost_) {
        if (port_->SlotPosition(nextEnd_, span, captured, placedSlot_, placedOffset_)) {
            placed_ = true;
            break;
        }
    }
    if (!placed_) return FrameGate::kWait;
    const SettingsBlock& s = settings_.Settings();
    double time = static_cast<double>(nextEnd_) / std::max(s.format.rate, 1u) + run_.startTime - 0.2;
    if (run_.historyFile) time -= FrameSeconds(s) / 2;
    currentTime = std::max(time, 0.0);
    // Taken now, so that a frame the chain cannot read is not asked for again.
    nextEnd_ += advance;
    return FrameGate::kAnalyse;
}

FrameGate TLiveFrameSource::PlaceNewest(double& currentTime) {
    if (port_->PositionFrames() < SeriesSamples(settings_.Settings())) return FrameGate::kWait;
    double time = port_->PositionSeconds() + run_.startTime - 0.2;
    if (run_.historyFile) time -= FrameSeconds(settings_.Settings()) / 2;
    // The first frames of a run would otherwise lie before its start.
    currentTime = std::max(time, 0.0);
    return FrameGate::kAnalyse;
}

bool TLiveFrameSource::Read(TSeriesData& left, TSeriesData* right) {
    if (placed_) {
        placed_ = false;
        return ReadAt(left, right, placedSlot_, placedOffset_);
    }
    const SettingsBlock& s = settings_.Settings();
    const bool triggering = settings_.Trigger.Enable != 0;
    int slot = 0;
    uint32_t offset = 0;
    const uint32_t minFrames = triggering ? static_cast<uint32_t>(std::min<uint64_t>(SeriesSamples(s), UINT32_MAX)) : 0;
    if (!port_->GetLivePosition(slot, offset, minFrames, triggering)) return false;
    return ReadAt(left, right, slot, offset);
}

bool TLiveFrameSource::ReadAt(TSeriesData& left, TSeriesData* right, int slot, uint32_t offset) {
    const SettingsBlock& s = settings_.Settings();
    TSoundInput& port = *port_;
    if (slot < 0 || slot > 1) return false;
    const bool split = settings_.FileIO.AllowSplitBuffers != 0 &&
                       !(s.format.rate == 11025 && port.Peculiarities().preRoll);
    const uint32_t need = left.Length();
    if (!split && static_cast<uint64_t>(s.FFTsize) + need > offset) return false;
    const bool stereo = right != nullptr;
    const uint32_t delaySamples = ChannelDelaySamples(s);
    const uint32_t delayLeft = stereo && s.DelayChannel == 0 ? delaySamples : 0;
    const uint32_t delayRight = stereo && s.DelayChannel == 1 ? delaySamples : 0;
    if (!slots_.CopyChannel(left, 0, slot, offset, delayLeft, split)) return false;
    if (right && !slots_.CopyChannel(*right, 1, slot, offset, delayRight, split)) return false;
    return true;
}

FrameGate TRecordingSource::Place(double& currentTime) {
    if (!file_) return FrameGate::kWait;
    TWaveFile& f = *file_;
    const bool triggering = settings_.Trigger.Enable != 0;
    currentTime = triggering ? f.FramesToSeconds(f.Position()) : port_->PositionSeconds() + run_.startTime;
    const double duration = f.FramesToSeconds(f.Length());
    if (f.StorageMode() == TWaveFile::kMemoryMode && currentTime > duration) {
        currentTime = duration;
        return FrameGate::kEnd;
    }
    return FrameGate::kAnalyse;
}

void TPlaybackSource::Begin() {
    TWaveFile& f = *file_;
    if (f.Position() >= f.Length()) f.Rewind();
    playStart_ = f.FramesToSeconds(f.Position());
    playStartFrame_ = f.Position();
    playReadFrame_ = playStartFrame_;
    Unqueue();
}

bool TPlaybackSource::Refill() {
    if (!file_ || !slots_.Allocated()) return true;
    TWaveFile& f = *file_;
    bool wrote = false;
    for (int s = 0; s < 2; ++s) {
        if (outQueued_[s] && !port_->IsSlotDone(s)) continue;
        outQueued_[s] = false;
        if (playReadFrame_ >= f.Length()) continue;
        TWaveData& b = slots_.Buffer(s);
        const uint32_t n = std::min(b.Length(), f.Length() - playReadFrame_);
        const uint32_t bytes = static_cast<uint32_t>(f.FramesToBytes(n));
        f.Seek(playReadFrame_);
        f.ReadBytes(b.Buffer(), bytes);
        playReadFrame_ += n;
        if (!port_->Write(b.Buffer(), bytes, s, false)) return false;
        outQueued_[s] = true;
        wrote = true;
    }
    if (wrote) port_->Restart();
    return outQueued_[0] || outQueued_[1] || playReadFrame_ < f.Length();
}

FrameGate TPlaybackSource::Place(double& currentTime) {
    if (!file_) return FrameGate::kIdle;
    TWaveFile& f = *file_;
    const bool triggering = settings_.Trigger.Enable != 0;
    currentTime = triggering ? f.FramesToSeconds(f.Position()) : port_->PositionSeconds() + playStart_;
    const double end = f.FramesToSeconds(f.Length());
    if (currentTime > end) {
        currentTime = end;
        return FrameGate::kEnd;
    }
    return FrameGate::kAnalyse;
}

bool TPlaybackSource::Read(TSeriesData& left, TSeriesData* right) {
    if (!file_) return false;
    return ReadFileFrame(*file_, settings_.Settings(), playStartFrame_ + port_->PositionFrames(), left, right);
}

}  // namespace zeltrak
