// Sample buffers against a direct computation; wave files against hand-made bytes, sox and libsndfile,
// with the refusals of bad files and the data-loss cases (cut-short files, full disks, failed saves,
// a killed recording); settings files, atomic replacement, stale temporary files, the calibration record.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <tuple>

#include "files/atomic_file.h"
#include "files/ini_store.h"
#include "files/temp_files.h"
#include "files/wave_file.h"
#include "files/wave_strings.h"
#include "support/run_command.h"
#include "support/wave_builder.h"

namespace zeltrak {
namespace {

using namespace test;
using testing::HaveProgram;
using testing::ReadFile;
using testing::RunCommand;
using testing::RunQuiet;
using testing::TempDir;
using testing::WriteFile;

// Runs `body` (0 on success, else the number of a failed check) in a child process, for limits that must
// not touch the test runner or for what might block (the alarm ends it); a signal gives 100 + its number.
template <class F>
int InChild(F body, unsigned alarmSeconds = 0) {
    pid_t pid = fork();
    if (pid == 0) {
        if (alarmSeconds) alarm(alarmSeconds);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

constexpr uint16_t kModes[] = {TWaveFile::kMemoryMode, TWaveFile::kDiskMode};

CalibrationRecord SampleRecord() {
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.SetFilename("bench.cal");
    r.CalRatioLeft = 3.5f;
    r.SetLeftChannelName("Input");
    return r;
}

std::vector<uint8_t> CalChunk(const CalibrationRecord& r, uint32_t sizeField = 1024) {
    std::vector<uint8_t> v = {0x65, 0, 0, 0};  // our chunk id
    Put32(v, sizeField);
    const auto record = r.Serialize();
    return Cat(v, {record.begin(), record.end()});
}

using Said = std::vector<WaveFileMessage>;

// A wave file that hands what it says, its closing included, to `said`, as its owner would.
class HeardFile : public TWaveFile {
public:
    template <class... Args>
    explicit HeardFile(Said& said, Args&&... args) : TWaveFile(std::forward<Args>(args)...), said_(said) {
        Hear();
    }
    ~HeardFile() override {
        Close();
        Hear();
    }
    // Everything said so far.
    const Said& Hear() {
        for (auto& m : TakeMessages()) said_.push_back(std::move(m));
        return said_;
    }

private:
    Said& said_;
};

std::string Last(const Said& said) { return said.empty() ? "" : said.back().text; }

// What opening a file shows: its format, samples, calibration and every message said.
struct Opened {
    bool error = true;
    uint16_t storage = 0;
    SampleFormat format;
    std::vector<uint8_t> samples, lastChannel;
    std::optional<CalibrationRecord> calibration;
    Said said;
};

Opened Open(const std::string& name, uint16_t mode, bool backup, const std::string& work) {
    Opened o;
    {
        HeardFile w(o.said, name, mode, backup, work);
        o.error = w.Error();
        if (o.error) {
            EXPECT_EQ(w.Buffer(), nullptr);
        }
        o.format = w.Format();
        o.storage = w.StorageMode();
        o.samples.resize(o.error ? 0 : w.DataSize());
        EXPECT_EQ(w.ReadBytes(o.samples.data(), static_cast<uint32_t>(o.samples.size())), o.samples.size());
        std::vector<uint8_t> last(size_t{w.Length()} * o.format.bytesPerSample);
        if (!o.error && w.ReadChannel(last.data(), 0, w.Length(), o.format.channels - 1u)) o.lastChannel = last;
        if (w.CalibrationPresent()) o.calibration = w.GetCalibration();
    }
    return o;
}

// The raw encoding that sox should produce for a width.
std::string SoxRaw(int bits, const std::string& to) {
    return " -t raw -L -b " + std::to_string(bits) + (bits == 8 ? " -e unsigned-" : " -e signed-") + "integer " + to;
}

TEST(WaveData, PositionsLengthsAndSequentialBytesStayInside) {
    TWaveData w(100, SampleFormat::Make(8000, 1, 1));
    w.Seek(101);  // beyond the length: kept where it was
    EXPECT_EQ(w.Position(), 0u);
    w.Advance(40);
    EXPECT_EQ(w.Position(), 40u);
    w.Advance(1000);
    EXPECT_EQ(w.Position(), 99u);
    EXPECT_EQ(w.SecondsToFrames(0.0333333), 266u);  // truncated, not rounded
    // Growing fills the new frames with the 8-bit zero level; shrinking cuts the positions.
    ASSERT_TRUE(w.SetLength(150));
    for (uint32_t i = 100; i < 150; ++i) ASSERT_EQ(w.GetSample(i, 0, false), 127.0) << i;
    ASSERT_TRUE(w.PutSample(200, 120, 0));
    EXPECT_EQ(w.WrittenLength(), 121u);
    ASSERT_TRUE(w.SetLength(60));
    EXPECT_TRUE(w.Position() == 60 && w.WrittenLength() == 60 && w.DataSize() == 60);
    TWaveData s(4, SampleFormat::Make(8000, 2, 2));  // 16 bytes
    std::vector<uint8_t> block = {1, 2, 3, 4, 5, 6, 7, 8}, big(12, 9), out(12, 0xEE);
    ASSERT_TRUE(s.WriteBytes(block.data(), 8));
    EXPECT_EQ(s.WrittenLength(), 2u);
    EXPECT_FALSE(s.WriteBytes(big.data(), 12));  // refused and zeroed
    EXPECT_EQ(big, std::vector<uint8_t>(12, 0));
    EXPECT_EQ(s.Position(), 2u);
    EXPECT_DOUBLE_EQ(s.RemainingSeconds(), 8.0 / 32000);
    s.Seek(1);
    EXPECT_EQ(s.ReadBytes(out.data(), 12), 12u);
    EXPECT_EQ(out[0], 5);
    s.Seek(2);
    EXPECT_EQ(s.ReadBytes(out.data(), 12), 8u);  // 4 bytes past the end come back as zero
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 8, out.end()), std::vector<uint8_t>(4, 0));
    EXPECT_EQ(s.Position(), 3u);
}

TEST(WaveData, FullScaleRefusesBadValuesAndScalesCalibratedSamples) {
    TWaveData w(4, SampleFormat::Make(8000, 2, 2));
    w.SetFullScale(2.5f, 0.0f);
    EXPECT_TRUE(w.FullScaleLeft() == 2.5f && w.FullScaleRight() == 2.0f);  // not above 0: replaced
    w.SetFullScale(-1.0f, NAN);
    EXPECT_TRUE(w.FullScaleLeft() == 2.0f && w.FullScaleRight() == 2.0f);
    w.SetFullScale(10.0f, 1.0f);
    ASSERT_TRUE(w.PutSample(-16384, 1, 0) && w.PutSample(32767, 1, 1));
    EXPECT_NEAR(w.GetSample(1, 0, true), -16384.0 * 10.0 / 32767.0, 1e-5);
    EXPECT_NEAR(w.GetSample(1, 1, true), 1.0, 1e-6);
    EXPECT_EQ(w.GetSample(1, 0, false), -16384.0);
    TWaveData b(2, SampleFormat::Make(8000, 1, 1));  // 8-bit: calibrated relative to 127
    ASSERT_TRUE(b.PutSample(0, 0, 0));
    EXPECT_NEAR(b.GetSample(0, 0, true), -127.0 / 127.5, 1e-6);
}

TEST(WaveData, EveryWidthRefusesWhatItCannotHoldAndChannelsStayApart) {
    const int64_t top[] = {0, 255, 32767, 8388607, INT32_MAX};  // 8-bit samples are unsigned
    for (uint16_t bps = 1; bps <= 4; ++bps) {
        const int64_t lowest = bps == 1 ? 0 : -top[bps] - 1;
        TWaveData r(2, SampleFormat::Make(8000, 1, bps));
        if (bps < 4) {
            EXPECT_FALSE(r.PutSample(lowest - 1, 0, 0) || r.PutSample(top[bps] + 1, 0, 0)) << bps;
        }
        ASSERT_TRUE(r.PutSample(lowest, 1, 0) && r.PutSample(top[bps], 0, 0));
        EXPECT_EQ(std::pair(r.GetSample(1, 0, false), r.GetSample(0, 0, false)),  // sign-extended from the top bit
                  std::pair(double(lowest), double(top[bps])));
        EXPECT_FALSE(r.PutSample(5, 2, 0));  // past the length
    }
    // Past the end, the mono file's channel 1, and a write cut to fit.
    TWaveData b(10, SampleFormat::Make(8000, 1, 1));
    for (uint32_t i = 0; i < 10; ++i) ASSERT_TRUE(b.PutSample(i * 20, i, 0));
    std::vector<uint8_t> out(5, 0xAA);
    EXPECT_FALSE(b.ReadChannel(out.data(), 6, 5, 0));  // past the end: the zero level
    EXPECT_EQ(out, std::vector<uint8_t>(5, 127));
    ASSERT_TRUE(b.ReadChannel(out.data(), 5, 5, 1));
    EXPECT_EQ(out, (std::vector<uint8_t>{100, 120, 140, 160, 180}));
    TWaveData s(4, SampleFormat::Make(8000, 2, 2));
    EXPECT_EQ(s.WriteChannel(out.data(), 2, 2, 1), 2u);
    EXPECT_EQ(s.WriteChannel(out.data(), 2, 5, 0), 2u);
    const double high = int16_t(160 * 256 + 140);  // little-endian, signed
    EXPECT_EQ(std::tuple(s.GetSample(3, 1, false), s.GetSample(3, 0, false), s.GetSample(2, 1, false),
                         s.GetSample(1, 0, false)),
              std::tuple(high, high, 120 * 256 + 100.0, 0.0));
}

TEST(WaveData, StatisticsMatchADirectComputation) {
    TWaveData w(1000, SampleFormat::Make(8000, 2, 2));
    for (uint32_t i = 0; i < 1000; ++i) {
        const auto v = static_cast<int32_t>(std::lround(20000 * std::sin(i * 0.05) + 300 * std::cos(i * 1.7)));
        ASSERT_TRUE(w.PutSample(v, i, 1) && w.PutSample(-v / 2, i, 0));
    }
    for (auto [first, last] : {std::pair<uint32_t, uint32_t>{100, 899}, {990, 5000}}) {  // end cut to the last frame
        WaveStatistics direct{INT32_MAX, INT32_MIN, 0, 0, 0, 0}, s;
        for (uint32_t i = first; i <= std::min(last, 999u); ++i) {
            const auto v = static_cast<int32_t>(w.GetSample(i, 1, false));
            direct.minimum = std::min(direct.minimum, v);
            direct.maximum = std::max(direct.maximum, v);
            (v >= 0 ? direct.sumSquaresPositive : direct.sumSquaresNegative) += double(v) * v;
            ++(v >= 0 ? direct.countPositive : direct.countNegative);
        }
        const bool rms = first == 100;
        ASSERT_TRUE(w.Statistics(first, last, 1, rms, s));
        EXPECT_TRUE(s.minimum == direct.minimum && s.maximum == direct.maximum) << s.minimum << " " << s.maximum;
        if (!rms) continue;
        EXPECT_DOUBLE_EQ(s.sumSquaresPositive, direct.sumSquaresPositive);
        EXPECT_DOUBLE_EQ(s.sumSquaresNegative, direct.sumSquaresNegative);
        EXPECT_TRUE(s.countPositive == direct.countPositive && s.countNegative == direct.countNegative);
    }
    WaveStatistics s;
    EXPECT_FALSE(w.Statistics(1000, 2000, 0, false, s));
}

TEST(WaveData, SilenceClearAndDecimate) {
    TWaveData b(10, SampleFormat::Make(8000, 2, 1));
    for (uint32_t i = 0; i < 10; ++i) ASSERT_TRUE(b.PutSample(i, i, 0) && b.PutSample(200 + i, i, 1));
    ASSERT_TRUE(b.Silence(3, 4));  // memory mode: exactly the range
    const double silenced[] = {2, 127, 127, 5};
    for (uint32_t i = 2; i < 6; ++i) EXPECT_EQ(b.GetSample(i, 0, false), silenced[i - 2]) << i;
    ASSERT_TRUE(b.Decimate(3));  // keeps frames 0, 3, 6, 9
    EXPECT_EQ(b.Length(), 4u);
    const double kept[] = {0, 127, 6, 9};
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(b.GetSample(i, 0, false), kept[i]) << i;
    EXPECT_FALSE(b.Decimate(1));
    ASSERT_TRUE(b.ClearBuffer());
    for (uint32_t i = 0; i < b.DataSize(); ++i) ASSERT_EQ(b.Buffer()[i], 127);
}

TEST(WaveData, TriggerLevelsAndEdges) {
    // 16-bit: 25 % of 32767 = 8191 counts. 8-bit: 50 % is 127 + 64 = 191, mirrored at 63.
    TWaveData w(8, SampleFormat::Make(8000, 1, 2)), b(4, SampleFormat::Make(8000, 1, 1));
    const int32_t v[8] = {0, 3000, 8190, 8191, -9000, -1000, 9000, 0}, u[4] = {127, 150, 64, 63};
    for (uint32_t i = 0; i < 8; ++i) ASSERT_TRUE(w.PutSample(v[i], i, 0) && (i >= 4 || b.PutSample(u[i], i, 0)));
    const std::tuple<TWaveData*, WaveTrigger, uint32_t, int64_t> cases[] = {  // data, trigger, end, found at (-1 none)
        {&w, {0, 0, 25}, 8, 3}, {&w, {0, 1, 25}, 8, 4},
        {&w, {0, 0, 25}, 3, -1},  // the end is exclusive
        // Edges: a rise of 10000 at 6 (8000 at 5 and 5190 at 2 stay below), a fall of 17191 at 4.
        {&w, {1, 0, 25}, 8, 6}, {&w, {1, 1, 25}, 8, 4},
        {&w, {2, 0, 25}, 8, -1}, {&w, {0, 2, 25}, 8, -1},  // unknown kind or slope
        {&b, {0, 0, 50}, 4, -1}, {&b, {0, 1, 50}, 4, 3}, {&b, {1, 1, 50}, 4, 2},  // a fall of 86 >= 64
    };
    for (const auto& c : cases) {
        const auto& [data, trigger, end, at] = c;
        uint32_t found = 99;
        EXPECT_EQ(data->FindTrigger(trigger, 0, end, 0, &found), at >= 0) << &c - cases;
        if (at >= 0) {
            EXPECT_EQ(found, at) << &c - cases;
        }
    }
}

// Every width and channel count saved here reads back sample-exact in sox and libsndfile, and
// what sox writes opens here with the samples sox decodes, some of it cut inside a frame.
TEST(WaveFile, EveryWidthAndChannelCountSavesReadsBackElsewhereAndReopens) {
    TempDir dir, work;
    const std::string name = dir.File("rt.wav"), raw = work.File("x.raw"), theirs = work.File("sox.wav");
    auto soxMakes = [&](const std::string& type, int bits, int ch) {  // "wav" writes the extensible header
        return RunQuiet("sox -n -t " + type + " -b " + std::to_string(bits) + " -c " + std::to_string(ch) +
                        " -r 11025 " + theirs + " synth 0.05 sine 440" + (ch == 1 ? "" : " square 97") +
                        " vol 0.9") == 0 &&
               RunQuiet("sox " + theirs + SoxRaw(bits, raw)) == 0;
    };
    const bool sox = HaveProgram("sox"), sndfile = HaveProgram("sndfile-convert");
    const std::string pcm[] = {"u8", "16", "24", "32"};
    for (uint16_t bps = 1; bps <= 4; ++bps) {
        for (uint16_t ch = 1; ch <= 2; ++ch) {
            SCOPED_TRACE(::testing::Message() << "bytes " << bps << " channels " << ch);
            const uint32_t frames = 257;  // odd: 8- and 24-bit mono need the pad byte
            auto bytes = PatternBytes(frames * bps * ch, bps * 10 + ch);
            {
                TWaveFile w(frames + 50, SampleFormat::Make(44100, ch, bps));  // only what was written is saved
                ASSERT_TRUE(w.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size())));
                EXPECT_FALSE(w.Save());  // untitled: refused until named
                w.SetName(name);
                if (ch == 2) w.SetCalibration(SampleRecord());  // the trailing chunk must not disturb others
                ASSERT_TRUE(w.Save());
                EXPECT_TRUE(!w.Modified() && w.TakeMessages().empty());
            }
            const auto cal = ch == 2 ? CalChunk(SampleRecord()) : std::vector<uint8_t>{};
            EXPECT_EQ(ReadAll(name), Cat(SimpleWave(ch, bps, 44100, bytes), cal));
            if (sox) {
                ASSERT_EQ(RunQuiet("sox " + name + SoxRaw(bps * 8, raw)), 0);
                EXPECT_EQ(ReadAll(raw), bytes);
                ASSERT_TRUE(soxMakes((bps + ch) % 2 ? "wav" : "wavpcm", bps * 8, ch));
                if (ch == 2 && (bps == 2 || bps == 3)) {  // an interrupted download, cut inside a frame
                    const auto file = ReadAll(theirs);
                    WriteAll(theirs, {file.begin(), file.begin() + file.size() / 2 + 1});
                    ASSERT_EQ(RunQuiet("sox " + theirs + SoxRaw(bps * 8, raw)), 0);
                }
                for (uint16_t mode : kModes) EXPECT_EQ(Open(theirs, mode, true, work.path()).samples, ReadAll(raw));
            }
            if (sndfile) {
                ASSERT_EQ(RunQuiet("sndfile-convert -endian=little -pcm" + pcm[bps - 1] + " " + name + " " + raw), 0);
                EXPECT_EQ(ReadAll(raw), bytes);
            }
            std::vector<uint8_t> last;  // the last channel, as decoded here
            for (uint32_t i = 0; i < frames; ++i)
                last.insert(last.end(), &bytes[(i * ch + ch - 1) * bps], &bytes[(i * ch + ch) * bps]);
            for (uint16_t mode : kModes) {
                const Opened o = Open(name, mode, false, dir.path());
                EXPECT_TRUE(!o.error && o.said.empty() && o.format == SampleFormat::Make(44100, ch, bps));
                EXPECT_TRUE(o.samples == bytes && o.lastChannel == last);
                EXPECT_EQ(o.calibration, ch == 2 ? std::optional(SampleRecord()) : std::nullopt);
            }
        }
    }
    EXPECT_EQ(dir.Files().size(), 1u);  // no leftover of the atomic save
    // Float: sox rounds to 32-bit integers at 2^31, we truncate at 2^31 - 1: two steps apart at most.
    if (!sox) return;
    ASSERT_TRUE(soxMakes("wav -e floating-point", 32, 2));
    const auto reference = ReadAll(raw), ours = Open(theirs, TWaveFile::kDiskMode, true, work.path()).samples;
    ASSERT_EQ(ours.size(), reference.size());
    for (size_t i = 0; i + 4 <= ours.size(); i += 4)
        ASSERT_LE(std::llabs(int64_t{int32_t(Get32(ours, i))} - int32_t(Get32(reference, i))), 2) << i;
}

