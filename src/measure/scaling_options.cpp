#include "measure/scaling_options.h"

#include <algorithm>
#include <cctype>

#include "dsp/scales.h"
#include "measure/calibration.h"
#include "platform/input_file.h"

namespace zeltrak {

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

}  // namespace

bool ParseAmplitudeScale(const std::string& text, uint16_t& type) {
    const std::string v = Lower(text);
    if (v != "linear" && v != "db") return false;
    type = v == "db" ? 1 : 0;
    return true;
}

bool ParseFrequencyScale(const std::string& text, uint16_t& type) {
    static const char* const kNames[] = {"linear", "log", "octave"};
    const std::string v = Lower(text);
    const auto* hit = std::find(std::begin(kNames), std::end(kNames), v);
    if (hit == std::end(kNames)) return false;
    type = static_cast<uint16_t>(hit - std::begin(kNames));
    return true;
}

bool ParseOctaveNumber(const std::string& text, uint16_t& number) {
    const bool digits = !text.empty() && text.size() <= 3 &&
                        std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
    const int n = digits ? std::stoi(text) : -1;
    if (std::find(std::begin(kOctaveChoices), std::end(kOctaveChoices), n) == std::end(kOctaveChoices)) return false;
    number = static_cast<uint16_t>(n);
    return true;
}

bool ParseWeighting(const std::string& text, uint16_t& weighting) {
    static const char* const kNames[] = {"flat", "a", "b", "c"};
    const std::string v = Lower(text) == "none" ? "flat" : Lower(text);
    const auto* hit = std::find(std::begin(kNames), std::end(kNames), v);
    if (hit == std::end(kNames)) return false;
    weighting = static_cast<uint16_t>(hit - std::begin(kNames));
    return true;
}

bool ParseDensityType(const std::string& text, uint16_t& type) {
    const std::string v = Lower(text);
    if (v != "squared" && v != "root") return false;
    type = v == "root" ? 1 : 0;
    return true;
}

bool ParseMicCompNames(const std::string& text, std::string& left, std::string& right) {
    const size_t comma = text.find(',');
    const std::string l = text.substr(0, comma);
    const std::string r = comma == std::string::npos ? std::string() : text.substr(comma + 1);
    if ((l.empty() && r.empty()) || l.size() > kMaxMicFileName || r.size() > kMaxMicFileName) return false;
    left = l;
    right = r;
    return true;
}

CalibrationFileStatus LoadCalibrationOption(const std::string& path, CalibrationRecord& record) {
    if (!IsReadableRegularFile(path)) return CalibrationFileStatus::Unreadable;
    record = CalibrationRecord::Defaults();
    return LoadCalibration(path, record) ? CalibrationFileStatus::Ok : CalibrationFileStatus::NotCalibration;
}

bool SettleOctaveChoice(ScalingOptions& o) {
    if (!o.octaveNumber) return true;
    if (o.freqScaleType && *o.freqScaleType != ScaleCode(FrequencyScale::OctaveBands)) return false;
    o.freqScaleType = ScaleCode(FrequencyScale::OctaveBands);
    return true;
}

}  // namespace zeltrak
