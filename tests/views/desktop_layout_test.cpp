// The stored desktop: which window geometry a start uses on which screens (hand-worked), and the
// [Desktop] section read from hand-written text and written back unchanged.
#include <gtest/gtest.h>

#include "files/ini_store.h"
#include "views/desktop_layout.h"

namespace zeltrak {
namespace {

TEST(DesktopLayout, AStoredGeometryIsUsedOnlyWhenWellFormedLargeEnoughAndOnAScreen) {
    const std::vector<TPixelRect> one = {{0, 0, 1600, 1000}}, two = {{0, 0, 1600, 1000}, {1600, 0, 1920, 1080}};
    const TPixelRect first = {160, 100, 1280, 800};  // 80 % of 1600 x 1000, centred
    struct Case { const char* stored; std::vector<TPixelRect> screens; TPixelRect want; };
    for (const Case& c : std::vector<Case>{
             {"100,50,1200,800", one, {100, 50, 1200, 800}},
             {" -20 , 30,700,500 ", one, {-20, 30, 700, 500}},  // partly off, title bar reachable
             {"2000,100,1000,700", two, {2000, 100, 1000, 700}},  // on the second screen
             {"2000,100,1000,700", one, first},                   // that screen is gone
             {"1550,100,800,600", one, first},                    // only 50 px on the screen
             {"100,100,399,600", one, first},                     // too small
             {"100,100,1200", one, first},
             {"100,100,1200,800x", one, first},
             {"100,100,-1200,800", one, first},
             {"", one, first},
             {"", {{0, 0, 2560, 1440}}, {580, 270, 1400, 900}},   // capped at 1400 x 900
             {"", {{1600, 40, 1920, 1040}}, {1860, 144, 1400, 832}},  // 1920 capped, 1040 x 0.8
         }) {
        EXPECT_EQ(UsableWindowGeometry(ParsePixelRect(c.stored), c.screens), c.want) << '"' << c.stored << '"';
    }
}

TEST(DesktopLayout, TheSectionReadsBackAsWrittenAndBadViewEntriesFallBack) {
    TIniStore ini;
    ini.Parse("[Desktop]\nGeometry=10,20,1000,700\nMaximized=1\nArrangement=TileVertical\n"
              "TimeSeriesOpen=1\nTimeSeriesGeometry=0,0,30,400\nSpectrumOpen=0\nSpectrumGeometry=5,5,600,300\n"
              "SpectrumRange=dB -120 0\nPhaseOpen=1\nPhaseGeometry=abc\n");
    const DesktopLayout read = ReadDesktopLayout(ini);
    EXPECT_EQ(read.window, (TPixelRect{10, 20, 1000, 700}));
    EXPECT_TRUE(read.maximised && read.viewsStored);
    EXPECT_EQ(read.arrangement, ViewArrangement::TileVertical);
    const std::tuple<bool, std::optional<TPixelRect>, std::string> want[] = {
        {true, std::nullopt, ""}, {false, TPixelRect{5, 5, 600, 300}, "dB -120 0"}, {true, std::nullopt, ""}};
    for (int i = 0; i < DesktopLayout::kViewCount; ++i) {
        const DesktopLayout::ViewState& v = read.views[i];
        EXPECT_EQ(std::tie(v.open, v.geometry, v.range), want[i]) << "view " << i;
    }
    TIniStore again;
    StoreDesktopLayout(read, again);
    TIniStore reparsed;
    reparsed.Parse(again.Text());
    const DesktopLayout back = ReadDesktopLayout(reparsed);
    EXPECT_EQ(std::tie(back.window, back.maximised, back.arrangement),
              std::tie(read.window, read.maximised, read.arrangement));
    for (int i = 0; i < DesktopLayout::kViewCount; ++i)
        EXPECT_EQ(std::tie(back.views[i].open, back.views[i].geometry, back.views[i].range),
                  std::tie(read.views[i].open, read.views[i].geometry, read.views[i].range));
    EXPECT_FALSE(ReadDesktopLayout(TIniStore()).viewsStored);
}

}  // namespace
}  // namespace zeltrak
