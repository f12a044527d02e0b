// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's workflow: browsing, field lists, folders, the scan tree and its enabling rules.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include "app/generator_dlg.h"
#include "convert/field_catalog.h"
#include "gui_fixture.h"

namespace varistrum::test {
namespace {

using MainWindowTest = GuiTest;

TEST_F(MainWindowTest, StartsInItsInitialState) {
    EXPECT_EQ(Form().windowTitle(), "QTX Varistrum (Tavrel Edition) 6.15");
    EXPECT_EQ(Form().minimumSize(), QSize(1161, 712));
    EXPECT_EQ(Form().maximumSize(), QSize(1161, 712));
    struct Check {
        const char* name;
        bool checked;
    };
    for (const Check& c :
         {Check{"rbSingleFile", true}, Check{"rbMultipleFiles", false}, Check{"NoAvg", true},
          Check{"BSAvg", false}, Check{"cbAT_None", true}, Check{"rbLambda", false},
          Check{"Receiver1", true}, Check{"Receiver2", false}, Check{"FrequencyField", true},
          Check{"ChannelField", false}, Check{"RSSIField", true}, Check{"cbSplit", false},
          Check{"cbRecDrop", false}, Check{"FieldTitles", true},
          Check{"DelimiterGroupItem0", true}}) {
        auto* button = Find<QAbstractButton>(c.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->isChecked(), c.checked) << c.name;
    }
    EXPECT_FALSE(Find<QWidget>("gbMultipleFiles")->isEnabled());
    EXPECT_FALSE(Find<QLineEdit>("edOutage")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>("edFileCount")->text(), "0");
    EXPECT_EQ(Find<QLineEdit>("OtherDelimiter")->text(), ":");
    EXPECT_EQ(Find<QListWidget>("AvailableBox")->count(), static_cast<int>(OfferedFields().size()));
    EXPECT_EQ(Find<QAction>("ContentsIndex1")->text(), "Contents && Index");
    EXPECT_EQ(Form().FileCount(), 1);
    EXPECT_EQ(Find<QLabel>("olClock")->text(), "HH:MM:SS");  // until the timer's first tick
    QTest::qWait(1100);
    EXPECT_NE(Find<QLabel>("olClock")->text(), "HH:MM:SS");
}

TEST_F(MainWindowTest, BrowseNamesTheOutputAfterTheInput) {
    const std::string log = Simulate(dir, "mixed", 5, 60);
    struct Case {
        std::string input, output;
    };
    for (const Case& c : {Case{dir.File("drive.klf"), dir.File("drive.out")},
                          Case{dir.File("cut.qel"), dir.File("cut.out")},
                          Case{dir.File("x.y.klf"), dir.File("x.y.out")}}) {
        std::filesystem::copy_file(log, c.input);
        BrowseAndWait(c.input);
        EXPECT_EQ(Find<QLineEdit>("InputFilename")->text().toStdString(), c.input);
        EXPECT_EQ(Find<QLineEdit>("OutputFilename")->text().toStdString(), c.output);
        EXPECT_EQ(Find<QListWidget>("lbStats")->count(), 7);
        EXPECT_GT(Form().Scans().Scans().size(), 0u);
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindowTest, NonLogFileIsRefusedAndTheInputKept) {
    const std::string log = Simulate(dir, "single-gps", 2, 30);
    BrowseAndWait(log);
    const std::string text = dir.File("notes.klf");
    WriteFile(text, std::string("QTX drive notes, not a log\n"));
    BrowseAndWait(text);
    EXPECT_EQ(messages, std::vector<std::string>{"Warning: File is not from a QTX CW product."});
    EXPECT_EQ(Find<QLineEdit>("InputFilename")->text().toStdString(), log);
}

// Rows of Selected Fields with their tags.
std::vector<std::pair<std::string, int>> SelectedRows(QListWidget* box) {
    std::vector<std::pair<std::string, int>> rows;
    for (int i = 0; i < box->count(); ++i)
        rows.emplace_back(box->item(i)->text().toStdString(),
                          box->item(i)->data(Qt::UserRole).toInt());
    return rows;
}

std::pair<std::string, int> Row(int tag) {
    return {std::string(FieldName(tag)), tag};
}

TEST_F(MainWindowTest, FieldListButtons) {
    auto* selected = Find<QListWidget>("SelectedBox");
    using Rows = std::vector<std::pair<std::string, int>>;

    SelectField(GpsTime);
    SelectField(GpsTime);
    EXPECT_EQ(SelectedRows(selected), (Rows{Row(GpsTime), Row(GpsTime)}));

    Click("DeselectAll");
    EXPECT_EQ(selected->count(), 0);
    for (int tag : {LatitudeDecimalDegrees, LongitudeDecimalDegrees, DataField}) SelectField(tag);
    selected->setCurrentRow(0);
    Click("DeselectField");
    EXPECT_EQ(SelectedRows(selected), (Rows{Row(LongitudeDecimalDegrees), Row(DataField)}));
    EXPECT_EQ(Form().SelectedTags(), (std::vector<int>{LongitudeDecimalDegrees, DataField}));

    // Nothing highlighted: "<" and ">" do nothing.
    selected->clearSelection();
    Click("DeselectField");
    Find<QListWidget>("AvailableBox")->clearSelection();
    Click("SelectField");
    EXPECT_EQ(selected->count(), 2);

    // ">>" appends every field in order, up to 100 rows in all.
    Click("DeselectAll");
    Click("SelectAll");
    ASSERT_EQ(selected->count(), static_cast<int>(OfferedFields().size()));
    for (std::size_t i = 0; i < OfferedFields().size(); ++i)
        EXPECT_EQ(Form().SelectedTags()[i], OfferedFields()[i]);
    Click("SelectAll");
    Click("SelectAll");
    EXPECT_EQ(selected->count(), kSelectedFieldRows);
    SelectField(GpsTime);
    EXPECT_EQ(selected->count(), kSelectedFieldRows);
}

TEST_F(MainWindowTest, FileCountNeedsBothFolders) {
    const std::string in = (dir.Path() / "in").string();
    const std::string out = (dir.Path() / "out").string();
    std::filesystem::create_directories(in);
    std::filesystem::create_directories(out);
    const std::string log = FrequencyLessLog(dir);
    for (const char* name : {"a.klf", "b.klf", "c.klf"})
        std::filesystem::copy_file(log, in + "/" + name);
    WriteFile(in + "/readme.txt", std::string("not a log"));

    Form().findChild<QRadioButton*>("rbMultipleFiles")->click();
    EXPECT_TRUE(Find<QWidget>("gbMultipleFiles")->isEnabled());
    EXPECT_FALSE(Find<QWidget>("gbSingleFile")->isEnabled());
    AnswerFolder(out);
    Click("btnOutFolder");
    EXPECT_EQ(Find<QLineEdit>("edOutFolder")->text().toStdString(), out);
    EXPECT_EQ(Find<QLineEdit>("edFileCount")->text(), "0");  // one folder: no count
    AnswerFolder(in);
    Click("btnInFolder");
    EXPECT_EQ(Find<QLineEdit>("edFileCount")->text(), "3");
    EXPECT_EQ(Form().FileCount(), 3);
    EXPECT_FALSE(Form().ReaderBusy());  // no index pass in this mode
    AnswerFolder("");                   // emptying one folder counts again: none
    Click("btnInFolder");
    EXPECT_EQ(Find<QLineEdit>("edFileCount")->text(), "0");
    EXPECT_EQ(Form().FileCount(), 0);
}

TEST_F(MainWindowTest, OnlyTheInputFolderGivesNoCount) {
    Form().findChild<QRadioButton*>("rbMultipleFiles")->click();
    AnswerFolder(dir.Path().string());
    Click("btnInFolder");
    EXPECT_EQ(Find<QLineEdit>("edFileCount")->text(), "0");
}

TEST_F(MainWindowTest, ScanNodesToggleAndRootsDoNot) {
    BrowseAndWait(Simulate(dir, "mixed", 7, 180));
    Form().show();
    auto* tree = Find<QTreeWidget>("tvIndex");
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    const auto before = Form().Scans().Snapshot();
    const auto scans = Form().Scans().Scans();
    ASSERT_GE(scans.size(), 2u);

    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* root = tree->topLevelItem(i);
        EXPECT_FALSE(root->data(0, Qt::CheckStateRole).isValid()) << "roots have no check box";
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(root).center());
    }
    for (const ScanTreeNode& node : scans)
        EXPECT_EQ(Form().Scans().ScanChecked(node.scanIndex), before.ScanChecked(node.scanIndex));

