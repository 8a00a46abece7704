#include "engine/sound_port.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include "base/strings.h"
#include "engine/fake_wave_driver.h"
#include "platform/buffer_done_queue.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

using test::FakeWaveDriver;

const std::string kFailure = "Failure accessing sound device.";

struct ScanCase {
    const char* name;
    uint16_t direction;
    bool lag, preRoll, echo, pocket, sixteenOnly, padded24, loop, discrete;
};

class CapabilityScan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(CapabilityScan, NameSelectsPeculiarities) {
    const ScanCase& c = GetParam();
    FakeWaveDriver driver;
    driver.name = c.name;
    ScriptedHost host;
    TSoundPort port(driver, host, 0, c.direction);
    const SoundDevicePeculiarities& p = port.Peculiarities();
    EXPECT_EQ(p.positionLag8000, c.lag);
    EXPECT_EQ(p.preRoll, c.preRoll);
    EXPECT_EQ(p.echoFamily, c.echo);
    EXPECT_EQ(p.pocketFamily, c.pocket);
    EXPECT_EQ(p.sixteenBitOnly, c.sixteenOnly);
    EXPECT_EQ(p.paddedTwentyFour, c.padded24);
    EXPECT_EQ(p.loopPlayback, c.loop);
    EXPECT_EQ(p.discreteRateTable, c.discrete);
    EXPECT_TRUE(p.fullDuplex);
    EXPECT_TRUE(host.messages.empty());
}

constexpr uint16_t In = TSoundPort::kInput;
constexpr uint16_t Out = TSoundPort::kOutput;

INSTANTIATE_TEST_SUITE_P(
    Names, CapabilityScan,
    ::testing::Values(
        //        name                          dir  lag    pre    echo   pocket 16only pad24  loop   discrete
        ScanCase{"Generic Card", In, true, false, false, false, false, false, true, false},
        ScanCase{"FIJI wave", In, false, false, false, false, false, false, true, false},
        ScanCase{"pinnacle", Out, false, false, false, false, false, false, true, false},
        ScanCase{"TBS Tropez", In, true, false, false, false, false, false, true, false},
        ScanCase{"dal input", In, false, true, false, false, false, false, true, false},
        ScanCase{"My Windows Sound System", In, false, false, false, false, false, false, true, false},
        ScanCase{"my windows sound system", In, true, false, false, false, false, false, true, false},
        ScanCase{"XAntex", Out, false, false, false, false, false, false, true, false},
        ScanCase{"layla24", In, false, false, true, false, false, false, true, false},
        ScanCase{"Gina3G", Out, false, false, true, false, false, false, false, false},
        // the later pocket rule overrides the earlier anywhere match
        ScanCase{"VXPOCKET Antex", In, true, false, false, true, false, false, true, false},
        ScanCase{"EMU8710 In", In, true, false, false, false, true, false, true, false},
        ScanCase{"EMU8710 Out", Out, false, false, false, false, true, false, true, false},
        ScanCase{"Pd96 out", Out, false, false, false, false, false, true, false, false},
        ScanCase{"Pd96 in", In, true, false, false, false, false, false, true, false},
        ScanCase{"SB16 Wave", In, true, false, false, false, false, false, true, true},
        ScanCase{"sb16 Wave", In, true, false, false, false, false, false, true, false}));

TEST(CapabilityScanFormats, FormatBitsAndTwentyFourBitProbeSetMaxFormat) {
    ScriptedHost host;
    FakeWaveDriver driver;
    driver.refuse24 = true;
    driver.formats = kFormat2S08;  // 22.05 kHz stereo, 8-bit only
    TSoundInput a(driver, host, 0);
    EXPECT_EQ(a.MaxRate(), 22050u);
    EXPECT_EQ(a.MaxChannels(), 2);
    EXPECT_EQ(a.MaxBytesPerSample(), 2);  // untouched from the initial 16-bit best format

    driver.formats = kFormat2M08 | kFormat4M16;  // the 44.1 kHz test comes later and wins
    TSoundInput b(driver, host, 0);
    EXPECT_EQ(b.MaxRate(), 44100u);
    EXPECT_EQ(b.MaxChannels(), 1);
    EXPECT_EQ(int32_t{b.MaxFormat().maxValue}, 32767);

    driver.refuse24 = false;
    TSoundInput c(driver, host, 0);
    EXPECT_EQ(c.MaxBytesPerSample(), 3);
    EXPECT_EQ(c.MaxBitsPerSample(), 24);
    EXPECT_EQ(int32_t{c.MaxFormat().minValue}, -8388607);
    EXPECT_EQ(c.MinRate(), 11025u);

    char name[32];
    c.GetDeviceName(name);
    EXPECT_STREQ(name, "Fake");
    EXPECT_EQ(c.ManufacturerId(), 7u);
    EXPECT_EQ(c.ProductId(), 9u);
    EXPECT_EQ(c.DriverVersion(), 0x0305u);
    EXPECT_TRUE(host.messages.empty());
}

