#pragma once
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zeltrak {

// The automation service and its one topic.
inline constexpr const char* kAutomationService = "Zeltrak";
inline constexpr const char* kAutomationTopic = "Data";

// The items in their fixed order: the index is how other parts name an item that changed.
inline constexpr std::size_t kAutomationItemCount = 59;
enum AutomationItem : int {
    kItemPeakFrequency = 0,
    kItemPeakAmplitude = 1,
    kItemTotalPower = 2,
    kItemTotalPowerA = 3,
    kItemTotalPowerB = 4,
    kItemTotalPowerC = 5,
    kItemTHD = 6,
    kItemTHDN = 7,
    kItemIMD = 8,
    kItemSNR = 9,
    kItemSpectrum = 10,
    kItemPhase = 11,
    kItemTimeSeries = 12,
    kItemMarker1Amplitude = 13,  // ... 18
    kItemOverloadStatus = 19,
    kItemOverloadCount = 20,
    kItemFftCount = 21,
    kItemCurrentTime = 22,
    kItemTotalTime = 23,
    kItemLoggingStatus = 24,
    kItemPeakHold = 25,
    kItemFftOverlap = 26,
    kItemFftSize = 27,
    kItemAverageSize = 28,
    kItemSmoothingWindow = 29,
    kItemPeak1Frequency = 30,  // ... 35
    kItemPeak1Amplitude = 36,  // ... 41
    kItemTimeSegmentPower = 42,
    kItemZoomedSpectrum = 43,
    kItemZoomedPhase = 44,
    kItemMarkedSpectrum = 45,
    kItemMarkedPhase = 46,
    kItemZoomedTimeSeries = 47,
    kItemMarineEvent = 48,
    kItemToneMaskEvent = 49,
    kItemTotalPowerFlat = 50,
    kItemSINAD = 51,
    kItemSFDR = 52,
    kItemNF = 53,
    kItemDelayFinder = 54,
    kItemMacroStatus = 55,
    kItemFileClosed = 56,
    kItemPassString = 57,
    kItemVersionNumber = 58,
};

const std::array<const char*, kAutomationItemCount>& AutomationItemNames();
// The index of an item name, compared without regard to case; nothing for another name.
std::optional<int> AutomationItemIndex(std::string_view name);

// Reply formats.
// A pair item: "%3.6f\t%3.6f" when there is a second result, else "%3.6f".
std::string FormatPairItem(double first, std::optional<double> second);
// One line of a spectrum, phase or time-series reply: "%6.6f\t%6.6f[\t%6.6f]\r\n".
void AppendPointLine(std::string& out, double x, double first, std::optional<double> second);

// The version the "Version Number" item gives.
inline constexpr const char* kAutomationVersion = "3.32.18";

}  // namespace zeltrak
