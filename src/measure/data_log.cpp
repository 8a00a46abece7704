#include "measure/data_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "base/text_format.h"
#include "base/numeric.h"
#include "base/strings.h"
#include "base/time_text.h"
#include "dsp/spectral_display.h"
#include "files/ini_store.h"
#include "measure/measure_strings.h"
#include "platform/host.h"
#include "platform/program_launcher.h"

namespace zeltrak {

namespace {

constexpr const char* kSection = "Logging";
constexpr size_t kFileNameBytes = 260;
constexpr int kDashCount = 129;

std::string FillName(const char* format, const std::string& name) {
    std::string text = format;
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, name);
    return text;
}

std::string Range(const char* format, double lo, double hi) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format, lo, hi);
    return buffer;
}

std::string Cut(const std::string& text) { return text.substr(0, kFileNameBytes - 1); }

std::string Number(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
    return buffer;
}

MeasurementCode CodeOfType(int dataType) {
    switch (dataType) {
        case kLogTHD: return kMeasureTHD;
        case kLogTHDN: return kMeasureTHDN;
        case kLogIMD: return kMeasureIMD;
        case kLogSNR: return kMeasureSNR;
        default: return kMeasureSINAD;
    }
}

// The points of a bin range as values are listed: bins, or the bands holding them.
std::pair<uint32_t, uint32_t> ValueRange(const TSpectralData& s, std::pair<uint32_t, uint32_t> bins) {
    if (!InBands(s)) return bins;
    return {MeasureFreqToBand(s, s.BinFrequency(bins.first)), MeasureFreqToBand(s, s.BinFrequency(bins.second))};
}

std::pair<uint32_t, uint32_t> FullSpan(const TSpectralData& s) {
    return {MeasureFreqToBin(s, s.BinFrequency(2)), MeasureFreqToBin(s, 0.99 * s.Nyquist())};
}

}  // namespace

const char* LogDataTypeName(int dataType) {
    static const char* const kNames[kLogDataTypeCount] = {"Peak Frequency",
                                                          "Peak Amplitude",
                                                          "Peak Frequency & Amplitude",
                                                          "Power Level",
                                                          "Spectrum Values",
                                                          "Total Harmonic Distortion (THD)",
                                                          "Total Harmonic Distortion + Noise (THD+N)",
                                                          "Intermodulation Distortion (IMD)",
                                                          "Signal to Noise Ratio (SNR)",
                                                          "SINAD Ratio",
                                                          "Noise Figure (NF)",
                                                          "Time Delay"};
    return dataType >= 0 && dataType < kLogDataTypeCount ? kNames[dataType] : "";
}

void LoggingSettings::Load(const TIniStore& ini) {
    const LoggingSettings d;
    IntervalFlag = static_cast<int32_t>(ini.GetInt(kSection, "IntervalFlag", d.IntervalFlag));
    IntervalSecs = static_cast<float>(ini.GetDouble(kSection, "IntervalSecs", d.IntervalSecs));
    UseFullSpan = static_cast<int32_t>(ini.GetInt(kSection, "UseFullSpan", d.UseFullSpan));
    StartFreq = static_cast<float>(ini.GetDouble(kSection, "StartFreq", d.StartFreq));
    StopFreq = static_cast<float>(ini.GetDouble(kSection, "StopFreq", d.StopFreq));
    Threshold = static_cast<float>(ini.GetDouble(kSection, "Threshold", d.Threshold));
    DataType = static_cast<int16_t>(ini.GetInt(kSection, "DataType", d.DataType));
    LogFileName = ini.GetString(kSection, "LogFileName", d.LogFileName, kFileNameBytes);
    LogViewerProgram = ini.GetString(kSection, "LogViewerProgram", d.LogViewerProgram, kFileNameBytes);
    OverwriteFlag = static_cast<int32_t>(ini.GetInt(kSection, "OverwriteFlag", d.OverwriteFlag));
    OstrelFlag = static_cast<int32_t>(ini.GetInt(kSection, "OstrelFlag", d.OstrelFlag));
}

void LoggingSettings::Store(TIniStore& ini) const {
    ini.SetInt(kSection, "IntervalFlag", IntervalFlag);
    ini.SetDouble(kSection, "IntervalSecs", IntervalSecs);
    ini.SetInt(kSection, "UseFullSpan", UseFullSpan);
    ini.SetDouble(kSection, "StartFreq", StartFreq);
    ini.SetDouble(kSection, "StopFreq", StopFreq);
    ini.SetDouble(kSection, "Threshold", Threshold);
    ini.SetInt(kSection, "DataType", DataType);
    ini.SetString(kSection, "LogFileName", LogFileName);
    ini.SetString(kSection, "LogViewerProgram", LogViewerProgram);
    ini.SetInt(kSection, "OverwriteFlag", OverwriteFlag);
    ini.SetInt(kSection, "OstrelFlag", OstrelFlag);
}

