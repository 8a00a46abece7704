#include "engine/command_line.h"

#include <charconv>
#include <cmath>
#include <cstddef>

namespace zeltrak {

bool ParseMainArguments(const std::vector<std::string>& args, MainOptions& out, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "analyze" && out.file.empty()) {
            // Only the options that concern any run may come before the sub-command.
            if (out.headless || out.report || out.frames != 0 || out.seconds != 0.0) {
                error = "--headless, --report, --frames and --seconds do not apply to analyze";
                return false;
            }
            out.subcommand = a;
            out.subArguments.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            return true;
        }
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size()) {
                error = "option " + a + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        std::string v;
        if (a == "--headless") {
            out.headless = true;
        } else if (a == "--report") {
            out.report = true;
        } else if (a == "--yes") {
            out.questions = MainOptions::Questions::Yes;
        } else if (a == "--no") {
            out.questions = MainOptions::Questions::No;
        } else if (a == "-h" || a == "--help") {
            out.help = true;
        } else if (a == "--settings") {
            if (!value(out.settingsFile)) return false;
        } else if (a == "--frames") {
            if (!value(v)) return false;
            uint32_t n = 0;
            auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec != std::errc() || end != v.data() + v.size() || n == 0) {
                error = "--frames needs a positive count, not '" + v + "'";
                return false;
            }
            out.frames = n;
        } else if (a == "--seconds") {
            if (!value(v)) return false;
            double s = 0.0;
            auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), s);
            if (ec != std::errc() || end != v.data() + v.size() || !(s > 0.0) || !std::isfinite(s)) {
                error = "--seconds needs a positive number, not '" + v + "'";
                return false;
            }
            out.seconds = s;
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown argument '" + a + "'";
            return false;
        } else if (!out.file.empty()) {
            error = "only one file may be named";
            return false;
        } else {
            out.file = a;
        }
    }
    return true;
}

}  // namespace zeltrak
