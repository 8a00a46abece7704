#include "files/wave_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "files/wave_strings.h"
#include "files/wave_test_util.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

using namespace test;

CalibrationRecord SampleRecord() {
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.IsEnabled = 1;
    r.SetFilename("bench.cal");
    r.CalRatioLeft = 3.5f;
    r.CalRatioRight = 0.125f;
    r.SetLeftChannelName("Input");
    r.SetRightChannelName("Output");
    return r;
}

std::vector<uint8_t> CalChunk(const CalibrationRecord& r, uint32_t sizeField = 1024) {
    std::vector<uint8_t> v;
    Put32(v, 0x65);
    Put32(v, sizeField);
    auto b = r.Serialize();
    v.insert(v.end(), b.begin(), b.end());
    return v;
}

std::vector<uint8_t> AllSamples(TWaveData& w) {
    std::vector<uint8_t> out(w.DataSize());
    w.Rewind();
    w.ReadBytes(out.data(), static_cast<uint32_t>(out.size()));
    w.Rewind();
    return out;
}

TEST(WaveFile, WritesTheExactHeaderAndCalibrationChunk) {
    TempDir dir;
    ScriptedHost host;
    TWaveFile w(host, 3, SampleFormat::Make(22050, 1, 1));
    ASSERT_FALSE(w.Error());
    EXPECT_TRUE(w.Untitled());
    EXPECT_FALSE(w.Save());  // untitled: refused until named
    std::vector<uint8_t> s = {10, 20, 30};
    ASSERT_TRUE(w.WriteBytes(s.data(), 3));
    w.SetName(dir.File("out.wav"));
    w.SetCalibration(SampleRecord());
    ASSERT_TRUE(w.Save());
    EXPECT_FALSE(w.Modified());
    EXPECT_FALSE(w.Untitled());

    std::vector<uint8_t> expected;
    PutId(expected, "RIFF");
    Put32(expected, 4 + 24 + 8 + 3 + 1);
    PutId(expected, "WAVE");
    PutId(expected, "fmt ");
    Put32(expected, 16);
    Put16(expected, 1);
    Put16(expected, 1);
    Put32(expected, 22050);
    Put32(expected, 22050);
    Put16(expected, 1);
    Put16(expected, 8);
    PutId(expected, "data");
    Put32(expected, 3);
    expected.insert(expected.end(), {10, 20, 30, 0});
    auto cal = CalChunk(SampleRecord());
    expected.insert(expected.end(), cal.begin(), cal.end());
    EXPECT_EQ(ReadAll(dir.File("out.wav")), expected);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(FilesWithPrefix(dir.Path(), ".wav").size(), 0u);  // no leftover of the atomic save
}

TEST(WaveFile, SavesOnlyTheWrittenFrames) {
    TempDir dir;
    ScriptedHost host;
    TWaveFile w(host, 1000, SampleFormat::Make(8000, 2, 2));
    auto bytes = PatternBytes(40, 1);
    ASSERT_TRUE(w.WriteBytes(bytes.data(), 40));
    w.SetName(dir.File("short.wav"));
    ASSERT_TRUE(w.Save());
    EXPECT_EQ(ReadAll(dir.File("short.wav")), SimpleWave(2, 2, 8000, bytes));
}

TEST(WaveFile, EveryWidthAndChannelCountRoundTripsInBothModes) {
    TempDir dir;
    for (uint16_t bps = 1; bps <= 4; ++bps) {
        for (uint16_t ch = 1; ch <= 2; ++ch) {
            SCOPED_TRACE(testing::Message() << "bytes " << bps << " channels " << ch);
            ScriptedHost host;
            const uint32_t frames = 257;  // odd: 8- and 24-bit mono need the pad byte
            auto bytes = PatternBytes(frames * bps * ch, bps * 10 + ch);
            const std::string name = dir.File("rt.wav");
            {
                TWaveFile w(host, frames, SampleFormat::Make(44100, ch, bps));
                ASSERT_TRUE(w.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size())));
                w.SetName(name);
                ASSERT_TRUE(w.Save());
            }
            EXPECT_EQ(ReadAll(name), SimpleWave(ch, bps, 44100, bytes));
            for (uint16_t mode : {TWaveFile::kMemoryMode, TWaveFile::kDiskMode}) {
                TWaveFile r(host, name, mode, false, dir.Path());
                ASSERT_FALSE(r.Error()) << (host.messages.empty() ? "" : host.messages.back().text);
                EXPECT_EQ(r.Format(), SampleFormat::Make(44100, ch, bps));
                EXPECT_EQ(r.Length(), frames);
                EXPECT_EQ(r.WrittenLength(), frames);
                EXPECT_EQ(r.DataOffset(), 44);
                EXPECT_FALSE(r.Modified());
                EXPECT_EQ(AllSamples(r), bytes);
                // One channel read out against the bytes decoded here.
                std::vector<uint8_t> chan(frames * bps);
                ASSERT_TRUE(r.ReadChannel(chan.data(), 0, frames, ch - 1));
                for (uint32_t i = 0; i < frames; ++i)
                    ASSERT_EQ(0, std::memcmp(&chan[i * bps], &bytes[(i * ch + ch - 1) * bps], bps)) << i;
            }
            EXPECT_TRUE(host.messages.empty());
        }
    }
}

