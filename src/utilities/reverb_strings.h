#pragma once

namespace zeltrak {

// The reverberation utility's own words (the duplex refusal is the ports' kNoDuplexText).

inline constexpr const char* kReverbSectionName = "ReverbOpts";

inline constexpr const char* kReverbInProgressText = "Reverb measurement in progress. Press <Esc> to cancel.";
inline constexpr const char* kReverbAcquiringText = "Acquiring Data...";
inline constexpr const char* kReverbSyncStatus = "Syncronizing...";
inline constexpr const char* kReverbLevelsStatus = "Evaluating Levels...";
inline constexpr const char* kReverbAnalyseStatus = "Analyzing Reverberation...";

inline constexpr const char* kReverbOverloadText =
    "The detected signal is overloading (clipping) the input.\rReduce the amplifier volume or decrease the sound "
    "card input gain and repeat the measurement.";
inline constexpr const char* kReverbTooLowText =
    "The detected signal is to low for accurate measurements.\rIncrease the amplifier volume or increase the sound "
    "card input gain and repeat the measurement.";
inline constexpr const char* kReverbMaxDecayRangeText = "Maximum decay time must be between 1 and 30 seconds.";

inline constexpr const char* kReverbOpenFailedText = "Failure opening reverb file";
inline constexpr const char* kReverbInvalidFileText = "Invalid reverb file.";
inline constexpr const char* kReverbReadErrorText = "Error reading reverb file.";
inline constexpr const char* kReverbCreateFailedText = "Failure creating reverb file";
inline constexpr const char* kReverbWriteErrorText = "Error writing reverb file.";

inline constexpr const char* kReverbWidebandLabel = "Wideband";

// Recorded files given to the command line, which has no dialog to set the decay time from.
inline constexpr const char* kReverbTooShortText =
    "The recording is too short for a maximum decay time of %d seconds (%.1f seconds needed).";
inline constexpr const char* kReverbTableHeader = "Band (Hz)\tRT20 (s)\tRT30 (s)\tRT60 (s)\tFlags";

// The tool window's words.
inline constexpr const char* kReverbWindowTitle = "Reverberation Time";
inline constexpr const char* kReverbWindowTitleFile = "Reverberation Time - %s";
inline constexpr const char* kReverbUnsavedQuestion = "Reverberation Data has changed.  Do you want to save it?";
inline constexpr const char* kReverbNoDataText = "Reverberation data not available.  Press Start to begin.";
inline constexpr const char* kReverbFileFilter = "Reverb Files (*.rvb)";
inline constexpr const char* kReverbOptionsTitle = "Reverb Options";
inline constexpr const char* kReverbTimesTitle = "%s Reverberation Time versus Frequency";
inline constexpr const char* kReverbDecayTitle = "%s Reverberation Decay Plot";
inline constexpr const char* kReverbSurfaceTitle = "Reverberation 3-D Surface Plot";
inline constexpr const char* kReverbFrequencyAxis = "Frequency (Hz)";
inline constexpr const char* kReverbTimeAxis = "Reverberation Time (seconds)";
inline constexpr const char* kReverbDecayTimeAxis = "Time (seconds)";
inline constexpr const char* kReverbAmplitudeAxis = "Amplitude (dB)";
inline constexpr const char* kReverbWideBar = "Wide";
inline constexpr const char* kReverbBandLabel = "%6.1f";
inline constexpr const char* kReverbBandLabelKilo = "%6.1fk";
inline constexpr const char* kReverbValueLabel = "%.2f sec";

}  // namespace zeltrak
