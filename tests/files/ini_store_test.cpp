#include "files/ini_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include "files/wave_test_util.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const char* const kSample =
    "; settings written by hand\n"
    "[Settings]\n"
    "FFTsize=8192\n"
    "  Averageblocks = 16  \n"
    "; a comment between keys\n"
    "Unknown Key=kept\n"
    "\n"
    "[ViewStatus]\n"
    "Peak Freq=1\n"
    "Label=\"quoted value\"\n"
    "\n"
    "[Foreign]\n"
    "x=y\n";

TEST(IniStoreRead, NamesCompareWithoutCaseAndKeysMayHoldBlanks) {
    TIniStore ini;
    ini.Parse(kSample);
    EXPECT_EQ(ini.GetString("settings", "FFTSIZE", "?"), "8192");
    EXPECT_EQ(ini.GetInt("SETTINGS", "AverageBlocks", 0), 16);
    EXPECT_EQ(ini.GetInt("viewstatus", "peak freq", 0), 1);
    EXPECT_EQ(ini.GetString("ViewStatus", "Label", ""), "quoted value");
    EXPECT_EQ(ini.GetString("Settings", "Missing", "fallback"), "fallback");
    EXPECT_EQ(ini.GetString("NoSuchSection", "FFTsize", "fallback"), "fallback");
    EXPECT_EQ(ini.GetInt("Settings", "Missing", -7), -7);
    // A comment line is not a key even if it holds an equals sign.
    ini.Parse("[A]\n;k=1\n");
    EXPECT_FALSE(ini.HasKey("A", ";k"));
}

TEST(IniStoreRead, MissingFileGivesEveryDefault) {
    TempDir dir;
    TIniStore ini;
    EXPECT_FALSE(ini.Load(dir.File("absent.ini")));
    EXPECT_EQ(ini.GetDouble("Settings", "DelayTimeMsec", 2.5), 2.5);
    EXPECT_TRUE(ini.Sections().empty());
}

TEST(IniStoreRead, FixedFieldsAreCutAtTheirSize) {
    TIniStore ini;
    ini.Parse("[Calibration]\nLeftChannelName=" + std::string(100, 'x') + "\n");
    EXPECT_EQ(ini.GetString("Calibration", "LeftChannelName", "", 40).size(), 39u);
    EXPECT_EQ(ini.GetString("Calibration", "LeftChannelName", "").size(), 100u);
    // The cut applies to the default too: the field cannot hold more either way.
    EXPECT_EQ(ini.GetString("Calibration", "Missing", "abcdef", 4), "abc");
}

TEST(IniStoreRead, CrLfAndByteOrderMarkFilesReadAlike) {
    std::string crlf;
    for (const char* p = kSample; *p; ++p) {
        if (*p == '\n') crlf += '\r';
        crlf += *p;
    }
    const std::string bom = "\xEF\xBB\xBF";
    const std::string headerFirst = std::string(kSample).substr(std::string(kSample).find('['));
    TIniStore reference;
    reference.Parse(headerFirst);
    const std::string cut = crlf.substr(0, crlf.size() - 1);  // ends between CR and LF
    std::string doubled;                                      // CR LF converted once more
    for (char c : crlf) doubled += c == '\n' ? "\r\n" : std::string(1, c);
    const std::pair<std::string, std::string> cases[] = {
        // text, written back untouched
        {headerFirst, headerFirst}, {kSample, kSample},   {crlf, crlf}, {bom + headerFirst, bom + headerFirst},
        {bom + crlf, bom + crlf},   {cut, crlf},          {doubled, crlf},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const auto& [text, written] = cases[i];
        TIniStore ini;
        ini.Parse(text);
        EXPECT_EQ(ini.Sections(), reference.Sections());
        for (const std::string& section : reference.Sections())
            for (const std::string& key : reference.Keys(section))
                EXPECT_EQ(ini.GetString(section, key, "?"), reference.GetString(section, key, "!")) << section << "/" << key;
        EXPECT_EQ(ini.Text(), written);
    }
}

