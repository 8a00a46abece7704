#pragma once

namespace zeltrak::utility_text {

inline constexpr const char* kDelayTitle = "Delay Finder";
inline constexpr const char* kDelayMenu = "&Delay Finder";
inline constexpr const char* kDelayStatusKey = "Delay Finder";
inline constexpr const char* kDelayOptionsTitle = "Delay Finder Options";
inline constexpr const char* kUnitsMs = "Milliseconds";
inline constexpr const char* kUnitsFeet = "Feet";
inline constexpr const char* kUnitsMetres = "Meters";
inline constexpr const char* kSpeedLabel = "Speed of sound (ft/sec):";
inline constexpr const char* kMaxDelayLabel = "Maximum delay (msec):";

inline constexpr const char* kDtmfTitle = "DTMF Decoder";
inline constexpr const char* kDtmfMenu = "DT&MF Decoder";
inline constexpr const char* kDtmfStatusKey = "DTMFDecoder";
inline constexpr const char* kDtmfConfiguration = "dtmf.cfg";
inline constexpr const char* kDtmfOptionsTitle = "DTMF Options";
inline constexpr const char* kThresholdLabel = "Hit threshold level (dB):";
inline constexpr const char* kDurationLabel = "Minimum digit duration (msec):";
inline constexpr const char* kSpacingLabel = "Minimum digit spacing (msec):";
inline constexpr const char* kClear = "Clear";

inline constexpr const char* kOptions = "Options...";
inline constexpr const char* kDefaults = "Defaults";

}  // namespace zeltrak::utility_text
