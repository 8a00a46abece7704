// The zeltrak binary as a user runs it: analyse files made by sox, a short
// real-time run on the Loopback card, and failures with their exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

using zeltrak::testing::TempDir;
using zeltrak::testing::WriteFile;

struct Result {
    int status = -1;
    std::string out;
};

// Runs zeltrak through the shell with a private home, so no settings of the user apply.
Result Zeltrak(const TempDir& home, const std::string& args) {
    const auto [status, out] = zeltrak::testing::RunCommand(
        "env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u ZELTRAK_LOOPBACK HOME=" + home.path() + " timeout 60 " +
        ZELTRAK_BINARY + " " + args);
    return {status, out};
}

// A sox-made 16-bit tone at 48 kHz; false when sox is missing or failed.
bool Tone(const std::string& path, const std::string& args) {
    return std::system(("sox -D -n -r 48000 -b 16 " + args + " 2>/dev/null").c_str()) == 0 &&
           std::filesystem::exists(path);
}

// The spectrum rows of an "analyze" run: frequency to the level of each channel.
std::map<double, std::vector<double>> Rows(const Result& r, const std::string& header) {
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, header);
    std::map<double, std::vector<double>> rows;
    for (double f; std::getline(lines, line);) {
        std::istringstream fields(line);
        fields >> f;
        char comma;
        for (double v; fields >> comma >> v;) rows[f].push_back(v);
        EXPECT_EQ(rows[f].size(), std::count(header.begin(), header.end(), ',') + 0u) << line;
    }
    return rows;
}

TEST(Cli, AnalyzeReadsAToneAtItsFrequencyAndLevel) {
    TempDir dir;
    const std::string wav = dir.File("tone.wav"), ini = dir.File("my.ini");
    if (!Tone(wav, "-c 2 " + wav + " synth 1 sine 3000 gain -12")) GTEST_SKIP() << "sox is not installed";
    // 3 kHz lies exactly on bin 256 of a 4096-point FFT at 48 kHz; the flat-top window reads
    // a tone's level to a small fraction of a dB.
    const Result r = Zeltrak(dir, "analyze " + wav + " --fft 4096 --window flattop --channels both 2>/dev/null");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto rows = Rows(r, "frequency_hz,left_db,right_db");
    EXPECT_EQ(rows.size(), 2048u);
    const auto peak = std::max_element(rows.begin(), rows.end(), [](auto& a, auto& b) { return a.second < b.second; });
    EXPECT_DOUBLE_EQ(peak->first, 3000.0);
    EXPECT_NEAR(peak->second[0], -12.0, 0.1);
    EXPECT_NEAR(peak->second[1], peak->second[0], 0.01);
    // A settings file named for the run applies; the run's own options win over it.
    WriteFile(ini, "[Settings]\nFFTsize=1024\n");
    for (const auto& [args, bins] : {std::pair<std::string, size_t>{"", 512}, {"--fft 2048 ", 1024}}) {
        const Result s = Zeltrak(dir, "analyze " + wav + " " + args + "--settings " + ini + " 2>/dev/null");
        EXPECT_EQ(Rows(s, "frequency_hz,left_db,right_db").size(), bins) << args;  // one row per bin up to Nyquist
    }
}

