#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "platform/app_paths.h"
#include "platform/console_host.h"
#include "platform/host.h"
#include "platform/program_launcher.h"
#include "platform/scripted_host.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

using testing::TempDir;

TEST(AppPaths, XdgFoldersWithTheirFallbacks) {
    AppEnvironment env{"/opt/zeltrak/bin", "/home/ann", "", ""};
    EXPECT_EQ(ConfigDir(env), "/home/ann/.config/zeltrak");
    EXPECT_EQ(DataDir(env), "/home/ann/.local/share/zeltrak");
    env.xdgConfigHome = "/cfg";
    env.xdgDataHome = "/data";
    EXPECT_EQ(ConfigDir(env), "/cfg/zeltrak");
    EXPECT_EQ(DataDir(env), "/data/zeltrak");
    env.xdgConfigHome = "relative/cfg";  // invalid by the XDG rules, so ignored
    EXPECT_EQ(ConfigDir(env), "/home/ann/.config/zeltrak");
    EXPECT_EQ(SettingsFilePath(env), "/home/ann/.config/zeltrak/zeltrak.ini");
}

TEST(AppPaths, ASettingsFileBesideTheProgramWins) {
    TempDir dir;
    AppEnvironment env{dir.path(), "/home/ann", "", ""};
    EXPECT_EQ(SettingsFilePath(env), "/home/ann/.config/zeltrak/zeltrak.ini");
    testing::WriteFile(dir.File("zeltrak.ini"), "[Mode]\nOpMode=2\n");
    EXPECT_EQ(SettingsFilePath(env), dir.File("zeltrak.ini"));
}

TEST(AppPaths, StoredWindowsFormsResolveBelowTheDataFolder) {
    const AppEnvironment env{"/opt/bin", "/home/ann", "", "/data"};
    EXPECT_EQ(ResolveDataPath(env, "..\\.\\wave"), "/data/zeltrak/wave");
    EXPECT_EQ(ResolveDataPath(env, "..\\.\\config"), "/data/zeltrak/config");
    EXPECT_EQ(ResolveDataPath(env, "macro\\sub\\..\\run"), "/data/zeltrak/macro/run");
    EXPECT_EQ(ResolveDataPath(env, "..\\..\\..\\etc"), "/data/zeltrak/etc");  // never above the data folder
    EXPECT_EQ(ResolveDataPath(env, "/srv/recordings/./a"), "/srv/recordings/a");
    EXPECT_EQ(ResolveDataPath(env, ""), "/data/zeltrak");
}

TEST(AppPaths, MakeDirectoriesCreatesParents) {
    TempDir dir;
    EXPECT_TRUE(MakeDirectories(dir.File("a/b/c")));
    struct stat st {};
    EXPECT_EQ(stat(dir.File("a/b/c").c_str(), &st), 0);
    testing::WriteFile(dir.File("plain"), "x");
    EXPECT_FALSE(MakeDirectories(dir.File("plain/below")));
}

TEST(ProgramLauncher, StartsAProgramDetachedAndReportsMissingOnes) {
    TempDir dir;
    EXPECT_FALSE(FindExecutable("sh").empty());
    EXPECT_TRUE(FindExecutable("zeltrak-no-such-program").empty());
    EXPECT_FALSE(LaunchDetached("zeltrak-no-such-program", "x"));
    EXPECT_FALSE(LaunchDetached(dir.path(), ""));  // a folder is not a program

    const std::string marker = dir.File("started");
    ASSERT_TRUE(LaunchDetached("touch", marker));
    struct stat st {};
    bool appeared = false;
    for (int i = 0; i < 200 && !appeared; ++i) {
        appeared = stat(marker.c_str(), &st) == 0;
        if (!appeared) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(appeared);
}

TEST(HostMessages, NumberedMessagesCarryTheProgramTitle) {
    ScriptedHost host;
    ShowStringMessage(host, 30);
    ShowStringMessage(host, 12345, MessageIcon::Error);
    ShowMessage(host, "plain text");
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[0].text, "Failure accessing sound device.");
    EXPECT_EQ(host.messages[0].caption, "VornalPRO - FFT Spectral Analysis System");
    EXPECT_EQ(host.messages[1].text, "StringTable entry 12345 not found");
    EXPECT_EQ(host.messages[1].icon, MessageIcon::Error);
    EXPECT_EQ(host.messages[2].caption, "VornalPRO - FFT Spectral Analysis System");
}

TEST(HostQuestions, ScriptedAnswersThenFallback) {
    ScriptedHost host;
    host.ScriptAnswers({Answer::Yes, Answer::Cancel});
    EXPECT_EQ(host.AskYesNo("q1", "c"), Answer::Yes);
    EXPECT_EQ(host.AskYesNoCancel("q2", "c"), Answer::Cancel);
    EXPECT_EQ(host.AskYesNo("q3", "c"), Answer::No);
    EXPECT_EQ(host.unscriptedQuestions, 1);
    host.SleepMilliseconds(1500);
    EXPECT_EQ(host.TickMilliseconds(), 1500u);
}

TEST(ConsoleHostAnswers, PolicyDecidesAndEverythingIsPrinted) {
    TempDir dir;
    const std::string path = dir.File("out.txt");
    std::FILE* out = std::fopen(path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    {
        ConsoleHost host(out);
        EXPECT_EQ(host.AskYesNo("Keep the data?", ""), Answer::Yes);
        EXPECT_EQ(host.AskYesNoCancel("Save changes?", ""), Answer::Cancel);
        host.SetQuestionPolicy(ConsoleHost::QuestionPolicy::AlwaysNo);
        EXPECT_EQ(host.AskYesNoCancel("Save changes?", ""), Answer::No);
        ShowStringMessage(host, 37);
        EXPECT_FALSE(host.PollCancelRequest());
        host.RequestCancel();
        EXPECT_TRUE(host.PollCancelRequest());
        EXPECT_FALSE(host.PollCancelRequest());
    }
    std::fclose(out);
    const std::string text = testing::ReadFile(path);
    EXPECT_NE(text.find("Keep the data? -> Yes"), std::string::npos) << text;
    EXPECT_NE(text.find("Save changes? -> No"), std::string::npos) << text;
    EXPECT_NE(text.find("VornalPRO - FFT Spectral Analysis System: warning: Cannot access the sound board"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace zeltrak
