#include "platform/program_launcher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace zeltrak {

namespace {
bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}
}  // namespace

std::string FindExecutable(const std::string& program) {
    if (program.empty()) return {};
    if (program.find('/') != std::string::npos) return IsExecutableFile(program) ? program : std::string{};
    const char* pathEnv = std::getenv("PATH");
    std::stringstream dirs(pathEnv ? pathEnv : "/usr/local/bin:/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
        if (IsExecutableFile(candidate)) return candidate;
    }
    return {};
}

bool LaunchDetached(const std::string& program, const std::string& argument) {
    const std::string path = FindExecutable(program);
    if (path.empty()) return false;
    // Report exec failures of the grandchild back through a close-on-exec pipe.
    int status_pipe[2];
    if (pipe2(status_pipe, O_CLOEXEC) != 0) return false;
    const pid_t child = fork();
    if (child < 0) {
        close(status_pipe[0]);
        close(status_pipe[1]);
        return false;
    }
    if (child == 0) {
        close(status_pipe[0]);
        setsid();
        const pid_t grandchild = fork();
        if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
        const char* argv[3] = {path.c_str(), argument.empty() ? nullptr : argument.c_str(), nullptr};
        execv(path.c_str(), const_cast<char* const*>(argv));
        const char failed = 1;
        ssize_t ignored = write(status_pipe[1], &failed, 1);
        (void)ignored;
        _exit(127);
    }
    close(status_pipe[1]);
    int status = 0;
    waitpid(child, &status, 0);
    char failed = 0;
    const ssize_t n = read(status_pipe[0], &failed, 1);  // EOF (0) once exec succeeded
    close(status_pipe[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

}  // namespace zeltrak
