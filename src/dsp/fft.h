#pragma once
#include <cstdint>

namespace zeltrak {

// Largest transform: 2^20 complex points for ComplexFFT, 2^20 real samples for RealFFT.
inline constexpr uint32_t kMaxFFTSize = 1u << 20;

// In-place FFT of n interleaved complex points (re, im, re, im, ...), n a power of two
// from 1 to 2^20. direction 1: forward, kernel e^(-i2πkn/N); direction -1: inverse,
// kernel e^(+i2πkn/N) with a factor 1/n. Natural order in and out. Arithmetic is in
// double precision; only the results are rounded to float.
// Returns false (data untouched) for a null array, a bad size or a bad direction, or
// when the tables for a new size cannot be allocated.
bool ComplexFFT(float* data, uint32_t n, int direction);

// In-place FFT of n real samples, n a power of two from 2 to 2^20.
// direction 1 turns the samples into the packed spectrum:
//   data[0] = 2·X[0], data[1] = 2·X[n/2], data[2k], data[2k+1] = 2·Re X[k], 2·Im X[k]
// (X the ordinary DFT; the factor 2 makes a sine of peak A on bin k read A·n).
// direction -1 takes that same packed layout back to the n samples.
bool RealFFT(float* data, uint32_t n, int direction);

// Builds the tables and the calling thread's work space for one size ahead of time, so
// that no transform of that size allocates. Otherwise the first transform of a size does
// it. The tables are kept for the life of the program.
bool PrepareComplexFFT(uint32_t n);
bool PrepareRealFFT(uint32_t n);

// Which instruction set the transforms use. The best the processor offers is chosen at
// start-up; tests and benchmarks may switch to check every path.
enum class FFTKernel { Generic, Avx2, Avx512 };
FFTKernel ActiveFFTKernel();
bool FFTKernelAvailable(FFTKernel kernel);
// False (and no change) when the processor lacks the instruction set.
bool SelectFFTKernel(FFTKernel kernel);
const char* FFTKernelName(FFTKernel kernel);

}  // namespace zeltrak
