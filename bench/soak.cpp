// Soak run: the headless analyser on the Loopback card's real-time clock for a chosen time,
// with its resident memory and open file descriptors printed every interval. A long run
// must show neither grow.
//
//     build-bench/bench/bench_soak [--minutes M] [--interval SECONDS] [--binary ZELTRAK]
//                                  [-- zeltrak options...]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long value = -1;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            break;
        }
    }
    return value;
}

long OpenDescriptors(pid_t pid) {
    std::error_code ec;
    long count = 0;
    for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ec), end; !ec && it != end;
         it.increment(ec))
        ++count;
    return ec ? -1 : count;
}

}  // namespace

int main(int argc, char** argv) {
    double minutes = 60.0, interval = 60.0;
    std::string binary = ZELTRAK_BINARY;
    std::vector<std::string> extra;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--minutes" && i + 1 < argc) minutes = std::atof(argv[++i]);
        else if (a == "--interval" && i + 1 < argc) interval = std::atof(argv[++i]);
        else if (a == "--binary" && i + 1 < argc) binary = argv[++i];
        else if (a == "--") {
            for (++i; i < argc; ++i) extra.emplace_back(argv[i]);
        } else {
            std::fprintf(stderr, "usage: %s [--minutes M] [--interval SECONDS] [--binary ZELTRAK] [-- options...]\n",
                         argv[0]);
            return 2;
        }
    }
    const long seconds = static_cast<long>(minutes * 60.0);
    std::vector<std::string> args = {binary, "--headless", "--seconds", std::to_string(seconds + 30)};
    args.insert(args.end(), extra.begin(), extra.end());
    const pid_t child = ::fork();
    if (child == 0) {
        // the analyser's own status lines are not the point here
        std::freopen("/dev/null", "w", stdout);
        std::vector<char*> argvChild;
        for (std::string& s : args) argvChild.push_back(s.data());
        argvChild.push_back(nullptr);
        ::execv(argvChild[0], argvChild.data());
        std::_Exit(127);
    }
    if (child < 0) return 1;
    std::printf("%10s %12s %8s\n", "minutes", "RSS KiB", "fds");
    const auto begin = std::chrono::steady_clock::now();
    long firstRss = -1, lastRss = -1, firstFds = -1, lastFds = -1;
    for (double t = 0.0;; t += interval) {
        std::this_thread::sleep_until(begin + std::chrono::duration<double>(t));
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            std::printf("the analyser ended early (status %d)\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
            return 1;
        }
        lastRss = ResidentKiB(child);
        lastFds = OpenDescriptors(child);
        if (t >= interval && firstRss < 0) {  // after the first minute of start-up
            firstRss = lastRss;
            firstFds = lastFds;
        }
        std::printf("%10.1f %12ld %8ld\n", t / 60.0, lastRss, lastFds);
        std::fflush(stdout);
        if (t >= seconds) break;
    }
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::printf("RSS %ld -> %ld KiB, descriptors %ld -> %ld, analyser exit %d\n", firstRss, lastRss, firstFds, lastFds,
                WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return lastRss > firstRss + 1024 || lastFds > firstFds ? 1 : 0;
}
