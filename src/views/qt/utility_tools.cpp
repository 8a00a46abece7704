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

TToolWindowSlot::TToolWindowSlot(QMdiArea& area, const char* menuText, const char* statusKey, Factory make)
    : area_(area), statusKey_(statusKey), make_(std::move(make)) {
    toggle_ = new QAction(QObject::tr(menuText), &area);
    toggle_->setCheckable(true);
    QObject::connect(toggle_, &QAction::triggered, &area, [this](bool open) { open ? (void)Open() : Close(); });
}

// The program's end closes the window without it counting as closed for the next start.
TToolWindowSlot::~TToolWindowSlot() {
    tearingDown_ = true;
    Close();
}

void TToolWindowSlot::UseSettings(TIniStore& ini) {
    ini_ = &ini;
    if (ini.GetInt(utility_text::kStatusSection, statusKey_, 0) != 0) Open();
}

QWidget* TToolWindowSlot::Open() {
    if (window_) return window_;
    window_ = make_(*ini_);
    if (!window_) {
        // A refusal must not come back at every start.
        Forget();
        return nullptr;
    }
    sub_ = area_.addSubWindow(window_);
    sub_->setAttribute(Qt::WA_DeleteOnClose);
    // A small tool palette: the analysis views, raised after it, must not bury it.
    sub_->setWindowFlags(sub_->windowFlags() | Qt::WindowStaysOnTopHint);
    sub_->setWindowTitle(window_->windowTitle());
    // The close box, Close and the main window's end all go through here.
    QObject::connect(window_, &QObject::destroyed, toggle_, [this] { Forget(); });
    sub_->show();
    toggle_->setChecked(true);
    ini_->SetInt(utility_text::kStatusSection, statusKey_, 1);
    return window_;
}

void TToolWindowSlot::Close() {
    if (sub_) delete sub_;
    Forget();
}

void TToolWindowSlot::Forget() {
    window_ = nullptr;
    sub_ = nullptr;
    toggle_->setChecked(false);
    if (!tearingDown_) ini_->SetInt(utility_text::kStatusSection, statusKey_, 0);
}

// ---------------------------------------------------------------------------------------------

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