TEST(CapabilityScanFormats, DiscreteTableDeviceKeepsItsRangeOnlyWithout44kBits) {
    ScriptedHost host;
    FakeWaveDriver driver;
    driver.name = "SB16";
    TSoundInput plain(driver, host, 0);
    EXPECT_EQ(plain.MinRate(), 5000u);
    EXPECT_EQ(plain.MaxRate(), 45000u);
    driver.formats = kFormat4S16;
    TSoundInput with44(driver, host, 0);
    EXPECT_EQ(with44.MaxRate(), 44100u);
}

TEST(CapabilityScanFormats, UnreadableCapabilitiesShowFailureAndKeepDefaults) {
    ScriptedHost host;
    FakeWaveDriver driver;
    driver.capsFail = true;
    TSoundOutput port(driver, host, 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, kFailure);
    EXPECT_EQ(host.messages[0].caption, kProgramTitle);
    EXPECT_EQ(port.DeviceName(), "");
    EXPECT_EQ(port.MaxRate(), 44100u);
    EXPECT_FALSE(port.SupportsVolume());
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

TEST(DriverFormat, TwentyFourBitDescriptionsFollowSystemClassAndPadding) {
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
    EXPECT_TRUE(IsPlausiblePcm(padded.BuildDriverFormat(44100, 2, 3)));
}

TEST(DriverFormat, QueryAndSetFormatRefusals) {
    ScriptedHost host;
    FakeWaveDriver driver;
    TSoundInput port(driver, host, 0);
    EXPECT_TRUE(port.QueryFormat(48000, 2, 2));
    EXPECT_FALSE(port.QueryFormat(48000, 2, 0));
    EXPECT_FALSE(port.QueryFormat(48000, 2, 3));
    EXPECT_FALSE(port.QueryFormat(48000, 0, 2));
    EXPECT_FALSE(port.QueryFormat(250000, 2, 2));  // beyond the card
    // SetFormat applies the building rule before asking.
    EXPECT_TRUE(port.SetFormat(0, 7, 9));
    EXPECT_EQ(port.Rate(), 44100u);
    EXPECT_EQ(port.Channels(), 1);
    EXPECT_EQ(port.BytesPerSample(), 2);
    EXPECT_FALSE(port.SetFormat(1000, 2, 1));
    EXPECT_EQ(port.Rate(), 1000u);  // kept even when refused; Open will refuse it
    SampleFormat copy;
    port.CopyFormat(copy);
    EXPECT_EQ(copy, SampleFormat::Make(1000, 2, 1));

    driver.name = "EMU8710";
    TSoundInput sixteen(driver, host, 0);
    EXPECT_TRUE(sixteen.QueryFormat(44100, 2, 2));
    EXPECT_FALSE(sixteen.QueryFormat(44100, 3, 2));
    EXPECT_FALSE(sixteen.QueryFormat(44100, 1, 1));
    EXPECT_EQ(sixteen.MaxBytesPerSample(), 2);  // the 24-bit probe is refused too
    sixteen.SetFormat(44100, 2, 2);
    EXPECT_FALSE(sixteen.SupportsDuplex());
    sixteen.SetFormat(44100, 1, 2);
    EXPECT_TRUE(sixteen.SupportsDuplex());
}

// ---------------------------------------------------------------------------------------------
// Rate stepping

class RateStepping : public ::testing::Test {
protected:
    ScriptedHost host;
    FakeWaveDriver driver;
};

TEST_F(RateStepping, FreeRatesPassThroughWithinLimits) {
    driver.formats = kFormat4S16;
    TSoundInput port(driver, host, 0);
    EXPECT_EQ(port.NearestRate(30001), 30001u);
    EXPECT_EQ(port.NearestRate(100), 11025u);
    EXPECT_EQ(port.NearestRate(96000), 44100u);
    EXPECT_EQ(port.NextRate(30001), 30001u);
    EXPECT_EQ(port.PrevRate(30001), 30001u);
}

TEST_F(RateStepping, DiscreteTableNearestMatchesBruteForce) {
    driver.name = "SB16";
    TSoundInput port(driver, host, 0);
    ASSERT_TRUE(port.Peculiarities().discreteRateTable);
    const auto& table = TSoundPort::kDiscreteRates;
    EXPECT_EQ(table.size(), 222u);
    EXPECT_TRUE(std::is_sorted(table.begin(), table.end()));
    for (uint32_t r = 4000; r <= 46000; ++r) {
        uint32_t best = table.front();
        for (uint32_t t : table) {
            const int64_t dt = std::llabs(static_cast<int64_t>(t) - r);
            const int64_t db = std::llabs(static_cast<int64_t>(best) - r);
            if (dt < db || (dt == db && t > best)) best = t;
        }
        ASSERT_EQ(port.NearestRate(r), best) << r;
    }
    EXPECT_EQ(port.NearestRate(44200), 44100u);
    EXPECT_EQ(port.NearestRate(44212), 44324u);

    // Stepping walks the whole table in both directions and stops at its ends.
    std::vector<uint32_t> up{port.NearestRate(0)};
    while (true) {
        const uint32_t next = port.NextRate(up.back());
        if (next == up.back()) break;
        up.push_back(next);
    }
    EXPECT_TRUE(std::equal(up.begin(), up.end(), table.begin(), table.end()));
    std::vector<uint32_t> down{45000};
    while (true) {
        const uint32_t prev = port.PrevRate(down.back());
        if (prev == down.back()) break;
        down.push_back(prev);
    }
    EXPECT_TRUE(std::equal(down.begin(), down.end(), table.rbegin(), table.rend()));
}

TEST_F(RateStepping, StandardRatesOnly) {
    // No name rule sets this flag; a port for such a device sets it itself.
    struct StandardPort : TSoundPort {
        StandardPort(WaveDriver& d, Host& h) : TSoundPort(d, h, 0, kInput) {
            MutablePeculiarities().standardRatesOnly = true;
        }
    };
    driver.formats = kFormat4S16;
    StandardPort port(driver, host);
    ASSERT_TRUE(port.StandardRatesOnly());
    EXPECT_EQ(port.NearestRate(11025), 11025u);
    EXPECT_EQ(port.NearestRate(16537), 11025u);
    EXPECT_EQ(port.NearestRate(16538), 22050u);
    EXPECT_EQ(port.NearestRate(22051), 22050u);
    EXPECT_EQ(port.NearestRate(33075), 22050u);
    EXPECT_EQ(port.NearestRate(33076), 44100u);
    EXPECT_EQ(port.NextRate(11025), 22050u);
    EXPECT_EQ(port.NextRate(20000), 44100u);
    EXPECT_EQ(port.NextRate(44100), 44100u);
    EXPECT_EQ(port.PrevRate(44100), 22050u);
    EXPECT_EQ(port.PrevRate(22050), 11025u);
    EXPECT_EQ(port.PrevRate(11025), 11025u);
}

// ---------------------------------------------------------------------------------------------
// Streaming through the fake driver

class Streaming : public ::testing::Test {
protected:
    void SetUp() override { TSoundPort::ResetLivePositionEstimate(); }
    ScriptedHost host;
    FakeWaveDriver driver;
    BufferDoneQueue queue;
};

TEST_F(Streaming, NoDeviceGivesNoDriverMessageAndZeroResults) {
    driver.devices = 0;
    TSoundInput in(driver, host, 0);
    EXPECT_EQ(in.DeviceId(), -1);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(in.Open(&queue, false));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, LoadString(kStrNoSoundDriver));
    EXPECT_EQ(in.PositionBytes(), 0u);
    EXPECT_FALSE(in.QueryFormat(44100, 2, 2));
    EXPECT_TRUE(in.AllSlotsDone());
    EXPECT_EQ(in.CurrentInputSlot(), -1);
    int slot = 5;
    uint32_t offset = 5;
    EXPECT_FALSE(in.GetLivePosition(slot, offset, 0, false));
    EXPECT_FALSE(in.Close());

    TSoundOutput out(driver, host, 0);
    EXPECT_EQ(out.GetVolume(0), 0);
    EXPECT_FALSE(out.SetVolume(50, 50));
}

