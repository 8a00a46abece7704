// The zeltrak binary as a user runs it: analyse a file made by sox, a short real-time run on
// the Loopback card, and failures with their exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "support/temp_dir.h"

namespace {

struct Result {
    int status = -1;
    std::string out;
};

// Runs a shell command with a private home, so no settings of the user apply.
Result Zeltrak(const std::string& home, const std::string& args) {
    const std::string command = "env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u ZELTRAK_LOOPBACK HOME=" + home +
                                " timeout 60 " + ZELTRAK_BINARY + " " + args;
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

bool HaveSox() { return std::system("command -v sox >/dev/null 2>&1") == 0; }

TEST(Cli, AnalyzeFindsTheToneOfAFileMadeBySox) {
    if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
    zeltrak::testing::TempDir dir;
    const std::string wav = dir.File("tone.wav");
    // 3 kHz lies exactly on bin 256 of a 4096-point FFT at 48 kHz.
    ASSERT_EQ(std::system(("sox -D -n -r 48000 -c 2 -b 16 " + wav + " synth 1 sine 3000 gain -12 2>/dev/null").c_str()), 0);
    const Result r = Zeltrak(dir.path(), "analyze " + wav + " --fft 4096 --window flattop --channels both 2>/dev/null");
    ASSERT_EQ(r.status, 0) << r.out;
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "frequency_hz,left_db,right_db");
    double bestF = 0, bestDb = -1000;
    int rows = 0;
    while (std::getline(lines, line)) {
        double f, l, rr;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf", &f, &l, &rr), 3) << line;
        EXPECT_NEAR(l, rr, 0.01);
        if (l > bestDb) bestDb = l, bestF = f;
        ++rows;
    }
    EXPECT_EQ(rows, 2048);
    EXPECT_DOUBLE_EQ(bestF, 3000.0);
    // The flat-top window reads a tone's level to a small fraction of a dB.
    EXPECT_NEAR(bestDb, -12.0, 0.1);
}

TEST(Cli, HeadlessRealTimeRunStopsAfterItsFrames) {
    zeltrak::testing::TempDir dir;
    // The one run on the real-time clock: the Loopback card's 1 kHz test tone at -6 dB.
    const Result r = Zeltrak(dir.path(), "--headless --frames 5 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Stopped   frames 5 "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("peak 1001.3 Hz"), std::string::npos) << r.out;  // the bin of 1 kHz at 44.1 kHz / 4096
}

TEST(Cli, FailuresGiveAMessageAndANonZeroStatus) {
    zeltrak::testing::TempDir dir;
    Result r = Zeltrak(dir.path(), "analyze " + dir.File("none.wav") + " 2>&1");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("none.wav"), std::string::npos);
    r = Zeltrak(dir.path(), "analyze x.wav --fft 1000 2>&1");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("--fft must be a power of two"), std::string::npos);
    r = Zeltrak(dir.path(), "--frobnicate 2>&1");
    EXPECT_EQ(r.status, 2);
}

}  // namespace
