#include "measure/compensation_curve.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "dsp/weighting.h"
#include "measure/measure_strings.h"
#include "platform/input_file.h"

namespace zeltrak {

CurveFileStatus ReadCompensationFile(const std::string& path, std::vector<CurvePoint>& points) {
    // Regular files only: a FIFO would block the open and /dev/zero is one endless line.
    const int fd = OpenRegularFile(path);
    std::FILE* file = fd >= 0 ? ::fdopen(fd, "r") : nullptr;
    if (!file) {
        if (fd >= 0) ::close(fd);
        return CurveFileStatus::OpenFailed;
    }
    std::vector<CurvePoint> read;
    char line[128];
    while (read.size() < kMaxCurvePoints && std::fgets(line, sizeof line, file)) {
        // The rest of an overlong line is skipped, so that it is not read as a line of its own.
        if (!std::strchr(line, '\n')) {
            int c;
            while ((c = std::fgetc(file)) != EOF && c != '\n') {
            }
        }
        if (line[0] == ';') continue;
        float f = 0.0f;
        float level = 0.0f;
        if (std::sscanf(line, "%f\t%f", &f, &level) != 2) break;
        // A number the float cannot hold ends the data like text does.
        if (!std::isfinite(f) || std::isnan(level)) break;
        read.push_back({f, std::clamp(level, -kMaxCurveLevelDb, kMaxCurveLevelDb)});
    }
    // a directory, or a file the system cannot read, opens but fails on reading
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return CurveFileStatus::OpenFailed;
    if (read.size() < 3) return CurveFileStatus::TooFew;
    float previous = 0.0f;
    for (const CurvePoint& p : read) {
        if (p.x < 0.0f || p.x < previous) return CurveFileStatus::NotAscending;
        previous = p.x;
    }
    points = std::move(read);
    return CurveFileStatus::Ok;
}

std::string CompensationMessage(CurveFileStatus status, const std::string& path) {
    const char* format = nullptr;
    switch (status) {
        case CurveFileStatus::OpenFailed: format = kCompensationOpenText; break;
        case CurveFileStatus::TooFew: format = kCompensationTooFewText; break;
        case CurveFileStatus::NotAscending: format = kCompensationOrderText; break;
        case CurveFileStatus::Ok: return {};
    }
    const int n = std::snprintf(nullptr, 0, format, path.c_str());
    std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    std::snprintf(text.data(), text.size() + 1, format, path.c_str());
    return text;
}

}  // namespace zeltrak
