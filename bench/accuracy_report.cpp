// Prints the analyser's readings beside the truth for every accuracy case: windows, noise
// density, SNR/SINAD/THD+N, distortion, weighting, file widths, peak interpolation and
// coherence. The accuracy tests check the same readings against their tolerances.
#include <cmath>
#include <cstdio>

#include "accuracy/accuracy_cases.h"

int main() {
    using namespace zeltrak::accuracy;
    const struct {
        const char* title;
        std::vector<Reading> (*cases)();
    } groups[] = {{"Tone level on a bin", WindowLevels},     {"White noise density", NoiseDensity},
                  {"Tone in white noise", NoiseRatios},     {"Distortion between bins", Distortion},
                  {"Frequency weighting", Weighting},        {"File widths (sox)", Formats},
                  {"Interpolated peak frequency", PeakFrequency}, {"Coherence", Coherence}};
    int outside = 0;
    for (const auto& g : groups) {
        std::printf("\n%s\n%-52s %14s %14s %10s %9s\n", g.title, "case", "truth", "reading", "error", "allowed");
        for (const Reading& r : g.cases()) {
            const double error = r.reading - r.truth;
            const bool ok = std::fabs(error) <= r.tolerance;
            outside += ok ? 0 : 1;
            std::printf("%-52s %14.6g %14.6g %10.4f %9.4f %s%s\n", r.what.c_str(), r.truth, r.reading, error,
                        r.tolerance, r.unit, ok ? "" : "  OUTSIDE");
        }
    }
    std::printf("\n%d reading(s) outside their tolerance\n", outside);
    return outside == 0 ? 0 : 1;
}
