#pragma once
#include <cstdio>
#include <string>

#include "engine/ctl_options.h"

namespace zeltrak {

// Runs one `zeltrak ctl` action against the server the discovery file names. Status: 0 done
// (ACK for execute), 1 refused (NACK, unknown item, a refusal of the server), 2 no server.
int RunCtlCommand(const CtlOptions& options, std::FILE* out, std::FILE* err);

// One advise value as lines "ITEM\tLINE", carriage returns removed: a spectrum is many lines.
std::string AdviseLines(const std::string& item, const std::string& value);

}  // namespace zeltrak
