#pragma once
#include <cstdint>

#include "dsp/spectral_data.h"

namespace zeltrak {

// The two-channel processing modes. The `ChannelProcessing` setting stores them as these
// integer codes.
enum class ChannelProcessingMode : uint16_t {
    Left = 0,
    Right = 1,
    Both = 2,
    Average = 3,
    RealTransferLR = 4,
    RealTransferRL = 5,
    CrossLR = 6,
    CrossRL = 7,
    ComplexTransferLR = 8,
    ComplexTransferRL = 9,
    Coherence = 10,
    TransferCoherenceLR = 11,
    TransferCoherenceRL = 12,
};
inline constexpr uint16_t kChannelProcessingModeCount = 13;

constexpr uint16_t ChannelModeCode(ChannelProcessingMode mode) { return static_cast<uint16_t>(mode); }
// The code is kept as it is: processing in an unknown mode is refused.
constexpr ChannelProcessingMode ChannelModeFromCode(uint16_t code) { return static_cast<ChannelProcessingMode>(code); }
constexpr bool KnownChannelMode(ChannelProcessingMode mode) {
    return ChannelModeCode(mode) < kChannelProcessingModeCount;
}

// Which spectrums the engine keeps for a mode.
struct SpectrumSet {
    bool left = false;
    bool right = false;
    bool result1 = false;
    bool result2 = false;
};
SpectrumSet SpectrumsForMode(ChannelProcessingMode mode, bool stereo);

// The four spectrums of the engine; those a mode does not use may be null.
struct ChannelSpectrums {
    TSpectralData* left = nullptr;
    TSpectralData* right = nullptr;
    TSpectralData* result1 = nullptr;
    TSpectralData* result2 = nullptr;
};

struct ChannelProcessingSetup {
    ChannelProcessingMode mode = ChannelProcessingMode::Left;
    bool stereo = false;
    // The selected averaging: with Vector averaging the transfer and coherence modes keep the
    // channel auto-spectrums as exponential power averages.
    AveragingType averageType = AveragingType::Exponential;
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
