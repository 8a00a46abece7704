// The RIFF layer against chunk trees assembled by hand.
#include "files/riff.h"

#include <gtest/gtest.h>

#include "files/wave_test_util.h"

namespace zeltrak {
namespace {

using namespace test;

RiffChunk Id(char a, char b, char c, char d, bool form = false) {
    RiffChunk k;
    (form ? k.formType : k.id) = MakeFourCC(a, b, c, d);
    return k;
}

TEST(RiffFile, CreatedChunksGetSizesAndPadBytesOnAscend) {
    TempDir dir;
    const std::string path = dir.File("nested.riff");
    {
        RiffFile f;
        ASSERT_TRUE(f.Open(path, RiffFile::OpenMode::Create));
        RiffChunk riff = Id('T', 'E', 'S', 'T', true), odd = Id('o', 'd', 'd', ' '), list = Id('I', 'N', 'F', 'O', true),
                  item = Id('I', 'C', 'M', 'T');
        ASSERT_TRUE(f.CreateChunk(riff, RiffFile::kCreateRiff) && f.CreateChunk(odd));
        ASSERT_EQ(f.Write("abc", 3), 3);
        ASSERT_TRUE(f.Ascend(odd) && f.CreateChunk(list, RiffFile::kCreateList) && f.CreateChunk(item));
        ASSERT_EQ(f.Write("hello", 5), 5);
        ASSERT_TRUE(f.Ascend(item) && f.Ascend(list) && f.Ascend(riff));
        EXPECT_TRUE(f.Close());
    }
    const auto list = Chunk("LIST", Cat({'I', 'N', 'F', 'O'}, Chunk("ICMT", {'h', 'e', 'l', 'l', 'o'})));
    EXPECT_EQ(ReadAll(path), Chunk("RIFF", Cat(Cat({'T', 'E', 'S', 'T'}, Chunk("odd ", {'a', 'b', 'c'})), list)));
}

TEST(RiffFile, DescendFindsChunksPastOddSizedOnesAndByFormType) {
    TempDir dir;
    const std::string path = dir.File("find.riff");
    const auto list1 = Chunk("LIST", Cat({'a', 'd', 't', 'l'}, Chunk("note", {'x'})));
    const auto junk = Chunk("junk", {1, 2, 3, 4, 5});
    const auto body = Cat(Cat(Cat(Cat({'W', 'A', 'V', 'E'}, list1), junk), Chunk("LIST", {'I', 'N', 'F', 'O'})),
                          Chunk("tgt ", {9, 8, 7}));
    WriteAll(path, Chunk("RIFF", body));
    RiffFile f;
    ASSERT_TRUE(f.Open(path, RiffFile::OpenMode::Read));
    RiffChunk riff = Id('W', 'A', 'V', 'E', true);
    ASSERT_EQ(f.Descend(riff, nullptr, RiffFile::kFindRiff), RiffFile::Status::Ok);
    EXPECT_EQ(riff.size, body.size());
    RiffChunk tgt = Id('t', 'g', 't', ' ');
    ASSERT_EQ(f.Descend(tgt, &riff, RiffFile::kFindChunk), RiffFile::Status::Ok);
    EXPECT_EQ(tgt.size, 3u);
    uint8_t bytes[3];
    ASSERT_EQ(f.Read(bytes, 3), 3);
    EXPECT_TRUE(bytes[0] == 9 && bytes[2] == 7);
    f.Seek(0, SEEK_SET);
    RiffChunk info = Id('I', 'N', 'F', 'O', true);
    ASSERT_EQ(f.Descend(info, &riff, RiffFile::kFindList), RiffFile::Status::Ok);
    EXPECT_EQ(info.dataOffset, 12u + list1.size() + junk.size() + 8);
    // Absent, and inside a LIST: neither is visible from the form.
    for (RiffChunk k : {Id('n', 'o', 'n', 'e'), Id('n', 'o', 't', 'e')}) {
        f.Seek(0, SEEK_SET);
        EXPECT_EQ(f.Descend(k, &riff, RiffFile::kFindChunk), RiffFile::Status::NotFound);
    }
}

TEST(RiffFile, BadInput) {
    TempDir dir;
    const std::string path = dir.File("nopad.riff");
    auto bytes = RiffWave({Chunk("data", {1, 2, 3})});
    bytes.pop_back();  // the pad byte that the RIFF size counts: tolerated
    WriteAll(path, bytes);
    RiffFile f;
    ASSERT_TRUE(f.Open(path, RiffFile::OpenMode::Read));
    RiffChunk riff = Id('W', 'A', 'V', 'E', true), data = Id('d', 'a', 't', 'a');
    ASSERT_EQ(f.Descend(riff, nullptr, RiffFile::kFindRiff), RiffFile::Status::Ok);
    ASSERT_EQ(f.Descend(data, &riff, RiffFile::kFindChunk), RiffFile::Status::Ok);
    EXPECT_EQ(data.size, 3u);
    RiffFile g;
    EXPECT_FALSE(g.Open(dir.Path(), RiffFile::OpenMode::Read));
    EXPECT_FALSE(g.Open(dir.File("absent.wav"), RiffFile::OpenMode::Read));
}

}  // namespace
}  // namespace zeltrak