bool LogsTwoChannels(ChannelProcessingMode channelMode) {
    return channelMode == ChannelProcessingMode::Both || channelMode == ChannelProcessingMode::TransferCoherenceLR ||
           channelMode == ChannelProcessingMode::TransferCoherenceRL;
}

std::string LogHeaderLine(int dataType, bool two) {
    switch (dataType) {
        case kLogPeakFrequency: return two ? "Time\tLeft Freq(Hz)\tRight Freq(Hz)\n" : "Time\tPeak Freq(Hz)\n";
        case kLogPeakAmplitude: return two ? "Time\tLeft Amplitude\tRight Amplitude\n" : "Time\tAmplitude\n";
        // The two-channel line holds each channel's frequency and amplitude; the header names
        // all four columns so that a spreadsheet labels them right.
        case kLogPeakFrequencyAmplitude:
            return two ? "Time\tLeft Freq(Hz)\tLeft Amplitude\tRight Freq(Hz)\tRight Amplitude\n"
                       : "Time\tFreq(Hz)\tAmplitude\n";
        case kLogPowerLevel: return two ? "Time\tLeft Power Level\tRight Power Level\n" : "Time\tPower Level\n";
        case kLogTHD: return two ? "Time\tLeft THD (%)\tRight THD (%)\n" : "Time\tTHD (%)\n";
        case kLogTHDN: return two ? "Time\tLeft THD+N (%)\tRight THD+N (%)\n" : "Time\tTHD+N (%)\n";
        case kLogIMD: return two ? "Time\tLeft IMD (%)\tRight IMD (%)\n" : "Time\tIMD (%)\n";
        case kLogSNR: return two ? "Time\tLeft SNR (dB)\tRight SNR (dB)\n" : "Time\tSNR (dB)\n";
        case kLogSINAD: return two ? "Time\tLeft SINAD (dB)\tRight SINAD (dB)\n" : "Time\tSINAD (dB)\n";
        case kLogNoiseFigure: return "Time\tNoise Figure (dB)\n";
        case kLogTimeDelay: return "Time\tDelay\n";
        default: return "";
    }
}

std::string CalendarText(int64_t epochSeconds) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t t = static_cast<std::time_t>(epochSeconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) tm = std::tm{};
    char buffer[64];
    // fixed English names: the text must not change with the user's locale
    std::snprintf(buffer, sizeof buffer, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[((tm.tm_wday % 7) + 7) % 7],
                  kMonths[((tm.tm_mon % 12) + 12) % 12], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  tm.tm_year + 1900);
    return buffer;
}

TDataLog::TDataLog(const LoggingSettings& settings, Host& host, const MeasurementContext& context)
    : settings_(settings), host_(host), context_(context) {
    // Non-blocking, so that a FIFO nobody reads is refused instead of hanging the open; the
    // file is only cut after the lock shows that no other run is writing it.
    const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK;
    fd_ = settings_.LogFileName.empty() ? -1 : ::open(settings_.LogFileName.c_str(), flags, 0644);
    if (fd_ < 0) {
        error_ = true;
        ShowMessage(host_, FillName(kLogOpenFailedFormat, settings_.LogFileName), MessageIcon::Error);
        return;
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        fd_ = -1;
        error_ = true;
        ShowMessage(host_, FillName(kLogInUseFormat, settings_.LogFileName), MessageIcon::Error);
        return;
    }
    struct stat st {};
    if (settings_.OverwriteFlag == 1 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
        const int ignored = ::ftruncate(fd_, 0);
        (void)ignored;
    }
    headerPending_ = true;
}

TDataLog::~TDataLog() {
    if (fd_ >= 0) ::close(fd_);
}

bool TDataLog::WriteText(const std::string& text) {
    if (error_ || fd_ < 0) return false;
    // A line goes out whole or not at all: after a failed write the file is cut back to where
    // the line began, so that a full disk leaves no torn line behind.
    const off_t start = ::lseek(fd_, 0, SEEK_END);
    size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (ok) return true;
    if (start >= 0 && done > 0) {
        const int ignored = ::ftruncate(fd_, start);
        (void)ignored;
    }
    error_ = true;
    host_.MessageBox(kLogWriteFailedText, kLogWriteFailedCaption, MessageIcon::Error);
    return false;
}

