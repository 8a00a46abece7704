#include "dsp/channel_processing.h"

namespace zeltrak {

namespace {

bool Usable(const TSpectralData* s, uint32_t fftSize) { return s && !s->Error() && s->FFTSize() == fftSize; }

bool Prepare(TSpectralData& x, const float* window) {
    if (window) {
        float* t = x.TimeSamples();
        for (uint32_t i = 0; i < x.FFTSize(); ++i) t[i] *= window[i];
    }
    return x.Transform();
}

// Transfer and coherence need power averages of the channels even when the cross spectrum
// is averaged as a vector.
void KeepPowerAverage(TSpectralData& x, const ChannelProcessingSetup& setup) {
    if (setup.averageType != kAverageVector) return;
    if (x.AverageType() != kAverageExponential || x.Blocks() != setup.averageBlocks)
        x.SetAverage(setup.averageBlocks, kAverageExponential);
}

}  // namespace

SpectrumSet SpectrumsForMode(uint16_t mode, bool stereo) {
    SpectrumSet set;
    if (mode >= kChannelProcessingModeCount) return set;
    set.left = true;
    set.right = stereo;
    set.result1 = mode >= kProcessAverage;
    set.result2 = mode == kProcessTransferCoherenceLR || mode == kProcessTransferCoherenceRL;
    return set;
}

bool ProcessChannels(const ChannelProcessingSetup& setup, const ChannelSpectrums& s) {
    const uint16_t mode = setup.stereo ? setup.mode : static_cast<uint16_t>(kProcessLeft);
    if (mode >= kChannelProcessingModeCount || !s.left) return false;
    const uint32_t n = s.left->FFTSize();
    if (setup.window && setup.windowSize != n) return false;
    // Every spectrum the mode keeps must be there; in stereo that includes the right one even
    // for left-only processing. Right-only processing takes just the size from the left.
    const SpectrumSet need = SpectrumsForMode(mode, setup.stereo);
    if ((mode != kProcessRight && !Usable(s.left, n)) || (need.right && !Usable(s.right, n)) ||
        (need.result1 && !Usable(s.result1, n)) || (need.result2 && !Usable(s.result2, n)))
        return false;

    const float* w = setup.window;
    TSpectralData* L = s.left;
    TSpectralData* R = s.right;
    TSpectralData* S1 = s.result1;
    TSpectralData* S2 = s.result2;
    // The modes that exchange the channels' roles run as their counterpart with L and R swapped.
    TSpectralData* A = L;
    TSpectralData* B = R;
    switch (mode) {
        case kProcessRealTransferRL:
        case kProcessCrossRL:
        case kProcessComplexTransferRL:
        case kProcessTransferCoherenceRL:
            A = R;
            B = L;
            break;
        default:
            break;
    }

    // Both channels are transformed before anything is averaged (the steps of every mode allow
    // it), so that a failed transform leaves all averages as they were instead of folding time
    // samples into them.
    if (mode != kProcessRight && !Prepare(*L, w)) return false;
    if (mode != kProcessLeft && !Prepare(*R, w)) return false;

    switch (mode) {
        case kProcessLeft:
            L->Average();
            break;
        case kProcessRight:
            R->Average();
            break;
        case kProcessBoth:
            L->Average();
            R->Average();
            break;
        case kProcessAverage:
            L->Average();
            R->Average();
            S1->AverageChannels(*L, *R);
            S1->Average();
            break;
        case kProcessRealTransferLR:
        case kProcessRealTransferRL:
            L->Average();
            R->Average();
            S1->CrossSpectrum(*A, *B);
            S1->Average();
            S1->RealTransfer(*A, *B);
            break;
        case kProcessCrossLR:
        case kProcessCrossRL:
            S1->CrossSpectrum(*A, *B);
            S1->Average();
            break;
        case kProcessComplexTransferLR:
        case kProcessComplexTransferRL:
            S1->CrossSpectrum(*A, *B);
            S1->Average();
            // only the reference channel is held to a power average
            KeepPowerAverage(*B, setup);
            L->Average();
            R->Average();
            S1->ComplexTransfer(*B);
            break;
        case kProcessCoherence:
            S1->CrossSpectrum(*L, *R);
            S1->Average(true);
            KeepPowerAverage(*L, setup);
            KeepPowerAverage(*R, setup);
            L->Average();
            R->Average();
            S1->Coherence(*L, *R);
            break;
        case kProcessTransferCoherenceLR:
        case kProcessTransferCoherenceRL:
            S2->CrossSpectrum(*A, *B);
            S2->Average();
            KeepPowerAverage(*L, setup);
            KeepPowerAverage(*R, setup);
            R->Average();
            L->Average();
            S2->Coherence(*A, *B);
            S1->CrossSpectrum(*A, *B);
            S1->Average(true);
            S1->ComplexTransfer(*B);
            break;
        default:
            return false;
    }
    return true;
}

}  // namespace zeltrak
