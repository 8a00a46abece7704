// Settings files, atomic replacement, stale temporary files and the calibration record: what
// a user would lose or find changed if these were wrong.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <bit>
#include <filesystem>
#include <random>

#include "files/atomic_file.h"
#include "files/calibration_record.h"
#include "files/config_keys.h"
#include "files/ini_store.h"
#include "files/temp_files.h"
#include "files/wave_test_util.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

long Entries(const TempDir& dir) { return std::distance(std::filesystem::directory_iterator(dir.path()), {}); }

TEST(ReplaceFileAtomically, OldContentSurvivesAFailedWriteAndLinksAndPermissionsAreKept) {
    TempDir dir;
    const std::string real = dir.File("real.ini"), link = dir.File("link.ini");
    auto writes = [](const char* text) { return [=](int fd) { return WriteAll(fd, text, std::strlen(text)); }; };
    WriteFile(real, "old");
    chmod(real.c_str(), 0604);
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    EXPECT_EQ(ReplaceFileAtomically(real, [&](int fd) { return writes("half")(fd) && false; }), ReplaceResult::WriteFailed);
    EXPECT_EQ(ReadFile(real), "old");
    EXPECT_EQ(Entries(dir), 2);  // no sibling left
    ASSERT_EQ(ReplaceFileAtomically(link, writes("new")), ReplaceResult::Done);
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(real), "new");
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
    EXPECT_EQ(ReplaceFileAtomically(dir.File("no/dir/x"), [](int) { return true; }), ReplaceResult::CannotCreate);
}

// Temporary files of a run that was killed are removed at the next start; nobody else's are.
TEST(TempFiles, OnlyTheFilesOfEndedProcessesAreRemoved) {
    TempDir dir;
    const pid_t child = ::fork();
    if (child == 0) std::_Exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);  // its id now belongs to no process
    const std::string dead = "wav" + std::to_string(child) + "_a1B2c3";
    const std::string mine = TempFilePattern(dir.path()).substr(dir.path().size() + 1);
    const std::string kept[] = {"wav1_a1B2c3", "wavAbC123", "wav" + std::to_string(child) + "_toolong1", "notes.txt",
                                mine.substr(0, mine.size() - 6) + "q9Q9q9"};
    WriteFile(dir.File(dead), "x");
    for (const std::string& name : kept) WriteFile(dir.File(name), "x");
    EXPECT_EQ(RemoveStaleTempFiles(dir.path()), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File(dead)));
    for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(dir.File(name))) << name;
    EXPECT_EQ(RemoveStaleTempFiles(dir.File("missing")), 0);
}

// Each key of the defaults table is found whatever its case, and no two keys collide.
TEST(ConfigKeys, EveryKeyIsFoundOnceAndItsDefaultFitsItsField) {
    for (const ConfigKey& k : OtherConfigKeys()) {
        std::string section = k.section, key = k.key;
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(FindConfigKey(section, key), &k) << section << "/" << k.key;
        if (k.textBytes > 0) EXPECT_LT(std::string(k.defaultValue).size(), k.textBytes) << k.key;
    }
    EXPECT_EQ(FindConfigKey("Settings", "FFTsize"), nullptr);
}

const char* const kSample =
    "; settings written by hand\n[Settings]\nFFTsize=8192\n  Averageblocks = 16  \n; a comment between keys\n"
    "Unknown Key=kept\n\n[ViewStatus]\nPeak Freq=1\nLabel=\"quoted value\"\n\n[Foreign]\nx=y\n";

TEST(IniStore, ReadsNamesWithoutCaseAndCutsFixedFields) {
    TIniStore ini;
    ini.Parse(kSample);
    EXPECT_EQ(ini.GetString("settings", "FFTSIZE", "?"), "8192");
    EXPECT_EQ(ini.GetInt("SETTINGS", "AverageBlocks", 0), 16);
    EXPECT_EQ(ini.GetInt("viewstatus", "peak freq", 0), 1);
    EXPECT_EQ(ini.GetString("ViewStatus", "Label", ""), "quoted value");
    EXPECT_EQ(ini.GetString("NoSuchSection", "FFTsize", "fallback"), "fallback");
    EXPECT_EQ(ini.GetInt("Settings", "Missing", -7), -7);
    ini.Parse("[A]\n;k=1\nName=" + std::string(100, 'x') + "\n");
    EXPECT_FALSE(ini.HasKey("A", ";k"));  // a comment, even with an equals sign
    EXPECT_EQ(ini.GetString("A", "Name", "", 40).size(), 39u);
    EXPECT_EQ(ini.GetString("A", "Name", "").size(), 100u);
    EXPECT_EQ(ini.GetString("A", "Missing", "abcdef", 4), "abc");  // the field cannot hold more either way
}