    const int first = scans[0].scanIndex;
    const int second = scans[1].scanIndex;
    QTreeWidgetItem* item = tree->findItems(QString::fromStdString(scans[0].text),
                                            Qt::MatchExactly | Qt::MatchRecursive)
                                .front();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    EXPECT_EQ(Form().Scans().ScanChecked(first), false);
    EXPECT_EQ(item->checkState(0), Qt::Unchecked);
    EXPECT_EQ(Form().Scans().ScanChecked(second), true);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    EXPECT_EQ(Form().Scans().ScanChecked(first), true);
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, tree->visualItemRect(item).center());
    EXPECT_EQ(Form().Scans().ScanChecked(first), false);  // any button's mouse-up
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    // The space bar toggles the current node.
    tree->setCurrentItem(item);
    QTest::keyClick(tree, Qt::Key_Space);
    EXPECT_EQ(Form().Scans().ScanChecked(first), false);
    EXPECT_EQ(item->checkState(0), Qt::Unchecked);
}

TEST_F(MainWindowTest, OutageSecondsAreWholeNumbersFrom1To86400) {
    auto* edit = Find<QLineEdit>("edOutage");
    Click("cbRecDrop");
    EXPECT_TRUE(edit->isEnabled());
    Click("cbRecDrop");
    EXPECT_FALSE(edit->isEnabled());
    Click("cbRecDrop");
    struct Case {
        const char* typed;
        const char* shown;
        bool acceptable;
    };
    for (const Case& c : {Case{"86400", "86400", true}, Case{"86401", "8640", true},
                          Case{"1", "1", true}, Case{"-5", "5", true}, Case{"2.5", "25", true},
                          Case{"abc", "", false}, Case{"0", "0", false}}) {
        edit->clear();
        QTest::keyClicks(edit, QString::fromLatin1(c.typed));
        EXPECT_EQ(edit->text(), QString::fromLatin1(c.shown)) << c.typed;
        EXPECT_EQ(edit->hasAcceptableInput(), c.acceptable) << c.typed;
    }
    // What the edit lets through while typing is still checked at CONVERT.
    BrowseAndWait(Simulate(dir, "single-gps", 3, 30));
    edit->setText(QStringLiteral("0"));
    Click("btnConvert");
    EXPECT_EQ(messages, std::vector<std::string>{
                            "Error: The GPS outage must be a whole number of seconds from 1 to "
                            "86400."});
    EXPECT_FALSE(std::filesystem::exists(Find<QLineEdit>("OutputFilename")->text().toStdString()));
}

