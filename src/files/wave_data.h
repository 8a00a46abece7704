#pragma once
#include <cstdint>
#include <vector>

#include "base/sample_format.h"

namespace zeltrak {

// The trigger fields that the search needs (the Trigger block of the settings).
struct WaveTrigger {
    uint16_t TriggerType = 0;   // 0 level, 1 edge
    uint16_t TriggerSlope = 0;  // 0 positive, 1 negative
    uint32_t Threshold = 25;    // percent of full scale
};

struct WaveStatistics {
    int32_t minimum = 0;  // raw sample values
    int32_t maximum = 0;
    // Relative to the zero level; samples at the zero level count as positive so that the
    // two counts together cover every sample of the range.
    double sumSquaresPositive = 0.0;
    uint32_t countPositive = 0;
    double sumSquaresNegative = 0.0;
    uint32_t countNegative = 0;
};

// Reads one little-endian sample of 1 to 4 bytes (8-bit unsigned, the rest signed).
inline int32_t DecodeSample(const uint8_t* p, unsigned bytes) {
    switch (bytes) {
        case 1: return p[0];
        case 2: return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
        case 3: {
            int32_t v = static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16);
            return (v ^ 0x800000) - 0x800000;
        }
        default:
            return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                        static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
    }
}
inline void EncodeSample(uint8_t* p, unsigned bytes, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    p[0] = static_cast<uint8_t>(v);
    if (bytes > 1) p[1] = static_cast<uint8_t>(v >> 8);
    if (bytes > 2) p[2] = static_cast<uint8_t>(v >> 16);
    if (bytes > 3) p[3] = static_cast<uint8_t>(v >> 24);
}

// n packed samples of `bytes` bytes each: their smallest and largest value (n > 0), and the
// samples minus `zero` as floats (the integer difference is exact, so the float is the
// nearest to the true difference). One pass per width instead of a decode per sample.
void PackedSampleRange(const uint8_t* p, unsigned bytes, uint32_t n, int32_t& lo, int32_t& hi);
void PackedSamplesToFloats(const uint8_t* p, unsigned bytes, uint32_t n, int32_t zero, float* out);

// Interleaved PCM samples held in memory. Positions and lengths are in frames; a channel
// index past the last channel means the last one (channel 1 of a mono file is channel 0).
// Every sample operation goes through the block primitives at the bottom, which TWaveFile
// redirects to the open file in disk mode.
class TWaveData {
public:
    TWaveData();
    // A zeroed buffer of `frames` frames; the error flag is set when it cannot be had. A large
    // buffer takes a while: the owner shows the busy cursor around this and a growing SetLength.
    TWaveData(uint32_t frames, const SampleFormat& format);
    virtual ~TWaveData();
    TWaveData(const TWaveData&) = delete;
    TWaveData& operator=(const TWaveData&) = delete;

    bool Error() const { return error_; }
    bool Modified() const { return modified_ != 0; }
    void SetModified(bool modified) { modified_ = modified ? 1 : 0; }
    const SampleFormat& Format() const { return format_; }
    uint32_t DataSize() const { return dataSize_; }
    uint32_t Length() const { return length_; }
    uint32_t Position() const { return position_; }
    uint32_t WrittenLength() const { return writtenLength_; }
    float FullScaleLeft() const { return fullScaleLeft_; }
    float FullScaleRight() const { return fullScaleRight_; }
    float ScaleLeft() const { return scaleLeft_; }
    float ScaleRight() const { return scaleRight_; }
    // The memory buffer (nullptr in disk mode or without samples).
    uint8_t* Buffer() { return buffer_; }
    const uint8_t* Buffer() const { return buffer_; }

    uint64_t FramesToBytes(uint32_t frames) const;
    uint32_t BytesToFrames(uint64_t bytes) const;
    double FramesToSeconds(uint32_t frames) const;
    uint32_t SecondsToFrames(double seconds) const;

    virtual void Seek(uint32_t frame);
    void Rewind() { Seek(0); }
    void SeekToEnd() { Seek(length_); }
    void Advance(uint32_t frames);

