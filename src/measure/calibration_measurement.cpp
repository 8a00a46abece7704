#include "measure/calibration_measurement.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "dsp/channel_processing.h"
#include "dsp/smoothing.h"
#include "dsp/spectral_data.h"
#include "dsp/spectral_display.h"
#include "measure/calibration.h"
#include "measure/measure_strings.h"

namespace zeltrak {

int LevelReading(int64_t peak, const SampleFormat& format) {
    const int64_t range = static_cast<int64_t>(format.maxValue) - format.zeroOffset;
    if (peak >= range - 1) return kOverloadLevel;
    if (range <= 1) return 0;
    const double m = peak > 1 ? static_cast<double>(peak) : 1.0;
    return static_cast<int>(std::trunc(10.0 * std::log10(m) / std::log10(static_cast<double>(range))));
}

std::string PercentText(double fraction) {
    char text[64];
    std::snprintf(text, sizeof text, "%6.4f", fraction * 100.0);
    return text;
}

void ReportCalibrationStall(Host& host) { ShowMessage(host, kCalibrationStalledText, MessageIcon::Error); }

CalibrationAnalysis AnalyseCalibrationRecording(TWaveData& recording) {
    CalibrationAnalysis result;
    const SampleFormat& format = recording.Format();
    const uint32_t frames = recording.Length();
    if (frames <= format.rate) return result;
    const int64_t count = 2 * static_cast<int64_t>((frames - format.rate) / kCalibrationFFTSize) - 2;
    if (count <= 0) return result;
    result.blocks = static_cast<uint32_t>(count);

    SpectralSettings settings;
    settings.format = format;
    settings.fftSize = kCalibrationFFTSize;
    settings.decimationRatio = 1;
    settings.samplingRateCorrection = 1.0f;
    settings.averageBlocks = 1000;
    settings.averageType = AveragingType::Exponential;
    settings.peakHold = false;
    settings.smoothingWindow = WindowType::FlatTop;
    SpectralScaling scaling;
    scaling.amplitudeScale = AmplitudeScale::Linear;  // percent of full scale
    scaling.frequencyScale = FrequencyScale::Linear;
    TSpectralData left(settings, scaling, 0);
    TSpectralData right(settings, scaling, 1);
    // a tone's peak must read its level: amplitude correction
    TSmoothing window(kCalibrationFFTSize, WindowType::FlatTop, WindowCorrection::Amplitude);
    if (left.Error() || right.Error() || window.Error()) return result;

    ChannelProcessingSetup setup;
    setup.mode = ChannelProcessingMode::Both;
    setup.stereo = true;
    setup.averageType = AveragingType::Exponential;
    setup.averageBlocks = 1000;
    setup.window = window.Coefficients();
    setup.windowSize = kCalibrationFFTSize;

    const uint32_t bytes = format.bytesPerSample;
    std::vector<uint8_t> raw(static_cast<size_t>(kCalibrationFFTSize) * bytes);
    int64_t peak[2] = {0, 0};
    TSpectralData* spectra[2] = {&left, &right};
    for (uint32_t b = 0; b < result.blocks; ++b) {
        const uint32_t first = format.rate + kCalibrationAdvance * b;
        for (uint32_t ch = 0; ch < 2; ++ch) {
            recording.ReadChannel(raw.data(), first, kCalibrationFFTSize, ch);
            float* t = spectra[ch]->TimeSamples();
            for (uint32_t i = 0; i < kCalibrationFFTSize; ++i) {
                const int64_t v = static_cast<int64_t>(DecodeSample(raw.data() + static_cast<size_t>(i) * bytes, bytes)) -
                                  format.zeroOffset;
                t[i] = static_cast<float>(v);
                const int64_t m = v < 0 ? -v : v;
                if (m > peak[ch]) peak[ch] = m;
            }
        }
        ProcessChannels(setup, {&left, &right, nullptr, nullptr});
    }
    result.levelLeft = LevelReading(peak[0], format);
    result.levelRight = LevelReading(peak[1], format);
    result.pctLeft = static_cast<float>(SpectralDisplayValue(left, left.Averager().PeakBin()) * 0.01);
    result.pctRight = static_cast<float>(SpectralDisplayValue(right, right.Averager().PeakBin()) * 0.01);
    if (result.levelLeft >= kOverloadLevel) result.pctLeft = 1.0f;
    if (result.levelRight >= kOverloadLevel) result.pctRight = 1.0f;
    return result;
}

CalibrationReport FinishCalibration(const CalibrationAnalysis& analysis, CalibrationRecord& record, Host& host) {
    CalibrationReport report;
    report.analysis = analysis;
    record.PctFullScaleLeft = analysis.pctLeft;
    record.PctFullScaleRight = analysis.pctRight;
    if (analysis.pctLeft >= 1.0f || analysis.pctRight >= 1.0f) {
        ShowMessage(host, kCalibrationOverloadText, MessageIcon::Warning);
        report.outcome = CalibrationOutcome::Overload;
    } else if (analysis.pctLeft < 0.0001f) {
        ShowMessage(host, kCalibrationTooLowText, MessageIcon::Warning);
        report.outcome = CalibrationOutcome::TooLow;
    } else {
        report.outcome = CalibrationOutcome::Done;
    }
    report.pctLeftText = PercentText(analysis.pctLeft);
    report.pctRightText = PercentText(analysis.pctRight);
    ComputeCalRatios(record);
    return report;
}

}  // namespace zeltrak