TEST_F(Streaming, OpenFailuresUseTheirOwnTextsAndCaptions) {
    TSoundInput in(driver, host, 3);  // beyond the only device: no capabilities, Open takes the last one
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, kFailure);
    in.SetFormat(1000, 2, 2);
    EXPECT_FALSE(in.Open(&queue, false));
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().text, "Sound Card not present or sampling rate not supported.");
    EXPECT_EQ(host.messages.back().caption, "Vornal");
    EXPECT_EQ(in.DeviceId(), 0);

    in.SetFormat(48000, 2, 2);
    driver.openResult = kWaveAllocated;
    EXPECT_FALSE(in.Open(&queue, false));
    EXPECT_EQ(host.messages.back().text, LoadString(kStrSoundBoardBusy));
    EXPECT_EQ(host.messages.back().caption, "");
    EXPECT_FALSE(in.IsOpen());

    driver.openResult = kWaveOk;
    EXPECT_TRUE(in.Open(&queue, false));
    // A second port on the busy card meets the driver's own refusal.
    TSoundInput other(driver, host, 0);
    other.SetFormat(48000, 2, 2);
    EXPECT_FALSE(other.Open(&queue, false));
    EXPECT_EQ(host.messages.back().caption, "");
}

TEST_F(Streaming, ClosedPortRefusesWithMessageOpenPortRefusesBadArgumentsSilently) {
    TSoundInput in(driver, host, 0);
    TSoundOutput out(driver, host, 0);
    EXPECT_TRUE(in.AllSlotsDone());
    EXPECT_EQ(in.CurrentInputSlot(), -1);
    EXPECT_EQ(in.FramesInSlot(7), 0u);
    std::vector<uint8_t> buffer(400);
    EXPECT_FALSE(in.AddBuffer(buffer.data(), 400, 0));
    EXPECT_FALSE(in.Start());
    EXPECT_FALSE(out.Write(buffer.data(), 400, 0, false));
    EXPECT_FALSE(out.Pause());
    EXPECT_FALSE(out.Restart());
    ASSERT_EQ(host.messages.size(), 5u);
    for (const auto& m : host.messages) EXPECT_EQ(m.text, kFailure);

    host.messages.clear();
    ASSERT_TRUE(in.Open(&queue, false));
    EXPECT_FALSE(in.AddBuffer(buffer.data(), 400, 3));
    EXPECT_FALSE(in.AddBuffer(nullptr, 400, 0));
    EXPECT_FALSE(in.AddBuffer(buffer.data(), 0, 0));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(in.IsOpen());
}

