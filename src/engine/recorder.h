#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_environment.h"
#include "engine/processing_settings.h"

namespace zeltrak {

class Host;
class TEngineAudience;
class TWaveFile;

// The Recorder mode's file: opened or continued for a recording, fed with captured blocks,
// and saved under a time-stamped name when it outgrows the disk size limit (after which a
// new recording goes on).
class TRecorder {
public:
    TRecorder(Host& host, const EngineEnvironment& env, const ProcessingSettings& settings,
              TEngineAudience& audience)
        : host_(host), env_(env), settings_(settings), audience_(audience) {}

    // Makes `file` ready to record into: a new untitled file when there is none, else the
    // open one continued at its end. The caption shows the recording.
    bool Open(std::unique_ptr<TWaveFile>& file);
    // The shell put another file in place: it is no recording of ours.
    void FileReplaced() { recorderCreatedFile_ = false; }
    // Appends a captured block; false when the file is full or refused it (a refusing disk
    // is reported).
    bool Append(TWaveFile& f, const uint8_t* bytes, uint32_t frames);
    // Notes a disk file past the size limit, for the next buffer notice to roll it over.
    void CheckDiskLimit(const TWaveFile& f);
    bool TakeRollover();
    // Saves a file that reached the limit and lets go of it; false when it stays open.
    bool SaveFull(std::unique_ptr<TWaveFile>& file);
    // The caption shown before the recording began.
    void RestoreCaption();

    // Recordings saved when the disk size limit was reached, oldest first.
    const std::vector<std::string>& SavedRecordings() const { return savedRecordings_; }

private:
    std::unique_ptr<TWaveFile> CreateFile();
    bool ContinueFile(TWaveFile& f);
    std::string RecordingName() const;

    Host& host_;
    const EngineEnvironment& env_;
    const ProcessingSettings& settings_;
    TEngineAudience& audience_;
    bool recorderCreatedFile_ = false;
    bool rolloverPending_ = false;
    std::string savedCaption_;
    std::vector<std::string> savedRecordings_;
};

}  // namespace zeltrak
