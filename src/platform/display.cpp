#include "platform/display.h"

#include <cstdlib>

namespace zeltrak {

namespace {
bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}
}  // namespace

bool DisplayAvailable() { return Set("QT_QPA_PLATFORM") || Set("DISPLAY") || Set("WAYLAND_DISPLAY"); }

}  // namespace zeltrak