// Tones near the edges of a third-octave band land whole in it (band edges, energy-corrected window).
TEST(Cli, ScalingGivesBandsWeightingAndCalibratedUnits) {
    TempDir dir;
    const std::string wav = dir.File("tone.wav"), low = dir.File("low.wav"), cal = dir.File("volts.cal");
    // Left 905 Hz and right 1110 Hz sit just inside the 1 kHz third-octave band (891 to 1122 Hz).
    if (!Tone(wav, "-c 2 " + wav + " synth 2 sine 905 sine 1110 gain -12") ||
        !Tone(low, "-c 1 " + low + " synth 2 sine 100 gain -12"))
        GTEST_SKIP() << "sox is not installed";
    Result r = Zeltrak(dir, "analyze " + wav + " --fft 8192 --frequency octave --octave 3 --channels both 2>/dev/null");
    ASSERT_EQ(r.status, 0) << r.out;
    auto rows = Rows(r, "frequency_hz,left_db,right_db");
    ASSERT_EQ(rows.count(1000.0), 1u);
    for (int ch : {0, 1}) {
        EXPECT_NEAR(rows[1000.0][ch], -12.04, 0.05) << ch;  // the whole power of each tone in its band
        for (double f : {794.3282, 1258.9254}) EXPECT_LT(rows.at(f)[ch], -40.0) << f << " " << ch;
    }
    // Bands a tenth of a decade apart from 1 Hz to the last below Nyquist.
    double previous = 0.0;
    for (const auto& row : rows) {
        if (previous > 0.0) {
            EXPECT_NEAR(row.first / previous, std::pow(10.0, 0.1), 1e-4) << row.first;
        }
        previous = row.first;
    }
    EXPECT_EQ(rows.begin()->first, 1.0);
    EXPECT_TRUE(previous <= 24000.0 && previous * std::pow(10.0, 0.1) > 24000.0) << previous;
    // The B curve takes 100 Hz down by 5.65 dB.
    r = Zeltrak(dir, "analyze " + low + " --fft 8192 --frequency octave --octave 3 --weighting B 2>/dev/null");
    ASSERT_EQ(r.status, 0);
    rows = Rows(r, "frequency_hz,left_db");
    ASSERT_EQ(rows.count(100.0), 1u);
    EXPECT_NEAR(rows[100.0][0], -12.04 - 5.65, 0.1);
    // A calibration file: 0.25 of full scale (the -12 dB tone's peak) stands for 1 volt.
    WriteFile(cal, "[Calibration]\nRefLevel=1.0\nRefUnits=0\nRefType=0\nPctFullScaleLeft=0.251189\n");
    r = Zeltrak(dir, "--headless " + wav + " --cal " + cal + " --amplitude linear 2>/dev/null");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Volts"), std::string::npos) << r.out;
}

TEST(Cli, MeasurementsAndDataLogOfAnAnalysedFile) {
    TempDir dir;
    const std::string wav = dir.File("harmonics.wav"), log = dir.File("thd.log");
    // 1 kHz at half scale with 1 % second and 0.5 % third harmonic: THD = sqrt(1 + 0.25) %.
    if (!Tone(wav, "-c 3 -t wav - synth 2 sine 1000 sine 2000 sine 3000 2>/dev/null | sox -D - -b 16 " + wav +
                       " remix 1v0.5,2v0.005,3v0.0025"))
        GTEST_SKIP() << "sox is not installed";
    const Result r = Zeltrak(dir, "analyze " + wav + " --fft 8192 --window flattop --measure thd,peakfreq -o " +
                                      dir.File("s.csv") + " --log " + log + " --log-type thd 2>/dev/null");
    ASSERT_EQ(r.status, 0) << r.out;
    double thd = 0.0;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "THD\t%lf\t%%", &thd), 1) << r.out;
    EXPECT_NEAR(thd, 1.118, 0.01);
    EXPECT_NE(r.out.find("\nPeak Frequency\t"), std::string::npos) << r.out;
    // The log has its header, then one line per logged frame: time and THD in percent.
    std::istringstream lines(zeltrak::testing::ReadFile(log));
    int rows = 0;
    for (std::string line; std::getline(lines, line);) {
        double t = 0.0, v = 0.0;
        if (std::sscanf(line.c_str(), "%lf\t%lf", &t, &v) != 2) continue;
        EXPECT_NEAR(v, 1.118, 0.05) << line;
        ++rows;
    }
    EXPECT_GE(rows, 1);
}

TEST(Cli, RealTimeRunOnTheLoopbackCardStopsAfterItsFramesOrAHangup) {
    TempDir dir;
    // The Loopback card's 1 kHz test tone at -6 dB, read at the bin of 1 kHz at 44.1 kHz / 4096.
    const Result r = Zeltrak(dir, "--headless --frames 5 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Stopped   frames 5 "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("peak 1001.3 Hz"), std::string::npos) << r.out;
    const std::string hangup = "--headless --seconds 30 >/dev/null 2>&1 & p=$!; sleep 1.5; kill -HUP $p; wait $p";
    EXPECT_EQ(Zeltrak(dir, hangup).status, 0);
}

