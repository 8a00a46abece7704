// What the zeltrak binary loads: batch commands start without the window system or the sound
// stack, which are modules opened only by the commands that use them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

using zeltrak::testing::RunCommand;
using zeltrak::testing::TempDir;

std::string InPrivateHome(const TempDir& home, const std::string& environment, const std::string& binary,
                          const std::string& args) {
    return "env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u ZELTRAK_LOOPBACK HOME=" + home.path() + " " + environment +
           " timeout 60 " + binary + " " + args;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The dynamic loader's trace names every library the process opens, at start and by dlopen.
TEST(Startup, EachCommandLoadsOnlyTheLibrariesItUses) {
    TempDir dir;
    const std::string wav = dir.File("t.wav");
    if (std::system(("sox -D -n -r 48000 -b 16 " + wav + " synth 1 sine 1000 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "sox is not installed";
    const struct {
        std::string args;
        bool sound;
    } cases[] = {{"--report", false}, {"analyze " + wav, false}, {wav, false}, {"--headless --frames 2", true}};
    for (const auto& c : cases) {
        // The loader writes to stderr; the program's own output is dropped.
        const auto [status, trace] = RunCommand(InPrivateHome(dir, "LD_DEBUG=files", ZELTRAK_BINARY, c.args) + " 2>&1 >/dev/null");
        EXPECT_EQ(status, 0) << c.args << "\n" << trace;
        EXPECT_TRUE(Contains(trace, "file=libstdc++")) << c.args << ": no loader trace\n" << trace;
        EXPECT_FALSE(Contains(trace, "file=libQt6")) << c.args;
        EXPECT_EQ(Contains(trace, "file=libportaudio"), c.sound) << c.args;
        for (const char* sound : {"file=libasound", "file=libjack", "file=libpulse"})
            if (!c.sound) EXPECT_FALSE(Contains(trace, sound)) << c.args << " " << sound;
    }
}

// A copy of the program without its modules still runs what needs neither, and refuses the
// rest with the module's name and a non-zero status.
TEST(Startup, MissingModulesStopOnlyTheCommandsThatNeedThem) {
    TempDir dir;
    const std::string binary = dir.File("zeltrak");
    std::filesystem::copy_file(ZELTRAK_BINARY, binary);
    const struct {
        std::string environment, args;
        int status;
        std::string message;
    } cases[] = {
        {"", "--report", 0, "Settings file:"},
        {"", "--headless --frames 2", 1, "zeltrak-portaudio.so not found"},
        {"QT_QPA_PLATFORM=offscreen", "--frames 2", 1, "zeltrak-desktop.so not found"},
    };
    for (const auto& c : cases) {
        const auto [status, out] = RunCommand(InPrivateHome(dir, c.environment, binary, c.args) + " 2>&1");
        EXPECT_EQ(status, c.status) << c.args << "\n" << out;
        EXPECT_TRUE(Contains(out, c.message)) << c.args << "\n" << out;
    }
}

}  // namespace