// What other tools write opens with its samples; a look without a backup changes nothing.
// Float samples open in memory as 32-bit integers: +-1.0 is full scale, 2^31 - 1; fractions
// truncate toward zero, overs saturate and NaN is silence.
TEST(WaveFile, ReadsTheLayoutsOtherToolsWrite) {
    TempDir dir;
    const std::string name = dir.File("f.wav");
    const auto samples = PatternBytes(12, 3);
    const auto mono16 = SimpleWave(1, 2, 8000, samples);
    CalibrationRecord unnamed = SampleRecord();  // a calibration chunk without channel names
    unnamed.SetLeftChannelName("");
    unnamed.SetRightChannelName("");
    const auto cal = CalChunk(unnamed);
    auto fmt = [&](std::vector<uint8_t> body, std::vector<uint8_t> between = {}, std::vector<uint8_t> data = {}) {
        return RiffWave({Chunk("fmt ", body), between, Chunk("data", data.empty() ? samples : data)});
    };
    const auto info = Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 1, 0, 0, 0, 'x', 0});
    std::vector<uint8_t> f32, f64, integers;
    for (double v : {0.5, -0.25, 1.0, -1.0, 3.0, std::nan(""), 1e-9, -1.5}) {
        Put32(f32, std::bit_cast<uint32_t>(static_cast<float>(v)));
        Put32(f64, static_cast<uint32_t>(std::bit_cast<uint64_t>(v)));
        Put32(f64, static_cast<uint32_t>(std::bit_cast<uint64_t>(v) >> 32));
    }
    for (int32_t v : {1073741823, -536870911, INT32_MAX, -INT32_MAX, INT32_MAX, 0, 2, INT32_MIN}) Put32(integers, v);
    const std::tuple<const char*, std::vector<uint8_t>, uint16_t, uint16_t, bool, std::vector<uint8_t>> cases[] = {
        // what, file, channels, bytes per sample, calibration present, the samples when not the ones written
        {"20 bits in 3 bytes", fmt(FmtBody(1, 1, 8000, 3, 20)), 1, 3, false, {}},
        {"12 bits in 2 bytes", fmt(FmtBody(1, 2, 8000, 4, 12)), 2, 2, false, {}},
        {"extensible, 24 valid bits in 32", fmt(ExtensibleFmtBody(1, 8000, 4, 32, 24, 1)), 1, 4, false, {}},
        {"block align 0", fmt(FmtBody(1, 1, 8000, 0, 0)), 1, 2, false, {}},
        {"block align 0, 8 bits", fmt(FmtBody(1, 1, 8000, 0, 8)), 1, 1, false, {}},
        {"data first", RiffWave({Chunk("data", samples), Chunk("fmt ", FmtBody(1, 1, 8000, 2, 16))}), 1, 2, false, {}},
        {"LIST before data", fmt(FmtBody(1, 1, 8000, 2, 16), info), 1, 2, false, {}},
        {"fmt ext., fact", fmt(Cat(FmtBody(1, 2, 8000, 4, 16), {0, 0}), Chunk("fact", {1, 2, 3, 4})), 2, 2, false, {}},
        {"partial last frame", fmt(FmtBody(1, 2, 8000, 4, 16), {}, Cat(samples, {7, 7, 7})), 2, 2, false, {}},
        {"calibration size 0", Cat(mono16, CalChunk(unnamed, 0)), 1, 2, true, {}},
        {"calibration size 1024", Cat(mono16, cal), 1, 2, true, {}},
        {"calibration cut short", Cat(mono16, {cal.begin(), cal.begin() + 500}), 1, 2, false, {}},
        {"calibration after another chunk", Cat(Cat(mono16, Chunk("junk", {1, 2, 3})), cal), 1, 2, true, {}},
        {"float", fmt(FmtBody(3, 1, 8000, 4, 32), {}, f32), 1, 4, false, integers},
        {"double", fmt(FmtBody(3, 2, 8000, 16, 64), {}, f64), 2, 4, false, integers},
        {"extensible float", fmt(ExtensibleFmtBody(2, 8000, 8, 32, 32, 3), {}, f32), 2, 4, false, integers},
    };
    for (const auto& [what, file, channels, bytesPerSample, calibration, converted] : cases) {
        SCOPED_TRACE(what);
        WriteAll(name, file);
        for (uint16_t mode : kModes) {
            const Opened o = Open(name, mode, false, dir.path());
            EXPECT_TRUE(!o.error && o.said.empty());
            EXPECT_EQ(o.format, SampleFormat::Make(8000, channels, bytesPerSample));
            EXPECT_EQ(o.samples, converted.empty() ? samples : converted);
            EXPECT_EQ(o.storage, converted.empty() ? mode : uint16_t{TWaveFile::kMemoryMode});  // converted in memory
            ASSERT_EQ(o.calibration.has_value(), calibration);
            if (calibration) {  // no names: the defaults
                EXPECT_EQ(o.calibration->LeftChannelName + std::string(o.calibration->RightChannelName) +
                              std::to_string(o.calibration->CalRatioLeft), "LeftRight3.500000");
            }
        }
        EXPECT_EQ(ReadAll(name), file);
    }
}

