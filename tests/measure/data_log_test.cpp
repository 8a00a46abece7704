// Data logging: the file as a spreadsheet would read it, the interval and threshold rules,
// failures of the file, the viewer, the dialog and the command line.
#include "measure/data_log.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "base/strings.h"
#include "files/ini_store.h"
#include "measure/measure_test_support.h"
#include "platform/scripted_host.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

using namespace measure_test;
using testing::ReadFile;
using testing::TempDir;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> cells;
    std::stringstream in(line);
    std::string cell;
    while (std::getline(in, cell, '\t')) cells.push_back(cell);
    return cells;
}

// A 1 kHz (left) and 2 kHz (right) tone at known levels, analysed once.
struct Pair {
    Analyser left{48000, 4096, kWindowHanning, 1};
    Analyser right{48000, 4096, kWindowHanning, 1};
    Pair(double leftAmplitude = 0.5, double rightAmplitude = 0.25) {
        left.Frame(Sine(1000.0, leftAmplitude));
        right.Frame(Sine(2000.0, rightAmplitude));
    }
};

LoggingSettings Settings(const std::string& path, int dataType, int interval = 0) {
    LoggingSettings s;
    s.LogFileName = path;
    s.DataType = static_cast<int16_t>(dataType);
    s.IntervalFlag = interval;
    return s;
}

TEST(DataLog, HeaderBlockAndAppending) {
    TempDir dir;
    const std::string path = dir.File("log.txt");
    testing::WriteFile(path, "earlier content\n");
    ScriptedHost host;
    host.SetWallClock(1700000000);
    Pair pair;
    LoggingSettings settings = Settings(path, kLogPeakFrequency);
    settings.OverwriteFlag = 0;
    {
        TDataLog log(settings, host);
        ASSERT_FALSE(log.error());
        EXPECT_TRUE(log.LogSpectrum(pair.left.spectrum.get(), nullptr, 0.25, kProcessLeft));
    }
    {
        TDataLog log(settings, host);
        EXPECT_TRUE(log.LogSpectrum(pair.left.spectrum.get(), pair.right.spectrum.get(), 61.5, kProcessBoth));
    }
    // the calendar text as the C library writes it
    const std::time_t t = 1700000000;
    std::string calendar = std::asctime(std::localtime(&t));
    calendar.pop_back();
    const std::vector<std::string> lines = Lines(ReadFile(path));
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "earlier content");
    EXPECT_EQ(lines[2], "Data Logging On: " + calendar);
    EXPECT_EQ(lines[3], "Time\tPeak Freq(Hz)");
    EXPECT_EQ(lines[4], std::string(129, '-'));
    const std::vector<std::string> one = Split(lines[5]), two = Split(lines[10]);
    ASSERT_EQ(one.size(), 2u);
    ASSERT_EQ(two.size(), 3u);
    EXPECT_EQ(one[0], "0.250");
    EXPECT_EQ(two[0], "1:01.500");
    EXPECT_NEAR(std::stod(one[1]), 1000.0, 48000.0 / 4096 / 2);
    EXPECT_NEAR(std::stod(two[2]), 2000.0, 48000.0 / 4096 / 2);

    // Overwrite replaces the file.
    settings.OverwriteFlag = 1;
    {
        TDataLog log(settings, host);
        log.LogSpectrum(pair.left.spectrum.get(), nullptr, 1.0, kProcessLeft);
    }
    EXPECT_EQ(Lines(ReadFile(path)).size(), 5u);
}

