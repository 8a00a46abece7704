#include "views/qt/utility_tools.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>

#include "engine/engine.h"
#include "platform/host.h"
#include "utilities/delay_strings.h"
#include "views/qt/delay_finder_window.h"
#include "views/qt/dtmf_decoder_window.h"
#include "views/qt/utility_windows_text.h"

namespace zeltrak {

TUtilityTools::TUtilityTools(Host& host, TEngine& engine, ProcessingSettings& settings, QMdiArea& area,
                             PausedStep paused) {
    delay_ = std::make_unique<TToolWindowSlot>(
        area, utility_text::kDelayMenu, utility_text::kDelayStatusKey,
        [&host, &engine, &settings, paused](TIniStore& ini) -> QWidget* {
            if (engine.Settings().Settings().format.channels < 2) {
                ShowMessage(host, kDelayNeedsStereo, MessageIcon::Information);
                return nullptr;
            }
            return new TDelayFinderWindow(host, engine, settings, ini, paused);
        });
    dtmf_ = std::make_unique<TToolWindowSlot>(
        area, utility_text::kDtmfMenu, utility_text::kDtmfStatusKey,
        [this, &host, &engine, &area](TIniStore& ini) -> QWidget* {
            auto* window = new TDtmfDecoderWindow(host, engine, ini);
            if (dedicatedDtmf_) window->HandCloseTo(area.window());
            return window;
        });
}

TUtilityTools::~TUtilityTools() = default;

void TUtilityTools::AddToMenu(QMenu& utilities) {
    utilities.addAction(delay_->ToggleAction());
    utilities.addAction(dtmf_->ToggleAction());
}

void TUtilityTools::UseSettings(TIniStore& ini, const std::string& configurationPath) {
    dedicatedDtmf_ = configurationPath.find(utility_text::kDtmfConfiguration) != std::string::npos;
    delay_->UseSettings(ini);
    dtmf_->UseSettings(ini);
}

TDelayFinderWindow* TUtilityTools::DelayFinderWindow() const {
    return static_cast<TDelayFinderWindow*>(delay_->Window());
}

TDtmfDecoderWindow* TUtilityTools::DtmfDecoderWindow() const {
    return static_cast<TDtmfDecoderWindow*>(dtmf_->Window());
}

}  // namespace zeltrak
