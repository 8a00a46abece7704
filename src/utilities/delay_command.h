#pragma once
#include <cstdio>
#include <string>

#include "utilities/delay_units.h"

namespace zeltrak {

// Finds the delay between the channels of a stereo wave file and prints it in samples,
// milliseconds and metres. Every block through the file is correlated and the median of the
// delays of the blocks that hold a signal is reported. 0 on success; otherwise 1 with `error` set.
int RunDelayCommand(const std::string& wavPath, const DelayFinderOptions& options, std::FILE* out,
                    std::string& error);

}  // namespace zeltrak
