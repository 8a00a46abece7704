#include "files/calibration_record.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

namespace zeltrak {
namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
float LeF32(const uint8_t* p) { return std::bit_cast<float>(Le32(p)); }
std::string Text(const uint8_t* p, size_t max) { return std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), max)); }

TEST(CalibrationRecord, SerialisesEveryFieldAtItsOffset) {
    CalibrationRecord r;
    r.IsEnabled = 1;
    r.SetFilename("/lab/mic 4189.cal");
    r.RefLevel = 94.0f;
    r.RefType = 1;
    r.RefUnits = 2;
    r.SetLabelLinear("Pascals rms");
    r.SetLabelLog("dB SPL");
    r.LabelType = 1;
    r.PctFullScaleLeft = 0.25f;
    r.PctFullScaleRight = 0.5f;
    r.CalRatioLeft = 123.5f;
    r.CalRatioRight = -7.25f;
    r.ConversionType = 4;
    r.IntegrationType = 1;
    r.SetLeftChannelName("Mic A");
    r.SetRightChannelName("Mic B");
    const auto b = r.Serialize();
    ASSERT_EQ(b.size(), 1024u);
    EXPECT_EQ(Le32(&b[0]), 1u);
    EXPECT_EQ(Text(&b[4], 260), "/lab/mic 4189.cal");
    EXPECT_EQ(LeF32(&b[264]), 94.0f);
    EXPECT_EQ(Le32(&b[268]), 1u);
    EXPECT_EQ(Le32(&b[272]), 2u);
    EXPECT_EQ(Text(&b[276], 60), "Pascals rms");
    EXPECT_EQ(Text(&b[336], 60), "dB SPL");
    EXPECT_EQ(Le32(&b[396]), 1u);
    EXPECT_EQ(LeF32(&b[400]), 0.25f);
    EXPECT_EQ(LeF32(&b[404]), 0.5f);
    EXPECT_EQ(LeF32(&b[408]), 123.5f);
    EXPECT_EQ(LeF32(&b[412]), -7.25f);
    EXPECT_EQ(Le32(&b[416]), 4u);
    EXPECT_EQ(Le32(&b[420]), 1u);
    EXPECT_EQ(Text(&b[424], 40), "Mic A");
    EXPECT_EQ(Text(&b[464], 40), "Mic B");
    for (size_t i = 504; i < 1024; ++i) ASSERT_EQ(b[i], 0) << i;

    const CalibrationRecord back = CalibrationRecord::Deserialize(b.data());
    EXPECT_EQ(back, r);
    EXPECT_STREQ(back.LeftChannelName, "Mic A");
    EXPECT_EQ(back.CalRatioRight, -7.25f);
}

TEST(CalibrationRecord, UnterminatedAndOverlongTextsStayInsideTheirFields) {
    std::array<uint8_t, 1024> raw{};
    std::memset(raw.data() + 424, 'L', 40);  // no terminator in the file
    std::memset(raw.data() + 464, 'R', 40);
    const CalibrationRecord r = CalibrationRecord::Deserialize(raw.data());
    EXPECT_EQ(std::string(r.LeftChannelName), std::string(39, 'L'));
    EXPECT_EQ(std::string(r.RightChannelName), std::string(39, 'R'));

    CalibrationRecord w;
    w.SetLabelLog(std::string(100, 'x'));
    w.SetRightChannelName("R");
    const auto b = w.Serialize();
    EXPECT_EQ(Text(&b[336], 60), std::string(59, 'x'));
    EXPECT_EQ(b[396], 0);  // did not spill into LabelType
    EXPECT_EQ(Text(&b[464], 40), "R");
}

}  // namespace
}  // namespace zeltrak