TEST(IniStoreRead, DecimalConversionsStopAtJunk) {
    EXPECT_EQ(ParseDecimalInt("  42abc"), 42);
    EXPECT_EQ(ParseDecimalInt("-17"), -17);
    EXPECT_EQ(ParseDecimalInt("+5"), 5);
    EXPECT_EQ(ParseDecimalInt(""), 0);
    EXPECT_EQ(ParseDecimalInt("abc"), 0);
    EXPECT_EQ(ParseDecimalInt("3000000000"), 3000000000LL);
    EXPECT_EQ(ParseDecimalInt("99999999999999999999999"), INT64_MAX);
    EXPECT_EQ(ParseDecimalInt("-99999999999999999999999"), INT64_MIN);
    EXPECT_DOUBLE_EQ(ParseDecimalDouble("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(ParseDecimalDouble(" -0.25xyz"), -0.25);
    EXPECT_DOUBLE_EQ(ParseDecimalDouble("3e2"), 300.0);
    EXPECT_DOUBLE_EQ(ParseDecimalDouble("1,5"), 1.0);  // decimal commas are not ours, whatever the locale
    EXPECT_DOUBLE_EQ(ParseDecimalDouble("junk"), 0.0);
    EXPECT_DOUBLE_EQ(ParseDecimalDouble("nan"), 0.0);
    EXPECT_DOUBLE_EQ(ParseDecimalDouble("-inf"), 0.0);
    EXPECT_DOUBLE_EQ(ParseDecimalDouble(".5"), 0.5);
    EXPECT_TRUE(std::isinf(ParseDecimalDouble("1e999")));
}

TEST(IniStoreWrite, ChangingAKeyRewritesOnlyItsLine) {
    TIniStore ini;
    ini.Parse(kSample);
    ini.SetInt("SETTINGS", "fftsize", 16384);
    ini.SetString("ViewStatus", "Peak Freq", "0");
    std::string expected = kSample;
    expected.replace(expected.find("FFTsize=8192"), 12, "FFTsize=16384");
    expected.replace(expected.find("Peak Freq=1"), 11, "Peak Freq=0");
    EXPECT_EQ(ini.Text(), expected);
}

TEST(IniStoreWrite, NewKeysJoinTheirSectionAndNewSectionsGoLast) {
    TIniStore ini;
    ini.Parse(kSample);
    ini.SetDouble("Settings", "DelayTimeMsec", 1.25);
    ini.SetString("Paths", "Wav", "..\\.\\wave");
    const std::string text = ini.Text();
    // The new key follows the section's last key, before the blank line that closes it.
    EXPECT_NE(text.find("Unknown Key=kept\nDelayTimeMsec=1.250000\n\n[ViewStatus]"), std::string::npos) << text;
    const std::string tail = "x=y\n\n[Paths]\nWav=..\\.\\wave\n";  // one blank line before a new section
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"Settings", "ViewStatus", "Foreign", "Paths"}));
    EXPECT_EQ(ini.GetString("paths", "wav", ""), "..\\.\\wave");
}

TEST(IniStoreWrite, ValuesReadBackAsTheyWereWritten) {
    const std::pair<std::string, std::string> cases[] = {
        // value, line written
        {"plain value", "k=plain value"},
        {"", "k="},
        {"\"", "k=\""},
        {"a \"b\" c", "k=a \"b\" c"},
        {"name cut at its field ", "k=\"name cut at its field \""},
        {"\tlead", "k=\"\tlead\""},
        {"  ", "k=\"  \""},
        {"\"quoted\"", "k=\"\"quoted\"\""},
        {"'single'", "k=\"'single'\""},
        {"cr\r", "k=\"cr\r\""},
    };
    for (const auto& [value, line] : cases) {
        SCOPED_TRACE(line);
        TIniStore ini;
        ini.SetString("A", "k", value);
        EXPECT_EQ(ini.Text(), "[A]\n" + line + "\n");
        TIniStore reread;
        reread.Parse(ini.Text());
        EXPECT_EQ(reread.GetString("A", "k", "?"), value);
    }
}

