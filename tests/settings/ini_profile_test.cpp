// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the INI profile: lookups, in-place edits, line ends and bad input.
#include "settings/ini_profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "support/test_files.h"

namespace varistrum {
namespace {

namespace fs = std::filesystem;

class IniProfileTest : public test::FolderTest {
  protected:
    IniProfile LoadText(const std::string& data) const {
        IniProfile ini;
        EXPECT_TRUE(ini.Load(Put("in.ini", data)));
        return ini;
    }
};

TEST_F(IniProfileTest, LookupFollowsProfileRules) {
    const IniProfile ini = LoadText(
        "Orphan=before any section\r\n"
        "[Main]\r\n"
        "  Name =  spaced value \t\r\n"
        "name=second spelling loses\r\n"
        ";Hidden=comment\r\n"
        "NoEquals\r\n"
        "Empty=\r\n"
        "[ Other ]trailing\r\n"
        "\xC4Key=upper umlaut\r\n"
        "[MAIN]\r\n"
        "Late=repeated section is not read\r\n");
    const struct {
        const char* section;
        const char* key;
        std::string expected;
    } cases[] = {
        {"main", "NAME", "spaced value"},
        {"MaIn", "name", "spaced value"},
        {"Main", "Empty", ""},
        {"Other", "\xC4key", "upper umlaut"},
        {"Other", "\xE4Key", "-"},  // bytes above 0x7F compare exactly
        {"Main", ";Hidden", "-"},
        {"Main", "NoEquals", "-"},
        {"Main", "Orphan", "-"},
        {"Main", "Late", "-"},
        {"Missing", "Name", "-"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ini.ReadString(c.section, c.key, "-"), c.expected) << c.section << "/" << c.key;
    }
}

TEST_F(IniProfileTest, ReadIntegerAcceptsOnlyWholeDecimalNumbers) {
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"12", 12},
        {"  -7  ", -7},
        {"+5", 5},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", 99},
        {"-2147483649", 99},
        {"99999999999999999999", 99},
        {"12abc", 99},
        {"abc", 99},
        {"", 99},
        {"0x10", 99},
        {"- 5", 99},
        {"+", 99},
        {"1.5", 99},
        {"--1", 99},
        {"1 2", 99},
    };
    for (const auto& c : cases) {
        const IniProfile ini = LoadText(std::string("[S]\nK=") + c.text + "\n");
        EXPECT_EQ(ini.ReadInteger("S", "K", 99), c.expected) << '"' << c.text << '"';
    }
    const IniProfile ini = LoadText("[S]\nTwo=2\nZero=0\nWord=yes\n");
    EXPECT_TRUE(ini.ReadBool("S", "Two", false));
    EXPECT_FALSE(ini.ReadBool("S", "Zero", true));
    EXPECT_TRUE(ini.ReadBool("S", "Word", true));
    EXPECT_FALSE(ini.ReadBool("S", "Word", false));
    EXPECT_TRUE(ini.ReadBool("S", "Missing", true));
}

TEST_F(IniProfileTest, EditsKeepEveryOtherLineByteForByte) {
    const std::string path = Put("edit.ini",
                                 "; a comment\r\n"
                                 "[Unknown]\r\n"
                                 "Keep = me \r\n"
                                 "\r\n"
                                 "[Main]\r\n"
                                 "First=1\r\n"
                                 "  second = old  \r\n"
                                 "Third = same\r\n"
                                 "; trailing comment of Main\r\n"
                                 "\r\n"
                                 "[Tail]\r\n"
                                 "x=y\r\n");
    IniProfile ini;
    ASSERT_TRUE(ini.Load(path));
    EXPECT_TRUE(ini.WriteString("MAIN", "Second", "new"));
    EXPECT_TRUE(ini.WriteString("main", "third", "same"));  // unchanged value: line untouched
    EXPECT_TRUE(ini.WriteInteger("Main", "Added", -42));
    EXPECT_TRUE(ini.WriteBool("Fresh", "On", true));
    EXPECT_TRUE(ini.WriteString("Fresh", "Text", "a=b"));
    EXPECT_TRUE(ini.WriteString("Tail", "z", ""));
    ASSERT_TRUE(ini.Save(path));
    EXPECT_EQ(Slurp(path),
              "; a comment\r\n"
              "[Unknown]\r\n"
              "Keep = me \r\n"
              "\r\n"
              "[Main]\r\n"
              "First=1\r\n"
              "second=new\r\n"
              "Third = same\r\n"
              "Added=-42\r\n"
              "; trailing comment of Main\r\n"
              "\r\n"
              "[Tail]\r\n"
              "x=y\r\n"
              "z=\r\n"
              "[Fresh]\r\n"
              "On=1\r\n"
              "Text=a=b\r\n");
    ASSERT_TRUE(ini.Load(path));
    EXPECT_EQ(ini.ReadString("Fresh", "Text", ""), "a=b");
    EXPECT_EQ(ini.ReadInteger("main", "ADDED", 0), -42);
}

