#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace zeltrak {

int OpenRegularFile(const std::string& path, InputFileStatus* status) {
    const auto fail = [&](InputFileStatus s) {
        if (status) *status = s;
        return -1;
    };
    if (path.empty()) return fail(InputFileStatus::Missing);
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return fail(errno == ENOENT ? InputFileStatus::Missing : InputFileStatus::Unreadable);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(InputFileStatus::NotRegular);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (status) *status = InputFileStatus::Ok;
    return fd;
}

bool IsReadableRegularFile(const std::string& path) {
    const int fd = OpenRegularFile(path);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

InputFileStatus ReadRegularFile(const std::string& path, size_t maxBytes, std::string& content) {
    content.clear();
    InputFileStatus status = InputFileStatus::Ok;
    const int fd = OpenRegularFile(path, &status);
    if (fd < 0) return status;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            status = InputFileStatus::Unreadable;
            break;
        }
        if (n == 0) break;
        // a file that grows while it is read is still bounded
        if (content.size() + static_cast<size_t>(n) > maxBytes) {
            status = InputFileStatus::TooLarge;
            break;
        }
        content.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    if (status != InputFileStatus::Ok) content.clear();
    return status;
}

}  // namespace zeltrak
