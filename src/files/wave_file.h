#pragma once
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "files/calibration_record.h"
#include "files/riff.h"
#include "files/wave_data.h"
#include "files/wave_layout.h"
#include "platform/host.h"

namespace zeltrak {

// Something a wave file has to tell its user; its owner shows it, with an empty caption.
struct WaveFileMessage {
    std::string text;
    MessageIcon icon = MessageIcon::Error;
};

// The chunk id of our calibration chunk, kept at the top level after the RIFF form.
inline constexpr uint32_t kCalibrationChunkId = 0x65;

// A wave file held either wholly in memory, worked on in place on disk, or streamed read-only
// from disk in chunks (long files analysed from start to end), with an optional calibration
// chunk. In disk mode the RIFF and "data" sizes in the file are kept current
// after every write that changes the data's length, so a killed recording stays readable.
// Failures set the error flag or return false; what the user should read about them waits in
// the file until the owner takes it (TakeMessages).
class TWaveFile : public TWaveData {
public:
    // kStreamMode refuses every change; float samples are converted as they are read.
    enum StorageMode : uint16_t { kMemoryMode = 0, kDiskMode = 1, kStreamMode = 2 };

    // Opens a named file. An empty temporary directory means the system's ($TMPDIR or /tmp).
    TWaveFile(const std::string& fileName, uint16_t storageMode, bool makeBackup, const std::string& tempDir = "");
    // An untitled file in memory for `frames` frames of `format`.
    TWaveFile(uint32_t frames, const SampleFormat& format);
    // An untitled disk-mode recording in a temporary file; append with WriteBytes.
    TWaveFile(const SampleFormat& format, bool makeBackup, const std::string& tempDir = "");
    ~TWaveFile() override;

    // What went wrong or is worth a note since the last call, oldest first.
    std::vector<WaveFileMessage> TakeMessages();
    // Finishes and closes the working file as the destructor would; an owner that wants to
    // hear about a failure there calls it and then TakeMessages.
    void Close();

    bool Untitled() const { return untitled_ != 0; }
    bool CalibrationPresent() const { return calibrationPresent_ != 0; }
    uint16_t StorageMode() const { return storageMode_; }
    bool NewFile() const { return newFile_ != 0; }
    bool MakeBackup() const { return makeBackup_ != 0; }
    const std::string& TempDir() const { return tempDir_; }
    const std::string& WorkingName() const { return workingName_; }
    int64_t DataOffset() const { return dataOffset_; }

    std::string GetName() const { return fileName_; }
    void SetName(const std::string& name);

    bool Save();
    bool FinaliseAndClose();

    void SetCalibration(const CalibrationRecord& record);
    CalibrationRecord GetCalibration() const { return calibration_; }
    void ClearCalibration();

    double RemainingSeconds() const override;
    // Stream mode: bytes read from the file at a time (a seam for tests; 1 MiB by default).
    void SetReadAheadBytes(uint32_t bytes) {
        aheadBytes_ = std::max<uint32_t>(bytes, 1);
        aheadFill_ = 0;
    }

    // The system's temporary directory: $TMPDIR when set, else /tmp.
    static std::string SystemTempDir();

protected:
    bool DiskMode() const override { return storageMode_ != kMemoryMode && file_.IsOpen(); }
    bool DiskRead(uint64_t offset, void* out, uint64_t n) override;
    bool DiskWrite(uint64_t offset, const void* in, uint64_t n) override;
    bool DiskResize(uint32_t frames) override;
    const uint8_t* DiskView(uint64_t offset, uint64_t n) override;

private:
    void Tell(const std::string& text, MessageIcon icon = MessageIcon::Error);
    void Fail(const std::string& text);
    void FailFormat(const std::string& reason);
    void FailOpen(const std::string& name);
    void ReportCutShort();
    // Offset of the first top-level calibration chunk, or -1. The RIFF form is skipped whole.
    static int64_t FindCalibrationChunk(const RiffFile& file);
    void ReadCalibrationChunk(RiffFile& file);
    // Writes the chunk where `file` stands (at `end`); a failure is told, drops the
    // calibration and cuts the file back to `end`.
    bool AppendCalibrationChunk(RiffFile& file, uint64_t end);
    bool ParseLayout(RiffFile& file, WaveLayout& layout);
    bool LoadIntoMemory(RiffFile& file, const WaveLayout& layout);
    bool OpenDisk(const std::string& fileName);
    bool OpenStream(const std::string& fileName);
    bool ReadWorkingLayout(WaveLayout& layout);
    void AdoptLayout(const WaveLayout& layout);
    // Stream mode: data bytes as the samples are held (floats as 32-bit integers), from the
    // source bytes of the read-ahead block.
    bool StreamRead(uint64_t offset, uint8_t* out, uint64_t n);
    bool ReadAhead(uint64_t sourceOffset, uint8_t* out, uint64_t n);
    // Reads the block of source bytes that starts at `sourceOffset`.
    bool FillAhead(uint64_t sourceOffset);
    // Creates a "wav<pid>_XXXXXX" file in the temporary directory; returns the descriptor or -1.
    int MakeTempFile(std::string& name);
    bool CopyFileTo(int sourceFd, const std::string& target);

    // Disk-mode layout keeping: the bytes after the data chunk are moved aside before the
    // data changes length and put back when the file is finished.
    bool DetachTail();
    // Writes the sizes of what a file that was cut short holds in place of those it claimed.
    bool WriteTrueSizes();
    bool SetDiskDataBytes(uint64_t bytes);
    bool FinishWorkingFile();
    bool WriteCalibrationOnDisk();
    bool SaveMemory();
    bool SaveDisk(bool finalise);
    bool WriteMemoryFile(int fd);
    void CloseWorking(bool report);

    uint64_t RiffEnd() const { return riff_.dataOffset + riff_.size; }

    std::vector<WaveFileMessage> messages_;
    uint32_t untitled_ = 0;
    uint32_t calibrationPresent_ = 0;
    uint16_t storageMode_ = kMemoryMode;
    uint32_t newFile_ = 0;
    uint32_t makeBackup_ = 0;
    std::string tempDir_;
    std::string fileName_;
    std::string workingName_;
    int64_t dataOffset_ = 44;
    CalibrationRecord calibration_;

    RiffFile file_;
    RiffChunk riff_;
    RiffChunk data_;
    bool workingIsTemp_ = false;
    // Top-level offset of the calibration chunk in the working file, -1 when there is none.
    int64_t calibrationOffset_ = -1;
    bool tailDetached_ = false;
    // The working file was cut short and its header still claims the sizes it was meant to have.
    bool sizesStale_ = false;
    std::vector<uint8_t> tailInsideRiff_;
    std::vector<uint8_t> tailOutsideRiff_;

    // Stream mode: bytes per stored sample of float data (0 for integer data), and the block
    // of source data bytes last read, starting at aheadStart_.
    unsigned floatWidth_ = 0;
    uint32_t aheadBytes_ = 1u << 20;
    std::vector<uint8_t> readAhead_;
    uint64_t aheadStart_ = 0;
    uint64_t aheadFill_ = 0;
    std::vector<uint8_t> floatSource_;
};

}  // namespace zeltrak
