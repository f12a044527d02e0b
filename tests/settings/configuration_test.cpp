// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of Save/Open Configuration: exact file text, round trips and hostile files.
#include "settings/configuration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <tuple>
#include <utility>

#include "convert/field_catalog.h"
#include "support/test_files.h"

namespace varistrum {
namespace {

namespace fs = std::filesystem;

class ConfigurationTest : public test::FolderTest {
  protected:
    static SettingsModel Opened(const std::string& path) {
        SettingsModel s;
        OpenConfiguration(path, s);
        return s;
    }
};

TEST_F(ConfigurationTest, SavesTheExactText) {
    SettingsModel s;
    s.inputFormat = 8;
    s.inputFilename = "/data/drive 1.klf";
    s.availableFields = {"<< DATA >>", "GPS Status"};
    s.selectedFields = {"GPS Status", "<< DATA >>"};
    s.selectedTags = {GpsStatus, DataField};
    s.outputFilename = "/data/drive 1.out";
    const std::string path = PathOf("small.cfg");
    ASSERT_TRUE(SaveConfiguration(path, s));
    EXPECT_EQ(Slurp(path),
              "[InputFormat]\r\nProduct=8\r\n"
              "[InputFile]\r\nFilename=/data/drive 1.klf\r\n"
              "[OutputFilter]\r\nBrindletMode=0\r\nScanType=1\r\nReceiver1=1\r\nReceiver2=0\r\n"
              "FrequencyField=1\r\nChannelField=0\r\nRSSIField=1\r\nNoAvg=1\r\nBSAvg=0\r\n"
              "AverageDomain=0\r\nTraffic=0\r\nTrafficDistance=0.0005\r\nTrafficUnit=0\r\n"
              "TrafficSeconds=30\r\nThreshold=0\r\nThresholdField=0\r\nThresholdComparator=0\r\n"
              "ThresholdValue=-100\r\n"
              "[OutputFieldSelection]\r\nDelimiter=0\r\nFieldTitles=1\r\n"
              "[AvailableFields]\r\nCount=2\r\nField0=<< DATA >>\r\nField1=GPS Status\r\n"
              "[SelectedFields]\r\nCount=2\r\nField0=GPS Status\r\nField1=<< DATA >>\r\n"
              "[SelectedTags]\r\nTag0=17\r\nTag1=0\r\n"
              "[OutputFile]\r\nFilename=/data/drive 1.out\r\n");
}

TEST_F(ConfigurationTest, RoundTripRestoresStoredSettingsOnly) {
    SettingsModel saved;
    saved.inputFormat = 9;
    saved.inputFilename = "in \xE9.klf";
    saved.brindletMode = 2;
    saved.scanType = 0;
    saved.receiver1 = false;
    saved.receiver2 = true;
    saved.frequencyField = false;
    saved.channelField = true;
    saved.rssiField = false;
    saved.noAvg = false;
    saved.bsAvg = true;
    saved.averageLinear = true;
    saved.delimiter = 4;
    saved.fieldTitles = false;
    std::reverse(saved.availableFields.begin(), saved.availableFields.end());
    for (int tag : {GpsTime, DataField, GpsTime, LineBreakField, TpDirection}) {
        saved.selectedFields.emplace_back(FieldName(tag));
        saved.selectedTags.push_back(tag);
    }
    saved.outputFilename = "out.txt";
    const std::string path = Put("round.cfg", "; kept\r\n[Other]\r\nx=1\r\n");
    ASSERT_TRUE(SaveConfiguration(path, saved));

    SettingsModel opened;
    opened.singleFile = false;
    opened.otherDelimiter = "|";
    opened.outageSeconds = "5";
    OpenConfiguration(path, opened);
    EXPECT_EQ(opened.inputFormat, 9);
    EXPECT_EQ(opened.inputFilename, saved.inputFilename);
    EXPECT_EQ(opened.brindletMode, 2);
    EXPECT_EQ(opened.scanType, 0);
    EXPECT_EQ(std::tie(opened.receiver1, opened.receiver2),
              std::tie(saved.receiver1, saved.receiver2));
    EXPECT_EQ(std::tie(opened.frequencyField, opened.channelField, opened.rssiField),
              std::tie(saved.frequencyField, saved.channelField, saved.rssiField));
    EXPECT_EQ(std::tie(opened.noAvg, opened.bsAvg), std::tie(saved.noAvg, saved.bsAvg));
    EXPECT_TRUE(opened.averageLinear);
    EXPECT_EQ(opened.delimiter, 4);
    EXPECT_FALSE(opened.fieldTitles);
    EXPECT_EQ(opened.availableFields, saved.availableFields);
    EXPECT_EQ(opened.selectedFields, saved.selectedFields);
    EXPECT_EQ(opened.selectedTags, saved.selectedTags);
    EXPECT_EQ(opened.outputFilename, "out.txt");
    EXPECT_FALSE(opened.singleFile);
    EXPECT_EQ(opened.otherDelimiter, "|");
    EXPECT_EQ(opened.outageSeconds, "5");
    EXPECT_EQ(Slurp(path).rfind("; kept\r\n[Other]\r\nx=1\r\n[InputFormat]\r\n", 0), 0u);
}

TEST_F(ConfigurationTest, ShorterListsLeaveOldRowsThatOpenIgnores) {
    SettingsModel s;
    s.selectedFields = {"<< FLEX DATA >>", "<< POCSAG DATA >>", "BER"};
    s.selectedTags = {1, 2, 3};
    const std::string path = PathOf("lists.cfg");
    ASSERT_TRUE(SaveConfiguration(path, s));
    s.selectedFields = {"Latitude (Seconds)"};
    s.selectedTags = {9};
    ASSERT_TRUE(SaveConfiguration(path, s));
    const std::string text = Slurp(path);
    EXPECT_NE(text.find("[SelectedFields]\r\nCount=1\r\nField0=Latitude (Seconds)\r\n"
                        "Field1=<< POCSAG DATA >>\r\nField2=BER\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("[SelectedTags]\r\nTag0=9\r\nTag1=2\r\nTag2=3\r\n"), std::string::npos);
    SettingsModel opened = Opened(path);
    EXPECT_EQ(opened.selectedFields, std::vector<std::string>{"Latitude (Seconds)"});
    EXPECT_EQ(opened.selectedTags, std::vector<int>{9});

    s.availableFields.clear();
    s.selectedFields.clear();
    s.selectedTags.clear();
    const std::string emptyPath = PathOf("empty.cfg");
    ASSERT_TRUE(SaveConfiguration(emptyPath, s));
    const std::string empty = Slurp(emptyPath);
    EXPECT_NE(empty.find("[AvailableFields]\r\nCount=0\r\n[SelectedFields]\r\nCount=0\r\n"
                         "[OutputFile]"),
              std::string::npos);
    EXPECT_EQ(empty.find("SelectedTags"), std::string::npos);
    opened = Opened(emptyPath);
    EXPECT_TRUE(opened.availableFields.empty());
    EXPECT_TRUE(opened.selectedFields.empty());
}

TEST_F(ConfigurationTest, MissingEntriesTakeTheOpenDefaults) {
    SettingsModel s = Opened(Put("sparse.cfg", "[OutputFilter]\r\nChannelField=1\r\n"));
    EXPECT_EQ(s.inputFormat, 0);
    EXPECT_EQ(s.inputFilename, "Sample.in");
    EXPECT_EQ(s.scanType, 0);
    EXPECT_TRUE(s.channelField);
    EXPECT_TRUE(s.frequencyField);
    EXPECT_FALSE(s.fieldTitles);  // unlike the window at start
    EXPECT_TRUE(s.availableFields.empty());
    EXPECT_EQ(s.outputFilename, "Sample.out");
}

// Files saved before the power average existed lack AverageDomain: they average dBm values.
TEST_F(ConfigurationTest, AverageDomainReadsZeroWhenMissingOrOdd) {
    const std::pair<const char*, bool> cases[] = {
        {"[OutputFilter]\r\nBSAvg=0\r\n", false},
        {"[OutputFilter]\r\nAverageDomain=1\r\n", true},
        {"[OutputFilter]\r\nAverageDomain=0\r\n", false},
        {"[OutputFilter]\r\nAverageDomain=2\r\n", false},
        {"[OutputFilter]\r\nAverageDomain=x\r\n", false},
    };
    for (const auto& [text, linear] : cases) {
        SettingsModel s;
        s.averageLinear = !linear;
        OpenConfiguration(Put("domain.cfg", text), s);
        EXPECT_EQ(s.averageLinear, linear) << text;
    }
}

// The two filters and their dialogs' values come back as saved, with '.' whatever the locale;
// files saved before they existed, or with values the dialogs refuse, read as off with the
// dialogs' defaults.
TEST_F(ConfigurationTest, TheFiltersRoundTripAndOlderFilesReadThemAsOff) {
    SettingsModel saved;
    saved.traffic = true;
    saved.trafficDistance = 1.5;
    saved.trafficUnit = 1;
    saved.trafficSeconds = 45;
    saved.threshold = true;
    saved.thresholdField = 1;
    saved.thresholdComparator = 3;
    saved.thresholdValue = -2.25;
    const std::string path = PathOf("filters.cfg");
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    const bool written = SaveConfiguration(path, saved);
    SettingsModel opened;
    OpenConfiguration(path, opened);
    std::setlocale(LC_ALL, "C");
    ASSERT_TRUE(written);
    EXPECT_NE(Slurp(path).find("AverageDomain=0\r\nTraffic=1\r\nTrafficDistance=1.5\r\n"
                               "TrafficUnit=1\r\nTrafficSeconds=45\r\nThreshold=1\r\n"
                               "ThresholdField=1\r\nThresholdComparator=3\r\n"
                               "ThresholdValue=-2.25\r\n[OutputFieldSelection]"),
              std::string::npos)
        << (german ? "de_DE" : "C");
    EXPECT_EQ(
        std::tie(opened.traffic, opened.trafficDistance, opened.trafficUnit, opened.trafficSeconds),
        std::tie(saved.traffic, saved.trafficDistance, saved.trafficUnit, saved.trafficSeconds));
    EXPECT_EQ(std::tie(opened.threshold, opened.thresholdField, opened.thresholdComparator,
                       opened.thresholdValue),
              std::tie(saved.threshold, saved.thresholdField, saved.thresholdComparator,
                       saved.thresholdValue));

    const SettingsModel defaults;
    const char* const older[] = {
        "[OutputFilter]\r\nBSAvg=0\r\n",
        ("[OutputFilter]\r\nTrafficDistance=0\r\nTrafficUnit=3\r\nTrafficSeconds=3601\r\n"
         "ThresholdField=2\r\nThresholdComparator=5\r\nThresholdValue=x\r\n"),
        "[OutputFilter]\r\nTrafficDistance=0,5\r\nTrafficSeconds=0\r\nThresholdValue=nan\r\n",
    };
    for (const char* text : older) {
        SettingsModel s = saved;
        OpenConfiguration(Put("older.cfg", text), s);
        EXPECT_FALSE(s.traffic) << text;
        EXPECT_FALSE(s.threshold) << text;
        EXPECT_EQ(std::tie(s.trafficDistance, s.trafficUnit, s.trafficSeconds),
                  std::tie(defaults.trafficDistance, defaults.trafficUnit, defaults.trafficSeconds))
            << text;
        EXPECT_EQ(std::tie(s.thresholdField, s.thresholdComparator, s.thresholdValue),
                  std::tie(defaults.thresholdField, defaults.thresholdComparator,
                           defaults.thresholdValue))
            << text;
    }
}

TEST_F(ConfigurationTest, RadioPairsBehaveAsRadioButtons) {
    // Receiver pair and averaging pair, starting from each valid state.
    const std::pair<const char*, const char*> kPairs[] = {{"Receiver1", "Receiver2"},
                                                          {"NoAvg", "BSAvg"}};
    const struct {
        bool startFirst;
        const char* entries;
        bool first;
        bool second;
    } cases[] = {
        {true, "", true, false},
        {false, "", true, false},  // missing first = checked
        {false, "A=0\r\nB=0\r\n", false, true},
        {true, "A=0\r\nB=0\r\n", true, false},
        {true, "A=0\r\nB=1\r\n", false, true},
        {false, "A=1\r\nB=0\r\n", true, false},
        {true, "A=1\r\nB=1\r\n", false, true},  // the later one wins
        {false, "A=0\r\n", false, true},
    };
    for (const auto& c : cases) {
        for (const auto& [a, b] : kPairs) {
            std::string entries = c.entries;
            for (std::size_t at; (at = entries.find("A=")) != std::string::npos;) {
                entries.replace(at, 1, a);
            }
            for (std::size_t at; (at = entries.find("B=")) != std::string::npos;) {
                entries.replace(at, 1, b);
            }
            SettingsModel s;
            bool& first = std::string(a) == "NoAvg" ? s.noAvg : s.receiver1;
            bool& second = std::string(a) == "NoAvg" ? s.bsAvg : s.receiver2;
            first = c.startFirst;
            second = !c.startFirst;
            OpenConfiguration(Put("radio.cfg", "[OutputFilter]\r\n" + entries), s);
            EXPECT_EQ(first, c.first) << a << " " << c.startFirst << " " << c.entries;
            EXPECT_EQ(second, c.second) << a << " " << c.startFirst << " " << c.entries;
        }
    }
}

TEST_F(ConfigurationTest, CountsAndIndexesAreBounded) {
    std::string rows;
    for (int i = 0; i < 1100; ++i) rows += "Field" + std::to_string(i) + "=GPS Status\r\n";
    const struct {
        const char* count;
        std::size_t rows;
    } cases[] = {{"3", 3},           {"5000", 1000}, {"2147483647", 1000}, {"-3", 0}, {"abc", 0},
                 {"99999999999", 0}, {"", 0}};
    for (const auto& c : cases) {
        const std::string count = std::string("Count=") + c.count + "\r\n";
        const SettingsModel s = Opened(Put("count.cfg", "[AvailableFields]\r\n" + count + rows +
                                                            "[SelectedFields]\r\n" + count + rows));
        EXPECT_EQ(s.availableFields.size(), c.rows) << c.count;
        EXPECT_EQ(s.selectedFields.size(), c.rows) << c.count;
        EXPECT_EQ(s.selectedTags.size(), c.rows) << c.count;
    }

    // Tags come from the names for the first 100 rows, whatever the file says; later rows have
    // none.
    std::string text = "[SelectedFields]\r\nCount=150\r\n" + rows;
    text += "[SelectedTags]\r\nTag0=77\r\nTag1=-5\r\nTag99=3\r\nTag100=4\r\n";
    SettingsModel s = Opened(Put("tags.cfg", text));
    ASSERT_EQ(s.selectedTags.size(), 150u);
    EXPECT_EQ(s.selectedTags[0], GpsStatus);
    EXPECT_EQ(s.selectedTags[1], GpsStatus);
    EXPECT_EQ(s.selectedTags[99], GpsStatus);
    EXPECT_EQ(s.selectedTags[100], kNoTag);
    EXPECT_EQ(s.selectedTags[149], kNoTag);
    ASSERT_TRUE(SaveConfiguration(PathOf("tags2.cfg"), s));
    EXPECT_NE(Slurp(PathOf("tags2.cfg")).find("Tag100=-10\r\n"), std::string::npos);

    // Radio group indexes outside their groups read as the defaults.
    s = Opened(Put("range.cfg",
                   "[InputFormat]\r\nProduct=10\r\n[OutputFilter]\r\nBrindletMode=3\r\n"
                   "ScanType=-1\r\n[OutputFieldSelection]\r\nDelimiter=5\r\n"));
    EXPECT_EQ(std::tie(s.inputFormat, s.brindletMode, s.scanType, s.delimiter),
              std::make_tuple(0, 0, 0, 0));
}

// A row whose name is not a catalog field's would reach the header record as it is: forged
// columns, a bare CR inside a line. Such rows are dropped and counted.
TEST_F(ConfigurationTest, RowsOutsideTheCatalogAreDroppedAndCounted) {
    const std::string path = Put(
        "forged.cfg",
        std::string("[AvailableFields]\r\nCount=3\r\nField0=GPS Status\r\nField1=Nonsense\r\n"
                    "Field2=Receiver\r\n"
                    "[SelectedFields]\r\nCount=6\r\nField0=Lat\",\"Evil\r\n"
                    "Field1=GPS Time (HH:MM:SS)\r\nField2=Record\rNumber\r\nField3=gps status\r\n"
                    "Field4=<< DATA >>\r\n") +
            "Field5=Receiver" + std::string(1, '\0') + "x\r\n" +
            "[SelectedTags]\r\nTag0=5\r\nTag1=32\r\nTag2=32\r\nTag3=17\r\nTag4=0\r\nTag5=49\r\n");
    SettingsModel s;
    EXPECT_EQ(OpenConfiguration(path, s), 5);
    EXPECT_EQ(s.availableFields, (std::vector<std::string>{"GPS Status", "Receiver"}));
    EXPECT_EQ(s.selectedFields, (std::vector<std::string>{"GPS Time (HH:MM:SS)", "<< DATA >>"}));
    EXPECT_EQ(s.selectedTags, (std::vector<int>{GpsTime, DataField}));  // by name, not Tag1
    EXPECT_EQ(UnknownFieldsText(5), "5 unknown fields in the configuration were ignored.");

    SettingsModel clean;
    ASSERT_TRUE(SaveConfiguration(PathOf("clean.cfg"), clean));
    EXPECT_EQ(OpenConfiguration(PathOf("clean.cfg"), clean), 0);
}

TEST_F(ConfigurationTest, HostileFilesOpenWithDefaults) {
    // Up to the largest configuration read, 1 MiB.
    std::mt19937 random(11);
    std::string garbage(1 << 19, '\0');
    for (char& c : garbage) c = static_cast<char>(random() & 0xFF);
    const std::string longLine = "[InputFile]\r\nFilename=" + std::string(1 << 19, 'n') + "\r\n";
    for (const std::string& data : {garbage, "[Junk]\r\n" + std::string(1 << 19, 'x')}) {
        const std::string path = Put("hostile.cfg", data);
        SettingsModel s = Opened(path);
        EXPECT_EQ(s.inputFilename, "Sample.in");
        EXPECT_TRUE(s.availableFields.empty());
        // Saving over it keeps its bytes and the entries read back.
        s.inputFilename = "mine.klf";
        ASSERT_TRUE(SaveConfiguration(path, s));
        EXPECT_EQ(Slurp(path).compare(0, data.size(), data), 0);
        EXPECT_EQ(Opened(path).inputFilename, "mine.klf");
    }
    EXPECT_EQ(Opened(Put("long.cfg", longLine)).inputFilename.size(), 1u << 19);
    EXPECT_EQ(Opened(PathOf("missing.cfg")).inputFilename, "Sample.in");
}

TEST_F(ConfigurationTest, FailedSavesLeaveTheFileAlone) {
    SettingsModel s;
    EXPECT_FALSE(SaveConfiguration(PathOf("no/folder/x.cfg"), s));
    const std::string path = Put("keep.cfg", "[InputFile]\r\nFilename=old\r\n");
    s.outputFilename = "bad\nname.out";
    EXPECT_FALSE(SaveConfiguration(path, s));
    EXPECT_EQ(Slurp(path), "[InputFile]\r\nFilename=old\r\n");
}

TEST_F(ConfigurationTest, AvailableRowsSelectTheFieldTheyShow) {
    SettingsModel s;
    for (std::size_t row = 0; row < OfferedFields().size(); ++row) {
        EXPECT_EQ(AvailableFieldTag(s, row), OfferedFields()[row]) << row;
    }
    s.availableFields = {"GPS Heading", "Nonsense"};
    EXPECT_EQ(AvailableFieldTag(s, 0), GpsHeading);
    EXPECT_EQ(AvailableFieldTag(s, 1), -1);
    EXPECT_EQ(AvailableFieldTag(s, 2), -1);
}

}  // namespace
}  // namespace varistrum
