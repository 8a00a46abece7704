// A recording process killed without warning must leave a valid wave file holding every
// buffer that was appended before the kill.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "files/wave_file.h"
#include "files/wave_test_util.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

using namespace test;

constexpr uint32_t kFramesPerBuffer = 4410;
constexpr uint32_t kBytesPerBuffer = kFramesPerBuffer * 4;  // 16-bit stereo

std::vector<uint8_t> Buffer(uint32_t k) { return PatternBytes(kBytesPerBuffer, 1000 + k); }

[[noreturn]] void RecordUntilKilled(const std::string& dir, int out) {
    ScriptedHost host;
    TWaveFile w(host, SampleFormat::Make(44100, 2, 2), false, dir);
    if (w.Error()) _exit(2);
    const std::string name = w.WorkingName() + "\n";
    if (write(out, name.data(), name.size()) != static_cast<ssize_t>(name.size())) _exit(3);
    for (uint32_t k = 0; k < 3000; ++k) {
        auto b = Buffer(k);
        if (!w.WriteBytes(b.data(), kBytesPerBuffer)) _exit(4);
        const char done = 'b';
        if (write(out, &done, 1) != 1) _exit(5);
    }
    for (;;) pause();
}

TEST(WaveCrash, KilledRecordingLeavesAValidFileOfWholeBuffers) {
    TempDir dir;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        RecordUntilKilled(dir.Path(), fds[1]);
    }
    close(fds[1]);
    std::string name;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') name += c;
    // Kill while the child is writing flat out, after at least 25 buffers were reported done.
    uint32_t reported = 0;
    while (reported < 25 && read(fds[0], &c, 1) == 1) ++reported;
    kill(child, SIGKILL);
    EXPECT_EQ(reported, 25u);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    while (read(fds[0], &c, 1) == 1) ++reported;  // what was done before the kill landed
    close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended by itself with " << WEXITSTATUS(status);
    ASSERT_FALSE(name.empty());

    for (uint16_t mode : {TWaveFile::kMemoryMode, TWaveFile::kDiskMode}) {
        ScriptedHost host;
        TWaveFile w(host, name, mode, true, dir.Path());
        ASSERT_FALSE(w.Error()) << (host.messages.empty() ? "" : host.messages[0].text);
        EXPECT_EQ(w.Length() % kFramesPerBuffer, 0u);
        const uint32_t buffers = w.Length() / kFramesPerBuffer;
        EXPECT_GE(buffers, reported);
        EXPECT_LE(buffers, reported + 1);  // at most the one in flight when the kill came
        std::vector<uint8_t> got(kBytesPerBuffer);
        for (uint32_t k = 0; k < buffers; ++k) {
            ASSERT_EQ(w.ReadBytes(got.data(), kBytesPerBuffer), kBytesPerBuffer);
            ASSERT_EQ(got, Buffer(k)) << "buffer " << k;
        }
        if (mode == TWaveFile::kMemoryMode && HaveProgram("soxi")) {
            EXPECT_EQ(RunOutput("soxi -s '" + name + "'"), std::to_string(w.Length()) + "\n");
        }
    }
    ::unlink(name.c_str());
}

}  // namespace
}  // namespace zeltrak
