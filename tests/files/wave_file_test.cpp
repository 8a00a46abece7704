// Wave files against bytes assembled by hand: every width and channel count, the files other
// tools write, refusals of bad files, and the data-loss cases (cut-short files, full disks,
// failed saves, a recording killed half way).
#include "files/wave_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <bit>
#include <cmath>

#include "files/wave_strings.h"
#include "files/wave_test_util.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

using namespace test;

constexpr uint16_t kModes[] = {TWaveFile::kMemoryMode, TWaveFile::kDiskMode};

CalibrationRecord SampleRecord() {
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.SetFilename("bench.cal");
    r.CalRatioLeft = 3.5f;
    r.SetLeftChannelName("Input");
    return r;
}

std::vector<uint8_t> CalChunk(const CalibrationRecord& r, uint32_t sizeField = 1024) {
    std::vector<uint8_t> v;
    Put32(v, 0x65);
    Put32(v, sizeField);
    const auto record = r.Serialize();
    return Cat(v, {record.begin(), record.end()});
}

std::vector<uint8_t> AllSamples(TWaveData& w) {
    std::vector<uint8_t> out(w.DataSize());
    w.Rewind();
    w.ReadBytes(out.data(), static_cast<uint32_t>(out.size()));
    w.Rewind();
    return out;
}

std::string Said(const ScriptedHost& h) { return h.messages.empty() ? "" : h.messages.back().text; }

TEST(WaveFile, EveryWidthAndChannelCountSavesAndReopensInBothModes) {
    TempDir dir;
    const std::string name = dir.File("rt.wav");
    for (uint16_t bps = 1; bps <= 4; ++bps) {
        for (uint16_t ch = 1; ch <= 2; ++ch) {
            SCOPED_TRACE(::testing::Message() << "bytes " << bps << " channels " << ch);
            ScriptedHost host;
            const uint32_t frames = 257;  // odd: 8- and 24-bit mono need the pad byte
            auto bytes = PatternBytes(frames * bps * ch, bps * 10 + ch);
            {
                TWaveFile w(host, frames + 50, SampleFormat::Make(44100, ch, bps));  // only what was written is saved
                ASSERT_TRUE(w.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size())));
                EXPECT_FALSE(w.Save());  // untitled: refused until named
                w.SetName(name);
                if (ch == 2) w.SetCalibration(SampleRecord());
                ASSERT_TRUE(w.Save());
                EXPECT_FALSE(w.Modified());
            }
            EXPECT_EQ(ReadAll(name), Cat(SimpleWave(ch, bps, 44100, bytes), ch == 2 ? CalChunk(SampleRecord()) : std::vector<uint8_t>{}));
            for (uint16_t mode : kModes) {
                TWaveFile r(host, name, mode, false, dir.Path());
                ASSERT_FALSE(r.Error()) << Said(host);
                EXPECT_EQ(r.Format(), SampleFormat::Make(44100, ch, bps));
                EXPECT_EQ(r.WrittenLength(), frames);
                EXPECT_EQ(r.DataOffset(), 44);
                EXPECT_EQ(AllSamples(r), bytes);
                EXPECT_EQ(r.CalibrationPresent(), ch == 2);
                if (ch == 2) EXPECT_EQ(r.GetCalibration(), SampleRecord());
                std::vector<uint8_t> chan(frames * bps);  // the last channel, against the bytes decoded here
                ASSERT_TRUE(r.ReadChannel(chan.data(), 0, frames, ch - 1));
                for (uint32_t i = 0; i < frames; ++i) ASSERT_EQ(0, std::memcmp(&chan[i * bps], &bytes[(i * ch + ch - 1) * bps], bps)) << i;
            }
            EXPECT_TRUE(host.messages.empty()) << Said(host);
        }
    }
    EXPECT_EQ(dir.Files().size(), 1u);  // no leftover of the atomic save
}

