#pragma once

namespace zeltrak {

// Texts of the desktop shell.
inline constexpr const char* kViewRealTimeBufferQuestion =
    "Data is still available in the Real-Time data buffers.\rDo you want to convert this to a WAV file for "
    "further Processing?";

}  // namespace zeltrak
