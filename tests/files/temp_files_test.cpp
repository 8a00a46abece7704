// Temporary files of a run that was killed are removed at the next start; nobody else's are.
#include "files/temp_files.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace zeltrak {
namespace {

TEST(TempFiles, OnlyTheFilesOfEndedProcessesAreRemoved) {
    testing::TempDir dir;
    const pid_t child = ::fork();
    if (child == 0) std::_Exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);  // its id now belongs to no process
    const std::string dead = "wav" + std::to_string(child) + "_a1B2c3";
    const std::string mine = TempFilePattern(dir.path()).substr(dir.path().size() + 1, std::string::npos);
    const std::string kept[] = {"wav1_a1B2c3", "wavAbC123", "wav" + std::to_string(child) + "_toolong1",
                                "notes.txt", mine.substr(0, mine.size() - 6) + "q9Q9q9"};
    testing::WriteFile(dir.File(dead), "x");
    for (const std::string& name : kept) testing::WriteFile(dir.File(name), "x");
    EXPECT_EQ(RemoveStaleTempFiles(dir.path()), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File(dead)));
    for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(dir.File(name))) << name;
    EXPECT_EQ(RemoveStaleTempFiles(dir.File("missing")), 0);
}

}  // namespace
}  // namespace zeltrak
