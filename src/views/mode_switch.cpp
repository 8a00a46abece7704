#include "views/mode_switch.h"

#include "base/strings.h"
#include "engine/engine_strings.h"
#include "engine/processing_settings.h"
#include "engine/settings_names.h"
#include "platform/host.h"
#include "views/view_strings.h"

namespace zeltrak {

namespace {
bool KnownMode(uint32_t mode) { return mode == kModeRealTime || mode == kModePostProcessing || mode == kModeRecorder; }
}  // namespace

ModeSwitchResult SwitchMode(uint32_t current, uint32_t requested, Host& host, TModeSwitchTarget& target) {
    if (!KnownMode(requested)) return ModeSwitchResult::Refused;
    if (requested == current) return ModeSwitchResult::Unchanged;
    if (target.AnalyserRunning()) target.StopAnalyser();
    if (requested == kModeRecorder) target.StopLogging();
    if (current == kModeRealTime && target.HasRealTimeBuffer()) {
        if (host.AskYesNo(kViewRealTimeBufferQuestion, kProgramTitle) == Answer::Yes) {
            target.KeepRealTimeBuffer();
            target.SetCaption(FileCaption(""));
        } else {
            target.DiscardRealTimeBuffer();
        }
    }
    target.SetMode(requested);
    return ModeSwitchResult::Switched;
}

std::string ModeLabel(uint32_t mode) { return ModeToolbarLabel(mode); }

std::string FileCaption(const std::string& fileName) {
    // Built from the "%s [%s]" pattern so the two stay one text.
    std::string caption = kEngineCaptionFile;
    const std::string name = fileName.empty() ? std::string(kEngineUntitled) : fileName;
    caption.replace(caption.find("%s"), 2, kProgramTitle);
    caption.replace(caption.find("%s"), 2, name);
    return caption;
}

}  // namespace zeltrak
