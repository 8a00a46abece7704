#pragma once
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <memory>

namespace zeltrak {

// Decides whether an allocation of `bytes` may go ahead. Tests install one that refuses, to
// walk the out-of-memory paths; nullptr restores the default (always try).
using SpectralAllocationGate = bool (*)(size_t bytes);
void SetSpectralAllocationGate(SpectralAllocationGate gate);
bool SpectralAllocationAllowed(size_t bytes);

struct SpectralFree {
    void operator()(void* p) const { std::free(p); }
};

// The arrays of the spectral objects: one allocation each, null when it failed.
template <class T>
using SpectralBuffer = std::unique_ptr<T[], SpectralFree>;

// count zeroed elements, or null (for 0, an overflowing size, a refusing gate or no memory).
template <class T>
SpectralBuffer<T> AllocateSpectral(size_t count) {
    if (count == 0 || count > std::numeric_limits<size_t>::max() / sizeof(T)) return nullptr;
    if (!SpectralAllocationAllowed(count * sizeof(T))) return nullptr;
    // calloc: zero pages come from the system untouched, and the all-zero bit pattern is 0.0
    return SpectralBuffer<T>(static_cast<T*>(std::calloc(count, sizeof(T))));
}

}  // namespace zeltrak
