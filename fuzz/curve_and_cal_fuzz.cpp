// Reads arbitrary bytes as a microphone compensation file and as a .cal file. Beyond "no
// crash": an accepted curve has at least 3 points in ascending order with levels within
// +-120 dB, its levels on the bins are finite and within that range, and a calibration loaded
// from anything has positive, finite ratios.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dsp/weighting.h"
#include "measure/calibration.h"
#include "measure/compensation_curve.h"

#include "fuzz_check.h"

namespace {

using namespace zeltrak;

struct TempFile {
    std::string path;
    TempFile() {
        char name[] = "/tmp/curvefuzzXXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) std::abort();
        close(fd);
        path = name;
    }
    ~TempFile() { unlink(path.c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempFile file;
    std::FILE* f = std::fopen(file.path.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    std::vector<CurvePoint> points;
    if (ReadCompensationFile(file.path, points) == CurveFileStatus::Ok) {
        Check(points.size() >= 3 && points.size() <= kMaxCurvePoints);
        float previous = 0.0f;
        for (const CurvePoint& p : points) {
            Check(std::isfinite(p.x) && p.x >= previous);
            Check(p.y >= -kMaxCurveLevelDb && p.y <= kMaxCurveLevelDb);
            previous = p.x;
        }
        const BinAxis axis{512, 46.875f, 24000.0f};
        for (float level : CurveOntoBins(points, axis)) Check(std::isfinite(level) && std::abs(level) <= 120.0f);
    } else {
        Check(points.empty());
    }

    CalibrationRecord record;
    LoadCalibration(file.path, record);
    Check(record.IsEnabled == 1);
    Check(std::isfinite(record.CalRatioLeft) && record.CalRatioLeft > 0.0f);
    Check(std::isfinite(record.CalRatioRight) && record.CalRatioRight > 0.0f);
    Check(ToDecibels(record, record.CalRatioLeft) > -1000.0);
    return 0;
}
