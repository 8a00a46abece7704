// Reads arbitrary bytes as a settings file. Beyond "no crash", it checks that the text written
// back is stable (parsed again, it writes again byte for byte and reads the same values), that
// changing one key changes what that key reads and nothing else, also once written and read
// again, and that the processing settings loaded from anything store as text that loads and
// stores again unchanged.
#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "engine/processing_settings.h"
#include "files/ini_store.h"

#include "fuzz_check.h"

namespace {

using namespace zeltrak;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Every key the document lists with the value it reads, by names as they compare.
using Values = std::map<std::pair<std::string, std::string>, std::string>;

Values AllValues(const TIniStore& ini) {
    Values values;
    for (const std::string& section : ini.Sections()) {
        for (const std::string& key : ini.Keys(section)) {
            Check(ini.HasKey(section, key));
            values[{Lower(section), Lower(key)}] = ini.GetString(section, key, "");
            ini.GetInt(section, key, 0);
            ini.GetDouble(section, key, 0.0);
        }
    }
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    TIniStore ini;
    ini.Parse(text);
    const Values values = AllValues(ini);

    const std::string written = ini.Text();
    TIniStore again;
    again.Parse(written);
    Check(again.Text() == written);
    Check(AllValues(again) == values);

    // One existing key (chosen by the input) gets its value back between blanks, which must
    // survive a write and a read; without keys a new one goes into a new section.
    Values expected = values;
    std::string section = "Fuzz Section", key = "Fuzz Key", value = " new ";
    if (!values.empty()) {
        auto it = values.begin();
        std::advance(it, static_cast<long>(data[0] % values.size()));
        section = it->first.first;
        key = it->first.second;
        value = " " + it->second + " ";
    }
    ini.SetString(section, key, value);
    expected[{Lower(section), Lower(key)}] = value;
    Check(AllValues(ini) == expected);
    TIniStore reread;
    reread.Parse(ini.Text());
    Check(AllValues(reread) == expected);

    // Whatever the text held, stored settings are settings that load back as they were.
    ProcessingSettings loaded;
    loaded.Load(ini, DeviceCounts{2, 2});
    TIniStore stored;
    loaded.Store(stored);
    ProcessingSettings reloaded;
    reloaded.Load(stored, DeviceCounts{2, 2});
    TIniStore storedAgain;
    reloaded.Store(storedAgain);
    Check(storedAgain.Text() == stored.Text());
    return 0;
}
