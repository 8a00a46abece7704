#include "engine/analysis_window.h"

#include "dsp/smoothing.h"

namespace zeltrak {

bool BuildAnalysisWindow(uint32_t size, uint16_t type, uint16_t correctionMode, Host* host,
                         std::vector<float>& coefficients, bool& uniform) {
    TSmoothing window(size, type, correctionMode, host);
    if (window.Error()) return false;
    uniform = window.GetType() == kWindowUniform;
    if (uniform) {
        coefficients.clear();
        return true;
    }
    coefficients.assign(window.Coefficients(), window.Coefficients() + window.GetSize());
    return true;
}

}  // namespace zeltrak
