#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "utilities/delay_units.h"

namespace zeltrak {

class TEngine;
class TIniStore;
class TWaveData;
struct SettingsBlock;

// Measures the delay between the left and the right channel by cross-correlating one block of
// N samples of each, the left block ending N/2 samples before the right one, so that a delay of
// either sign lands inside the searched three quarters of the correlation.
class TDelayFinder {
public:
    // N follows from the options' maximum delay at `rate`.
    TDelayFinder(uint32_t rate, const DelayFinderOptions& options);

    uint32_t BlockLength() const { return n_; }
    uint32_t Rate() const { return rate_; }
    // The last delay found, in ms (negative: the right channel lags) and in whole samples.
    double DelayMs() const { return delayMs_; }
    int64_t DelaySamples() const { return delaySamples_; }
    // The largest |correlation| of the last computation (0: nothing to correlate).
    double PeakCorrelation() const { return peak_; }

    // New options: a changed maximum delay rebuilds the blocks and resets the delay to 0.
    void SetOptions(const DelayFinderOptions& options);

    // The left and right blocks hold N samples each, relative to the zero level; computes the delay.
    void Compute();
    std::vector<float>& LeftBlock() { return left_; }
    std::vector<float>& RightBlock() { return right_; }

    // Fetches the blocks from `file`'s current position and computes; false (delay kept)
    // when fewer than N + N/2 frames remain or the file is not stereo.
    bool UpdateFromFile(TWaveData& file);
    // The same from the newest N + N/2 samples of a running input (Real-Time, or a recording).
    bool UpdateFromLiveInput(TEngine& engine);
    // The input slot length the live fetch needs: when the card has just begun refilling one
    // slot, the other alone must hold N + N/2 samples (one-second slots are too short for large N).
    uint32_t InputSlotFramesNeeded() const { return n_ + n_ / 2; }
    // Whichever of the two the engine's mode calls for; false while a recording plays back.
    bool Update(TEngine& engine);

private:
    bool LoadFileBlocks(TWaveData& file, uint32_t start);
    void FindPeak(const std::vector<float>& correlation);

    uint32_t rate_;
    int32_t maxDelayMs_;
    uint32_t n_;
    std::vector<float> left_, right_, cross_, rightSpectrum_;
    double delayMs_ = 0.0;
    int64_t delaySamples_ = 0;
    double peak_ = 0.0;
};

// Apply: the lagging channel is delayed by |delay| (0..1000 ms); a negative delay delays the left.
void ApplyDelayToSettings(double delayMs, SettingsBlock& settings);
// A delay typed into the window's box, limited to 0..1000 ms.
void SetTypedDelay(double typedMs, SettingsBlock& settings);

// The options in section "DelayFinderOpts"; stored values out of range are brought into it.
DelayFinderOptions ReadDelayFinderOptions(const TIniStore& ini);
void WriteDelayFinderOptions(const DelayFinderOptions& options, TIniStore& ini);
// The options dialog's OK: empty when acceptable, else the message to show.
std::string ValidateDelayFinderOptions(double speedFtPerS, int64_t maxDelayMs);

}  // namespace zeltrak