TEST(WaveFile, BadFilesAreRefusedWithTheirReasonAndNeverWritten) {
    TempDir dir;
    const std::string name = dir.File("bad.wav");
    const std::string invalid = kStrWaveFormatInvalid, some = invalid + ":", tag = invalid + ": format tag 0x";
    auto fmt16 = Chunk("fmt ", FmtBody(1, 2, 8000, 4, 16));
    auto data = Chunk("data", PatternBytes(16, 5));
    auto fmtOnly = [&](std::vector<uint8_t> body) { return RiffWave({Chunk("fmt ", body), data}); };
    auto fmt = [&](uint16_t format, uint16_t ch, uint32_t rate, uint16_t align, uint16_t bits) {
        return fmtOnly(FmtBody(format, ch, rate, align, bits));
    };
    auto cut = [](std::vector<uint8_t> v, size_t n) { return v.resize(n), v; };
    const auto empty = SimpleWave(1, 2, 8000, {});
    std::vector<uint8_t> unknownGuid = ExtensibleFmtBody(1, 8000, 2, 16, 16, 1);
    for (int i = 0; i < 16; ++i) unknownGuid[24 + i] = static_cast<uint8_t>(0x40 + i);
    const auto pastForm = RiffWave({fmt16, data}, 4 + 24 + 8);
    const std::tuple<const char*, std::vector<uint8_t>, std::string> cases[] = {
        // what, bytes, message: exact, or a prefix when ending in ':'
        {"empty file", {}, invalid}, {"random bytes", PatternBytes(300, 7), invalid},
        {"RIFF but not WAVE", Chunk("RIFF", {'A', 'V', 'I', ' ', 0, 0, 0, 0}), invalid},
        {"no fmt", RiffWave({data}), invalid}, {"no data", RiffWave({fmt16}), invalid},
        {"cut inside fmt", cut(empty, 30), some}, {"two data chunks", RiffWave({fmt16, data, data}), some},
        {"cut before data", cut(empty, 36), invalid + ": the file ends before its \"data\" chunk."},
        {"data past its RIFF form", cut(pastForm, pastForm.size() + 16), some},
        {"short fmt", fmtOnly(std::vector<uint8_t>(14, 1)), some}, {"rate 0", fmt(1, 1, 0, 2, 16), some},
        {"huge fmt", RiffWave({Chunk("fmt ", FmtBody(1, 1, 8000, 2, 16), 0x7FFFFFFF), data}), some},
        {"no channels", fmt(1, 0, 8000, 2, 16), some}, {"4 channels", fmt(1, 4, 8000, 8, 16), some},
        {"format tag 0", fmt(0, 1, 8000, 2, 16), tag + "0000 is not PCM or IEEE float."},
        {"format tag 0xFFFF", fmt(0xFFFF, 1, 8000, 2, 16), tag + "FFFF is not PCM or IEEE float."},
        {"AAC", fmt(0xFF, 2, 44100, 4, 16),
         invalid + ": the samples are stored as AAC (format tag 0x00FF), not as PCM or IEEE float."},
        {"A-law", fmt(6, 1, 8000, 1, 8), some}, {"IMA ADPCM", fmt(0x11, 1, 8000, 256, 4), some},
        {"extensible, unknown GUID", fmtOnly(unknownGuid),
         invalid + ": the extensible sub-format {43424140-4544-4746-4849-4A4B4C4D4E4F} is not PCM or IEEE float."},
        {"extensible mu-law", fmtOnly(ExtensibleFmtBody(1, 8000, 1, 8, 8, 7)), some},
        {"block align 3", fmt(1, 2, 8000, 3, 16), some}, {"48 bits", fmt(1, 1, 8000, 6, 48), some},
        {"16 bits in 3 bytes", fmt(1, 1, 8000, 3, 16),
         invalid + ": a block align of 3 bytes does not hold 1 channel(s) of 16-bit samples."},
        {"16 bits in 1 byte", fmt(1, 2, 8000, 2, 16), some}, {"0 bits", fmt(1, 1, 8000, 2, 0), some},
        {"extensible, valid bits over the container", fmtOnly(ExtensibleFmtBody(1, 8000, 2, 16, 24, 1)), some},
        {"float of 2 bytes", fmt(3, 1, 8000, 2, 16), some}, {"float 64 in 4", fmt(3, 1, 8000, 4, 64), some},
        // Nothing to load; a recording that never got a buffer is still a file that disk mode opens.
        {"empty data chunk", empty, ""},
    };
    for (const auto& [what, bytes, message] : cases) {
        SCOPED_TRACE(what);
        WriteAll(name, bytes);
        for (uint16_t mode : kModes) {
            for (bool backup : {false, true}) {
                const Opened o = Open(name, mode, backup, dir.path());
                EXPECT_EQ(o.error, !message.empty() || mode == TWaveFile::kMemoryMode);
                if (message.empty()) continue;
                ASSERT_EQ(o.said.size(), 1u);
                const auto& m = o.said[0].text;
                if (message.back() == ':')
                    EXPECT_TRUE(m.rfind(message + " ", 0) == 0 && m.size() > message.size() + 5) << m;
                else
                    EXPECT_EQ(m, message);
            }
        }
        EXPECT_EQ(ReadAll(name), bytes);  // never written to
    }
    EXPECT_EQ(dir.Files().size(), 1u);  // no working copy left behind
    // A missing file, and a FIFO without a writer, which would block a plain open (the alarm ends such a wait).
    const std::string fifo = dir.File("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.File("nothing.wav"), fifo}) {
        auto refused = [&](uint16_t mode) {
            const Opened o = Open(path, mode, mode == TWaveFile::kDiskMode, dir.path());
            return o.error && o.said.size() == 1 && o.said[0].text == "Failure Opening file: " + path;
        };
        EXPECT_EQ(InChild([&] { return refused(kModes[0]) && refused(kModes[1]) ? 0 : 1; }, 10), 0) << path;
    }
}