TEST_F(IniProfileTest, NewLinesTakeTheFileLineEnds) {
    const struct {
        std::string before;
        std::string after;
    } cases[] = {
        {"", "[S]\r\nk=v\r\n"},
        {"[S]\nold=1\n", "[S]\nold=1\nk=v\n"},
        {"[S]\nold=1", "[S]\nold=1\nk=v\n"},  // last line had no line end
        {"[S]", "[S]\r\nk=v\r\n"},
        {"[T]\r\nx=1", "[T]\r\nx=1\r\n[S]\r\nk=v\r\n"},
        {"junk\n[S]\r\n", "junk\n[S]\r\nk=v\n"},  // the first line end decides
    };
    for (const auto& c : cases) {
        IniProfile ini = LoadText(c.before);
        ASSERT_TRUE(ini.WriteString("S", "k", "v"));
        EXPECT_EQ(ini.Text(), c.after) << c.before;
    }
}

TEST_F(IniProfileTest, RefusesEntriesThatWouldNotReadBack) {
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"", "k", "v"},   {" S", "k", "v"},   {"S]", "k", "v"},   {"S\n", "k", "v"},
        {"S", "", "v"},   {"S", "k ", "v"},   {"S", "a=b", "v"},  {"S", "[k", "v"},
        {"S", ";k", "v"}, {"S", "k", "a\nb"}, {"S", "k", "a\rb"}, {"S", "k\n", "v"},
    };
    const std::string original = "[S]\r\nk=old\r\n";
    for (const auto& c : cases) {
        IniProfile ini = LoadText(original);
        EXPECT_FALSE(ini.WriteString(c.section, c.key, c.value)) << c.section << "/" << c.key;
        EXPECT_EQ(ini.Text(), original);
    }
}

TEST_F(IniProfileTest, EightBitValuesRoundTrip) {
    std::string value = "a";
    for (int b = 0x80; b <= 0xFF; ++b) value += static_cast<char>(b);
    value += std::string("\0z", 2);
    IniProfile ini;
    ASSERT_TRUE(ini.WriteString("S\xE9", "K\xFF", value));
    ASSERT_TRUE(ini.Save(PathOf("bytes.ini")));
    ASSERT_TRUE(ini.Load(PathOf("bytes.ini")));
    EXPECT_EQ(ini.ReadString("s\xE9", "k\xFF", ""), value);
}

TEST_F(IniProfileTest, LoadAndSaveReportFailures) {
    IniProfile ini;
    EXPECT_TRUE(ini.Load(PathOf("missing.ini")));
    EXPECT_EQ(ini.Text(), "");
    EXPECT_FALSE(ini.Load(dir_.Path().string()));

    ASSERT_TRUE(ini.WriteString("S", "k", "v"));
    EXPECT_FALSE(ini.Save(PathOf("no/such/folder/x.ini")));
    EXPECT_FALSE(ini.Save(dir_.Path().string()));
    EXPECT_FALSE(fs::exists(dir_.Path().string() + ".saving"));

    // Saving through a link rewrites the file it points at and keeps the link.
    const std::string real = Put("real.ini", "[S]\r\nk=old\r\n");
    fs::create_symlink(real, PathOf("link.ini"));
    ASSERT_TRUE(ini.Save(PathOf("link.ini")));
    EXPECT_TRUE(fs::is_symlink(PathOf("link.ini")));
    EXPECT_EQ(Slurp(real), "[S]\r\nk=v\r\n");
}

TEST_F(IniProfileTest, GarbageAndLongLinesLoadWithoutEntries) {
    // Up to the largest profile read, 1 MiB.
    std::mt19937 random(7);
    std::string garbage(1 << 19, '\0');
    for (char& c : garbage) c = static_cast<char>(random() & 0xFF);
    const std::string longLine = "[S]\r\nk" + std::string(1 << 19, 'x') + "=1\r\n";
    for (const std::string& data : {garbage, longLine, std::string(1 << 19, '\n')}) {
        IniProfile ini = LoadText(data);
        EXPECT_EQ(ini.ReadInteger("S", "k", 5), 5);
        ASSERT_TRUE(ini.WriteInteger("S", "k", 6));
        const std::string saved = ini.Text();
        EXPECT_EQ(saved.compare(0, data.size(), data), 0) << "the original bytes must stay";
        ini = LoadText(saved);
        EXPECT_EQ(ini.ReadInteger("S", "k", 5), 6);
    }
}

}  // namespace
}  // namespace varistrum
