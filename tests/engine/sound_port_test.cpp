// The sound port on a fake driver: capabilities, format descriptions, rates, buffers and the
// driver's failures.
#include "engine/sound_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/strings.h"
#include "engine/fake_wave_driver.h"
#include "platform/buffer_done_queue.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

using test::FakeWaveDriver;

const std::string kFailure = "Failure accessing sound device.";
constexpr uint16_t In = TSoundPort::kInput;
constexpr uint16_t Out = TSoundPort::kOutput;

TEST(CapabilityScan, FormatBitsAndTheTwentyFourBitProbeSetTheBestFormat) {
    ScriptedHost host;
    FakeWaveDriver driver;
    driver.refuse24 = true;
    driver.formats = kFormat2M08 | kFormat4M16;  // the 44.1 kHz bit is tested later and wins
    TSoundInput a(driver, host, 0);
    EXPECT_EQ(a.MaxRate(), 44100u);
    EXPECT_EQ(a.MaxChannels(), 1);
    EXPECT_EQ(a.MaxBytesPerSample(), 2);
    driver.refuse24 = false;
    TSoundInput b(driver, host, 0);
    EXPECT_EQ(b.MaxBitsPerSample(), 24);
    char name[32];
    b.GetDeviceName(name);
    EXPECT_STREQ(name, "Fake");
    EXPECT_EQ(int32_t{b.MaxFormat().minValue}, -8388607);
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
    EXPECT_TRUE(same(port.BuildDriverFormat(48000, 1, 3), Described(0xFFFE, 1, 48000, 3, 24, 24)));
    EXPECT_TRUE(same(port.BuildDriverFormat(48000, 2, 2), Described(1, 2, 48000, 4, 16, 0)));
    EXPECT_TRUE(same(padded.BuildDriverFormat(44100, 2, 3), Described(0xFFFE, 2, 44100, 6, 24, 20)));
    port.SetOperatingSystemClass(3);
    EXPECT_TRUE(same(port.BuildDriverFormat(44100, 1, 3), Described(1, 1, 44100, 3, 24, 0)));
    padded.SetOperatingSystemClass(2);
    EXPECT_TRUE(same(padded.BuildDriverFormat(44100, 2, 3), Described(1, 2, 44100, 6, 24, 0)));
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
    driver.name = "EMU8710";
    TSoundInput sixteen(driver, host, 0);
    EXPECT_FALSE(sixteen.QueryFormat(44100, 1, 1));
    sixteen.SetFormat(44100, 2, 2);
    EXPECT_FALSE(sixteen.SupportsDuplex());
}

TEST(RateStepping, DiscreteTableMatchesABruteForceSearchAndStandardRatesSnap) {
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
    // Stepping up walks the whole table and stops at its end.
    std::vector<uint32_t> up{port.NearestRate(0)};
    while (port.NextRate(up.back()) != up.back()) up.push_back(port.NextRate(up.back()));
    EXPECT_TRUE(std::equal(up.begin(), up.end(), table.begin(), table.end()));
    std::vector<uint32_t> down{45000};
    while (port.PrevRate(down.back()) != down.back()) down.push_back(port.PrevRate(down.back()));
    EXPECT_TRUE(std::equal(down.begin(), down.end(), table.rbegin(), table.rend()));

    // No name rule sets this flag; a port for such a device sets it itself.
    struct StandardPort : TSoundPort {
        StandardPort(WaveDriver& d, Host& h) : TSoundPort(d, h, 0, kInput) {
            MutablePeculiarities().standardRatesOnly = true;
        }
    };
    driver.name = "Fake";
    driver.formats = kFormat4S16;
    StandardPort standard(driver, host);
    const std::pair<uint32_t, uint32_t> nearest[] = {{16537, 11025}, {16538, 22050}, {33075, 22050}, {33076, 44100}};
    for (const auto& [asked, got] : nearest) EXPECT_EQ(standard.NearestRate(asked), got) << asked;
    EXPECT_EQ(standard.NextRate(11025), 22050u);
    EXPECT_EQ(standard.NextRate(20000), 44100u);
    EXPECT_EQ(standard.NextRate(44100), 44100u);
    EXPECT_EQ(standard.PrevRate(22050), 11025u);
    EXPECT_EQ(standard.PrevRate(44100), 22050u);
    EXPECT_EQ(standard.PrevRate(11025), 11025u);
    TSoundInput free(driver, host, 0);  // free rates pass through
    EXPECT_EQ(free.NextRate(30001), 30001u);
    EXPECT_EQ(free.PrevRate(30001), 30001u);
}

class Streaming : public ::testing::Test {
protected:
    void SetUp() override { TSoundPort::ResetLivePositionEstimate(); }
    ScriptedHost host;
    FakeWaveDriver driver;
    BufferDoneQueue queue;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(400);
};

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

