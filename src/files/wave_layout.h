#pragma once
#include <cstdint>
#include <string>

#include "base/sample_format.h"
#include "files/riff.h"

namespace zeltrak {

// Where a wave file's samples are and how they are stored, as the header walk found them.
struct WaveLayout {
    RiffChunk riff;
    RiffChunk data;
    uint16_t formatTag = 1;
    bool isFloat = false;
    uint16_t sourceBytesPerSample = 2;  // as stored; float data is converted to 4
    SampleFormat format;
    bool cutShort = false;  // the file ends before its sizes say: riff and data hold what is there
};

// Walks the header of a RIFF/WAVE file. A refused file gives false and, in `reason`, why in
// words that follow the format message (empty when the file is simply no wave file).
bool ParseWaveLayout(RiffFile& file, WaveLayout& layout, std::string& reason);

}  // namespace zeltrak
