#include "files/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace zeltrak {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

bool Writes(int fd, const std::string& text) { return WriteAll(fd, text.data(), text.size()); }

TEST(ReplaceFileAtomically, OldContentSurvivesAFailedWriteAndNoSiblingIsLeft) {
    TempDir dir;
    const std::string path = dir.File("a.txt");
    WriteFile(path, "old");
    EXPECT_EQ(ReplaceFileAtomically(path, [](int fd) { return Writes(fd, "half") && false; }),
              ReplaceResult::WriteFailed);
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_EQ(ReplaceFileAtomically(path, [](int fd) { return Writes(fd, "new"); }), ReplaceResult::Done);
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(ReplaceFileAtomically(dir.File("no/dir/x"), [](int) { return true; }), ReplaceResult::CannotCreate);
}

TEST(ReplaceFileAtomically, LinksAreFollowedAndPermissionsKept) {
    TempDir dir;
    const std::string real = dir.File("real.ini");
    const std::string link = dir.File("link.ini");
    WriteFile(real, "1");
    chmod(real.c_str(), 0604);
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    ASSERT_EQ(ReplaceFileAtomically(link, [](int fd) { return Writes(fd, "2"); }), ReplaceResult::Done);
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(real), "2");
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
}

}  // namespace
}  // namespace zeltrak
