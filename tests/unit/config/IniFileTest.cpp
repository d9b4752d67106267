// Ini text rules, numbers and lists, and the library path clean-up the ini reader relies on.
#include "config/IniFile.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "log/Log.h"
#include "platform/ModulePath.h"

namespace quorix {
namespace {

using Strings = std::vector<std::string>;

TEST(IniFileTest, SectionsKeysAndValuesFollowTheLineRules) {
    const IniFile ini = IniFile::Parse(
        "Orphan=1\n"  // before any section: not stored
        "[settings]\n"
        "; a comment line without an equals sign\n"
        "Data Mode = 1 1\n"  // every space goes, from key and value
        "\tTabbed=2\n"       // a tab is not a space: the key keeps it
        "Tail=3\t\n"
        "Empty=\n"   // empty value: not stored
        "   =4\n"    // empty key: not stored
        "Url=a=b\n"  // split at the first "="
        "Twice=1\n"
        "Twice=2\n"           // last wins
        "  x [session1] y\n"  // section from the text between the brackets
        "Key=v\n"
        "[]\n"  // empty section: keys below are not stored
        "Lost=1\n"
        "[settings]\n"
        "Later=5");  // last line without a line end
    EXPECT_EQ(ini.Sections(), (Strings{"session1", "settings"}));
    EXPECT_EQ(ini.Keys("settings"),
              (Strings{"\tTabbed", "DataMode", "Later", "Tail", "Twice", "Url"}));
    EXPECT_EQ(*ini.Find("settings", "DataMode"), "11");
    EXPECT_EQ(*ini.Find("settings", "Tail"), "3\t");
    EXPECT_EQ(*ini.Find("settings", "Url"), "a=b");
    EXPECT_EQ(*ini.Find("settings", "Twice"), "2");
    EXPECT_EQ(*ini.Find("session1", "Key"), "v");
    EXPECT_EQ(ini.Find("settings", "Lost"), nullptr);
    EXPECT_EQ(ini.Find("nowhere", "Key"), nullptr);
}

TEST(IniFileTest, CarriageReturnLineEndsReadLikeNewlines) {
    const IniFile unix = IniFile::Parse("[s]\nA=1\nB=\nC=x\n");
    const IniFile dos = IniFile::Parse("[s]\r\nA=1\r\nB=\r\nC=x\r\n");
    EXPECT_EQ(dos.Sections(), unix.Sections());
    EXPECT_EQ(dos.Keys("s"), unix.Keys("s"));  // "B=\r" stays empty, so it is not stored
    EXPECT_EQ(*dos.Find("s", "C"), "x");
}

TEST(IniFileTest, NumbersReadTheirLeadingDecimalDigits) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"42", 42},
        {"-255", -255},
        {"+7", 7},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"--1", 0},
        {"\t5", 5},
        {"1.9", 1},
        {"0x10", 0},
        {"007", 7},
        {"2147483647", INT_MAX},
        {"99999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-99999999999999999999", INT_MIN},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseIniNumber(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(IniFileTest, ListsSplitAtCommasAndKeepWhatFits) {
    const struct {
        const char* text;
        size_t capacity;
        std::vector<int32_t> list;
        bool logged;
    } cases[] = {
        {"", 9, {}, false},
        {"2", 32, {2}, false},  // one entry, not "no entries"
        {"0,1,2", 9, {0, 1, 2}, false},
        {"1,,3,", 9, {1, 0, 3, 0}, false},  // empty pieces read as 0
        {"0,1,2,3,4,5,6,7,8", 9, {0, 1, 2, 3, 4, 5, 6, 7, 8}, false},
        {"0,1,2,3,4,5,6,7,8,9,10", 9, {0, 1, 2, 3, 4, 5, 6, 7, 8}, true},
        {"0,1,2,3,4,5,6,7,8,", 9, {0, 1, 2, 3, 4, 5, 6, 7, 8}, true},
    };
    for (const auto& c : cases) {
        log::Capture capture;
        EXPECT_EQ(ParseIniList(c.text, c.capacity, "ValidRange"), c.list) << c.text;
        EXPECT_EQ(capture.Contains("ValidRange holds more than 9 entries"), c.logged) << c.text;
    }
    log::Capture capture;
    ParseIniList("0,1,2,3,4,5,6,7,8,9,10", 9, "ValidRange");
    EXPECT_TRUE(capture.Contains("dropped: 9,10\n"));
}

TEST(ModulePathTest, NormaliseRemovesDotsAndParents) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"/usr/lib/./Config/a.ini", "/usr/lib/Config/a.ini"},
        {"./usr/lib/.", "usr/lib"},
        {"/usr/lib/../share/a", "/usr/share/a"},
        {"/usr/lib/x/../../a", "/usr/a"},
        {"/../a", "/a"},
        {"../a", "a"},
        {"/usr//lib/", "/usr/lib/"},
        {"/usr/lib/..", "/usr"},
        {"/", "/"},
        {"", ""},
        {"a/..", ""},
        {"/a/.../b", "/a/.../b"},  // only "." and ".." are special
        {"/a/.hidden/..x", "/a/.hidden/..x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::NormalisePath(c.in), c.out) << c.in;
    }
}

TEST(ModulePathTest, ModuleDirectoryIsTheFolderOfTheFileHoldingTheCode) {
    // Linked statically into this test, the code lives in the test executable.
    const std::string dir = platform::ModuleDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.front(), '/');
    EXPECT_EQ(std::filesystem::canonical(dir),
              std::filesystem::canonical("/proc/self/exe").parent_path());
}

}  // namespace
}  // namespace quorix
