#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/processing_settings.h"
#include "engine/series_data.h"

namespace zeltrak {

class Host;
class TSpectralData;

// Where calibration and spectral scaling plug in. Prepare runs whenever the spectrums are
// rebuilt (per-bin scale, weighting, bands), telling what fails through host; AfterAverage
// after each frame's two-channel processing, before anyone is told about the frame.
class TSpectrumScaling {
public:
    virtual ~TSpectrumScaling() = default;
    virtual void Prepare(TSpectralData* const (&spectrums)[4], Host& host) = 0;
    virtual void AfterAverage(TSpectralData* const (&spectrums)[4]) = 0;
};

// What a frame passes through: the time series per channel (and the longer ones the trigger
// search reads), the analysis window and the spectrums the channel mode asks for.
class TAnalysisChain {
public:
    explicit TAnalysisChain(Host& host);
    ~TAnalysisChain();

    // Builds everything for `settings`, `fullScale` being each channel's full-scale ratio.
    // False (a message shown where memory is short) leaves the chain unbuilt.
    bool Build(const ProcessingSettings& settings, const float (&fullScale)[2], TSpectrumScaling* scaling);
    bool Built() const { return built_; }
    // Windows the series, transforms and averages them by the channel mode.
    void Process(const SettingsBlock& settings, TSpectrumScaling* scaling);
    void ResetAverage();
    void ClearTriggerSeries();

    TSeriesData* Series(int channel) const { return series_[channel].get(); }
    TSeriesData* TriggerSeries(int channel) const { return triggerSeries_[channel].get(); }
    TSpectralData* Spectrum(int i) const { return spectrums_[i].get(); }

private:
    bool BuildSeries(const SettingsBlock& s, uint64_t seriesLength, uint64_t triggerLength,
                     const float (&gain)[2]);
    bool BuildSpectrums(const ProcessingSettings& settings);
    void Release();

    Host& host_;
    std::unique_ptr<TSeriesData> series_[2];
    std::unique_ptr<TSeriesData> triggerSeries_[2];
    std::unique_ptr<TSpectralData> spectrums_[4];
    std::vector<float> window_;
    bool uniformWindow_ = true;
    bool built_ = false;
};

}  // namespace zeltrak
