#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zeltrak {

// Window types; the value is the `SmoothingWindow` setting.
enum WindowType : uint16_t {
    kWindowBartlett = 0,
    kWindowBlackman = 1,
    kWindowFlatTop = 2,
    kWindowHamming = 3,
    kWindowHanning = 4,
    kWindowKaiser = 5,
    kWindowParzen = 6,
    kWindowTriangular = 7,
    kWindowUniform = 8,
    kWindowGaussian = 9,
};

// Correction applied to the coefficients after they are built.
enum WindowCorrection : uint16_t {
    kCorrectionNone = 0,
    kCorrectionEnergy = 1,     // coefficients scaled to rms 1: broadband power reads correctly
    kCorrectionAmplitude = 2,  // coefficients scaled to mean 1: a tone's peak reads its true level
};

// Why the last build of a window failed.
enum class WindowStatus : uint8_t { Ok, InvalidType, OutOfMemory };

// A smoothing window of one type and length with its correction factor built in.
// Failures set Error() and Status(), and the caller decides what to tell the user: an invalid
// type changes nothing else; a failed allocation leaves the window without coefficients, so
// that Apply and Remove do nothing. A later successful rebuild clears the error.
class TSmoothing {
public:
    TSmoothing(uint32_t size, uint16_t type, uint16_t correctionMode);

    bool SetSize(uint32_t size);
    bool SetType(uint16_t type);
    bool Set(uint32_t size, uint16_t type, uint16_t correctionMode);

    uint32_t GetSize() const { return size_; }
    uint16_t GetType() const { return type_; }
    uint16_t GetCorrectionMode() const { return correctionMode_; }
    static uint16_t GetTypeCount() { return 10; }
    // Copies the name of `type` into `buffer` (at most min(bufferSize, 12) bytes with the
    // terminating zero); a type outside 0 ... 9 gives an empty name.
    static void GetName(int type, char* buffer, size_t bufferSize = 12);
    static std::string GetName(int type);

    bool Error() const { return status_ != WindowStatus::Ok; }
    WindowStatus Status() const { return status_; }
    const float* Coefficients() const { return coefficients_.data(); }
    // Equivalent noise bandwidth in bins, N·Σw²/(Σw)²: how many bins' worth of noise one bin
    // of a tone-calibrated (amplitude-corrected) spectrum holds. 1 for Uniform.
    double NoiseBandwidth() const { return noiseBandwidth_; }

    // out[i] = in[i]·w[i]. Uniform copies (Apply) or does nothing (ApplyInPlace).
    void Apply(const float* in, float* out) const;
    void ApplyInPlace(float* x) const;
    // out[i] = in[i]/w[i] where |w[i]| > 1e-7, other outputs left unwritten; Uniform copies.
    void Remove(const float* in, float* out) const;
    // x[i] /= w[i] where |w[i]| > 1e-11; Uniform does nothing.
    void RemoveInPlace(float* x) const;

private:
    bool Rebuild(uint32_t size, uint16_t type, uint16_t correctionMode, bool reallocate);
    void Build();
    // Scales the coefficients to the correction mode and notes their noise bandwidth.
    void Correct();
    // Coefficients usable by Apply/Remove: none after a failed allocation.
    size_t Usable() const { return coefficients_.size() == size_ ? size_ : 0; }

    WindowStatus status_ = WindowStatus::Ok;
    uint32_t size_ = 0;
    uint16_t type_ = kWindowUniform;
    std::vector<float> coefficients_;
    uint16_t correctionMode_ = kCorrectionNone;
    double noiseBandwidth_ = 1.0;
};

// Equivalent noise bandwidth in bins of a window type at a size (cached; 1 for Uniform or an
// invalid type).
double WindowNoiseBandwidth(uint16_t type, uint32_t size);

// Half-width in bins of the main lobe of a window type's transform (to its first null, or where
// a Gaussian's falls below the others' sidelobes): the bins that hold a tone's power.
uint32_t MainLobeHalfWidth(uint16_t type);

// Modified Bessel function of order zero by its series, to the 1e-4 relative term the
// Kaiser window is defined with.
double BesselI0(double z);

}  // namespace zeltrak
