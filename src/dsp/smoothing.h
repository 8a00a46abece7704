#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zeltrak {

// Window types. The `SmoothingWindow` setting stores them as these integer codes.
enum class WindowType : uint16_t {
    Bartlett = 0,
    Blackman = 1,
    FlatTop = 2,
    Hamming = 3,
    Hanning = 4,
    Kaiser = 5,
    Parzen = 6,
    Triangular = 7,
    Uniform = 8,
    Gaussian = 9,
};

constexpr uint16_t WindowCode(WindowType type) { return static_cast<uint16_t>(type); }
// The code is kept as it is: a window built from an unknown one reports InvalidType.
constexpr WindowType WindowTypeFromCode(uint16_t code) { return static_cast<WindowType>(code); }

// Correction applied to the coefficients after they are built.
enum class WindowCorrection : uint16_t {
    None = 0,
    Energy = 1,     // coefficients scaled to rms 1: broadband power reads correctly
    Amplitude = 2,  // coefficients scaled to mean 1: a tone's peak reads its true level
};

// Why the last build of a window failed.
enum class WindowStatus : uint8_t { Ok, InvalidType, OutOfMemory };

// A smoothing window of one type and length with its correction factor built in.
// Failures set Error() and Status(), and the caller decides what to tell the user: an invalid
// type changes nothing else; a failed allocation leaves the window without coefficients, so
// that Apply and Remove do nothing. A later successful rebuild clears the error.
class TSmoothing {
public:
    TSmoothing(uint32_t size, WindowType type, WindowCorrection correctionMode);

    bool SetSize(uint32_t size);
    bool SetType(WindowType type);
    bool Set(uint32_t size, WindowType type, WindowCorrection correctionMode);

    uint32_t GetSize() const { return size_; }
    WindowType GetType() const { return type_; }
    WindowCorrection GetCorrectionMode() const { return correctionMode_; }
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
    bool Rebuild(uint32_t size, WindowType type, WindowCorrection correctionMode, bool reallocate);
    void Build();
    // Scales the coefficients to the correction mode and notes their noise bandwidth.
    void Correct();
    // Coefficients usable by Apply/Remove: none after a failed allocation.
    size_t Usable() const { return coefficients_.size() == size_ ? size_ : 0; }

    WindowStatus status_ = WindowStatus::Ok;
    uint32_t size_ = 0;
    WindowType type_ = WindowType::Uniform;
    std::vector<float> coefficients_;
    WindowCorrection correctionMode_ = WindowCorrection::None;
    double noiseBandwidth_ = 1.0;
};

// Equivalent noise bandwidth in bins of a window type at a size (cached; 1 for Uniform or an
// invalid type).
double WindowNoiseBandwidth(WindowType type, uint32_t size);

// Half-width in bins of the main lobe of a window type's transform (to its first null, or where
// a Gaussian's falls below the others' sidelobes): the bins that hold a tone's power.
uint32_t MainLobeHalfWidth(WindowType type);

// Modified Bessel function of order zero by its series, to the 1e-4 relative term the
// Kaiser window is defined with.
double BesselI0(double z);

}  // namespace zeltrak
