#include "platform/console_host.h"

#include <unistd.h>

#include "platform/program_launcher.h"
#include "platform/system_clock.h"

namespace zeltrak {

namespace {
const char* IconWord(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information: return "info";
        case MessageIcon::Warning: return "warning";
        case MessageIcon::Error: return "error";
        case MessageIcon::Question: return "question";
        case MessageIcon::None: break;
    }
    return "message";
}

const char* AnswerWord(Answer a) {
    switch (a) {
        case Answer::Yes: return "Yes";
        case Answer::No: return "No";
        case Answer::Cancel: break;
    }
    return "Cancel";
}
}  // namespace

ConsoleHost::ConsoleHost(std::FILE* out, QuestionPolicy policy) : out_(out), policy_(policy) {}

void ConsoleHost::MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
    if (icon == MessageIcon::Warning || icon == MessageIcon::Error) ++failures_;
    if (progressVisible_) std::fputc('\n', out_);
    std::fprintf(out_, "%s: %s: %s\n", caption.empty() ? "zeltrak" : caption.c_str(), IconWord(icon), text.c_str());
    std::fflush(out_);
}

Answer ConsoleHost::Answered(const char* kind, const std::string& text, Answer byDefault) {
    Answer a = byDefault;
    if (policy_ == QuestionPolicy::AlwaysYes) a = Answer::Yes;
    if (policy_ == QuestionPolicy::AlwaysNo) a = Answer::No;
    std::fprintf(out_, "%s (%s): %s -> %s\n", kind, "question", text.c_str(), AnswerWord(a));
    std::fflush(out_);
    return a;
}

Answer ConsoleHost::AskYesNo(const std::string& text, const std::string&) {
    return Answered("Yes/No", text, Answer::Yes);
}

Answer ConsoleHost::AskYesNoCancel(const std::string& text, const std::string&) {
    return Answered("Yes/No/Cancel", text, Answer::Cancel);
}

void ConsoleHost::SetStatusText(const std::string& text) {
    if (text.empty()) return;
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void ConsoleHost::ShowProgress(bool visible) {
    if (progressVisible_ && !visible && lastProgress_ >= 0) std::fputc('\n', out_);
    progressVisible_ = visible;
    lastProgress_ = -1;
}

void ConsoleHost::SetProgress(int percent) {
    // A bar redrawn in place only helps someone watching; in a log it is a line per percent.
    if (!progressVisible_ || percent == lastProgress_ || !::isatty(::fileno(out_))) return;
    lastProgress_ = percent;
    std::fprintf(out_, "\r%3d%%", percent);
    std::fflush(out_);
}

bool ConsoleHost::PollCancelRequest() { return cancelRequested_.exchange(false); }

bool ConsoleHost::SetClipboardText(const std::string& text) {
    clipboardText_ = text;
    return true;
}

bool ConsoleHost::SetClipboardWave(const std::vector<uint8_t>& riffBytes) {
    clipboardWave_ = riffBytes;
    return true;
}

bool ConsoleHost::SetClipboardLink(const std::string& linkText) {
    clipboardText_ = linkText;
    return true;
}

bool ConsoleHost::StartProgram(const std::string& program, const std::string& argument) {
    return LaunchDetached(program, argument);
}

int64_t ConsoleHost::WallClockSeconds() { return SystemWallClockSeconds(); }
uint32_t ConsoleHost::TickMilliseconds() { return SystemTickMilliseconds(); }
void ConsoleHost::SleepMilliseconds(uint32_t ms) { SystemSleepMilliseconds(ms); }

}  // namespace zeltrak