TEST_F(Streaming, SlotsFollowTheRecordingAndABusySlotKeepsItsBuffer) {
    TSoundInput in(driver, host, 0);
    in.SetFormat(8000, 2, 2);  // 4-byte frames, 100 per buffer
    ASSERT_TRUE(in.Open(&queue, false));
    std::vector<uint8_t> a(400, 0xAA), b(400), refused(400, 0x55);
    ASSERT_TRUE(in.AddBuffer(a.data(), 400, 0));
    ASSERT_TRUE(in.AddBuffer(b.data(), 400, 1));
    EXPECT_FALSE(in.AllSlotsDone());
    EXPECT_FALSE(in.AddBuffer(refused.data(), 400, 0));
    ASSERT_EQ(host.messages.size(), 1u);
    ASSERT_TRUE(in.Start());
    driver.card.Advance(30);
    EXPECT_EQ(in.CurrentInputSlot(), 0);
    EXPECT_EQ(in.FramesInSlot(0), 30u);
    driver.card.Advance(95);
    EXPECT_TRUE(in.IsSlotDone(0));
    EXPECT_EQ(in.CurrentInputSlot(), 1);
    EXPECT_EQ(in.FramesInSlot(1), 25u);
    // The queued buffer got the (silent) recording; the refused one was never touched.
    EXPECT_TRUE(std::all_of(a.begin(), a.end(), [](uint8_t v) { return v == 0; }));
    EXPECT_TRUE(std::all_of(refused.begin(), refused.end(), [](uint8_t v) { return v == 0x55; }));
    BufferDoneQueue::Notice n;
    ASSERT_TRUE(queue.TryPop(n));
    EXPECT_EQ(static_cast<uint8_t*>(n.header->data), a.data());
    // Slot 0 queued again: both pending, the position (125 frames) says slot 1.
    ASSERT_TRUE(in.AddBuffer(a.data(), 400, 0));
    EXPECT_EQ(in.CurrentInputSlot(), 1);
    EXPECT_EQ(in.PositionBytes(), 500u);
    driver.card.Advance(75);
    EXPECT_EQ(in.CurrentInputSlot(), 0);
    EXPECT_TRUE(in.Close());
    EXPECT_TRUE(in.AllSlotsDone());
    EXPECT_EQ(in.PositionBytes(), 0u);
}

TEST_F(Streaming, DriverFailuresCloseInputButLeaveOutputOpen) {
    TSoundInput in(driver, host, 0);
    ASSERT_TRUE(in.Open(&queue, false));
    driver.inject["AddBuffer"] = {kWaveUnprepared};  // answered by preparing and adding again
    EXPECT_TRUE(in.AddBuffer(buffer.data(), 400, 0));
    EXPECT_TRUE(host.messages.empty());
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
    EXPECT_EQ(host.messages.size(), 4u);

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
    EXPECT_EQ(host.messages.size(), 7u);
    for (const auto& m : host.messages) EXPECT_EQ(m.text, kFailure);
}

