// Files exchanged with other audio tools: sox and libsndfile must read ours sample for
// sample, and files they write must open here with the same samples they report.
#include <gtest/gtest.h>

#include <cstring>

#include "files/wave_file.h"
#include "files/wave_test_util.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

using namespace test;

std::string Q(const std::string& s) { return "'" + s + "'"; }

// The raw encoding that sox should produce for a width.
std::string SoxRaw(int bits, const std::string& to) {
    return " -t raw -L -b " + std::to_string(bits) + (bits == 8 ? " -e unsigned-integer " : " -e signed-integer ") + Q(to);
}

std::vector<uint8_t> OurSamples(const std::string& name, uint16_t mode, TempDir& work, SampleFormat* format = nullptr) {
    ScriptedHost host;
    TWaveFile w(host, name, mode, true, work.Path());
    EXPECT_FALSE(w.Error()) << (host.messages.empty() ? "" : host.messages[0].text);
    if (w.Error()) return {};
    if (format) *format = w.Format();
    std::vector<uint8_t> out(w.DataSize());
    EXPECT_EQ(w.ReadBytes(out.data(), static_cast<uint32_t>(out.size())), out.size());
    return out;
}

// Moves the chunk with `id` found after "data" to just before it.
std::vector<uint8_t> MoveChunkBeforeData(const std::vector<uint8_t>& file, const char* id) {
    size_t pos = 12, dataAt = 0, chunkAt = 0, chunkLen = 0;
    for (; pos + 8 <= file.size(); pos += 8 + Get32(file, pos + 4) + (Get32(file, pos + 4) & 1)) {
        if (std::memcmp(&file[pos], "data", 4) == 0) dataAt = pos;
        if (std::memcmp(&file[pos], id, 4) == 0) chunkAt = pos, chunkLen = 8 + Get32(file, pos + 4) + (Get32(file, pos + 4) & 1);
    }
    if (!dataAt || chunkAt < dataAt) return {};
    auto at = [&](size_t i) { return file.begin() + static_cast<long>(i); };
    std::vector<uint8_t> out(file.begin(), at(dataAt));
    out.insert(out.end(), at(chunkAt), at(chunkAt + chunkLen));
    out.insert(out.end(), at(dataAt), at(chunkAt));
    out.insert(out.end(), at(chunkAt + chunkLen), file.end());
    return out;
}

