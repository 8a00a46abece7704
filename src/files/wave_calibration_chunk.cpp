// TWaveFile's calibration chunk: found after the RIFF form, read whole, rewritten in place or
// appended, and dropped again when it was cleared.
#include <cstdio>

#include "base/numeric.h"
#include "files/wave_file.h"
#include "files/wave_strings.h"

namespace zeltrak {

int64_t TWaveFile::FindCalibrationChunk(const RiffFile& file) {
    const uint64_t size = file.FileSize();
    uint64_t pos = 0;
    for (int count = 0; count < RiffFile::kMaxChunksPerLevel && pos + 8 <= size; ++count) {
        uint8_t header[8];
        if (!file.ReadAt(pos, header, 8)) return -1;
        if (GetLE32(header) == kCalibrationChunkId) return static_cast<int64_t>(pos);
        const uint32_t chunkSize = GetLE32(header + 4);
        pos += 8ull + chunkSize + (chunkSize & 1u);
    }
    return -1;
}

void TWaveFile::ReadCalibrationChunk(RiffFile& file) {
    calibrationPresent_ = 0;
    calibrationOffset_ = FindCalibrationChunk(file);
    if (calibrationOffset_ >= 0) {
        // The record is read whole whatever the size field says (older files wrote 0).
        uint8_t bytes[CalibrationRecord::kSize];
        if (file.ReadAt(static_cast<uint64_t>(calibrationOffset_) + 8, bytes, sizeof bytes)) {
            calibration_ = CalibrationRecord::Deserialize(bytes);
            if (calibration_.LeftChannelName[0] == '\0') calibration_.SetLeftChannelName("Left");
            if (calibration_.RightChannelName[0] == '\0') calibration_.SetRightChannelName("Right");
            calibrationPresent_ = 1;
        } else {
            calibrationOffset_ = -1;
        }
    }
    file.Seek(0, SEEK_SET);
}

bool TWaveFile::AppendCalibrationChunk(RiffFile& file, uint64_t end) {
    RiffChunk chunk;
    chunk.id = kCalibrationChunkId;
    const auto record = calibration_.Serialize();
    const char* failure = nullptr;
    if (!file.CreateChunk(chunk))
        failure = kStrWaveCalChunkCreateFailure;
    else if (file.Write(record.data(), record.size()) != static_cast<int64_t>(record.size()) || !file.Ascend(chunk))
        failure = kStrWaveCalChunkWriteFailure;
    if (failure == nullptr) return true;
    Tell(failure);
    calibrationPresent_ = 0;
    file.Truncate(end);
    return false;
}

bool TWaveFile::WriteCalibrationOnDisk() {
    if (!calibrationPresent_) {
        // A chunk that was cleared goes when it is the last thing in the file.
        if (calibrationOffset_ >= 0 &&
            static_cast<uint64_t>(calibrationOffset_) + 8 + CalibrationRecord::kSize >= file_.FileSize()) {
            if (file_.Truncate(static_cast<uint64_t>(calibrationOffset_))) calibrationOffset_ = -1;
        }
        return true;
    }
    if (calibrationOffset_ >= 0) {
        const auto record = calibration_.Serialize();
        uint8_t header[8];
        PutLE32(header, kCalibrationChunkId);
        PutLE32(header + 4, CalibrationRecord::kSize);
        const auto at = static_cast<uint64_t>(calibrationOffset_);
        if (file_.WriteAt(at, header, 8) && file_.WriteAt(at + 8, record.data(), record.size())) return true;
        Tell(kStrWaveCalChunkWriteFailure);
        calibrationPresent_ = 0;
        return false;
    }
    const uint64_t end = file_.FileSize();
    file_.Seek(static_cast<int64_t>(end), SEEK_SET);
    if (!AppendCalibrationChunk(file_, end)) return false;
    calibrationOffset_ = static_cast<int64_t>(end);
    return true;
}

void TWaveFile::SetCalibration(const CalibrationRecord& record) {
    calibration_ = record;
    calibrationPresent_ = 1;
}

void TWaveFile::ClearCalibration() {
    calibration_ = CalibrationRecord{};
    calibrationPresent_ = 0;
}

}  // namespace zeltrak
