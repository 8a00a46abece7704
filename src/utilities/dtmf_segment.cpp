#include "utilities/dtmf_segment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "dsp/channel_processing.h"
#include "dsp/scales.h"
#include "dsp/spectral_data.h"
#include "engine/analysis_chain.h"
#include "engine/series_data.h"
#include "files/wave_data.h"
#include "platform/host.h"
#include "utilities/dtmf_strings.h"

namespace zeltrak {
namespace {

// Pass 2 runs about a hundred frames per transform length; asking the host about <Esc> for
// each would cost more than the frames.
constexpr uint64_t kFramesPerCancelPoll = 64;

// One channel's packed samples of the segment, read from the file a large block at a time so
// that overlapping frames come from memory.
class TSegmentReader {
public:
    TSegmentReader(TWaveData& wave, uint32_t channel, uint32_t frameLength)
        : wave_(wave), channel_(channel), frameLength_(frameLength), bytes_(wave.Format().bytesPerSample) {}

    // The frame of frameLength samples from `first`; what lies past the file reads as zero level.
    const uint8_t* Frame(uint64_t first) {
        if (first < base_ || first + frameLength_ > base_ + held_) Load(first);
        return data_.data() + (first - base_) * bytes_;
    }

private:
    void Load(uint64_t first) {
        const uint64_t want = std::max<uint64_t>(frameLength_ * 64ull, 1u << 16);
        data_.assign(want * bytes_, 0);
        const SampleFormat& f = wave_.Format();
        for (uint64_t i = 0; i < want; ++i)  // zero level for the padding
            EncodeSample(data_.data() + i * bytes_, bytes_, f.zeroOffset);
        const uint64_t length = wave_.Length();
        const uint64_t count = first < length ? std::min(want, length - first) : 0;
        if (count) wave_.ReadChannel(data_.data(), static_cast<uint32_t>(first), static_cast<uint32_t>(count), channel_);
        base_ = first;
        held_ = want;
    }

    TWaveData& wave_;
    uint32_t channel_;
    uint32_t frameLength_;
    unsigned bytes_;
    std::vector<uint8_t> data_;
    uint64_t base_ = 0;
    uint64_t held_ = 0;
};

struct SegmentRun {
    TWaveData& wave;
    const ProcessingSettings& base;
    Host& host;
    uint64_t start;
    uint64_t end;
    int channels;
    uint32_t n;
    int lastPercent = -1;

