#include "files/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace zeltrak {

std::string DirName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool WriteAll(int fd, const void* bytes, size_t size) {
    const char* p = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

ReplaceResult ReplaceFileAtomically(const std::string& target, const std::function<bool(int fd)>& write) {
    if (target.empty()) return ReplaceResult::CannotCreate;
    std::string path = target;
    struct stat st {};
    bool exists = ::lstat(target.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(target.c_str(), resolved)) path = resolved;
        exists = ::stat(path.c_str(), &st) == 0;
    }
    std::string pattern = DirName(path) + "/.zeltrakXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return ReplaceResult::CannotCreate;
    bool ok = ::fchmod(fd, exists ? (st.st_mode & 07777) : NewFileMode()) == 0 && write(fd) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(name.data(), path.c_str()) == 0;
    if (!ok) ::unlink(name.data());
    return ok ? ReplaceResult::Done : ReplaceResult::WriteFailed;
}

}  // namespace zeltrak
