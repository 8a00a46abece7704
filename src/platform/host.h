#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zeltrak {

enum class MessageIcon { None, Information, Warning, Error, Question };

enum class Answer { Yes, No, Cancel };

// Everything the core needs from its surroundings besides sound and files: talking to the
// user, the clipboard, starting programs and clocks. The GUI, the headless shell and the
// tests each provide one.
class Host {
public:
    virtual ~Host() = default;

    // A modal message. An empty caption is shown as it is (some device messages use none).
    virtual void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
    virtual Answer AskYesNo(const std::string& text, const std::string& caption) = 0;
    virtual Answer AskYesNoCancel(const std::string& text, const std::string& caption) = 0;

    virtual void SetStatusText(const std::string& text) = 0;
    // Progress of a long job, 0 ... 100; ShowProgress(false) removes the bar.
    virtual void ShowProgress(bool visible) = 0;
    virtual void SetProgress(int percent) = 0;
    virtual void SetBusyCursor(bool busy) = 0;
    // True once the user has pressed <Esc> or clicked since the last call.
    virtual bool PollCancelRequest() = 0;

    virtual bool SetClipboardText(const std::string& text) = 0;
    virtual bool SetClipboardWave(const std::vector<uint8_t>& riffBytes) = 0;
    // A link to one of our data items, for programs that paste links.
    virtual bool SetClipboardLink(const std::string& linkText) = 0;
    virtual std::string ClipboardText() = 0;

    // Starts another program with one argument; false when it could not be started.
    virtual bool StartProgram(const std::string& program, const std::string& argument) = 0;

    virtual int64_t WallClockSeconds() = 0;
    virtual uint32_t TickMilliseconds() = 0;
    virtual void SleepMilliseconds(uint32_t ms) = 0;
};

// Shows the busy cursor for the life of a scope.
class BusyCursor {
public:
    explicit BusyCursor(Host& host) : host_(host) { host_.SetBusyCursor(true); }
    ~BusyCursor() { host_.SetBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Host& host_;
};

// Shows message number `id` from the string table with the program title as caption.
void ShowStringMessage(Host& host, int id, MessageIcon icon = MessageIcon::Warning);
// Shows `text` with the program title as caption.
void ShowMessage(Host& host, const std::string& text, MessageIcon icon = MessageIcon::Warning);

}  // namespace zeltrak