TEST(IniStoreWrite, DeleteKeyAndSection) {
    TIniStore ini;
    ini.Parse(kSample);
    ini.DeleteKey("Settings", "Unknown Key");
    ini.DeleteSection("viewstatus");
    EXPECT_FALSE(ini.HasKey("Settings", "Unknown Key"));
    EXPECT_FALSE(ini.HasKey("ViewStatus", "Peak Freq"));
    EXPECT_EQ(ini.GetString("Foreign", "x", ""), "y");
    EXPECT_EQ(ini.GetInt("Settings", "FFTsize", 0), 8192);
}

TEST(IniStoreFile, SaveKeepsForeignLinesCrLfAndPermissions) {
    TempDir dir;
    const std::string path = dir.File("zeltrak.ini");
    WriteFile(path, "[A]\r\nk=1\r\n; note\r\n[B]\r\nother=stays\r\n");
    chmod(path.c_str(), 0640);
    TIniStore ini;
    ASSERT_TRUE(ini.Load(path));
    ini.SetInt("A", "k", 2);
    ini.SetInt("A", "n", 3);
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(path), "[A]\r\nk=2\r\n; note\r\nn=3\r\n[B]\r\nother=stays\r\n");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // No temporary sibling is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(IniStoreFile, SaveIntoAMissingFolderFailsCleanly) {
    TempDir dir;
    TIniStore ini;
    ini.SetInt("A", "k", 1);
    EXPECT_FALSE(ini.SaveAs(dir.File("no/such/folder/x.ini")));
    EXPECT_FALSE(ini.SaveAs(""));
}

TEST(IniStoreBadInput, JunkLongLinesAndOpenBracketsLoseNothing) {
    std::mt19937 rng(1234);
    std::string junk(4096, '\0');
    for (char& c : junk) c = static_cast<char>(rng() & 0xFF);
    const std::string longLine(3 * 1024 * 1024, 'v');
    const std::string text = "[Good]\nfirst=1\n" + junk + "\n[Broken\nsecond=2\nlong=" + longLine +
                             "\n[Later]\nthird=3\n";
    TIniStore ini;
    ini.Parse(text);
    EXPECT_EQ(ini.GetInt("Later", "third", 0), 3);
    EXPECT_EQ(ini.GetString("Later", "missing", "d"), "d");
    // An unclosed bracket is no header: the keys after it stay where they were.
    EXPECT_EQ(ini.GetInt("Good", "second", 0), 2);
    EXPECT_EQ(ini.GetString("Good", "long", "").size(), longLine.size());
    ini.SetInt("Later", "third", 4);
    // Everything else survives the rewrite byte for byte.
    std::string expected = text;
    expected.replace(expected.rfind("third=3"), 7, "third=4");
    EXPECT_EQ(ini.Text(), expected);
}

TEST(IniStoreBadInput, OnlyRegularFilesUpToTheLimitLoadAndOthersAreNeverReplaced) {
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
                          // The device is not asked to be replaced: that is no test's to risk.
                          if (i < 2 && ini.Save()) return 10 * i + 2;
                      }
                      return 0;
                  },
                  10),
              0);
    struct stat st {};
    ASSERT_EQ(stat(huge.c_str(), &st), 0);
    EXPECT_EQ(static_cast<std::size_t>(st.st_size), TIniStore::kMaxFileBytes + 1);
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    // Exactly at the limit is still a settings file.
    head.resize(TIniStore::kMaxFileBytes);
    WriteFile(huge, head);
    TIniStore ini;
    EXPECT_TRUE(ini.Load(huge));
    EXPECT_EQ(ini.GetInt("A", "k", 0), 1);
}

}  // namespace
}  // namespace zeltrak
