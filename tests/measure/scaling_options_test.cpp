// Command-line scaling options into the settings' scaling block.
#include "measure/scaling_options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "engine/processing_settings.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

TEST(ScalingOptions, EveryOptionReachesTheScalingBlock) {
    const std::string cal = (std::filesystem::temp_directory_path() / "zeltrak_opts.cal").string();
    std::ofstream(cal) << "[Calibration]\nRefLevel=94\nRefUnits=2\nRefType=1\nPctFullScaleLeft=0.25\n";
    ScalingOptions o;
    std::vector<std::string> rest;
    std::string error;
    ASSERT_TRUE(ParseScalingOptions({"analyze", "--cal", cal, "--amplitude=linear", "in.wav", "--octave", "12",
                                     "--weighting", "a", "--psd", "root", "--mic-comp", "l.mic,r.mic", "--csv"},
                                    o, rest, error))
        << error;
    EXPECT_EQ(rest, (std::vector<std::string>{"analyze", "in.wav", "--csv"}));
    ASSERT_TRUE(o.calibration.has_value());
    EXPECT_EQ(o.calibration->IsEnabled, 1);
    EXPECT_NEAR(o.calibration->CalRatioLeft, 5.670, 1e-3);

    ScalingBlock block;
    CopyToField(block.MicCompFilenameRight, sizeof block.MicCompFilenameRight, "stale-and-longer.mic");
    CopyScalingOptions(o, block);
    EXPECT_EQ(block.AmpScaleType, 0);
    EXPECT_EQ(block.FreqScaleType, kFreqOctaveBands);  // --octave alone asks for bands
    EXPECT_EQ(block.OctaveNumber, 12);
    EXPECT_EQ(block.StandardWeighting, 1);
    EXPECT_EQ(block.SpectralDensityFlag, 1u);
    EXPECT_EQ(block.SpectralDensityType, 1);
    EXPECT_EQ(block.MicCompEnable, 1u);
    EXPECT_STREQ(block.MicCompFilenameLeft, "l.mic");
    EXPECT_STREQ(block.MicCompFilenameRight, "r.mic");

    // What the command line does not name stays as the settings have it.
    ScalingBlock untouched;
    untouched.FreqScaleType = kFreqLinear;
    ASSERT_TRUE(ParseScalingOptions({"--weighting", "C"}, o, rest, error));
    CopyScalingOptions(o, untouched);
    EXPECT_EQ(untouched.StandardWeighting, 3);
    EXPECT_EQ(untouched.FreqScaleType, kFreqLinear);
    EXPECT_EQ(untouched.AmpScaleType, 1);
    EXPECT_EQ(untouched.MicCompEnable, 0u);
}

TEST(ScalingOptions, BadValuesAreRefusedWithAReason) {
    const struct {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"--amplitude", "log"}, "--amplitude must be linear or db, not \"log\""},
        {{"--frequency", "bark"}, "--frequency must be linear, log or octave, not \"bark\""},
        {{"--octave", "5"}, "--octave must be one of 1, 3, 6, 9, 12, 24, 48, 96, not \"5\""},
        {{"--octave", "-3"}, "--octave must be one of 1, 3, 6, 9, 12, 24, 48, 96, not \"-3\""},
        {{"--octave", "3", "--frequency", "log"}, "--octave goes with --frequency octave"},
        {{"--weighting", "D"}, "--weighting must be flat, A, B or C, not \"D\""},
        {{"--psd", "cubed"}, "--psd must be squared or root, not \"cubed\""},
        {{"--psd"}, "--psd needs a value"},
        {{"--mic-comp", ","}, "--mic-comp needs a file name"},
        {{"--mic-comp", std::string(260, 'm')}, "--mic-comp: a file name is longer than 259 characters"},
        {{"--cal", "/nonexistent/x.cal"}, "--cal: cannot read \"/nonexistent/x.cal\""},
    };
    for (const auto& c : cases) {
        ScalingOptions o;
        std::vector<std::string> rest;
        std::string error;
        EXPECT_FALSE(ParseScalingOptions(c.args, o, rest, error)) << c.error;
        EXPECT_EQ(error, c.error);
    }
    // Text that is no calibration file, and a FIFO that would block a plain open.
    testing::TempDir dir;
    const std::string text = dir.File("notes.txt"), fifo = dir.File("fifo.cal");
    testing::WriteFile(text, "[Other]\nRefLevel=94\n");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& [path, message] : {std::pair{text, "\" is not a calibration file"}, {fifo, "cannot read"}}) {
        ScalingOptions o;
        std::vector<std::string> rest;
        std::string error;
        EXPECT_FALSE(ParseScalingOptions({"--cal", path}, o, rest, error));
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace zeltrak
