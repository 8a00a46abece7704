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
