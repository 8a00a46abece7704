#pragma once

namespace zeltrak {

// The acquisition loop's own words, shown with the program title as caption.
inline constexpr const char* kEngineNoSoundCard = "No Sound Cards were detected on your system.";
inline constexpr const char* kEngineOpenWaveFile = "Please Open a .WAV file for processing";
inline constexpr const char* kEngineFileTooShort =
    "There are not enough data samples in the file to perform an FFT.  Either reduce the FFT size or Decimation "
    "Ratio or record additional data to increase the file size.";
inline constexpr const char* kEngineEndOfFile = "You have reached the end of the file.  Please rewind and then run the analyzer.";
inline constexpr const char* kEngineNearEnd =
    "You are close to the end of the file and there are not enough data samples to perform an FFT";
inline constexpr const char* kEngineRecordingMemory =
    "Insufficient memory available.  Reduce the \"Max Recording Time\" value under the <File><File I/O Options> "
    "menu or change to the \"Hard Disk\" recording method.";
inline constexpr const char* kEngineNoBackupQuestion =
    "You are about to modify the disk file and have not selected the \"Make Backup\" file option.\r\rDo you want "
    "to continue?";
// Window caption forms.
inline constexpr const char* kEngineCaptionFile = "%s [%s]";
inline constexpr const char* kEngineUntitled = "Untitled";
inline constexpr const char* kEngineCaptionRecording = "%s - Recording...";
inline constexpr const char* kEngineSavingWave = "Saving Wave file...";
// The name a recording gets when the disk size limit closes it: folder, then the time stamp.
inline constexpr const char* kEngineRecordingName = "%s/recording_%s.wav";
inline constexpr const char* kEngineRecordingStamp = "%04d_%02d_%02d_%02d%02d%02d";

}  // namespace zeltrak