// Cut-short downloads and recordings claim sizes the file never reached; the whole frames
// that are there open with a note, and a save or a change writes the sizes of what is there.
TEST(WaveFile, CutShortFilesOpenWhatTheyHoldAndSaveTrueSizes) {
    TempDir dir, work;
    const std::string name = dir.File("cut.wav");
    auto stereo = PatternBytes(400, 8), mono8 = PatternBytes(100, 9);
    auto first = [](const std::vector<uint8_t>& v, size_t n) { return std::vector<uint8_t>(v.begin(), v.begin() + n); };
    auto fmt16 = Chunk("fmt ", FmtBody(1, 2, 8000, 4, 16));
    const auto s16 = first(stereo, 16);
    const std::tuple<const char*, std::vector<uint8_t>, uint16_t, uint16_t, std::vector<uint8_t>> cases[] = {
        // what, file, channels, bytes per sample, the whole frames the file holds
        {"cut inside a frame", first(SimpleWave(2, 2, 8000, stereo), 44 + 202), 2, 2, first(stereo, 200)},
        {"odd 8-bit length", first(SimpleWave(1, 1, 8000, mono8), 44 + 51), 1, 1, first(mono8, 51)},
        {"data size past the end", RiffWave({fmt16, Chunk("data", s16, 1 << 20)}), 2, 2, s16},
        {"data size 4 GB", RiffWave({fmt16, Chunk("data", s16, 0xFFFFFFF0ll)}), 2, 2, s16},
        {"RIFF size 4 GB", RiffWave({fmt16, Chunk("data", s16)}, 0xFFFFFFFFll), 2, 2, s16},
    };
    for (const auto& [what, file, channels, bytesPerSample, present] : cases) {
        SCOPED_TRACE(what);
        const uint32_t frameBytes = channels * bytesPerSample;
        char note[256];
        std::snprintf(note, sizeof note, kStrWaveCutShort, static_cast<uint32_t>(present.size() / frameBytes));
        for (uint16_t mode : kModes) {
            for (bool backup : {false, true}) {
                SCOPED_TRACE(::testing::Message() << "mode " << mode << " backup " << backup);
                WriteAll(name, file);
                const Opened o = Open(name, mode, backup, work.path());
                ASSERT_FALSE(o.error);
                ASSERT_EQ(o.said.size(), 1u);
                EXPECT_EQ(o.said[0].text, note);
                EXPECT_EQ(o.said[0].icon, MessageIcon::Information);
                EXPECT_EQ(o.samples, present);
                EXPECT_EQ(ReadAll(name), file);  // looking changes nothing
                ASSERT_TRUE(TWaveFile(name, mode, backup, work.path()).Save());
                EXPECT_EQ(ReadAll(name), SimpleWave(channels, bytesPerSample, 8000, present));
            }
        }
        // Changed in place and closed without a save: the sizes are made true as well.
        WriteAll(name, file);
        auto changed = present;
        std::fill_n(changed.begin(), frameBytes, 0x5A);
        ASSERT_TRUE(  // the file is closed at the end of this line
            TWaveFile(name, TWaveFile::kDiskMode, false, work.path()).WriteBytes(changed.data(), frameBytes));
        EXPECT_EQ(ReadAll(name), SimpleWave(channels, bytesPerSample, 8000, changed));
    }
    EXPECT_TRUE(work.Files().empty());
}

