#pragma once
#include <cstddef>
#include <string>

namespace zeltrak {

// Paths that come from outside (command line, settings, dialogs) may name a FIFO, a device or
// a folder. Opening them must neither block (a FIFO with no writer) nor read for ever
// (/dev/zero): only regular files are accepted, and text readers take at most a given size.
enum class InputFileStatus { Ok, Missing, NotRegular, Unreadable, TooLarge };

// Opens `path` for reading without blocking; -1 unless it is a readable regular file. The
// descriptor is blocking again when returned (close-on-exec); the caller closes it.
int OpenRegularFile(const std::string& path, InputFileStatus* status = nullptr);
// Whether `path` is a regular file that can be opened for reading.
bool IsReadableRegularFile(const std::string& path);
// Reads a whole regular file of at most maxBytes bytes.
InputFileStatus ReadRegularFile(const std::string& path, size_t maxBytes, std::string& content);

}  // namespace zeltrak