TEST(DataLog, IntervalOverAPostProcessingRunAndARewind) {
    TempDir dir;
    ScriptedHost host;
    Pair pair;
    TDataLog log(Settings(dir.File("i.txt"), kLogPeakFrequency, 1), host);
    std::vector<double> times;
    for (int k = 1; k <= 16; ++k) times.push_back(0.3 * k);  // a spectrum every 0.3 s
    times.insert(times.end(), {2.0, 2.3, 2.6});               // rewound
    std::vector<double> written;
    for (double t : times)
        if (log.LogSpectrum(pair.left.spectrum.get(), nullptr, t, kProcessLeft)) written.push_back(t);
    const std::vector<double> want = {0.3 * 4, 0.3 * 8, 0.3 * 12, 0.3 * 16, 2.3};
    ASSERT_EQ(written.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_DOUBLE_EQ(written[i], want[i]);
    const std::vector<std::string> lines = Lines(ReadFile(dir.File("i.txt")));
    ASSERT_EQ(lines.size(), 4u + want.size());
    EXPECT_EQ(Split(lines[4])[0], "1.200");
    EXPECT_EQ(Split(lines[8])[0], "2.300");

    // A spectrum exactly one interval after the last line is written.
    TDataLog exact(Settings(dir.File("e.txt"), kLogPeakFrequency, 1), host);
    written.clear();
    for (int k = 1; k <= 12; ++k)
        if (exact.LogSpectrum(pair.left.spectrum.get(), nullptr, 0.25 * k, kProcessLeft)) written.push_back(0.25 * k);
    EXPECT_EQ(written, (std::vector<double>{1.0, 2.0, 3.0}));
}

TEST(DataLog, ThresholdOnEitherChannel) {
    TempDir dir;
    ScriptedHost host;
    Pair pair(0.5, 0.05);  // -6 dB and -26 dB, a third of a bin off: Hann scallops the peak 0.63 dB
    LoggingSettings s = Settings(dir.File("t.txt"), kLogPeakAmplitude);
    s.Threshold = -10.0f;
    TDataLog log(s, host);
    EXPECT_TRUE(log.LogSpectrum(pair.left.spectrum.get(), nullptr, 1, kProcessLeft));
    EXPECT_FALSE(log.LogSpectrum(pair.right.spectrum.get(), nullptr, 2, kProcessLeft));
    EXPECT_TRUE(log.LogSpectrum(pair.right.spectrum.get(), pair.left.spectrum.get(), 3, kProcessBoth));
    // reaching the threshold is enough
    LoggingSettings e = Settings(dir.File("e.txt"), kLogPeakAmplitude);
    e.Threshold = static_cast<float>(FindPeak(*pair.left.spectrum, 0, 2047, 0).amplitude);
    TDataLog equal(e, host);
    EXPECT_TRUE(equal.LogSpectrum(pair.left.spectrum.get(), nullptr, 1, kProcessLeft));
    // a band without any local maximum has no peak (-999.9), below even the default threshold
    LoggingSettings d = Settings(dir.File("d.txt"), kLogPeakAmplitude);
    TDataLog quiet(d, host);
    auto silence = MadeSpectrum(std::vector<double>(2048, 0.0));
    EXPECT_FALSE(quiet.LogSpectrum(silence.get(), nullptr, 1, kProcessLeft));
    EXPECT_TRUE(quiet.LogSpectrum(pair.right.spectrum.get(), nullptr, 2, kProcessLeft));
    const std::vector<std::string> lines = Lines(ReadFile(dir.File("t.txt")));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_NEAR(std::stod(Split(lines[4])[1]), 20 * std::log10(0.5) - 0.63, 0.02);
}

TEST(DataLog, TwoChannelFormatsAndMeasurements) {
    TempDir dir;
    ScriptedHost host;
    Pair pair;
    const auto line = [&](int type, uint16_t mode) {
        const std::string path = dir.File("f" + std::to_string(type) + "_" + std::to_string(mode) + ".txt");
        {
            TDataLog log(Settings(path, type), host);
            log.LogSpectrum(pair.left.spectrum.get(), pair.right.spectrum.get(), 5.0, mode, 12.5);
        }
        const std::vector<std::string> lines = Lines(ReadFile(path));
        return lines.size() == 5 ? std::make_pair(lines[2], Split(lines[4])) : std::make_pair(std::string(), std::vector<std::string>{});
    };
    // per type: the header, the cells of a line, and the values they must hold
    const double nf = MeasureSNR(*pair.left.spectrum) - MeasureSNR(*pair.right.spectrum);
    const struct {
        int type;
        uint16_t mode;
        const char* header;
        std::vector<double> values;  // NaN: not checked
    } cases[] = {{kLogPowerLevel, kProcessBoth, "Time\tLeft Power Level\tRight Power Level", {NAN, -6.0206, -12.0412}},
                 {kLogPeakFrequencyAmplitude, kProcessTransferCoherenceLR, nullptr, {NAN, NAN, NAN, NAN, NAN}},
                 {kLogTHD, kProcessAverage, "Time\tTHD (%)", {NAN, NAN}},  // one channel logged
                 {kLogNoiseFigure, kProcessBoth, nullptr, {NAN, nf}},       // one value whatever the mode
                 {kLogTimeDelay, kProcessLeft, "Time\tDelay", {NAN, 12.5}}};  // the delay finder's value
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        auto [header, cells] = line(c.type, c.mode);
        if (c.header) {
            EXPECT_EQ(header, c.header);
        }
        EXPECT_EQ(Split(header).size(), cells.size());
        ASSERT_EQ(cells.size(), c.values.size());
        for (size_t i = 0; i < cells.size(); ++i) {
            if (!std::isnan(c.values[i])) {
                EXPECT_NEAR(std::stod(cells[i]), c.values[i], 0.02) << i;
            }
        }
    }
    // two-channel mode without a right spectrum writes no line
    TDataLog log(Settings(dir.File("none.txt"), kLogPeakFrequency), host);
    EXPECT_FALSE(log.LogSpectrum(pair.left.spectrum.get(), nullptr, 1.0, kProcessBoth));
}

