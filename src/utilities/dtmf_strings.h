#pragma once

namespace zeltrak::dtmf_text {

inline constexpr const char* kSection = "DTMF";
inline constexpr const char* kKeyThreshold = "HitThresholdLevel";
inline constexpr const char* kKeyDuration = "MinDigitDurationMsec";
inline constexpr const char* kKeySpacing = "MinDigitSpacingMsec";

inline constexpr const char* kThresholdRange = "The threshold level must be between 0 and -80 dB";
inline constexpr const char* kDurationRange = "The Minimim Digit Duration must be between 1 and 1000 msec";
inline constexpr const char* kSpacingRange = "The Minimim Space Duration must be between 1 and 1000 msec";
inline constexpr const char* kThresholdFormat = "%6.2f";
inline constexpr const char* kDefaultThreshold = "-40.0";
inline constexpr const char* kDefaultDuration = "4";
inline constexpr const char* kDefaultSpacing = "2";

inline constexpr const char* kNoSegment = "You must first select a time segment.";
inline constexpr const char* kAnalysing = "Performing DTMF Analysis... press <Esc> to cancel.";
inline constexpr const char* kMonoResult = "DTMF keys = %s";
inline constexpr const char* kStereoResult = "DTMF keys (Left)  = %s\rDTMF keys (right) = %s";
inline constexpr const char* kCaption = "DTMF";

}  // namespace zeltrak::dtmf_text
