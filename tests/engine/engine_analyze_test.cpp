// The analyse command: a whole file analysed to CSV compared with a direct DFT of the same
// frames, and the runs it refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <complex>
#include <fstream>
#include <sstream>

#include "engine/analysis_reports.h"
#include "engine/analyze_command.h"
#include "engine_test_support.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

std::vector<std::vector<double>> ReadCsv(const std::string& path, std::string& header) {
    std::ifstream in(path);
    std::getline(in, header);
    std::vector<std::vector<double>> rows;
    for (std::string line, cell; std::getline(in, line);) {
        std::stringstream cells(line);
        for (rows.emplace_back(); std::getline(cells, cell, ',');) rows.back().push_back(std::stod(cell));
    }
    return rows;
}

TEST(AnalyzeRun, WholeFileMatchesADirectTransform) {
    // Stereo, 8 kHz: a tone plus deterministic noise on the left, half of it on the right.
    // FFT 256 with 50 % overlap over 2048 samples gives 15 frames, averaged to the end.
    constexpr uint32_t kN = 256, kLength = 2048;
    std::vector<int16_t> x(2 * kLength);
    uint32_t seed = 12345;
    for (uint32_t i = 0; i < kLength; ++i) {
        seed = seed * 1103515245u + 12345u;
        const double noise = static_cast<double>((seed >> 16) & 0x7FFF) / 32768.0 - 0.5;
        const double v = 12000 * std::sin(2 * M_PI * 1000.0 * i / 8000.0) + 3000 * noise;
        x[2 * i] = static_cast<int16_t>(std::lround(v));
        x[2 * i + 1] = static_cast<int16_t>(std::lround(v / 2));
    }
    testing::TempDir dir;
    const std::string in = dir.File("in.wav"), out = dir.File("out.csv");
    test::WriteWav16(in, 2, 8000, x);

    AnalyzeOptions o;
    std::string error;
    ASSERT_TRUE(ParseAnalyzeArguments({in, "--fft", "256", "--overlap", "50", "--window", "hanning", "-o", out}, o,
                                      error));
    ScriptedHost host;
    int lastPercent = -1;
    ASSERT_EQ(RunAnalyze(o, ProcessingSettings{}, CalibrationRecord{}, host, [&](int p) { lastPercent = p; }, error), 0) << error;
    EXPECT_EQ(lastPercent, 100);
    EXPECT_TRUE(host.messages.empty());

    std::string header;
    const auto rows = ReadCsv(out, header);
    EXPECT_EQ(header, "frequency_hz,left_db,right_db");  // a stereo file shows both channels
    ASSERT_EQ(rows.size(), kN / 2);

    // The same frames by a direct DFT with the Hanning window scaled to mean 1 (a tone on a
    // bin reads its level).
    std::vector<double> w(kN);
    double sum = 0.0;
    for (uint32_t i = 0; i < kN; ++i) sum += w[i] = 0.5 + 0.5 * std::cos(3.1415927 * (2.0 * i / (kN - 1) - 1.0));
    for (double& v : w) v *= kN / sum;
    for (int channel = 0; channel < 2; ++channel) {
        std::vector<double> power(kN / 2, 0.0);
        int frames = 0;
        for (uint32_t start = 0; start + kN <= kLength; start += kN / 2, ++frames) {
            for (uint32_t k = 0; k < kN / 2; ++k) {
                std::complex<double> sum = 0.0;
                for (uint32_t n = 0; n < kN; ++n)
                    sum += x[2 * (start + n) + channel] * w[n] * std::polar(1.0, -2 * M_PI * k * n / kN);
                power[k] += std::norm(2.0 * sum / (kN * 32767.0));
            }
            // Bin 0 carries DC and Nyquist together, as the packed real transform leaves them.
            double nyquist = 0.0;
            for (uint32_t n = 0; n < kN; ++n) nyquist += x[2 * (start + n) + channel] * w[n] * (n % 2 ? -1.0 : 1.0);
            power[0] += std::pow(2.0 * nyquist / (kN * 32767.0), 2);
        }
        ASSERT_EQ(frames, 15);
        for (uint32_t k = 0; k + 1 < kN / 2; ++k) {  // the last bin is never averaged
            ASSERT_NEAR(rows[k][0], k * 8000.0 / kN, 1e-3);
            EXPECT_NEAR(rows[k][1 + channel], 10 * std::log10(power[k] / frames), 0.02) << channel << " bin " << k;
        }
        EXPECT_EQ(rows[kN / 2 - 1][1 + channel], -999.9);
    }
    // Bin 32 is 1000 Hz: 12000 / 32767 of full scale.
    EXPECT_NEAR(rows[32][1], 20 * std::log10(12000.0 / 32767), 0.01);
    EXPECT_NEAR(rows[32][1] - rows[32][2], 20 * std::log10(2.0), 0.01);
}

TEST(AnalyzeRun, RefusalsAndFailures) {
    testing::TempDir dir;
    const std::string mono = dir.File("mono.wav");
    test::WriteWav16(mono, 1, 8000, std::vector<int16_t>(100, 0));
    ScriptedHost host;
    std::string error;
    AnalyzeOptions o;
    o.input = mono;
    o.channels = ChannelProcessingMode::Coherence;
    EXPECT_EQ(RunAnalyze(o, ProcessingSettings{}, CalibrationRecord{}, host, nullptr, error), 2);
    EXPECT_NE(error.find("stereo"), std::string::npos);
    // Too short for one FFT: the engine's own message, and a failure status.
    o.channels.reset();
    o.output = dir.File("short.csv");
    error.clear();
    {
        // Reports that outlive a failed run leave the engine before it goes (ASan sees it).
        ReportOptions ro;
        ro.measure = {kMeasureTHD};
        TAnalysisReports reports(host, ro, MeasurementContext{}, 0);
        EXPECT_EQ(RunAnalyze(o, ProcessingSettings{}, CalibrationRecord{}, host, nullptr, error, &reports), 1);
    }
    ASSERT_FALSE(host.messages.empty());
    EXPECT_NE(host.messages.back().text.find("not enough data samples"), std::string::npos);
    // A file that is not there, and an output that cannot be written.
    o.input = dir.File("missing.wav");
    EXPECT_EQ(RunAnalyze(o, ProcessingSettings{}, CalibrationRecord{}, host, nullptr, error), 1);
    o.input = mono;
    // an output that cannot be written, or a FIFO nobody reads (which must not hang)
    const std::string fifo = dir.File("fifo.csv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& output : {dir.File("no/such/dir/out.csv"), fifo}) {
        o.output = output;
        error.clear();
        EXPECT_EQ(RunAnalyze(o, ProcessingSettings{}, CalibrationRecord{}, host, nullptr, error), 1);
        EXPECT_NE(error.find("cannot write"), std::string::npos);
    }
}

}  // namespace
}  // namespace zeltrak