TEST(DataLog, SpectrumValuesWithBandPowerColumns) {
    TempDir dir;
    ScriptedHost host;
    Pair pair;
    LoggingSettings s = Settings(dir.File("s.txt"), kLogSpectrumValues);
    s.UseFullSpan = 0;
    s.StartFreq = 990.0f;
    s.StopFreq = 1050.0f;  // bins 84 ... 90 at 11.72 Hz
    s.OstrelFlag = 1;
    {
        TDataLog log(s, host);
        ASSERT_TRUE(log.LogSpectrum(pair.left.spectrum.get(), pair.right.spectrum.get(), 2.0, kProcessBoth));
    }
    const std::vector<std::string> lines = Lines(ReadFile(dir.File("s.txt")));
    ASSERT_EQ(lines.size(), 5u);
    const std::vector<std::string> header = Split(lines[2]);
    const std::vector<std::string> values = Split(lines[4]);
    // 7 frequencies and Pwr, Pwr(A) per channel, an empty cell between the channels
    ASSERT_EQ(header.size(), 1u + 9 + 1 + 9);
    EXPECT_EQ(header[1], " 984.4");
    EXPECT_EQ(header[10], "");
    ASSERT_EQ(values.size(), header.size());
    for (int k = 0; k < 7; ++k) EXPECT_NEAR(std::stod(values[1 + k]), pair.left.spectrum->GetValue(84 + k), 5e-7);
    EXPECT_NEAR(std::stod(values[8]), 20 * std::log10(0.5), 0.01);
    EXPECT_NEAR(std::stod(values[9]), 20 * std::log10(0.5), 0.01);  // A weighting is 0 dB at 1 kHz
    EXPECT_NEAR(std::stod(values[18]), 20 * std::log10(0.25), 0.01);
    EXPECT_NEAR(std::stod(values[19]), 20 * std::log10(0.25) + 1.2, 0.05);  // +1.2 dB at 2 kHz
}