TEST(WaveInterop, FilesWrittenBySoxOpenSampleExact) {
    if (!HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    const bool haveMeta = HaveProgram("sndfile-metadata-set");
    TempDir dir, work;
    const std::string name = dir.File("sox.wav"), raw = dir.File("ref.raw");
    const struct {
        int bits, channels;
        const char* type;  // "wav" writes the extensible header where sox needs it
        const char* cut;   // cut inside a frame
    } cases[] = {{8, 1, "wavpcm", ""},  {8, 2, "wav", ""},    {16, 1, "wav", ""}, {16, 2, "wavpcm", "cut"},
                 {24, 1, "wavpcm", ""}, {24, 2, "wav", "cut"}, {32, 1, "wav", ""}, {32, 2, "wavpcm", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.bits << " bit, " << c.channels << " ch, " << c.type << " " << c.cut);
        ASSERT_EQ(RunQuiet("sox -n -t " + std::string(c.type) + " -b " + std::to_string(c.bits) + " -c " +
                           std::to_string(c.channels) + " -r 11025 " + Q(name) +
                           (c.channels == 1 ? " synth 0.05 sine 440" : " synth 0.05 sine 440 square 97") + " vol 0.9"),
                  0);
        std::vector<std::vector<uint8_t>> variants = {ReadAll(name)};
        if (*c.cut) {
            variants[0].resize(variants[0].size() / 2 + 1);
            WriteAll(name, variants[0]);
        } else if (haveMeta) {
            ASSERT_EQ(RunQuiet("sndfile-metadata-set --str-comment 'made by sox' --str-title x " + Q(name) + " " + Q(dir.File("m.wav"))), 0);
            variants.push_back(ReadAll(dir.File("m.wav")));  // LIST after the data
            variants.push_back(MoveChunkBeforeData(variants.back(), "LIST"));
            ASSERT_FALSE(variants.back().empty()) << "no LIST chunk after the data";
        }
        ASSERT_EQ(RunQuiet("sox " + Q(name) + SoxRaw(c.bits, raw)), 0);
        const auto reference = ReadAll(raw);
        if (!*c.cut) ASSERT_EQ(reference.size(), 551u * c.channels * (c.bits / 8));
        for (const auto& v : variants) {
            WriteAll(dir.File("in.wav"), v);
            for (uint16_t mode : {TWaveFile::kMemoryMode, TWaveFile::kDiskMode}) {
                SampleFormat format;
                EXPECT_EQ(OurSamples(dir.File("in.wav"), mode, work, &format), reference) << &v - variants.data();
                EXPECT_EQ(format, SampleFormat::Make(11025, static_cast<uint16_t>(c.channels), static_cast<uint16_t>(c.bits / 8)));
            }
        }
    }
    // Float: sox rounds to 32-bit integers at 2^31, we truncate at 2^31 - 1: two steps apart at most.
    ASSERT_EQ(RunQuiet("sox -n -b 32 -e floating-point -c 2 -r 8000 " + Q(name) + " synth 0.02 sine 440 sine 50 vol 0.5"), 0);
    ASSERT_EQ(RunQuiet("sox " + Q(name) + SoxRaw(32, raw)), 0);
    const auto reference = ReadAll(raw);
    const auto ours = OurSamples(name, TWaveFile::kMemoryMode, work);
    ASSERT_EQ(ours.size(), reference.size());
    for (size_t i = 0; i + 4 <= ours.size(); i += 4)
        ASSERT_LE(std::llabs(int64_t{static_cast<int32_t>(Get32(ours, i))} - static_cast<int32_t>(Get32(reference, i))), 2) << i;
}

TEST(WaveInterop, FilesWeWriteAreReadSampleExactBySoxAndLibsndfile) {
    const bool haveSox = HaveProgram("sox") && HaveProgram("soxi");
    const bool haveSndfile = HaveProgram("sndfile-convert");
    if (!haveSox && !haveSndfile) GTEST_SKIP() << "neither sox nor libsndfile's programs are installed";
    TempDir dir;
    const std::string name = dir.File("ours.wav");
    const char* sndfileEncoding[] = {"", "-pcmu8", "-pcm16", "-pcm24", "-pcm32"};
    for (uint16_t bps = 1; bps <= 4; ++bps) {
        for (uint16_t ch = 1; ch <= 2; ++ch) {
            const bool withCalibration = (bps + ch) % 2;  // the trailing chunk must not disturb them
            SCOPED_TRACE(::testing::Message() << bps * 8 << " bit, " << ch << " ch, calibration " << withCalibration);
            const uint32_t frames = 1001;
            auto bytes = PatternBytes(frames * ch * bps, bps * 7 + ch);
            {
                ScriptedHost host;
                TWaveFile w(host, frames, SampleFormat::Make(32000, ch, bps));
                ASSERT_TRUE(w.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size())));
                w.SetName(name);
                if (withCalibration) w.SetCalibration(CalibrationRecord::Defaults());
                ASSERT_TRUE(w.Save());
            }
            if (haveSox) {
                EXPECT_EQ(RunOutput("for o in c r b s; do soxi -$o " + Q(name) + "; done"),
                          std::to_string(ch) + "\n32000\n" + std::to_string(bps * 8) + "\n" + std::to_string(frames) + "\n");
                ASSERT_EQ(RunQuiet("sox " + Q(name) + SoxRaw(bps * 8, dir.File("sox.raw"))), 0);
                EXPECT_EQ(ReadAll(dir.File("sox.raw")), bytes);
            }
            if (haveSndfile) {
                ASSERT_EQ(RunQuiet("sndfile-convert -endian=little " + std::string(sndfileEncoding[bps]) + " " + Q(name) + " " +
                                   Q(dir.File("sf.raw"))),
                          0);
                EXPECT_EQ(ReadAll(dir.File("sf.raw")), bytes);
            }
        }
    }
}

}  // namespace
}  // namespace zeltrak
