#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>

#include "files/ini_store.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;

namespace zeltrak {

// One tool window in the main window's client area with its Utilities menu check item; whether
// it was open is remembered in [ViewStatus] under `statusKey` and brings it back at the next start.
class TToolWindowSlot {
public:
    // Makes the window on the settings store; null when it refuses to open.
    using Factory = std::function<QWidget*(TIniStore&)>;
    // A palette stays above the analysis views, which are raised after it; a large window does not.
    TToolWindowSlot(QMdiArea& area, const char* menuText, const char* statusKey, Factory make, bool palette = true);
    // The program's end closes the window without it counting as closed for the next start.
    ~TToolWindowSlot();

    // Until a store is given the slot keeps its own. Reopens the window when it says so.
    void UseSettings(TIniStore& ini);
    TIniStore& Settings() const { return *ini_; }
    QWidget* Open();
    // Through the window's own close, which may offer to save and may be cancelled.
    void Close();
    QWidget* Window() const { return window_; }
    QAction* ToggleAction() const { return toggle_; }
    // Before the settings are saved at the program's end.
    void StoreOpenState();

private:
    void Forget();

    QMdiArea& area_;
    const char* statusKey_;
    Factory make_;
    bool palette_;
    TIniStore ownIni_;
    TIniStore* ini_ = &ownIni_;
    QPointer<QWidget> window_;
    QPointer<QMdiSubWindow> sub_;
    QAction* toggle_ = nullptr;
    bool tearingDown_ = false;
};

}  // namespace zeltrak