TEST(DataLog, FileFailuresLeaveNoTornLine) {
    TempDir dir;
    ScriptedHost host;
    Pair pair;
    for (const std::string& path : {dir.File("missing/log.txt"), std::string("/proc/zeltrak-log.txt")}) {
        TDataLog log(Settings(path, kLogPeakFrequency), host);
        EXPECT_TRUE(log.error());
        ASSERT_FALSE(host.messages.empty());
        EXPECT_NE(host.messages.back().text.find(path), std::string::npos);
        EXPECT_FALSE(log.LogSpectrum(pair.left.spectrum.get(), nullptr, 1.0, kProcessLeft));
    }

    // A second run on a log being written is refused and cuts nothing; a FIFO nobody reads
    // is refused at once.
    {
        const std::string shared = dir.File("shared.txt");
        LoggingSettings s = Settings(shared, kLogPeakFrequency);
        s.OverwriteFlag = 1;
        TDataLog first(s, host);
        ASSERT_TRUE(first.LogSpectrum(pair.left.spectrum.get(), nullptr, 1.0, kProcessLeft));
        const std::string before = ReadFile(shared);
        TDataLog second(s, host);
        EXPECT_TRUE(second.error());
        EXPECT_EQ(ReadFile(shared), before);
        const std::string fifo = dir.File("fifo.txt");
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        EXPECT_TRUE(TDataLog(Settings(fifo, kLogPeakFrequency), host).error());
    }

    // A disk that fills: the file may grow only so far.
    const std::string path = dir.File("full.txt");
    host.messages.clear();
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    int written = 0;
    {
        TDataLog log(Settings(path, kLogSpectrumValues), host);
        rlimit limit = old;
        limit.rlim_cur = 40000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        for (int i = 0; i < 20 && log.LogSpectrum(pair.left.spectrum.get(), nullptr, i, kProcessLeft); ++i) ++written;
        EXPECT_TRUE(log.error());
        EXPECT_FALSE(log.LogSpectrum(pair.left.spectrum.get(), nullptr, 99, kProcessLeft));
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    ASSERT_EQ(host.messages.size(), 1u);
    const std::string text = ReadFile(path);
    EXPECT_LT(text.size(), 40000u);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_GT(written, 0);
    EXPECT_EQ(Lines(text).size(), 4u + written);
}

TEST(DataLogger, StartStopViewAndDialogEnd) {
    TempDir dir;
    ScriptedHost host;
    TDataLogger logger(host);
    int statusChanges = 0;
    logger.SetStatusListener([&] { ++statusChanges; });
    logger.Settings().LogFileName = dir.File("v.txt");
    logger.Settings().LogViewerProgram = "notepad.exe";
    EXPECT_TRUE(logger.StartLogging());
    EXPECT_TRUE(logger.IsLogging());
    EXPECT_TRUE(logger.ViewLog());
    EXPECT_FALSE(logger.IsLogging());
    EXPECT_EQ(logger.LastLogFile(), dir.File("v.txt"));
    ASSERT_EQ(host.launches.size(), 1u);
    EXPECT_EQ(host.launches[0].argument, dir.File("v.txt"));
    EXPECT_EQ(statusChanges, 2);
    host.SetStartProgramResult(false);
    EXPECT_FALSE(logger.ViewLog());
    EXPECT_EQ(host.messages.size(), 1u);

    // Dialog accepted while logging was off: asked, and started on Yes only.
    LoggingSettings accepted = logger.Settings();
    accepted.DataType = kLogTHD;
    host.ScriptAnswers({Answer::No, Answer::Yes});
    logger.FinishDialog(accepted, false);
    EXPECT_FALSE(logger.IsLogging());
    EXPECT_EQ(logger.Settings().DataType, kLogTHD);
    logger.FinishDialog(accepted, false);
    EXPECT_TRUE(logger.IsLogging());
    ASSERT_EQ(host.questions.size(), 2u);
    // Cancelled while logging was on: logging resumes with the old settings, no question.
    logger.StopLogging();
    logger.FinishDialog(std::nullopt, true);
    EXPECT_TRUE(logger.IsLogging());
    EXPECT_EQ(host.questions.size(), 2u);
}

TEST(DataLogDialog, ValidationOrderMessagesAndDefaults) {
    LoggingSettings s;
    DataLogDialogFields f = DataLogDialogFields::From(s);
    f.fullSpan = false;
    f.startFreq = "500";
    f.stopFreq = "400";
    f.intervalSecs = "0";
    EXPECT_EQ(AcceptDataLogDialog(f, 22050, s).message, "Stop Frequency must be greater than Start Frequency");
    f.startFreq = "-5";
    EXPECT_EQ(AcceptDataLogDialog(f, 22050, s).message, "Start Frequency must be between    0.0 and 22050.0 Hz");
    f.startFreq = "0";
    f.stopFreq = "30000";
    EXPECT_EQ(AcceptDataLogDialog(f, 22050, s).message, "Stop Frequency must be between    0.0 and 22050.0 Hz");
    f.stopFreq = "2000";
    EXPECT_EQ(AcceptDataLogDialog(f, 0, s).message, "Update Interval must be between 1 and 3600 seconds.");
    f.intervalMode = false;  // the interval is not checked in every-spectrum mode
    f.threshold = "-60.5";
    f.dataType = kLogSNR;
    const DataLogDialogResult ok = AcceptDataLogDialog(f, 0, s);
    EXPECT_TRUE(ok.ok);
    EXPECT_EQ(s.IntervalFlag, 0);
    EXPECT_EQ(s.UseFullSpan, 0);
    EXPECT_FLOAT_EQ(s.StopFreq, 2000.0f);
    EXPECT_FLOAT_EQ(s.Threshold, -60.5f);
    EXPECT_EQ(s.DataType, kLogSNR);
    // fmax 10000 stands in when there is no spectrum
    f.stopFreq = "10001";
    EXPECT_FALSE(AcceptDataLogDialog(f, 0, s).ok);
}

TEST(LoggingSettings, IniRoundTripAndDefaults) {
    TIniStore ini;
    LoggingSettings s;
    ini.Parse("[Logging]\nIntervalSecs=2.5\nDataType=8\nLogFileName=" + std::string(300, 'x') + "\n");
    s.Load(ini);
    EXPECT_FLOAT_EQ(s.IntervalSecs, 2.5f);
    EXPECT_EQ(s.DataType, kLogSNR);
    EXPECT_EQ(s.LogFileName.size(), 259u);
    s.OstrelFlag = 1;
    TIniStore out;
    s.Store(out);
    LoggingSettings back;
    back.Load(out);
    EXPECT_EQ(back.OstrelFlag, 1);
    EXPECT_EQ(back.LogFileName, s.LogFileName);
}

TEST(CommandLine, LoggingOptions) {
    LoggingSettings s;
    bool enabled = false;
    std::vector<std::string> rest;
    std::string error;
    ASSERT_TRUE(ParseLoggingOptions({"in.wav", "--log", "out.txt", "--log-type=thdn", "--log-interval", "0",
                                     "--log-range", "100:5000", "--log-append", "--measure", "thd"},
                                    s, enabled, rest, error))
        << error;
    EXPECT_TRUE(enabled);
    EXPECT_EQ(s.LogFileName, "out.txt");
    EXPECT_EQ(s.DataType, kLogTHDN);
    EXPECT_EQ(s.IntervalFlag, 0);
    EXPECT_EQ(s.UseFullSpan, 0);
    EXPECT_FLOAT_EQ(s.StartFreq, 100.0f);
    EXPECT_EQ(s.OverwriteFlag, 0);
    EXPECT_EQ(rest, (std::vector<std::string>{"in.wav", "--measure", "thd"}));
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--log-type", "loudness"}, {"--log-interval", "0.5"}, {"--log-range", "500:100"}, {"--log"}}) {
        EXPECT_FALSE(ParseLoggingOptions(bad, s, enabled, rest, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace zeltrak
