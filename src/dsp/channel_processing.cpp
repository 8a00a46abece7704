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
    if (setup.averageType != AveragingType::Vector) return;
    if (x.Averager().Type() != AveragingType::Exponential || x.Averager().Blocks() != setup.averageBlocks)
        x.SetAverage(setup.averageBlocks, AveragingType::Exponential);
}

}  // namespace

SpectrumSet SpectrumsForMode(ChannelProcessingMode mode, bool stereo) {
    SpectrumSet set;
    if (!KnownChannelMode(mode)) return set;
    set.left = true;
    set.right = stereo;
    set.result1 = mode >= ChannelProcessingMode::Average;
    set.result2 =
        mode == ChannelProcessingMode::TransferCoherenceLR || mode == ChannelProcessingMode::TransferCoherenceRL;
    return set;
}

namespace {

// The spectrums of one frame by role. A and B are the channels in the order a mode names them
// (L and R, or swapped for the right-to-left modes).
struct ModeFrame {
    const ChannelProcessingSetup& setup;
    TSpectralData* L;
    TSpectralData* R;
    TSpectralData* S1;
    TSpectralData* S2;
    TSpectralData* A;
    TSpectralData* B;
};

bool RightToLeft(ChannelProcessingMode mode) {
    return mode == ChannelProcessingMode::RealTransferRL || mode == ChannelProcessingMode::CrossRL ||
           mode == ChannelProcessingMode::ComplexTransferRL || mode == ChannelProcessingMode::TransferCoherenceRL;
}

// Every spectrum the mode keeps must be there; in stereo that includes the right one even for
// left-only processing. Right-only processing takes just the size from the left.
bool SpectrumsReady(ChannelProcessingMode mode, bool stereo, const ChannelSpectrums& s, uint32_t n) {
    const SpectrumSet need = SpectrumsForMode(mode, stereo);
    return (mode == ChannelProcessingMode::Right || Usable(s.left, n)) && (!need.right || Usable(s.right, n)) &&
           (!need.result1 || Usable(s.result1, n)) && (!need.result2 || Usable(s.result2, n));
}

void AverageBoth(const ModeFrame& f) {
    f.L->Average();
    f.R->Average();
}

void RealTransferMode(const ModeFrame& f) {
    AverageBoth(f);
    f.S1->CrossSpectrum(*f.A, *f.B);
    f.S1->Average();
    f.S1->RealTransfer(*f.A, *f.B);
}

void ComplexTransferMode(const ModeFrame& f) {
    f.S1->CrossSpectrum(*f.A, *f.B);
    f.S1->Average();
    // only the reference channel is held to a power average
    KeepPowerAverage(*f.B, f.setup);
    AverageBoth(f);
    f.S1->ComplexTransfer(*f.B);
}

void CoherenceMode(const ModeFrame& f) {
    f.S1->CrossSpectrum(*f.L, *f.R);
    f.S1->Average(true);
    KeepPowerAverage(*f.L, f.setup);
    KeepPowerAverage(*f.R, f.setup);
    AverageBoth(f);
    f.S1->Coherence(*f.L, *f.R);
}

void TransferCoherenceMode(const ModeFrame& f) {
    f.S2->CrossSpectrum(*f.A, *f.B);
    f.S2->Average();
    KeepPowerAverage(*f.L, f.setup);
    KeepPowerAverage(*f.R, f.setup);
    f.R->Average();
    f.L->Average();
    f.S2->Coherence(*f.A, *f.B);
    f.S1->CrossSpectrum(*f.A, *f.B);
    f.S1->Average(true);
    f.S1->ComplexTransfer(*f.B);
}

// The averaging and combining steps of a known mode, after the channels are transformed.
void RunMode(ChannelProcessingMode mode, const ModeFrame& f) {
    switch (mode) {
        case ChannelProcessingMode::Left: f.L->Average(); break;
        case ChannelProcessingMode::Right: f.R->Average(); break;
        case ChannelProcessingMode::Both: AverageBoth(f); break;
        case ChannelProcessingMode::Average:
            AverageBoth(f);
            f.S1->AverageChannels(*f.L, *f.R);
            f.S1->Average();
            break;
        case ChannelProcessingMode::RealTransferLR:
        case ChannelProcessingMode::RealTransferRL: RealTransferMode(f); break;
        case ChannelProcessingMode::CrossLR:
        case ChannelProcessingMode::CrossRL:
            f.S1->CrossSpectrum(*f.A, *f.B);
            f.S1->Average();
            break;
        case ChannelProcessingMode::ComplexTransferLR:
        case ChannelProcessingMode::ComplexTransferRL: ComplexTransferMode(f); break;
        case ChannelProcessingMode::Coherence: CoherenceMode(f); break;
        case ChannelProcessingMode::TransferCoherenceLR:
        case ChannelProcessingMode::TransferCoherenceRL: TransferCoherenceMode(f); break;
        default: break;
    }
}

}  // namespace

bool ProcessChannels(const ChannelProcessingSetup& setup, const ChannelSpectrums& s) {
    const ChannelProcessingMode mode = setup.stereo ? setup.mode : ChannelProcessingMode::Left;
    if (!KnownChannelMode(mode) || !s.left) return false;
    const uint32_t n = s.left->FFTSize();
    if (setup.window && setup.windowSize != n) return false;
    if (!SpectrumsReady(mode, setup.stereo, s, n)) return false;
    // Both channels are transformed before anything is averaged (the steps of every mode allow
    // it), so that a failed transform leaves all averages as they were instead of folding time
    // samples into them.
    if (mode != ChannelProcessingMode::Right && !Prepare(*s.left, setup.window)) return false;
    if (mode != ChannelProcessingMode::Left && !Prepare(*s.right, setup.window)) return false;
    const bool swap = RightToLeft(mode);
    RunMode(mode, {setup, s.left, s.right, s.result1, s.result2, swap ? s.right : s.left, swap ? s.left : s.right});
    return true;
}

}  // namespace zeltrak
