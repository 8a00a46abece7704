#pragma once
#include <cstdio>
#include <string>

#include "utilities/reverb_analysis.h"

namespace zeltrak {

class Host;

// The band table of an analysis: per band the centre (or "Wideband"), the reverberation time
// from the 20 and from the 30 dB drop where they were measured ("-" where not), t60 as the
// analysis extrapolated it, and per drop t10 ... t60 "m" (measured) or "x" (extrapolated).
std::string ReverbBandTable(const ReverbData& data);

// Analyses a recorded stimulus and decay (sync tone at 0.8 s, 0.5 s gap, pink noise, decay) as
// the measurement does its own recording, and prints the band table to `out`. 0 on success;
// otherwise 1 with what went wrong in `error` (nothing is shown through `host` then).
int RunReverbCommand(const std::string& wavPath, const ReverbOptions& options, std::FILE* out, Host& host,
                     std::string& error);

}  // namespace zeltrak
