#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dsp/channel_processing.h"
#include "dsp/spectral_data.h"
#include "measure/measurements.h"

namespace zeltrak {

class Host;
class TIniStore;

// What each log line holds (`DataType`), in the order of the dialog's list.
enum LogDataType : int16_t {
    kLogPeakFrequency = 0,
    kLogPeakAmplitude = 1,
    kLogPeakFrequencyAmplitude = 2,
    kLogPowerLevel = 3,
    kLogSpectrumValues = 4,
    kLogTHD = 5,
    kLogTHDN = 6,
    kLogIMD = 7,
    kLogSNR = 8,
    kLogSINAD = 9,
    kLogNoiseFigure = 10,
    kLogTimeDelay = 11,
};
inline constexpr int kLogDataTypeCount = 12;

// The list texts of the data types.
const char* LogDataTypeName(int dataType);

// The `Logging` section.
struct LoggingSettings {
    int32_t IntervalFlag = 1;
    float IntervalSecs = 1.0f;
    int32_t UseFullSpan = 1;
    float StartFreq = 0.0f;
    float StopFreq = 1000.0f;
    float Threshold = -999.0f;
    int16_t DataType = kLogPeakFrequency;
    std::string LogFileName = "datalog.txt";
    std::string LogViewerProgram = "notepad.exe";
    int32_t OverwriteFlag = 1;
    int32_t OstrelFlag = 0;

    void Load(const TIniStore& ini);
    void Store(TIniStore& ini) const;
};

// Two channels are logged in "Both Left and Right" and the two transfer-and-coherence modes.
bool LogsTwoChannels(ChannelProcessingMode channelMode);

// The header line of a data type (not Spectrum Values, whose header lists the bins).
std::string LogHeaderLine(int dataType, bool twoChannels);
// The standard 24-character calendar text of a time in seconds since the epoch, local time.
std::string CalendarText(int64_t epochSeconds);

// One open data log. A log that failed to open or to write keeps its error flag and writes
// nothing until logging is started again.
class TDataLog {
public:
    // Opens settings.LogFileName, replacing it (OverwriteFlag 1) or appending. A failure shows
    // "Failure opening log file: %s" and leaves the log in error.
    TDataLog(const LoggingSettings& settings, Host& host, const MeasurementContext& context = {});
    ~TDataLog();
    TDataLog(const TDataLog&) = delete;
    TDataLog& operator=(const TDataLog&) = delete;

    bool Error() const { return error_; }
    const LoggingSettings& Settings() const { return settings_; }
    void SetContext(const MeasurementContext& context) { context_ = context; }

    // After every new averaged spectrum. time: the time of day in Real-Time mode, the position
    // in the recording otherwise (seconds). delay: the delay finder's value, none while it is
    // closed. Returns true when a line was written.
    bool LogSpectrum(const TSpectralData* left, const TSpectralData* right, double time,
                     ChannelProcessingMode channelMode, std::optional<double> delay = std::nullopt);
    // The same from the engine's four spectrums: the spectrums measured for the mode (see
    // SpectrumsToMeasure); a mono input logs one channel whatever the mode.
    bool LogFrame(const ChannelSpectrums& spectrums, ChannelProcessingMode channelMode, bool stereo, double time,
                  std::optional<double> delay = std::nullopt);

    // The first and last bin (band on a fractional-octave axis) searched and listed.
    std::pair<uint32_t, uint32_t> Band(const TSpectralData& s) const;

private:
    bool WriteText(const std::string& text);
    std::string SpectrumValuesHeader(const TSpectralData& left, bool twoChannels) const;
    std::string SpectrumValuesColumns(const TSpectralData& s) const;

    // What one logged line is made of: the spectrums, their peaks within the band, the delay.
    struct LoggedFrame {
        const TSpectralData* left;
        const TSpectralData* right;  // as given: the noise figure reads it in any mode
        bool two;                    // the mode logs both channels
        PeakResult leftPeak;
        PeakResult rightPeak;
        std::optional<double> delay;
    };
    bool WriteHeaderOnce(const TSpectralData& left, bool two);
    // Whether the interval has passed since the last line (always, when every spectrum is logged).
    bool IntervalDue(double time);
    PeakResult BandPeak(const TSpectralData& s) const;
    // The columns after the time; none when the data type has nothing to log.
    std::optional<std::string> ValueColumns(const LoggedFrame& frame) const;
    std::string PeakColumns(const PeakResult& left, const PeakResult* right) const;
    std::string PowerColumns(const TSpectralData& left, const TSpectralData* right) const;
    std::string MeasurementColumns(const TSpectralData& left, const TSpectralData* right) const;

