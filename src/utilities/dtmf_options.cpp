#include "utilities/dtmf_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "files/ini_store.h"
#include "utilities/dtmf_strings.h"

namespace zeltrak {
namespace {

// The whole text as a number (blanks around it allowed).
bool ParseNumber(const std::string& text, double& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    value = std::strtod(begin, &end);
    if (end == begin || errno != 0 || !std::isfinite(value)) return false;
    while (*end == ' ' || *end == '\t') ++end;
    return *end == '\0';
}

bool InRange(const std::string& text, double lo, double hi, double& value) {
    return ParseNumber(text, value) && value >= lo && value <= hi;
}

}  // namespace

DtmfOptions ReadDtmfOptions(const TIniStore& ini) {
    using namespace dtmf_text;
    DtmfOptions o;
    o.thresholdDb = static_cast<float>(ini.GetDouble(kSection, kKeyThreshold, -40.0));
    o.minDurationMs = static_cast<int32_t>(ini.GetInt(kSection, kKeyDuration, 20));
    o.minSpacingMs = static_cast<int32_t>(ini.GetInt(kSection, kKeySpacing, 20));
    return o;
}

void WriteDtmfOptions(TIniStore& ini, const DtmfOptions& o) {
    using namespace dtmf_text;
    ini.SetDouble(kSection, kKeyThreshold, o.thresholdDb);
    ini.SetInt(kSection, kKeyDuration, o.minDurationMs);
    ini.SetInt(kSection, kKeySpacing, o.minSpacingMs);
}

DtmfOptionTexts DtmfOptionsAsTexts(const DtmfOptions& o) {
    char threshold[32];
    std::snprintf(threshold, sizeof threshold, dtmf_text::kThresholdFormat, static_cast<double>(o.thresholdDb));
    return {threshold, std::to_string(o.minDurationMs), std::to_string(o.minSpacingMs)};
}

DtmfOptionTexts DtmfOptionDefaults() {
    using namespace dtmf_text;
    return {kDefaultThreshold, kDefaultDuration, kDefaultSpacing};
}

bool ValidateDtmfOptions(const DtmfOptionTexts& texts, DtmfOptions& out, std::string& message) {
    double threshold = 0.0, duration = 0.0, spacing = 0.0;
    if (!InRange(texts.threshold, -80.0, 0.0, threshold)) message = dtmf_text::kThresholdRange;
    else if (!InRange(texts.duration, 1.0, 1000.0, duration)) message = dtmf_text::kDurationRange;
    else if (!InRange(texts.spacing, 1.0, 1000.0, spacing)) message = dtmf_text::kSpacingRange;
    else {
        out = {static_cast<float>(threshold), static_cast<int32_t>(duration), static_cast<int32_t>(spacing)};
        return true;
    }
    return false;
}

}  // namespace zeltrak
