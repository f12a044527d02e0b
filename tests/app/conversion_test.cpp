// SPDX-License-Identifier: GPL-3.0-or-later
// The window's conversions give byte for byte what the command line gives with the same settings.
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "app/frequency_entry_form.h"
#include "convert/field_catalog.h"
#include "gui_fixture.h"
#include "logfile/typed_frequencies.h"

namespace varistrum::test {
namespace {

const std::vector<int> kTags = {LatitudeDecimalDegrees, LongitudeDecimalDegrees, GpsTime,
                                DataField};
const char* const kCliTags = "--tags 5,11,18,0";

struct OptionCase {
    const char* name;
    std::string cli;                    // the command line's options
    std::function<void(GuiTest&)> set;  // the same settings in the window
};

class WindowConversionTest : public GuiTest, public ::testing::WithParamInterface<OptionCase> {
  protected:
    // Converts `log` in the window into `output`; the messages it gave.
    void ConvertInWindow(const std::string& log, const std::string& output) {
        BrowseAndWait(log);
        for (int tag : kTags) SelectField(tag);
        paths.push_back(QString::fromStdString(output));
        Click("OutBrowse");
        Click("btnConvert");
        ASSERT_TRUE(WaitIdle());
    }
};

TEST_P(WindowConversionTest, MatchesTheCommandLine) {
    const OptionCase& c = GetParam();
    const std::string log = Simulate(dir, "mixed", 21, 300);
    const std::string cliOut = dir.File("cli.out");
    ASSERT_EQ(RunCli("convert -q " + log + " -o " + cliOut + " " + kCliTags + " " + c.cli), 0);
    if (c.set) c.set(*this);
    ConvertInWindow(log, dir.File("gui.out"));
    EXPECT_EQ(messages, std::vector<std::string>{"Information: Conversion Has Been Completed!"});
    const std::string expected = ReadFile(cliOut);
    EXPECT_GT(expected.size(), 1000u);
    EXPECT_TRUE(ReadFile(dir.File("gui.out")) == expected) << c.name;
}

void Press(GuiTest& test, const char* name) {
    test.Form().findChild<QAbstractButton*>(QLatin1String(name))->click();
}

void Type(GuiTest& test, const char* name, const char* text) {
    test.Form().findChild<QLineEdit*>(QLatin1String(name))->setText(QString::fromLatin1(text));
}

INSTANTIATE_TEST_SUITE_P(
    Filters, WindowConversionTest,
    ::testing::Values(
        OptionCase{"Defaults", "", nullptr},
        OptionCase{"BestServer", "--best-server", [](GuiTest& t) { Press(t, "BSAvg"); }},
        OptionCase{"Lambda", "--average 40-lambda", [](GuiTest& t) { Press(t, "rbLambda"); }},
        OptionCase{"Receiver2WithChannels", "--receiver 2 --columns frequency,channel,rssi",
                   [](GuiTest& t) {
                       Press(t, "Receiver2");
                       Press(t, "ChannelField");
                   }},
        OptionCase{"SemicolonWithoutHeader", "--delimiter semicolon --no-header",
                   [](GuiTest& t) {
                       Press(t, "DelimiterGroupItem1");
                       Press(t, "FieldTitles");
                   }},
        OptionCase{"OtherDelimiter", "--delimiter other --other-delimiter '|'",
                   [](GuiTest& t) {
                       Press(t, "DelimiterGroupItem4");
                       Type(t, "OtherDelimiter", "|");
                   }},
        OptionCase{"DefaultOtherDelimiterQuotesTimes", "--delimiter other",
                   [](GuiTest& t) { Press(t, "DelimiterGroupItem4"); }},
        OptionCase{"GpsOutageDrop", "--drop-outages 5",
                   [](GuiTest& t) {
                       Press(t, "cbRecDrop");
                       Type(t, "edOutage", "5");
                   }}),
    [](const ::testing::TestParamInfo<OptionCase>& info) { return std::string(info.param.name); });

TEST_F(GuiTest, AnOtherDelimiterThatCorruptsNumbersIsRefusedBeforeWriting) {
    const std::string log = Simulate(dir, "single-gps", 24, 30);
    BrowseAndWait(log);
    for (int tag : kTags) SelectField(tag);
    Press(*this, "DelimiterGroupItem4");
    Type(*this, "OtherDelimiter", "-");
    paths.push_back(QString::fromStdString(dir.File("refused.out")));
    Click("OutBrowse");
    Click("btnConvert");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(messages,
              std::vector<std::string>{
                  "Error: The Other delimiter cannot be a digit, '.', '-', '+' or '\"'."});
    EXPECT_FALSE(std::filesystem::exists(dir.File("refused.out")));
}

using WindowScanTest = GuiTest;

TEST_F(WindowScanTest, UncheckingAScanDropsExactlyItsData) {
    const std::string log = Simulate(dir, "mixed", 22, 300);
    BrowseAndWait(log);
    Form().show();
    const auto scans = Form().Scans().Scans();
    ASSERT_GE(scans.size(), 3u);
    const ScanTreeNode* dropped = &scans[scans.size() / 2];
    // Every other scan number, table scans (which have no node and are kept) included.
    std::string kept;
    for (int n = 1; n <= Windows().Reader().State().ScanIndex; ++n) {
        if (n != dropped->scanIndex) kept += (kept.empty() ? "" : ",") + std::to_string(n);
    }
    auto* tree = Find<QTreeWidget>("tvIndex");
    QTreeWidgetItem* item = tree->findItems(QString::fromStdString(dropped->text),
                                            Qt::MatchExactly | Qt::MatchRecursive)
                                .front();
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    ASSERT_EQ(Form().Scans().ScanChecked(dropped->scanIndex), false);

    for (int tag : kTags) SelectField(tag);
    Click("btnConvert");
    ASSERT_TRUE(WaitIdle());
    const std::string window = ReadFile(dir.File("mixed-22.out"));
    ASSERT_EQ(RunCli("convert -q " + log + " -o " + dir.File("kept.out") + " " + kCliTags +
                     " --scans " + kept),
              0);
    ASSERT_EQ(RunCli("convert -q " + log + " -o " + dir.File("all.out") + " " + kCliTags), 0);
    EXPECT_TRUE(window == ReadFile(dir.File("kept.out")));
    EXPECT_LT(window.size(), ReadFile(dir.File("all.out")).size());
}

TEST_F(WindowScanTest, TypedFrequenciesGiveTheCommandLinesAverages) {
    const std::string log = Simulate(dir, "no-frequency", 23, 300);
    BrowseAndWait(log);
    ASSERT_TRUE(Windows().Reader().State().frequenciesNeeded);
    const auto& plans = Windows().Reader().State().plans;
    const std::string f1 = ProposedFrequencyText(ReceiverRange(plans[0]));
    const std::string f2 = ProposedFrequencyText(ReceiverRange(plans[1]));
    modal = [this](QDialog& dialog) {
        dialog.show();  // proposes the middle of each range
        Click("btnDone", &dialog);
        return dialog.result();
    };
    Press(*this, "rbLambda");
    for (int tag : kTags) SelectField(tag);
    Click("btnConvert");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(messages, std::vector<std::string>{"Information: Conversion Has Been Completed!"});
    ASSERT_EQ(RunCli("convert -q " + log + " -o " + dir.File("cli.out") + " " + kCliTags +
                     " --average 40-lambda --frequencies " + f1 + "," + f2),
              0);
    const std::string expected = ReadFile(dir.File("cli.out"));
    EXPECT_GT(expected.size(), 100u);
    EXPECT_TRUE(ReadFile(dir.File("no-frequency-23.out")) == expected);
}

TEST_F(WindowScanTest, FolderJobConvertsEveryFile) {
    const std::string in = (dir.Path() / "in").string();
    std::filesystem::create_directories(in);
    std::filesystem::create_directories(dir.Path() / "gui");
    std::filesystem::create_directories(dir.Path() / "cli");
    std::filesystem::copy_file(Simulate(dir, "mixed", 24, 120), in + "/one.klf");
    std::filesystem::copy_file(Simulate(dir, "list", 25, 120), in + "/two.klf");
    ASSERT_EQ(RunCli("convert -q --input-folder " + in + " --output-folder " + dir.File("cli") +
                     " " + kCliTags),
              0);

    Press(*this, "rbMultipleFiles");
    AnswerFolder(in);
    Click("btnInFolder");
    AnswerFolder(dir.File("gui"));
    Click("btnOutFolder");
    EXPECT_EQ(Find<QLineEdit>("edFileCount")->text(), "2");
    for (int tag : kTags) SelectField(tag);
    Click("btnConvert");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(messages, std::vector<std::string>{"Information: Conversion Has Been Completed!"});
    for (const char* name : {"one.out", "two.out"}) {
        const std::string expected = ReadFile(dir.File("cli") + "/" + name);
        EXPECT_GT(expected.size(), 100u) << name;
        EXPECT_TRUE(ReadFile(dir.File("gui") + "/" + name) == expected) << name;
    }
}

}  // namespace
}  // namespace varistrum::test