// Disk mode works on a backup copy, leaving the original alone until a save, or on the file
// itself, which then is a valid wave file at every moment; the chunks after the data survive.
TEST(WaveFile, DiskModeKeepsTheOriginalOrAValidFileAndTheTrailingChunks) {
    TempDir dir, work;
    const std::string name = dir.File("orig.wav"), other = dir.File("b.wav");
    auto list = Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o', 0});
    const auto fmt8 = Chunk("fmt ", FmtBody(1, 1, 8000, 1, 8)), cal = CalChunk(SampleRecord());
    auto wave = [&](const std::vector<uint8_t>& s) { return Cat(RiffWave({fmt8, Chunk("data", s), list}), cal); };
    for (bool backup : {false, true}) {
        SCOPED_TRACE(backup ? "backup copy" : "in place");
        auto samples = PatternBytes(21, 10);  // 8-bit mono, odd: pad byte before the LIST
        const auto original = wave(samples);
        WriteAll(name, original);
        Said said;
        {
            HeardFile w(said, name, TWaveFile::kDiskMode, backup, work.path());
            ASSERT_FALSE(w.Error());
            ASSERT_TRUE(w.PutSample(3, 9, 0));
            ASSERT_TRUE(w.Silence(3, 7) && w.Silence(12, 12));  // disk mode narrows to even frames: 4 to 6
            w.SeekToEnd();
            auto more = PatternBytes(6, 11);
            ASSERT_TRUE(w.WriteBytes(more.data(), 6));  // grows the data over the LIST chunk
            samples = Cat(samples, more);
            samples[9] = 3;
            std::fill_n(samples.begin() + 4, 3, 127);
            samples[12] = 127;
            if (backup) {
                EXPECT_EQ(ReadAll(name), original);
                ASSERT_TRUE(w.Save());
                EXPECT_FALSE(w.Modified());
            } else {
                EXPECT_EQ(ReadAll(name), SimpleWave(1, 1, 8000, samples));  // what a crash now would leave
            }
        }
        EXPECT_EQ(ReadAll(name), wave(samples));  // closed without a save in place: written back as well
        {
            HeardFile w(said, name, TWaveFile::kDiskMode, backup, work.path());
            ASSERT_TRUE(w.SetLength(4));  // a shrink, then a save under another name that goes on there
            w.SetName(other);
            ASSERT_TRUE(w.Save());
            if (!backup) {
                EXPECT_EQ(w.WorkingName(), other);
            }
            ASSERT_TRUE(w.PutSample(9, 1, 0));
        }
        EXPECT_EQ(ReadAll(name), backup ? wave(samples) : wave({samples.begin(), samples.begin() + 4}));
        samples.resize(4);
        if (!backup) samples[1] = 9;  // a backup copy keeps later changes until the next save
        EXPECT_EQ(ReadAll(other), wave(samples));
        EXPECT_TRUE(said.empty()) << Last(said);
        EXPECT_TRUE(work.Files().empty());  // the working copy is gone
    }
}