TEST_F(Streaming, SlotBookkeepingFollowsTheRecording) {
    TSoundInput in(driver, host, 0);
    in.SetFormat(8000, 2, 2);  // 4-byte frames
    ASSERT_TRUE(in.Open(&queue, false));
    std::vector<uint8_t> a(400), b(400);  // 100 frames each
    ASSERT_TRUE(in.AddBuffer(a.data(), 400, 0));
    ASSERT_TRUE(in.AddBuffer(b.data(), 400, 1));
    EXPECT_EQ(in.CurrentInputSlot(), 0);
    EXPECT_FALSE(in.AllSlotsDone());
    ASSERT_TRUE(in.Start());
    host.Advance(5);
    driver.card.Advance(30);
    EXPECT_EQ(in.CurrentInputSlot(), 0);
    EXPECT_EQ(in.FramesInSlot(0), 30u);
    driver.card.Advance(70);
    EXPECT_TRUE(in.IsSlotDone(0));
    EXPECT_EQ(in.CurrentInputSlot(), 1);
    driver.card.Advance(25);
    EXPECT_EQ(in.FramesInSlot(1), 25u);
    // Slot 0 re-queued: both pending, the position (125 frames = 500 bytes) says slot 1.
    ASSERT_TRUE(in.AddBuffer(a.data(), 400, 0));
    EXPECT_EQ(in.CurrentInputSlot(), 1);
    EXPECT_EQ(in.PositionBytes(), 500u);
    EXPECT_EQ(in.PositionFrames(), 125u);
    EXPECT_FLOAT_EQ(in.PositionSeconds(), 125.0f / 8000.0f);
    driver.card.Advance(75);
    EXPECT_EQ(in.CurrentInputSlot(), 0);
    EXPECT_TRUE(in.Close());
    EXPECT_TRUE(in.AllSlotsDone());
    EXPECT_FALSE(in.IsStarted());
    EXPECT_EQ(in.PositionBytes(), 0u);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(Streaming, AddingToABusySlotNeverTakesTheQueuedBuffer) {
    TSoundInput in(driver, host, 0);
    in.SetFormat(8000, 1, 2);
    ASSERT_TRUE(in.Open(&queue, false));
    std::vector<uint8_t> first(200, 0xAA), second(200, 0x55);
    ASSERT_TRUE(in.AddBuffer(first.data(), 200, 0));
    EXPECT_FALSE(in.AddBuffer(second.data(), 200, 0));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, kFailure);
    EXPECT_TRUE(in.IsOpen());
    ASSERT_TRUE(in.Start());
    driver.card.Advance(100);
    EXPECT_TRUE(in.IsSlotDone(0));
    // The first buffer got the (silent) recording; the refused one was never touched.
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](uint8_t v) { return v == 0; }));
    EXPECT_TRUE(std::all_of(second.begin(), second.end(), [](uint8_t v) { return v == 0x55; }));
    BufferDoneQueue::Notice n;
    ASSERT_TRUE(queue.TryPop(n));
    EXPECT_EQ(n.direction, WaveDirection::Input);
    EXPECT_EQ(static_cast<uint8_t*>(n.header->data), first.data());
}