TEST(IniStore, DecimalConversionsStopAtJunk) {
    const std::pair<const char*, int64_t> ints[] = {{"  42abc", 42}, {"-17", -17}, {"+5", 5}, {"", 0}, {"abc", 0},
                                                    {"3000000000", 3000000000LL}, {"99999999999999999999999", INT64_MAX},
                                                    {"-99999999999999999999999", INT64_MIN}};
    for (const auto& [text, value] : ints) EXPECT_EQ(ParseDecimalInt(text), value) << text;
    // Decimal commas are not ours, whatever the locale; non-finite text is no number.
    const std::pair<const char*, double> doubles[] = {{"1.5", 1.5}, {" -0.25xyz", -0.25}, {"3e2", 300.0}, {"1,5", 1.0},
                                                      {"junk", 0.0}, {"nan", 0.0}, {"-inf", 0.0}, {".5", 0.5}};
    for (const auto& [text, value] : doubles) EXPECT_DOUBLE_EQ(ParseDecimalDouble(text), value) << text;
    EXPECT_TRUE(std::isinf(ParseDecimalDouble("1e999")));
}

TEST(IniStore, LineEndingsAndByteOrderMarkReadAlikeAndAreWrittenBack) {
    std::string crlf, doubled;
    for (const char* p = kSample; *p; ++p) crlf += *p == '\n' ? std::string("\r\n") : std::string(1, *p);
    for (char c : crlf) doubled += c == '\n' ? "\r\n" : std::string(1, c);  // CR LF converted once more
    const std::string bom = "\xEF\xBB\xBF", headerFirst = std::string(kSample).substr(std::string(kSample).find('['));
    TIniStore reference;
    reference.Parse(headerFirst);
    const std::pair<std::string, std::string> cases[] = {  // text, written back untouched
        {headerFirst, headerFirst}, {crlf, crlf}, {bom + headerFirst, bom + headerFirst}, {bom + crlf, bom + crlf},
        {crlf.substr(0, crlf.size() - 1), crlf}, {doubled, crlf}};
    for (const auto& [text, written] : cases) {
        SCOPED_TRACE(::testing::PrintToString(text.substr(0, 40)));
        TIniStore ini;
        ini.Parse(text);
        EXPECT_EQ(ini.Sections(), reference.Sections());
        for (const std::string& section : reference.Sections())
            for (const std::string& key : reference.Keys(section))
                EXPECT_EQ(ini.GetString(section, key, "?"), reference.GetString(section, key, "!")) << section << "/" << key;
        EXPECT_EQ(ini.Text(), written);
    }
}

TEST(IniStore, EditsTouchOnlyTheirLines) {
    TIniStore ini;
    ini.Parse(kSample);
    ini.SetInt("SETTINGS", "fftsize", 16384);
    ini.SetDouble("Settings", "DelayTimeMsec", 1.25);
    ini.SetString("Paths", "Wav", "..\\.\\wave");
    // Only the changed line differs; a new key follows its section's last key, a new section goes last.
    std::string expected = kSample;
    expected.replace(expected.find("FFTsize=8192"), 12, "FFTsize=16384");
    expected.replace(expected.find("kept\n"), 5, "kept\nDelayTimeMsec=1.250000\n");
    EXPECT_EQ(ini.Text(), expected + "\n[Paths]\nWav=..\\.\\wave\n");
    ini.DeleteKey("Settings", "Unknown Key");
    ini.DeleteSection("viewstatus");
    EXPECT_FALSE(ini.HasKey("Settings", "Unknown Key") || ini.HasKey("ViewStatus", "Peak Freq"));
    EXPECT_EQ(ini.GetString("Foreign", "x", ""), "y");
    const std::pair<std::string, std::string> values[] = {  // value, line written
        {"plain value", "k=plain value"}, {"", "k="}, {"\"", "k=\""}, {"a \"b\" c", "k=a \"b\" c"},
        {"cut at its field ", "k=\"cut at its field \""}, {"\tlead", "k=\"\tlead\""}, {"  ", "k=\"  \""},
        {"\"quoted\"", "k=\"\"quoted\"\""}, {"'single'", "k=\"'single'\""}, {"cr\r", "k=\"cr\r\""}};
    for (const auto& [value, line] : values) {
        TIniStore one, reread;
        one.SetString("A", "k", value);
        EXPECT_EQ(one.Text(), "[A]\n" + line + "\n");
        reread.Parse(one.Text());
        EXPECT_EQ(reread.GetString("A", "k", "?"), value) << line;
    }
}

TEST(IniStore, SaveKeepsForeignLinesAndCrLfAndFailsCleanly) {
    TempDir dir;
    const std::string path = dir.File("zeltrak.ini");
    TIniStore ini;
    EXPECT_FALSE(ini.Load(dir.File("absent.ini")));
    EXPECT_TRUE(ini.Sections().empty());
    WriteFile(path, "[A]\r\nk=1\r\n; note\r\n[B]\r\nother=stays\r\n");
    ASSERT_TRUE(ini.Load(path));
    ini.SetInt("A", "k", 2);
    ini.SetInt("A", "n", 3);
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(path), "[A]\r\nk=2\r\n; note\r\nn=3\r\n[B]\r\nother=stays\r\n");
    EXPECT_EQ(Entries(dir), 1);
    EXPECT_FALSE(ini.SaveAs(dir.File("no/such/folder/x.ini")));
    EXPECT_FALSE(ini.SaveAs(""));
}