    LoggingSettings settings_;
    Host& host_;
    MeasurementContext context_;
    int fd_ = -1;
    bool error_ = false;
    bool headerPending_ = false;
    double last_ = 0.0;
};

// Starts, stops and shows the log for the application.
class TDataLogger {
public:
    explicit TDataLogger(Host& host) : host_(host) {}

    LoggingSettings& Settings() { return settings_; }
    const LoggingSettings& Settings() const { return settings_; }
    void SetContext(const MeasurementContext& context);
    // Called whenever logging is switched on or off (the automation server's status item).
    void SetStatusListener(std::function<void()> listener) { statusListener_ = std::move(listener); }

    // Creates the log from the current settings unless one exists. False when the file could
    // not be opened (the log then exists in error until logging is stopped).
    bool StartLogging();
    void StopLogging();
    // Stops logging and opens the log in the viewer program.
    bool ViewLog();

    bool IsLogging() const { return log_ != nullptr; }
    TDataLog* Log() { return log_.get(); }
    const std::string& LastLogFile() const { return lastLogFile_; }

    // The end of the logging dialog: the accepted settings (none when it was cancelled) and
    // whether logging was on before it. Asks whether to enable logging when it was off.
    void FinishDialog(const std::optional<LoggingSettings>& accepted, bool wasLogging);

private:
    Host& host_;
    LoggingSettings settings_;
    MeasurementContext context_;
    std::unique_ptr<TDataLog> log_;
    std::string lastLogFile_;
    std::function<void()> statusListener_;
};

// The program that shows a log: the stored viewer when it can be found, else the desktop's
// opener "xdg-open" (a stored "notepad.exe" does not exist here).
std::string ResolveLogViewer(const std::string& stored);

// The logging dialog's fields as the user left them.
struct DataLogDialogFields {
    bool intervalMode = true;
    std::string intervalSecs = "1";
    bool fullSpan = true;
    std::string startFreq = "0";
    std::string stopFreq = "1000";
    std::string threshold = "-999.0";
    int dataType = 0;
    std::string logFileName = "datalog.txt";
    std::string viewerProgram = "notepad.exe";
    bool overwrite = true;

    static DataLogDialogFields From(const LoggingSettings& s);
    // The dialog's Defaults command.
    void Defaults();
};

// The outcome of accepting the dialog: on failure the message to show (program title as
// caption); the dialog stays open and nothing changes.
struct DataLogDialogResult {
    bool ok = true;
    std::string message;
};

// Accepting the logging dialog: validates in order against the spectrum's highest frequency
// (10000 when there is none) and on success copies the fields into `settings`.
DataLogDialogResult AcceptDataLogDialog(const DataLogDialogFields& fields, double fmax, LoggingSettings& settings);

// The logging choices of a command line. Only what it names is set; the rest keeps the
// values of the settings it is applied to (the settings file's logging section).
struct LoggingOptions {
    std::optional<std::string> LogFileName;  // --log FILE: logging is on
    std::optional<int16_t> DataType;
    std::optional<int32_t> IntervalFlag;
    std::optional<float> IntervalSecs;
    std::optional<int32_t> UseFullSpan;
    std::optional<float> StartFreq;
    std::optional<float> StopFreq;
    std::optional<float> Threshold;
    std::optional<int32_t> OverwriteFlag;
    std::optional<int32_t> OstrelFlag;

    bool Enabled() const { return LogFileName.has_value(); }
    void ApplyTo(LoggingSettings& settings) const;
};

// The longest log file name the settings hold.
inline constexpr size_t kMaxLogFileName = 259;

// The values of the logging options (and of other LOW:HIGH bands); false when `text` is not one.
// A data type by key (peakfreq, peakamp, peakfreqamp, power, spectrum, thd, thdn, imd, snr,
// sinad, nf, delay; case does not matter) or number 0 ... 11.
bool ParseLogDataType(const std::string& text, int16_t& type);
// A whole string that is a finite number.
bool ParseFiniteNumber(const std::string& text, double& value);
// 0 (every spectrum) or 1 ... kLogMaxIntervalSecs seconds.
bool ParseLogInterval(const std::string& text, double& seconds);
// "LOW:HIGH" in Hz with 0 <= LOW < HIGH.
bool ParseFrequencyBand(const std::string& text, double& low, double& high);

}  // namespace zeltrak
