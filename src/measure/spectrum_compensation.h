#pragma once
#include <string>

namespace zeltrak {

class Host;
class TSpectralData;

// Puts the compensation curve of `path` into a spectrum (none when not enabled or the path is
// empty). A file that cannot be used, or factors that do not fit in memory, are reported
// through host (when given); the spectrum is then left without compensation. The result says
// whether a curve is in force.
bool ApplyCompensation(TSpectralData& spectrum, const std::string& path, bool enabled, Host* host);

}  // namespace zeltrak
