#include "utilities/delay_command.h"

#include <algorithm>
#include <vector>

#include "files/wave_file.h"
#include "utilities/delay_finder.h"
#include "utilities/delay_strings.h"

namespace zeltrak {

namespace {

std::string Printf(const char* format, uint32_t value) {
    char text[256];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The delay of every block with a signal, blocks stepping by N through the file.
std::vector<int64_t> BlockDelays(TWaveFile& file, TDelayFinder& finder) {
    std::vector<int64_t> delays;
    const uint32_t n = finder.BlockLength();
    for (uint64_t p = 0; p + n + n / 2 <= file.Length(); p += n) {
        file.Seek(static_cast<uint32_t>(p));
        if (finder.UpdateFromFile(file) && finder.PeakCorrelation() > 0.0) delays.push_back(finder.DelaySamples());
    }
    return delays;
}

}  // namespace

// The median rather than the first block: a silent lead-in or a burst of noise in one block
// does not decide the answer, and a steady delay is found by every block anyway.
int RunDelayCommand(const std::string& wavPath, const DelayFinderOptions& options, std::FILE* out,
                    std::string& error) {
    TWaveFile file(wavPath, TWaveFile::kStreamMode, false);
    if (file.Error()) {
        const auto messages = file.TakeMessages();
        error = messages.empty() ? wavPath : messages.front().text;
        return 1;
    }
    if (file.Format().channels < 2) {
        error = kDelayNeedsStereo;
        return 1;
    }
    TDelayFinder finder(file.Format().rate, options);
    const uint32_t n = finder.BlockLength();
    if (file.Length() < n + n / 2) {
        error = Printf(kDelayCommandTooShort, n + n / 2);
        return 1;
    }
    std::vector<int64_t> delays = BlockDelays(file, finder);
    if (delays.empty()) {
        error = kDelayCommandNoSignal;
        return 1;
    }
    std::nth_element(delays.begin(), delays.begin() + delays.size() / 2, delays.end());
    const int64_t samples = delays[delays.size() / 2];
    const double ms = 1000.0 * static_cast<double>(samples) / finder.Rate();
    std::fprintf(out, kDelayCommandReport, static_cast<long long>(samples), ms,
                 0.001 * ms * 0.3048 * options.speedOfSoundFtPerS);
    return 0;
}

}  // namespace zeltrak
