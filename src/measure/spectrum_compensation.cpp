#include "measure/spectrum_compensation.h"

#include <vector>

#include "dsp/spectral_data.h"
#include "measure/analysis_failures.h"
#include "measure/compensation_curve.h"
#include "platform/host.h"

namespace zeltrak {

bool ApplyCompensation(TSpectralData& spectrum, const std::string& path, bool enabled, Host* host) {
    if (spectrum.Error()) return false;
    std::vector<CurvePoint> points;
    if (enabled && !path.empty()) {
        const CurveFileStatus status = ReadCompensationFile(path, points);
        if (status != CurveFileStatus::Ok && host) ShowMessage(*host, CompensationMessage(status, path), MessageIcon::Error);
    }
    if (!spectrum.SetCompensation(points)) {
        if (host) ShowSpectralFailure(*host, spectrum.Status());
        return false;
    }
    return spectrum.Scale().Compensation() != nullptr;
}

}  // namespace zeltrak
