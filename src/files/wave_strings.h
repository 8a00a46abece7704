#pragma once

namespace zeltrak {

// The wave-file subsystem's own words. The wave routines show them with an empty caption;
// the shell's texts (last group) are shown by the shell with the program title.
inline constexpr const char* kStrWaveOpenFailure = "Failure Opening file: %s";
inline constexpr const char* kStrWaveFormatInvalid = "The wave file format is invalid";
inline constexpr const char* kStrWaveNoMemory = "Insufficient memory to load wave data.  %ld bytes needed.";
inline constexpr const char* kStrWaveWriteFailure = "Failure writing wave file.";
inline constexpr const char* kStrWaveTempDeleteFailure = "Failure Deleting Temp file";
inline constexpr const char* kStrWaveCalChunkCreateFailure = "Error on mmioCreateChunk for Calibration data";
inline constexpr const char* kStrWaveCalChunkWriteFailure = "Error writing Calibration data to wave file";
inline constexpr const char* kStrWaveCutShort =
    "The wave file ends before its header says it does; it may have been cut short. The %u whole frames it holds "
    "are used.";

inline constexpr const char* kStrWaveShellOpenFailure = "Failure opening file: %s";
inline constexpr const char* kStrWaveOpenInRealTime =
    "You are currently using the Real Time Mode.  You must change to either the Post Processing or Recorder Mode "
    "before opening a file.";
inline constexpr const char* kStrWaveFileFilter = "Wave Files (*.wav)|*.wav|";
inline constexpr const char* kStrWaveOpenTitle = "Open Wave File";
inline constexpr const char* kStrWaveSaveTitle = "Save Wave File";
inline constexpr const char* kStrWaveOpening = "Opening Wave file...";
inline constexpr const char* kStrWaveSaving = "Saving Wave file...";
inline constexpr const char* kStrWaveSaveBeforeClosing = "%s has changed. Save file before closing?";
inline constexpr const char* kStrWaveInUse = "%s is currently in use by Vornal Plus";
inline constexpr const char* kStrWaveNoFileIoChange =
    "You cannot change the File I/O options while an existing .WAV file is open.  Please close the file.";
inline constexpr const char* kStrWaveWrongCalibration =
    "WARNING: You are currently using calibration file \"%s\".  This may not be correct for this .WAV file.  "
    "Do you wish to select a different calibration file at this time?";

}  // namespace zeltrak
