#include "files/config_keys.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace zeltrak {
namespace {

TEST(ConfigKeys, EveryKeyOnceWithItsDefault) {
    std::set<std::string> seen;
    for (const ConfigKey& k : OtherConfigKeys()) {
        std::string id = std::string(k.section) + "/" + k.key;
        for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(seen.insert(id).second) << "duplicate " << id;
        if (k.textBytes > 0) {
            EXPECT_LT(std::string(k.defaultValue).size(), k.textBytes) << id;
        }
    }
    const ConfigKey* plot = FindConfigKey("viewstatus", "VORNALPLOT");
    ASSERT_NE(plot, nullptr);
    EXPECT_STREQ(plot->defaultValue, "1");
    EXPECT_STREQ(FindConfigKey("ViewStatus", "Peak Freq")->defaultValue, "0");
    EXPECT_STREQ(FindConfigKey("ViewStatus", "NoiseFigurePolarity")->defaultValue, "6");
    EXPECT_STREQ(FindConfigKey("Paths", "cfg")->defaultValue, "..\\.\\config");
    EXPECT_STREQ(FindConfigKey("Markers", "MarkerFreq5")->defaultValue, "6000.0");
    EXPECT_STREQ(FindConfigKey("Markers", "CustomLabel5")->defaultValue, "Marker 6");
    EXPECT_STREQ(FindConfigKey("Logging", "Threshold")->defaultValue, "-999.0");
    EXPECT_EQ(FindConfigKey("Calibration", "LabelLinear")->textBytes, 60u);
    EXPECT_EQ(FindConfigKey("Settings", "FFTsize"), nullptr);  // the settings blocks load those
}

}  // namespace
}  // namespace zeltrak
