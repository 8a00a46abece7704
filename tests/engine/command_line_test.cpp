// The command line as the program reads it (scaling options, its own options, then "analyze"):
// one table of argument lists, each with what it must set or the message that refuses it.
#include "engine/command_line.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <functional>

#include "engine/analyze_command.h"
#include "engine/processing_settings.h"
#include "measure/scaling_options.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

struct Parsed {
    MainOptions main;
    AnalyzeOptions analyze;
    ScalingOptions scaling;
    ScalingBlock block;  // a default block with the scaling options copied in
};

bool Parse(const std::vector<std::string>& args, Parsed& p, std::string& error) {
    std::vector<std::string> rest;
    if (!ParseScalingOptions(args, p.scaling, rest, error) || !ParseMainArguments(rest, p.main, error)) return false;
    CopyScalingOptions(p.scaling, p.block);
    return p.main.subcommand != "analyze" || ParseAnalyzeArguments(p.main.subArguments, p.analyze, error);
}

TEST(CommandLine, EachArgumentListSetsItsOptionsOrIsRefusedWithAReason) {
    testing::TempDir dir;
    // 94 dB SPL is 1.00237 Pa rms; at a quarter of full scale that is 1.00237 * sqrt 2 / 0.25 peak.
    const std::string cal = dir.File("mic.cal"), notCal = dir.File("notes.txt"), fifo = dir.File("fifo.cal");
    testing::WriteFile(cal, "[Calibration]\nRefLevel=94\nRefUnits=2\nRefType=1\nPctFullScaleLeft=0.25\n");
    testing::WriteFile(notCal, "[Other]\nRefLevel=94\n");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // would block a plain open
    using Check = std::function<void(const Parsed&)>;
    const struct {
        std::vector<std::string> args;
        std::string error;  // empty: accepted
        Check check;
    } cases[] = {
        {{"--headless", "--frames", "12", "--no", "take.wav"}, "",
         [](const Parsed& p) {
             EXPECT_TRUE(p.main.headless);
             EXPECT_EQ(p.main.frames, 12u);
             EXPECT_EQ(p.main.file, "take.wav");
             EXPECT_EQ(p.main.questions, MainOptions::Questions::No);
         }},
        // Options every run shares may precede the sub-command; its own arguments stay its own.
        {{"--settings", "my.ini", "--yes", "analyze", "x.wav", "--settings", "b.ini"}, "",
         [](const Parsed& p) {
             EXPECT_EQ(p.main.settingsFile, "my.ini");
             EXPECT_EQ(p.main.questions, MainOptions::Questions::Yes);
             EXPECT_EQ(p.analyze.input, "x.wav");
             EXPECT_EQ(p.analyze.settingsFile, "b.ini");
         }},
        {{"analyze", "in.wav", "--fft", "8192", "--window", "Flat top", "--average", "Infinite", "--average-type",
          "vector", "--overlap", "75", "--decimation", "4", "--channels", "tfc-rl", "-o", "out.csv"},
         "",
         [](const Parsed& p) {
             const AnalyzeOptions& o = p.analyze;
             EXPECT_EQ(o.output, "out.csv");
             EXPECT_EQ(*o.fftSize, 8192u);
             EXPECT_EQ(*o.window, 2);
             EXPECT_EQ(*o.averageBlocks, kInfiniteAverageBlocks);
             EXPECT_EQ(*o.averageType, kAverageVector);
             EXPECT_EQ(*o.overlap, 75);
             EXPECT_EQ(*o.decimation, 4);
             EXPECT_EQ(*o.channels, 12);
         }},
        {{"--cal", cal, "--amplitude=linear", "analyze", "in.wav", "--octave", "12", "--weighting", "a", "--psd",
          "root", "--mic-comp", "l.mic,r.mic"},
         "",
         [](const Parsed& p) {
             EXPECT_EQ(p.analyze.input, "in.wav");
             ASSERT_TRUE(p.scaling.calibration.has_value());
             EXPECT_EQ(p.scaling.calibration->IsEnabled, 1);
             EXPECT_NEAR(p.scaling.calibration->CalRatioLeft, 1.0023737 * std::sqrt(2.0) / 0.25, 1e-3);
             EXPECT_EQ(p.block.AmpScaleType, 0);
             EXPECT_EQ(p.block.FreqScaleType, kFreqOctaveBands);  // --octave alone asks for bands
             EXPECT_EQ(p.block.OctaveNumber, 12);
             EXPECT_EQ(p.block.StandardWeighting, 1);
             EXPECT_EQ(p.block.SpectralDensityFlag, 1u);
             EXPECT_EQ(p.block.SpectralDensityType, 1);
             EXPECT_STREQ(p.block.MicCompFilenameLeft, "l.mic");
             EXPECT_STREQ(p.block.MicCompFilenameRight, "r.mic");
         }},
        {{"--frames", "0"}, "--frames needs a positive count, not '0'", nullptr},
        {{"--seconds", "abc"}, "--seconds needs a positive number, not 'abc'", nullptr},
        {{"--settings"}, "option --settings needs a value", nullptr},
        {{"--wat"}, "unknown argument '--wat'", nullptr},
        {{"a.wav", "b.wav"}, "only one file may be named", nullptr},
        {{"--headless", "analyze", "x.wav"}, "--headless, --report, --frames and --seconds do not apply to analyze",
         nullptr},
        {{"analyze", "in.wav", "--fft", "1000"}, "--fft must be a power of two from 32 to 1048576, not '1000'", nullptr},
        {{"analyze", "in.wav", "--overlap", "100"}, "--overlap must be between 0 and 99, not '100'", nullptr},
        {{"analyze", "in.wav", "--decimation", "31"}, "--decimation must be between 1 and 30, not '31'", nullptr},
        {{"analyze", "in.wav", "--average", "x"}, "--average must be 1 to 1000000 or infinite, not 'x'", nullptr},
        {{"analyze", "in.wav", "--average-type", "peak"},
         "--average-type must be exponential, linear or vector, not 'peak'", nullptr},
        {{"analyze", "in.wav", "--coherence", "cubed"}, "--coherence must be magnitude or squared, not 'cubed'", nullptr},
        {{"analyze", "in.wav", "--window", "hann"}, "unknown window 'hann'", nullptr},
        {{"analyze", "in.wav", "--channels", "13"}, "unknown channel mode '13'", nullptr},
        {{"analyze", "in.wav", "--channels", "lr"}, "unknown channel mode 'lr'", nullptr},
        {{"analyze", "in.wav", "--fft"}, "option --fft needs a value", nullptr},
        {{"analyze", "in.wav", "--bogus", "1"}, "unknown option --bogus", nullptr},
        {{"analyze", "a.wav", "b.wav"}, "more than one input file", nullptr},
        {{"analyze"}, "no input file", nullptr},
        {{"--amplitude", "log"}, "--amplitude must be linear or db, not \"log\"", nullptr},
        {{"--frequency", "bark"}, "--frequency must be linear, log or octave, not \"bark\"", nullptr},
        {{"--octave", "5"}, "--octave must be one of 1, 3, 6, 9, 12, 24, 48, 96, not \"5\"", nullptr},
        {{"--octave", "3", "--frequency", "log"}, "--octave goes with --frequency octave", nullptr},
        {{"--weighting", "D"}, "--weighting must be flat, A, B or C, not \"D\"", nullptr},
        {{"--psd", "cubed"}, "--psd must be squared or root, not \"cubed\"", nullptr},
        {{"--psd"}, "--psd needs a value", nullptr},
        {{"--mic-comp", ","}, "--mic-comp needs a file name", nullptr},
        {{"--mic-comp", std::string(260, 'm')}, "--mic-comp: a file name is longer than 259 characters", nullptr},
        {{"--cal", "/nonexistent/x.cal"}, "--cal: cannot read \"/nonexistent/x.cal\"", nullptr},
        {{"--cal", notCal}, "--cal: \"" + notCal + "\" is not a calibration file", nullptr},
        {{"--cal", fifo}, "--cal: cannot read \"" + fifo + "\"", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        Parsed p;
        std::string error;
        const bool ok = Parse(c.args, p, error);
        EXPECT_EQ(ok, c.error.empty());
        EXPECT_EQ(error, c.error);
        if (ok && c.check) c.check(p);
    }
}

}  // namespace
}  // namespace zeltrak