TEST(WaveFile, NewRecordingKeepsItsSizesCurrentAndMovesToItsName) {
    TempDir dir, work;
    Said said;
    std::vector<uint8_t> all;
    {
        HeardFile w(said, SampleFormat::Make(16000, 2, 3), false, work.path());
        ASSERT_FALSE(w.Error());
        EXPECT_TRUE(w.Untitled() && w.NewFile());
        const std::string temp = w.WorkingName();
        EXPECT_EQ(temp.rfind(work.path() + "/wav", 0), 0u);
        EXPECT_EQ(ReadAll(temp), SimpleWave(2, 3, 16000, {}));
        for (int i = 0; i < 5; ++i) {
            auto b = PatternBytes(6 * (50 + i), 20 + i);
            all = Cat(all, b);
            ASSERT_TRUE(w.WriteBytes(b.data(), static_cast<uint32_t>(b.size())));
            EXPECT_EQ(ReadAll(temp), SimpleWave(2, 3, 16000, all));  // a crash now loses nothing written
        }
        const auto disk = std::filesystem::space(work.path()).available;  // a RIFF file ends at 4 GB
        const double room = std::min<double>(static_cast<double>(disk), 4294967295.0 - 37) / 96000.0;
        EXPECT_NEAR(w.RemainingSeconds(), room, room * 0.01 + 1.0);
        w.SetName(dir.File("take1.wav"));
        w.SetCalibration(SampleRecord());
        ASSERT_TRUE(w.Save());
        EXPECT_TRUE(!w.NewFile() && work.Files().empty());  // renamed, not copied
        auto b = PatternBytes(60, 30);      // recording goes on into the named file, before the calibration chunk
        ASSERT_TRUE(w.WriteBytes(b.data(), 60));
        all = Cat(all, b);
    }
    EXPECT_EQ(ReadAll(dir.File("take1.wav")), Cat(SimpleWave(2, 3, 16000, all), CalChunk(SampleRecord())));

    HeardFile w(said, SampleFormat::Make(8000, 1, 2), true, work.path());  // with a backup copy
    auto b = PatternBytes(100, 40);
    ASSERT_TRUE(w.WriteBytes(b.data(), 100));
    EXPECT_FALSE(w.FinaliseAndClose());  // no name yet
    w.SetName(dir.File("kept.wav"));
    ASSERT_TRUE(w.FinaliseAndClose());
    EXPECT_TRUE(work.Files().empty() && w.GetName().empty() && w.Length() == 0);
    EXPECT_EQ(ReadAll(dir.File("kept.wav")), SimpleWave(1, 2, 8000, b));
    EXPECT_TRUE(w.Hear().empty()) << Last(said);
}

TEST(WaveFile, FailuresKeepTheSamplesAndSaySo) {
    TempDir dir, work;
    auto b = PatternBytes(1000, 60);
    const std::string bad = dir.File("missing-dir/x.wav");
    Said said;
    HeardFile w(said, 500, SampleFormat::Make(8000, 1, 2));
    ASSERT_TRUE(w.WriteBytes(b.data(), 1000));
    w.SetName(bad);
    EXPECT_FALSE(w.Save());
    EXPECT_TRUE(w.Modified() && !w.Error());
    EXPECT_EQ(Last(w.Hear()), "Failure Opening file: " + bad);
    w.SetName(dir.File("x.wav"));
    ASSERT_TRUE(w.Save());
    EXPECT_EQ(ReadAll(dir.File("x.wav")), SimpleWave(1, 2, 8000, b));
    // A recording whose rename and copy both fail stays in its working file.
    {
        HeardFile rec(said, SampleFormat::Make(8000, 1, 2), false, dir.path());
        ASSERT_TRUE(rec.WriteBytes(b.data(), 1000));
        rec.SetName(bad);
        EXPECT_FALSE(rec.Save());
        EXPECT_EQ(Last(rec.Hear()), "Failure writing wave file.");
        EXPECT_EQ(ReadAll(rec.WorkingName()), SimpleWave(1, 2, 8000, b));
        ASSERT_EQ(::unlink(rec.WorkingName().c_str()), 0);  // then someone else deletes it
    }
    EXPECT_EQ(Last(said), "Failure Deleting Temp file");

    // A full disk: room for the wave but not the calibration chunk header, then not the record
    // (saved without it); a recording refuses the buffer that does not fit and keeps what it had.
    signal(SIGXFSZ, SIG_IGN);  // exceeding the size limit must fail the write, not kill
    const std::tuple<uint64_t, std::string, std::string> cases[] = {  // file size limit, name, message
        {44 + 1000 + 4, "nocal.wav", kStrWaveCalChunkCreateFailure},
        {44 + 1000 + 100, "shortcal.wav", kStrWaveCalChunkWriteFailure},
        {44 + 2000 + 1000, "full.wav", ""}};
    for (const auto& [limit, name, message] : cases) {
        const int failed = InChild([&] {
            rlimit lim{limit, limit};
            setrlimit(RLIMIT_FSIZE, &lim);
            Said h;
            if (message.empty()) {
                TWaveFile r(SampleFormat::Make(8000, 1, 2), false, work.path());
                if (!r.WriteBytes(b.data(), 1000) || !r.WriteBytes(b.data(), 1000)) return 1;
                std::vector<uint8_t> more(1200, 0x33);
                if (r.WriteBytes(more.data(), 1200) || more != std::vector<uint8_t>(1200, 0)) return 2;
                if (r.Error() || r.Length() != 1000) return 3;
                return rename(r.WorkingName().c_str(), dir.File(name).c_str());  // for the parent to inspect
            }
            HeardFile s(h, 500, SampleFormat::Make(8000, 1, 2));
            if (!s.WriteBytes(b.data(), 1000)) return 4;
            s.SetName(dir.File(name));
            s.SetCalibration(CalibrationRecord::Defaults());
            if (!s.Save() || s.CalibrationPresent()) return 5;
            return s.Hear().size() == 1 && Last(h) == message ? 0 : 6;
        });
        EXPECT_EQ(failed, 0) << name;
        EXPECT_EQ(ReadAll(dir.File(name)), SimpleWave(1, 2, 8000, message.empty() ? Cat(b, b) : b)) << name;
    }

#if !defined(__SANITIZE_ADDRESS__)
    // Too little memory to load: the message names what it would need.
    const std::string big = dir.File("big.wav");
    WriteAll(big, RiffWave({Chunk("fmt ", FmtBody(1, 2, 8000, 4, 16)), Chunk("data", {}, 64 << 20)}, 36 + (64 << 20)));
    ASSERT_EQ(::truncate(big.c_str(), 44 + (64 << 20)), 0);  // a sparse file of zero samples
    const int failed = InChild([&] {
        uint64_t pages = 0;  // address space for what the process already maps, plus too little for the samples
        std::ifstream("/proc/self/statm") >> pages;
        const rlimit lim{pages * sysconf(_SC_PAGESIZE) + (16u << 20), pages * sysconf(_SC_PAGESIZE) + (16u << 20)};
        if (setrlimit(RLIMIT_AS, &lim) != 0) return 1;
        const Opened o = Open(big, TWaveFile::kMemoryMode, false, "");
        if (!o.error || o.said.size() != 1) return 2;
        return o.said[0].text == "Insufficient memory to load wave data.  67108864 bytes needed." ? 0 : 3;
    });
    EXPECT_EQ(failed, 0);
#endif
}

