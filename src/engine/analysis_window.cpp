#include "engine/analysis_window.h"

#include "dsp/smoothing.h"
#include "measure/analysis_failures.h"
#include "platform/host.h"

namespace zeltrak {

bool BuildAnalysisWindow(uint32_t size, WindowType type, WindowCorrection correctionMode, Host* host,
                         std::vector<float>& coefficients, bool& uniform) {
    if (host) host->SetBusyCursor(true);
    const TSmoothing window(size, type, correctionMode);
    if (host) host->SetBusyCursor(false);
    if (window.Error()) {
        if (host) ShowWindowFailure(*host, window.Status());
        return false;
    }
    uniform = window.GetType() == WindowType::Uniform;
    if (uniform) {
        coefficients.clear();
        return true;
    }
    coefficients.assign(window.Coefficients(), window.Coefficients() + window.GetSize());
    return true;
}

}  // namespace zeltrak
