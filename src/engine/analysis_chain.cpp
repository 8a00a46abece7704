#include "engine/analysis_chain.h"

#include <algorithm>

#include "base/strings.h"
#include "dsp/channel_processing.h"
#include "dsp/spectral_data.h"
#include "engine/analysis_window.h"
#include "files/wave_data.h"
#include "measure/analysis_failures.h"
#include "platform/host.h"

namespace zeltrak {

TAnalysisChain::TAnalysisChain(Host& host) : host_(host) {}
TAnalysisChain::~TAnalysisChain() = default;

void TAnalysisChain::Release() {
    for (auto& sp : spectrums_) sp.reset();
    for (int c = 0; c < 2; ++c) {
        series_[c].reset();
        triggerSeries_[c].reset();
    }
}

bool TAnalysisChain::Build(const ProcessingSettings& settings, const float (&fullScale)[2],
                           TSpectrumScaling* scaling) {
    built_ = false;
    const SettingsBlock& s = settings.Settings();
    Release();
    // Settings that bypassed the dialogs and the loader may ask for more than any valid
    // frame; such a frame is refused as one that could not be allocated.
    const uint64_t seriesLength = SeriesSamples(s);
    const uint64_t triggerLength = TriggerSeriesSamples(s, settings.Trigger.DelayMsec);
    if (seriesLength > kMaxSeriesSamples || triggerLength > kMaxTriggerSeriesSamples) {
        ShowStringMessage(host_, kStrInsufficientMemory);
        return false;
    }
    if (!BuildSeries(s, seriesLength, triggerLength, fullScale) || !BuildSpectrums(settings)) return false;
    if (!BuildAnalysisWindow(s.FFTsize, WindowTypeFromCode(s.SmoothingWindow), settings.WindowCorrectionMode(), &host_,
                             window_, uniformWindow_))
        return false;
    if (scaling) {
        TSpectralData* const all[4] = {spectrums_[0].get(), spectrums_[1].get(), spectrums_[2].get(),
                                       spectrums_[3].get()};
        scaling->Prepare(all, host_);
    }
    built_ = true;
    return true;
}

bool TAnalysisChain::BuildSeries(const SettingsBlock& s, uint64_t seriesLength, uint64_t triggerLength,
                                 const float (&gain)[2]) {
    const uint32_t ratio = std::max<uint32_t>(s.DecimationRatio, 1);
    const bool filter = s.ApplyLowPassFilter != 0;
    for (int c = 0; c < 2; ++c) {
        if (c == 1 && s.format.channels != 2) continue;
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
    return true;
}

bool TAnalysisChain::BuildSpectrums(const ProcessingSettings& settings) {
    const SettingsBlock& s = settings.Settings();
    const bool stereo = s.format.channels == 2;
    SpectralSettings ss;
    ss.format = s.format;
    ss.fftSize = s.FFTsize;
    ss.decimationRatio = static_cast<uint16_t>(std::max<uint32_t>(s.DecimationRatio, 1));
    ss.samplingRateCorrection = s.SamplingRateCorrectionFactor;
    ss.averageBlocks = s.AverageBlocks;
    ss.averageType = AveragingTypeFromCode(s.AverageType);
    ss.peakHold = s.PeakHold != 0;
    ss.smoothingWindow = WindowTypeFromCode(s.SmoothingWindow);
    ss.windowCorrection = settings.WindowCorrectionMode();
    SpectralScaling sc;
    sc.amplitudeScale = AmplitudeScaleFromCode(settings.Scaling().AmpScaleType);
    sc.frequencyScale = FrequencyScaleFromCode(settings.Scaling().FreqScaleType);
    sc.octaveNumber = settings.Scaling().OctaveNumber;
    sc.spectralDensity = settings.Scaling().SpectralDensityFlag != 0;
    sc.densityUnits = DensityUnitsFromCode(settings.Scaling().SpectralDensityType);
    sc.standardWeighting = settings.Scaling().StandardWeighting;
    sc.coherenceSquared = settings.CoherenceSquared;
    const SpectrumSet set = SpectrumsForMode(ChannelModeFromCode(s.ChannelProcessing), stereo);
    const bool wanted[4] = {set.left || !stereo, set.right, set.result1, set.result2};
    const int channelOf[4] = {0, 1, -1, -1};
    for (int i = 0; i < 4; ++i) {
        if (!wanted[i]) continue;
        spectrums_[i] = std::make_unique<TSpectralData>(ss, sc, channelOf[i]);
        if (spectrums_[i]->Error()) {
            ShowSpectralFailure(host_, spectrums_[i]->Status());
            for (auto& sp : spectrums_) sp.reset();
            return false;
        }
    }
    return true;
}

void TAnalysisChain::Process(const SettingsBlock& s, TSpectrumScaling* scaling) {
    for (int c = 0; c < 2; ++c) {
        TSpectralData* sp = spectrums_[c].get();
        const TSeriesData* series = series_[c].get();
        if (!sp || !series) continue;
        PackedSamplesToFloats(series->Bytes(), series->Format().bytesPerSample,
                              std::min(sp->FFTSize(), series->DecimatedLength()), series->Format().zeroOffset,
                              sp->TimeSamples());
    }
    ChannelProcessingSetup setup;
    setup.mode = ChannelModeFromCode(s.ChannelProcessing);
    setup.stereo = s.format.channels == 2;
    setup.averageType = AveragingTypeFromCode(s.AverageType);
    setup.averageBlocks = s.AverageBlocks;
    setup.window = uniformWindow_ ? nullptr : window_.data();
    setup.windowSize = uniformWindow_ ? 0 : static_cast<uint32_t>(window_.size());
    ChannelSpectrums cs{spectrums_[0].get(), spectrums_[1].get(), spectrums_[2].get(), spectrums_[3].get()};
    ProcessChannels(setup, cs);
    if (scaling) {
        TSpectralData* const all[4] = {cs.left, cs.right, cs.result1, cs.result2};
        scaling->AfterAverage(all);
    }
}

void TAnalysisChain::ResetAverage() {
    for (auto& sp : spectrums_)
        if (sp) sp->ResetAverage();
}

void TAnalysisChain::ClearTriggerSeries() {
    for (auto& t : triggerSeries_)
        if (t) t->Clear();
}

}  // namespace zeltrak
