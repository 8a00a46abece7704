// How `zeltrak` chooses between the window and the headless analyser.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace {

struct Result {
    int status = -1;
    std::string out;
};

// `environment` holds "-u NAME" removals first, then NAME=VALUE settings, as env(1) wants them.
Result RunZeltrak(const std::string& home, const std::string& environment, const std::string& args) {
    const bool removals = environment.rfind("-u ", 0) == 0;
    const std::string command = "env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u ZELTRAK_LOOPBACK " +
                                (removals ? environment + " HOME=" + home : "HOME=" + home + " " + environment) +
                                " timeout 60 " + ZELTRAK_BINARY + " " + args + " 2>&1";
    Result r;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) r.out.append(buffer, n);
    const int s = ::pclose(p);
    r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return r;
}

TEST(Startup, HeadlessNeverTouchesTheWindowSystemAndNoDisplayFallsBackToIt) {
    zeltrak::testing::TempDir dir;
    // A platform that does not exist aborts any Qt GUI start, so success here means Qt
    // Widgets were never initialised.
    Result r = RunZeltrak(dir.path(), "QT_QPA_PLATFORM=no-such-platform", "--headless --frames 2");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("frames 2"), std::string::npos) << r.out;

    r = RunZeltrak(dir.path(), "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", "--frames 2");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("no display found; running --headless"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("frames 2"), std::string::npos) << r.out;

    // With a display the window starts instead: no fallback message, and it is still running
    // (not done after two frames) when it is told to end.
    const std::string log = dir.File("window.log");
    r = RunZeltrak(dir.path(), "QT_QPA_PLATFORM=offscreen",
                   "--frames 2 >" + log + " 2>&1 & pid=$!; sleep 3; kill $pid; wait $pid; echo status=$?; cat " + log);
    EXPECT_NE(r.out.find("status=143"), std::string::npos) << r.out;  // ended by the signal
    EXPECT_EQ(r.out.find("running --headless"), std::string::npos) << r.out;
}

}  // namespace