std::pair<uint32_t, uint32_t> TDataLog::Band(const TSpectralData& s) const {
    if (settings_.UseFullSpan == 1) return FullSpan(s);
    return {MeasureFreqToBin(s, settings_.StartFreq), MeasureFreqToBin(s, settings_.StopFreq)};
}

std::string TDataLog::SpectrumValuesHeader(const TSpectralData& left, bool two) const {
    const auto [lo, hi] = ValueRange(left, Band(left));
    std::string frequencies;
    for (uint32_t k = lo; k <= hi; ++k) frequencies += FormatText("%6.1f\t", SpectralValueFrequency(left, k));
    const std::string power = settings_.OstrelFlag == 1 ? "Pwr\tPwr(A)\t" : "";
    std::string text = "Time, Freq(Hz)\t" + frequencies + power;
    if (two) {
        text += '\t';
        text += frequencies;
        text += power;
    }
    return text + "\n";
}

std::string TDataLog::SpectrumValuesColumns(const TSpectralData& s) const {
    const auto [lo, hi] = ValueRange(s, Band(s));
    std::string text;
    for (uint32_t k = lo; k <= hi; ++k) text += FormatText("%6.6f\t", SpectralDisplayValue(s, k));
    if (settings_.OstrelFlag == 1) {
        const auto [flo, fhi] = ValueRange(s, FullSpan(s));
        const bool logarithmic = s.AmpScale() == AmplitudeScale::Decibels;
        text += FormatText("%6.6f\t", BandPower(s, flo, fhi, logarithmic, kBandFlat, context_));
        text += FormatText("%6.6f\t", BandPower(s, flo, fhi, logarithmic, kBandA, context_));
    }
    return text;
}

bool TDataLog::WriteHeaderOnce(const TSpectralData& left, bool two) {
    if (!headerPending_) return true;
    std::string header = "\nData Logging On: " + CalendarText(host_.WallClockSeconds()) + "\n";
    header += settings_.DataType == kLogSpectrumValues ? SpectrumValuesHeader(left, two)
                                                       : LogHeaderLine(settings_.DataType, two);
    header += std::string(kDashCount, '-') + "\n";
    if (!WriteText(header)) return false;
    headerPending_ = false;
    return true;
}

bool TDataLog::IntervalDue(double time) {
    if (settings_.IntervalFlag == 1 && last_ + settings_.IntervalSecs > time) {
        if (time < last_) last_ = 0.0;  // the clock went back (a rewind)
        return false;
    }
    last_ = time;
    return true;
}

namespace {
void AppendColumn(std::string& line, const char* format, double v) {
    line += FormatText(format, std::isfinite(v) ? v : 0.0);
}
}  // namespace

std::string TDataLog::PeakColumns(const PeakResult& l, const PeakResult* r) const {
    std::string text;
    for (const PeakResult* p : {&l, r}) {
        if (!p) continue;
        if (settings_.DataType != kLogPeakAmplitude) AppendColumn(text, "\t%6.4f", p->frequency);
        if (settings_.DataType != kLogPeakFrequency) AppendColumn(text, "\t%6.6f", p->amplitude);
    }
    return text;
}

std::string TDataLog::PowerColumns(const TSpectralData& left, const TSpectralData* right) const {
    const auto power = [&](const TSpectralData& s) {
        const auto [lo, hi] = ValueRange(s, Band(s));
        return BandPower(s, lo, hi, true, kBandDisplayed, context_);
    };
    std::string text;
    AppendColumn(text, "\t%6.4f", power(left));
    if (right) AppendColumn(text, "\t%6.2f", power(*right));
    return text;
}

std::string TDataLog::MeasurementColumns(const TSpectralData& left, const TSpectralData* right) const {
    const MeasurementCode code = CodeOfType(settings_.DataType);
    std::string text;
    AppendColumn(text, "\t%6.6f", Measure(code, left, context_));
    if (right) AppendColumn(text, "\t%6.6f", Measure(code, *right, context_));
    return text;
}

