#pragma once
#include <cstdint>
#include <string>

namespace zeltrak {

// Four-character chunk codes as they appear in the file (first character in the low byte).
constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}
inline constexpr uint32_t kFourCCRiff = MakeFourCC('R', 'I', 'F', 'F');
inline constexpr uint32_t kFourCCList = MakeFourCC('L', 'I', 'S', 'T');
inline constexpr uint32_t kFourCCWave = MakeFourCC('W', 'A', 'V', 'E');
inline constexpr uint32_t kFourCCFmt = MakeFourCC('f', 'm', 't', ' ');
inline constexpr uint32_t kFourCCData = MakeFourCC('d', 'a', 't', 'a');

// Little-endian helpers for fixed binary layouts.
inline void PutLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
inline uint16_t GetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t GetLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// One chunk as the reader found it or the writer created it.
struct RiffChunk {
    uint32_t id = 0;
    uint32_t size = 0;        // bytes of data, not counting the pad byte
    uint32_t formType = 0;    // RIFF and LIST chunks only
    uint64_t dataOffset = 0;  // file offset of the data (for RIFF/LIST: of the form type)
    bool created = false;     // made by CreateChunk: Ascend fixes the size field
    bool cutShort = false;    // the size field claimed more than the file holds; size is what is there

    uint64_t End() const { return dataOffset + size; }
    uint64_t PaddedEnd() const { return dataOffset + size + (size & 1u); }
};

// A RIFF file on a POSIX descriptor: chunk navigation (descend, ascend, create chunk) plus
// positioned I/O. Nothing here trusts a size field: every chunk found must lie inside its
// parent and the file.
class RiffFile {
public:
    enum class OpenMode { Read, ReadWrite, Create };  // Create truncates or makes the file
    enum DescendFlags : unsigned { kFindChunk = 1, kFindRiff = 2, kFindList = 4, kAllowCutShort = 8 };
    enum CreateFlags : unsigned { kCreateRiff = 2, kCreateList = 4 };
    enum class Status { Ok, NotFound, Malformed, IoError };

    RiffFile() = default;
    ~RiffFile();
    RiffFile(const RiffFile&) = delete;
    RiffFile& operator=(const RiffFile&) = delete;

    bool Open(const std::string& path, OpenMode mode);
    // Takes over a descriptor opened elsewhere (for example by mkstemp).
    void Adopt(int fd);
    // False when the final close reported an error (data may not have reached the disk).
    bool Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }

    // Sequential access at the current position.
    int64_t Read(void* buffer, uint64_t n);
    int64_t Write(const void* buffer, uint64_t n);
    // whence as lseek: SEEK_SET, SEEK_CUR, SEEK_END. Returns the new position or -1.
    int64_t Seek(int64_t offset, int whence);
    uint64_t Tell() const { return pos_; }

    // Positioned access; the current position is not moved. All-or-nothing results.
    bool ReadAt(uint64_t offset, void* buffer, uint64_t n) const;
    bool WriteAt(uint64_t offset, const void* buffer, uint64_t n);
    bool WriteLE32At(uint64_t offset, uint32_t value);
    bool Truncate(uint64_t size);
    uint64_t FileSize() const;

    // Finds a chunk from the current position. With a parent the search stays inside it
    // (the current position is first moved into the parent's data past its form type if it
    // lies before); without one it walks the top level of the file. kFindChunk matches the id,
    // kFindRiff/kFindList match a RIFF/LIST chunk of the given form type, no flag takes the
    // next chunk whatever it is. On success the position is at the chunk's data (past the
    // form type for RIFF/LIST). With kAllowCutShort a matching chunk that runs past the end of
    // the file (an interrupted download or recording) is found with the bytes that are there
    // and cutShort set; a chunk that only overruns its parent stays malformed.
    Status Descend(RiffChunk& chunk, const RiffChunk* parent, unsigned flags);
    // Leaves a chunk: a created chunk gets its size written (from the current position) and
    // its pad byte; the position moves past the padded end.
    bool Ascend(RiffChunk& chunk);
    // Writes a chunk header at the current position (size 0 until Ascend) and, for RIFF/LIST,
    // the form type; the position is then at the chunk's data.
    bool CreateChunk(RiffChunk& chunk, unsigned flags = 0);

    // The reason for the last Malformed status, for messages.
    const std::string& LastProblem() const { return problem_; }
    // Top-level walks and RIFF forms stop after this many chunks so that a file of
    // millions of tiny chunks cannot stall the reader.
    static constexpr int kMaxChunksPerLevel = 100000;

private:
    int fd_ = -1;
    uint64_t pos_ = 0;
    std::string problem_;
};

}  // namespace zeltrak
