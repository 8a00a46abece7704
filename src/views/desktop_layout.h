#pragma once
#include <optional>
#include <string>
#include <vector>

namespace zeltrak {

class TIniStore;

// A rectangle in pixels, as the window system places windows.
struct TPixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const TPixelRect&) const = default;
};

// How the analysis views are placed in the client area: where the user put them, or an
// arrangement of the Window menu that is laid out again whenever the area changes.
enum class ViewArrangement { Free, Cascade, TileVertical, TileHorizontal };

// The desktop as it was left: the main window, each analysis view (in the main window's
// view order: time series, spectrum, phase) and the view arrangement.
struct DesktopLayout {
    struct ViewState {
        bool open = false;
        std::optional<TPixelRect> geometry;  // in the client area; none: where it opens by default
        std::string range;  // the view's own range text, opaque here
    };
    static constexpr int kViewCount = 3;
    std::optional<TPixelRect> window;  // the normal (not maximised) geometry; none: first start
    bool maximised = false;
    ViewArrangement arrangement = ViewArrangement::Free;
    ViewState views[kViewCount];
    bool viewsStored = false;  // false: the views open as on a first start
};

// "x,y,width,height" with plain integers; none for anything else or a non-positive size.
std::optional<TPixelRect> ParsePixelRect(const std::string& text);
std::string FormatPixelRect(const TPixelRect& rect);

// The layout from the settings file's [Desktop] section; what is missing or malformed reads as
// a first start (for the window) or as the default (for a view).
DesktopLayout ReadDesktopLayout(const TIniStore& ini);
void StoreDesktopLayout(const DesktopLayout& layout, TIniStore& ini);

// The first start's window: 80 % of the available screen, at most 1400 x 900, centred on it.
TPixelRect FirstStartGeometry(const TPixelRect& available);
// The stored geometry when it is large enough and enough of it (its title bar's room) lies on
// one of the screens; otherwise the first start's geometry on the first screen.
TPixelRect UsableWindowGeometry(const std::optional<TPixelRect>& stored, const std::vector<TPixelRect>& screens);

}  // namespace zeltrak