// Controls that would start another pass on the reader, by name.
bool StartersEnabled(GuiTest& test, TMainForm& form, TGeneratorDlg& generator) {
    (void)test;
    bool any = false, all = true;
    for (const char* name :
         {"InBrowse", "OutBrowse", "btnInFolder", "btnOutFolder", "btnConvert"}) {
        // Its own state: the folder buttons also follow their group's.
        const bool enabled =
            !form.findChild<QWidget*>(QLatin1String(name))->testAttribute(Qt::WA_ForceDisabled);
        any = any || enabled;
        all = all && enabled;
    }
    const bool menu = form.findChild<QAction*>(QStringLiteral("OpenConfiguration1"))->isEnabled();
    const bool generate = generator.findChild<QWidget*>(QStringLiteral("OKBtn"))->isEnabled();
    EXPECT_EQ(any, all);
    EXPECT_EQ(menu, all);
    EXPECT_EQ(generate, all);
    return all;
}

TEST_F(MainWindowTest, WorkersDisableWhatWouldStartAnotherPass) {
    const std::string log = Simulate(dir, "mixed", 11, 600);
    auto* cancel = Find<QPushButton>("btnCancel");
    paths.push_back(QString::fromStdString(log));
    Click("InBrowse");
    EXPECT_TRUE(Form().ReaderBusy());
    EXPECT_FALSE(StartersEnabled(*this, Form(), Windows().GeneratorDlg()));
    EXPECT_TRUE(cancel->isEnabled());
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(StartersEnabled(*this, Form(), Windows().GeneratorDlg()));

    SelectField(GpsTime);
    Click("btnConvert");
    EXPECT_TRUE(Form().ReaderBusy());
    EXPECT_FALSE(StartersEnabled(*this, Form(), Windows().GeneratorDlg()));
    ASSERT_TRUE(cancel->isEnabled());
    cancel->click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(StartersEnabled(*this, Form(), Windows().GeneratorDlg()));
    EXPECT_EQ(messages, std::vector<std::string>{"Information: Conversion Cancelled."});
}

