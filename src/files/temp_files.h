#pragma once
#include <string>

namespace zeltrak {

// Working copies and the Real-Time history live in temporary files "wav<pid>_XXXXXX" in the
// temporary folder: the process id lets a later start tell the files of a run that was killed
// from those of a run still going.

// The mkstemp pattern of this process's temporary files in `dir`.
std::string TempFilePattern(const std::string& dir);
// Removes the temporary files in `dir` whose process has ended; returns how many.
int RemoveStaleTempFiles(const std::string& dir);

}  // namespace zeltrak
