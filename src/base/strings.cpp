#include "base/strings.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace zeltrak {

namespace {

struct Entry {
    int id;
    const char* text;
};

// Sorted by id.
constexpr std::array kStringTable{
    Entry{29, "The Sound Board does not support the selected Sampling Rate.  Rate must be between %ld Hz and %ld Hz."},
    Entry{30, "Failure accessing sound device."},
    Entry{33, "The Sound Board is in use by another application (e.g. Sound Recorder).  Either interrupt the "
              "application or wait until the device is free and then try again."},
    Entry{37, "Cannot access the sound board because a Sound driver is not installed.  Use the driver option in "
              "Control Panel to install a driver"},
    Entry{43, "The Sound Blaster 16 card only supports 228 discrete sampling rates between 5,000Hz and 45,000Hz. "
              "Your selected rate of %ld will be changed to %ld Hz (the nearest supported rate)."},
    Entry{70, "Insufficient Memory to continue.  Please close some applications to free up memory."},
    Entry{174, "Sampling rate or bits per sample not supported."},
    Entry{179, "Calibration Files"},
    Entry{239, "Sampling Rate not supported by sound card"},
};

static_assert(std::is_sorted(kStringTable.begin(), kStringTable.end(),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; }));

const Entry* Find(int id) {
    auto it = std::lower_bound(kStringTable.begin(), kStringTable.end(), id,
                               [](const Entry& e, int key) { return e.id < key; });
    return (it != kStringTable.end() && it->id == id) ? &*it : nullptr;
}

}  // namespace

std::string LoadString(int id) {
    if (const Entry* e = Find(id)) return e->text;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "StringTable entry %d not found", id);
    return buffer;
}

bool HasString(int id) { return Find(id) != nullptr; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

}  // namespace zeltrak
