#pragma once
#include <cstdint>

#include "dsp/spectral_data.h"

namespace zeltrak {

// The two-channel processing modes (the `ChannelProcessing` setting).
enum ChannelProcessingMode : uint16_t {
    kProcessLeft = 0,
    kProcessRight = 1,
    kProcessBoth = 2,
    kProcessAverage = 3,
    kProcessRealTransferLR = 4,
    kProcessRealTransferRL = 5,
    kProcessCrossLR = 6,
    kProcessCrossRL = 7,
    kProcessComplexTransferLR = 8,
    kProcessComplexTransferRL = 9,
    kProcessCoherence = 10,
    kProcessTransferCoherenceLR = 11,
    kProcessTransferCoherenceRL = 12,
};
inline constexpr uint16_t kChannelProcessingModeCount = 13;

// Which spectrums the engine keeps for a mode.
struct SpectrumSet {
    bool left = false;
    bool right = false;
    bool result1 = false;
    bool result2 = false;
};
SpectrumSet SpectrumsForMode(uint16_t mode, bool stereo);

// The four spectrums of the engine; those a mode does not use may be null.
struct ChannelSpectrums {
    TSpectralData* left = nullptr;
    TSpectralData* right = nullptr;
    TSpectralData* result1 = nullptr;
    TSpectralData* result2 = nullptr;
};

struct ChannelProcessingSetup {
    uint16_t mode = kProcessLeft;
    bool stereo = false;
    // The selected averaging: with Vector averaging the transfer and coherence modes keep the
    // channel auto-spectrums as exponential power averages.
    uint32_t averageType = kAverageExponential;
    uint32_t averageBlocks = 1;
    // The analysis window's coefficients (fftSize of them), applied to each channel frame in
    // place before its transform; null when the frames are not windowed (Uniform).
    const float* window = nullptr;
    uint32_t windowSize = 0;
};

// Runs one frame of two-channel processing over the spectrums whose time samples hold the new
// frame: windows and transforms the channels, averages them and combines them by the mode.
// A mono setup analyses the left channel alone whatever the mode. Returns false, changing
// nothing, for an unknown mode, a missing or failed spectrum the mode needs, or a window of
// another size.
bool ProcessChannels(const ChannelProcessingSetup& setup, const ChannelSpectrums& spectrums);

}  // namespace zeltrak