TEST_F(Streaming, OutputOpensPausedAndLoopsUntilReset) {
    TSoundOutput out(driver, host, 0);
    out.SetFormat(8000, 1, 2);
    ASSERT_TRUE(out.Open(&queue, false));
    ASSERT_TRUE(out.Write(buffer.data(), 200, 0, true));
    driver.card.Advance(500);
    EXPECT_EQ(out.PositionBytes(), 0u);  // paused since Open
    ASSERT_TRUE(out.Restart());
    driver.card.Advance(500);  // five passes of the 100-frame buffer
    EXPECT_EQ(out.PositionBytes(), 1000u);
    EXPECT_FALSE(out.IsSlotDone(0));
    ASSERT_TRUE(out.Pause());
    driver.card.Advance(100);
    EXPECT_EQ(out.PositionBytes(), 1000u);
    EXPECT_TRUE(out.Close());
    EXPECT_TRUE(out.IsSlotDone(0));
    EXPECT_EQ(queue.Size(), 1u);
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

TEST_F(Streaming, PreRollDeviceQueuesSilenceFirstAndHidesIt) {
    driver.name = "DAL Wave";
    TSoundInput in(driver, host, 0);
    in.SetFormat(8000, 1, 2);
    std::vector<uint8_t> a(2000);
    ASSERT_TRUE(in.Open(&queue, false));
    ASSERT_TRUE(in.AddBuffer(a.data(), 2000, 0));
    ASSERT_TRUE(in.Start());
    driver.card.Advance(5000);  // 10000 bytes of pre-roll
    EXPECT_TRUE(in.IsSlotDone(2));
    EXPECT_EQ(in.PositionBytes(), 0u);  // not below zero inside the pre-roll
    driver.card.Advance(300);
    EXPECT_EQ(in.PositionBytes(), 600u);
    EXPECT_EQ(in.FramesInSlot(0), 300u);
}

TEST_F(Streaming, LivePositionInterpolatesButNeverPassesTheLatestReading) {
    driver.name = "Fiji";  // no position lag: the raw reading is the position
    TSoundInput in(driver, host, 0);
    in.SetFormat(10000, 1, 2);  // 20 bytes per millisecond
    ASSERT_TRUE(in.Open(&queue, false));
    std::vector<uint8_t> a(40000), b(40000);
    ASSERT_TRUE(in.AddBuffer(a.data(), 40000, 0));
    ASSERT_TRUE(in.AddBuffer(b.data(), 40000, 1));
    ASSERT_TRUE(in.Start());
    int slot = -1;
    uint32_t offset = 0;
    driver.card.Advance(100);  // 200 bytes, not past 100 frames
    EXPECT_FALSE(in.GetLivePosition(slot, offset, 100, false));
    driver.card.Advance(400);
    ASSERT_TRUE(in.GetLivePosition(slot, offset, 100, false));
    EXPECT_EQ(offset, 0u);  // a new reading shows the one before it (none yet)
    driver.card.Advance(1000);  // reading 3000 bytes
    ASSERT_TRUE(in.GetLivePosition(slot, offset, 0, false));
    EXPECT_EQ(offset, 500u);  // the previous reading, 1000 bytes
    // Repeated readings extrapolate at the assumed 7 ms (140 bytes) a call, up to the reading.
    for (uint32_t k = 1; k <= 20; ++k) {
        ASSERT_TRUE(in.GetLivePosition(slot, offset, 0, false));
        ASSERT_EQ(offset, std::min<uint32_t>(1000 + k * 7 * 20, 3000) / 2) << k;
    }
    EXPECT_FALSE(in.GetLivePosition(slot, offset, 10, true));  // nothing new
    driver.card.Advance(19500);  // reading 42000 bytes: slot 1
    EXPECT_FALSE(in.GetLivePosition(slot, offset, 10, true));  // shows the previous reading
    ASSERT_TRUE(in.GetLivePosition(slot, offset, 10, true));
    EXPECT_EQ(offset, 1570u);  // 3000 + 140 bytes
    for (int k = 0; k < 400; ++k) in.GetLivePosition(slot, offset, 0, false);
    EXPECT_EQ(slot, 1);
    EXPECT_EQ(offset, 1000u);  // 42000 - 40000 bytes into slot 1
}

int64_t ReadSigned(const uint8_t* p, unsigned bytes) {
    if (bytes == 1) return static_cast<int64_t>(p[0]) - 128;
    int64_t v = 0;
    for (unsigned b = 0; b < bytes; ++b) v |= static_cast<int64_t>(p[b]) << (8 * b);
    const int64_t sign = int64_t{1} << (8 * bytes - 1);
    return (v ^ sign) - sign;
}

// Played in one width and recorded in another through the Loopback card, samples come back
// exactly when widened and rounded to nearest when narrowed.
TEST(SampleWidths, RecordedSamplesAreThePlayedOnesInTheInputWidth) {
    const std::pair<uint16_t, uint16_t> cases[] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {2, 3}, {3, 2}, {1, 4}};
    for (const auto& [outBytes, inBytes] : cases) {
        SCOPED_TRACE(::testing::Message() << outBytes << " -> " << inBytes << " bytes");
        LoopbackDriver card(FakeWaveDriver::ManualConfig());
        ScriptedHost host;
        TSoundInput in(card, host, 0);
        TSoundOutput out(card, host, 0);
        ASSERT_TRUE(in.SetFormat(48000, 2, inBytes));
        ASSERT_TRUE(out.SetFormat(48000, 2, outBytes));
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
        ASSERT_TRUE(in.Open(&queue, false));
        ASSERT_TRUE(out.Open(&queue, false));
        ASSERT_TRUE(in.AddBuffer(recorded.data(), static_cast<uint32_t>(recorded.size()), 0));
        ASSERT_TRUE(out.Write(played.data(), static_cast<uint32_t>(played.size()), 0, false));
        ASSERT_TRUE(in.Start());
        ASSERT_TRUE(out.Restart());
        card.Advance(samples / 2);
        ASSERT_TRUE(in.AllSlotsDone());
        const int shift = 8 * (inBytes - outBytes);
        for (uint32_t i = 0; i < samples; ++i) {
            const int64_t want = shift >= 0 ? values[i] * (int64_t{1} << shift)
                                            : static_cast<int64_t>(std::nearbyint(std::ldexp(double(values[i]), shift)));
            ASSERT_EQ(ReadSigned(&recorded[i * inBytes], inBytes), want) << "sample " << i;
        }
        EXPECT_TRUE(host.messages.empty());
    }
}

}  // namespace
}  // namespace zeltrak
