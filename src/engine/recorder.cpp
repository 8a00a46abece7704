#include "engine/recorder.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/stat.h>

#include "base/strings.h"
#include "base/text_format.h"
#include "engine/engine_audience.h"
#include "engine/engine_strings.h"
#include "engine/wave_file_status.h"
#include "files/wave_file.h"
#include "files/wave_strings.h"
#include "platform/app_paths.h"
#include "platform/host.h"

namespace zeltrak {

namespace {

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

bool TRecorder::Open(std::unique_ptr<TWaveFile>& file) {
    if (!file) {
        file = CreateFile();
        if (!file) return false;
        recorderCreatedFile_ = true;
        audience_.SetCaption(FormatText(kEngineCaptionFile, env_.programTitle, kEngineUntitled));
    } else if (!ContinueFile(*file)) {
        return false;
    }
    file->SetModified(true);
    savedCaption_ = audience_.Caption();
    audience_.SetCaption(FormatText(kEngineCaptionRecording, audience_.Caption()));
    return true;
}

std::unique_ptr<TWaveFile> TRecorder::CreateFile() {
    const SettingsBlock& s = settings_.Settings();
    const FileIOBlock& io = settings_.FileIO;
    std::unique_ptr<TWaveFile> file;
    if (io.WaveFileMode == TWaveFile::kDiskMode) {
        file = MakeWaveFile(host_, s.format, io.MakeBackup != 0, env_.tempDir);
        if (file->Error()) return nullptr;
    } else {
        const uint64_t frames =
            static_cast<uint64_t>(s.format.rate) * std::clamp(io.MaxRamRecordingTimeSecs, 1, kMaxRamRecordingSecs);
        file = MakeMemoryWaveFile(host_, static_cast<uint32_t>(std::min<uint64_t>(frames, 0xFFFFFFFFu)), s.format);
        if (file->Error()) {
            ShowMessage(host_, kEngineRecordingMemory);
            return nullptr;
        }
    }
    return file;
}

bool TRecorder::ContinueFile(TWaveFile& f) {
    if (f.StorageMode() != TWaveFile::kMemoryMode) {
        if (!f.MakeBackup() && host_.AskYesNo(kEngineNoBackupQuestion, env_.programTitle) != Answer::Yes)
            return false;
        f.Seek(f.WrittenLength());
        return true;
    }
    f.Seek(f.WrittenLength());
    if (f.RemainingSeconds() >= 1.0) return true;
    // Less than a second of room: grow by a minute, or by less when memory is short.
    uint32_t step = 60 * settings_.Settings().format.rate;
    int refusals = 0;
    while (!SetWaveLength(host_, f, f.Length() + step)) {
        step /= 2;
        if (++refusals > 10 || step == 0) {
            ShowStringMessage(host_, kStrInsufficientMemory);
            return false;
        }
    }
    return true;
}

bool TRecorder::Append(TWaveFile& f, const uint8_t* bytes, uint32_t frames) {
    uint32_t fit = frames;
    if (f.StorageMode() == TWaveFile::kMemoryMode) fit = std::min(frames, f.Length() - std::min(f.Position(), f.Length()));
    if (fit > 0) {
        // WriteBytes zeroes the buffer it is given on failure; keep the slot's samples.
        std::vector<uint8_t> copy(bytes, bytes + f.FramesToBytes(fit));
        if (!f.WriteBytes(copy.data(), static_cast<uint32_t>(copy.size()))) {
            // A disk that refuses the samples is a failure the user must hear about.
            if (f.StorageMode() == TWaveFile::kDiskMode) ShowMessage(host_, kStrWaveWriteFailure);
            return false;
        }
    }
    // A full memory recording keeps what fitted and ends.
    return fit == frames;
}

void TRecorder::CheckDiskLimit(const TWaveFile& f) {
    if (f.StorageMode() == TWaveFile::kDiskMode && f.DataSize() > settings_.FileIO.MaxDiskRecordingSizeBytes)
        rolloverPending_ = true;
}

bool TRecorder::TakeRollover() {
    const bool pending = rolloverPending_;
    rolloverPending_ = false;
    return pending;
}

std::string TRecorder::RecordingName() const {
    const std::time_t now = static_cast<std::time_t>(host_.WallClockSeconds());
    std::tm t{};
    ::localtime_r(&now, &t);
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, kEngineRecordingStamp, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                  t.tm_min, t.tm_sec);
    const std::string dir = env_.waveDir.empty() ? "." : env_.waveDir;
    std::string name = FormatText(kEngineRecordingName, dir, stamp);
    // Two limits reached within one second must not overwrite the first recording.
    for (int n = 2; FileExists(name); ++n) name = FormatText(kEngineRecordingName, dir, std::string(stamp) + "_" + std::to_string(n));
    return name;
}

bool TRecorder::SaveFull(std::unique_ptr<TWaveFile>& file) {
    if (recorderCreatedFile_) {
        if (!env_.waveDir.empty()) MakeDirectories(env_.waveDir);
        const std::string name = RecordingName();
        file->SetName(name);
        if (env_.calibrationEnabled && settings_.FileIO.IncludeCalibrationData) file->SetCalibration(env_.calibration);
        audience_.SetCaption(kEngineSavingWave);
        if (!SaveWaveFile(host_, *file)) return false;  // the file stays open and nothing is lost
        savedRecordings_.push_back(name);
    } else if (!SaveWaveFile(host_, *file)) {
        return false;
    }
    ReleaseWaveFile(host_, file);
    audience_.SetCaption(env_.programTitle);
    return true;
}

void TRecorder::RestoreCaption() {
    audience_.SetCaption(savedCaption_.empty() ? env_.programTitle : savedCaption_);
}

}  // namespace zeltrak
