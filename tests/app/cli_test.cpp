// The zeltrak binary as a user runs it: analyse a file made by sox, a short real-time run on
// the Loopback card, and failures with their exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

TEST(Cli, AnalyzeReadsTheSettingsFileItNamesAndItsOwnOptionsWin) {
    if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
    zeltrak::testing::TempDir dir;
    const std::string wav = dir.File("noise.wav");
    ASSERT_EQ(std::system(("sox -D -n -r 8000 -c 1 -b 16 " + wav + " synth 1 whitenoise 2>/dev/null").c_str()), 0);
    const std::string ini = dir.File("my.ini");
    zeltrak::testing::WriteFile(ini, "[Settings]\nFFTsize=1024\n");
    // One CSV row per bin up to Nyquist: half the FFT size (4096 without a settings file).
    const struct {
        std::string args;
        long rows;
    } cases[] = {
        {"analyze " + wav, 2048},
        {"analyze " + wav + " --settings " + ini, 512},
        {"--settings " + ini + " analyze " + wav, 512},
        {"analyze " + wav + " --fft 2048 --settings " + ini, 1024},
        {"--settings " + ini + " analyze " + wav + " --fft 2048", 1024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = Zeltrak(dir.path(), c.args + " 2>/dev/null");
        ASSERT_EQ(r.status, 0) << r.out;
        ASSERT_EQ(r.out.rfind("frequency_hz,left_db\n", 0), 0u) << r.out.substr(0, 80);
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n') - 1, c.rows);
    }
    // A settings file named for a batch run must be a readable file; one named twice is ambiguous.
    for (const std::string& bad : {dir.File("none.ini"), dir.path()}) {
        const Result r = Zeltrak(dir.path(), "analyze " + wav + " --settings " + bad + " 2>&1");
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.out.find("settings file '" + bad + "'"), std::string::npos) << r.out;
    }
    EXPECT_EQ(Zeltrak(dir.path(), "--settings " + ini + " analyze " + wav + " --settings " + ini + " 2>&1").status, 2);
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
    if (!HaveSox()) return;
    const std::string wav = dir.File("t.wav");
    ASSERT_EQ(std::system(("sox -D -n -r 48000 -b 16 " + wav + " synth 0.5 sine 1000 2>/dev/null").c_str()), 0);
    const struct {
        std::string args;
        int status;
        const char* says;
    } cases[] = {
        // a curve that cannot be used: no uncompensated spectrum, no success
        {"analyze " + wav + " --mic-comp " + dir.File("none.mic"), 1, "Failure opening Microphone Compensation"},
        {"analyze " + wav + " -o " + wav, 2, "would overwrite the file being analysed"},
        {"analyze " + wav + " --log " + wav, 2, "would overwrite the file being analysed"},
        {wav + " --headless --log " + wav, 2, "would overwrite the file being analysed"},
    };
    for (const auto& c : cases) {
        r = Zeltrak(dir.path(), c.args + " 2>&1");
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("frequency_hz"), std::string::npos) << r.out;
    }
    EXPECT_GT(std::filesystem::file_size(wav), 44u);
}

TEST(Cli, HangupEndsARunLikeInterrupt) {
    zeltrak::testing::TempDir dir;
    const Result r = Zeltrak(dir.path(), "--headless --seconds 30 >/dev/null 2>&1 & p=$!; sleep 1.5; kill -HUP $p; wait $p");
    EXPECT_EQ(r.status, 0);
}

