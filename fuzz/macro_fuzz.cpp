// Reads arbitrary bytes as a macro file and runs it against a backend that answers from the
// input's own hash, on a manual clock moved far between steps so that waits end. Beyond "no
// crash": the current line stays within the script, the return stack within ten entries, and
// Stop always leaves the interpreter stopped. Output names are kept inside a scratch folder.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/support/scripted_host.h"
#include "automation/automation_backend.h"
#include "automation/macro_file.h"
#include "automation/macro_processor.h"
#include "base/strings.h"

#include "fuzz_check.h"

namespace {

using namespace zeltrak;

// Accepts and answers by a hash of the text, so both outcomes of each call are reached.
class HashBackend : public TAutomationBackend {
public:
    bool Execute(std::string_view command) override { return Hash(command) % 4 != 0; }
    std::optional<std::string> Request(std::string_view item) override {
        const std::size_t h = Hash(item);
        if (h % 3 == 0) return std::nullopt;
        return h % 3 == 1 ? std::string() : std::string(item);
    }

private:
    static std::size_t Hash(std::string_view s) { return std::hash<std::string_view>{}(s); }
};

void RemoveScratchFolder();

// Kept for the whole run and removed at its end (never destroyed before the exit handler).
const std::string& ScratchFolder() {
    static const std::string* folder = [] {
        char name[] = "/tmp/zeltrak-macro-fuzz-XXXXXX";
        const char* made = mkdtemp(name);
        // No chdir: libFuzzer still reads its seed folders by the names it was given. Bare
        // output names go into the macro folder, which is this one.
        if (!made) std::abort();
        auto* kept = new std::string(made);
        std::atexit(RemoveScratchFolder);
        return kept;
    }();
    return *folder;
}

void RemoveScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(ScratchFolder(), ec);
}

// A SetOutputFile line may name any path; the fuzzer must not write or delete outside its folder.
void KeepOutputInScratch(std::vector<std::string>& lines) {
    for (std::string& line : lines) {
        const std::string text = NormaliseMacroLine(line);
        if (text.size() >= 14 && EqualsIgnoreCase(std::string_view(text).substr(0, 14), "SetOutputFile "))
            for (char& c : line)
                if (c == '/') c = '_';
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setenv("TZ", "UTC", 1);
    std::vector<std::string> lines;
    if (SplitMacroText({reinterpret_cast<const char*>(data), size}, lines) != MacroTextFault::None) return 0;
    KeepOutputInScratch(lines);
    const int lineCount = static_cast<int>(lines.size());
    ScriptedHost host;
    host.SetWallClock(1704465000 + static_cast<int64_t>(size) * 7919);
    HashBackend backend;
    TMacroProcessor macro(backend, host);
    const std::string folder = ScratchFolder();
    if (!macro.Run(std::move(lines), {folder + "/out.txt", size % 2 == 0, folder})) return 0;
    for (int step = 0; step < 400 && macro.Running(); ++step) {
        macro.Step();
        Check(macro.CurrentLine() >= 0 && macro.CurrentLine() <= lineCount);
        Check(macro.ReturnDepth() >= 0 && macro.ReturnDepth() <= 10);
        host.Advance(step % 2 == 0 ? 61'000 : 3'600'000);
    }
    macro.Stop();
    Check(!macro.Running());
    macro.Step();
    Check(!macro.Running());
    std::error_code ec;  // every input starts from an empty folder, so the disk does not fill up
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) std::filesystem::remove_all(entry, ec);
    return 0;
}
