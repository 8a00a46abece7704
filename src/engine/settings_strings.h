#pragma once

namespace zeltrak::settings_text {

// The settings dialogs' own messages.
inline constexpr const char* kRateMust11025 = "Sampling Rate must be 11025 Hz";
inline constexpr const char* kRateMust11025Or22050 = "Sampling Rate must be either 11025 or 22050 Hz";
inline constexpr const char* kRateMustStandard = "Sampling Rate must be either 11025, 22050 or 44100 Hz";
inline constexpr const char* kRateNotANumber = "Sampling Rate must be a whole number of Hz above 0";
inline constexpr const char* kDecimationRange = "Decimation Ratio must be between 1 and %d";
inline constexpr const char* kOverlapRange = "Overlap Percentage must be between 0 and 99%";
inline constexpr const char* kDelayRange = "Delay must be between 0 and 1,000 milliseconds";
inline constexpr const char* kInfinite = "Infinite";
inline constexpr const char* kAveragingSizeRange = "Averaging size must be \"Infinite\" or between 1 and 1,000,000";
inline constexpr const char* kThresholdRange = "Threshold must be between %d and %d percent.";
inline constexpr const char* kTriggerDelayRange = "Trigger delay must be between 0 and %d";
inline constexpr const char* kRealTimeBufferMin = "Real Time Data buffer length must be at least 4 seconds.";
inline constexpr const char* kMaxRamMin = "Maximum RAM recording time must be at least 4 seconds.";
inline constexpr const char* kMaxRamMax = "Maximum RAM recording time must be less than 3600 seconds.";
inline constexpr const char* kMaxDiskMin = "Maximum Hard Disk recording size must be at least 1 MB";
inline constexpr const char* kMaxDiskMax = "Maximum Hard Disk recording size cannot be greater than 2,000 MB (2GB)";
inline constexpr const char* kMicCompFiles = "Mic Comp Files";
inline constexpr const char* kMicCompFilter = "%s (*.mic)|*.mic|Overlay Files (*.ovl)|*.ovl|";

}  // namespace zeltrak::settings_text
