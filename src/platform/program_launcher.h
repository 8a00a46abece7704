#pragma once
#include <string>

namespace zeltrak {

// Finds an executable by name the way a shell would (a name with "/" is taken as a path).
// Returns the full path, or an empty string when nothing executable is found.
std::string FindExecutable(const std::string& program);

// Starts `program` with one argument (none when empty), detached from us so that it
// outlives the analyser and leaves no zombie. False when it is not found or cannot start.
bool LaunchDetached(const std::string& program, const std::string& argument);

}  // namespace zeltrak