TEST_F(MainWindowTest, ConvertNeedsNamesOrFolders) {
    Click("btnConvert");
    Form().findChild<QRadioButton*>("rbMultipleFiles")->click();
    Click("btnConvert");
    EXPECT_EQ(messages,
              (std::vector<std::string>{"Error: Input and Output Files Must Be Selected.",
                                        "Error: Input and Output Folders Must Be Selected."}));
    EXPECT_FALSE(Form().ReaderBusy());
}

TEST_F(MainWindowTest, ConvertWithoutSelectedFieldsWarnsAndWritesNothing) {
    BrowseAndWait(Simulate(dir, "single-gps", 6, 30));
    const std::string output = Find<QLineEdit>("OutputFilename")->text().toStdString();
    Click("btnConvert");
    EXPECT_EQ(messages, std::vector<std::string>{"Warning: No output fields are selected."});
    EXPECT_FALSE(Form().ReaderBusy());
    EXPECT_FALSE(std::filesystem::exists(output));
    messages.clear();
    SelectField(GpsTime);
    Click("btnConvert");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(messages, std::vector<std::string>{"Information: Conversion Has Been Completed!"});
    EXPECT_TRUE(std::filesystem::exists(output));
}

TEST_F(MainWindowTest, DroppedLogFileIsBrowsed) {
    const std::string log = Simulate(dir, "list", 4, 30);
    Form().findChild<QRadioButton*>("rbMultipleFiles")->click();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(log))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&Form(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&Form(), &drop);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Find<QRadioButton>("rbSingleFile")->isChecked());
    EXPECT_EQ(Find<QLineEdit>("InputFilename")->text().toStdString(), log);
    EXPECT_EQ(Find<QListWidget>("lbStats")->count(), 7);

    QMimeData text;
    text.setText(QStringLiteral("not a file"));
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, {});
    QApplication::sendEvent(&Form(), &refused);
    EXPECT_FALSE(refused.isAccepted());
}

}  // namespace
// A damaged log gets an eighth statistics line; a clean one (above) keeps seven.
TEST_F(MainWindowTest, ADamagedLogShowsItsDamageAsAnEighthStatisticsLine) {
    const std::string log = Simulate(dir, "list", 4, 30);
    std::filesystem::resize_file(log, std::filesystem::file_size(log) - 5);  // the last record cut
    Form().findChild<QRadioButton*>("rbMultipleFiles")->click();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(log))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&Form(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&Form(), &drop);
    ASSERT_TRUE(WaitIdle());
    auto* stats = Find<QListWidget>("lbStats");
    ASSERT_EQ(stats->count(), 8);
    const std::string damage = stats->item(7)->text().toStdString();
    EXPECT_EQ(damage.rfind("Damaged Records = ", 0), 0u) << damage;
    EXPECT_NE(damage.find(" Bytes Skipped)"), std::string::npos) << damage;
}

}  // namespace varistrum::test
