#include "automation/automation_items.h"

#include <algorithm>
#include <cstdio>

#include "base/strings.h"

namespace zeltrak {

const std::array<const char*, kAutomationItemCount>& AutomationItemNames() {
    static const std::array<const char*, kAutomationItemCount> names = {
        "Peak Frequency",
        "Peak Amplitude",
        "Total Power",
        "Total Power A",
        "Total Power B",
        "Total Power C",
        "THD",
        "THD+N",
        "IMD",
        "SNR",
        "Spectrum",
        "Phase",
        "Time Series",
        "Marker1 Amplitude",
        "Marker2 Amplitude",
        "Marker3 Amplitude",
        "Marker4 Amplitude",
        "Marker5 Amplitude",
        "Marker6 Amplitude",
        "Overload Status",
        "Overload Count",
        "FFT Count",
        "Current Time",
        "Total Time",
        "Logging Status",
        "Peak Hold",
        "FFT Overlap",
        "FFT Size",
        "Average Size",
        "Smoothing Window",
        "Peak1 Frequency",
        "Peak2 Frequency",
        "Peak3 Frequency",
        "Peak4 Frequency",
        "Peak5 Frequency",
        "Peak6 Frequency",
        "Peak1 Amplitude",
        "Peak2 Amplitude",
        "Peak3 Amplitude",
        "Peak4 Amplitude",
        "Peak5 Amplitude",
        "Peak6 Amplitude",
        "Total Power in Time Segment",
        "Zoomed Spectrum",
        "Zoomed Phase",
        "Marked Spectrum",
        "Marked Phase",
        "Zoomed Time Series",
        "Quelbor Marine Event",
        "Quelbor Tone Mask Event",
        "Total Power Flat",
        "SINAD",
        "SFDR",
        "NF",
        "Delay Finder",
        "Macro Status",
        "File Closed",
        "Pass String",
        "Version Number",
    };
    return names;
}

std::optional<int> AutomationItemIndex(std::string_view name) {
    const auto& names = AutomationItemNames();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (EqualsIgnoreCase(name, names[i])) return static_cast<int>(i);
    return std::nullopt;
}

std::string FormatPairItem(double first, std::optional<double> second) {
    char text[128];
    if (second)
        std::snprintf(text, sizeof text, "%3.6f\t%3.6f", first, *second);
    else
        std::snprintf(text, sizeof text, "%3.6f", first);
    return text;
}

void AppendPointLine(std::string& out, double x, double first, std::optional<double> second) {
    char line[160];
    const int n = second ? std::snprintf(line, sizeof line, "%6.6f\t%6.6f\t%6.6f\r\n", x, first, *second)
                         : std::snprintf(line, sizeof line, "%6.6f\t%6.6f\r\n", x, first);
    out.append(line, static_cast<std::size_t>(std::min<int>(n, sizeof line - 1)));
}

}  // namespace zeltrak
