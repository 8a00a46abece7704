#include "dsp/spectral_buffer.h"

#include <atomic>

namespace zeltrak {

namespace {
std::atomic<SpectralAllocationGate> gAllocationGate{nullptr};
}  // namespace

void SetSpectralAllocationGate(SpectralAllocationGate gate) { gAllocationGate.store(gate); }

bool SpectralAllocationAllowed(size_t bytes) {
    const SpectralAllocationGate gate = gAllocationGate.load();
    return !gate || gate(bytes);
}

}  // namespace zeltrak
