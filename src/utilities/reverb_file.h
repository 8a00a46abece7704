#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "utilities/reverb_analysis.h"

namespace zeltrak {

class Host;

inline constexpr int32_t kReverbFileMagic = 13211;
inline constexpr size_t kReverbFileHeaderBytes = 12;

// The file image: magic, band count, frame count, then the frames, all little-endian.
std::vector<uint8_t> EncodeReverbFile(const ReverbData& data);

// Replaces `data` with the file's frames, takes its decay time as the displayed one and
// recomputes the smoothing and times with `options`. A file that cannot be read whole, or is
// not a reverb file, is refused with its message and leaves `data` as it was.
bool LoadReverbFile(const std::string& path, ReverbOptions& options, ReverbData& data, Host& host);
// Writes `data` (the old file stays whole until the new one is complete); clears the
// modified flag on success.
bool SaveReverbFile(const std::string& path, ReverbData& data, Host& host);

}  // namespace zeltrak
