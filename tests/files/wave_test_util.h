#pragma once
// Helpers shared by the wave-file tests: a private temporary directory, raw file access and
// a wave builder that assembles bytes by hand, independently of the code under test.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zeltrak::test {

class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/wavtestXXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data())) path_ = name.data();
    }
    ~TempDir() {
        for (const auto& f : Files()) ::unlink((path_ + "/" + f).c_str());
        ::rmdir(path_.c_str());
    }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> Files() const {
        std::vector<std::string> out;
        if (DIR* d = ::opendir(path_.c_str())) {
            while (dirent* e = ::readdir(d)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") out.push_back(n);
            }
            ::closedir(d);
        }
        return out;
    }

private:
    std::string path_;
};

inline std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}
inline void PutId(std::vector<uint8_t>& v, const char* id) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(id[i]));
}
inline uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
    return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | static_cast<uint32_t>(v[at + 3]) << 24;
}
inline uint16_t Get16(const std::vector<uint8_t>& v, size_t at) { return static_cast<uint16_t>(v[at] | v[at + 1] << 8); }

// One chunk: id, size field (as given, may lie) and body (padded when odd).
inline std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body, int64_t sizeField = -1) {
    std::vector<uint8_t> v;
    PutId(v, id);
    Put32(v, sizeField < 0 ? static_cast<uint32_t>(body.size()) : static_cast<uint32_t>(sizeField));
    v.insert(v.end(), body.begin(), body.end());
    if (body.size() & 1) v.push_back(0);
    return v;
}

inline std::vector<uint8_t> FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign, uint16_t bits) {
    std::vector<uint8_t> v;
    Put16(v, tag);
    Put16(v, channels);
    Put32(v, rate);
    Put32(v, rate * blockAlign);
    Put16(v, blockAlign);
    Put16(v, bits);
    return v;
}

// WAVE_FORMAT_EXTENSIBLE with the standard sub-format GUID of `subFormat` (1 PCM, 3 float).
inline std::vector<uint8_t> ExtensibleFmtBody(uint16_t channels, uint32_t rate, uint16_t blockAlign, uint16_t bits,
                                              uint16_t validBits, uint16_t subFormat) {
    std::vector<uint8_t> v = FmtBody(0xFFFE, channels, rate, blockAlign, bits);
    Put16(v, 22);
    Put16(v, validBits);
    Put32(v, 0);  // channel mask
    Put16(v, subFormat);
    v.insert(v.end(), {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
    return v;
}

// RIFF/WAVE around the given chunks; the RIFF size is correct unless given.
inline std::vector<uint8_t> RiffWave(const std::vector<std::vector<uint8_t>>& chunks, int64_t sizeField = -1) {
    std::vector<uint8_t> body;
    PutId(body, "WAVE");
    for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
    return Chunk("RIFF", body, sizeField);
}

inline std::vector<uint8_t> SimpleWave(uint16_t channels, uint16_t bytesPerSample, uint32_t rate,
                                       const std::vector<uint8_t>& samples, uint16_t tag = 1) {
    const uint16_t ba = static_cast<uint16_t>(channels * bytesPerSample);
    return RiffWave({Chunk("fmt ", FmtBody(tag, channels, rate, ba, static_cast<uint16_t>(8 * bytesPerSample))),
                     Chunk("data", samples)});
}

// Deterministic test samples: a pseudo-random byte pattern.
inline std::vector<uint8_t> PatternBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x >> 7);
    }
    return v;
}

// Runs `body` in a child process (for resource limits that must not touch the test runner,
// or for something that might block: the alarm ends it) and returns its exit code; the body
// returns 0 on success or the number of a failed check. A signal gives 100 + its number.
template <class F>
int InChild(F body, unsigned alarmSeconds = 0) {
    pid_t pid = fork();
    if (pid == 0) {
        if (alarmSeconds) alarm(alarmSeconds);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

inline bool HaveProgram(const char* name) {
    std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

inline int RunQuiet(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

inline std::string RunOutput(const std::string& cmd) {
    std::string out;
    if (FILE* p = ::popen((cmd + " 2>&1").c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

inline std::vector<std::string> FilesWithPrefix(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> out;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n.rfind(prefix, 0) == 0) out.push_back(n);
        }
        ::closedir(d);
    }
    return out;
}

}  // namespace zeltrak::test