TEST_F(Streaming, DriverFailuresCloseInputButLeaveOutputOpen) {
    std::vector<uint8_t> buffer(400);
    {
        TSoundInput in(driver, host, 0);
        ASSERT_TRUE(in.Open(&queue, false));
        driver.inject["AddBuffer"] = {kWaveUnprepared};  // answered by preparing and adding again
        EXPECT_TRUE(in.AddBuffer(buffer.data(), 400, 0));
        EXPECT_TRUE(host.messages.empty());
        driver.inject["AddBuffer"] = {kWaveUnprepared, kWaveUnprepared};
        EXPECT_FALSE(in.AddBuffer(buffer.data(), 400, 1));
        EXPECT_EQ(host.messages.size(), 1u);
        EXPECT_TRUE(in.IsOpen());  // a failed retry does not close
        driver.inject["AddBuffer"] = {kWaveError};
        EXPECT_FALSE(in.AddBuffer(buffer.data(), 400, 1));
        EXPECT_EQ(host.messages.size(), 2u);
        EXPECT_FALSE(in.IsOpen());
        EXPECT_TRUE(in.AllSlotsDone());  // the queued slot 0 came back

        ASSERT_TRUE(in.Open(&queue, false));
        driver.inject["Prepare"] = {kWaveNoMemory};
        EXPECT_FALSE(in.AddBuffer(buffer.data(), 400, 0));
        EXPECT_FALSE(in.IsOpen());

        ASSERT_TRUE(in.Open(&queue, false));
        driver.inject["Start"] = {kWaveError};
        EXPECT_FALSE(in.Start());
        EXPECT_FALSE(in.IsOpen());
        EXPECT_FALSE(in.IsStarted());
        EXPECT_EQ(host.messages.size(), 4u);
    }
    host.messages.clear();
    {
        TSoundOutput out(driver, host, 0);
        ASSERT_TRUE(out.Open(&queue, false));
        driver.inject["AddBuffer"] = {kWaveError};
        EXPECT_FALSE(out.Write(buffer.data(), 400, 0, false));
        driver.inject["Prepare"] = {kWaveError};
        EXPECT_FALSE(out.Write(buffer.data(), 400, 0, false));
        EXPECT_EQ(host.messages.size(), 2u);
        EXPECT_TRUE(out.IsOpen());
        EXPECT_TRUE(out.Write(buffer.data(), 400, 0, false));
        driver.inject["Restart"] = {kWaveError};
        EXPECT_FALSE(out.Restart());
        EXPECT_FALSE(out.IsOpen());
        EXPECT_EQ(host.messages.size(), 3u);
        for (const auto& m : host.messages) EXPECT_EQ(m.text, kFailure);
    }
}

