#include "measure/scaling_options.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "dsp/scales.h"
#include "measure/calibration.h"
#include "platform/input_file.h"

namespace zeltrak {

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool Fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

}  // namespace

bool ParseScalingOptions(const std::vector<std::string>& args, ScalingOptions& o, std::vector<std::string>& rest,
                         std::string& error) {
    static const char* const kNames[] = {"--cal", "--amplitude", "--frequency", "--octave", "--weighting", "--psd",
                                         "--mic-comp"};
    o = ScalingOptions{};
    rest.clear();
    error.clear();
    bool frequencyGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool haveValue = false;
        const size_t eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            haveValue = true;
        }
        if (std::find_if(std::begin(kNames), std::end(kNames), [&](const char* n) { return name == n; }) ==
            std::end(kNames)) {
            rest.push_back(args[i]);
            continue;
        }
        if (!haveValue) {
            if (i + 1 >= args.size()) return Fail(error, name + " needs a value");
            value = args[++i];
        }
        const std::string v = Lower(value);
        if (name == "--amplitude") {
            if (v == "linear") o.ampScaleType = 0;
            else if (v == "db") o.ampScaleType = 1;
            else return Fail(error, "--amplitude must be linear or db, not \"" + value + "\"");
        } else if (name == "--frequency") {
            if (v == "linear") o.freqScaleType = 0;
            else if (v == "log") o.freqScaleType = 1;
            else if (v == "octave") o.freqScaleType = 2;
            else return Fail(error, "--frequency must be linear, log or octave, not \"" + value + "\"");
            frequencyGiven = true;
        } else if (name == "--octave") {
            const bool digits = !v.empty() && v.size() <= 3 && std::all_of(v.begin(), v.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
            const int n = digits ? std::stoi(v) : -1;
            if (std::find(std::begin(kOctaveChoices), std::end(kOctaveChoices), n) == std::end(kOctaveChoices))
                return Fail(error, "--octave must be one of 1, 3, 6, 9, 12, 24, 48, 96, not \"" + value + "\"");
            o.octaveNumber = static_cast<uint16_t>(n);
        } else if (name == "--weighting") {
            if (v == "flat" || v == "none") o.standardWeighting = 0;
            else if (v == "a") o.standardWeighting = 1;
            else if (v == "b") o.standardWeighting = 2;
            else if (v == "c") o.standardWeighting = 3;
            else return Fail(error, "--weighting must be flat, A, B or C, not \"" + value + "\"");
        } else if (name == "--psd") {
            if (v == "squared") o.spectralDensityType = 0;
            else if (v == "root") o.spectralDensityType = 1;
            else return Fail(error, "--psd must be squared or root, not \"" + value + "\"");
        } else if (name == "--mic-comp") {
            const size_t comma = value.find(',');
            const std::string left = value.substr(0, comma);
            const std::string right = comma == std::string::npos ? std::string() : value.substr(comma + 1);
            if (left.empty() && right.empty()) return Fail(error, "--mic-comp needs a file name");
            if (left.size() > kMaxMicFileName || right.size() > kMaxMicFileName)
                return Fail(error, "--mic-comp: a file name is longer than 259 characters");
            o.micLeft = left;
            o.micRight = right;
        } else if (name == "--cal") {
            // A file named on the command line must exist: the silent defaults of a missing
            // file would be calibrated nonsense.
            if (!IsReadableRegularFile(value)) return Fail(error, "--cal: cannot read \"" + value + "\"");
            CalibrationRecord record = CalibrationRecord::Defaults();
            if (!LoadCalibration(value, record))
                return Fail(error, "--cal: \"" + value + "\" is not a calibration file");
            o.calibration = record;
        }
    }
    if (o.octaveNumber) {
        if (frequencyGiven && *o.freqScaleType != ScaleCode(FrequencyScale::OctaveBands))
            return Fail(error, "--octave goes with --frequency octave");
        o.freqScaleType = 2;
    }
    return true;
}

}  // namespace zeltrak
