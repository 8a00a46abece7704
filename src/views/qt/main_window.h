#pragma once
#include <QMainWindow>
#include <memory>

#include "engine/engine_listener.h"

class QAction;
class QLabel;
class QMdiArea;
class QTimer;

namespace zeltrak {

class BufferDoneQueue;
class QtHost;
class TEngine;
class TEngineLoop;
class TSpectrumView;
struct ProcessingSettings;

// The main window: an MDI client area with the live spectrum, Run and Stop, and the status
// bar. The engine runs on this thread: a timer delivers the sound driver's notices from the
// queue and gives the engine its idle step, one frame per pass.
class TMainWin : public QMainWindow, public TEngineListener {
public:
    TMainWin(QtHost& host, TEngine& engine, BufferDoneQueue& queue, const ProcessingSettings& settings,
             double spectrumStart, double spectrumStop);
    ~TMainWin() override;

    TSpectrumView* SpectrumView() { return spectrum_; }
    QMdiArea* Client() { return mdi_; }
    bool RunAnalyser();
    void StopAnalyser();

    void OnFrame(const EngineFrame& frame) override;
    void OnStarted() override;
    void OnStopped() override;
    void OnCaption(const std::string& caption) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void IdleStep();
    void UpdateActions();

    QtHost& host_;
    TEngine& engine_;
    std::unique_ptr<TEngineLoop> loop_;
    QMdiArea* mdi_ = nullptr;
    TSpectrumView* spectrum_ = nullptr;
    QTimer* idle_ = nullptr;
    QAction* run_ = nullptr;
    QAction* stop_ = nullptr;
    QLabel* state_ = nullptr;
    QLabel* overload_ = nullptr;
    QLabel* frames_ = nullptr;
    bool inStep_ = false;
};

}  // namespace zeltrak
