#include "views/file_transport.h"

#include <cmath>

#include "engine/engine.h"
#include "files/wave_file.h"

namespace zeltrak {

bool RewindFile(TEngine& engine) {
    TWaveFile* file = engine.WaveFile();
    if (file == nullptr) return false;
    file->Rewind();
    return true;
}

bool FastForwardFile(TEngine& engine) {
    TWaveFile* file = engine.WaveFile();
    if (file == nullptr) return false;
    file->SeekToEnd();
    return true;
}

bool GoToSeconds(TEngine& engine, double seconds) {
    TWaveFile* file = engine.WaveFile();
    if (file == nullptr || !std::isfinite(seconds) || seconds < 0.0) return false;
    const uint32_t frame = file->SecondsToFrames(seconds);
    if (frame > file->Length()) return false;  // past the end: the position stays
    file->Seek(frame);
    return true;
}

}  // namespace zeltrak