TEST(IniStore, JunkLongLinesAndOpenBracketsLoseNothing) {
    std::mt19937 rng(1234);
    std::string junk(4096, '\0');
    for (char& c : junk) c = static_cast<char>(rng() & 0xFF);
    const std::string longLine(3 * 1024 * 1024, 'v');
    const std::string text = "[Good]\nfirst=1\n" + junk + "\n[Broken\nsecond=2\nlong=" + longLine + "\n[Later]\nthird=3\n";
    TIniStore ini;
    ini.Parse(text);
    EXPECT_EQ(ini.GetInt("Later", "third", 0), 3);
    // An unclosed bracket is no header: the keys after it stay where they were.
    EXPECT_EQ(ini.GetInt("Good", "second", 0), 2);
    EXPECT_EQ(ini.GetString("Good", "long", "").size(), longLine.size());
    ini.SetInt("Later", "third", 4);
    std::string expected = text;  // everything else survives the rewrite byte for byte
    expected.replace(expected.rfind("third=3"), 7, "third=4");
    EXPECT_EQ(ini.Text(), expected);
}

TEST(IniStore, OnlyRegularFilesUpToTheLimitLoadAndOthersAreNeverReplaced) {
    TempDir dir;
    const std::string huge = dir.File("huge.ini"), fifo = dir.File("fifo.ini");
    std::string head = "[A]\nk=1\n";
    head.resize(TIniStore::kMaxFileBytes + 1, 'z');
    WriteFile(huge, head);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // In a child: a FIFO without a writer blocks a plain open, /dev/zero never ends.
    EXPECT_EQ(test::InChild(
                  [&] {
                      const std::string paths[] = {huge, fifo, "/dev/zero"};
                      for (int i = 0; i < 3; ++i) {
                          TIniStore ini;
                          if (ini.Load(paths[i]) || !ini.Sections().empty()) return 10 * i + 1;
                          ini.SetInt("A", "k", 2);
                          if (i < 2 && ini.Save()) return 10 * i + 2;  // the device is no test's to risk
                      }
                      return 0;
                  },
                  10),
              0);
    EXPECT_EQ(std::filesystem::file_size(huge), TIniStore::kMaxFileBytes + 1);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    head.resize(TIniStore::kMaxFileBytes);  // exactly at the limit is still a settings file
    WriteFile(huge, head);
    TIniStore ini;
    EXPECT_TRUE(ini.Load(huge));
    EXPECT_EQ(ini.GetInt("A", "k", 0), 1);
}

// The record's bytes, laid out here by hand, are what other programs read from a wave file's
// calibration chunk; texts without a terminator or too long stay inside their fields.
TEST(CalibrationRecord, ReadsAndWritesEveryFieldAtItsOffset) {
    std::vector<uint8_t> raw;
    const std::pair<size_t, uint32_t> words[] = {{0, 1}, {264, std::bit_cast<uint32_t>(94.0f)}, {268, 1}, {272, 2}, {396, 1},
                                                 {400, std::bit_cast<uint32_t>(0.25f)}, {412, std::bit_cast<uint32_t>(-7.25f)},
                                                 {416, 4}, {420, 1}};
    for (const auto& [at, v] : words) raw.resize(at), test::Put32(raw, v);
    raw.resize(1024);
    const std::pair<size_t, std::string> texts[] = {{4, "/lab/mic 4189.cal"}, {276, "Pascals rms"}, {336, "dB SPL"}, {424, "Mic A"}};
    for (const auto& [at, text] : texts) std::copy(text.begin(), text.end(), raw.begin() + at);
    std::fill_n(raw.begin() + 464, 40, 'R');  // no terminator in the file
    CalibrationRecord r = CalibrationRecord::Deserialize(raw.data());
    EXPECT_EQ(r.RefLevel, 94.0f);
    EXPECT_EQ(r.CalRatioRight, -7.25f);
    EXPECT_EQ(r.IntegrationType, 1);
    EXPECT_STREQ(r.LabelLog, "dB SPL");
    EXPECT_EQ(std::string(r.RightChannelName), std::string(39, 'R'));
    raw[464 + 39] = 0;
    const auto back = r.Serialize();
    EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.end()), raw);
    r.SetLabelLinear(std::string(100, 'x'));
    EXPECT_EQ(std::string(r.LabelLinear), std::string(59, 'x'));
    EXPECT_EQ(r.Serialize()[276 + 59], 0);
}

}  // namespace
}  // namespace zeltrak
