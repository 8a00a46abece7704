#include "utilities/reverb_text.h"

#include <algorithm>
#include <cstdio>

#include "utilities/reverb_strings.h"

namespace zeltrak {

namespace {

void Append(std::string& out, const char* format, double a) {
    char text[64];
    std::snprintf(text, sizeof text, format, a);
    out += text;
}

void AppendPair(std::string& out, double a, double b) {
    char text[96];
    std::snprintf(text, sizeof text, "%f\t%f\r\n", a, b);
    out += text;
}

}  // namespace

std::string ReverbTimesText(const ReverbData& data, int rtIndex) {
    const int d = std::clamp(rtIndex, 0, kReverbDrops - 1);
    std::string out;
    for (int b = 0; b < data.bandCount; ++b) {
        const ReverbBandResult& r = data.results[b];
        if (r.frequency > 0.0f) {
            AppendPair(out, r.frequency, r.time[d]);
        } else {
            out += kReverbWidebandLabel;
            Append(out, "\t%f\r\n", r.time[d]);
        }
    }
    return out;
}

std::string ReverbDecayText(const ReverbData& data, int band) {
    std::string out;
    if (band < 0 || band >= kReverbBandSlots) return out;
    for (const ReverbFrame& frame : data.frames) AppendPair(out, frame.time, frame.smoothed[band]);
    return out;
}

std::string ReverbSurfaceText(const ReverbData& data) {
    std::string out;
    for (const ReverbFrame& frame : data.frames) {
        Append(out, "%f\t", frame.time);
        for (int b = 0; b < data.bandCount; ++b) Append(out, "%f\t", frame.smoothed[b]);
        out += "\r\n";
    }
    return out;
}

}  // namespace zeltrak