TEST(Cli, ScalingOptionsGiveBandsWeightingAndCalibratedUnits) {
    if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
    zeltrak::testing::TempDir dir;
    const std::string wav = dir.File("tone.wav");
    ASSERT_EQ(std::system(("sox -D -n -r 48000 -c 1 -b 16 " + wav + " synth 2 sine 1000 gain -12 2>/dev/null").c_str()), 0);
    // Third-octave bands: a tone's power lands whole in its band (energy-corrected window).
    Result r = Zeltrak(dir.path(), "analyze " + wav + " --fft 8192 --frequency octave --octave 3 2>/dev/null");
    ASSERT_EQ(r.status, 0) << r.out;
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "frequency_hz,left_db");
    double band1k = -1000.0;
    int rows = 0;
    while (std::getline(lines, line)) {
        double f, v;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf", &f, &v), 2) << line;
        if (std::abs(f - 1000.0) < 1.0) band1k = v;
        ++rows;
    }
    EXPECT_NEAR(band1k, -12.04, 0.05);
    EXPECT_GT(rows, 30);  // 1 Hz up to the Nyquist frequency in thirds of an octave
    EXPECT_LT(rows, 50);

    // The B curve takes 100 Hz down by 5.65 dB.
    const std::string low = dir.File("low.wav");
    ASSERT_EQ(std::system(("sox -D -n -r 48000 -c 1 -b 16 " + low + " synth 2 sine 100 gain -12 2>/dev/null").c_str()), 0);
    r = Zeltrak(dir.path(), "analyze " + low + " --fft 8192 --frequency octave --octave 3 --weighting B 2>/dev/null");
    ASSERT_EQ(r.status, 0);
    const size_t at = r.out.find("\n100.0000,");
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_NEAR(std::atof(r.out.c_str() + at + 10), -12.04 - 5.65, 0.1);

    // A calibration file: 0.25 of full scale (the -12 dB tone's peak) stands for 1 volt.
    const std::string cal = dir.File("volts.cal");
    zeltrak::testing::WriteFile(cal, "[Calibration]\nRefLevel=1.0\nRefUnits=0\nRefType=0\nPctFullScaleLeft=0.251189\n");
    r = Zeltrak(dir.path(), "--headless " + wav + " --cal " + cal + " --amplitude linear 2>/dev/null");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Volts"), std::string::npos) << r.out;

    r = Zeltrak(dir.path(), "analyze " + wav + " --weighting D 2>&1");
    EXPECT_EQ(r.status, 2);
    r = Zeltrak(dir.path(), "analyze " + wav + " --cal " + dir.File("missing.cal") + " 2>&1");
    EXPECT_EQ(r.status, 2);
}

TEST(Cli, MeasurementsAndDataLogOfAnAnalysedFile) {
    zeltrak::testing::TempDir dir;
    const std::string wav = dir.File("harmonics.wav");
    // 1 kHz at half scale with 1 % second and 0.5 % third harmonic: THD = sqrt(1 + 0.25) %.
    const std::string script =
        "import math, struct, wave\n"
        "w = wave.open('" + wav + "', 'wb')\n"
        "w.setnchannels(1); w.setsampwidth(2); w.setframerate(48000)\n"
        "x = [0.5 * (math.sin(2*math.pi*1000*n/48000) + 0.01*math.sin(2*math.pi*2000*n/48000)"
        " + 0.005*math.sin(2*math.pi*3000*n/48000)) for n in range(96000)]\n"
        "w.writeframes(b''.join(struct.pack('<h', round(v * 32767)) for v in x))\n";
    zeltrak::testing::WriteFile(dir.File("make.py"), script);
    ASSERT_EQ(std::system(("/usr/bin/python3 " + dir.File("make.py")).c_str()), 0);
    const std::string log = dir.File("thd.log");
    const Result r = Zeltrak(dir.path(), "analyze " + wav + " --fft 8192 --window flattop --measure thd,peakfreq -o " +
                                             dir.File("s.csv") + " --log " + log + " --log-type thd 2>/dev/null");
    ASSERT_EQ(r.status, 0) << r.out;
    double thd = 0.0;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "THD\t%lf\t%%", &thd), 1) << r.out;
    EXPECT_NEAR(thd, 1.118, 0.01);
    EXPECT_NE(r.out.find("\nPeak Frequency\t"), std::string::npos) << r.out;
    // The log has its header, then one line per logged frame with the THD in percent.
    std::istringstream lines(zeltrak::testing::ReadFile(log));
    std::string line;
    int rows = 0;
    while (std::getline(lines, line)) {
        double t = 0.0, v = 0.0;
        if (std::sscanf(line.c_str(), "%lf\t%lf", &t, &v) == 2) {
            EXPECT_NEAR(v, 1.118, 0.05) << line;
            ++rows;
        }
    }
    EXPECT_GE(rows, 1);
    EXPECT_EQ(Zeltrak(dir.path(), "analyze " + wav + " --measure bogus 2>/dev/null").status, 2);
}

}  // namespace
