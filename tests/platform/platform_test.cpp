// The seams to the machine: settings and data folders, starting programs, the headless host.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/app_paths.h"
#include "platform/console_host.h"
#include "platform/host.h"
#include "platform/program_launcher.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

using testing::TempDir;

TEST(AppPaths, XdgFoldersWithTheirFallbacksAndAProgramFolderFileWins) {
    TempDir dir;
    AppEnvironment env{dir.path(), "/home/ann", "relative/cfg", ""};  // relative: invalid by the XDG rules
    EXPECT_EQ(SettingsFilePath(env), "/home/ann/.config/zeltrak/zeltrak.ini");
    EXPECT_EQ(DataDir(env), "/home/ann/.local/share/zeltrak");
    env.xdgConfigHome = "/cfg";
    env.xdgDataHome = "/data";
    EXPECT_EQ(ConfigDir(env), "/cfg/zeltrak");
    EXPECT_EQ(DataDir(env), "/data/zeltrak");
    testing::WriteFile(dir.File("zeltrak.ini"), "[Mode]\nOpMode=2\n");
    EXPECT_EQ(SettingsFilePath(env), dir.File("zeltrak.ini"));
    // Folders are made with their parents; a file in the way is a failure.
    EXPECT_TRUE(MakeDirectories(dir.File("a/b/c")) && std::filesystem::is_directory(dir.File("a/b/c")));
    EXPECT_FALSE(MakeDirectories(dir.File("zeltrak.ini/below")));
}

TEST(AppPaths, StoredWindowsFormsResolveBelowTheDataFolder) {
    const AppEnvironment env{"/opt/bin", "/home/ann", "", "/data"};
    const std::pair<const char*, const char*> cases[] = {
        {"..\\.\\wave", "/data/zeltrak/wave"}, {"macro\\sub\\..\\run", "/data/zeltrak/macro/run"},
        {"..\\..\\..\\etc", "/data/zeltrak/etc"},  // never above the data folder
        {"/srv/recordings/./a", "/srv/recordings/a"}, {"", "/data/zeltrak"}};
    for (const auto& [stored, resolved] : cases) EXPECT_EQ(ResolveDataPath(env, stored), resolved) << stored;
}

TEST(ProgramLauncher, StartsAProgramDetachedAndReportsMissingOnes) {
    TempDir dir;
    EXPECT_FALSE(FindExecutable("sh").empty());
    EXPECT_TRUE(FindExecutable("zeltrak-no-such-program").empty());
    EXPECT_FALSE(LaunchDetached("zeltrak-no-such-program", "x"));
    EXPECT_FALSE(LaunchDetached(dir.path(), ""));  // a folder is not a program

    const std::string marker = dir.File("started");
    ASSERT_TRUE(LaunchDetached("touch", marker));
    for (int i = 0; i < 200 && !std::filesystem::exists(marker); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(std::filesystem::exists(marker));
}

TEST(ConsoleHostAnswers, PolicyDecidesAndEverythingIsPrinted) {
    std::FILE* out = std::tmpfile();
    {
        ConsoleHost host(out);
        EXPECT_EQ(host.AskYesNo("Keep the data?", ""), Answer::Yes);
        EXPECT_EQ(host.AskYesNoCancel("Save changes?", ""), Answer::Cancel);
        host.SetQuestionPolicy(ConsoleHost::QuestionPolicy::AlwaysNo);
        EXPECT_EQ(host.AskYesNoCancel("Save changes?", ""), Answer::No);
        ShowStringMessage(host, 37);
        ShowStringMessage(host, 12345);
        EXPECT_FALSE(host.PollCancelRequest());
        host.RequestCancel();
        EXPECT_TRUE(host.PollCancelRequest());
        EXPECT_FALSE(host.PollCancelRequest());
    }
    std::string text(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    EXPECT_NE(text.find("Keep the data? -> Yes"), std::string::npos) << text;
    EXPECT_NE(text.find("StringTable entry 12345 not found"), std::string::npos) << text;
    EXPECT_NE(text.find("Save changes? -> No"), std::string::npos) << text;
    EXPECT_NE(text.find("VornalPRO - FFT Spectral Analysis System: warning: Cannot access the sound board"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace zeltrak
