#pragma once
#include <sys/types.h>

#include <functional>
#include <string>

namespace zeltrak {

// The folder part of a path ("." when there is none).
std::string DirName(const std::string& path);

// Permissions a newly created file gets: rw for everyone, less the process umask.
mode_t NewFileMode();

// Writes all of `bytes` to a descriptor, retrying short writes; false on any error.
bool WriteAll(int fd, const void* bytes, size_t size);

// Replaces `target` with what `write` puts into a fresh descriptor. The new content goes to a
// hidden sibling that is synced and then renamed over the target, so the old file stays whole
// until the new one is complete; a crash or a full disk never leaves a half-written file.
// A symbolic link is followed (the file it names is replaced, the link stays); an existing
// file keeps its permissions. `write` must not close the descriptor; returning false abandons
// the attempt and removes the sibling.
enum class ReplaceResult { Done, CannotCreate, WriteFailed };
ReplaceResult ReplaceFileAtomically(const std::string& target, const std::function<bool(int fd)>& write);

}  // namespace zeltrak