    virtual bool SetLength(uint32_t frames);
    void SetFullScale(float left, float right);

    // One channel's samples, packed at bytes-per-sample spacing. A range that runs past the
    // length reads nothing: the buffer gets the zero level and the result is false.
    bool ReadChannel(void* buffer, uint32_t start, uint32_t count, uint32_t channel);
    // Returns the number of frames written (the count is cut to the length).
    uint32_t WriteChannel(const void* buffer, uint32_t start, uint32_t count, uint32_t channel);
    // Sequential access at the position. ReadBytes returns the bytes that came from the data;
    // the rest of the buffer is zeroed. WriteBytes fails (zeroing `buffer`) when the bytes do
    // not fit; in disk mode the data grows instead.
    uint32_t ReadBytes(void* buffer, uint32_t n);
    bool WriteBytes(void* buffer, uint32_t n);

    // Uncalibrated: the raw value. Calibrated: (raw - zero level) x the channel's scale factor.
    double GetSample(uint32_t frame, uint32_t channel, bool calibrated);
    // Stores a raw value; values the width cannot hold are refused.
    bool PutSample(double value, uint32_t frame, uint32_t channel);
    bool Statistics(uint32_t start, uint32_t end, uint32_t channel, bool withRms, WaveStatistics& out);
    bool Silence(uint32_t start, uint32_t end);
    bool ClearBuffer();
    // Scans [start, end) of one channel; `foundAt` receives the frame that fired.
    bool FindTrigger(const WaveTrigger& trigger, uint32_t start, uint32_t end, uint32_t channel,
                     uint32_t* foundAt = nullptr);
    // Keeps frames 0, ratio, 2 x ratio ... in place. The sampling rate is left to the caller.
    bool Decimate(uint32_t ratio);
    virtual double RemainingSeconds() const;

protected:
    static constexpr uint32_t kBlockBytes = 1u << 20;  // scratch block for disk-mode access

    // Block primitives over the data in bytes. The base class serves them from the buffer;
    // a subclass in disk mode serves them from its file and may grow the data in DiskWrite.
    virtual bool DiskMode() const { return false; }
    virtual bool DiskRead(uint64_t offset, void* out, uint64_t n);
    virtual bool DiskWrite(uint64_t offset, const void* in, uint64_t n);
    virtual bool DiskResize(uint32_t frames);
    // The n bytes at `offset` where the disk-mode store already holds them in memory, else null
    // (then DiskRead copies them).
    virtual const uint8_t* DiskView(uint64_t, uint64_t) { return nullptr; }

    bool ReadData(uint64_t offset, void* out, uint64_t n);
    bool WriteData(uint64_t offset, const void* in, uint64_t n);
    // Calls f(frames, firstFrame, count) over [first, first + count) in blocks; ModifyFrames
    // writes each block back after f changed it.
    template <class F>
    bool VisitFrames(uint32_t first, uint32_t count, F&& f);
    template <class F>
    bool ModifyFrames(uint32_t first, uint32_t count, F&& f);

    uint32_t ChannelIndex(uint32_t channel) const;
    void ZeroLevelFill(uint8_t* p, uint64_t bytes) const;
    bool AllocateBuffer(uint64_t bytes);
    void FreeBuffer();
    // Sets the lengths after the storage changed size.
    void SetFrameCount(uint32_t frames);
    uint32_t BlockFrames() const;

    bool error_ = false;
    uint32_t modified_ = 0;
    uint8_t* buffer_ = nullptr;
    SampleFormat format_;
    uint32_t dataSize_ = 0;
    uint32_t length_ = 0;
    uint32_t position_ = 0;
    uint32_t writtenLength_ = 0;
    float fullScaleLeft_ = 1.0f;
    float fullScaleRight_ = 1.0f;
    float scaleLeft_ = 0.0f;
    float scaleRight_ = 0.0f;

    std::vector<uint8_t> scratch_;
};

}  // namespace zeltrak
