#include "engine/settings_report.h"

#include <cstdarg>
#include <cstdio>

#include "engine/settings_names.h"

namespace zeltrak {

namespace {

const char* OnOff(uint32_t flag) { return flag ? "On" : "Off"; }

void Line(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Line(std::string& out, const char* format, ...) {
    char buffer[600];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    out += buffer;
    out += '\n';
}

const char* FrequencyAxisName(uint16_t type) {
    switch (type) {
        case kFreqLinear: return "Linear";
        case kFreqLogarithmic: return "Logarithmic";
        case kFreqOctaveBands: return "Octave bands";
        default: return "";
    }
}

}  // namespace

std::string SettingsReport(const ProcessingSettings& p) {
    const SettingsBlock& s = p.Settings();
    const ScalingBlock& c = p.Scaling();
    std::string out;
    Line(out, "Configuration Parameters");
    Line(out, "%s", "");
    Line(out, "%s", ModeReportWord(p.Mode.OpMode));
    Line(out, "%s", "");
    Line(out, "SETTINGS:");
    Line(out, "\tSampling Rate:\t%u Hz", s.format.rate);
    Line(out, "\tChannels:\t%u", s.format.channels);
    Line(out, "\tBits per Sample:\t%u", s.format.bitsPerSample);
    Line(out, "\tFFT Size:\t%u", s.FFTsize);
    Line(out, "\tSmoothing Window:\t%s", WindowTypeName(s.SmoothingWindow));
    Line(out, "\tOverlap:\t%u %%", s.OverlapPercent);
    Line(out, "\tAveraging:\t%s, %u", AverageTypeName(s.AverageType), s.AverageBlocks);
    Line(out, "\tPeak Hold:\t%s", OnOff(s.PeakHold));
    Line(out, "\tDecimation Ratio:\t%u", s.DecimationRatio);
    Line(out, "\tLow Pass Filter:\t%s", OnOff(s.ApplyLowPassFilter));
    Line(out, "\tChannel Processing:\t%s", ChannelProcessingName(s.ChannelProcessing));
    Line(out, "\tDelay:\t%.3f ms (%s channel)", static_cast<double>(s.DelayTimeMsec), s.DelayChannel ? "Right" : "Left");
    Line(out, "\tOverload Detection:\t%s", OnOff(s.EnableOverloadDetection));
    Line(out, "\tExclude Overloaded Frames:\t%s", OnOff(s.ExcludeOverloadFlag));
    Line(out, "%s", "");
    Line(out, "SCALING:");
    Line(out, "\tAmplitude:\t%s", AmplitudeScaleName(c.AmpScaleType));
    if (c.FreqScaleType == kFreqOctaveBands)
        Line(out, "\tFrequency:\t1/%u Octave bands", c.OctaveNumber);
    else
        Line(out, "\tFrequency:\t%s", FrequencyAxisName(c.FreqScaleType));
    Line(out, "\tWeighting:\t%s", WeightingName(c.StandardWeighting));
    if (c.SpectralDensityFlag)
        Line(out, "\t%s", SpectralDensityName(c.SpectralDensityType));
    Line(out, "%s", "");
    Line(out, "TRIGGER:\t%s", OnOff(p.Trigger.Enable));
    if (p.Trigger.Enable) {
        Line(out, "\tChannel:\t%s", p.Trigger.Channel ? "Right" : "Left");
        Line(out, "\tType:\t%s, %s slope", p.Trigger.TriggerType ? "Edge" : "Level",
             p.Trigger.TriggerSlope ? "Negative" : "Positive");
        Line(out, "\tThreshold:\t%u %%", p.Trigger.Threshold);
        Line(out, "\t%s delay:\t%.3f ms", p.Trigger.DelayType ? "Post-Trigger" : "Pre-Trigger",
             static_cast<double>(p.Trigger.DelayMsec));
    }
    return out;
}

}  // namespace zeltrak
