#include "files/temp_files.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace zeltrak {

namespace {

constexpr const char* kPrefix = "wav";
constexpr size_t kRandomChars = 6;

// The process id in a name of the form wav<pid>_XXXXXX, or 0 for any other name.
pid_t OwnerOf(const std::string& name) {
    const size_t prefix = std::char_traits<char>::length(kPrefix);
    if (name.rfind(kPrefix, 0) != 0) return 0;
    const size_t underscore = name.find('_', prefix);
    if (underscore == std::string::npos || underscore == prefix || name.size() != underscore + 1 + kRandomChars)
        return 0;
    long pid = 0;
    for (size_t i = prefix; i < underscore; ++i) {
        if (name[i] < '0' || name[i] > '9' || pid > 100000000) return 0;
        pid = pid * 10 + (name[i] - '0');
    }
    return static_cast<pid_t>(pid);
}

}  // namespace

std::string TempFilePattern(const std::string& dir) {
    return dir + "/" + kPrefix + std::to_string(::getpid()) + "_XXXXXX";
}

int RemoveStaleTempFiles(const std::string& dir) {
    int removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const pid_t owner = OwnerOf(it->path().filename().string());
        if (owner <= 0 || owner == ::getpid() || !it->is_regular_file(ec)) continue;
        // only a process that is gone: one that lives (or that we may not signal) keeps its files
        if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
        if (std::filesystem::remove(it->path(), ec)) ++removed;
    }
    return removed;
}

}  // namespace zeltrak
