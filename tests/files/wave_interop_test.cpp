// Files exchanged with other audio tools: sox and libsndfile must read ours sample for
// sample, and files they write must open here with the same samples they report.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "files/wave_file.h"
#include "files/wave_test_util.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

using namespace test;

std::string Q(const std::string& s) { return "'" + s + "'"; }

// The raw encoding that sox should produce for a width.
std::string SoxRawArgs(int bits) {
    return std::string("-t raw -L -b ") + std::to_string(bits) + (bits == 8 ? " -e unsigned-integer" : " -e signed-integer");
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
    while (pos + 8 <= file.size()) {
        uint32_t size = Get32(file, pos + 4);
        size_t len = 8 + size + (size & 1);
        if (std::memcmp(&file[pos], "data", 4) == 0) dataAt = pos;
        if (std::memcmp(&file[pos], id, 4) == 0) chunkAt = pos, chunkLen = len;
        pos += len;
    }
    if (!dataAt || !chunkAt || chunkAt < dataAt) return {};
    std::vector<uint8_t> out(file.begin(), file.begin() + static_cast<long>(dataAt));
    out.insert(out.end(), file.begin() + static_cast<long>(chunkAt), file.begin() + static_cast<long>(chunkAt + chunkLen));
    out.insert(out.end(), file.begin() + static_cast<long>(dataAt), file.begin() + static_cast<long>(chunkAt));
    out.insert(out.end(), file.begin() + static_cast<long>(chunkAt + chunkLen), file.end());
    return out;
}

TEST(WaveInterop, FilesWrittenBySoxOpenSampleExact) {
    if (!HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    const bool haveMeta = HaveProgram("sndfile-metadata-set");
    TempDir dir;
    TempDir work;
    for (int bits : {8, 16, 24, 32}) {
        for (int channels : {1, 2}) {
            for (const char* type : {"wav", "wavpcm"}) {
                SCOPED_TRACE(testing::Message() << bits << " bit, " << channels << " ch, " << type);
                const std::string name = dir.File("sox.wav");
                const std::string synth = channels == 1 ? "synth 0.05 sine 440" : "synth 0.05 sine 440 square 97";
                ASSERT_EQ(RunQuiet("sox -n -t " + std::string(type) + " -b " + std::to_string(bits) + " -c " +
                              std::to_string(channels) + " -r 11025 " + Q(name) + " " + synth + " vol 0.9"),
                          0);
                ASSERT_EQ(RunQuiet("sox " + Q(name) + " " + SoxRawArgs(bits) + " " + Q(dir.File("ref.raw"))), 0);
                const auto reference = ReadAll(dir.File("ref.raw"));
                ASSERT_EQ(reference.size(), 551u * channels * (bits / 8));
                const bool extensible = Get16(ReadAll(name), 20) == 0xFFFE;
                if (std::string(type) == "wavpcm") {
                    EXPECT_FALSE(extensible);
                }

                std::vector<std::vector<uint8_t>> variants = {ReadAll(name)};
                if (haveMeta) {
                    ASSERT_EQ(RunQuiet("sndfile-metadata-set --str-comment 'made by sox' --str-title x " + Q(name) + " " +
                                  Q(dir.File("meta.wav"))),
                              0);
                    auto after = ReadAll(dir.File("meta.wav"));
                    auto before = MoveChunkBeforeData(after, "LIST");
                    ASSERT_FALSE(before.empty()) << "no LIST chunk after the data";
                    variants.push_back(after);
                    variants.push_back(before);
                }
                for (size_t v = 0; v < variants.size(); ++v) {
                    SCOPED_TRACE(v == 0 ? "as written" : v == 1 ? "LIST after data" : "LIST before data");
                    WriteAll(dir.File("in.wav"), variants[v]);
                    for (uint16_t mode : {TWaveFile::kMemoryMode, TWaveFile::kDiskMode}) {
                        SampleFormat format;
                        EXPECT_EQ(OurSamples(dir.File("in.wav"), mode, work, &format), reference);
                        EXPECT_EQ(format, SampleFormat::Make(11025, static_cast<uint16_t>(channels), static_cast<uint16_t>(bits / 8)));
                    }
                }
            }
        }
    }
}

TEST(WaveInterop, FilesWeWriteAreReadSampleExactBySoxAndLibsndfile) {
    const bool haveSox = HaveProgram("sox") && HaveProgram("soxi");
    const bool haveSndfile = HaveProgram("sndfile-convert") && HaveProgram("sndfile-info");
    if (!haveSox && !haveSndfile) GTEST_SKIP() << "neither sox nor libsndfile's programs are installed";
    TempDir dir;
    const char* sndfileEncoding[] = {"", "-pcmu8", "-pcm16", "-pcm24", "-pcm32"};
    for (uint16_t bps = 1; bps <= 4; ++bps) {
        for (uint16_t ch = 1; ch <= 2; ++ch) {
            for (bool withCalibration : {false, true}) {
                SCOPED_TRACE(testing::Message() << bps * 8 << " bit, " << ch << " ch, calibration " << withCalibration);
                const std::string name = dir.File("ours.wav");
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
                    EXPECT_EQ(RunOutput("soxi -c " + Q(name)), std::to_string(ch) + "\n");
                    EXPECT_EQ(RunOutput("soxi -r " + Q(name)), "32000\n");
                    EXPECT_EQ(RunOutput("soxi -b " + Q(name)), std::to_string(bps * 8) + "\n");
                    EXPECT_EQ(RunOutput("soxi -s " + Q(name)), std::to_string(frames) + "\n");
                    ASSERT_EQ(RunQuiet("sox " + Q(name) + " " + SoxRawArgs(bps * 8) + " " + Q(dir.File("sox.raw"))), 0);
                    EXPECT_EQ(ReadAll(dir.File("sox.raw")), bytes);
                }
                if (haveSndfile) {
                    const std::string info = RunOutput("sndfile-info " + Q(name));
                    EXPECT_NE(info.find("Frames      : " + std::to_string(frames)), std::string::npos) << info;
                    EXPECT_NE(info.find("Channels    : " + std::to_string(ch)), std::string::npos) << info;
                    ASSERT_EQ(RunQuiet("sndfile-convert -endian=little " + std::string(sndfileEncoding[bps]) + " " + Q(name) +
                                  " " + Q(dir.File("sf.raw"))),
                              0);
                    EXPECT_EQ(ReadAll(dir.File("sf.raw")), bytes);
                }
            }
        }
    }
}

