// Export captions from settings, source and an injected local time, against lines written out by hand.
#include <gtest/gtest.h>

#include <ctime>

#include "views/export_caption.h"

namespace zeltrak {
namespace {

std::chrono::system_clock::time_point LocalTime(int year, int month, int day, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day, t.tm_hour = hour, t.tm_min = minute;
    t.tm_sec = 42, t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    while (n-- > 0) out += s;
    return out;
}

TEST(ExportCaption, NamesViewSourceDateAndTheSettingsThatShapeTheData) {
    struct Case {
        const char* view;
        uint32_t mode;
        const char* path;
        void (*edit)(ProcessingSettings&);
        std::chrono::system_clock::time_point when;
        const char* first;
        const char* second;
    };
    const std::string long_path = "/m/" + Repeat("ä", 20) + Repeat("x", 10) + Repeat("é", 20) + ".wav";
    const std::string long_first = "Spectrum — " + Repeat("ä", 19) + "…" + Repeat("é", 16) + ".wav — 2026-12-07 09:14";
    const Case cases[] = {
        {"Spectrum", kModePostProcessing, "/data/tone.wav",
         [](ProcessingSettings& p) {
             p.Settings().format = SampleFormat::Make(48000, 1, 2);
             p.Settings().AverageType = 1, p.Settings().AverageBlocks = 10;
         },
         LocalTime(2026, 12, 7, 9, 14), "Spectrum — tone.wav — 2026-12-07 09:14",
         "FFT 4096 · Hanning · Linear averaging 10 · Logarithmic (dB) · 48000 Hz"},
        // Live data name the input whatever file holds its history; options that are on appear.
        {"Phase", kModeRealTime, "/tmp/history.wav",
         [](ProcessingSettings& p) {
             SettingsBlock& s = p.Settings();
             s.FFTsize = 32768, s.SmoothingWindow = 1, s.PeakHold = 1, s.DecimationRatio = 4;
             p.Scaling().AmpScaleType = 0, p.Scaling().StandardWeighting = 1;
             p.Scaling().SpectralDensityFlag = 1, p.Scaling().SpectralDensityType = 1;
         },
         LocalTime(2027, 1, 5, 23, 59), "Phase — Real-Time input — 2027-01-05 23:59",
         "FFT 32768 · Blackman · Exponential averaging 1 · Peak Hold · Linear · Weighting A · "
         "PSD: Units/sqrt(Hz) · 44100 Hz · Decimation 4"},
        {"Time Series", kModeRecorder, "", [](ProcessingSettings&) {}, LocalTime(2026, 2, 28, 0, 0),
         "Time Series — Untitled — 2026-02-28 00:00",
         "FFT 4096 · Hanning · Exponential averaging 1 · Logarithmic (dB) · 44100 Hz"},
        {"Spectrum", kModePostProcessing, "C:\\rec\\take 1.wav", [](ProcessingSettings&) {}, LocalTime(2026, 12, 7, 9, 14),
         "Spectrum — take 1.wav — 2026-12-07 09:14", nullptr},
        // 54 characters, most of two bytes: the middle gives way, no character is cut in two.
        {"Spectrum", kModePostProcessing, long_path.c_str(), [](ProcessingSettings&) {}, LocalTime(2026, 12, 7, 9, 14),
         long_first.c_str(), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        TExportCaptionInputs inputs{c.view, c.path, {}};
        inputs.settings.Mode.OpMode = c.mode;
        c.edit(inputs.settings);
        const std::vector<std::string> lines = ExportCaptionLines(inputs, c.when);
        ASSERT_EQ(lines.size(), kCaptionLineCount);
        EXPECT_EQ(lines[0], c.first);
        if (c.second) EXPECT_EQ(lines[1], c.second);
    }
}

}  // namespace
}  // namespace zeltrak
