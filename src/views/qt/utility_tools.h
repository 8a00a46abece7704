#pragma once
#include <functional>
#include <memory>
#include <string>

#include "files/ini_store.h"
#include "views/qt/tool_window_slot.h"

class QMdiArea;
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