TEST(WaveFile, ReadsTheFormatFromBlockAlignAndBits) {
    TempDir dir;
    const std::string name = dir.File("f.wav");
    ScriptedHost host;
    auto samples = PatternBytes(12, 3);
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        uint16_t channels, bytesPerSample;
    } cases[] = {
        {"20 bits in 3 bytes", RiffWave({Chunk("fmt ", FmtBody(1, 1, 8000, 3, 20)), Chunk("data", samples)}), 1, 3},
        {"12 bits in 2 bytes", RiffWave({Chunk("fmt ", FmtBody(1, 2, 8000, 4, 12)), Chunk("data", samples)}), 2, 2},
        {"extensible, 24 valid bits in 32",
         RiffWave({Chunk("fmt ", ExtensibleFmtBody(1, 8000, 4, 32, 24, 1)), Chunk("data", samples)}), 1, 4},
        {"block align 0", RiffWave({Chunk("fmt ", FmtBody(1, 1, 8000, 0, 0)), Chunk("data", samples)}), 1, 2},
        {"block align 0, 8 bits", RiffWave({Chunk("fmt ", FmtBody(1, 1, 8000, 0, 8)), Chunk("data", samples)}), 1, 1},
        {"data before fmt", RiffWave({Chunk("data", samples), Chunk("fmt ", FmtBody(1, 1, 8000, 2, 16))}), 1, 2},
        {"LIST before data",
         RiffWave({Chunk("fmt ", FmtBody(1, 1, 8000, 2, 16)), Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 1, 0, 0, 0, 'x', 0}),
                   Chunk("data", samples)}),
         1, 2},
        {"fmt with extension",
         RiffWave({Chunk("fmt ", [] { auto b = FmtBody(1, 2, 8000, 4, 16); b.insert(b.end(), {0, 0}); return b; }()),
                   Chunk("fact", {1, 2, 3, 4}), Chunk("data", samples)}),
         2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(name, c.file);
        for (uint16_t mode : {TWaveFile::kMemoryMode, TWaveFile::kDiskMode}) {
            TWaveFile w(host, name, mode, true, dir.Path());
            ASSERT_FALSE(w.Error()) << host.messages.back().text;
            EXPECT_EQ(+w.Format().channels, c.channels);
            EXPECT_EQ(+w.Format().bytesPerSample, c.bytesPerSample);
            EXPECT_EQ(w.Length(), 12u / (c.channels * c.bytesPerSample));
            EXPECT_EQ(AllSamples(w), samples);
        }
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST(WaveFile, ReadsTheCalibrationChunkWhateverItsSize) {
    TempDir dir;
    const std::string name = dir.File("cal.wav");
    auto wave = SimpleWave(1, 2, 8000, PatternBytes(20, 4));
    CalibrationRecord unnamed = SampleRecord();
    unnamed.SetLeftChannelName("");
    unnamed.SetRightChannelName("");
    struct Case {
        const char* what;
        std::vector<uint8_t> tail;
        bool present;
    } cases[] = {
        {"size 0", CalChunk(unnamed, 0), true},
        {"size 1024", CalChunk(unnamed), true},
        {"short", [&] { auto c = CalChunk(unnamed); c.resize(500); return c; }(), false},
        {"after another chunk", [&] { auto j = Chunk("junk", {1, 2, 3}); auto c = CalChunk(unnamed); j.insert(j.end(), c.begin(), c.end()); return j; }(), true},
        {"none", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto file = wave;
        file.insert(file.end(), c.tail.begin(), c.tail.end());
        WriteAll(name, file);
        for (uint16_t mode : {TWaveFile::kMemoryMode, TWaveFile::kDiskMode}) {
            ScriptedHost host;
            TWaveFile w(host, name, mode, true, dir.Path());
            ASSERT_FALSE(w.Error());
            EXPECT_EQ(w.CalibrationPresent(), c.present);
            if (c.present) {
                CalibrationRecord r = w.GetCalibration();
                EXPECT_STREQ(r.LeftChannelName, "Left");
                EXPECT_STREQ(r.RightChannelName, "Right");
                EXPECT_EQ(r.CalRatioLeft, 3.5f);
                EXPECT_STREQ(r.Filename, "bench.cal");
            }
            EXPECT_EQ(w.Length(), 10u);
        }
    }
}

struct BadCase {
    const char* what;
    std::vector<uint8_t> bytes;
    std::string message;  // exact, or a prefix when ending in ':'
};

std::vector<BadCase> BadFiles() {
    const std::string invalid = kStrWaveFormatInvalid;
    auto fmt16 = Chunk("fmt ", FmtBody(1, 2, 8000, 4, 16));
    auto data = Chunk("data", PatternBytes(16, 5));
    auto fmtOnly = [&](std::vector<uint8_t> body) { return RiffWave({Chunk("fmt ", body), data}); };
    std::vector<uint8_t> unknownGuid = ExtensibleFmtBody(1, 8000, 2, 16, 16, 1);
    for (int i = 0; i < 16; ++i) unknownGuid[24 + i] = static_cast<uint8_t>(0x40 + i);
    std::vector<BadCase> v = {
        {"empty file", {}, invalid},
        {"random bytes", PatternBytes(300, 7), invalid},
        {"RIFF but not WAVE", Chunk("RIFF", {'A', 'V', 'I', ' ', 0, 0, 0, 0}), invalid},
        {"no fmt", RiffWave({data}), invalid},
        {"no data", RiffWave({fmt16}), invalid},
        {"cut inside fmt", [&] { auto f = SimpleWave(1, 2, 8000, {}); f.resize(30); return f; }(), invalid + ":"},
        {"cut before data", [&] { auto f = SimpleWave(1, 2, 8000, {}); f.resize(36); return f; }(),
         invalid + ": the file ends before its \"data\" chunk."},
        {"data past its RIFF form", [&] { auto f = RiffWave({fmt16, data}, 4 + 24 + 8); f.resize(f.size() + 16); return f; }(),
         invalid + ":"},
        {"short fmt", fmtOnly(std::vector<uint8_t>(14, 1)), invalid + ":"},
        {"huge fmt", RiffWave({Chunk("fmt ", FmtBody(1, 1, 8000, 2, 16), 0x7FFFFFFF), data}), invalid + ":"},
        {"two data chunks", RiffWave({fmt16, data, data}), invalid + ":"},
        {"no channels", fmtOnly(FmtBody(1, 0, 8000, 2, 16)), invalid + ":"},
        {"four channels", fmtOnly(FmtBody(1, 4, 8000, 8, 16)), invalid + ":"},
        {"rate 0", fmtOnly(FmtBody(1, 1, 0, 2, 16)), invalid + ":"},
        {"format tag 0", fmtOnly(FmtBody(0, 1, 8000, 2, 16)), invalid + ": format tag 0x0000 is not PCM or IEEE float."},
        {"format tag 0x1234", fmtOnly(FmtBody(0x1234, 2, 8000, 6, 24)),
         invalid + ": format tag 0x1234 is not PCM or IEEE float."},
        {"format tag 0xFFFF", fmtOnly(FmtBody(0xFFFF, 1, 8000, 2, 16)),
         invalid + ": format tag 0xFFFF is not PCM or IEEE float."},
        {"AAC", fmtOnly(FmtBody(0xFF, 2, 44100, 4, 16)),
         invalid + ": the samples are stored as AAC (format tag 0x00FF), not as PCM or IEEE float."},
        {"A-law", fmtOnly(FmtBody(6, 1, 8000, 1, 8)), invalid + ":"},
        {"IMA ADPCM", fmtOnly(FmtBody(0x11, 1, 8000, 256, 4)), invalid + ":"},
        {"extensible, unknown GUID", fmtOnly(unknownGuid),
         invalid + ": the extensible sub-format {43424140-4544-4746-4849-4A4B4C4D4E4F} is not PCM or IEEE float."},
        {"extensible mu-law", fmtOnly(ExtensibleFmtBody(1, 8000, 1, 8, 8, 7)),
         invalid + ": the samples are stored as mu-law (extensible sub-format 0x0007), not as PCM or IEEE float."},
        {"inconsistent block align", fmtOnly(FmtBody(1, 2, 8000, 3, 16)), invalid + ":"},
        {"6 bytes per sample", fmtOnly(FmtBody(1, 1, 8000, 6, 48)), invalid + ":"},
        {"16 bits in 3 bytes", fmtOnly(FmtBody(1, 1, 8000, 3, 16)),
         invalid + ": a block align of 3 bytes does not hold 1 channel(s) of 16-bit samples."},
        {"16 bits in 1 byte", fmtOnly(FmtBody(1, 2, 8000, 2, 16)), invalid + ":"},
        {"0 bits", fmtOnly(FmtBody(1, 1, 8000, 2, 0)), invalid + ":"},
        {"extensible, valid bits over the container", fmtOnly(ExtensibleFmtBody(1, 8000, 2, 16, 24, 1)), invalid + ":"},
        {"float of 2 bytes", fmtOnly(FmtBody(3, 1, 8000, 2, 16)), invalid + ":"},
        {"float of 64 bits in 4 bytes", fmtOnly(FmtBody(3, 1, 8000, 4, 64)), invalid + ":"},
    };
    return v;
}

TEST(WaveFile, BadFilesGiveTheMessageAndTheErrorFlag) {
    TempDir dir;
    const std::string name = dir.File("bad.wav");
    for (const auto& c : BadFiles()) {
        SCOPED_TRACE(c.what);
        WriteAll(name, c.bytes);
        const auto before = ReadAll(name);
        for (uint16_t mode : {TWaveFile::kMemoryMode, TWaveFile::kDiskMode}) {
            for (bool backup : {false, true}) {
                ScriptedHost host;
                {
                    TWaveFile w(host, name, mode, backup, dir.Path());
                    EXPECT_TRUE(w.Error());
                    EXPECT_EQ(w.Buffer(), nullptr);
                }
                ASSERT_EQ(host.messages.size(), 1u);
                const auto& m = host.messages[0].text;
                if (c.message.back() == ':') {
                    EXPECT_EQ(m.rfind(c.message + " ", 0), 0u) << m;
                    EXPECT_GT(m.size(), c.message.size() + 5);
                } else {
                    EXPECT_EQ(m, c.message);
                }
                EXPECT_EQ(host.messages[0].caption, "");
            }
        }
        EXPECT_EQ(ReadAll(name), before);  // never written to
    }
    EXPECT_EQ(FilesWithPrefix(dir.Path(), "wav").size(), 0u);

    ScriptedHost host;
    TWaveFile missing(host, dir.File("nothing.wav"), TWaveFile::kMemoryMode, false);
    EXPECT_TRUE(missing.Error());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Failure Opening file: " + dir.File("nothing.wav"));

    // An empty data chunk holds nothing to load; a recording that never got a buffer is
    // still a file that disk mode opens.
    WriteAll(name, SimpleWave(1, 2, 8000, {}));
    ScriptedHost h2;
    TWaveFile empty(h2, name, TWaveFile::kMemoryMode, false);
    EXPECT_TRUE(empty.Error());
    TWaveFile emptyDisk(h2, name, TWaveFile::kDiskMode, false);
    EXPECT_FALSE(emptyDisk.Error());
    EXPECT_EQ(emptyDisk.Length(), 0u);
}

// Cut-short downloads and recordings claim sizes the file never reached; the whole frames
// that are there open with a note, and a save or a change writes the sizes of what is there.
TEST(WaveFile, CutShortFilesOpenWhatTheyHoldAndSaveTrueSizes) {
    TempDir dir;
    TempDir work;
    const std::string name = dir.File("cut.wav");
    auto stereo = PatternBytes(400, 8);
    auto mono8 = PatternBytes(100, 9);
    auto first = [](const std::vector<uint8_t>& v, size_t n) { return std::vector<uint8_t>(v.begin(), v.begin() + n); };
    auto cut = [](std::vector<uint8_t> v, size_t n) { v.resize(n); return v; };
    auto fmt16 = Chunk("fmt ", FmtBody(1, 2, 8000, 4, 16));
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        uint16_t channels, bytesPerSample;
        std::vector<uint8_t> present;  // the whole frames the file holds
    } cases[] = {
        {"cut inside a frame", cut(SimpleWave(2, 2, 8000, stereo), 44 + 202), 2, 2, first(stereo, 200)},
        {"odd 8-bit length", cut(SimpleWave(1, 1, 8000, mono8), 44 + 51), 1, 1, first(mono8, 51)},
        {"data size past the end", RiffWave({fmt16, Chunk("data", first(stereo, 16), 1 << 20)}), 2, 2, first(stereo, 16)},
        {"data size 4 GB", RiffWave({fmt16, Chunk("data", first(stereo, 16), 0xFFFFFFF0ll)}), 2, 2, first(stereo, 16)},
        {"RIFF size 4 GB", RiffWave({fmt16, Chunk("data", first(stereo, 16))}, 0xFFFFFFFFll), 2, 2, first(stereo, 16)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const uint32_t frames = static_cast<uint32_t>(c.present.size() / (c.channels * c.bytesPerSample));
        const auto repaired = SimpleWave(c.channels, c.bytesPerSample, 8000, c.present);
        char note[256];
        std::snprintf(note, sizeof note, kStrWaveCutShort, frames);
        for (uint16_t mode : {TWaveFile::kMemoryMode, TWaveFile::kDiskMode}) {
            for (bool backup : {false, true}) {
                SCOPED_TRACE(testing::Message() << "mode " << mode << " backup " << backup);
                WriteAll(name, c.file);
                {
                    ScriptedHost host;
                    TWaveFile w(host, name, mode, backup, work.Path());
                    ASSERT_FALSE(w.Error()) << host.messages.back().text;
                    ASSERT_EQ(host.messages.size(), 1u);
                    EXPECT_EQ(host.messages[0].text, note);
                    EXPECT_EQ(host.messages[0].icon, MessageIcon::Information);
                    EXPECT_EQ(w.Length(), frames);
                    EXPECT_EQ(AllSamples(w), c.present);
                }
                EXPECT_EQ(ReadAll(name), c.file);  // looking changes nothing
                {
                    ScriptedHost host;
                    TWaveFile w(host, name, mode, backup, work.Path());
                    ASSERT_TRUE(w.Save());
                }
                EXPECT_EQ(ReadAll(name), repaired);
                ScriptedHost host;
                TWaveFile again(host, name, mode, backup, work.Path());
                EXPECT_FALSE(again.Error());
                EXPECT_TRUE(host.messages.empty());
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

// A FIFO with no writer would block a plain open for ever; the alarm ends such a wait.
TEST(WaveFile, FifoIsRefusedWithoutWaiting) {
    TempDir dir;
    const std::string fifo = dir.File("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(InChild(
                  [&] {
                      int check = 0;
                      for (uint16_t mode : {TWaveFile::kMemoryMode, TWaveFile::kDiskMode}) {
                          for (bool backup : {false, true}) {
                              ++check;
                              ScriptedHost host;
                              TWaveFile w(host, fifo, mode, backup, dir.Path());
                              if (!w.Error() || host.messages.size() != 1 ||
                                  host.messages[0].text != "Failure Opening file: " + fifo)
                                  return check;
                          }
                      }
                      return 0;
                  },
                  10),
              0);
    struct stat st {};
    ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
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
        uint64_t b = std::bit_cast<uint64_t>(v);
        Put32(f64, static_cast<uint32_t>(b));
        Put32(f64, static_cast<uint32_t>(b >> 32));
    }
    const std::vector<uint8_t> ext = ExtensibleFmtBody(2, 48000, 8, 32, 32, 3);
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        uint16_t channels;
    } cases[] = {
        {"float32 mono", RiffWave({Chunk("fmt ", FmtBody(3, 1, 48000, 4, 32)), Chunk("data", f32)}), 1},
        {"float64 stereo", RiffWave({Chunk("fmt ", FmtBody(3, 2, 48000, 16, 64)), Chunk("data", f64)}), 2},
        {"extensible float32 stereo", RiffWave({Chunk("fmt ", ext), Chunk("data", f32)}), 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(name, c.file);
        for (uint16_t mode : {TWaveFile::kMemoryMode, TWaveFile::kDiskMode}) {
            ScriptedHost host;
            TWaveFile w(host, name, mode, true, dir.Path());
            ASSERT_FALSE(w.Error());
            EXPECT_EQ(w.StorageMode(), TWaveFile::kMemoryMode);
            EXPECT_EQ(w.Format(), SampleFormat::Make(48000, c.channels, 4));
            EXPECT_EQ(w.Length(), 8u / c.channels);
            for (uint32_t i = 0; i < 8; ++i)
                EXPECT_EQ(w.GetSample(i / c.channels, i % c.channels, false), expected[i]) << i;
        }
    }
    EXPECT_EQ(FilesWithPrefix(dir.Path(), "wav").size(), 0u);
}

TEST(WaveFile, BackupCopyLeavesTheOriginalAloneUntilSave) {
    TempDir dir;
    TempDir work;
    const std::string name = dir.File("orig.wav");
    auto samples = PatternBytes(400, 8);
    auto original = SimpleWave(2, 2, 8000, samples);
    auto list = Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 3, 0, 0, 0, 'a', 'b', 0, 0});
    original.insert(original.end(), list.begin(), list.end());
    Put32(original, 0);  // grow the RIFF size by the LIST chunk
    original.resize(original.size() - 4);
    const uint32_t riffSize = static_cast<uint32_t>(original.size() - 8);
    std::memcpy(&original[4], &riffSize, 4);
    auto cal = CalChunk(SampleRecord());
    original.insert(original.end(), cal.begin(), cal.end());
    WriteAll(name, original);
    struct stat before {};
    ASSERT_EQ(::stat(name.c_str(), &before), 0);

    ScriptedHost host;
    {
        TWaveFile w(host, name, TWaveFile::kDiskMode, true, work.Path());
        ASSERT_FALSE(w.Error());
        EXPECT_TRUE(w.CalibrationPresent());
        ASSERT_EQ(FilesWithPrefix(work.Path(), "wav").size(), 1u);
        EXPECT_EQ(w.WorkingName().rfind(work.Path() + "/wav", 0), 0u);
        struct stat tmp {};
        ASSERT_EQ(::stat(w.WorkingName().c_str(), &tmp), 0);
        EXPECT_EQ(tmp.st_mode & 0777, 0600u);

        ASSERT_TRUE(w.PutSample(-1234, 5, 1));
        w.SeekToEnd();
        auto more = PatternBytes(40, 9);
        ASSERT_TRUE(w.WriteBytes(more.data(), 40));  // grows the data over the LIST chunk
        ASSERT_TRUE(w.Silence(0, 1));
        EXPECT_EQ(w.Length(), 110u);
        EXPECT_EQ(ReadAll(name), original);
        struct stat during {};
        ASSERT_EQ(::stat(name.c_str(), &during), 0);
        EXPECT_EQ(during.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        EXPECT_EQ(during.st_ino, before.st_ino);

        ASSERT_TRUE(w.Save());
        EXPECT_FALSE(w.Modified());
        // The saved file: the new samples, then the LIST chunk inside the form, then the
        // calibration chunk after it.
        auto expectSamples = samples;
        expectSamples.insert(expectSamples.end(), more.begin(), more.end());
        std::memset(expectSamples.data(), 0, 4);  // frame 0 silenced; frame 1 is odd in disk mode
        expectSamples[5 * 4 + 2] = static_cast<uint8_t>(-1234 & 0xFF);
        expectSamples[5 * 4 + 3] = static_cast<uint8_t>((-1234 >> 8) & 0xFF);
        auto expected = RiffWave({Chunk("fmt ", FmtBody(1, 2, 8000, 4, 16)), Chunk("data", expectSamples), list});
        expected.insert(expected.end(), cal.begin(), cal.end());
        EXPECT_EQ(ReadAll(name), expected);
        EXPECT_EQ(w.Position(), 110u);
    }
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(work.Files().empty());  // the working copy is gone
}

TEST(WaveFile, DiskModeWithoutBackupKeepsTrailingChunksWhenTheDataGrows) {
    TempDir dir;
    const std::string name = dir.File("inplace.wav");
    auto samples = PatternBytes(21, 10);  // 8-bit mono, odd: pad byte before the LIST
    auto list = Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o', 0});
    auto file = RiffWave({Chunk("fmt ", FmtBody(1, 1, 8000, 1, 8)), Chunk("data", samples), list});
    auto cal = CalChunk(SampleRecord());
    file.insert(file.end(), cal.begin(), cal.end());
    WriteAll(name, file);
    ScriptedHost host;
    auto more = PatternBytes(6, 11);
    {
        TWaveFile w(host, name, TWaveFile::kDiskMode, false);
        ASSERT_FALSE(w.Error());
        EXPECT_EQ(w.WorkingName(), name);
        w.SeekToEnd();
        ASSERT_TRUE(w.WriteBytes(more.data(), 6));
        // While the data grows the file is a valid wave file holding every sample so far.
        auto now = ReadAll(name);
        ASSERT_EQ(now.size(), 44u + 27 + 1);
        EXPECT_EQ(Get32(now, 4), now.size() - 8);
        EXPECT_EQ(Get32(now, 40), 27u);
    }
    auto all = samples;
    all.insert(all.end(), more.begin(), more.end());
    auto expected = RiffWave({Chunk("fmt ", FmtBody(1, 1, 8000, 1, 8)), Chunk("data", all), list});
    expected.insert(expected.end(), cal.begin(), cal.end());
    EXPECT_EQ(ReadAll(name), expected);
    EXPECT_TRUE(host.messages.empty());

    // Shrinking in place also keeps them.
    {
        TWaveFile w(host, name, TWaveFile::kDiskMode, false);
        ASSERT_TRUE(w.SetLength(4));
        EXPECT_EQ(w.WrittenLength(), 4u);
    }
    all.resize(4);
    expected = RiffWave({Chunk("fmt ", FmtBody(1, 1, 8000, 1, 8)), Chunk("data", all), list});
    expected.insert(expected.end(), cal.begin(), cal.end());
    EXPECT_EQ(ReadAll(name), expected);
}

TEST(WaveFile, OpeningInPlaceWithoutChangesLeavesTheFileAlone) {
    TempDir dir;
    const std::string name = dir.File("odd.wav");
    // A trailing partial frame and chunks after the data.
    auto file = RiffWave({Chunk("fmt ", FmtBody(1, 2, 8000, 4, 16)), Chunk("data", PatternBytes(11, 12)),
                          Chunk("LIST", {'I', 'N', 'F', 'O'})});
    auto cal = CalChunk(SampleRecord(), 0);
    file.insert(file.end(), cal.begin(), cal.end());
    WriteAll(name, file);
    ScriptedHost host;
    {
        TWaveFile w(host, name, TWaveFile::kDiskMode, false);
        ASSERT_FALSE(w.Error());
        EXPECT_EQ(w.Length(), 2u);
        std::vector<uint8_t> all(8);
        EXPECT_EQ(w.ReadBytes(all.data(), 8), 8u);
    }
    EXPECT_EQ(ReadAll(name), file);
    EXPECT_TRUE(host.messages.empty());
}

TEST(WaveFile, NewRecordingKeepsItsSizesCurrentAndMovesToItsName) {
    TempDir dir;
    TempDir work;
    ScriptedHost host;
    const auto format = SampleFormat::Make(16000, 2, 3);
    std::vector<uint8_t> all;
    {
        TWaveFile w(host, format, false, work.Path());
        ASSERT_FALSE(w.Error());
        EXPECT_TRUE(w.Untitled());
        EXPECT_TRUE(w.NewFile());
        EXPECT_EQ(w.DataOffset(), 44);
        const std::string temp = w.WorkingName();
        EXPECT_EQ(temp.rfind(work.Path() + "/wav", 0), 0u);
        EXPECT_EQ(ReadAll(temp), SimpleWave(2, 3, 16000, {}));
        for (int i = 0; i < 5; ++i) {
            auto b = PatternBytes(6 * (50 + i), 20 + i);
            ASSERT_TRUE(w.WriteBytes(b.data(), static_cast<uint32_t>(b.size())));
            all.insert(all.end(), b.begin(), b.end());
            EXPECT_EQ(ReadAll(temp), SimpleWave(2, 3, 16000, all));
        }
        EXPECT_EQ(w.Length(), all.size() / 6);
        EXPECT_GT(w.RemainingSeconds(), 0.0);
        w.SetName(dir.File("take1.wav"));
        w.SetCalibration(SampleRecord());
        ASSERT_TRUE(w.Save());
        EXPECT_FALSE(w.NewFile());
        EXPECT_FALSE(w.Untitled());
        EXPECT_EQ(w.WorkingName(), dir.File("take1.wav"));
        EXPECT_TRUE(work.Files().empty());  // renamed, not copied
        EXPECT_EQ(w.Position(), all.size() / 6);
        // Recording goes on into the named file; the calibration chunk follows the data.
        auto b = PatternBytes(60, 30);
        ASSERT_TRUE(w.WriteBytes(b.data(), 60));
        all.insert(all.end(), b.begin(), b.end());
    }
    auto expected = SimpleWave(2, 3, 16000, all);
    auto cal = CalChunk(SampleRecord());
    expected.insert(expected.end(), cal.begin(), cal.end());
    EXPECT_EQ(ReadAll(dir.File("take1.wav")), expected);
    EXPECT_TRUE(host.messages.empty());
}

TEST(WaveFile, FinaliseAndCloseWithBackupLeavesOnlyTheNamedFile) {
    TempDir dir;
    TempDir work;
    ScriptedHost host;
    TWaveFile w(host, SampleFormat::Make(8000, 1, 2), true, work.Path());
    auto b = PatternBytes(100, 40);
    ASSERT_TRUE(w.WriteBytes(b.data(), 100));
    EXPECT_FALSE(w.FinaliseAndClose());  // no name yet
    w.SetName(dir.File("kept.wav"));
    w.SetCalibration(SampleRecord());
    ASSERT_TRUE(w.FinaliseAndClose());
    EXPECT_TRUE(work.Files().empty());
    EXPECT_EQ(w.GetName(), "");
    EXPECT_EQ(w.Length(), 0u);
    EXPECT_EQ(w.DataOffset(), 44);
    EXPECT_FALSE(w.CalibrationPresent());
    auto expected = SimpleWave(1, 2, 8000, b);
    auto cal = CalChunk(SampleRecord());
    expected.insert(expected.end(), cal.begin(), cal.end());
    EXPECT_EQ(ReadAll(dir.File("kept.wav")), expected);
}

TEST(WaveFile, SaveAsFromDiskModeWithoutBackupWorksOnTheNewName) {
    TempDir dir;
    const std::string first = dir.File("a.wav");
    auto samples = PatternBytes(40, 50);
    WriteAll(first, SimpleWave(1, 2, 8000, samples));
    ScriptedHost host;
    {
        TWaveFile w(host, first, TWaveFile::kDiskMode, false);
        ASSERT_TRUE(w.PutSample(7, 0, 0));
        w.SetName(dir.File("b.wav"));
        ASSERT_TRUE(w.Save());
        EXPECT_EQ(w.WorkingName(), dir.File("b.wav"));
        ASSERT_TRUE(w.PutSample(9, 1, 0));  // lands in b.wav only
    }
    auto a = samples;
    a[0] = 7, a[1] = 0;
    EXPECT_EQ(ReadAll(first), SimpleWave(1, 2, 8000, a));  // worked on in place before the save
    a[2] = 9, a[3] = 0;
    EXPECT_EQ(ReadAll(dir.File("b.wav")), SimpleWave(1, 2, 8000, a));
}

TEST(WaveFile, DiskModeSilenceNarrowsToEvenFrames) {
    TempDir dir;
    const std::string name = dir.File("s.wav");
    std::vector<uint8_t> samples(20, 0x11);  // 10 frames of 16-bit mono
    WriteAll(name, SimpleWave(1, 2, 8000, samples));
    ScriptedHost host;
    {
        TWaveFile w(host, name, TWaveFile::kDiskMode, false);
        ASSERT_TRUE(w.Silence(3, 7));  // becomes 4 ... 6
        EXPECT_TRUE(w.Modified());
    }
    auto d = ReadAll(name);
    for (int f = 0; f < 10; ++f) EXPECT_EQ(d[44 + 2 * f], (f >= 4 && f <= 6) ? 0 : 0x11) << f;
}

TEST(WaveFile, DiskRemainingSecondsFollowsTheFreeSpace) {
    TempDir work;
    ScriptedHost host;
    TWaveFile w(host, SampleFormat::Make(48000, 2, 2), false, work.Path());
    struct statvfs v {};
    ASSERT_EQ(::statvfs(work.Path().c_str(), &v), 0);
    const double expected = std::min<double>(static_cast<double>(v.f_bavail) * v.f_frsize, 4294967295.0 - 37) / 192000.0;
    EXPECT_NEAR(w.RemainingSeconds(), expected, expected * 0.01 + 1.0);
}

TEST(WaveFile, ReportsATemporaryFileThatCannotBeDeleted) {
    TempDir work;
    ScriptedHost host;
    {
        TWaveFile w(host, SampleFormat::Make(8000, 1, 2), false, work.Path());
        ASSERT_EQ(::unlink(w.WorkingName().c_str()), 0);
    }
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Failure Deleting Temp file");
    EXPECT_EQ(host.messages[0].caption, "");
}

TEST(WaveFile, FailedSaveKeepsTheSamplesAndSaysSo) {
    TempDir dir;
    ScriptedHost host;
    TWaveFile w(host, 10, SampleFormat::Make(8000, 1, 2));
    auto b = PatternBytes(20, 60);
    ASSERT_TRUE(w.WriteBytes(b.data(), 20));
    const std::string bad = dir.File("missing-dir/x.wav");
    w.SetName(bad);
    EXPECT_FALSE(w.Save());
    EXPECT_TRUE(w.Modified());
    EXPECT_FALSE(w.Error());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Failure Opening file: " + bad);
    w.SetName(dir.File("x.wav"));
    ASSERT_TRUE(w.Save());
    EXPECT_EQ(ReadAll(dir.File("x.wav")), SimpleWave(1, 2, 8000, b));

    // A recording whose rename and copy both fail stays in its working file.
    ScriptedHost h2;
    TWaveFile rec(h2, SampleFormat::Make(8000, 1, 2), false, dir.Path());
    ASSERT_TRUE(rec.WriteBytes(b.data(), 20));
    rec.SetName(bad);
    EXPECT_FALSE(rec.Save());
    ASSERT_EQ(h2.messages.size(), 1u);
    EXPECT_EQ(h2.messages[0].text, "Failure writing wave file.");
    EXPECT_EQ(ReadAll(rec.WorkingName()), SimpleWave(1, 2, 8000, b));
    rec.SetName(dir.File("y.wav"));
    EXPECT_TRUE(rec.Save());
    EXPECT_EQ(ReadAll(dir.File("y.wav")), SimpleWave(1, 2, 8000, b));
}

}  // namespace
}  // namespace zeltrak

namespace zeltrak {
namespace {

using namespace test;

TEST(WaveFileLimits, FullDiskFailuresKeepValidFilesAndSaySo) {
    TempDir dir;
    TempDir work;
    signal(SIGXFSZ, SIG_IGN);  // exceeding the size limit must fail the write, not kill
    auto samples = PatternBytes(1000, 70);
    const uint64_t waveSize = 44 + samples.size();
    // Room for the wave but not the calibration chunk header: the file is saved without it.
    EXPECT_EQ(InChild([&] {
                  rlimit lim{waveSize + 4, waveSize + 4};
                  setrlimit(RLIMIT_FSIZE, &lim);
                  ScriptedHost host;
                  TWaveFile w(host, 500, SampleFormat::Make(8000, 1, 2));
                  if (!w.WriteBytes(samples.data(), 1000)) return 1;
                  w.SetName(dir.File("nocal.wav"));
                  w.SetCalibration(CalibrationRecord::Defaults());
                  if (!w.Save()) return 2;
                  if (w.CalibrationPresent()) return 3;
                  if (host.messages.size() != 1 || host.messages[0].text != kStrWaveCalChunkCreateFailure) return 4;
                  return 0;
              }),
              0);
    EXPECT_EQ(ReadAll(dir.File("nocal.wav")), SimpleWave(1, 2, 8000, samples));
    // Room for the header but not the record.
    EXPECT_EQ(InChild([&] {
                  rlimit lim{waveSize + 100, waveSize + 100};
                  setrlimit(RLIMIT_FSIZE, &lim);
                  ScriptedHost host;
                  TWaveFile w(host, 500, SampleFormat::Make(8000, 1, 2));
                  w.WriteBytes(samples.data(), 1000);
                  w.SetName(dir.File("shortcal.wav"));
                  w.SetCalibration(CalibrationRecord::Defaults());
                  if (!w.Save() || w.CalibrationPresent()) return 1;
                  if (host.messages.size() != 1 || host.messages[0].text != kStrWaveCalChunkWriteFailure) return 2;
                  return 0;
              }),
              0);
    EXPECT_EQ(ReadAll(dir.File("shortcal.wav")), SimpleWave(1, 2, 8000, samples));

    // A recording that runs out of room refuses the buffer and keeps what it had.
    std::string working;
    EXPECT_EQ(InChild([&] {
                  rlimit lim{44 + 3000, 44 + 3000};
                  setrlimit(RLIMIT_FSIZE, &lim);
                  ScriptedHost host;
                  TWaveFile w(host, SampleFormat::Make(8000, 1, 2), false, work.Path());
                  auto a = samples;
                  if (!w.WriteBytes(a.data(), 1000) || !w.WriteBytes(a.data(), 1000)) return 1;
                  std::vector<uint8_t> more(1200, 0x33);
                  if (w.WriteBytes(more.data(), 1200)) return 2;
                  if (more != std::vector<uint8_t>(1200, 0) || w.Error() || w.Length() != 1000) return 3;
                  // Leave the working file behind for the parent to inspect.
                  rename(w.WorkingName().c_str(), dir.File("full.wav").c_str());
                  return 0;
              }),
              0);
    auto both = samples;
    both.insert(both.end(), samples.begin(), samples.end());
    EXPECT_EQ(ReadAll(dir.File("full.wav")), SimpleWave(1, 2, 8000, both));
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(WaveFileLimits, ReportsTheMemoryALoadWouldNeed) {
    TempDir dir;
    const std::string name = dir.File("big.wav");
    const uint32_t bytes = 64u << 20;
    {
        ScriptedHost host;
        TWaveFile w(host, SampleFormat::Make(8000, 2, 2), false, dir.Path());
        std::vector<uint8_t> block(1 << 20, 1);
        for (uint32_t i = 0; i < bytes >> 20; ++i) ASSERT_TRUE(w.WriteBytes(block.data(), 1 << 20));
        w.SetName(name);
        ASSERT_TRUE(w.FinaliseAndClose());
    }
    EXPECT_EQ(InChild([&] {
                  rlimit lim{32u << 20, 32u << 20};
                  rlimit cur{};
                  getrlimit(RLIMIT_AS, &cur);
                  // Address space for what the process already maps, plus too little for the samples.
                  std::ifstream status("/proc/self/status");
                  std::string key;
                  uint64_t vmKb = 0;
                  while (status >> key)
                      if (key == "VmSize:") status >> vmKb;
                  lim.rlim_cur = lim.rlim_max = vmKb * 1024 + (16u << 20);
                  if (setrlimit(RLIMIT_AS, &lim) != 0) return 1;
                  ScriptedHost host;
                  TWaveFile w(host, name, TWaveFile::kMemoryMode, false);
                  if (!w.Error() || w.Buffer()) return 2;
                  if (host.messages.size() != 1 ||
                      host.messages[0].text != "Insufficient memory to load wave data.  67108864 bytes needed.")
                      return 3;
                  return 0;
              }),
              0);
}
#endif

}  // namespace
}  // namespace zeltrak
