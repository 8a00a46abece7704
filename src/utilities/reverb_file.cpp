#include "utilities/reverb_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "files/atomic_file.h"
#include "platform/host.h"
#include "utilities/reverb_strings.h"

namespace zeltrak {

namespace {

constexpr size_t kFrameFloats = sizeof(ReverbFrame) / sizeof(float);
// The most frames a measurement of the longest decay time can hold.
const uint32_t kMostFrames = MakeReverbTiming(30).frameCapacity;

void PutWord(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t GetWord(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint32_t FloatBits(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return v;
}

float BitsFloat(uint32_t v) {
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

void DecodeFrame(const uint8_t* p, ReverbFrame& frame) {
    float values[kFrameFloats];
    for (size_t i = 0; i < kFrameFloats; ++i) values[i] = BitsFloat(GetWord(p + 4 * i));
    std::memcpy(&frame, values, sizeof frame);
}

bool Refuse(Host& host, const char* text) {
    ShowMessage(host, text, MessageIcon::Warning);
    return false;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The frames after the header, or a refusal. The frame count is checked against what the file
// holds before anything is allocated for it.
bool ReadFrames(std::FILE* f, ReverbData& data, Host& host) {
    uint8_t header[kReverbFileHeaderBytes];
    if (std::fread(header, 1, sizeof header, f) != sizeof header) return Refuse(host, kReverbReadErrorText);
    if (static_cast<int32_t>(GetWord(header)) != kReverbFileMagic) return Refuse(host, kReverbInvalidFileText);
    const auto bands = static_cast<int32_t>(GetWord(header + 4));
    const auto frames = static_cast<int32_t>(GetWord(header + 8));
    if (bands < 0 || bands > kReverbBandSlots || frames < 0 || static_cast<uint32_t>(frames) > kMostFrames)
        return Refuse(host, kReverbInvalidFileText);
    std::vector<uint8_t> bytes(static_cast<size_t>(frames) * sizeof(ReverbFrame));
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) return Refuse(host, kReverbReadErrorText);
    data.bandCount = bands;
    data.frames.resize(static_cast<size_t>(frames));
    for (int32_t i = 0; i < frames; ++i) DecodeFrame(bytes.data() + i * sizeof(ReverbFrame), data.frames[i]);
    return true;
}

}  // namespace

std::vector<uint8_t> EncodeReverbFile(const ReverbData& data) {
    std::vector<uint8_t> out;
    out.reserve(kReverbFileHeaderBytes + data.frames.size() * sizeof(ReverbFrame));
    PutWord(out, static_cast<uint32_t>(kReverbFileMagic));
    PutWord(out, static_cast<uint32_t>(data.bandCount));
    PutWord(out, static_cast<uint32_t>(data.frames.size()));
    for (const ReverbFrame& frame : data.frames) {
        float values[kFrameFloats];
        std::memcpy(values, &frame, sizeof frame);
        for (float v : values) PutWord(out, FloatBits(v));
    }
    return out;
}

bool LoadReverbFile(const std::string& path, ReverbOptions& options, ReverbData& data, Host& host) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) return Refuse(host, kReverbOpenFailedText);
    ReverbData loaded;
    if (!ReadFrames(f.get(), loaded, host)) return false;
    // A file without frames still needs a usable decay axis.
    const float last = loaded.frames.empty() ? 0.0f : loaded.frames.back().time;
    const auto seconds = static_cast<int32_t>(std::clamp(std::trunc(last + 0.5f), 1.0f, 30.0f));
    loaded.timing = MakeReverbTiming(seconds);
    if (loaded.frames.size() > 1)
        loaded.timing.frameStep = (loaded.frames.back().time - loaded.frames[0].time) / (loaded.frames.size() - 1);
    options.displayedDecayTime = seconds;
    SmoothAndTimeReverb(loaded, options);
    loaded.present = true;
    data = std::move(loaded);
    return true;
}

bool SaveReverbFile(const std::string& path, ReverbData& data, Host& host) {
    const std::vector<uint8_t> bytes = EncodeReverbFile(data);
    const ReplaceResult result =
        ReplaceFileAtomically(path, [&](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); });
    if (result == ReplaceResult::CannotCreate) return Refuse(host, kReverbCreateFailedText);
    if (result == ReplaceResult::WriteFailed) return Refuse(host, kReverbWriteErrorText);
    data.modified = false;
    return true;
}

}  // namespace zeltrak
