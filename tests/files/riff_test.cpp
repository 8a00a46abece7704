#include "files/riff.h"

#include <gtest/gtest.h>

#include "files/wave_test_util.h"

namespace zeltrak {
namespace {

using test::Chunk;
using test::ReadAll;
using test::TempDir;
using test::WriteAll;

TEST(RiffFile, CreatedChunksGetSizesAndPadBytesOnAscend) {
    TempDir dir;
    const std::string path = dir.File("nested.riff");
    {
        RiffFile f;
        ASSERT_TRUE(f.Open(path, RiffFile::OpenMode::Create));
        RiffChunk riff;
        riff.formType = MakeFourCC('T', 'E', 'S', 'T');
        ASSERT_TRUE(f.CreateChunk(riff, RiffFile::kCreateRiff));
        RiffChunk odd;
        odd.id = MakeFourCC('o', 'd', 'd', ' ');
        ASSERT_TRUE(f.CreateChunk(odd));
        ASSERT_EQ(f.Write("abc", 3), 3);
        ASSERT_TRUE(f.Ascend(odd));
        RiffChunk list;
        list.formType = MakeFourCC('I', 'N', 'F', 'O');
        ASSERT_TRUE(f.CreateChunk(list, RiffFile::kCreateList));
        RiffChunk item;
        item.id = MakeFourCC('I', 'C', 'M', 'T');
        ASSERT_TRUE(f.CreateChunk(item));
        ASSERT_EQ(f.Write("hello", 5), 5);
        ASSERT_TRUE(f.Ascend(item));
        ASSERT_TRUE(f.Ascend(list));
        ASSERT_TRUE(f.Ascend(riff));
        EXPECT_TRUE(f.Close());
    }
    // The same file assembled by hand.
    std::vector<uint8_t> icmt = Chunk("ICMT", {'h', 'e', 'l', 'l', 'o'});
    std::vector<uint8_t> listBody = {'I', 'N', 'F', 'O'};
    listBody.insert(listBody.end(), icmt.begin(), icmt.end());
    std::vector<uint8_t> body = {'T', 'E', 'S', 'T'};
    auto oddChunk = Chunk("odd ", {'a', 'b', 'c'});
    auto listChunk = Chunk("LIST", listBody);
    body.insert(body.end(), oddChunk.begin(), oddChunk.end());
    body.insert(body.end(), listChunk.begin(), listChunk.end());
    EXPECT_EQ(ReadAll(path), Chunk("RIFF", body));
}

TEST(RiffFile, DescendFindsChunksPastOddSizedOnesAndByFormType) {
    TempDir dir;
    const std::string path = dir.File("find.riff");
    std::vector<uint8_t> listBody = {'a', 'd', 't', 'l'};
    auto note = Chunk("note", {'x'});
    listBody.insert(listBody.end(), note.begin(), note.end());
    auto list1 = Chunk("LIST", listBody);
    std::vector<uint8_t> info = {'I', 'N', 'F', 'O'};
    auto list2 = Chunk("LIST", info);
    auto junk = Chunk("junk", {1, 2, 3, 4, 5});
    auto target = Chunk("tgt ", {9, 8, 7});
    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    for (auto* c : {&list1, &junk, &list2, &target}) body.insert(body.end(), c->begin(), c->end());
    WriteAll(path, Chunk("RIFF", body));

    RiffFile f;
    ASSERT_TRUE(f.Open(path, RiffFile::OpenMode::Read));
    RiffChunk riff;
    riff.formType = kFourCCWave;
    ASSERT_EQ(f.Descend(riff, nullptr, RiffFile::kFindRiff), RiffFile::Status::Ok);
    EXPECT_EQ(riff.size, body.size());

    RiffChunk tgt;
    tgt.id = MakeFourCC('t', 'g', 't', ' ');
    ASSERT_EQ(f.Descend(tgt, &riff, RiffFile::kFindChunk), RiffFile::Status::Ok);
    EXPECT_EQ(tgt.size, 3u);
    uint8_t bytes[3];
    ASSERT_EQ(f.Read(bytes, 3), 3);
    EXPECT_EQ(bytes[0], 9);
    EXPECT_EQ(bytes[2], 7);

    f.Seek(0, SEEK_SET);
    RiffChunk info2;
    info2.formType = MakeFourCC('I', 'N', 'F', 'O');
    ASSERT_EQ(f.Descend(info2, &riff, RiffFile::kFindList), RiffFile::Status::Ok);
    EXPECT_EQ(info2.dataOffset, 12u + list1.size() + junk.size() + 8);

    f.Seek(0, SEEK_SET);
    RiffChunk missing;
    missing.id = MakeFourCC('n', 'o', 'n', 'e');
    EXPECT_EQ(f.Descend(missing, &riff, RiffFile::kFindChunk), RiffFile::Status::NotFound);
    // Chunks inside a LIST are not visible from its parent.
    f.Seek(0, SEEK_SET);
    RiffChunk nested;
    nested.id = MakeFourCC('n', 'o', 't', 'e');
    EXPECT_EQ(f.Descend(nested, &riff, RiffFile::kFindChunk), RiffFile::Status::NotFound);
}

TEST(RiffFile, MissingFinalPadByteOfTheFormIsTolerated) {
    TempDir dir;
    const std::string path = dir.File("nopad.riff");
    auto bytes = test::RiffWave({Chunk("data", {1, 2, 3})});
    bytes.pop_back();  // the pad byte that the RIFF size counts
    WriteAll(path, bytes);
    RiffFile f;
    ASSERT_TRUE(f.Open(path, RiffFile::OpenMode::Read));
    RiffChunk riff;
    riff.formType = kFourCCWave;
    ASSERT_EQ(f.Descend(riff, nullptr, RiffFile::kFindRiff), RiffFile::Status::Ok);
    RiffChunk data;
    data.id = kFourCCData;
    ASSERT_EQ(f.Descend(data, &riff, RiffFile::kFindChunk), RiffFile::Status::Ok);
    EXPECT_EQ(data.size, 3u);
}

TEST(RiffFile, OpenRefusesDirectoriesAndMissingFiles) {
    TempDir dir;
    RiffFile f;
    EXPECT_FALSE(f.Open(dir.Path(), RiffFile::OpenMode::Read));
    EXPECT_FALSE(f.Open(dir.File("absent.wav"), RiffFile::OpenMode::Read));
}

}  // namespace
}  // namespace zeltrak
