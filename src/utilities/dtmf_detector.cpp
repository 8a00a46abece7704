#include "utilities/dtmf_detector.h"

#include <algorithm>
#include <cstring>

#include "base/dtmf_table.h"
#include "dsp/bin_axis.h"
#include "dsp/power_db.h"
#include "dsp/spectral_data.h"

namespace zeltrak {
namespace {

constexpr float kNoLevel = -999.9f;

// Row and column of a key in the table, or false for a character without tones.
bool KeyPosition(char key, int& row, int& column) {
    if (key >= 'a' && key <= 'd') key = static_cast<char>(key - 'a' + 'A');
    for (row = 0; row < 4; ++row)
        for (column = 0; column < 4; ++column)
            if (key != '\0' && kDtmfKeys[row][column] == key) return true;
    return false;
}

float LevelDb(const TSpectralData& s, uint32_t bin) {
    if (const float* db = s.AverageDb()) return db[bin];
    const float* p = s.AveragePower();
    return p ? PowerToDbFast(p[bin]) : kNoLevel;
}

}  // namespace

TDTMFData::TDTMFData(float thresholdDb, int32_t minDurationMs, int32_t minSpacingMs)
    : threshold_(thresholdDb), minDuration_(minDurationMs), minSpacing_(minSpacingMs) {
    for (int i = 0; i < 4; ++i) {
        entries_[i].frequency = static_cast<float>(kDtmfRowHz[i]);
        entries_[4 + i].frequency = static_cast<float>(kDtmfColumnHz[i]);
    }
}

void TDTMFData::SetParameters(float thresholdDb, int32_t minDurationMs, int32_t minSpacingMs) {
    threshold_ = thresholdDb;
    minDuration_ = minDurationMs;
    minSpacing_ = minSpacingMs;
    ClearTiming();
}

void TDTMFData::ClearTiming() {
    start_ = 0;
    lastEnd_ = 0;
    duration_ = 0;
}

void TDTMFData::Clear() {
    ClearTiming();
    currentKey_ = ' ';
    detectedKey_ = ' ';
    keys_.clear();
    events_.clear();
}

float TDTMFData::LowFrequency(char key) {
    int row = 0, column = 0;
    return KeyPosition(key, row, column) ? static_cast<float>(kDtmfRowHz[row]) : 0.0f;
}

float TDTMFData::HighFrequency(char key) {
    int row = 0, column = 0;
    return KeyPosition(key, row, column) ? static_cast<float>(kDtmfColumnHz[column]) : 0.0f;
}

std::size_t TDTMFData::CopyKeyString(char* out, std::size_t size) const {
    if (!out || size == 0) return 0;
    const std::size_t n = std::min({keys_.size(), size - 1, kCopyLimit - 1});
    std::memcpy(out, keys_.data(), n);
    out[n] = '\0';
    return n;
}

bool TDTMFData::Detect(const TSpectralData* spectrum, int32_t tMs) {
    if (!spectrum || spectrum->Error()) return false;
    const BinAxis axis{spectrum->Bins(), spectrum->BinWidth(), spectrum->Nyquist()};
    std::array<float, 8> levels{};
    for (int i = 0; i < 8; ++i) levels[i] = LevelDb(*spectrum, axis.FreqToBin(entries_[i].frequency));
    return Detect(levels, tMs);
}

bool TDTMFData::PickPair() {
    int first = -1, second = -1;
    float best = kNoLevel;
    for (int i = 0; i < 8; ++i) {
        entries_[i].flag = 0;
        if (entries_[i].levelDb > best) best = entries_[i].levelDb, first = i;
    }
    best = kNoLevel;
    for (int i = 0; i < 8; ++i)
        if (i != first && entries_[i].levelDb > best) best = entries_[i].levelDb, second = i;
    currentKey_ = ' ';
    if (first < 0 || second < 0) return false;
    entries_[first].flag = entries_[second].flag = 1;
    const int row = std::min(first, second), column = std::max(first, second);
    if (row >= 4 || column < 4) return false;  // two rows or two columns
    currentKey_ = kDtmfKeys[row][column - 4];
    return entries_[first].levelDb >= threshold_ && entries_[second].levelDb >= threshold_;
}

bool TDTMFData::Detect(const std::array<float, 8>& levelsDb, int32_t tMs) {
    tMs = std::max(tMs, 0);
    lastEnd_ = std::max(lastEnd_, 0);
    if (tMs < lastEnd_) lastEnd_ = tMs - 100;  // time ran backwards (a rewind)
    for (int i = 0; i < 8; ++i) entries_[i].levelDb = levelsDb[i];
    if (!PickPair()) return EndDetection(tMs);
    if (start_ == 0) {
        if (tMs > lastEnd_ + minSpacing_) {
            start_ = tMs;
            duration_ = 0;
            detectedKey_ = currentKey_;
        }
    } else {
        duration_ = tMs - start_;
        detectedKey_ = currentKey_;
    }
    return false;
}

// A frame without a valid pair ends the detection in progress: kept when it lasted long enough.
bool TDTMFData::EndDetection(int32_t tMs) {
    if (duration_ < 1 || duration_ < minDuration_) {
        start_ = 0;
        duration_ = 0;
        return false;
    }
    lastEnd_ = tMs;
    events_.push_back({detectedKey_, start_, duration_});
    // The detection ends here, so that a pair coming back at once must respect the spacing.
    start_ = 0;
    duration_ = 0;
    Append(detectedKey_);
    return true;
}

void TDTMFData::Append(char key) {
    if (keys_.size() >= kMaxKeys) keys_.erase(0, keys_.size() - kMaxKeys + 1);
    keys_.push_back(key);
}

}  // namespace zeltrak
