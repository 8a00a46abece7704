#include "engine/analysis_reports.h"

#include "engine/engine.h"
#include "engine/measurement_listeners.h"

namespace zeltrak {

TAnalysisReports::TAnalysisReports(Host& host, ReportOptions options, const MeasurementContext& context,
                                   uint32_t weighting)
    : options_(std::move(options)), logger_(host) {
    readouts_.SetContext(context);
    readouts_.SetWeighting(weighting);
    logger_.Settings() = options_.logSettings;
    logger_.SetContext(context);
}

TAnalysisReports::~TAnalysisReports() { Detach(); }

bool TAnalysisReports::Attach(TEngine& engine) {
    Detach();
    engine_ = &engine;
    if (MeasuresAnything()) {
        readoutListener_ = std::make_unique<TReadoutListener>(engine, readouts_);
        engine.AddListener(readoutListener_.get(), ListenerRole::Readout);
    }
    if (options_.Logs() && !logger_.StartLogging()) return false;
    // Heard also while logging is off: a command may switch it on during the run.
    loggerListener_ = std::make_unique<TLoggerListener>(engine, logger_);
    engine.AddListener(loggerListener_.get(), ListenerRole::Logger);
    return true;
}

void TAnalysisReports::Detach() {
    if (engine_) {
        if (readoutListener_) engine_->RemoveListener(readoutListener_.get());
        if (loggerListener_) engine_->RemoveListener(loggerListener_.get());
    }
    readoutListener_.reset();
    loggerListener_.reset();
    if (logger_.IsLogging()) logger_.StopLogging();
    engine_ = nullptr;
}

void TAnalysisReports::PrintMeasurements(std::FILE* out) const {
    for (MeasurementCode code : options_.measure)
        std::fprintf(out, "%s\n", FormatMeasurementLine(code, readouts_.Get(code)).c_str());
}

}  // namespace zeltrak
