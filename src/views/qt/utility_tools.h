#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "files/ini_store.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace zeltrak {

class Host;
class TEngine;
class TDelayFinderWindow;
class TDtmfDecoderWindow;
struct ProcessingSettings;

// Runs `step` with the analyser stopped, starting it again afterwards if it was running: how the
// settings dialogs change settings under a live run.
using PausedStep = std::function<void(const std::function<void()>& step)>;

// One tool window in the main window's client area with its Utilities menu check item; whether
// it was open is remembered in [ViewStatus] under `statusKey`.
class TToolWindowSlot {
public:
    // Makes the window on the settings store; null when it refuses to open.
    using Factory = std::function<QWidget*(TIniStore&)>;
    TToolWindowSlot(QMdiArea& area, const char* menuText, const char* statusKey, Factory make);
    ~TToolWindowSlot();

    // Reopens the window when the store says it was open.
    void UseSettings(TIniStore& ini);
    QWidget* Open();
    void Close();
    QWidget* Window() const { return window_; }
    QAction* ToggleAction() const { return toggle_; }

private:
    void Forget();

    QMdiArea& area_;
    const char* statusKey_;
    Factory make_;
    TIniStore ownIni_;
    TIniStore* ini_ = &ownIni_;
    QPointer<QWidget> window_;
    QPointer<QMdiSubWindow> sub_;
    QAction* toggle_ = nullptr;
    bool tearingDown_ = false;
};

// The Utilities menu's delay finder and DTMF decoder.
class TUtilityTools {
public:
    TUtilityTools(Host& host, TEngine& engine, ProcessingSettings& settings, QMdiArea& area, PausedStep paused);
    ~TUtilityTools();
    void AddToMenu(QMenu& utilities);
    // `configurationPath` is the settings file in use: one named for the decoder ("dtmf.cfg")
    // makes the decoder the program's face, without Options, its Close ending the program.
    void UseSettings(TIniStore& ini, const std::string& configurationPath = {});
    TToolWindowSlot& DelayFinder() { return *delay_; }
    TToolWindowSlot& DtmfDecoder() { return *dtmf_; }
    TDelayFinderWindow* DelayFinderWindow() const;
    TDtmfDecoderWindow* DtmfDecoderWindow() const;

private:
    std::unique_ptr<TToolWindowSlot> delay_;
    std::unique_ptr<TToolWindowSlot> dtmf_;
    bool dedicatedDtmf_ = false;
};

}  // namespace zeltrak