// What other tools write opens with its samples; a disk-mode look without a backup changes nothing.
TEST(WaveFile, ReadsTheLayoutsOtherToolsWrite) {
    TempDir dir;
    const std::string name = dir.File("f.wav");
    const auto samples = PatternBytes(12, 3);
    const auto mono16 = SimpleWave(1, 2, 8000, samples);
    CalibrationRecord unnamed = SampleRecord();  // a calibration chunk without channel names
    unnamed.SetLeftChannelName("");
    unnamed.SetRightChannelName("");
    auto fmt = [&](std::vector<uint8_t> body, std::vector<uint8_t> between = {}, std::vector<uint8_t> data = {}) {
        return RiffWave({Chunk("fmt ", body), between, Chunk("data", data.empty() ? samples : data)});
    };
    const struct {
        const char* what;
        std::vector<uint8_t> file;
        uint16_t channels, bytesPerSample;
        bool calibration;
    } cases[] = {
        {"20 bits in 3 bytes", fmt(FmtBody(1, 1, 8000, 3, 20)), 1, 3, false},
        {"12 bits in 2 bytes", fmt(FmtBody(1, 2, 8000, 4, 12)), 2, 2, false},
        {"extensible, 24 valid bits in 32", fmt(ExtensibleFmtBody(1, 8000, 4, 32, 24, 1)), 1, 4, false},
        {"block align 0", fmt(FmtBody(1, 1, 8000, 0, 0)), 1, 2, false},
        {"block align 0, 8 bits", fmt(FmtBody(1, 1, 8000, 0, 8)), 1, 1, false},
        {"data before fmt", RiffWave({Chunk("data", samples), Chunk("fmt ", FmtBody(1, 1, 8000, 2, 16))}), 1, 2, false},
        {"LIST before data", fmt(FmtBody(1, 1, 8000, 2, 16), Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 1, 0, 0, 0, 'x', 0})), 1, 2, false},
        {"fmt with extension and fact", fmt(Cat(FmtBody(1, 2, 8000, 4, 16), {0, 0}), Chunk("fact", {1, 2, 3, 4})), 2, 2, false},
        {"partial last frame", fmt(FmtBody(1, 2, 8000, 4, 16), {}, Cat(samples, {7, 7, 7})), 2, 2, false},
        {"calibration size 0", Cat(mono16, CalChunk(unnamed, 0)), 1, 2, true},
        {"calibration size 1024", Cat(mono16, CalChunk(unnamed)), 1, 2, true},
        {"calibration cut short", Cat(mono16, [&] { auto c = CalChunk(unnamed); c.resize(500); return c; }()), 1, 2, false},
        {"calibration after another chunk", Cat(Cat(mono16, Chunk("junk", {1, 2, 3})), CalChunk(unnamed)), 1, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(name, c.file);
        for (uint16_t mode : kModes) {
            ScriptedHost host;
            {
                TWaveFile w(host, name, mode, false, dir.Path());
                ASSERT_FALSE(w.Error()) << Said(host);
                EXPECT_EQ(w.Format(), SampleFormat::Make(8000, c.channels, c.bytesPerSample));
                EXPECT_EQ(w.Length(), 12u / (c.channels * c.bytesPerSample));
                EXPECT_EQ(AllSamples(w), samples);
                ASSERT_EQ(w.CalibrationPresent(), c.calibration);
                if (c.calibration) EXPECT_EQ(w.GetCalibration().LeftChannelName + std::string(w.GetCalibration().RightChannelName), "LeftRight");
                if (c.calibration) EXPECT_EQ(w.GetCalibration().CalRatioLeft, 3.5f);
            }
            EXPECT_TRUE(host.messages.empty()) << Said(host);
            EXPECT_EQ(ReadAll(name), c.file);
        }
    }
}

