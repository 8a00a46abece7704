// The sound port on a fake driver: capabilities, format descriptions, buffers and the driver's
// failures.
#include "engine/sound_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/strings.h"
#include "engine/fake_wave_driver.h"
#include "engine/multi_device_driver.h"
#include "platform/buffer_done_queue.h"
#include "support/scripted_host.h"

namespace zeltrak {
namespace {

using test::FakeWaveDriver;

const std::string kFailure = "Failure accessing sound device.";

TEST(CapabilityScan, FormatBitsAndTheTwentyFourBitProbeSetTheBestFormat) {
    ScriptedHost host;
    FakeWaveDriver driver;
    driver.refuse24 = true;
    driver.formats = kFormat2M08 | kFormat4M16;  // the 44.1 kHz bit is tested later and wins
    EXPECT_EQ(TSoundInput(driver, host, 0).MaxRate(), 44100u);
    driver.refuse24 = false;
    EXPECT_EQ(int32_t{TSoundInput(driver, host, 0).MaxFormat().minValue}, -8388607);
    driver.name = "SB16";  // keeps its own range only without the 44.1 kHz bits
    driver.formats = 0;
    EXPECT_EQ(TSoundInput(driver, host, 0).MaxRate(), 45000u);
    EXPECT_TRUE(host.messages.empty());

    driver.capsFail = true;
    driver.name = "Fake";
    TSoundOutput unreadable(driver, host, 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, kFailure);
    EXPECT_EQ(host.messages[0].caption, kProgramTitle);
    EXPECT_EQ(unreadable.MaxRate(), 44100u);
    EXPECT_FALSE(unreadable.SupportsVolume());
}

// The whole 40-byte description, field by field from the classic layout.
WaveFormat Described(uint16_t tag, uint16_t ch, uint32_t rate, uint16_t block, uint16_t bits, uint16_t valid) {
    WaveFormat f;
    f.formatTag = tag;
    f.channels = ch;
    f.samplesPerSec = rate;
    f.avgBytesPerSec = rate * block;
    f.blockAlign = block;
    f.bitsPerSample = bits;
    if (tag == kWaveFormatExtensible) {
        f.extraSize = 22;
        f.validBitsPerSample = valid;
        f.channelMask = ch == 1 ? 1 : 3;
        std::memcpy(f.subFormat, kPcmSubFormat, 16);
    }
    return f;
}

TEST(DriverFormat, DescriptionsFollowSystemClassAndPaddingAndBadFormatsAreRefused) {
    ScriptedHost host;
    FakeWaveDriver driver;
    TSoundInput port(driver, host, 0);
    driver.name = "Pd96";
    TSoundOutput padded(driver, host, 0);
    auto same = [](const WaveFormat& a, const WaveFormat& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    EXPECT_TRUE(same(port.BuildDriverFormat(48000, 2, 3), Described(0xFFFE, 2, 48000, 6, 24, 24)));
    EXPECT_TRUE(same(padded.BuildDriverFormat(44100, 2, 3), Described(0xFFFE, 2, 44100, 6, 24, 20)));
    port.SetOperatingSystemClass(3);
    EXPECT_TRUE(same(port.BuildDriverFormat(44100, 1, 3), Described(1, 1, 44100, 3, 24, 0)));
    padded.SetOperatingSystemClass(1);  // the valid width in a 3-byte container
    EXPECT_TRUE(same(padded.BuildDriverFormat(44100, 2, 3), Described(1, 2, 44100, 6, 20, 0)));

    EXPECT_TRUE(port.QueryFormat(48000, 2, 2));
    EXPECT_FALSE(port.QueryFormat(48000, 2, 0));
    EXPECT_FALSE(port.QueryFormat(48000, 0, 2));
    EXPECT_FALSE(port.QueryFormat(48000, 2, 3));  // rate, bytes, channels
    EXPECT_FALSE(port.QueryFormat(250000, 2, 2));  // beyond the card
    EXPECT_TRUE(port.SetFormat(0, 7, 9));  // the building rule replaces what no card takes
    EXPECT_EQ(port.Current(), SampleFormat::Make(44100, 1, 2));
    EXPECT_FALSE(port.SetFormat(1000, 2, 1));
    EXPECT_EQ(port.Rate(), 1000u);  // kept even when refused; Open refuses it
}

TEST(RateStepping, DiscreteTableMatchesABruteForceSearch) {
    ScriptedHost host;
    FakeWaveDriver driver;
    driver.name = "SB16";
    TSoundInput port(driver, host, 0);
    const auto& table = TSoundPort::kDiscreteRates;
    ASSERT_TRUE(std::is_sorted(table.begin(), table.end()));
    for (uint32_t r = 4000; r <= 46000; ++r) {
        uint32_t best = table.front();
        for (uint32_t t : table) {
            const int64_t dt = std::llabs(static_cast<int64_t>(t) - r), db = std::llabs(static_cast<int64_t>(best) - r);
            if (dt < db || (dt == db && t > best)) best = t;
        }
        ASSERT_EQ(port.NearestRate(r), best) << r;
    }
}

class Streaming : public ::testing::Test {
protected:
    void SetUp() override { TSoundPort::ResetLivePositionEstimate(); }
    ScriptedHost host;
    FakeWaveDriver driver;
    BufferDoneQueue queue;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(400);
};

// Drivers count the position in 32 bits; a run past 4 GiB must keep counting, not fall back.
TEST_F(Streaming, TheCapturedCountGoesOnThroughTheDriversPositionWrap) {
    TSoundInput in(driver, host, 0);
    ASSERT_TRUE(in.Open(&queue, false));
    std::vector<uint8_t> slots[2] = {std::vector<uint8_t>(40000), std::vector<uint8_t>(40000)};
    ASSERT_TRUE(in.AddBuffer(slots[0].data(), 40000, 0) && in.AddBuffer(slots[1].data(), 40000, 1) && in.Start());
    driver.positionOffset = 0xFFFFFFFFu - 20000;  // 20,000 bytes before the wrap
    uint64_t last = in.CapturedFrames();
    for (int step = 0; step < 8; ++step) {  // 8 × 1000 frames of 4 bytes cross the wrap
        driver.card.Advance(1000);
        const uint64_t now = in.CapturedFrames();
        EXPECT_EQ(now - last, 1000u) << "step " << step;
        last = now;
    }
}

TEST_F(Streaming, MissingDevicesAndRefusedOpensUseTheirOwnTexts) {
    driver.devices = 0;
    TSoundInput none(driver, host, 0);
    EXPECT_EQ(none.DeviceId(), -1);
    EXPECT_FALSE(none.Open(&queue, false));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, LoadString(kStrNoSoundDriver));
    int slot = 5;
    uint32_t offset = 5;
    EXPECT_FALSE(none.GetLivePosition(slot, offset, 0, false));
    EXPECT_FALSE(TSoundOutput(driver, host, 0).SetVolume(50, 50));
    EXPECT_EQ(TSoundOutput(driver, host, 0).GetVolume(0), 0);

    driver.devices = 1;
    TSoundInput in(driver, host, 3);  // beyond the only device: no capabilities, Open takes the last one
    EXPECT_EQ(host.messages.back().text, kFailure);
    in.SetFormat(1000, 2, 2);
    EXPECT_FALSE(in.Open(&queue, false));
    EXPECT_EQ(host.messages.back().text, "Sound Card not present or sampling rate not supported.");
    EXPECT_EQ(host.messages.back().caption, "Vornal");
    EXPECT_EQ(in.DeviceId(), 0);
    in.SetFormat(48000, 2, 2);
    driver.openResult = kWaveAllocated;
    EXPECT_FALSE(in.Open(&queue, false));
    EXPECT_EQ(host.messages.back().text, LoadString(kStrSoundBoardBusy));
    EXPECT_EQ(host.messages.back().caption, "");
    EXPECT_FALSE(in.IsOpen());

    // A closed port refuses every call with a message; an open one refuses bad arguments silently.
    host.messages.clear();
    TSoundOutput out(driver, host, 0);
    EXPECT_TRUE(in.AllSlotsDone());
    EXPECT_EQ(in.CurrentInputSlot(), -1);
    EXPECT_EQ(in.FramesInSlot(7), 0u);
    EXPECT_FALSE(in.AddBuffer(buffer.data(), 400, 0));
    EXPECT_FALSE(in.Start());
    EXPECT_FALSE(out.Write(buffer.data(), 400, 0, false));
    EXPECT_FALSE(out.Pause());
    EXPECT_FALSE(out.Restart());
    EXPECT_EQ(host.messages.size(), 5u);
    driver.openResult = kWaveOk;
    ASSERT_TRUE(in.Open(&queue, false));
    EXPECT_FALSE(in.AddBuffer(buffer.data(), 400, 3));
    EXPECT_FALSE(in.AddBuffer(nullptr, 400, 0));
    EXPECT_FALSE(in.AddBuffer(buffer.data(), 0, 0));
    EXPECT_EQ(host.messages.size(), 5u);
    for (const auto& m : host.messages) EXPECT_EQ(m.text, kFailure);
}

TEST_F(Streaming, DriverFailuresCloseInputButLeaveOutputOpen) {
    TSoundInput in(driver, host, 0);
    ASSERT_TRUE(in.Open(&queue, false));
    driver.inject["AddBuffer"] = {kWaveUnprepared};  // answered by preparing and adding again
    EXPECT_TRUE(in.AddBuffer(buffer.data(), 400, 0));
    EXPECT_TRUE(host.messages.empty());
    std::vector<uint8_t> refused(400, 0x55);
    EXPECT_FALSE(in.AddBuffer(refused.data(), 400, 0));  // slot 0 is busy
    driver.inject["AddBuffer"] = {kWaveUnprepared, kWaveUnprepared};
    EXPECT_FALSE(in.AddBuffer(buffer.data(), 400, 1));
    EXPECT_TRUE(in.IsOpen());  // a failed retry does not close
    driver.inject["AddBuffer"] = {kWaveError};
    EXPECT_FALSE(in.AddBuffer(buffer.data(), 400, 1));
    EXPECT_FALSE(in.IsOpen());
    EXPECT_TRUE(in.AllSlotsDone());  // the queued slot 0 came back
    for (const char* op : {"Prepare", "Start"}) {
        ASSERT_TRUE(in.Open(&queue, false));
        driver.inject[op] = {kWaveNoMemory};
        EXPECT_FALSE(std::string(op) == "Start" ? in.Start() : in.AddBuffer(buffer.data(), 400, 0)) << op;
        EXPECT_FALSE(in.IsOpen()) << op;
    }
    EXPECT_EQ(host.messages.size(), 5u);

    TSoundOutput out(driver, host, 0);
    ASSERT_TRUE(out.Open(&queue, false));
    driver.inject["AddBuffer"] = {kWaveError};
    EXPECT_FALSE(out.Write(buffer.data(), 400, 0, false));
    driver.inject["Prepare"] = {kWaveError};
    EXPECT_FALSE(out.Write(buffer.data(), 400, 0, false));
    EXPECT_TRUE(out.IsOpen());
    EXPECT_TRUE(out.Write(buffer.data(), 400, 0, false));
    driver.inject["Restart"] = {kWaveError};
    EXPECT_FALSE(out.Restart());
    EXPECT_FALSE(out.IsOpen());
    EXPECT_EQ(host.messages.size(), 8u);
    for (const auto& m : host.messages) EXPECT_EQ(m.text, kFailure);
}

TEST_F(Streaming, VolumePercentagesAreClamped) {
    TSoundOutput out(driver, host, 0);
    // Percentages become the halves of the volume word, clamped to 0 ... 100.
    ASSERT_TRUE(out.SetVolume(150, 20));
    uint32_t word = 0;
    ASSERT_EQ(driver.card.GetVolume(0, word), kWaveOk);
    EXPECT_EQ(word, 13107u << 16 | 65535u);
    ASSERT_TRUE(out.SetVolume(-3, 33));
    EXPECT_EQ(out.GetVolume(0), 0);
    EXPECT_EQ(out.GetVolume(1), 32);  // 21626 * 100 / 65535 truncates
    EXPECT_EQ(out.GetVolume(2), 0);  // no third channel
}

// Played in one width and recorded in another through the Loopback card, samples come back
// exactly, shifted to the input width (rounded when it is narrower).
TEST(SampleWidths, RecordedSamplesAreThePlayedOnesInTheInputWidth) {
    const auto readSigned = [](const uint8_t* p, unsigned bytes) {
        if (bytes == 1) return static_cast<int64_t>(p[0]) - 128;
        int64_t v = 0;
        for (unsigned b = 0; b < bytes; ++b) v |= static_cast<int64_t>(p[b]) << (8 * b);
        const int64_t sign = int64_t{1} << (8 * bytes - 1);
        return (v ^ sign) - sign;
    };
    const std::pair<uint16_t, uint16_t> cases[] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {2, 3}, {3, 2}, {1, 4}};
    for (const auto& [outBytes, inBytes] : cases) {
        SCOPED_TRACE(::testing::Message() << outBytes << " -> " << inBytes << " bytes");
        LoopbackDriver card(test::ManualClock());
        ScriptedHost host;
        TSoundInput in(card, host, 0);
        TSoundOutput out(card, host, 0);
        ASSERT_TRUE(in.SetFormat(48000, 2, inBytes) && out.SetFormat(48000, 2, outBytes));
        const uint32_t samples = 2 * 256;
        const int64_t limit = static_cast<int64_t>(0.8 * std::ldexp(1.0, 8 * outBytes - 1));
        std::vector<int64_t> values(samples);
        std::vector<uint8_t> played(samples * outBytes), recorded(samples * inBytes, 0xCC);
        for (uint32_t i = 0; i < samples; ++i) {
            values[i] = static_cast<int64_t>((i * 2654435761u) % static_cast<uint64_t>(2 * limit + 1)) - limit;
            const int64_t stored = outBytes == 1 ? values[i] + 128 : values[i];
            for (unsigned b = 0; b < outBytes; ++b) played[i * outBytes + b] = static_cast<uint8_t>(stored >> (8 * b));
        }
        BufferDoneQueue queue;
        ASSERT_TRUE(in.Open(&queue, false) && out.Open(&queue, false));
        ASSERT_TRUE(in.AddBuffer(recorded.data(), static_cast<uint32_t>(recorded.size()), 0));
        ASSERT_TRUE(out.Write(played.data(), static_cast<uint32_t>(played.size()), 0, false));
        ASSERT_TRUE(in.Start() && out.Restart());
        card.Advance(samples / 2);
        ASSERT_TRUE(in.AllSlotsDone());
        const int shift = 8 * (inBytes - outBytes);
        for (uint32_t i = 0; i < samples; ++i) {
            const int64_t want = shift >= 0 ? values[i] * (int64_t{1} << shift)
                                            : static_cast<int64_t>(std::nearbyint(std::ldexp(double(values[i]), shift)));
            ASSERT_EQ(readSigned(&recorded[i * inBytes], inBytes), want) << "sample " << i;
        }
        EXPECT_TRUE(host.messages.empty());
    }
}

}  // namespace
}  // namespace zeltrak
