#include "measure/analysis_failures.h"

#include "base/strings.h"
#include "measure/measure_strings.h"
#include "platform/host.h"

namespace zeltrak {

void ShowWindowFailure(Host& host, WindowStatus status) {
    switch (status) {
        case WindowStatus::InvalidType:
            host.MessageBox(kInvalidWindowTypeText, kAnalysisErrorCaption, MessageIcon::Error);
            break;
        case WindowStatus::OutOfMemory:
            host.MessageBox(LoadString(kStrInsufficientMemory), kAnalysisErrorCaption, MessageIcon::Error);
            break;
        case WindowStatus::Ok: break;
    }
}

void ShowSpectralFailure(Host& host, SpectralStatus status) {
    switch (status) {
        case SpectralStatus::OutOfMemory: ShowStringMessage(host, kStrInsufficientMemory, MessageIcon::Error); break;
        case SpectralStatus::LinearHistoryOutOfMemory:
            host.MessageBox(kLinearAverageMemoryText, kAnalysisErrorCaption, MessageIcon::Error);
            break;
        case SpectralStatus::Ok:
        case SpectralStatus::InvalidSize: break;
    }
}

}  // namespace zeltrak
