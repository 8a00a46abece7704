#include <gtest/gtest.h>
#include "base/sample_format.h"
TEST(Smoke, Builds) { EXPECT_EQ(zeltrak::SampleFormat::Make(0, 0, 0).rate, 44100u); }
