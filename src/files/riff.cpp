#include "files/riff.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/input_file.h"

namespace zeltrak {

namespace {

std::string FourCCText(uint32_t id) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((id >> (8 * i)) & 0xFF);
        s += (c >= 32 && c < 127) ? c : '?';
    }
    return s;
}

}  // namespace

RiffFile::~RiffFile() { Close(); }

bool RiffFile::Open(const std::string& path, OpenMode mode) {
    Close();
    if (mode == OpenMode::Read) {
        fd_ = OpenRegularFile(path);
    } else {
        // Not blocking in open() keeps a FIFO from stalling us before fstat can refuse it.
        int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_RDWR;
        if (mode == OpenMode::Create) flags |= O_CREAT | O_TRUNC;
        do {
            fd_ = ::open(path.c_str(), flags, 0666);
        } while (fd_ < 0 && errno == EINTR);
        struct stat st {};
        if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
            // Directories, pipes and devices are not wave files.
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ >= 0) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    }
    pos_ = 0;
    return fd_ >= 0;
}

void RiffFile::Adopt(int fd) {
    Close();
    fd_ = fd;
    pos_ = 0;
}

bool RiffFile::Close() {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);
    fd_ = -1;
    pos_ = 0;
    return rc == 0 || errno == EINTR;
}

