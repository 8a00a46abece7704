#pragma once
#include <deque>
#include <string>
#include <vector>

#include "platform/host.h"

namespace zeltrak {

// A host for tests: remembers everything the core said, answers questions from a script,
// and runs on a manual clock that only Sleep and Advance move.
class ScriptedHost : public Host {
public:
    struct Message {
        std::string text;
        std::string caption;
        MessageIcon icon;
    };
    struct Question {
        std::string text;
        std::string caption;
        bool withCancel;
        Answer answer;
    };
    struct Launch {
        std::string program;
        std::string argument;
    };

    // Answers are taken in order; once the script is empty every question gets `fallback`
    // and is counted in unscriptedQuestions.
    void ScriptAnswers(std::initializer_list<Answer> answers) { script_.insert(script_.end(), answers); }
    void SetFallbackAnswer(Answer a) { fallback_ = a; }
    void ScriptCancelRequests(int count) { pendingCancels_ += count; }
    void SetStartProgramResult(bool ok) { startProgramResult_ = ok; }
    void Advance(uint32_t ms) { tickMs_ += ms; }
    void SetWallClock(int64_t seconds) { wallSeconds_ = seconds; }

    void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override {
        messages.push_back({text, caption, icon});
    }
    Answer AskYesNo(const std::string& text, const std::string& caption) override {
        return Ask(text, caption, false);
    }
    Answer AskYesNoCancel(const std::string& text, const std::string& caption) override {
        return Ask(text, caption, true);
    }
    void SetStatusText(const std::string& text) override { statusTexts.push_back(text); }
    void ShowProgress(bool visible) override { progressVisible = visible; }
    void SetProgress(int percent) override { progressValues.push_back(percent); }
    void SetBusyCursor(bool busy) override { busyCursor = busy; }
    bool PollCancelRequest() override {
        if (pendingCancels_ == 0) return false;
        --pendingCancels_;
        return true;
    }
    bool SetClipboardText(const std::string& text) override {
        clipboardText = text;
        return true;
    }
    bool SetClipboardWave(const std::vector<uint8_t>& riffBytes) override {
        clipboardWave = riffBytes;
        return true;
    }
    bool SetClipboardLink(const std::string& linkText) override {
        clipboardLink = linkText;
        return true;
    }
    std::string ClipboardText() override { return clipboardText; }
    bool StartProgram(const std::string& program, const std::string& argument) override {
        launches.push_back({program, argument});
        return startProgramResult_;
    }
    int64_t WallClockSeconds() override { return wallSeconds_ + tickMs_ / 1000; }
    uint32_t TickMilliseconds() override { return tickMs_; }
    void SleepMilliseconds(uint32_t ms) override { tickMs_ += ms; }

    std::vector<Message> messages;
    std::vector<Question> questions;
    std::vector<std::string> statusTexts;
    std::vector<int> progressValues;
    std::vector<Launch> launches;
    std::string clipboardText;
    std::string clipboardLink;
    std::vector<uint8_t> clipboardWave;
    bool progressVisible = false;
    bool busyCursor = false;
    int unscriptedQuestions = 0;

private:
    Answer Ask(const std::string& text, const std::string& caption, bool withCancel) {
        Answer a = fallback_;
        if (!script_.empty()) {
            a = script_.front();
            script_.pop_front();
        } else {
            ++unscriptedQuestions;
        }
        questions.push_back({text, caption, withCancel, a});
        return a;
    }

    std::deque<Answer> script_;
    Answer fallback_ = Answer::No;
    int pendingCancels_ = 0;
    bool startProgramResult_ = true;
    uint32_t tickMs_ = 0;
    int64_t wallSeconds_ = 0;
};

}  // namespace zeltrak