// A generated file as sox reads it: its length, and the rms of two tones at their levels, 0.99
// of full scale shared between them.
TEST(Cli, GenerateWritesTheSignalAsAWaveFileOtherToolsRead) {
    TempDir dir;
    if (!zeltrak::testing::HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    const std::string wav = dir.File("tones.wav");
    const Result made = Zeltrak(dir, "generate tones --freq 1000,2500 --tone-db -6,-12 --rate 48000 --channels 2 "
                                     "--bits 24 --seconds 2.5 -o " + wav);
    ASSERT_EQ(made.status, 0) << made.out;
    const Result stat = {0, zeltrak::testing::RunCommand("sox " + wav + " -n stat 2>&1").second};
    const auto value = [&](const std::string& name) {
        const size_t at = stat.out.find(name);
        return at == std::string::npos ? -1.0 : std::atof(stat.out.c_str() + stat.out.find(':', at) + 1);
    };
    const double a = std::pow(10.0, -6 / 20.0) / 2, b = std::pow(10.0, -12 / 20.0) / 2;
    EXPECT_NEAR(value("RMS     amplitude"), 0.99 * std::sqrt((a * a + b * b) / 2), 1e-4);
    EXPECT_DOUBLE_EQ(value("Length (seconds)"), 2.5);
    EXPECT_EQ(zeltrak::testing::RunCommand("soxi -c " + wav).second, "2\n");
}

// Each way the program refuses to run: its message, its status, and no spectrum.
TEST(Cli, FailuresGiveAMessageAndANonZeroStatusAndNoSpectrum) {
    TempDir dir;
    const std::string wav = dir.File("t.wav"), ini = dir.File("my.ini"), analyze = "analyze " + wav + " ";
    if (!Tone(wav, wav + " synth 0.5 sine 1000")) GTEST_SKIP() << "sox is not installed";
    WriteFile(ini, "[Settings]\n");
    const std::tuple<std::string, int, std::string> cases[] = {  // arguments, status, part of the message
        {"analyze " + dir.File("none.wav"), 1, "none.wav"},
        {"--frobnicate", 2, "--frobnicate"},
        {analyze + "--weighting D", 2, "weighting"}, {analyze + "--measure bogus", 2, "bogus"},
        {analyze + "--fft 1000", 2, "--fft must be a power of two"},
        {analyze + "--settings " + dir.File("none.ini"), 2, "settings file '" + dir.File("none.ini") + "'"},
        {analyze + "--settings " + dir.path(), 2, "settings file '" + dir.path() + "'"},
        {"--settings " + ini + " " + analyze + "--settings " + ini, 2, "--settings given both"},
        {analyze + "--cal " + dir.File("missing.cal"), 2, "missing.cal"},
        // a curve that cannot be used: no uncompensated spectrum, no success
        {analyze + "--mic-comp " + dir.File("none.mic"), 1, "Failure opening Microphone Compensation"},
        {analyze + "-o " + wav, 2, "-o would overwrite the file being analysed"},
        {wav + " --headless --log " + wav, 2, "--log would overwrite the file being analysed"},
        {"generate square --freq 30000 -o " + dir.File("g.wav"), 2, "Frequency must be between   0.00 and 22050.00 Hz."},
        {"generate chirp -o " + dir.File("g.wav"), 2, "unknown signal type 'chirp'"},
        {"generate tones --burst 1.5 -o " + dir.File("g.wav"), 2, "--burst must be a whole number"},
        {"generate user --file " + dir.File("none.wav") + " -o " + dir.File("g.wav"), 1,
         "Generator - Failure opening file: " + dir.File("none.wav")},
        {"generate white", 2, "either -o FILE.wav or --play"},
    };
    for (const auto& [args, status, says] : cases) {
        const Result r = Zeltrak(dir, args + " 2>&1");
        EXPECT_EQ(r.status, status) << args << "\n" << r.out;
        EXPECT_NE(r.out.find(says), std::string::npos) << args << "\n" << r.out;
        EXPECT_EQ(r.out.find("frequency_hz"), std::string::npos) << r.out;
    }
    EXPECT_GT(std::filesystem::file_size(wav), 44u);  // the input was not overwritten
}

}  // namespace