bool RiffFile::ReadAt(uint64_t offset, void* buffer, uint64_t n) const {
    auto* p = static_cast<uint8_t*>(buffer);
    while (n > 0) {
        size_t step = static_cast<size_t>(std::min<uint64_t>(n, 1u << 30));
        ssize_t got = ::pread(fd_, p, step, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        offset += static_cast<uint64_t>(got);
        n -= static_cast<uint64_t>(got);
    }
    return true;
}

bool RiffFile::WriteAt(uint64_t offset, const void* buffer, uint64_t n) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (n > 0) {
        size_t step = static_cast<size_t>(std::min<uint64_t>(n, 1u << 30));
        ssize_t put = ::pwrite(fd_, p, step, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put;
        offset += static_cast<uint64_t>(put);
        n -= static_cast<uint64_t>(put);
    }
    return true;
}

bool RiffFile::WriteLE32At(uint64_t offset, uint32_t value) {
    uint8_t b[4];
    PutLE32(b, value);
    return WriteAt(offset, b, 4);
}

bool RiffFile::Truncate(uint64_t size) {
    int rc;
    do {
        rc = ::ftruncate(fd_, static_cast<off_t>(size));
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

uint64_t RiffFile::FileSize() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

int64_t RiffFile::Read(void* buffer, uint64_t n) {
    auto* p = static_cast<uint8_t*>(buffer);
    uint64_t done = 0;
    while (done < n) {
        size_t step = static_cast<size_t>(std::min<uint64_t>(n - done, 1u << 30));
        ssize_t got = ::pread(fd_, p + done, step, static_cast<off_t>(pos_));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<uint64_t>(got);
        pos_ += static_cast<uint64_t>(got);
    }
    return static_cast<int64_t>(done);
}

int64_t RiffFile::Write(const void* buffer, uint64_t n) {
    if (!WriteAt(pos_, buffer, n)) return -1;
    pos_ += n;
    return static_cast<int64_t>(n);
}

int64_t RiffFile::Seek(int64_t offset, int whence) {
    int64_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<int64_t>(pos_);
    else if (whence == SEEK_END) base = static_cast<int64_t>(FileSize());
    else if (whence != SEEK_SET) return -1;
    int64_t target = base + offset;
    if (target < 0) return -1;
    pos_ = static_cast<uint64_t>(target);
    return target;
}

RiffFile::Status RiffFile::Descend(RiffChunk& chunk, const RiffChunk* parent, unsigned flags) {
    problem_.clear();
    const uint64_t fileSize = FileSize();
    uint64_t start = 0;
    uint64_t bound = fileSize;
    if (parent) {
        const bool container = parent->id == kFourCCRiff || parent->id == kFourCCList;
        start = parent->dataOffset + (container ? 4 : 0);
        bound = std::min(parent->End(), fileSize);
        if (pos_ < start) pos_ = start;
    }
    for (int count = 0; count < kMaxChunksPerLevel; ++count) {
        if (pos_ + 8 > bound) return Status::NotFound;
        uint8_t header[8];
        if (!ReadAt(pos_, header, 8)) return Status::IoError;
        RiffChunk found;
        found.id = GetLE32(header);
        found.size = GetLE32(header + 4);
        found.dataOffset = pos_ + 8;
        const bool container = found.id == kFourCCRiff || found.id == kFourCCList;
        if (container && found.size >= 4 && found.dataOffset + 4 <= bound) {
            uint8_t form[4];
            if (!ReadAt(found.dataOffset, form, 4)) return Status::IoError;
            found.formType = GetLE32(form);
        }
        bool match;
        if (flags & kFindRiff) match = found.id == kFourCCRiff && found.formType == chunk.formType;
        else if (flags & kFindList) match = found.id == kFourCCList && found.formType == chunk.formType;
        else if (flags & kFindChunk) match = found.id == chunk.id;
        else match = true;
        // A container may claim the pad byte of its last chunk that the writer never wrote.
        const uint64_t slack = container ? 1 : 0;
        // A file cut short (an interrupted download or recording) ends inside the chunk it was
        // writing: the caller may take what is there.
        const bool cutShort = found.End() > bound + slack && match && (flags & kAllowCutShort) &&
                              found.End() > fileSize && found.dataOffset + (container ? 4 : 0) <= bound;
        if (cutShort) {
            found.size = static_cast<uint32_t>(bound - found.dataOffset);
            found.cutShort = true;
        } else if (found.End() > bound + slack) {
            // At the top level, something that is not what we look for and does not fit is
            // simply not a RIFF file of that kind.
            if (!parent && !match) return Status::NotFound;
            char text[160];
            std::snprintf(text, sizeof text, "the \"%s\" chunk claims %u bytes but only %llu remain.",
                          FourCCText(found.id).c_str(), found.size,
                          static_cast<unsigned long long>(bound > found.dataOffset ? bound - found.dataOffset : 0));
            problem_ = text;
            return Status::Malformed;
        }
        if (container && found.size < 4) {
            problem_ = "a \"" + FourCCText(found.id) + "\" chunk is too short to hold its form type.";
            return Status::Malformed;
        }
        if (match) {
            chunk = found;
            pos_ = found.dataOffset + (container ? 4 : 0);
            return Status::Ok;
        }
        pos_ = found.PaddedEnd();
    }
    problem_ = "the file holds too many chunks.";
    return Status::Malformed;
}

bool RiffFile::Ascend(RiffChunk& chunk) {
    if (chunk.created) {
        if (pos_ < chunk.dataOffset || pos_ - chunk.dataOffset > 0xFFFFFFFFull) return false;
        chunk.size = static_cast<uint32_t>(pos_ - chunk.dataOffset);
        if (!WriteLE32At(chunk.dataOffset - 4, chunk.size)) return false;
        if (chunk.size & 1u) {
            const uint8_t pad = 0;
            if (!WriteAt(chunk.End(), &pad, 1)) return false;
        }
        chunk.created = false;
    }
    pos_ = chunk.PaddedEnd();
    return true;
}

bool RiffFile::CreateChunk(RiffChunk& chunk, unsigned flags) {
    if (flags & kCreateRiff) chunk.id = kFourCCRiff;
    if (flags & kCreateList) chunk.id = kFourCCList;
    const bool container = (flags & (kCreateRiff | kCreateList)) != 0;
    uint8_t header[12];
    PutLE32(header, chunk.id);
    PutLE32(header + 4, container ? 4 : 0);
    PutLE32(header + 8, chunk.formType);
    if (!WriteAt(pos_, header, container ? 12 : 8)) return false;
    chunk.dataOffset = pos_ + 8;
    chunk.size = container ? 4 : 0;
    chunk.created = true;
    pos_ += container ? 12 : 8;
    return true;
}

}  // namespace zeltrak
