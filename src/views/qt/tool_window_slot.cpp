#include "views/qt/tool_window_slot.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace zeltrak {

namespace {
constexpr const char* kStatusSection = "ViewStatus";
}

TToolWindowSlot::TToolWindowSlot(QMdiArea& area, const char* menuText, const char* statusKey, Factory make,
                                 bool palette)
    : area_(area), statusKey_(statusKey), make_(std::move(make)), palette_(palette) {
    toggle_ = new QAction(QObject::tr(menuText), &area);
    toggle_->setObjectName(QString(menuText).remove('&'));
    toggle_->setCheckable(true);
    QObject::connect(toggle_, &QAction::triggered, &area, [this](bool open) { open ? (void)Open() : Close(); });
}

TToolWindowSlot::~TToolWindowSlot() {
    tearingDown_ = true;
    if (sub_) delete sub_;
}

void TToolWindowSlot::UseSettings(TIniStore& ini) {
    ini_ = &ini;
    if (ini.GetInt(kStatusSection, statusKey_, 0) != 0) Open();
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
    if (palette_) sub_->setWindowFlags(sub_->windowFlags() | Qt::WindowStaysOnTopHint);
    sub_->setWindowTitle(window_->windowTitle());
    // The close box, Close and the main window's end all go through here.
    QObject::connect(window_, &QObject::destroyed, toggle_, [this] { Forget(); });
    sub_->show();
    toggle_->setChecked(true);
    ini_->SetInt(kStatusSection, statusKey_, 1);
    return window_;
}

void TToolWindowSlot::Close() {
    if (sub_) sub_->close();
    toggle_->setChecked(window_ != nullptr);
}

void TToolWindowSlot::Forget() {
    window_ = nullptr;
    sub_ = nullptr;
    toggle_->setChecked(false);
    if (!tearingDown_) ini_->SetInt(kStatusSection, statusKey_, 0);
}

void TToolWindowSlot::StoreOpenState() { ini_->SetInt(kStatusSection, statusKey_, window_ ? 1 : 0); }

}  // namespace zeltrak
