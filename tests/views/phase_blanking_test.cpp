// Phase blanking: which bins of a made spectrum (a tone over a floor) keep their phase.
#include <gtest/gtest.h>

#include <cmath>

#include "views/phase_blanking.h"

namespace zeltrak {
namespace {

TEST(PhaseBlanking, KeepsBinsWithinTheDepthBelowTheHighestAndBlanksTheRest) {
    // Levels in dB relative to the tone's peak at bin 3; bin 7 holds no power at all.
    const std::vector<double> levelsDb = {-80, -80, -3, 0, -3, -50, -59.9, -100, -80, -61};
    std::vector<float> power;
    for (double db : levelsDb) power.push_back(static_cast<float>(2.5 * std::pow(10.0, db / 10.0)));
    power[7] = 0.0f;
    struct Case { double depthDb; const char* kept; };  // kept: 'x' where the phase must survive
    for (const Case& c : {Case{60.0, "..xxxxx..."}, Case{40.0, "..xxx....."}, Case{90.0, "xxxxxxx.xx"},
                          Case{0.0, "xxxxxxxxxx"}, Case{NAN, "xxxxxxxxxx"}}) {
        std::vector<float> phase(power.size(), 45.0f);
        BlankWeakPhase(power.data(), power.size(), c.depthDb, phase);
        std::string kept;
        for (float p : phase) kept += std::isnan(p) ? '.' : 'x';
        EXPECT_EQ(kept, c.kept) << "depth " << c.depthDb;
    }
}

}  // namespace
}  // namespace zeltrak
