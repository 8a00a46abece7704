#pragma once

namespace zeltrak {

// The delay finder's own words.
inline constexpr const char* kDelayNeedsStereo =
    "The delay finder utility requires stereo operation.  It will now be shutdown";
inline constexpr const char* kDelayNoMemory =
    "Insufficient Memory to continue.  Please close some applications to free up memory.";
inline constexpr const char* kDelaySpeedRange = "The speed of sound must be between 10 and 100,000 ft/sec";
inline constexpr const char* kDelayMaxDelayRange = "The maximum delay must be between 10 and 1000 milliseconds";
inline constexpr const char* kDelayApplyButton = "Apply to Processing Delay -->";
inline constexpr const char* kDelayOptionsButton = "Options...";
inline constexpr const char* kDelayEditFormat = "%6.3f msec";  // the processing delay's edit box

inline constexpr const char* kDelayOptionsSection = "DelayFinderOpts";
inline constexpr const char* kDelayKeyUnits = "DisplayUnits";
inline constexpr const char* kDelayKeyMaxDelay = "MaxDelayMsec";
inline constexpr const char* kDelayKeySpeed = "SpeedOfSound";

// The command line's report and refusals.
inline constexpr const char* kDelayCommandReport = "Delay: %lld samples, %.3f ms, %.3f m\n";
inline constexpr const char* kDelayCommandTooShort =
    "The file is too short for the delay finder: it needs at least %u samples per channel.";
inline constexpr const char* kDelayCommandNoSignal = "The file holds no signal to correlate.";

}  // namespace zeltrak