TEST_F(Streaming, OutputOpensPausedAndLoopsUntilReset) {
    TSoundOutput out(driver, host, 0);
    out.SetFormat(8000, 1, 2);
    ASSERT_TRUE(out.Open(&queue, false));
    std::vector<uint8_t> tone(200);
    ASSERT_TRUE(out.Write(tone.data(), 200, 0, true));
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
    // Close pauses, resets, unprepares and closes, in that order.
    const auto& ops = driver.calls.ops;
    auto pos = [&](const std::string& op) { return std::find(ops.rbegin(), ops.rend(), op) - ops.rbegin(); };
    EXPECT_GT(pos("Pause"), pos("Reset"));
    EXPECT_GT(pos("Reset"), pos("Unprepare"));
    EXPECT_GT(pos("Unprepare"), pos("Close"));
}

TEST_F(Streaming, PreRollDeviceQueuesSilenceFirstAndHidesIt) {
    driver.name = "DAL Wave";
    TSoundInput in(driver, host, 0);
    in.SetFormat(8000, 1, 2);
    std::vector<uint8_t> a(2000, 0xEE);
    EXPECT_FALSE(in.AddBuffer(a.data(), 2000, 0));  // closed: the pre-roll is not spent here
    ASSERT_EQ(host.messages.size(), 1u);
    host.messages.clear();
    ASSERT_TRUE(in.Open(&queue, false));
    EXPECT_EQ(driver.calls.messages, std::vector<uint32_t>{TSoundPort::kPreRollPrivateMessage});
    ASSERT_TRUE(in.AddBuffer(a.data(), 2000, 0));
    EXPECT_FALSE(in.IsSlotDone(2));  // the pre-roll block
    ASSERT_TRUE(in.Start());
    driver.card.Advance(5000);  // 10000 bytes of pre-roll
    EXPECT_TRUE(in.IsSlotDone(2));
    EXPECT_EQ(in.PositionBytes(), 0u);  // not below zero while inside the pre-roll
    driver.card.Advance(300);
    EXPECT_EQ(in.PositionBytes(), 600u);
    EXPECT_EQ(in.FramesInSlot(0), 300u);
    EXPECT_TRUE(in.Close());

    // The next run sends the pre-roll again; self-monitoring skips the private message.
    ASSERT_TRUE(in.Open(&queue, true));
    EXPECT_EQ(driver.calls.messages.size(), 1u);
    ASSERT_TRUE(in.AddBuffer(a.data(), 2000, 0));
    EXPECT_FALSE(in.IsSlotDone(2));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(Streaming, VolumeWordHalvesAndClamps) {
    TSoundOutput out(driver, host, 0);
    EXPECT_TRUE(out.SupportsVolume());
    ASSERT_TRUE(out.SetVolume(150, 20));
    uint32_t word = 0;
    ASSERT_EQ(driver.card.GetVolume(0, word), kWaveOk);
    EXPECT_EQ(word & 0xFFFF, 65535u);
    EXPECT_EQ(word >> 16, 13107u);
    EXPECT_EQ(out.GetVolume(0), 100);
    EXPECT_EQ(out.GetVolume(1), 20);
    EXPECT_EQ(out.GetVolume(2), 0);
    ASSERT_TRUE(out.SetVolume(-3, 33));
    EXPECT_EQ(out.GetVolume(0), 0);
    EXPECT_EQ(out.GetVolume(1), 32);  // 21626 * 100 / 65535 truncates
    driver.support = 0;
    TSoundOutput fixed(driver, host, 0);
    EXPECT_FALSE(fixed.SupportsVolume());
}

// ---------------------------------------------------------------------------------------------
// Live position

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
    driver.card.Advance(400);  // reading 1000 bytes
    ASSERT_TRUE(in.GetLivePosition(slot, offset, 100, false));
    EXPECT_EQ(offset, 0u);  // a new reading shows the one before it (none yet)
    driver.card.Advance(1000);  // reading 3000 bytes
    ASSERT_TRUE(in.GetLivePosition(slot, offset, 0, false));
    EXPECT_EQ(offset, 500u);  // previous reading, 1000 bytes
    // Repeated readings extrapolate at the assumed 7 ms per call, 140 bytes a call, up to the reading.
    for (uint32_t k = 1; k <= 20; ++k) {
        ASSERT_TRUE(in.GetLivePosition(slot, offset, 0, false));
        const uint32_t expected = std::min<uint32_t>(1000 + k * 7 * 20, 3000) / 2;
        ASSERT_EQ(offset, expected) << k;
        EXPECT_EQ(slot, 0);
        EXPECT_EQ(in.LastFrames(), expected);
    }
    // onlyIfAdvanced refuses until minFrames more frames are available.
    EXPECT_FALSE(in.GetLivePosition(slot, offset, 10, true));
    driver.card.Advance(19500);  // reading 42000 bytes: slot 1 by position
    EXPECT_FALSE(in.GetLivePosition(slot, offset, 10, true));  // shows the previous reading, 3000 bytes
    ASSERT_TRUE(in.GetLivePosition(slot, offset, 10, true));
    EXPECT_EQ(offset, 1570u);  // 3000 + 140 bytes
    EXPECT_EQ(slot, 0);
    for (int k = 0; k < 400; ++k) in.GetLivePosition(slot, offset, 0, false);
    EXPECT_EQ(slot, 1);
    EXPECT_EQ(offset, 1000u);  // 42000 - 40000 bytes into slot 1
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(Streaming, LivePositionLearnsTheCallRateAndAppliesDeviceLag) {
    TSoundInput in(driver, host, 0);  // default lag of 8000 bytes
    in.SetFormat(10000, 1, 2);
    ASSERT_TRUE(in.Open(&queue, false));
    std::vector<uint8_t> a(400000), b(400000);
    ASSERT_TRUE(in.AddBuffer(a.data(), 400000, 0));
    ASSERT_TRUE(in.AddBuffer(b.data(), 400000, 1));
    ASSERT_TRUE(in.Start());
    int slot = -1;
    uint32_t offset = 0;
    driver.card.Advance(5000);  // 10000 bytes, 2000 after the lag
    ASSERT_TRUE(in.GetLivePosition(slot, offset, 0, false));
    // 100 calls 2 ms apart teach a mean interval of 2 ms.
    for (int k = 0; k < 100; ++k) {
        driver.card.Advance(20);
        host.Advance(2);
        in.GetLivePosition(slot, offset, 0, false);
    }
    driver.card.Advance(5000);  // reading 10000 + 100*40 + 10000 - 8000 = 16000 bytes
    host.Advance(2);
    ASSERT_TRUE(in.GetLivePosition(slot, offset, 0, false));
    const uint32_t previous = offset * 2;
    EXPECT_EQ(previous, 6000u);  // the reading before, less the lag
    ASSERT_TRUE(in.GetLivePosition(slot, offset, 0, false));
    EXPECT_EQ(offset * 2, previous + 1 * 2 * 20);
    ASSERT_TRUE(in.GetLivePosition(slot, offset, 0, false));
    EXPECT_EQ(offset * 2, previous + 2 * 2 * 20);
}

// ---------------------------------------------------------------------------------------------
// Tones through the Loopback card, output port to input port

struct WidthCase {
    uint16_t outBytes, inBytes, channels;
};

class LoopbackTone : public ::testing::TestWithParam<WidthCase> {};

int64_t ReadSigned(const uint8_t* p, unsigned bytes) {
    if (bytes == 1) return static_cast<int64_t>(p[0]) - 128;
    int64_t v = 0;
    for (unsigned b = 0; b < bytes; ++b) v |= static_cast<int64_t>(p[b]) << (8 * b);
    const int64_t sign = int64_t{1} << (8 * bytes - 1);
    return (v ^ sign) - sign;
}

void WriteSigned(uint8_t* p, unsigned bytes, int64_t v) {
    if (bytes == 1) v += 128;
    for (unsigned b = 0; b < bytes; ++b) p[b] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * b));
}

