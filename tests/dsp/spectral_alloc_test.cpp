#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <random>

#include "dsp/channel_processing.h"
#include "dsp/fft.h"
#include "dsp/spectral_data.h"

namespace zeltrak {
namespace {

std::atomic<int> gSpectralAllocations{0};
bool CountAllocation(size_t) {
    ++gSpectralAllocations;
    return true;
}

// Averaging runs once per frame in real time: after the objects are built, frames must not
// allocate, whatever the averaging type and channel mode.
TEST(SpectralFrames, NoAllocationOncePerFrameWorkRuns) {
    constexpr uint32_t kSize = 1024;
    ASSERT_TRUE(PrepareRealFFT(kSize));
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 1000.0f);
    for (uint32_t type : {kAverageExponential, kAverageLinear, kAverageVector}) {
        for (uint16_t mode = 0; mode < kChannelProcessingModeCount; ++mode) {
            SpectralSettings settings;
            settings.format = SampleFormat::Make(48000, 2, 2);
            settings.fftSize = kSize;
            settings.averageType = type;
            settings.averageBlocks = 8;
            const SpectralScaling scaling;
            auto left = std::make_unique<TSpectralData>(settings, scaling, 0);
            auto right = std::make_unique<TSpectralData>(settings, scaling, 1);
            auto r1 = std::make_unique<TSpectralData>(settings, scaling, -1);
            auto r2 = std::make_unique<TSpectralData>(settings, scaling, -1);
            const ChannelSpectrums spectrums{left.get(), right.get(), r1.get(), r2.get()};
            ChannelProcessingSetup setup;
            setup.mode = mode;
            setup.stereo = true;
            setup.averageType = type;
            setup.averageBlocks = 8;
            auto frame = [&] {
                for (uint32_t i = 0; i < kSize; ++i) {
                    left->SetInput(i, noise(rng));
                    right->SetInput(i, noise(rng));
                }
                return ProcessChannels(setup, spectrums);
            };
            ASSERT_TRUE(frame()) << "mode " << mode;  // the first frame may settle per-mode state
            gSpectralAllocations = 0;
            SetSpectralAllocationGate(CountAllocation);
            for (int k = 0; k < 12; ++k) ASSERT_TRUE(frame());
            SetSpectralAllocationGate(nullptr);
            EXPECT_EQ(gSpectralAllocations.load(), 0) << "type " << type << " mode " << mode;
            EXPECT_TRUE(std::isfinite(left->AveragePower()[10]));
        }
    }
}

}  // namespace
}  // namespace zeltrak
