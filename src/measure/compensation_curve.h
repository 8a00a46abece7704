#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "dsp/spline.h"

namespace zeltrak {

// Reading a microphone compensation (.mic) file.
enum class CurveFileStatus { Ok, OpenFailed, TooFew, NotAscending };

inline constexpr uint32_t kMaxCurvePoints = 524288;

// Reads "frequency<TAB>level" lines; lines starting with ';' are comments and the first
// line that holds no such pair ends the data. Levels are clamped to +-120 dB. At most
// kMaxCurvePoints points are read. `points` receives them only when the status is Ok.
CurveFileStatus ReadCompensationFile(const std::string& path, std::vector<CurvePoint>& points);
// The message that goes with a failed status, naming the file.
std::string CompensationMessage(CurveFileStatus status, const std::string& path);

}  // namespace zeltrak