// A recording process killed without warning must leave a valid wave file holding every
// buffer that was appended before the kill.
TEST(WaveFile, KilledRecordingLeavesAValidFileOfWholeBuffers) {
    constexpr uint32_t kFrames = 4410, kBytes = kFrames * 4;  // 16-bit stereo
    auto buffer = [](uint32_t k) { return PatternBytes(kBytes, 1000 + k); };
    TempDir dir;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TWaveFile w(SampleFormat::Make(44100, 2, 2), false, dir.path());
        if (w.Error()) _exit(2);
        for (uint32_t k = 0; k < 3000; ++k)
            if (!w.WriteBytes(buffer(k).data(), kBytes) || write(fds[1], "b", 1) != 1) _exit(3);
        for (;;) pause();
    }
    close(fds[1]);
    char c;
    int status = 0;
    uint32_t reported = 0;  // killed while writing flat out, after 25 buffers were reported done
    while (reported < 25 && read(fds[0], &c, 1) == 1) ++reported;
    kill(child, SIGKILL);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    while (read(fds[0], &c, 1) == 1) ++reported;  // what was done before the kill landed
    close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended by itself with " << WEXITSTATUS(status);
    ASSERT_GE(reported, 25u);
    ASSERT_EQ(dir.Files().size(), 1u);
    const std::string name = dir.File(dir.Files()[0]);
    for (uint16_t mode : kModes) {
        const Opened o = Open(name, mode, true, dir.path());
        ASSERT_FALSE(o.error);
        std::vector<uint8_t> written;  // and the one in flight
        for (uint32_t k = 0; k <= reported && written.size() < o.samples.size(); ++k)
            written = Cat(written, buffer(k));
        EXPECT_TRUE(written == o.samples && o.samples.size() >= reported * kBytes) << o.samples.size();
        if (mode == TWaveFile::kMemoryMode && HaveProgram("soxi")) {
            EXPECT_EQ(RunCommand("soxi -s " + name).second, std::to_string(o.samples.size() / 4) + "\n");
        }
    }
}

long Entries(const TempDir& dir) { return std::distance(std::filesystem::directory_iterator(dir.path()), {}); }

TEST(ReplaceFileAtomically, OldContentSurvivesAFailedWriteAndLinksAndPermissionsAreKept) {
    TempDir dir;
    const std::string real = dir.File("real.ini"), link = dir.File("link.ini");
    auto writes = [](const char* text) { return [=](int fd) { return WriteAll(fd, text, std::strlen(text)); }; };
    WriteFile(real, "old");
    chmod(real.c_str(), 0604);
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    EXPECT_EQ(ReplaceFileAtomically(real, [&](int fd) { return writes("half")(fd) && false; }),
              ReplaceResult::WriteFailed);
    EXPECT_EQ(ReadFile(real), "old");
    EXPECT_EQ(Entries(dir), 2);  // no sibling left
    ASSERT_EQ(ReplaceFileAtomically(link, writes("new")), ReplaceResult::Done);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(real), "new");
    EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms(0604));
    EXPECT_EQ(ReplaceFileAtomically(dir.File("no/dir/x"), [](int) { return true; }), ReplaceResult::CannotCreate);
}

// Temporary files of a run that was killed are removed at the next start; nobody else's are.
TEST(TempFiles, OnlyTheFilesOfEndedProcessesAreRemoved) {
    TempDir dir;
    const pid_t child = ::fork();
    if (child == 0) std::_Exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);  // its id now belongs to no process
    const std::string dead = "wav" + std::to_string(child) + "_a1B2c3";
    const std::string mine = TempFilePattern(dir.path()).substr(dir.path().size() + 1);
    const std::string kept[] = {"wav1_a1B2c3", "wavAbC123", "wav" + std::to_string(child) + "_toolong1", "notes.txt",
                                mine.substr(0, mine.size() - 6) + "q9Q9q9"};
    WriteFile(dir.File(dead), "x");
    for (const std::string& name : kept) WriteFile(dir.File(name), "x");
    EXPECT_EQ(RemoveStaleTempFiles(dir.path()), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File(dead)));
    for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(dir.File(name))) << name;
    EXPECT_EQ(RemoveStaleTempFiles(dir.File("missing")), 0);
}

const char* const kSample =
    "; settings written by hand\n[Settings]\nFFTsize=8192\n  Averageblocks = 16  \n; a comment between keys\n"
    "Unknown Key=kept\n\n[ViewStatus]\nPeak Freq=1\nLabel=\"quoted value\"\n\n[Foreign]\nx=y\n";

// Names compare without case, fixed fields cut their values, and junk, a 3 MB line and an
// unclosed bracket lose nothing when another key is rewritten.
TEST(IniStore, ReadsNamesWithoutCaseAndRewritesAroundJunk) {
    TIniStore ini;
    ini.Parse(kSample);
    EXPECT_EQ(ini.GetString("settings", "FFTSIZE", "?") + ini.GetString("ViewStatus", "Label", ""), "8192quoted value");
    EXPECT_EQ(std::tuple(ini.GetInt("SETTINGS", "AverageBlocks", 0), ini.GetInt("viewstatus", "peak freq", 0)),
              std::tuple(16, 1));
    EXPECT_EQ(ini.GetString("NoSuchSection", "FFTsize", "fallback"), "fallback");
    EXPECT_EQ(ini.GetInt("Settings", "Missing", -7), -7);
    std::mt19937 rng(1234);
    std::string junk(4096, '\0');
    for (char& c : junk) c = static_cast<char>(rng() & 0xFF);
    const std::string longLine(3 * 1024 * 1024, 'v');
    const std::string text = "[Good]\n;k=1\nfirst=1\n" + junk + "\n[Broken\nsecond=2\nlong=" + longLine +
                             "\nName=" + std::string(100, 'x') + "\n[Later]\nthird=3\n";
    ini.Parse(text);
    EXPECT_FALSE(ini.HasKey("Good", ";k"));  // a comment, even with an equals sign
    EXPECT_EQ(ini.GetInt("Good", "second", 0), 2);  // an unclosed bracket is no header
    EXPECT_EQ(ini.GetString("Good", "long", "").size(), longLine.size());
    EXPECT_EQ(ini.GetString("Good", "Name", "", 40), std::string(39, 'x'));
    EXPECT_EQ(ini.GetString("A", "Missing", "abcdef", 4), "abc");  // the field cannot hold more either way
    ini.SetInt("Later", "third", 4);
    std::string expected = text;  // everything else survives the rewrite byte for byte
    expected.replace(expected.rfind("third=3"), 7, "third=4");
    EXPECT_EQ(ini.Text(), expected);
}

TEST(IniStore, DecimalConversionsStopAtJunk) {
    const std::pair<const char*, int64_t> ints[] = {
        {"  42abc", 42}, {"-17", -17}, {"+5", 5}, {"", 0}, {"abc", 0}, {"3000000000", 3000000000LL},
        {"99999999999999999999999", INT64_MAX}, {"-99999999999999999999999", INT64_MIN}};
    for (const auto& [text, value] : ints) EXPECT_EQ(ParseDecimalInt(text), value) << text;
    // Decimal commas are not ours, whatever the locale; non-finite text is no number.
    const std::pair<const char*, double> doubles[] = {{"1.5", 1.5}, {" -0.25xyz", -0.25}, {"3e2", 300.0}, {"1,5", 1.0},
                                                      {"junk", 0.0}, {"nan", 0.0}, {"-inf", 0.0}, {".5", 0.5}};
    for (const auto& [text, value] : doubles) EXPECT_DOUBLE_EQ(ParseDecimalDouble(text), value) << text;
    EXPECT_TRUE(std::isinf(ParseDecimalDouble("1e999")));
}

