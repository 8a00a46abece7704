#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstring>
#include <cstdio>
#include <string>

#include "files/ini_store.h"
#include "files/wave_file.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wave_builder.h"
#include "utilities/reverb_analysis.h"
#include "utilities/reverb_command.h"
#include "utilities/reverb_file.h"
#include "utilities/reverb_strings.h"
#include "utilities/reverb_test_room.h"
#include "utilities/reverb_text.h"

namespace zeltrak {
namespace {

using namespace reverb_test;

// One band falling `slope` dB/s from 0 dB, frames every 10 ms for `seconds`.
ReverbData LinearDecay(double slope, double seconds, float maxDecay) {
    ReverbData data;
    data.bandCount = 1;
    data.timing = MakeReverbTiming(static_cast<int32_t>(maxDecay));
    data.timing.frameStep = 0.01f;
    for (int f = 0; f * 0.01 <= seconds; ++f) {
        ReverbFrame frame = ClearedReverbFrame();
        frame.frequency[0] = 1000.0f;
        frame.time = 0.01f * f;
        frame.level[0] = static_cast<float>(-slope * 0.01 * f);
        data.frames.push_back(frame);
    }
    return data;
}

TEST(ReverbTiming, FollowsTheMaximumDecayTime) {
    struct Case { int d; float noise, total; uint32_t capacity; };
    // capacity: trunc((D + 1) / 0.009287982), worked out by hand
    for (const Case c : {Case{2, 4.0f, 7.4f, 322}, Case{10, 10.0f, 21.4f, 1184}, Case{30, 30.0f, 61.4f, 3337}}) {
        const ReverbTiming t = MakeReverbTiming(c.d);
        EXPECT_FLOAT_EQ(t.noiseLength, c.noise) << c.d;
        EXPECT_FLOAT_EQ(t.total, c.total) << c.d;
        EXPECT_EQ(t.frameCapacity, c.capacity) << c.d;
    }
}

TEST(ReverbTimes, DropsAndExtrapolation) {
    struct Case {
        double slope, seconds;
        float maxDecay;
        ReverbSmoothing smoothing;
        ReverbExtrapolation method;
        float t10, t20, t30, t60;
    };
    using S = ReverbSmoothing;
    using E = ReverbExtrapolation;
    const Case cases[] = {
        {40, 2, 10, S::None, E::RT20, 0.25f, 0.5f, 0.75f, 1.5f},   // 20 dB at 0.5 s -> t60 1.5 s
        {40, 2, 10, S::None, E::RT10, 0.25f, 0.5f, 0.75f, 1.5f},
        {40, 2, 10, S::None, E::RT30, 0.25f, 0.5f, 0.75f, 1.5f},
        {25, 2, 10, S::None, E::RT30, 0.4f, 0.8f, 1.2f, 2.4f},
        {5, 3, 2, S::None, E::RT10, 0.0f, 0.0f, 0.0f, 0.0f},       // 10 dB only at D: everything 0
        {2, 3, 10, S::None, E::RT20, -1.0f, -2.0f, -3.0f, -6.0f},  // never 10 dB: -1 as it stands
        {2, 3, 10, S::None, E::RT10, -1.0f, -2.0f, -3.0f, -6.0f},
        // an exponential decay keeps its slope under backward integration
        {40, 4, 10, S::Schroeder, E::RT20, 0.25f, 0.5f, 0.75f, 1.5f},
        // a forward power average of a straight line is the line shifted by a constant
        {40, 2, 10, S::Averaging, E::RT20, 0.21f, 0.46f, 0.69f, 1.38f},
    };
    for (const Case& c : cases) {
        ReverbData data = LinearDecay(c.slope, c.seconds, c.maxDecay);
        ReverbOptions options;
        options.smoothing = c.smoothing;
        options.extrapolation = c.method;
        SmoothAndTimeReverb(data, options);
        const auto& t = data.results[0].time;
        const std::string what = std::to_string(c.slope) + " dB/s, method " + std::to_string(int(c.method));
        EXPECT_NEAR(t[0], c.t10, 0.011) << what;
        EXPECT_NEAR(t[1], c.t20, 0.011) << what;
        EXPECT_NEAR(t[2], c.t30, 0.016) << what;
        EXPECT_NEAR(t[5], c.t60, 0.031) << what;
    }
}

TEST(ReverbSync, TakesTheToneWithinHalfASecond) {
    // tone start -> the sync time used (frames start every 2048 samples, 46 ms)
    const double cases[][2] = {{0.8, 0.8}, {0.55, 0.55}, {1.0, 1.0}, {0.2, 0.8}, {0.15, 0.8}};
    for (const auto& c : cases) {
        const std::vector<float> x = Stimulus(c[0], 0.0, 1.5, kReverbRate);
        EXPECT_NEAR(FindReverbSync(x, kReverbRate, 0.8f), c[1], 2048.0 / kReverbRate) << c[0];
    }
    EXPECT_FLOAT_EQ(FindReverbSync(std::vector<float>(kReverbRate), kReverbRate, 0.8f), 0.8f);
    // a louder tone at 2 kHz is not the sync tone
    std::vector<float> x = Stimulus(0.8, 0.0, 1.5, kReverbRate);
    for (uint32_t i = 0; i < kReverbRate / 5; ++i) x[i + 13000] = static_cast<float>(20000 * std::sin(kPi * i / 11.025));
    EXPECT_NEAR(FindReverbSync(x, kReverbRate, 0.8f), 0.8, 2048.0 / kReverbRate);
}

// The stimulus of a measurement with D = 3 s played in a room: 9.24 s recorded.
std::unique_ptr<TWaveData> RoomRecording(const std::function<double(double)>& rt, double peak = 0.5) {
    const ReverbTiming t = MakeReverbTiming(3);
    const std::vector<float> x = Stimulus(t.syncStart, t.noiseLength, t.total * 1.1, kReverbRate);
    return Recording(x, ImpulseSpectrum(rt, kReverbRate), kReverbRate, 1, peak);
}

ReverbOptions ThreeSeconds(ReverbExtrapolation method = ReverbExtrapolation::RT30) {
    ReverbOptions options;
    options.maxDecayTime = 3;
    options.extrapolation = method;
    return options;
}

// Backward-integrated decays of a single noise burst, 250 Hz to 4 kHz. One decay of noise is
// itself random (a band's RT20 scatters by 3.5 % at 2 s and 10 % at 0.3 s from one noise to the
// next), so the mean over the 13 bands is held to 5 % of the room's decay time, and each band
// only to 25 %. A drop is dated by the first frame that reaches it, on average half a frame
// step late: 1.5 steps for RT20 = 3 t20 and one step for RT30 = 2 t30.
TEST(ReverbAnalysis, ReadsTheDecayTimeOfSyntheticRooms) {
    struct Room { const char* name; std::function<double(double)> rt; };
    const Room rooms[] = {
        {"0.3 s", [](double) { return 0.3; }},
        {"0.8 s", [](double) { return 0.8; }},
        {"2.0 s", [](double) { return 2.0; }},
        {"falling", [](double f) { return 1.2 * std::pow(1000.0 / std::clamp(f, 100.0, 10000.0), 0.25); }},
    };
    ReverbOptions options = ThreeSeconds();
    options.smoothing = ReverbSmoothing::Schroeder;
    for (const Room& room : rooms) {
        auto wave = RoomRecording(room.rt);
        ScriptedHost host;
        ReverbData data;
        ASSERT_EQ(AnalyseReverbRecording(*wave, options, data, host), ReverbOutcome::Done) << room.name;
        ASSERT_EQ(data.bandCount, kReverbBandSlots);
        const double lateness[2] = {1.5 * data.timing.frameStep, data.timing.frameStep};
        double error[2] = {0.0, 0.0};
        int bands = 0;
        for (int b = 0; b + 1 < data.bandCount; ++b) {
            const ReverbBandResult& r = data.results[b];
            if (r.frequency < 240.0f || r.frequency > 4100.0f) continue;
            const double truth = room.rt(r.frequency);
            const double measured[2] = {3.0 * r.time[1], 2.0 * r.time[2]};
            for (int k = 0; k < 2; ++k) {
                EXPECT_NEAR(measured[k], truth, 0.25 * truth)
                    << room.name << (k ? " RT30 at " : " RT20 at ") << r.frequency;
                error[k] += (measured[k] - lateness[k] - truth) / truth;
            }
            ++bands;
        }
        EXPECT_EQ(bands, 13);
        // levels relative to the first frame; the wideband total of a flat room decays as it does
        const ReverbBandResult& wide = data.results[kReverbBandSlots - 1];
        EXPECT_EQ(wide.frequency, kReverbWidebandFrequency);
        if (room.rt(100.0) == room.rt(10000.0)) {
            EXPECT_NEAR(2.0 * wide.time[2], room.rt(1000.0), 0.25 * room.rt(1000.0)) << room.name;
        }
        for (int b = 0; b < data.bandCount; ++b) EXPECT_EQ(data.frames[0].level[b], 0.0f);
        EXPECT_NEAR(error[0] / bands, 0.0, 0.05) << room.name << " RT20";
        EXPECT_NEAR(error[1] / bands, 0.0, 0.05) << room.name << " RT30";
    }
}

// Refused recordings leave the earlier results as they were.
TEST(ReverbAnalysis, RefusesBadRecordingsKeepingEarlierResults) {
    const auto flat = [](double) { return 0.5; };
    const ReverbTiming t = MakeReverbTiming(3);
    const std::vector<float> x = Stimulus(t.syncStart, t.noiseLength, t.total * 1.1, kReverbRate);
    // text: what the message starts with
    struct Case { double peak; double seconds; ReverbOptions options; ReverbOutcome outcome; const char* text; };
    ReverbOptions tooLong = ThreeSeconds();
    tooLong.maxDecayTime = 31;
    const Case cases[] = {
        {4.0, 9.24, ThreeSeconds(), ReverbOutcome::Overload, kReverbOverloadText},
        {0.005, 9.24, ThreeSeconds(), ReverbOutcome::TooLow, kReverbTooLowText},
        {0.5, 5.2, ThreeSeconds(), ReverbOutcome::TooShort, "The recording is too short for a maximum decay time of 3"},
        {0.5, 9.24, tooLong, ReverbOutcome::BadOptions, kReverbMaxDecayRangeText},
    };
    for (const Case& c : cases) {
        const size_t samples = std::min(x.size(), static_cast<size_t>(c.seconds * kReverbRate));
        const std::vector<float> cut(x.begin(), x.begin() + static_cast<long>(samples));
        auto wave = Recording(cut, ImpulseSpectrum(flat, kReverbRate), kReverbRate, 1, c.peak);
        ScriptedHost host;
        ReverbData data = LinearDecay(40, 1, 10);
        EXPECT_EQ(AnalyseReverbRecording(*wave, c.options, data, host), c.outcome) << c.peak;
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text.rfind(c.text, 0), 0u) << host.messages[0].text;
        EXPECT_EQ(data.frames.size(), 101u);
    }
}

TEST(ReverbFile, RoundTripAndLayout) {
    testing::TempDir dir;
    ReverbData data = LinearDecay(40, 2, 3);
    data.bandCount = 2;
    for (ReverbFrame& f : data.frames) f.frequency[1] = kReverbWidebandFrequency, f.level[1] = f.level[0] - 1.0f;
    ReverbOptions options;
    options.smoothing = ReverbSmoothing::None;
    SmoothAndTimeReverb(data, options);
    ScriptedHost host;
    data.modified = true;
    ASSERT_TRUE(SaveReverbFile(dir.File("a.rvb"), data, host));
    EXPECT_FALSE(data.modified);
    const std::vector<uint8_t> bytes = test::ReadAll(dir.File("a.rvb"));
    ASSERT_EQ(bytes.size(), 12u + 201u * 376u);
    EXPECT_EQ(test::Get32(bytes, 0), 13211u);
    EXPECT_EQ(test::Get32(bytes, 4), 2u);
    EXPECT_EQ(test::Get32(bytes, 8), 201u);
    const uint32_t level = test::Get32(bytes, 12 + 376 * 100 + 4 * 31);  // frame 100, band 0 level
    float value;
    std::memcpy(&value, &level, 4);
    EXPECT_FLOAT_EQ(value, -40.0f);

    ReverbData loaded;
    ASSERT_TRUE(LoadReverbFile(dir.File("a.rvb"), options, loaded, host));
    EXPECT_EQ(EncodeReverbFile(loaded), EncodeReverbFile(data));  // smoothed = levels under None
    EXPECT_EQ(options.displayedDecayTime, 2);
    EXPECT_NEAR(loaded.results[0].time[5], 1.5f, 0.031f);
    EXPECT_TRUE(loaded.present);
    EXPECT_TRUE(host.messages.empty());
}

TEST(ReverbFile, RefusesForeignOrDamagedFiles) {
    testing::TempDir dir;
    ReverbData data = LinearDecay(40, 1, 3);
    data.bandCount = 1;
    const std::vector<uint8_t> good = EncodeReverbFile(data);
    const auto with = [&](size_t at, uint32_t v) {
        std::vector<uint8_t> b = good;
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
        return b;
    };
    std::vector<uint8_t> noFrames = with(8, 0);
    noFrames.resize(12);
    // text: the refusal, or none for a file that loads
    const std::pair<std::vector<uint8_t>, const char*> cases[] = {
        {std::vector<uint8_t>(good.begin(), good.end() - 1), kReverbReadErrorText},
        {std::vector<uint8_t>(good.begin(), good.begin() + 8), kReverbReadErrorText},
        {with(0, 13212), kReverbInvalidFileText},
        {with(4, 32), kReverbInvalidFileText},
        {with(8, 102), kReverbReadErrorText},          // more frames than the file holds
        {with(8, 0x7fffffff), kReverbInvalidFileText},  // more than 30 s can give
        {with(8, 0xffffffff), kReverbInvalidFileText},
        {noFrames, nullptr},
    };
    for (const auto& [bytes, text] : cases) {
        test::WriteAll(dir.File("b.rvb"), bytes);
        ScriptedHost host;
        ReverbOptions options;
        ReverbData kept = LinearDecay(10, 0.5, 3);
        EXPECT_EQ(LoadReverbFile(dir.File("b.rvb"), options, kept, host), text == nullptr);
        EXPECT_EQ(host.messages.empty() ? "" : host.messages[0].text, text ? text : "");
        EXPECT_EQ(kept.frames.size(), text ? 51u : 0u);
    }
    ScriptedHost host;
    ReverbOptions options;
    EXPECT_FALSE(LoadReverbFile(dir.File("missing.rvb"), options, data, host));
    EXPECT_FALSE(SaveReverbFile(dir.File("no/such/dir.rvb"), data, host));
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].text, kReverbOpenFailedText);
    EXPECT_EQ(host.messages[1].text, kReverbCreateFailedText);
}

