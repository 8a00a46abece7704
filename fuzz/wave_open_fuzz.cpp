// Opens arbitrary bytes as a wave file in both storage modes. Beyond "no crash", it checks
// two properties: a file that opens saves and reopens with the same samples, and a file
// that disk mode extends stays a valid wave file holding the old samples plus the new ones.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/wave_file.h"

#include "fuzz_check.h"

namespace {

using namespace zeltrak;

std::string MakeTemp() {
    std::string pattern = TWaveFile::SystemTempDir() + "/wavfuzzXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) abort();
    close(fd);
    return name.data();
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0) abort();
    for (size_t done = 0; done < size;) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) abort();
        done += static_cast<size_t>(n);
    }
    close(fd);
}

std::vector<uint8_t> Samples(TWaveData& w) {
    std::vector<uint8_t> out(w.DataSize());
    w.Rewind();
    w.ReadBytes(out.data(), static_cast<uint32_t>(out.size()));
    w.Rewind();
    return out;
}


const std::string& Input() {
    static const std::string path = MakeTemp();
    return path;
}
const std::string& Output() {
    static const std::string path = MakeTemp();
    return path;
}
const std::string& WorkDir() {
    static const std::string dir = [] {
        std::string pattern = TWaveFile::SystemTempDir() + "/wavfuzzdirXXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (!mkdtemp(name.data())) abort();
        return std::string(name.data());
    }();
    return dir;
}

// Removes the scratch files when the fuzzer ends normally.
struct Cleanup {
    ~Cleanup() {
        unlink(Input().c_str());
        unlink(Output().c_str());
        rmdir(WorkDir().c_str());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The paths exist before the cleanup object, so they outlive it at exit.
    Input(), Output(), WorkDir();
    static Cleanup cleanup;
    WriteFile(Input(), data, size);

    std::vector<uint8_t> loaded;
    bool hadCalibration = false;
    {
        TWaveFile w(Input(), TWaveFile::kMemoryMode, false, WorkDir());
        if (w.Error()) {
            Check(w.TakeMessages().size() == 1 && w.Buffer() == nullptr);
        } else {
            loaded = Samples(w);
            hadCalibration = w.CalibrationPresent();
            WaveStatistics s;
            w.Statistics(0, w.Length(), 1, true, s);
            w.FindTrigger(WaveTrigger{1, 1, 10}, 0, w.Length(), 0);
            std::vector<uint8_t> channel(static_cast<size_t>(w.Length()) * w.Format().bytesPerSample);
            Check(w.ReadChannel(channel.data(), 0, w.Length(), 1));
            w.SetName(Output());
            Check(w.Save());
            TWaveFile back(Output(), TWaveFile::kMemoryMode, false, WorkDir());
            Check(!back.Error() && back.Format() == w.Format() && Samples(back) == loaded &&
                  back.CalibrationPresent() == hadCalibration);
        }
    }

    {
        // Opening in place and reading must not change a single byte.
        { TWaveFile look(Input(), TWaveFile::kDiskMode, false, WorkDir()); if (!look.Error()) Samples(look); }
        std::vector<uint8_t> now(size + 1);
        int fd = open(Input().c_str(), O_RDONLY);
        ssize_t n = read(fd, now.data(), now.size());
        close(fd);
        Check(n == static_cast<ssize_t>(size) && std::equal(data, data + size, now.begin()));
    }
    uint32_t length = 0;
    bool opened = false;
    std::vector<uint8_t> extra(12, 0x5A);
    {
        TWaveFile w(Input(), TWaveFile::kDiskMode, false, WorkDir());
        if (!w.Error()) {
            opened = true;
            length = w.Length();
            const auto disk = Samples(w);
            if (w.StorageMode() == TWaveFile::kDiskMode) {
                // Both modes must agree on what the file holds.
                Check(loaded.empty() || disk == loaded);
                w.SeekToEnd();
                extra.resize(w.Format().BlockAlign() * 3, 0x5A);
                Check(w.WriteBytes(extra.data(), static_cast<uint32_t>(extra.size())));
            } else {
                opened = false;  // float data was converted into memory; nothing was written
            }
        }
    }
    if (opened) {
        TWaveFile again(Input(), TWaveFile::kDiskMode, false, WorkDir());
        Check(!again.Error() && again.Length() == length + 3);
        const auto all = Samples(again);
        Check(std::equal(extra.begin(), extra.end(), all.end() - static_cast<long>(extra.size())));
        if (!loaded.empty()) Check(std::equal(loaded.begin(), loaded.end(), all.begin()));
        // Growth never loses a calibration record (it may complete one cut short before).
        Check(again.CalibrationPresent() || !hadCalibration);
    }
    return 0;
}
