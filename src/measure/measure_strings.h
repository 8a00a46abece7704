#pragma once

namespace zeltrak {

// Texts of calibration and its dialog.
inline constexpr const char* kCalibrationOverloadText =
    "The calibration signal is overloading the input.\rReduce the calibration signal level or decrease the sound "
    "card input gain and recalibrate.";
inline constexpr const char* kCalibrationTooLowText =
    "The calibration signal level is too low for accurate calibration.\r\rIncrease the calibration signal level, "
    "preamp gain, or input sensitivity (gain)\rof your sound card and restart the calibration procedure.";
inline constexpr const char* kNegativeReferenceText = "The Reference Signal Level cannot be less than zero";
inline constexpr const char* kCalibrationChangedText =
    "Calibration file has changed.  Save changes before closing?";
inline constexpr const char* kOpenCalibrationTitle = "Open Calibration File";
inline constexpr const char* kSaveCalibrationTitle = "Save Calibration File";
inline constexpr const char* kCalibrationFilterFormat = "%s (*.cal)|*.cal|";
inline constexpr const char* kConversionNotApplicable = "N/A";
// Ours: a sound card that stops delivering samples would otherwise leave the measurement
// waiting for ever, and a calibration that cannot be written must not pass as saved.
inline constexpr const char* kCalibrationStalledText =
    "The sound card stopped delivering samples.  The calibration was not changed.";
inline constexpr const char* kCalibrationSaveFailedText = "Failure writing calibration file: %s";

}  // namespace zeltrak

namespace zeltrak {

// Texts of data logging.
inline constexpr const char* kLogOpenFailedFormat = "Failure opening log file: %s";
inline constexpr const char* kLogInUseFormat = "The log file %s is being written by another run.";
inline constexpr const char* kLogWriteFailedText = "Error writing to data log file.";
inline constexpr const char* kLogWriteFailedCaption = "Error";
inline constexpr const char* kLogEnableQuestion = "Do you want to enable data logging now?";
inline constexpr const char* kLogStopBeforeStartText = "Stop Frequency must be greater than Start Frequency";
inline constexpr const char* kLogStartRangeFormat = "Start Frequency must be between %6.1f and %6.1f Hz";
inline constexpr const char* kLogStopRangeFormat = "Stop Frequency must be between %6.1f and %6.1f Hz";
inline constexpr const char* kLogIntervalRangeFormat = "Update Interval must be between 1 and %d seconds.";
inline constexpr int kLogMaxIntervalSecs = 3600;
inline constexpr const char* kLogFileChooserTitle = "Select Log File";
inline constexpr const char* kLogFileFilterFormat = "%s (*.txt)|*.txt|";
inline constexpr const char* kLogFileFilterText = "Data Log File";
inline constexpr const char* kLogViewerChooserTitle = "Select Text Viewer Program";
inline constexpr const char* kLogViewerFilterFormat = "%s (*.exe)|*.exe|";
inline constexpr const char* kLogViewerFilterText = "Text Viewer";
// Ours: a viewer that cannot be started must not pass silently.
inline constexpr const char* kLogViewerFailedFormat = "Failure starting the log viewer: %s";
// The opener of the desktop, used when the stored viewer is not found.
inline constexpr const char* kDefaultLogViewer = "xdg-open";

}  // namespace zeltrak

namespace zeltrak {

// Texts of the microphone compensation files (%s names the file).
inline constexpr const char* kCompensationTooFewText =
    "file: %s must contain at least 3 entries.  File will not be used.";
inline constexpr const char* kCompensationOrderText =
    "Frequency terms in file: %s are not in ascending order.  File will not be used.";
inline constexpr const char* kCompensationOpenText = "Failure opening Microphone Compensation file: %s";

// Texts of the analysis objects that failed (windows, spectrums).
inline constexpr const char* kAnalysisErrorCaption = "Error";
inline constexpr const char* kInvalidWindowTypeText = "TSmoothing: Invalid Window Type";
inline constexpr const char* kLinearAverageMemoryText =
    "Insufficient memory for linear averaging - try using exponential average";

}  // namespace zeltrak