TEST(WaveFile, BadFilesAreRefusedWithTheirReasonAndNeverWritten) {
    TempDir dir;
    const std::string name = dir.File("bad.wav");
    const std::string invalid = kStrWaveFormatInvalid, some = invalid + ":";
    auto fmt16 = Chunk("fmt ", FmtBody(1, 2, 8000, 4, 16));
    auto data = Chunk("data", PatternBytes(16, 5));
    auto fmtOnly = [&](std::vector<uint8_t> body) { return RiffWave({Chunk("fmt ", body), data}); };
    auto cut = [](std::vector<uint8_t> v, size_t n) { return v.resize(n), v; };
    std::vector<uint8_t> unknownGuid = ExtensibleFmtBody(1, 8000, 2, 16, 16, 1);
    for (int i = 0; i < 16; ++i) unknownGuid[24 + i] = static_cast<uint8_t>(0x40 + i);
    const auto pastForm = RiffWave({fmt16, data}, 4 + 24 + 8);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        std::string message;  // exact, or a prefix when ending in ':'
    } cases[] = {
        {"empty file", {}, invalid},
        {"random bytes", PatternBytes(300, 7), invalid},
        {"RIFF but not WAVE", Chunk("RIFF", {'A', 'V', 'I', ' ', 0, 0, 0, 0}), invalid},
        {"no fmt", RiffWave({data}), invalid},
        {"no data", RiffWave({fmt16}), invalid},
        {"cut inside fmt", cut(SimpleWave(1, 2, 8000, {}), 30), some},
        {"cut before data", cut(SimpleWave(1, 2, 8000, {}), 36), invalid + ": the file ends before its \"data\" chunk."},
        {"data past its RIFF form", cut(pastForm, pastForm.size() + 16), some},
        {"short fmt", fmtOnly(std::vector<uint8_t>(14, 1)), some},
        {"huge fmt", RiffWave({Chunk("fmt ", FmtBody(1, 1, 8000, 2, 16), 0x7FFFFFFF), data}), some},
        {"two data chunks", RiffWave({fmt16, data, data}), some},
        {"no channels", fmtOnly(FmtBody(1, 0, 8000, 2, 16)), some},
        {"four channels", fmtOnly(FmtBody(1, 4, 8000, 8, 16)), some},
        {"rate 0", fmtOnly(FmtBody(1, 1, 0, 2, 16)), some},
        {"format tag 0", fmtOnly(FmtBody(0, 1, 8000, 2, 16)), invalid + ": format tag 0x0000 is not PCM or IEEE float."},
        {"format tag 0xFFFF", fmtOnly(FmtBody(0xFFFF, 1, 8000, 2, 16)), invalid + ": format tag 0xFFFF is not PCM or IEEE float."},
        {"AAC", fmtOnly(FmtBody(0xFF, 2, 44100, 4, 16)), invalid + ": the samples are stored as AAC (format tag 0x00FF), not as PCM or IEEE float."},
        {"A-law", fmtOnly(FmtBody(6, 1, 8000, 1, 8)), some},
        {"IMA ADPCM", fmtOnly(FmtBody(0x11, 1, 8000, 256, 4)), some},
        {"extensible, unknown GUID", fmtOnly(unknownGuid),
         invalid + ": the extensible sub-format {43424140-4544-4746-4849-4A4B4C4D4E4F} is not PCM or IEEE float."},
        {"extensible mu-law", fmtOnly(ExtensibleFmtBody(1, 8000, 1, 8, 8, 7)),
         invalid + ": the samples are stored as mu-law (extensible sub-format 0x0007), not as PCM or IEEE float."},
        {"inconsistent block align", fmtOnly(FmtBody(1, 2, 8000, 3, 16)), some},
        {"6 bytes per sample", fmtOnly(FmtBody(1, 1, 8000, 6, 48)), some},
        {"16 bits in 3 bytes", fmtOnly(FmtBody(1, 1, 8000, 3, 16)), invalid + ": a block align of 3 bytes does not hold 1 channel(s) of 16-bit samples."},
        {"16 bits in 1 byte", fmtOnly(FmtBody(1, 2, 8000, 2, 16)), some},
        {"0 bits", fmtOnly(FmtBody(1, 1, 8000, 2, 0)), some},
        {"extensible, valid bits over the container", fmtOnly(ExtensibleFmtBody(1, 8000, 2, 16, 24, 1)), some},
        {"float of 2 bytes", fmtOnly(FmtBody(3, 1, 8000, 2, 16)), some},
        {"float of 64 bits in 4 bytes", fmtOnly(FmtBody(3, 1, 8000, 4, 64)), some},
        // Nothing to load; a recording that never got a buffer is still a file that disk mode opens.
        {"empty data chunk", SimpleWave(1, 2, 8000, {}), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(name, c.bytes);
        for (uint16_t mode : kModes) {
            for (bool backup : {false, true}) {
                ScriptedHost host;
                {
                    TWaveFile w(host, name, mode, backup, dir.Path());
                    EXPECT_EQ(w.Error(), !c.message.empty() || mode == TWaveFile::kMemoryMode);
                    if (w.Error()) EXPECT_EQ(w.Buffer(), nullptr);
                }
                if (c.message.empty()) continue;
                ASSERT_EQ(host.messages.size(), 1u);
                const auto& m = host.messages[0].text;
                if (c.message.back() == ':')
                    EXPECT_TRUE(m.rfind(c.message + " ", 0) == 0 && m.size() > c.message.size() + 5) << m;
                else
                    EXPECT_EQ(m, c.message);
            }
        }
        EXPECT_EQ(ReadAll(name), c.bytes);  // never written to
    }
    EXPECT_EQ(dir.Files().size(), 1u);  // no working copy left behind
    // A missing file, and a FIFO without a writer, which would block a plain open for ever (the alarm ends such a wait).
    const std::string fifo = dir.File("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.File("nothing.wav"), fifo}) {
        EXPECT_EQ(InChild(
                      [&] {
                          for (uint16_t mode : kModes) {
                              ScriptedHost host;
                              TWaveFile w(host, path, mode, mode == TWaveFile::kDiskMode, dir.Path());
                              if (!w.Error() || host.messages.size() != 1 || Said(host) != "Failure Opening file: " + path) return 1 + mode;
                          }
                          return 0;
                      },
                      10),
                  0)
            << path;
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
    const struct {
        const char* what;
        std::vector<uint8_t> file;
        uint16_t channels, bytesPerSample;
        std::vector<uint8_t> present;  // the whole frames the file holds
    } cases[] = {
        {"cut inside a frame", first(SimpleWave(2, 2, 8000, stereo), 44 + 202), 2, 2, first(stereo, 200)},
        {"odd 8-bit length", first(SimpleWave(1, 1, 8000, mono8), 44 + 51), 1, 1, first(mono8, 51)},
        {"data size past the end", RiffWave({fmt16, Chunk("data", first(stereo, 16), 1 << 20)}), 2, 2, first(stereo, 16)},
        {"data size 4 GB", RiffWave({fmt16, Chunk("data", first(stereo, 16), 0xFFFFFFF0ll)}), 2, 2, first(stereo, 16)},
        {"RIFF size 4 GB", RiffWave({fmt16, Chunk("data", first(stereo, 16))}, 0xFFFFFFFFll), 2, 2, first(stereo, 16)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const uint32_t frames = static_cast<uint32_t>(c.present.size() / (c.channels * c.bytesPerSample));
        char note[256];
        std::snprintf(note, sizeof note, kStrWaveCutShort, frames);
        for (uint16_t mode : kModes) {
            for (bool backup : {false, true}) {
                SCOPED_TRACE(::testing::Message() << "mode " << mode << " backup " << backup);
                WriteAll(name, c.file);
                ScriptedHost host;
                {
                    TWaveFile w(host, name, mode, backup, work.Path());
                    ASSERT_FALSE(w.Error()) << Said(host);
                    ASSERT_EQ(host.messages.size(), 1u);
                    EXPECT_EQ(host.messages[0].text, note);
                    EXPECT_EQ(host.messages[0].icon, MessageIcon::Information);
                    EXPECT_EQ(AllSamples(w), c.present);
                }
                EXPECT_EQ(ReadAll(name), c.file);  // looking changes nothing
                ASSERT_TRUE(TWaveFile(host, name, mode, backup, work.Path()).Save());
                EXPECT_EQ(ReadAll(name), SimpleWave(c.channels, c.bytesPerSample, 8000, c.present));
            }
        }
        // Changed in place and closed without a save: the sizes are made true as well.
        WriteAll(name, c.file);
        auto changed = c.present;
        std::fill(changed.begin(), changed.begin() + c.channels * c.bytesPerSample, 0x5A);
        {
            ScriptedHost host;
            TWaveFile w(host, name, TWaveFile::kDiskMode, false, work.Path());
            ASSERT_TRUE(w.WriteBytes(changed.data(), c.channels * c.bytesPerSample));
        }
        EXPECT_EQ(ReadAll(name), SimpleWave(c.channels, c.bytesPerSample, 8000, changed));
    }
    EXPECT_TRUE(work.Files().empty());
}

TEST(WaveFile, FloatSamplesOpenAsThirtyTwoBitIntegers) {
    TempDir dir;
    const std::string name = dir.File("float.wav");
    // +-1.0 is full scale, 2^31 - 1; fractions truncate toward zero and overs saturate.
    const double values[] = {0.5, -0.25, 1.0, -1.0, 3.0, std::nan(""), 1e-9, -1.5};
    const int32_t expected[] = {1073741823, -536870911, 2147483647, -2147483647, INT32_MAX, 0, 2, INT32_MIN};
    std::vector<uint8_t> f32, f64;
    for (double v : values) {
        Put32(f32, std::bit_cast<uint32_t>(static_cast<float>(v)));
        Put32(f64, static_cast<uint32_t>(std::bit_cast<uint64_t>(v)));
        Put32(f64, static_cast<uint32_t>(std::bit_cast<uint64_t>(v) >> 32));
    }
    const std::pair<std::vector<uint8_t>, uint16_t> cases[] = {  // file, channels
        {RiffWave({Chunk("fmt ", FmtBody(3, 1, 48000, 4, 32)), Chunk("data", f32)}), 1},
        {RiffWave({Chunk("fmt ", FmtBody(3, 2, 48000, 16, 64)), Chunk("data", f64)}), 2},
        {RiffWave({Chunk("fmt ", ExtensibleFmtBody(2, 48000, 8, 32, 32, 3)), Chunk("data", f32)}), 2}};
    for (const auto& [file, channels] : cases) {
        WriteAll(name, file);
        for (uint16_t mode : kModes) {
            ScriptedHost host;
            TWaveFile w(host, name, mode, true, dir.Path());
            ASSERT_FALSE(w.Error());
            EXPECT_EQ(w.StorageMode(), TWaveFile::kMemoryMode);
            EXPECT_EQ(w.Format(), SampleFormat::Make(48000, channels, 4));
            EXPECT_EQ(w.Length(), 8u / channels);
            for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(w.GetSample(i / channels, i % channels, false), expected[i]) << i << " of " << file.size();
        }
    }
    EXPECT_EQ(dir.Files().size(), 1u);
}

// Disk mode works on a backup copy, leaving the original alone until a save, or on the file
// itself, which then is a valid wave file at every moment; the chunks after the data survive.
TEST(WaveFile, DiskModeKeepsTheOriginalOrAValidFileAndTheTrailingChunks) {
    TempDir dir, work;
    const std::string name = dir.File("orig.wav"), other = dir.File("b.wav");
    auto list = Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o', 0});
    auto wave = [&](const std::vector<uint8_t>& s) { return Cat(RiffWave({Chunk("fmt ", FmtBody(1, 1, 8000, 1, 8)), Chunk("data", s), list}), CalChunk(SampleRecord())); };
    for (bool backup : {false, true}) {
        SCOPED_TRACE(backup ? "backup copy" : "in place");
        auto samples = PatternBytes(21, 10);  // 8-bit mono, odd: pad byte before the LIST
        const auto original = wave(samples);
        WriteAll(name, original);
        struct stat before {}, during {}, copy {};
        ASSERT_EQ(::stat(name.c_str(), &before), 0);
        ScriptedHost host;
        {
            TWaveFile w(host, name, TWaveFile::kDiskMode, backup, work.Path());
            ASSERT_FALSE(w.Error());
            EXPECT_TRUE(w.CalibrationPresent());
            ASSERT_TRUE(w.PutSample(3, 9, 0));
            ASSERT_TRUE(w.Silence(3, 7) && w.Silence(12, 12));  // disk mode narrows to even frames: 4 to 6
            w.SeekToEnd();
            auto more = PatternBytes(6, 11);
            ASSERT_TRUE(w.WriteBytes(more.data(), 6));  // grows the data over the LIST chunk
            samples = Cat(samples, more);
            samples[9] = 3;
            std::fill_n(samples.begin() + 4, 3, 127);
            samples[12] = 127;
            ASSERT_EQ(::stat(name.c_str(), &during), 0);
            if (backup) {
                EXPECT_EQ(ReadAll(name), original);
                EXPECT_TRUE(during.st_mtim.tv_nsec == before.st_mtim.tv_nsec && during.st_ino == before.st_ino);
                EXPECT_EQ(w.WorkingName().rfind(work.Path() + "/wav", 0), 0u);
                ASSERT_EQ(::stat(w.WorkingName().c_str(), &copy), 0);
                EXPECT_EQ(copy.st_mode & 0777, 0600u);
                ASSERT_TRUE(w.Save());
                EXPECT_FALSE(w.Modified());
            } else {
                EXPECT_EQ(ReadAll(name), SimpleWave(1, 1, 8000, samples));  // what a crash now would leave
            }
        }
        EXPECT_EQ(ReadAll(name), wave(samples));  // closed without a save in place: written back as well
        {
            TWaveFile w(host, name, TWaveFile::kDiskMode, backup, work.Path());
            ASSERT_TRUE(w.SetLength(4));  // a shrink, then a save under another name that goes on there
            w.SetName(other);
            ASSERT_TRUE(w.Save());
            if (!backup) EXPECT_EQ(w.WorkingName(), other);
            ASSERT_TRUE(w.PutSample(9, 1, 0));
        }
        EXPECT_EQ(ReadAll(name), backup ? wave(samples) : wave({samples.begin(), samples.begin() + 4}));
        samples.resize(4);
        if (!backup) samples[1] = 9;  // a backup copy keeps later changes until the next save
        EXPECT_EQ(ReadAll(other), wave(samples));
        EXPECT_TRUE(host.messages.empty()) << Said(host);
        EXPECT_TRUE(work.Files().empty());  // the working copy is gone
    }
}

TEST(WaveFile, NewRecordingKeepsItsSizesCurrentAndMovesToItsName) {
    TempDir dir, work;
    ScriptedHost host;
    std::vector<uint8_t> all;
    {
        TWaveFile w(host, SampleFormat::Make(16000, 2, 3), false, work.Path());
        ASSERT_FALSE(w.Error());
        EXPECT_TRUE(w.Untitled() && w.NewFile());
        const std::string temp = w.WorkingName();
        EXPECT_EQ(temp.rfind(work.Path() + "/wav", 0), 0u);
        EXPECT_EQ(ReadAll(temp), SimpleWave(2, 3, 16000, {}));
        for (int i = 0; i < 5; ++i) {
            auto b = PatternBytes(6 * (50 + i), 20 + i);
            all = Cat(all, b);
            ASSERT_TRUE(w.WriteBytes(b.data(), static_cast<uint32_t>(b.size())));
            EXPECT_EQ(ReadAll(temp), SimpleWave(2, 3, 16000, all));  // a crash now loses nothing written
        }
        struct statvfs v {};
        ASSERT_EQ(::statvfs(work.Path().c_str(), &v), 0);
        const double room = std::min<double>(static_cast<double>(v.f_bavail) * v.f_frsize, 4294967295.0 - 37) / 96000.0;
        EXPECT_NEAR(w.RemainingSeconds(), room, room * 0.01 + 1.0);
        w.SetName(dir.File("take1.wav"));
        w.SetCalibration(SampleRecord());
        ASSERT_TRUE(w.Save());
        EXPECT_FALSE(w.NewFile());
        EXPECT_EQ(w.WorkingName(), dir.File("take1.wav"));
        EXPECT_TRUE(work.Files().empty());  // renamed, not copied
        auto b = PatternBytes(60, 30);      // recording goes on into the named file, before the calibration chunk
        ASSERT_TRUE(w.WriteBytes(b.data(), 60));
        all = Cat(all, b);
    }
    EXPECT_EQ(ReadAll(dir.File("take1.wav")), Cat(SimpleWave(2, 3, 16000, all), CalChunk(SampleRecord())));

    TWaveFile w(host, SampleFormat::Make(8000, 1, 2), true, work.Path());  // with a backup copy
    auto b = PatternBytes(100, 40);
    ASSERT_TRUE(w.WriteBytes(b.data(), 100));
    EXPECT_FALSE(w.FinaliseAndClose());  // no name yet
    w.SetName(dir.File("kept.wav"));
    ASSERT_TRUE(w.FinaliseAndClose());
    EXPECT_TRUE(work.Files().empty());
    EXPECT_EQ(w.GetName(), "");
    EXPECT_EQ(w.Length(), 0u);
    EXPECT_EQ(ReadAll(dir.File("kept.wav")), SimpleWave(1, 2, 8000, b));
    EXPECT_TRUE(host.messages.empty()) << Said(host);
}

TEST(WaveFile, FailuresKeepTheSamplesAndSaySo) {
    TempDir dir, work;
    auto b = PatternBytes(1000, 60);
    const std::string bad = dir.File("missing-dir/x.wav");
    ScriptedHost host;
    TWaveFile w(host, 500, SampleFormat::Make(8000, 1, 2));
    ASSERT_TRUE(w.WriteBytes(b.data(), 1000));
    w.SetName(bad);
    EXPECT_FALSE(w.Save());
    EXPECT_TRUE(w.Modified());
    EXPECT_FALSE(w.Error());
    EXPECT_EQ(Said(host), "Failure Opening file: " + bad);
    w.SetName(dir.File("x.wav"));
    ASSERT_TRUE(w.Save());
    EXPECT_EQ(ReadAll(dir.File("x.wav")), SimpleWave(1, 2, 8000, b));
    // A recording whose rename and copy both fail stays in its working file.
    {
        TWaveFile rec(host, SampleFormat::Make(8000, 1, 2), false, dir.Path());
        ASSERT_TRUE(rec.WriteBytes(b.data(), 1000));
        rec.SetName(bad);
        EXPECT_FALSE(rec.Save());
        EXPECT_EQ(Said(host), "Failure writing wave file.");
        EXPECT_EQ(ReadAll(rec.WorkingName()), SimpleWave(1, 2, 8000, b));
        ASSERT_EQ(::unlink(rec.WorkingName().c_str()), 0);  // then someone else deletes it
    }
    EXPECT_EQ(Said(host), "Failure Deleting Temp file");

    // A full disk: room for the wave but not the calibration chunk header, then not the record
    // (saved without it); a recording refuses the buffer that does not fit and keeps what it had.
    signal(SIGXFSZ, SIG_IGN);  // exceeding the size limit must fail the write, not kill
    const struct {
        uint64_t limit;
        const char* name;
        const char* message;
    } cases[] = {{44 + 1000 + 4, "nocal.wav", kStrWaveCalChunkCreateFailure}, {44 + 1000 + 100, "shortcal.wav", kStrWaveCalChunkWriteFailure},
                 {44 + 2000 + 1000, "full.wav", ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(InChild([&] {
                      rlimit lim{c.limit, c.limit};
                      setrlimit(RLIMIT_FSIZE, &lim);
                      ScriptedHost h;
                      if (!*c.message) {
                          TWaveFile r(h, SampleFormat::Make(8000, 1, 2), false, work.Path());
                          if (!r.WriteBytes(b.data(), 1000) || !r.WriteBytes(b.data(), 1000)) return 1;
                          std::vector<uint8_t> more(1200, 0x33);
                          if (r.WriteBytes(more.data(), 1200) || more != std::vector<uint8_t>(1200, 0) || r.Error() || r.Length() != 1000) return 2;
                          return rename(r.WorkingName().c_str(), dir.File(c.name).c_str());  // for the parent to inspect
                      }
                      TWaveFile s(h, 500, SampleFormat::Make(8000, 1, 2));
                      if (!s.WriteBytes(b.data(), 1000)) return 3;
                      s.SetName(dir.File(c.name));
                      s.SetCalibration(CalibrationRecord::Defaults());
                      if (!s.Save() || s.CalibrationPresent()) return 4;
                      return h.messages.size() == 1 && Said(h) == c.message ? 0 : 5;
                  }),
                  0)
            << c.name;
        EXPECT_EQ(ReadAll(dir.File(c.name)), SimpleWave(1, 2, 8000, *c.message ? b : Cat(b, b))) << c.name;
    }

#if !defined(__SANITIZE_ADDRESS__)
    // Too little memory to load: the message names what it would need.
    const std::string big = dir.File("big.wav");
    WriteAll(big, RiffWave({Chunk("fmt ", FmtBody(1, 2, 8000, 4, 16)), Chunk("data", {}, 64u << 20)}, 36 + (64u << 20)));
    ASSERT_EQ(::truncate(big.c_str(), 44 + (64 << 20)), 0);  // a sparse file of zero samples
    EXPECT_EQ(InChild([&] {
                  // Address space for what the process already maps, plus too little for the samples.
                  std::ifstream status("/proc/self/status");
                  std::string key;
                  uint64_t vmKb = 0;
                  while (status >> key)
                      if (key == "VmSize:") status >> vmKb;
                  rlimit lim{vmKb * 1024 + (16u << 20), vmKb * 1024 + (16u << 20)};
                  if (setrlimit(RLIMIT_AS, &lim) != 0) return 1;
                  ScriptedHost h;
                  TWaveFile m(h, big, TWaveFile::kMemoryMode, false);
                  if (!m.Error() || m.Buffer()) return 2;
                  return h.messages.size() == 1 && Said(h) == "Insufficient memory to load wave data.  67108864 bytes needed." ? 0 : 3;
              }),
              0);
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
        close(fds[0]);
        ScriptedHost host;
        TWaveFile w(host, SampleFormat::Make(44100, 2, 2), false, dir.Path());
        const std::string name = w.WorkingName() + "\n";
        if (w.Error() || write(fds[1], name.data(), name.size()) != static_cast<ssize_t>(name.size())) _exit(2);
        for (uint32_t k = 0; k < 3000; ++k)
            if (!w.WriteBytes(buffer(k).data(), kBytes) || write(fds[1], "b", 1) != 1) _exit(3);
        for (;;) pause();
    }
    close(fds[1]);
    std::string name;
    char c;
    int status = 0;
    uint32_t reported = 0;  // killed while writing flat out, after 25 buffers were reported done
    while (read(fds[0], &c, 1) == 1 && c != '\n') name += c;
    while (reported < 25 && read(fds[0], &c, 1) == 1) ++reported;
    kill(child, SIGKILL);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    while (read(fds[0], &c, 1) == 1) ++reported;  // what was done before the kill landed
    close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended by itself with " << WEXITSTATUS(status);
    ASSERT_GE(reported, 25u);
    for (uint16_t mode : kModes) {
        ScriptedHost host;
        TWaveFile w(host, name, mode, true, dir.Path());
        ASSERT_FALSE(w.Error()) << Said(host);
        const uint32_t buffers = w.Length() / kFrames;
        EXPECT_TRUE(w.Length() % kFrames == 0 && (buffers == reported || buffers == reported + 1)) << w.Length();  // and the one in flight
        std::vector<uint8_t> got(kBytes);
        for (uint32_t k = 0; k < buffers; ++k) {
            ASSERT_EQ(w.ReadBytes(got.data(), kBytes), kBytes);
            ASSERT_EQ(got, buffer(k)) << "buffer " << k;
        }
        if (mode == TWaveFile::kMemoryMode && HaveProgram("soxi"))
            EXPECT_EQ(RunOutput("soxi -s '" + name + "'"), std::to_string(w.Length()) + "\n");
    }
    ::unlink(name.c_str());
}

}  // namespace
}  // namespace zeltrak
