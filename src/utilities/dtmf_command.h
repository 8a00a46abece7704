#pragma once
#include <cstdio>
#include <string>

namespace zeltrak {

class Host;

// `zeltrak dtmf FILE.wav`: decodes the whole file as one segment and prints one line per key
// (channel, key, start in seconds, duration in ms), then the key string(s) as the segment
// analysis reports them. Returns the exit status: 0 done, 1 the file could not be read or
// analysed, 3 cancelled; `error` holds a one-line reason.
int RunDtmfCommand(const std::string& wavPath, std::FILE* out, Host& host, std::string& error);

}  // namespace zeltrak