TEST(WaveInterop, CutShortFilesGiveTheFramesSoxReads) {
    if (!HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    TempDir dir;
    TempDir work;
    for (int bits : {16, 24}) {
        SCOPED_TRACE(bits);
        const std::string full = dir.File("full.wav"), cut = dir.File("cut.wav");
        ASSERT_EQ(RunQuiet("sox -n -b " + std::to_string(bits) + " -c 2 -r 8000 " + Q(full) + " synth 0.1 sine 440 vol 0.5"), 0);
        auto bytes = ReadAll(full);
        bytes.resize(bytes.size() / 2 + 1);  // inside a frame
        WriteAll(cut, bytes);
        ASSERT_EQ(RunQuiet("sox " + Q(cut) + " " + SoxRawArgs(bits) + " " + Q(dir.File("ref.raw"))), 0);
        const auto reference = ReadAll(dir.File("ref.raw"));
        ASSERT_GT(reference.size(), 0u);
        for (uint16_t mode : {TWaveFile::kMemoryMode, TWaveFile::kDiskMode}) EXPECT_EQ(OurSamples(cut, mode, work), reference);
    }
}

TEST(WaveInterop, SoxFloatFilesOpenScaledToThirtyTwoBits) {
    if (!HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    TempDir dir;
    TempDir work;
    const std::string name = dir.File("float.wav");
    ASSERT_EQ(RunQuiet("sox -n -b 32 -e floating-point -c 2 -r 8000 " + Q(name) + " synth 0.02 sine 440 sine 50 vol 0.5"), 0);
    // sox rounds float to 32-bit integers at 2^31; we truncate at 2^31 - 1: two steps apart at most.
    ASSERT_EQ(RunQuiet("sox " + Q(name) + " -t raw -L -b 32 -e signed-integer " + Q(dir.File("ref.raw"))), 0);
    const auto reference = ReadAll(dir.File("ref.raw"));
    SampleFormat format;
    const auto ours = OurSamples(name, TWaveFile::kMemoryMode, work, &format);
    ASSERT_EQ(ours.size(), reference.size());
    EXPECT_EQ(+format.bytesPerSample, 4);
    for (size_t i = 0; i + 4 <= ours.size(); i += 4) {
        int64_t r = static_cast<int32_t>(Get32(reference, i));
        int64_t o = static_cast<int32_t>(Get32(ours, i));
        ASSERT_LE(std::llabs(o - r), 2) << i;
    }
}

}  // namespace
}  // namespace zeltrak
