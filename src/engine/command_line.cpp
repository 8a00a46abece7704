#include "engine/command_line.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <string_view>
#include <utility>

#include "base/strings.h"
#include "dsp/channel_processing.h"
#include "dsp/dsp_strings.h"
#include "measure/data_log.h"

namespace zeltrak {

namespace {

// Checks one value of an option and stores it; false refuses the value.
using ValueParser = std::function<bool(const std::string& value)>;

// Stores a checked value; true, so that "parsed and stored" reads as one condition.
template <class Field, class Value>
bool Store(Field& field, const Value& value) {
    field = value;
    return true;
}

// Stops the parse; the text is the whole message.
[[noreturn]] void Refuse(const std::string& message) { throw CLI::ValidationError(message); }

// Names as the user may type them: any case, blanks ignored ("Flat top", "FLATTOP").
std::string Squash(std::string_view s) {
    std::string out;
    for (char c : s)
        if (!std::isspace(static_cast<unsigned char>(c))) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Whole decimal digits only: no sign, blank or base prefix.
bool ParseCount(std::string_view text, uint64_t& value) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseCountIn(const std::string& text, uint64_t low, uint64_t high, uint64_t& value) {
    return ParseCount(text, value) && value >= low && value <= high;
}

bool ParseWindowName(const std::string& name, WindowType& type) {
    for (uint16_t t = 0; t < std::size(kWindowNames); ++t) {
        if (Squash(kWindowNames[t]) != Squash(name)) continue;
        type = WindowTypeFromCode(t);
        return true;
    }
    return false;
}

// A channel-processing mode by number 0 ... 12 or short name.
bool ParseChannelMode(const std::string& name, ChannelProcessingMode& mode) {
    uint64_t number = 0;
    if (ParseCount(name, number)) {
        if (number >= kChannelProcessingModeCount) return false;
        mode = ChannelModeFromCode(static_cast<uint16_t>(number));
        return true;
    }
    for (uint16_t m = 0; m < kChannelProcessingModeCount; ++m) {
        if (Squash(name) != ChannelModeShortName(ChannelModeFromCode(m))) continue;
        mode = ChannelModeFromCode(m);
        return true;
    }
    return false;
}

bool ParseAverageType(const std::string& text, AveragingType& type) {
    static const std::pair<const char*, AveragingType> kTypes[] = {
        {"exponential", AveragingType::Exponential},
        {"linear", AveragingType::Linear},
        {"vector", AveragingType::Vector}};
    for (const auto& [name, value] : kTypes) {
        if (Squash(text) != name) continue;
        type = value;
        return true;
    }
    return false;
}

bool ParsePositiveSeconds(const std::string& text, double& seconds) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    return ec == std::errc() && end == text.data() + text.size() && seconds > 0.0 && std::isfinite(seconds);
}

// A name from a fixed list (any case, blanks ignored), stored as its code.
template <class Field>
ValueParser StoreChoice(Field& field, std::initializer_list<std::pair<const char*, int>> choices) {
    std::vector<std::pair<std::string, int>> names(choices.begin(), choices.end());
    return [&field, names](const std::string& v) {
        for (const auto& [name, code] : names)
            if (Squash(v) == name) return Store(field, static_cast<typename Field::value_type>(code));
        return false;
    };
}

ValueParser StoreNumber(std::optional<double>& field) {
    return [&field](const std::string& v) {
        double value = 0.0;
        return ParseFiniteNumber(v, value) && Store(field, value);
    };
}

// A comma-separated list of at most `limit` numbers.
ValueParser StoreNumbers(std::vector<double>& field, size_t limit) {
    return [&field, limit](const std::string& v) {
        std::vector<double> values;
        for (size_t begin = 0; begin <= v.size();) {
            const size_t end = std::min(v.find(',', begin), v.size());
            double value = 0.0;
            if (!ParseFiniteNumber(v.substr(begin, end - begin), value)) return false;
            values.push_back(value);
            begin = end + 1;
        }
        return values.size() <= limit && Store(field, values);
    };
}

std::string WindowChoices() {
    std::string text = "one of ";
    // By position: the same literal may sit at two addresses when several files hold the table.
    const std::size_t count = std::size(kWindowNames);
    for (std::size_t i = 0; i < count; ++i) text += Squash(kWindowNames[i]) + (i + 1 == count ? "" : ", ");
    return text;
}

std::string ChannelModeChoices() {
    std::string text = "0 to 12 or one of ";
    for (uint16_t m = 0; m < kChannelProcessingModeCount; ++m) {
        text += ChannelModeShortName(ChannelModeFromCode(m));
        text += m + 1 < kChannelProcessingModeCount ? ", " : "";
    }
    return text;
}

// An option with a value that may be given any number of times: each value is checked in turn,
// and the first one refused stops the parse with "NAME must be RULE, not 'VALUE'".
void AddValue(CLI::App& app, const std::string& name, const std::string& valueName, const std::string& purpose,
              const std::string& rule, ValueParser parse) {
    const auto check = [name, rule, parse](const CLI::results_t& values) {
        for (const std::string& v : values)
            if (!parse(v)) Refuse(name + " must be " + rule + ", not '" + v + "'");
        return true;
    };
    app.add_option(name, check, rule.empty() ? purpose : purpose + "; " + rule)
        ->type_name(valueName)
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// A flag; a value given to it ("--name=VALUE") is refused.
void AddFlag(CLI::App& app, const std::string& name, const std::string& purpose, std::function<void()> set) {
    const auto check = [name, set](const CLI::results_t& values) {
        for (const std::string& v : values)
            if (v != "true") Refuse(name + " takes no value");
        set();
        return true;
    };
    app.add_option(name, check, purpose)->expected(0)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// The one declaration of every option and sub-command, bound to the CommandLine it fills.
class TOptionTable {
public:
    explicit TOptionTable(CommandLine& out);
    bool Parse(const std::vector<std::string>& args, std::string& error);

private:
    void DeclareMain();
    void DeclareAnalyze();
    void DeclareGenerate();
    void DeclareUtilities();
    void DeclareCtl();
    void DeclareRunMacro();
    void DeclareScaling(CLI::App& app);
    void DeclareResults(CLI::App& app);
    void DeclareLogging(CLI::App& app);
    bool Finish(std::string& error);
    bool FinishGenerate(std::string& error);
    bool FinishCtl(std::string& error);

    CommandLine& out_;
    CLI::App main_;
    CLI::App* analyze_ = nullptr;
    CLI::App* generate_ = nullptr;
    CLI::App* dtmf_ = nullptr;
    CLI::App* delay_ = nullptr;
    CLI::App* reverb_ = nullptr;
    CLI::App* ctl_ = nullptr;
    CLI::App* runMacro_ = nullptr;
    std::string analyzeSettings_;  // --settings after "analyze"
    std::string generateSettings_;  // --settings after "generate"
};

TOptionTable::TOptionTable(CommandLine& out)
    : out_(out), main_("Two-channel FFT spectrum analyser: the desktop window, or without one (--headless) Real-Time "
                       "analysis of the input device or of FILE.",
                       "zeltrak") {
    // Unknown arguments are left over for Finish to name in the program's own words.
    main_.allow_extras();
    // One sub-command: a later word that names another ("generate dtmf") is its argument.
    main_.require_subcommand(0, 1);
    DeclareMain();
    DeclareAnalyze();
    DeclareGenerate();
    DeclareUtilities();
    DeclareCtl();
    DeclareRunMacro();
    for (CLI::App* app : {&main_, analyze_}) {
        DeclareScaling(*app);
        DeclareResults(*app);
        DeclareLogging(*app);
    }
}

void TOptionTable::DeclareMain() {
    MainOptions& m = out_.main;
    main_.add_option("FILE", [&m](const CLI::results_t& v) { return Store(m.file, v.front()); },
                     "a wave file: analysed to its end without a window, as with --headless")
        ->expected(1);
    AddFlag(main_, "--headless",
            "run without windows: Real-Time analysis with one status line per second, or FILE to its end",
            [&m] { m.headless = true; });
    AddValue(main_, "--frames", "N", "stop after N analysed frames", "a positive count", [&m](const std::string& v) {
        uint64_t n = 0;
        if (!ParseCountIn(v, 1, std::numeric_limits<uint32_t>::max(), n)) return false;
        m.frames = static_cast<uint32_t>(n);
        return true;
    });
    AddValue(main_, "--seconds", "S", "stop after S seconds", "a positive number",
             [&m](const std::string& v) { return ParsePositiveSeconds(v, m.seconds); });
    AddFlag(main_, "--yes", "answer every question with Yes instead of its default",
            [&m] { m.questions = MainOptions::Questions::Yes; });
    AddFlag(main_, "--no", "answer every question with No instead of its default",
            [&m] { m.questions = MainOptions::Questions::No; });
    AddValue(main_, "--settings", "FILE", "use FILE as the settings file", "", [&m](const std::string& v) { return Store(m.settingsFile, v); });
    AddFlag(main_, "--report", "print the configuration report and exit", [&m] { m.report = true; });
    main_.footer("The scaling, measurement and logging options serve \"zeltrak analyze FILE.wav\" too (zeltrak "
                 "analyze --help);\nwith --headless the measurements are printed once per second and at the end.");
}

void TOptionTable::DeclareAnalyze() {
    AnalyzeOptions& a = out_.analyze;
    analyze_ = main_.add_subcommand("analyze",
                                    "Analyses the whole file as Post-Processing mode does and writes the averaged "
                                    "spectrum as CSV\n(frequency in Hz, then one column per spectrum in dB; -999.9 "
                                    "means no value).");
    analyze_->allow_extras();
    analyze_->add_option("FILE.wav", [&a](const CLI::results_t& v) { return Store(a.input, v.front()); },
                         "the wave file to analyse")
        ->expected(1);
    AddValue(*analyze_, "-o,--output", "OUT.csv", "write the CSV to OUT.csv instead of standard output", "",
             [&a](const std::string& v) { return Store(a.output, v); });
    AddValue(*analyze_, "--settings", "FILE.ini",
             "the settings file to read instead of the default one (it may also stand before \"analyze\"); it must "
             "exist",
             "", [this](const std::string& v) { return Store(analyzeSettings_, v); });
    AddValue(*analyze_, "--fft", "N", "FFT size", "a power of two from 32 to 1048576", [&a](const std::string& v) {
        uint64_t n = 0;
        if (!ParseCountIn(v, 32, 1048576, n) || (n & (n - 1)) != 0) return false;
        a.fftSize = static_cast<uint32_t>(n);
        return true;
    });
    AddValue(*analyze_, "--window", "NAME", "smoothing window", WindowChoices(), [&a](const std::string& v) {
        WindowType t{};
        return ParseWindowName(v, t) && Store(a.window, t);
    });
    AddValue(*analyze_, "--average", "N|infinite", "spectrums averaged (default infinite: the whole file)",
             "1 to 1000000 or infinite", [&a](const std::string& v) {
                 uint64_t n = kInfiniteAverageBlocks;
                 if (Squash(v) != "infinite" && !ParseCountIn(v, 1, kInfiniteAverageBlocks, n)) return false;
                 a.averageBlocks = static_cast<uint32_t>(n);
                 return true;
             });
    AddValue(*analyze_, "--average-type", "TYPE", "how spectrums are averaged", "exponential, linear or vector",
             [&a](const std::string& v) {
                 AveragingType t{};
                 return ParseAverageType(v, t) && Store(a.averageType, t);
             });
    AddValue(*analyze_, "--overlap", "P", "overlap of successive frames in percent", "between 0 and 99",
             [&a](const std::string& v) {
                 uint64_t n = 0;
                 return ParseCountIn(v, 0, 99, n) && Store(a.overlap, static_cast<uint16_t>(n));
             });
    AddValue(*analyze_, "--decimation", "D", "decimation ratio", "between 1 and 30", [&a](const std::string& v) {
        uint64_t n = 0;
        return ParseCountIn(v, 1, 30, n) && Store(a.decimation, static_cast<uint16_t>(n));
    });
    AddValue(*analyze_, "--jobs", "N",
             "threads that analyse ranges of the file where the average allows it (default all: one per core; 1: frame after frame)",
             "between 1 and 256 or all (one per core)", [&a](const std::string& v) {
                 uint64_t n = 0;
                 if (Squash(v) != "all" && !ParseCountIn(v, 1, 256, n)) return false;
                 a.jobs = static_cast<uint32_t>(n);
                 return true;
             });
    AddValue(*analyze_, "--channels", "MODE", "channel processing", ChannelModeChoices(), [&a](const std::string& v) {
        ChannelProcessingMode m{};
        return ParseChannelMode(v, m) && Store(a.channels, m);
    });
    AddValue(*analyze_, "--coherence", "KIND",
             "coherence as |gamma| (magnitude, the default) or its square (the magnitude-squared coherence)",
             "magnitude or squared", [&a](const std::string& v) {
                 const std::string kind = Squash(v);
                 if (kind != "magnitude" && kind != "squared") return false;
                 a.coherenceSquared = kind == "squared";
                 return true;
             });
    analyze_->footer("Unset options come from the settings file, except --average, which defaults to infinite.\n"
                     "--measure prints one line per measurement after the CSV: name, value(s), unit.");
}

void TOptionTable::DeclareGenerate() {
    GenerateOptions& g = out_.generate;
    generate_ = main_.add_subcommand("generate",
                                     "Makes a test signal as the signal generator does and writes it to a wave file "
                                     "(-o) or plays it on the\nconfigured output device (--play).");
    generate_->allow_extras();
    generate_->add_option("TYPE", [&g](const CLI::results_t& v) { return Store(g.type, v.front()); },
                          "white, pink, noise-burst, 1khz, tones, tone-burst, sweep, level-sweep, sawtooth, "
                          "triangular, square, pulse, imd, dtmf, user, zero (or the window's names)")
        ->expected(1);
    AddValue(*generate_, "-o,--output", "FILE.wav", "write the signal to FILE.wav", "",
             [&g](const std::string& v) { return Store(g.output, v); });
    AddFlag(*generate_, "--play", "play the signal on the configured output device", [&g] { g.play = true; });
    AddValue(*generate_, "--seconds", "S", "how long: the file's length, or how long to play (default: the buffer "
             "once to a file; until Ctrl-C when playing)", "a positive number",
             [&g](const std::string& v) { return ParsePositiveSeconds(v, g.seconds); });
    const auto number = [this](const char* name, const char* unit, const char* purpose, std::optional<double>& field) {
        AddValue(*generate_, name, unit, purpose, "a number", StoreNumber(field));
    };
    AddValue(*generate_, "--freq", "HZ[,HZ...]", "frequency; up to ten for tones", "up to ten numbers, comma-separated",
             StoreNumbers(g.frequencies, 10));
    AddValue(*generate_, "--tone-db", "DB[,DB...]", "tone levels in dB (one for all, or one per --freq)",
             "up to ten numbers, comma-separated", StoreNumbers(g.toneLevels, 10));
    number("--start", "HZ|DB", "where a sweep starts: Hz, or dB for a level sweep", g.start);
    number("--stop", "HZ|DB", "where a sweep stops", g.stop);
    AddValue(*generate_, "--sweep", "KIND", "frequency sweep", "linear or log", StoreChoice(g.sweepType, {{"linear", 1}, {"log", 2}}));
    number("--time", "MS", "sweep time in milliseconds", g.timeMs);
    number("--burst", "MS", "burst time in milliseconds", g.burstMs);
    number("--cycle", "MS", "burst cycle time in milliseconds", g.cycleMs);
    AddValue(*generate_, "--noise", "KIND", "noise of a noise burst", "white or pink",
             StoreChoice(g.noiseKind, {{"white", 0}, {"pink", 1}}));
    AddValue(*generate_, "--slope", "DIR", "sawtooth slope", "rising or falling",
             StoreChoice(g.slope, {{"rising", 1}, {"falling", -1}}));
    number("--duty", "PCT", "square wave duty cycle in percent", g.dutyPercent);
    number("--width", "US", "pulse width in microseconds", g.widthUs);
    number("--interval", "US", "pulse repetition interval in microseconds", g.intervalUs);
    AddFlag(*generate_, "--once", "a single pulse", [&g] { g.oneShot = true; });
    AddValue(*generate_, "--imd", "SET", "IMD tones", "1, 2 or custom", StoreChoice(g.imdSet, {{"1", 0}, {"2", 1}, {"custom", 2}}));
    number("--low", "HZ", "custom IMD low frequency", g.lowHz);
    number("--high", "HZ", "custom IMD high frequency", g.highHz);
    number("--ratio", "R", "custom IMD power ratio low : high", g.ratio);
    AddValue(*generate_, "--keys", "KEYS", "DTMF key string", "at most 99 characters",
             [&g](const std::string& v) { return v.size() < 100 && Store(g.keys, v); });
    number("--pulse", "MS", "DTMF tone length in milliseconds", g.pulseMs);
    number("--spacing", "MS", "DTMF pause in milliseconds", g.spacingMs);
    number("--twist", "DB", "DTMF twist in dB (positive: the low tone quieter)", g.twistDb);
    AddFlag(*generate_, "--repeat", "repeat the DTMF keys instead of playing them once", [&g] { g.repeat = true; });
    AddValue(*generate_, "--file", "FILE.wav", "the wave file a user-defined signal plays", "",
             [&g](const std::string& v) { return Store(g.waveFile, v); });
    number("--level", "L", "output level of both channels in the units", g.level);
    AddValue(*generate_, "--units", "UNITS", "output level units",
             "dbfs, percent, vrms, mvrms, dbv, dbmv or dbu",
             StoreChoice(g.units, {{"dbfs", 0}, {"percent", 1}, {"vrms", 2}, {"mvrms", 3}, {"dbv", 4}, {"dbmv", 5},
                                   {"dbu", 6}}));
    number("--full-scale", "VOLTS", "the card's rms output voltage at full scale", g.fullScaleVolts);
    AddValue(*generate_, "--rate", "HZ", "sampling rate (default: the analyser's)", "between 4000 and 200000",
             [&g](const std::string& v) {
                 uint64_t n = 0;
                 return ParseCountIn(v, 4000, 200000, n) && Store(g.rate, static_cast<uint32_t>(n));
             });
    AddValue(*generate_, "--channels", "N", "channels (default: the analyser's)", "1 or 2",
             StoreChoice(g.channels, {{"1", 1}, {"2", 2}}));
    AddValue(*generate_, "--bits", "N", "bits per sample (default: the analyser's)", "8, 16, 24 or 32",
             StoreChoice(g.bytesPerSample, {{"8", 1}, {"16", 2}, {"24", 3}, {"32", 4}}));
    AddValue(*generate_, "--settings", "FILE.ini", "read the generator's and the analyser's settings from FILE.ini", "",
             [this](const std::string& v) { return Store(generateSettings_, v); });
    generate_->footer("Unset parameters come from the settings file; each is checked as the generator's dialogs "
                      "check it.\nBoth channels play the same signal.");
}

void TOptionTable::DeclareUtilities() {
    UtilityOptions& u = out_.utility;
    const auto command = [this, &u](const char* name, const char* purpose) {
        CLI::App* app = main_.add_subcommand(name, purpose);
        app->allow_extras();
        app->add_option("FILE.wav", [&u](const CLI::results_t& v) { return Store(u.input, v.front()); },
                        "the recording")
            ->expected(1);
        return app;
    };
    dtmf_ = command("dtmf", "Decodes the telephone keys in a recording: each key with its start and duration.");
    dtmf_->footer("One line per key: channel, key, start in seconds, duration in ms; then the keys of each channel.");
    delay_ = command("delay", "Finds the delay between the channels of a stereo recording: samples, milliseconds "
                              "and metres\n(negative: the right channel lags the left).");
    delay_->footer("Every block through the file is correlated; the median of the blocks' delays is printed.");
    AddValue(*delay_, "--max-delay", "MS", "the longest delay searched", "between 10 and 1000 milliseconds",
             [&u](const std::string& v) {
                 uint64_t n = 0;
                 return ParseCountIn(v, 10, 1000, n) && Store(u.maxDelayMs, static_cast<int32_t>(n));
             });
    AddValue(*delay_, "--speed", "FT/S", "speed of sound", "between 10 and 100000 ft/s", [&u](const std::string& v) {
        double speed = 0.0;
        return ParseFiniteNumber(v, speed) && speed >= 10.0 && speed <= 100000.0 && Store(u.speedOfSound, speed);
    });
    reverb_ = command("reverb", "Measures the reverberation time per third-octave band in a recording of the "
                                "reverberation stimulus\n(a 1 kHz sync tone at 0.8 s, pink noise from 1.4 s, "
                                "then the decay).");
    reverb_->footer("One line per third-octave band and wideband: RT20 and RT30 from their own drops, RT60 as the "
                    "extrapolation\ngives it, and which of t10 ... t60 were measured (m) or extrapolated (x). Unset "
                    "options come from the settings file.");
    AddValue(*reverb_, "--smoothing", "METHOD", "smoothing of the decay curves", "none, averaging or schroeder",
             StoreChoice(u.smoothing, {{"none", 0}, {"averaging", 1}, {"schroeder", 2}}));
    AddValue(*reverb_, "--extrapolation", "FROM", "the decay the longer times are extrapolated from",
             "rt10, rt20 or rt30", StoreChoice(u.extrapolation, {{"rt10", 0}, {"rt20", 1}, {"rt30", 2}}));
    AddValue(*reverb_, "--max-decay", "S", "the longest decay followed", "between 1 and 30 seconds",
             [&u](const std::string& v) {
                 uint64_t n = 0;
                 return ParseCountIn(v, 1, 30, n) && Store(u.maxDecaySeconds, static_cast<int32_t>(n));
             });
}

void TOptionTable::DeclareRunMacro() {
    MainOptions& m = out_.main;
    runMacro_ = main_.add_subcommand("run-macro", "Runs a macro command file on the analyser without a window, "
                                                  "printing each line it writes to its output file;\nCtrl-C "
                                                  "stops it with the output file intact.");
    runMacro_->allow_extras();
    runMacro_->add_option("FILE.mac", [&m](const CLI::results_t& v) { return Store(m.macroFile, v.front()); },
                          "the macro")
        ->expected(1)
        ->required();
}

void TOptionTable::DeclareCtl() {
    CtlOptions& c = out_.ctl;
    ctl_ = main_.add_subcommand("ctl", "Drives a running analyser through its automation server: request ITEM, "
                                       "execute \"[COMMAND]\", advise ITEM... (one line per update until "
                                       "Ctrl-C), items, or openapi (the API description, no server needed).");
    ctl_->add_option("ACTION", [&c](const CLI::results_t& v) {
             using Action = CtlOptions::Action;
             const std::string& word = v.front();
             c.action = word == "request" ? Action::Request : word == "execute" ? Action::Execute
                        : word == "advise" ? Action::Advise : word == "items" ? Action::Items
                        : word == "openapi" ? Action::OpenApi : Action::None;
             if (c.action == Action::None)
                 Refuse("ctl: '" + word + "' is not request, execute, advise, items or openapi");
             return true;
         }, "request, execute, advise, items or openapi")
        ->expected(1)
        ->required();
    ctl_->footer("Status: 0 done (ACK), 1 NACK, an unknown item or a refusal, 2 no server.");
    // The item names or the command text are taken as they stand: a bracketed command text
    // must not be read as a list such as "[a,b]".
    ctl_->allow_extras();
    AddValue(*ctl_, "--discovery", "FILE", "the server's discovery file (default: the one a running analyser writes)",
             "", [&c](const std::string& v) { return Store(c.discovery, v); });
}

// An argument no option or file took: an unknown option, or a second file.
std::string LeftOverMessage(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-' ? "unknown option '" + arg + "'" : "only one file may be named";
}

bool TOptionTable::FinishCtl(std::string& error) {
    using Action = CtlOptions::Action;
    CtlOptions& c = out_.ctl;
    c.arguments = ctl_->remaining();
    for (const std::string& arg : c.arguments)
        if (arg.size() > 1 && arg[0] == '-') {
            error = LeftOverMessage(arg);
            return false;
        }
    const bool bare = c.action == Action::Items || c.action == Action::OpenApi;
    const std::size_t wanted = bare ? 0 : c.action == Action::Advise ? c.arguments.size() : 1;
    if (c.arguments.size() != wanted || (c.action == Action::Advise && wanted == 0))
        error = bare ? "ctl items and ctl openapi take no argument"
                : c.action == Action::Advise ? "ctl advise needs at least one item"
                                             : "ctl request and execute take one argument (quote it)";
    return error.empty();
}

void TOptionTable::DeclareScaling(CLI::App& app) {
    ScalingOptions& s = out_.scaling;
    const auto store = [](std::optional<uint16_t>& field, bool (*parse)(const std::string&, uint16_t&)) {
        return [&field, parse](const std::string& v) {
            uint16_t value = 0;
            if (!parse(v, value)) return false;
            field = value;
            return true;
        };
    };
    const std::string group = "Scaling";
    app.add_option("--cal", [&s](const CLI::results_t& values) {
           for (const std::string& v : values) {
               CalibrationRecord record;
               const CalibrationFileStatus status = LoadCalibrationOption(v, record);
               if (status == CalibrationFileStatus::Unreadable) Refuse("--cal: cannot read '" + v + "'");
               if (status == CalibrationFileStatus::NotCalibration) Refuse("--cal: '" + v + "' is not a calibration file");
               s.calibration = record;
           }
           return true;
       }, "calibration file, loaded and enabled")
        ->type_name("FILE.cal")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->group(group);
    AddValue(app, "--amplitude", "SCALE", "amplitude scale", "linear or db", store(s.ampScaleType, ParseAmplitudeScale));
    AddValue(app, "--frequency", "SCALE", "frequency axis", "linear, log or octave",
             store(s.freqScaleType, ParseFrequencyScale));
    AddValue(app, "--octave", "N", "1/N-octave bands (implies --frequency octave)", "one of 1, 3, 6, 9, 12, 24, 48, 96",
             store(s.octaveNumber, ParseOctaveNumber));
    AddValue(app, "--weighting", "CURVE", "frequency weighting", "flat, A, B or C",
             store(s.standardWeighting, ParseWeighting));
    AddValue(app, "--psd", "KIND", "power spectral density, squared or its root", "squared or root",
             store(s.spectralDensityType, ParseDensityType));
    AddValue(app, "--mic-comp", "LEFT[,RIGHT]", "microphone compensation curves",
             "LEFT[,RIGHT] with names of at most 259 characters", [&s](const std::string& v) {
                 std::string left, right;
                 if (!ParseMicCompNames(v, left, right)) return false;
                 s.micLeft = left;
                 s.micRight = right;
                 return true;
             });
    for (const char* name : {"--amplitude", "--frequency", "--octave", "--weighting", "--psd", "--mic-comp"})
        app.get_option(name)->group(group);
}

void TOptionTable::DeclareResults(CLI::App& app) {
    ReportOptions& r = out_.reports;
    app.add_option("--measure", [&r](const CLI::results_t& values) {
           std::string error;
           for (const std::string& v : values)
               if (!ParseMeasurementList(v, r.measure, error)) Refuse(error);
           return true;
       }, "measurements to print: thd,thdn,imd,snr,sinad,sfdr,nf,peakfreq,peakamp,power or all")
        ->type_name("LIST")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->group("Results");
    AddValue(app, "--measure-band", "LOW:HIGH",
             "the band of THD, THD+N, SNR and SINAD in Hz (default 20:20000, limited to the spectrum)",
             "LOW:HIGH in Hz with 0 <= LOW < HIGH",
             [&r](const std::string& v) { return ParseFrequencyBand(v, r.band.bandLowHz, r.band.bandHighHz); });
    app.get_option("--measure-band")->group("Results");
}

void TOptionTable::DeclareLogging(CLI::App& app) {
    LoggingOptions& l = out_.reports.logging;
    AddValue(app, "--log", "FILE", "write a data log to FILE", "a file name of 1 to 259 characters",
             [&l](const std::string& v) {
                 if (v.empty() || v.size() > kMaxLogFileName) return false;
                 l.LogFileName = v;
                 return true;
             });
    AddValue(app, "--log-type", "NAME", "what each log line holds",
             "one of peakfreq, peakamp, peakfreqamp, power, spectrum, thd, thdn, imd, snr, sinad, nf, delay (or 0 ... "
             "11)",
             [&l](const std::string& v) {
                 int16_t type = 0;
                 return ParseLogDataType(v, type) && Store(l.DataType, type);
             });
    AddValue(app, "--log-interval", "SECS", "time between log lines",
             "0 (every spectrum) or between 1 and 3600 seconds", [&l](const std::string& v) {
                 double seconds = 0.0;
                 if (!ParseLogInterval(v, seconds)) return false;
                 l.IntervalFlag = seconds == 0.0 ? 0 : 1;
                 if (seconds != 0.0) l.IntervalSecs = static_cast<float>(seconds);
                 return true;
             });
    AddValue(app, "--log-range", "START:STOP|full", "the band searched and listed",
             "full or START:STOP in Hz with 0 <= START < STOP", [&l](const std::string& v) {
                 double start = 0.0, stop = 0.0;
                 if (Squash(v) == "full") return Store(l.UseFullSpan, 1);
                 if (!ParseFrequencyBand(v, start, stop)) return false;
                 l.UseFullSpan = 0;
                 l.StartFreq = static_cast<float>(start);
                 l.StopFreq = static_cast<float>(stop);
                 return true;
             });
    AddValue(app, "--log-threshold", "LEVEL", "log only peaks at or above LEVEL", "a number",
             [&l](const std::string& v) {
                 double level = 0.0;
                 return ParseFiniteNumber(v, level) && Store(l.Threshold, static_cast<float>(level));
             });
    AddFlag(app, "--log-append", "append to the log instead of replacing it", [&l] { l.OverwriteFlag = 0; });
    AddFlag(app, "--log-band-power", "add the flat and A-weighted power to spectrum values",
            [&l] { l.OstrelFlag = 1; });
    for (const char* name : {"--log", "--log-type", "--log-interval", "--log-range", "--log-threshold", "--log-append",
                             "--log-band-power"})
        app.get_option(name)->group("Logging");
}

bool TOptionTable::Parse(const std::vector<std::string>& args, std::string& error) {
    std::vector<std::string> lastFirst(args.rbegin(), args.rend());  // the order CLI11 consumes
    bool parsed = true;
    try {
        main_.parse(lastFirst);
    } catch (const CLI::CallForHelp&) {
        out_.help = main_.help();  // the sub-command's help when one was named
    } catch (const CLI::ArgumentMismatch&) {
        // An option takes whatever follows it, so only the last argument can lack its value.
        error = "option " + args.back().substr(0, args.back().find('=')) + " needs a value";
        parsed = false;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        parsed = false;
    }
    out_.main.analyze = analyze_->parsed();
    out_.main.generate = generate_->parsed();
    using Kind = UtilityOptions::Kind;
    out_.utility.kind = dtmf_->parsed() ? Kind::Dtmf : delay_->parsed() ? Kind::Delay
                        : reverb_->parsed() ? Kind::Reverb : Kind::None;
    return parsed && (!out_.help.empty() || Finish(error));
}

bool TOptionTable::FinishGenerate(std::string& error) {
    MainOptions& m = out_.main;
    const GenerateOptions& g = out_.generate;
    if (m.headless || m.report || m.frames != 0 || m.seconds != 0.0 || !m.file.empty())
        error = "--headless, --report, --frames, --seconds and a file do not apply before generate";
    else if (g.type.empty())
        error = "no signal type";
    else if (g.output.empty() == !g.play)
        error = "generate needs either -o FILE.wav or --play";
    else if (!generateSettings_.empty() && !m.settingsFile.empty())
        error = "--settings given both before and after \"generate\"";
    if (!error.empty()) return false;
    if (!generateSettings_.empty()) m.settingsFile = generateSettings_;
    return true;
}

bool TOptionTable::Finish(std::string& error) {
    MainOptions& m = out_.main;
    for (const CLI::App* app : {&main_, analyze_, generate_, dtmf_, delay_, reverb_, runMacro_}) {
        if (app->remaining().empty()) continue;
        error = LeftOverMessage(app->remaining().front());
        return false;
    }
    // A macro file named on its own runs as with run-macro.
    const std::string& named = m.file;
    if (named.size() > 4 && EqualsIgnoreCase(std::string_view(named).substr(named.size() - 4), ".mac")) {
        if (!m.macroFile.empty()) {
            error = "only one file may be named";
            return false;
        }
        m.macroFile = std::exchange(m.file, std::string());
    }
    if (!m.macroFile.empty() && (m.report || m.frames != 0 || m.seconds != 0.0 || !m.file.empty())) {
        error = "--report, --frames, --seconds and a wave file do not apply to a macro";
        return false;
    }
    if (m.analyze) {
        // Only the options that concern any run may come before the sub-command.
        if (m.headless || m.report || m.frames != 0 || m.seconds != 0.0)
            error = "--headless, --report, --frames and --seconds do not apply to analyze";
        else if (!m.file.empty())
            error = "only one file may be named";
        else if (out_.analyze.input.empty())
            error = "no input file";
        else if (!analyzeSettings_.empty() && !m.settingsFile.empty())
            error = "--settings given both before and after \"analyze\"";
        if (!error.empty()) return false;
        if (!analyzeSettings_.empty()) m.settingsFile = analyzeSettings_;
    }
    if (m.generate && !FinishGenerate(error)) return false;
    if (ctl_->parsed() && !FinishCtl(error)) return false;
    if (out_.utility.kind != UtilityOptions::Kind::None && out_.utility.input.empty()) {
        error = "no input file";
        return false;
    }
    if (!SettleOctaveChoice(out_.scaling)) {
        error = "--octave goes with --frequency octave";
        return false;
    }
    return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error) {
    out = CommandLine{};
    error.clear();
    TOptionTable table(out);
    return table.Parse(args, error);
}

bool ParseAnalyzeArguments(const std::vector<std::string>& args, AnalyzeOptions& out, std::string& error) {
    std::vector<std::string> line{"analyze"};
    line.insert(line.end(), args.begin(), args.end());
    CommandLine parsed;
    if (!ParseCommandLine(line, parsed, error)) return false;
    out = parsed.analyze;
    return true;
}

}  // namespace zeltrak
