#pragma once

namespace zeltrak {

// True when a window system can be reached: a Qt platform is named or an X or Wayland display
// is set. Read from the environment only, so that asking does not load the window system.
bool DisplayAvailable();

}  // namespace zeltrak
