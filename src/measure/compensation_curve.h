#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "dsp/spline.h"

namespace zeltrak {

class Host;
class TSpectralData;

// Reading a microphone compensation (.mic) file.
enum class CurveFileStatus { Ok, OpenFailed, TooFew, NotAscending };

inline constexpr uint32_t kMaxCurvePoints = 524288;

// Reads "frequency<TAB>level" lines; lines starting with ';' are comments and the first
// line that holds no such pair ends the data. Levels are clamped to +-120 dB. At most
// kMaxCurvePoints points are read. `points` receives them only when the status is Ok.
CurveFileStatus ReadCompensationFile(const std::string& path, std::vector<CurvePoint>& points);
// The message that goes with a failed status, naming the file.
std::string CompensationMessage(CurveFileStatus status, const std::string& path);

// Puts the compensation curve of `path` into a spectrum (none when not enabled or the path is
// empty). A file that cannot be used, or factors that do not fit in memory, are reported
// through host (when given); the spectrum is then left without compensation. The result says
// whether a curve is in force.
bool ApplyCompensation(TSpectralData& spectrum, const std::string& path, bool enabled, Host* host);

}  // namespace zeltrak
