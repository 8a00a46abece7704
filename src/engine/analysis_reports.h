#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "measure/data_log.h"
#include "measure/measurements.h"

namespace zeltrak {

class Host;
class TEngine;
class TReadoutListener;
class TLoggerListener;

// What the command line asks to be reported besides the spectrum: measurements, a data log.
struct ReportOptions {
    std::vector<MeasurementCode> measure;
    MeasurementContext band;  // only its measured band is taken from the command line
    LoggingOptions logging;   // what the command line says about the log
    LoggingSettings logSettings;  // the settings file's logging section with `logging` applied

    bool Logs() const { return logging.Enabled(); }
};

// The measurement readouts and the data log of a headless run or an analysed file.
class TAnalysisReports {
public:
    TAnalysisReports(Host& host, ReportOptions options, const MeasurementContext& context, uint32_t weighting);
    ~TAnalysisReports();

    // Hooks the readouts and the log onto the engine and starts logging; false when the log
    // could not be opened (the host has said why).
    bool Attach(TEngine& engine);
    // Stops logging and unhooks everything; called by the destructor too.
    void Detach();
    bool MeasuresAnything() const { return !options_.measure.empty(); }
    // Measuring and logging follow the frames one by one, in order.
    bool FollowsFrames() const { return MeasuresAnything() || options_.Logs(); }
    // The data log, which automation commands also switch on and off.
    TDataLogger& Logger() { return logger_; }
    // One line per asked measurement: name, tab, left[, tab, right], tab, unit.
    void PrintMeasurements(std::FILE* out) const;

private:
    ReportOptions options_;
    TMeasurementReadouts readouts_;
    TDataLogger logger_;
    TEngine* engine_ = nullptr;
    std::unique_ptr<TReadoutListener> readoutListener_;
    std::unique_ptr<TLoggerListener> loggerListener_;
};

}  // namespace zeltrak