TEST(IniStore, LineEndingsAndByteOrderMarkReadAlikeAndAreWrittenBack) {
    std::string crlf, doubled;
    for (const char* p = kSample; *p; ++p) crlf += *p == '\n' ? std::string("\r\n") : std::string(1, *p);
    for (char c : crlf) doubled += c == '\n' ? "\r\n" : std::string(1, c);  // CR LF converted once more
    const std::string bom = "\xEF\xBB\xBF";
    const std::pair<std::string, std::string> cases[] = {  // text, written back untouched
        {crlf, crlf}, {bom + kSample, bom + kSample}, {bom + crlf, bom + crlf}, {crlf.substr(0, crlf.size() - 1), crlf},
        {doubled, crlf}};
    for (const auto& [text, written] : cases) {
        TIniStore ini;
        ini.Parse(text);
        EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"Settings", "ViewStatus", "Foreign"})) << text;
        EXPECT_EQ(ini.Keys("settings"), (std::vector<std::string>{"FFTsize", "Averageblocks", "Unknown Key"}));
        EXPECT_EQ(ini.GetString("Settings", "Unknown Key", "") + ini.GetString("ViewStatus", "Label", ""),
                  "keptquoted value");
        EXPECT_EQ(ini.Text(), written);
    }
}

TEST(IniStore, EditsTouchOnlyTheirLines) {
    TIniStore ini;
    ini.Parse(kSample);
    ini.SetInt("SETTINGS", "fftsize", 16384);
    ini.SetDouble("Settings", "DelayTimeMsec", 1.25);
    ini.SetString("Paths", "Wav", "..\\.\\wave");
    // Only the changed line differs; a new key follows its section's last key, a new section goes last.
    std::string expected = kSample;
    expected.replace(expected.find("FFTsize=8192"), 12, "FFTsize=16384");
    expected.replace(expected.find("kept\n"), 5, "kept\nDelayTimeMsec=1.250000\n");
    EXPECT_EQ(ini.Text(), expected + "\n[Paths]\nWav=..\\.\\wave\n");
    ini.DeleteKey("Settings", "Unknown Key");
    ini.DeleteSection("viewstatus");
    expected.erase(expected.find("Unknown Key=kept\n"), 17);
    expected.erase(expected.find("[ViewStatus]"), expected.find("[Foreign]") - expected.find("[ViewStatus]"));
    EXPECT_EQ(ini.Text(), expected + "\n[Paths]\nWav=..\\.\\wave\n");
    const std::pair<std::string, std::string> values[] = {  // value, line written
        {"plain value", "k=plain value"}, {"", "k="}, {"\"", "k=\""}, {"a \"b\" c", "k=a \"b\" c"},
        {"cut at its field ", "k=\"cut at its field \""}, {"\tlead", "k=\"\tlead\""}, {"  ", "k=\"  \""},
        {"\"quoted\"", "k=\"\"quoted\"\""}, {"'single'", "k=\"'single'\""}, {"cr\r", "k=\"cr\r\""}};
    for (const auto& [value, line] : values) {
        ini.Parse("");
        ini.SetString("A", "k", value);
        EXPECT_EQ(ini.Text(), "[A]\n" + line + "\n");
        ini.Parse(ini.Text());
        EXPECT_EQ(ini.GetString("A", "k", "?"), value) << line;
    }
}

// A save keeps foreign lines and CR LF and fails cleanly; only regular files up to the limit
// load, and what could not be loaded is never replaced.
TEST(IniStore, SavesInPlaceAndNeverReplacesWhatItCouldNotLoad) {
    TempDir dir;
    const std::string path = dir.File("zeltrak.ini"), huge = dir.File("huge.ini"), fifo = dir.File("fifo.ini");
    TIniStore ini;
    EXPECT_FALSE(ini.Load(dir.File("absent.ini")));
    EXPECT_TRUE(ini.Sections().empty());
    WriteFile(path, "[A]\r\nk=1\r\n; note\r\n[B]\r\nother=stays\r\n");
    ASSERT_TRUE(ini.Load(path));
    ini.SetInt("A", "k", 2);
    ini.SetInt("A", "n", 3);
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(path), "[A]\r\nk=2\r\n; note\r\nn=3\r\n[B]\r\nother=stays\r\n");
    EXPECT_FALSE(ini.SaveAs(dir.File("no/such/folder/x.ini")));
    EXPECT_FALSE(ini.SaveAs(""));
    std::string head = "[A]\nk=1\n";
    head.resize(TIniStore::kMaxFileBytes + 1, 'z');
    WriteFile(huge, head);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Entries(dir), 3);  // no temporary file left by the saves
    // In a child: a FIFO without a writer blocks a plain open, /dev/zero never ends.
    const int failed = InChild(
        [&] {
            const std::string paths[] = {huge, fifo, "/dev/zero"};
            for (int i = 0; i < 3; ++i) {
                TIniStore bad;
                if (bad.Load(paths[i]) || !bad.Sections().empty()) return 10 * i + 1;
                bad.SetInt("A", "k", 2);
                if (i < 2 && bad.Save()) return 10 * i + 2;  // the device is no test's to risk
            }
            return 0;
        },
        10);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(std::filesystem::file_size(huge), TIniStore::kMaxFileBytes + 1);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    head.resize(TIniStore::kMaxFileBytes);  // exactly at the limit is still a settings file
    WriteFile(huge, head);
    EXPECT_TRUE(ini.Load(huge));
    EXPECT_EQ(ini.GetInt("A", "k", 0), 1);
}

// The record's bytes, laid out here by hand, are what other programs read from a wave file's
// calibration chunk; texts without a terminator or too long stay inside their fields.
TEST(CalibrationRecord, ReadsAndWritesEveryFieldAtItsOffset) {
    std::vector<uint8_t> raw;
    const std::pair<size_t, uint32_t> words[] = {{0, 1}, {264, std::bit_cast<uint32_t>(94.0f)}, {268, 1}, {272, 2},
                                                 {396, 1}, {400, std::bit_cast<uint32_t>(0.25f)},
                                                 {412, std::bit_cast<uint32_t>(-7.25f)}, {416, 4}, {420, 1}};
    for (const auto& [at, v] : words) raw.resize(at), test::Put32(raw, v);
    raw.resize(1024);
    const std::pair<size_t, std::string> texts[] = {
        {4, "/lab/mic 4189.cal"}, {276, "Pascals rms"}, {336, "dB SPL"}, {424, "Mic A"}};
    for (const auto& [at, text] : texts) std::copy(text.begin(), text.end(), raw.begin() + at);
    std::fill_n(raw.begin() + 464, 40, 'R');  // no terminator in the file
    CalibrationRecord r = CalibrationRecord::Deserialize(raw.data());
    EXPECT_EQ(std::tuple(r.RefLevel, r.CalRatioRight, r.IntegrationType), std::tuple(94.0f, -7.25f, 1));
    EXPECT_STREQ(r.LabelLog, "dB SPL");
    EXPECT_EQ(std::string(r.RightChannelName), std::string(39, 'R'));
    raw[464 + 39] = 0;
    const auto back = r.Serialize();
    EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.end()), raw);
    r.SetLabelLinear(std::string(100, 'x'));
    EXPECT_EQ(std::string(r.LabelLinear), std::string(59, 'x'));
    EXPECT_EQ(r.Serialize()[276 + 59], 0);
}

}  // namespace
}  // namespace zeltrak