TEST(ReverbText, ThreeViews) {
    ReverbData data;
    data.bandCount = 2;
    ReverbFrame f = ClearedReverbFrame();
    f.frequency[0] = 1000.0f, f.frequency[1] = kReverbWidebandFrequency;
    f.smoothed[0] = -1.5f, f.smoothed[1] = -2.25f, f.time = 0.5f;
    data.frames = {f};
    data.results[0].frequency = 1000.0f, data.results[0].time[5] = 1.25f;
    data.results[1].frequency = kReverbWidebandFrequency, data.results[1].time[5] = 0.75f;
    EXPECT_EQ(ReverbTimesText(data, 5), "1000.000000\t1.250000\r\nWideband\t0.750000\r\n");
    EXPECT_EQ(ReverbDecayText(data, 1), "0.500000\t-2.250000\r\n");
    EXPECT_EQ(ReverbSurfaceText(data), "0.500000\t-1.500000\t-2.250000\t\r\n");
}

TEST(ReverbOptions, SettingsAndValidation) {
    ReverbOptions o;
    o.smoothing = ReverbSmoothing::Schroeder, o.extrapolation = ReverbExtrapolation::RT10, o.maxDecayTime = 30;
    o.displayedRTTime = 2, o.barColor = "255";
    TIniStore ini;
    WriteReverbOptions(ini, o);
    ReverbOptions back;
    ReadReverbOptions(ini, back);
    EXPECT_EQ(back.smoothing, o.smoothing);
    EXPECT_EQ(back.extrapolation, o.extrapolation);
    EXPECT_EQ(back.maxDecayTime, 30);
    EXPECT_EQ(back.displayedRTTime, 2);
    EXPECT_EQ(back.barColor, "255");
    for (const auto& [d, refused] : {std::pair{0, true}, {1, false}, {30, false}, {31, true}}) {
        o.maxDecayTime = d;
        EXPECT_EQ(ReverbOptionsError(o), refused ? kReverbMaxDecayRangeText : "") << d;
    }
}