std::optional<std::string> TDataLog::ValueColumns(const LoggedFrame& f) const {
    const TSpectralData* second = f.two ? f.right : nullptr;
    std::string text;
    switch (settings_.DataType) {
        case kLogPeakFrequency:
        case kLogPeakAmplitude:
        case kLogPeakFrequencyAmplitude: return PeakColumns(f.leftPeak, f.two ? &f.rightPeak : nullptr);
        case kLogPowerLevel: return PowerColumns(*f.left, second);
        case kLogSpectrumValues:
            text = '\t' + SpectrumValuesColumns(*f.left);
            if (second) text += '\t' + SpectrumValuesColumns(*second);
            return text;
        case kLogTHD:
        case kLogTHDN:
        case kLogIMD:
        case kLogSNR:
        case kLogSINAD: return MeasurementColumns(*f.left, second);
        // The noise figure compares the two inputs whatever the mode logs.
        case kLogNoiseFigure: AppendColumn(text, "\t%6.6f", MeasureNoiseFigure(f.left, f.right, context_)); return text;
        case kLogTimeDelay:
            if (!f.delay) return std::nullopt;
            AppendColumn(text, "\t%6.6f", *f.delay);
            return text;
        default: return std::nullopt;
    }
}

bool TDataLog::LogSpectrum(const TSpectralData* left, const TSpectralData* right, double time,
                           ChannelProcessingMode channelMode, std::optional<double> delay) {
    if (error_ || fd_ < 0 || !left || left->Error()) return false;
    const bool two = LogsTwoChannels(channelMode);
    if (!WriteHeaderOnce(*left, two) || !IntervalDue(time)) return false;
    if (two && (!right || right->Error())) return false;
    LoggedFrame frame{left, right, two, BandPeak(*left), {}, delay};
    if (two) frame.rightPeak = BandPeak(*right);
    const double threshold = settings_.Threshold;
    if (!(frame.leftPeak.amplitude >= threshold || (two && frame.rightPeak.amplitude >= threshold))) return false;
    const std::optional<std::string> values = ValueColumns(frame);
    return values && WriteText(FormatTimeWithMillis(time) + *values + "\n");
}

PeakResult TDataLog::BandPeak(const TSpectralData& s) const {
    const auto [lo, hi] = Band(s);
    return FindPeak(s, lo, hi, 0, context_);
}

bool TDataLog::LogFrame(const ChannelSpectrums& spectrums, ChannelProcessingMode channelMode, bool stereo, double time,
                        std::optional<double> delay) {
    const ChannelProcessingMode mode = stereo ? channelMode : ChannelProcessingMode::Left;
    if (settings_.DataType == kLogNoiseFigure)
        return LogSpectrum(spectrums.left, stereo ? spectrums.right : nullptr, time, mode, delay);
    const MeasuredSpectrums m = SpectrumsToMeasure(spectrums, mode, stereo);
    return LogSpectrum(m.first, m.second, time, mode, delay);
}

std::string ResolveLogViewer(const std::string& stored) {
    if (!stored.empty() && !FindExecutable(stored).empty()) return stored;
    return kDefaultLogViewer;
}

void TDataLogger::SetContext(const MeasurementContext& context) {
    context_ = context;
    if (log_) log_->SetContext(context);
}

bool TDataLogger::StartLogging() {
    if (log_) return !log_->Error();
    log_ = std::make_unique<TDataLog>(settings_, host_, context_);
    if (statusListener_) statusListener_();
    return !log_->Error();
}

void TDataLogger::StopLogging() {
    if (!log_) return;
    lastLogFile_ = log_->Settings().LogFileName;
    log_.reset();
    if (statusListener_) statusListener_();
}

bool TDataLogger::ViewLog() {
    StopLogging();
    const std::string program = ResolveLogViewer(settings_.LogViewerProgram);
    if (host_.StartProgram(program, settings_.LogFileName)) return true;
    ShowMessage(host_, FillName(kLogViewerFailedFormat, program), MessageIcon::Error);
    return false;
}

void TDataLogger::FinishDialog(const std::optional<LoggingSettings>& accepted, bool wasLogging) {
    if (!accepted) {
        if (wasLogging) StartLogging();
        return;
    }
    settings_ = *accepted;
    if (wasLogging || host_.AskYesNo(kLogEnableQuestion, kProgramTitle) == Answer::Yes) StartLogging();
}

DataLogDialogFields DataLogDialogFields::From(const LoggingSettings& s) {
    DataLogDialogFields f;
    f.intervalMode = s.IntervalFlag == 1;
    f.intervalSecs = Number(s.IntervalSecs);
    f.fullSpan = s.UseFullSpan == 1;
    f.startFreq = Number(s.StartFreq);
    f.stopFreq = Number(s.StopFreq);
    f.threshold = FormatText("%.1f", s.Threshold);
    f.dataType = std::clamp<int>(s.DataType, 0, kLogDataTypeCount - 1);
    f.logFileName = s.LogFileName;
    f.viewerProgram = s.LogViewerProgram;
    f.overwrite = s.OverwriteFlag == 1;
    return f;
}

