#pragma once
#include <QElapsedTimer>
#include <QPointer>

#include "platform/host.h"

class QMainWindow;
class QProgressBar;

namespace zeltrak {

// The Host seam on Qt: message boxes, the main window's status bar and progress bar, the
// busy cursor, the clipboard and starting programs. Lives on the GUI thread.
class QtHost : public Host {
public:
    QtHost();
    // The window whose status bar shows texts and progress; null: none (texts are dropped).
    void SetMainWindow(QMainWindow* window);
    // Tests answer questions without a modal box: every question gets this answer.
    void SetScriptedAnswer(bool on, Answer answer = Answer::Yes);
    // Tests and offscreen runs record messages instead of showing a modal box.
    void SetQuiet(bool quiet) { quiet_ = quiet; }
    const std::vector<std::string>& Messages() const { return messages_; }

    void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
    Answer AskYesNo(const std::string& text, const std::string& caption) override;
    Answer AskYesNoCancel(const std::string& text, const std::string& caption) override;
    void SetStatusText(const std::string& text) override;
    void ShowProgress(bool visible) override;
    void SetProgress(int percent) override;
    void SetBusyCursor(bool busy) override;
    bool PollCancelRequest() override;
    bool SetClipboardText(const std::string& text) override;
    bool SetClipboardWave(const std::vector<uint8_t>& riffBytes) override;
    bool SetClipboardLink(const std::string& linkText) override;
    std::string ClipboardText() override;
    bool StartProgram(const std::string& program, const std::string& argument) override;
    int64_t WallClockSeconds() override;
    uint32_t TickMilliseconds() override;
    void SleepMilliseconds(uint32_t ms) override;

private:
    Answer Ask(const std::string& text, const std::string& caption, bool withCancel);

    QPointer<QMainWindow> window_;
    QProgressBar* progress_ = nullptr;
    QElapsedTimer ticks_;
    bool scripted_ = false;
    Answer scriptedAnswer_ = Answer::Yes;
    bool quiet_ = false;
    bool busy_ = false;
    std::vector<std::string> messages_;
};

}  // namespace zeltrak