// A stereo 48 kHz file: its first channel is analysed at its own rate.
TEST(ReverbCommand, PrintsTheBandTableOfARecordedFile) {
    testing::TempDir dir;
    const ReverbTiming t = MakeReverbTiming(3);
    auto wave = Recording(Stimulus(t.syncStart, t.noiseLength, 9.24, 48000),
                          ImpulseSpectrum([](double) { return 0.8; }, 48000), 48000, 2, 0.5);
    TWaveFile file(wave->Length(), wave->Format());  // the second channel stays silent
    std::vector<int16_t> samples(wave->Length());
    wave->ReadChannel(samples.data(), 0, wave->Length(), 0);
    file.WriteChannel(samples.data(), 0, wave->Length(), 0);
    file.SetName(dir.File("room.wav"));
    ASSERT_TRUE(file.Save());
    ScriptedHost host;
    std::string error;
    std::FILE* out = std::tmpfile();
    ASSERT_EQ(RunReverbCommand(dir.File("room.wav"), ThreeSeconds(), out, host, error), 0) << error;
    std::rewind(out);
    std::string text(1 << 16, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);

    ReverbData data;
    ASSERT_EQ(AnalyseReverbRecording(file, ThreeSeconds(), data, host), ReverbOutcome::Done);
    EXPECT_EQ(text, ReverbBandTable(data));
    EXPECT_FLOAT_EQ(data.timing.frameStep, 445.0f / 48000.0f);
    float rt20 = 0, rt30 = 0;
    ASSERT_EQ(std::sscanf(text.c_str() + text.find("\n1000.0\t"), "\n1000.0\t%f\t%f", &rt20, &rt30), 2) << text;
    EXPECT_NEAR(rt20, 3.0f * data.results[16].time[1], 0.0005f);
    EXPECT_NEAR(rt30, 2.0f * data.results[16].time[2], 0.0005f);
    EXPECT_NEAR(rt30, 0.8f, 0.15f * 0.8f);
    EXPECT_NE(text.find("Wideband\t"), std::string::npos);
    EXPECT_EQ(RunReverbCommand(dir.File("none.wav"), ThreeSeconds(), stdout, host, error), 1);
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace zeltrak
