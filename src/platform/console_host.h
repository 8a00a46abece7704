#pragma once
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/host.h"

namespace zeltrak {

// The headless host: messages go to a stream (stderr by default), questions are answered
// by a policy, the clipboard is kept in memory, programs are started with fork/exec.
class ConsoleHost : public Host {
public:
    enum class QuestionPolicy { Defaults, AlwaysYes, AlwaysNo };

    explicit ConsoleHost(std::FILE* out = stderr, QuestionPolicy policy = QuestionPolicy::Defaults);

    void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
    // With the Defaults policy a Yes/No question is answered Yes and a Yes/No/Cancel one Cancel,
    // the choices that neither discard data nor start anything the user did not ask for.
    Answer AskYesNo(const std::string& text, const std::string& caption) override;
    Answer AskYesNoCancel(const std::string& text, const std::string& caption) override;

    void SetStatusText(const std::string& text) override;
    void ShowProgress(bool visible) override;
    void SetProgress(int percent) override;
    void SetBusyCursor(bool) override {}
    bool PollCancelRequest() override;
    // Lets a signal handler or the input reader ask for cancellation.
    void RequestCancel() { cancelRequested_ = true; }

    bool SetClipboardText(const std::string& text) override;
    bool SetClipboardWave(const std::vector<uint8_t>& riffBytes) override;
    bool SetClipboardLink(const std::string& linkText) override;
    std::string ClipboardText() override { return clipboardText_; }

    bool StartProgram(const std::string& program, const std::string& argument) override;

    int64_t WallClockSeconds() override;
    uint32_t TickMilliseconds() override;
    void SleepMilliseconds(uint32_t ms) override;

    void SetQuestionPolicy(QuestionPolicy policy) { policy_ = policy; }
    // Messages shown with a warning or error icon: the failures of the run.
    int FailureCount() const { return failures_; }

private:
    Answer Answered(const char* kind, const std::string& text, Answer byDefault);

    std::FILE* out_;
    QuestionPolicy policy_;
    bool progressVisible_ = false;
    int lastProgress_ = -1;
    std::atomic<bool> cancelRequested_{false};
    int failures_ = 0;
    std::string clipboardText_;
    std::vector<uint8_t> clipboardWave_;
};

}  // namespace zeltrak
