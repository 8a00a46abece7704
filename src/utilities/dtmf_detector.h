#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zeltrak {

class TSpectralData;

// One table frequency as the last frame measured it.
struct DtmfToneEntry {
    float frequency = 0.0f;
    float levelDb = -999.9f;
    int32_t flag = 0;  // 1: one of the frame's two strongest entries
};

// An accepted key: when its first valid frame came and how long its valid frames lasted.
struct DtmfKeyEvent {
    char key = ' ';
    int32_t startMs = 0;
    int32_t durationMs = 0;
};

// Decodes keypad tone pairs from a run of spectrums, one call per frame. A key is reported
// when its tones stop, provided they lasted the minimum duration and began at least the
// minimum spacing after the previous key ended.
class TDTMFData {
public:
    static constexpr std::size_t kMaxKeys = 999;
    static constexpr std::size_t kCopyLimit = kMaxKeys + 1;  // with the terminator

    TDTMFData(float thresholdDb = -40.0f, int32_t minDurationMs = 20, int32_t minSpacingMs = 20);

    // New thresholds; the timing state starts afresh, the key string is kept.
    void SetParameters(float thresholdDb, int32_t minDurationMs, int32_t minSpacingMs);
    // Timing state, current key and key string.
    void Clear();

    // The row (low) and column (high) frequency of a key; 0 for a character without tones.
    static float LowFrequency(char key);
    static float HighFrequency(char key);

    char CurrentKey() const { return currentKey_; }
    const std::string& KeyString() const { return keys_; }
    // Copies the key string, terminated, cut to `size` - 1 characters (size at most 1000).
    std::size_t CopyKeyString(char* out, std::size_t size) const;
    const std::vector<DtmfKeyEvent>& Events() const { return events_; }
    const std::array<DtmfToneEntry, 8>& Entries() const { return entries_; }

    float ThresholdDb() const { return threshold_; }
    int32_t MinDurationMs() const { return minDuration_; }
    int32_t MinSpacingMs() const { return minSpacing_; }

    // One frame at time `tMs`: false for a missing spectrum; true when a key was accepted.
    bool Detect(const TSpectralData* spectrum, int32_t tMs);
    // The same with the eight levels (dB, table order: rows then columns) already measured.
    bool Detect(const std::array<float, 8>& levelsDb, int32_t tMs);

private:
    void ClearTiming();
    // Flags the two strongest entries and sets the current key; true for a valid pair.
    bool PickPair();
    bool EndDetection(int32_t tMs);
    void Append(char key);

    float threshold_;
    int32_t minDuration_;
    int32_t minSpacing_;
    int32_t start_ = 0;
    int32_t lastEnd_ = 0;
    int32_t duration_ = 0;
    char currentKey_ = ' ';
    char detectedKey_ = ' ';  // the key of the detection's valid frames
    std::string keys_;
    std::vector<DtmfKeyEvent> events_;
    std::array<DtmfToneEntry, 8> entries_{};
};

}  // namespace zeltrak