TEST_P(LoopbackTone, RecordingIsThePlayedToneDelayedBySamples) {
    const WidthCase w = GetParam();
    LoopbackConfig config = FakeWaveDriver::ManualConfig();
    config.delaySamples[0] = 37;
    config.delaySamples[1] = 5;
    LoopbackDriver card(config);
    ScriptedHost host;
    TSoundInput in(card, host, 0);
    TSoundOutput out(card, host, 0);
    const uint32_t rate = 48000;
    ASSERT_TRUE(in.SetFormat(rate, w.channels, w.inBytes));
    ASSERT_TRUE(out.SetFormat(rate, w.channels, w.outBytes));

    const uint32_t frames = 960;
    std::vector<uint8_t> played(frames * w.channels * w.outBytes);
    std::vector<int64_t> values(frames * w.channels);
    const double full = std::ldexp(1.0, 8 * w.outBytes - 1) - 1.0;
    for (uint32_t n = 0; n < frames; ++n) {
        for (uint16_t c = 0; c < w.channels; ++c) {
            const double x = 0.8 * std::sin(2 * M_PI * (c == 0 ? 1000.0 : 1750.0) * n / rate);
            const int64_t v = std::llround(x * full);
            values[n * w.channels + c] = v;
            WriteSigned(&played[(n * w.channels + c) * w.outBytes], w.outBytes, v);
        }
    }
    std::vector<uint8_t> rec0(frames / 2 * w.channels * w.inBytes, 0xCC), rec1(rec0.size(), 0xCC);
    BufferDoneQueue queue;
    ASSERT_TRUE(in.Open(&queue, false));
    ASSERT_TRUE(out.Open(&queue, false));
    ASSERT_TRUE(in.AddBuffer(rec0.data(), static_cast<uint32_t>(rec0.size()), 0));
    ASSERT_TRUE(in.AddBuffer(rec1.data(), static_cast<uint32_t>(rec1.size()), 1));
    ASSERT_TRUE(out.Write(played.data(), static_cast<uint32_t>(played.size()), 0, false));
    ASSERT_TRUE(in.Start());
    ASSERT_TRUE(out.Restart());
    card.Advance(frames);
    ASSERT_TRUE(in.AllSlotsDone());
    EXPECT_TRUE(out.IsSlotDone(0));
    EXPECT_EQ(queue.Size(), 3u);

    std::vector<uint8_t> recorded(rec0);
    recorded.insert(recorded.end(), rec1.begin(), rec1.end());
    const int shift = 8 * (w.inBytes - w.outBytes);
    const uint32_t delay[2] = {37, w.channels == 2 ? 5u : 37u};
    for (uint32_t n = 0; n < frames; ++n) {
        for (uint16_t c = 0; c < w.channels; ++c) {
            const int64_t got = ReadSigned(&recorded[(n * w.channels + c) * w.inBytes], w.inBytes);
            int64_t want = 0;
            if (n >= delay[c]) {
                const int64_t v = values[(n - delay[c]) * w.channels + c];
                // Widening is exact; narrowing rounds to nearest.
                want = shift >= 0 ? v * (int64_t{1} << shift)
                                  : static_cast<int64_t>(std::nearbyint(std::ldexp(static_cast<double>(v), shift)));
            }
            ASSERT_EQ(got, want) << "frame " << n << " channel " << c;
        }
    }
    EXPECT_TRUE(host.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Widths, LoopbackTone,
                         ::testing::Values(WidthCase{1, 1, 2}, WidthCase{2, 2, 2}, WidthCase{3, 3, 2},
                                           WidthCase{4, 4, 2}, WidthCase{2, 2, 1}, WidthCase{2, 3, 2},
                                           WidthCase{3, 2, 1}, WidthCase{1, 4, 2}));

}  // namespace
}  // namespace zeltrak