    void Progress(uint64_t frame, int pass) {
        const int percent = static_cast<int>((pass * 50) + 50 * (frame - start) / std::max<uint64_t>(end - start, 1));
        if (percent != lastPercent) host.SetProgress(lastPercent = percent);
    }
};

// Copies each channel's frame into the chain's series and processes it as the acquisition
// loop does.
void ProcessFrame(TAnalysisChain& chain, const ProcessingSettings& s, TSegmentReader* readers, int channels,
                  uint64_t first, uint32_t n) {
    const unsigned bytes = s.Settings().format.bytesPerSample;
    for (int c = 0; c < channels; ++c) std::memcpy(chain.Series(c)->Bytes(), readers[c].Frame(first), size_t{n} * bytes);
    chain.Process(s.Settings(), nullptr);
}

// Pass 1: the strongest level each channel reaches, from the peak-held spectrum. False when
// cancelled (`cancelled` set) or the chain could not be built (the host was told why).
bool SurveyLevels(SegmentRun& run, std::array<float, 2>& highest, bool& cancelled) {
    const ProcessingSettings s = DtmfWorkingSettings(run.base, run.wave.Format(), true);
    TAnalysisChain chain(run.host);
    const float unity[2] = {1.0f, 1.0f};
    if (!chain.Build(s, unity, nullptr)) return false;
    std::vector<TSegmentReader> readers;
    for (int c = 0; c < run.channels; ++c) readers.emplace_back(run.wave, c, run.n);
    uint64_t first = run.start;
    do {
        if ((cancelled = run.host.PollCancelRequest())) return false;
        ProcessFrame(chain, s, readers.data(), run.channels, first, run.n);
        run.Progress(std::min(first, run.end), 0);
        first += run.n / 2;
    } while (first + run.n <= run.end);
    for (int c = 0; c < run.channels; ++c) {
        const TSpectralData* sp = chain.Spectrum(c);
        const float* db = sp ? sp->AverageDb() : nullptr;
        highest[c] = db ? *std::max_element(db, db + sp->Bins()) : -999.9f;
    }
    return true;
}

// Pass 2: every frame at the fine step through the detectors. False when the user stopped it.
bool DetectKeys(SegmentRun& run, DtmfSegmentResult& result) {
    const ProcessingSettings s = DtmfWorkingSettings(run.base, run.wave.Format(), false);
    TAnalysisChain chain(run.host);
    const float unity[2] = {1.0f, 1.0f};
    if (!chain.Build(s, unity, nullptr)) return true;
    std::vector<TSegmentReader> readers;
    for (int c = 0; c < run.channels; ++c) readers.emplace_back(run.wave, c, run.n);
    const double rate = run.wave.Format().rate;
    uint64_t first = run.start, frames = 0;
    do {
        if (++frames % kFramesPerCancelPoll == 0 && run.host.PollCancelRequest()) return false;
        const auto t = static_cast<int32_t>(std::trunc(static_cast<double>(first) / rate * 1000.0));
        ProcessFrame(chain, s, readers.data(), run.channels, first, run.n);
        for (int c = 0; c < run.channels; ++c) result.detectors[c].Detect(chain.Spectrum(c), t);
        run.Progress(std::min(first, run.end), 1);
        first += result.fineStep;
    } while (first + run.n <= run.end);
    return true;
}

}  // namespace

uint32_t DtmfFftSize(uint32_t rate) {
    if (rate <= 8000) return 512;
    if (rate <= 16000) return 1024;
    if (rate <= 34000) return 2048;
    if (rate <= 50000) return 4096;
    return 8192;
}

uint32_t DtmfFineStep(uint32_t fftSize) {
    return std::max<uint32_t>(static_cast<uint32_t>(std::trunc((1.0 - 0.99) * fftSize)), 1);
}

ProcessingSettings DtmfWorkingSettings(const ProcessingSettings& base, const SampleFormat& format, bool peakHold) {
    ProcessingSettings s = base;
    SettingsBlock& b = s.Settings();
    b.format = format;
    b.FFTsize = DtmfFftSize(format.rate);
    b.DecimationRatio = 1;
    b.AverageBlocks = 1;
    b.PeakHold = peakHold ? 1 : 0;
    b.SmoothingWindow = 4;  // Hanning
    b.ChannelProcessing = format.channels == 2 ? ChannelModeCode(ChannelProcessingMode::Both)
                                               : ChannelModeCode(ChannelProcessingMode::Left);
    s.Scaling().AmpScaleType = ScaleCode(AmplitudeScale::Decibels);
    s.Scaling().FreqScaleType = kFreqLinear;
    s.Scaling().SpectralDensityFlag = 0;
    s.Scaling().StandardWeighting = 0;
    return s;
}

bool AnalyseDtmfSegment(TWaveData& wave, const ProcessingSettings& settings, int64_t startFrame, int64_t endFrame,
                        Host& host, const std::string& statusText, DtmfSegmentResult& result) {
    result = DtmfSegmentResult{};
    const uint64_t start = static_cast<uint64_t>(std::max<int64_t>(startFrame, 0));
    const uint64_t end = std::min<uint64_t>(static_cast<uint64_t>(std::max<int64_t>(endFrame, 0)), wave.Length());
    if (end <= start || wave.Error()) return false;
    result.stereo = wave.Format().channels == 2;
    result.fftSize = DtmfFftSize(wave.Format().rate);
    result.fineStep = DtmfFineStep(result.fftSize);
    SegmentRun run{wave, settings, host, start, end, result.stereo ? 2 : 1, result.fftSize};
    const uint32_t position = wave.Position();
    host.SetStatusText(dtmf_text::kAnalysing);
    host.ShowProgress(true);
    host.SetProgress(0);
    result.ran = SurveyLevels(run, result.thresholdDb, result.cancelled);
    if (result.ran) {
        for (int c = 0; c < run.channels; ++c) {
            result.thresholdDb[c] -= 20.0f;
            result.detectors[c].SetParameters(result.thresholdDb[c], 20, 20);
        }
        result.cancelled = !DetectKeys(run, result);
    }
    host.ShowProgress(false);
    host.SetStatusText(statusText);
    wave.Seek(position);
    return result.ran;
}

std::string DtmfResultMessage(const DtmfSegmentResult& result) {
    const std::string& left = result.detectors[0].KeyString();
    const std::string& right = result.detectors[1].KeyString();
    std::vector<char> text(left.size() + right.size() + 80);
    if (result.stereo)
        std::snprintf(text.data(), text.size(), dtmf_text::kStereoResult, left.c_str(), right.c_str());
    else
        std::snprintf(text.data(), text.size(), dtmf_text::kMonoResult, left.c_str());
    return text.data();
}

void RunDtmfSegmentAnalysis(TWaveData& wave, const ProcessingSettings& settings, int64_t startFrame,
                            int64_t endFrame, Host& host, const std::string& statusText) {
    if (startFrame == endFrame) {
        ShowMessage(host, dtmf_text::kNoSegment, MessageIcon::Information);
        return;
    }
    DtmfSegmentResult result;
    if (!AnalyseDtmfSegment(wave, settings, startFrame, endFrame, host, statusText, result)) return;
    host.MessageBox(DtmfResultMessage(result), dtmf_text::kCaption, MessageIcon::Information);
}

}  // namespace zeltrak
