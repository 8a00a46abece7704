#include "views/desktop_layout.h"

#include <algorithm>
#include <cstdio>

#include "files/ini_store.h"

namespace zeltrak {

namespace {
constexpr const char* kSection = "Desktop";
// Smaller than this the window's menus and toolbar do not fit; it is a stale or broken entry.
constexpr int kMinWindowWidth = 400;
constexpr int kMinWindowHeight = 300;
// The part of a window that must be on a screen so that its title bar can still be grabbed.
constexpr int kMinVisibleWidth = 100;
constexpr int kMinVisibleHeight = 50;
constexpr int kMinViewSize = 60;
constexpr const char* kViewKeys[DesktopLayout::kViewCount] = {"TimeSeries", "Spectrum", "Phase"};
constexpr const char* kArrangementNames[] = {"Free", "Cascade", "TileVertical", "TileHorizontal"};

std::optional<TPixelRect> ReadRect(const TIniStore& ini, const std::string& key) {
    return ParsePixelRect(ini.GetString(kSection, key, ""));
}

ViewArrangement ParseArrangement(const std::string& name) {
    for (int i = 0; i < 4; ++i)
        if (name == kArrangementNames[i]) return static_cast<ViewArrangement>(i);
    return ViewArrangement::Free;
}

int Overlap(int start, int length, int otherStart, int otherLength) {
    return std::min(start + length, otherStart + otherLength) - std::max(start, otherStart);
}

bool ReachableOn(const TPixelRect& w, const TPixelRect& screen) {
    return Overlap(w.x, w.width, screen.x, screen.width) >= kMinVisibleWidth &&
           Overlap(w.y, w.height, screen.y, screen.height) >= kMinVisibleHeight;
}
}  // namespace

std::optional<TPixelRect> ParsePixelRect(const std::string& text) {
    TPixelRect r;
    int used = 0;
    if (std::sscanf(text.c_str(), " %d , %d , %d , %d %n", &r.x, &r.y, &r.width, &r.height, &used) != 4 ||
        used != static_cast<int>(text.size()) || r.width <= 0 || r.height <= 0)
        return std::nullopt;
    return r;
}

std::string FormatPixelRect(const TPixelRect& r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
           std::to_string(r.height);
}

DesktopLayout ReadDesktopLayout(const TIniStore& ini) {
    DesktopLayout layout;
    layout.window = ReadRect(ini, "Geometry");
    layout.maximised = ini.GetInt(kSection, "Maximized", 0) != 0;
    // Until the user arranges them, the views share the whole window (a first start included).
    layout.arrangement = ParseArrangement(ini.GetString(kSection, "Arrangement", "TileVertical"));
    for (int i = 0; i < DesktopLayout::kViewCount; ++i) {
        const std::string name = kViewKeys[i];
        DesktopLayout::ViewState& view = layout.views[i];
        layout.viewsStored = layout.viewsStored || ini.HasKey(kSection, name + "Open");
        view.open = ini.GetInt(kSection, name + "Open", 0) != 0;
        view.geometry = ReadRect(ini, name + "Geometry");
        if (view.geometry && (view.geometry->width < kMinViewSize || view.geometry->height < kMinViewSize))
            view.geometry.reset();
        view.range = ini.GetString(kSection, name + "Range", "");
    }
    return layout;
}

void StoreDesktopLayout(const DesktopLayout& layout, TIniStore& ini) {
    if (layout.window) ini.SetString(kSection, "Geometry", FormatPixelRect(*layout.window));
    ini.SetInt(kSection, "Maximized", layout.maximised ? 1 : 0);
    ini.SetString(kSection, "Arrangement", kArrangementNames[static_cast<int>(layout.arrangement)]);
    for (int i = 0; i < DesktopLayout::kViewCount; ++i) {
        const std::string name = kViewKeys[i];
        const DesktopLayout::ViewState& view = layout.views[i];
        ini.SetInt(kSection, name + "Open", view.open ? 1 : 0);
        if (view.geometry) ini.SetString(kSection, name + "Geometry", FormatPixelRect(*view.geometry));
        else ini.DeleteKey(kSection, name + "Geometry");
        ini.SetString(kSection, name + "Range", view.range);
    }
}

TPixelRect FirstStartGeometry(const TPixelRect& available) {
    const int width = std::min(available.width * 4 / 5, 1400);
    const int height = std::min(available.height * 4 / 5, 900);
    return {available.x + (available.width - width) / 2, available.y + (available.height - height) / 2, width,
            height};
}

TPixelRect UsableWindowGeometry(const std::optional<TPixelRect>& stored, const std::vector<TPixelRect>& screens) {
    if (screens.empty()) return stored.value_or(TPixelRect{0, 0, 900, 620});
    const bool usable = stored && stored->width >= kMinWindowWidth && stored->height >= kMinWindowHeight &&
                        std::any_of(screens.begin(), screens.end(),
                                    [&](const TPixelRect& screen) { return ReachableOn(*stored, screen); });
    return usable ? *stored : FirstStartGeometry(screens.front());
}

}  // namespace zeltrak
