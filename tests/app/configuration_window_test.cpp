// SPDX-License-Identifier: GPL-3.0-or-later
// Open and Save Configuration through the window: what reaches the controls, in what order.
#include <QAbstractButton>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>

#include "convert/field_catalog.h"
#include "gui_fixture.h"

namespace varistrum::test {
namespace {

using WindowConfigurationTest = GuiTest;

// The settings a configuration file stores.
auto Stored(const SettingsModel& s) {
    return std::tie(s.inputFormat, s.inputFilename, s.brindletMode, s.scanType, s.receiver1,
                    s.receiver2, s.frequencyField, s.channelField, s.rssiField, s.noAvg, s.bsAvg,
                    s.delimiter, s.fieldTitles, s.availableFields, s.selectedFields, s.selectedTags,
                    s.outputFilename);
}

TEST_F(WindowConfigurationTest, OpeningAFileWithoutFieldTitlesUnchecksTheHeaderRecord) {
    const std::string cfg = dir.File("short.cfg");
    WriteFile(cfg, std::string("[OutputFilter]\r\nBSAvg=1\r\n"));
    ASSERT_TRUE(Find<QAbstractButton>("FieldTitles")->isChecked());
    paths.push_back(QString::fromStdString(cfg));
    Find<QAction>("OpenConfiguration1")->trigger();
    EXPECT_FALSE(Find<QAbstractButton>("FieldTitles")->isChecked());
    EXPECT_TRUE(Find<QAbstractButton>("BSAvg")->isChecked());
    EXPECT_FALSE(Find<QAbstractButton>("NoAvg")->isChecked());
    EXPECT_EQ(Find<QLineEdit>("InputFilename")->text(), "Sample.in");
    EXPECT_EQ(Find<QLineEdit>("OutputFilename")->text(), "Sample.out");
    EXPECT_EQ(Find<QListWidget>("AvailableBox")->count(), 0);
    EXPECT_FALSE(Form().ReaderBusy());  // format 0: no index pass
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowConfigurationTest, SavedSettingsComeBackAndIndexTheirFile) {
    const std::string log = Simulate(dir, "mixed", 31, 120);
    BrowseAndWait(log);
    for (const char* name : {"BSAvg", "Receiver2", "ChannelField", "FrequencyField",
                             "DelimiterGroupItem2", "FieldTitles"})
        Click(name);
    SelectField(GpsTime);
    SelectField(DataField);
    SelectField(GpsTime);
    const SettingsModel saved = Form().CurrentSettings();
    const std::string cfg = dir.File("saved.cfg");
    paths.push_back(QString::fromStdString(cfg));
    Find<QAction>("SaveConfiguration1")->trigger();

    for (const char* name : {"NoAvg", "Receiver1", "ChannelField", "FrequencyField",
                             "DelimiterGroupItem0", "FieldTitles", "DeselectAll"})
        Click(name);
    Find<QTreeWidget>("tvIndex")->clear();
    paths.push_back(QString::fromStdString(cfg));
    Find<QAction>("OpenConfiguration1")->trigger();
    EXPECT_TRUE(Form().ReaderBusy());  // format 8 indexes the configured file
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Stored(Form().CurrentSettings()) == Stored(saved));
    EXPECT_EQ(Form().SelectedTags(), (std::vector<int>{GpsTime, DataField, GpsTime}));
    EXPECT_EQ(Find<QTreeWidget>("tvIndex")->topLevelItemCount(), 3);
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowConfigurationTest, ConfiguredFileThatIsGoneIsReported) {
    const std::string cfg = dir.File("gone.cfg");
    WriteFile(cfg, "[InputFormat]\r\nProduct=8\r\n[InputFile]\r\nFilename=" + dir.File("gone.klf") +
                       "\r\n");
    Form().OpenConfigurationFile(QString::fromStdString(cfg));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(messages, std::vector<std::string>{"Error: Input File Does Not Exist!"});
}

TEST_F(WindowConfigurationTest, FieldRowsOutsideTheCatalogAreDroppedWithANote) {
    const std::string cfg = dir.File("forged.cfg");
    WriteFile(cfg, std::string("[SelectedFields]\r\nCount=3\r\nField0=Lat\",\"Evil\r\n"
                               "Field1=GPS Status\r\nField2=Evil\r\n"
                               "[SelectedTags]\r\nTag0=5\r\nTag1=17\r\nTag2=5\r\n"));
    Form().OpenConfigurationFile(QString::fromStdString(cfg));
    EXPECT_EQ(messages, std::vector<std::string>{
                            "Warning: 2 unknown fields in the configuration were ignored."});
    auto* selected = Find<QListWidget>("SelectedBox");
    ASSERT_EQ(selected->count(), 1);
    EXPECT_EQ(selected->item(0)->text(), "GPS Status");
    EXPECT_EQ(Form().SelectedTags(), std::vector<int>{GpsStatus});
}

TEST_F(WindowConfigurationTest, UnwritableConfigurationIsReported) {
    paths.push_back(QString::fromStdString(dir.File("no/such/folder/x.cfg")));
    Find<QAction>("SaveConfiguration1")->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Error: The configuration could not be saved", 0), 0u);
}

}  // namespace
}  // namespace varistrum::test