void DataLogDialogFields::Defaults() {
    logFileName = "datalog.txt";
    viewerProgram = "notepad.exe";
    threshold = "-999.0";
    dataType = 0;
    intervalMode = true;
    fullSpan = true;
    overwrite = true;
}

DataLogDialogResult AcceptDataLogDialog(const DataLogDialogFields& f, double fmax, LoggingSettings& settings) {
    if (!(fmax > 0.0)) fmax = 10000.0;
    const double start = ParseDecimalDouble(f.startFreq);
    const double stop = ParseDecimalDouble(f.stopFreq);
    const double interval = ParseDecimalDouble(f.intervalSecs);
    if (!f.fullSpan) {
        if (start > stop) return {false, kLogStopBeforeStartText};
        if (!(start >= 0.0 && start <= fmax)) return {false, Range(kLogStartRangeFormat, 0.0, fmax)};
        if (!(stop > 0.0 && stop <= fmax)) return {false, Range(kLogStopRangeFormat, 0.0, fmax)};
    }
    if (f.intervalMode && !(interval >= 1.0 && interval <= kLogMaxIntervalSecs)) {
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, kLogIntervalRangeFormat, kLogMaxIntervalSecs);
        return {false, buffer};
    }
    settings.IntervalFlag = f.intervalMode ? 1 : 0;
    settings.IntervalSecs = static_cast<float>(interval);
    settings.UseFullSpan = f.fullSpan ? 1 : 0;
    settings.StartFreq = static_cast<float>(start);
    settings.StopFreq = static_cast<float>(stop);
    settings.Threshold = static_cast<float>(ParseDecimalDouble(f.threshold));
    settings.DataType = static_cast<int16_t>(std::clamp(f.dataType, 0, kLogDataTypeCount - 1));
    settings.LogFileName = Cut(f.logFileName);
    settings.LogViewerProgram = Cut(f.viewerProgram);
    settings.OverwriteFlag = f.overwrite ? 1 : 0;
    return {};
}

void LoggingOptions::ApplyTo(LoggingSettings& s) const {
    if (LogFileName) s.LogFileName = *LogFileName;
    if (DataType) s.DataType = *DataType;
    if (IntervalFlag) s.IntervalFlag = *IntervalFlag;
    if (IntervalSecs) s.IntervalSecs = *IntervalSecs;
    if (UseFullSpan) s.UseFullSpan = *UseFullSpan;
    if (StartFreq) s.StartFreq = *StartFreq;
    if (StopFreq) s.StopFreq = *StopFreq;
    if (Threshold) s.Threshold = *Threshold;
    if (OverwriteFlag) s.OverwriteFlag = *OverwriteFlag;
    if (OstrelFlag) s.OstrelFlag = *OstrelFlag;
}

bool ParseFiniteNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && std::isfinite(value);
}

bool ParseLogDataType(const std::string& text, int16_t& type) {
    static const char* const kTypeKeys[kLogDataTypeCount] = {"peakfreq", "peakamp", "peakfreqamp", "power",
                                                             "spectrum", "thd",     "thdn",        "imd",
                                                             "snr",      "sinad",   "nf",          "delay"};
    std::string lower;
    for (unsigned char c : text) lower += static_cast<char>(std::tolower(c));
    const auto* hit = std::find(std::begin(kTypeKeys), std::end(kTypeKeys), lower);
    double v = 0.0;
    if (hit != std::end(kTypeKeys))
        type = static_cast<int16_t>(hit - std::begin(kTypeKeys));
    else if (ParseFiniteNumber(text, v) && v >= 0 && v < kLogDataTypeCount && v == std::floor(v))
        type = static_cast<int16_t>(v);
    else
        return false;
    return true;
}

bool ParseLogInterval(const std::string& text, double& seconds) {
    return ParseFiniteNumber(text, seconds) && (seconds == 0.0 || (seconds >= 1.0 && seconds <= kLogMaxIntervalSecs));
}

bool ParseFrequencyBand(const std::string& text, double& low, double& high) {
    const size_t colon = text.find(':');
    return colon != std::string::npos && ParseFiniteNumber(text.substr(0, colon), low) &&
           ParseFiniteNumber(text.substr(colon + 1), high) && low >= 0.0 && high > low;
}

}  // namespace zeltrak
