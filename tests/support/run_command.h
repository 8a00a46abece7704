#pragma once
// Shell commands for tests that compare with other tools (sox, libsndfile) or run the program.
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <utility>

namespace zeltrak::testing {

// Exit status (-1 when it did not exit) and standard output of a shell command.
inline std::pair<int, std::string> RunCommand(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t n; p && (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    const int s = p ? ::pclose(p) : -1;
    return {WIFEXITED(s) ? WEXITSTATUS(s) : -1, out};
}

// Exit status of a command whose output nobody reads.
inline int RunQuiet(const std::string& command) { return RunCommand(command + " >/dev/null 2>&1").first; }

inline bool HaveProgram(const std::string& name) { return RunQuiet("command -v " + name) == 0; }

}  // namespace zeltrak::testing
