// The command line as the program reads it (its own options, "analyze", and the scaling,
// measurement and logging options anywhere): one table of argument lists, each with what it
// must set or the message that refuses it.
#include "engine/command_line.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <functional>

#include "engine/analyze_command.h"
#include "engine/processing_settings.h"
#include "measure/data_log.h"
#include "measure/scaling_options.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

struct Parsed : CommandLine {
    ScalingBlock block;  // a default block with the scaling options copied in
};

bool Parse(const std::vector<std::string>& args, Parsed& p, std::string& error) {
    if (!ParseCommandLine(args, p, error)) return false;
    CopyScalingOptions(p.scaling, p.block);
    return true;
}

TEST(CommandLine, EachArgumentListSetsItsOptionsOrIsRefusedWithAReason) {
    testing::TempDir dir;
    // 94 dB SPL is 1.00237 Pa rms; at a quarter of full scale that is 1.00237 * sqrt 2 / 0.25 peak.
    const std::string cal = dir.File("mic.cal"), notCal = dir.File("notes.txt"), fifo = dir.File("fifo.cal");
    testing::WriteFile(cal, "[Calibration]\nRefLevel=94\nRefUnits=2\nRefType=1\nPctFullScaleLeft=0.25\n");
    testing::WriteFile(notCal, "[Other]\nRefLevel=94\n");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // would block a plain open
    using Check = std::function<void(const Parsed&)>;
    const std::string kChannelsRule =
        "--channels must be 0 to 12 or one of left, right, both, average, rtf-lr, rtf-rl, cross-lr, cross-rl, tf-lr, "
        "tf-rl, coherence, tfc-lr, tfc-rl, not ";
    const std::string kBandRule = "--measure-band must be LOW:HIGH in Hz with 0 <= LOW < HIGH, not ";
    const std::string kLogTypeRule =
        "--log-type must be one of peakfreq, peakamp, peakfreqamp, power, spectrum, thd, thdn, imd, snr, sinad, nf, "
        "delay (or 0 ... 11), not ";
    const std::string kUnknownMeasurement =
        "unknown measurement \"distortion\" (choose from thd, thdn, imd, snr, sinad, sfdr, nf, peakfreq, peakamp, "
        "power or all)";
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
        // Options every run shares may precede the sub-command; the settings file may follow it.
        {{"--settings", "my.ini", "--yes", "analyze", "x.wav"}, "",
         [](const Parsed& p) {
             EXPECT_EQ(p.main.settingsFile, "my.ini");
             EXPECT_EQ(p.main.questions, MainOptions::Questions::Yes);
             EXPECT_TRUE(p.main.analyze);
             EXPECT_EQ(p.analyze.input, "x.wav");
         }},
        {{"analyze", "x.wav", "--settings=b.ini"}, "", [](const Parsed& p) { EXPECT_EQ(p.main.settingsFile, "b.ini"); }},
        // A bracketed command text is one argument as it stands, not a list.
        {{"ctl", "execute", "[Pass String a,b]"}, "",
         [](const Parsed& p) { EXPECT_EQ(p.ctl.arguments, std::vector<std::string>{"[Pass String a,b]"}); }},
        {{"ctl", "advise", "THD", "SNR", "--discovery", "d.json"}, "",
         [](const Parsed& p) {
             EXPECT_EQ(p.ctl.arguments, (std::vector<std::string>{"THD", "SNR"}));
             EXPECT_EQ(p.ctl.discovery, "d.json");
         }},
        {{"ctl", "execute", "[Run]", "--bogus"}, "unknown option '--bogus'", nullptr},
        {{"ctl", "request", "THD", "SNR"}, "ctl request and execute take one argument (quote it)", nullptr},
        {{"run-macro", "log.mac"}, "", [](const Parsed& p) { EXPECT_EQ(p.main.macroFile, "log.mac"); }},
        {{"--no", "Sweep.MAC"}, "",
         [](const Parsed& p) {
             EXPECT_EQ(p.main.macroFile, "Sweep.MAC");
             EXPECT_TRUE(p.main.file.empty());
         }},
        {{"--frames", "3", "a.mac"}, "--report, --frames, --seconds and a wave file do not apply to a macro", nullptr},

        {{"--settings", "a.ini", "analyze", "x.wav", "--settings", "b.ini"},
         "--settings given both before and after \"analyze\"", nullptr},
        {{"analyze", "in.wav", "--fft", "8192", "--window", "Flat top", "--average", "Infinite", "--average-type",
          "vector", "--overlap", "75", "--decimation", "4", "--channels", "tfc-rl", "-o", "out.csv", "--jobs", "3", "--jobs", "All"},
         "",
         [](const Parsed& p) {
             const AnalyzeOptions& o = p.analyze;
             EXPECT_EQ(o.output, "out.csv");
             EXPECT_EQ(*o.fftSize, 8192u);
             EXPECT_EQ(*o.window, WindowType::FlatTop);
             EXPECT_EQ(*o.averageBlocks, kInfiniteAverageBlocks);
             EXPECT_EQ(*o.averageType, AveragingType::Vector);
             EXPECT_EQ(*o.overlap, 75);
             EXPECT_EQ(*o.decimation, 4);
             EXPECT_EQ(*o.channels, ChannelProcessingMode::TransferCoherenceRL);
             EXPECT_EQ(o.jobs, 0u);  // the last one given: all cores
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
        {{"analyze", "in.wav", "--measure", "THD, snr,thd,peakfreq", "--measure-band=0:22050.5", "--log", "out.txt",
          "--log-type=thdn", "--log-interval", "0", "--log-range", "100:5000", "--log-append", "--log-threshold=-50"},
         "",
         [](const Parsed& p) {
             EXPECT_EQ(p.reports.measure,
                       (std::vector<MeasurementCode>{kMeasureTHD, kMeasureSNR, kMeasurePeakFrequency}));
             EXPECT_EQ(p.reports.band.bandHighHz, 22050.5);
             EXPECT_TRUE(p.reports.Logs());
             LoggingSettings s;
             p.reports.logging.ApplyTo(s);
             EXPECT_EQ(s.LogFileName, "out.txt");
             EXPECT_EQ(s.DataType, kLogTHDN);
             EXPECT_EQ(s.IntervalFlag, 0);
             EXPECT_EQ(s.UseFullSpan, 0);
             EXPECT_EQ(s.StartFreq, 100.0f);
             EXPECT_EQ(s.StopFreq, 5000.0f);
             EXPECT_EQ(s.Threshold, -50.0f);
             EXPECT_EQ(s.OverwriteFlag, 0);
             EXPECT_EQ(s.OstrelFlag, 0);  // untouched: the settings file's value stands
         }},
        {{"--frames", "0"}, "--frames must be a positive count, not '0'", nullptr},
        {{"--seconds", "abc"}, "--seconds must be a positive number, not 'abc'", nullptr},
        {{"--settings"}, "option --settings needs a value", nullptr},
        {{"--wat"}, "unknown option '--wat'", nullptr},
        {{"a.wav", "b.wav"}, "only one file may be named", nullptr},
        {{"--headless", "analyze", "x.wav"}, "--headless, --report, --frames and --seconds do not apply to analyze",
         nullptr},
        {{"analyze", "in.wav", "--fft", "1000"}, "--fft must be a power of two from 32 to 1048576, not '1000'", nullptr},
        {{"analyze", "in.wav", "--overlap", "100"}, "--overlap must be between 0 and 99, not '100'", nullptr},
        {{"analyze", "in.wav", "--jobs", "0"}, "--jobs must be between 1 and 256 or all (one per core), not '0'", nullptr},
        {{"analyze", "in.wav", "--decimation", "31"}, "--decimation must be between 1 and 30, not '31'", nullptr},
        {{"analyze", "in.wav", "--average", "x"}, "--average must be 1 to 1000000 or infinite, not 'x'", nullptr},
        {{"analyze", "in.wav", "--average-type", "peak"},
         "--average-type must be exponential, linear or vector, not 'peak'", nullptr},
        {{"analyze", "in.wav", "--coherence", "cubed"}, "--coherence must be magnitude or squared, not 'cubed'", nullptr},
        {{"analyze", "in.wav", "--window", "hann"},
         "--window must be one of bartlett, blackman, flattop, hamming, hanning, kaiser, parzen, triangular, uniform, "
         "gaussian, not 'hann'",
         nullptr},
        {{"analyze", "in.wav", "--channels", "13"}, kChannelsRule + "'13'", nullptr},
        {{"analyze", "in.wav", "--channels", "lr"}, kChannelsRule + "'lr'", nullptr},
        {{"analyze", "in.wav", "--fft"}, "option --fft needs a value", nullptr},
        {{"analyze", "in.wav", "--bogus", "1"}, "unknown option '--bogus'", nullptr},
        {{"analyze", "a.wav", "b.wav"}, "only one file may be named", nullptr},
        {{"--octave=3", "analyze", "a.wav", "--frequency=log"}, "--octave goes with --frequency octave", nullptr},
        {{"analyze"}, "no input file", nullptr},
        {{"--amplitude", "log"}, "--amplitude must be linear or db, not 'log'", nullptr},
        {{"--frequency", "bark"}, "--frequency must be linear, log or octave, not 'bark'", nullptr},
        {{"--octave", "5"}, "--octave must be one of 1, 3, 6, 9, 12, 24, 48, 96, not '5'", nullptr},
        {{"--octave", "3", "--frequency", "log"}, "--octave goes with --frequency octave", nullptr},
        {{"--weighting", "D"}, "--weighting must be flat, A, B or C, not 'D'", nullptr},
        {{"--psd", "cubed"}, "--psd must be squared or root, not 'cubed'", nullptr},
        {{"--psd"}, "option --psd needs a value", nullptr},
        {{"--log-append=yes"}, "--log-append takes no value", nullptr},
        {{"--mic-comp", ","}, "--mic-comp must be LEFT[,RIGHT] with names of at most 259 characters, not ','", nullptr},
        {{"--mic-comp", std::string(260, 'm')}, "--mic-comp must be LEFT[,RIGHT] with names of at most 259 characters, not '" + std::string(260, 'm') + "'", nullptr},
        {{"--cal", "/nonexistent/x.cal"}, "--cal: cannot read '/nonexistent/x.cal'", nullptr},
        {{"--cal", notCal}, "--cal: '" + notCal + "' is not a calibration file", nullptr},
        {{"--cal", fifo}, "--cal: cannot read '" + fifo + "'", nullptr},
        {{"--measure", "thd,distortion"}, kUnknownMeasurement, nullptr},
        {{"--measure", " , "}, "--measure needs at least one measurement", nullptr},
        {{"--measure"}, "option --measure needs a value", nullptr},
        {{"--measure-band", "20"}, kBandRule + "'20'", nullptr},
        {{"--measure-band", "a:b"}, kBandRule + "'a:b'", nullptr},
        {{"--measure-band", "500:100"}, kBandRule + "'500:100'", nullptr},
        {{"--measure-band", "-1:100"}, kBandRule + "'-1:100'", nullptr},
        {{"--measure-band", "nan:5"}, kBandRule + "'nan:5'", nullptr},
        {{"--measure-band", "20:"}, kBandRule + "'20:'", nullptr},
        {{"--log-type", "loudness"}, kLogTypeRule + "'loudness'", nullptr},
        {{"--log-interval", "0.5"}, "--log-interval must be 0 (every spectrum) or between 1 and 3600 seconds, not '0.5'",
         nullptr},
        {{"--log-range", "500:100"}, "--log-range must be full or START:STOP in Hz with 0 <= START < STOP, not '500:100'",
         nullptr},
        {{"--log"}, "option --log needs a value", nullptr},
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
