// SPDX-License-Identifier: GPL-3.0-or-later
// The small windows: created once at start-up, their captions, and their own behaviour.
#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <thread>

#include "app/about_dlg.h"
#include "app/frequency_entry_form.h"
#include "app/generator_dlg.h"
#include "app/gui_bridge.h"
#include "app/help_form.h"
#include "app/lambda_dlg.h"
#include "app/open_folder_dlg.h"
#include "app/threshold_dlg.h"
#include "app/traffic_dlg.h"
#include "app/ui_hooks.h"
#include "app/wait_dlg.h"
#include "gui_fixture.h"

namespace varistrum::test {
namespace {

using DialogsTest = GuiTest;

TEST_F(DialogsTest, EveryWindowExistsOnceInStartUpOrder) {
    struct Window {
        QWidget* widget;
        const char* title;
    };
    const std::vector<Window> expected = {
        {&Windows().AboutDlg(), "About"},
        {&Windows().LambdaDlg(), "40 Lambda Averaging"},
        {&Windows().TrafficDlg(), "Traffic Averaging"},
        {&Windows().GeneratorDlg(), "Generate Average Information"},
        {&Windows().WaitDlg(), "Wait"},
        {&Windows().ThresholdDlg(), "Data Reduction via Threshold"},
        {&Windows().HelpForm(), "Varistrum Help"},
        {&Windows().OpenFolderDlg(), "Choose File Folder"},
        {&Windows().FrequencyEntryForm(), "Frequency Information Needed"}};
    std::vector<QWidget*> dialogs;
    for (QObject* child : Form().children()) {
        if (auto* dialog = qobject_cast<QDialog*>(child)) dialogs.push_back(dialog);
    }
    ASSERT_EQ(dialogs.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(dialogs[i], expected[i].widget) << i;
        EXPECT_EQ(expected[i].widget->windowTitle(), QString::fromLatin1(expected[i].title));
        EXPECT_FALSE(expected[i].widget->isVisible());
    }
    EXPECT_EQ(Windows().WaitDlg().size(), QSize(313, 136));
    EXPECT_EQ(Windows().OpenFolderDlg().size(), QSize(425, 350));
    EXPECT_EQ(Windows().HelpForm().size(), QSize(696, 480));
}

TEST_F(DialogsTest, WaitBoxShowsWhileAFileIsIndexed) {
    paths.push_back(QString::fromStdString(Simulate(dir, "mixed", 41, 300)));
    Click("InBrowse");
    TWaitDlg& wait = Windows().WaitDlg();
    EXPECT_TRUE(QTest::qWaitFor([&] { return wait.isVisible() || !Form().ReaderBusy(); }));
    EXPECT_TRUE(wait.isVisible());
    ASSERT_TRUE(WaitIdle());
    EXPECT_FALSE(wait.isVisible());
    EXPECT_EQ(wait.Gauge(), 0);
}

TEST_F(DialogsTest, FolderChooserKeepsItsLastChoice) {
    TOpenFolderDlg& chooser = Windows().OpenFolderDlg();
    EXPECT_EQ(chooser.ChosenFolder(), "");
    EXPECT_EQ(Find<QLineEdit>("edFolder", &chooser)->text(),
              QDir::toNativeSeparators(QDir::currentPath()));
    AnswerFolder(dir.Path().string());
    RunModal(chooser);
    EXPECT_EQ(chooser.ChosenFolder().toStdString(), dir.Path().string());
    // Closed without OK, and with another folder typed: the choice stays.
    modal = [this](QDialog& dialog) {
        Find<QLineEdit>("edFolder", &dialog)->setText(QStringLiteral("/elsewhere"));
        dialog.reject();
        return dialog.result();
    };
    RunModal(chooser);
    EXPECT_EQ(chooser.ChosenFolder().toStdString(), dir.Path().string());
}

TEST_F(DialogsTest, GeneratorGathersTheInformation) {
    BrowseAndWait(Simulate(dir, "single-gps", 42, 120));
    TGeneratorDlg& generator = Windows().GeneratorDlg();
    generator.show();
    Click("OKBtn", &generator);
    EXPECT_TRUE(Form().ReaderBusy());
    EXPECT_FALSE(Find<QWidget>("InBrowse")->isEnabled());
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "Information: Information Has Been Gathered!",
                            "Information: 0 Records\n0 Seconds\n0 Records Per Second"}));
    // The bar goes back to 0; the label keeps the last percentage.
    EXPECT_EQ(Find<QLabel>("PercentComplete", &generator)->text(), "99% Complete");
    EXPECT_EQ(Find<QProgressBar>("ProgressBar", &generator)->value(), 0);

    // Exit during a pass stops it without a message; a missing file is reported.
    messages.clear();
    ASSERT_TRUE(Find<QWidget>("OKBtn", &generator)->isEnabled());
    Click("OKBtn", &generator);
    EXPECT_TRUE(Form().ReaderBusy());
    Click("CancelBtn", &generator);
    ASSERT_TRUE(WaitIdle());
    EXPECT_FALSE(generator.isVisible());
    EXPECT_TRUE(messages.empty());
}

TEST_F(DialogsTest, GeneratorReportsAMissingInput) {
    TGeneratorDlg& generator = Windows().GeneratorDlg();
    Click("OKBtn", &generator);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(messages, std::vector<std::string>{"Error: Input File Does Not Exist!"});
}

TEST_F(DialogsTest, ManualHasItsSectionsAndNamesNoCompany) {
    const QString manual = Find<QTextBrowser>("RichEdit1", &Windows().HelpForm())->toPlainText();
    for (const char* section :
         {"Introduction", "Installation", "Running the Application", "Main Menu",
          "Step 1 - Select Input / Output", "Step 2 - Choose Formatting Options",
          "Step 3 - Choose Output Fields", "Step 4 - Convert The Input File"})
        EXPECT_TRUE(manual.contains(QLatin1String(section))) << section;
    EXPECT_FALSE(manual.contains(QLatin1String("QTX")));
    Find<QAction>("ContentsIndex1")->trigger();
    EXPECT_TRUE(Windows().HelpForm().isVisible());
    Click("btnOK", &Windows().HelpForm());
    EXPECT_FALSE(Windows().HelpForm().isVisible());
    EXPECT_TRUE(Find<QLabel>("Version", &Windows().AboutDlg())->text().contains(VARISTRUM_VERSION));
}

// Closes the message box that comes up, after noting what it looked like.
struct SeenBox {
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

void CloseNextBox(SeenBox& seen) {
    QTimer::singleShot(50, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
        box->button(QMessageBox::Ok)->click();
    });
}

TEST_F(DialogsTest, MessagesAreModalBoxesWithTheKindsCaptionAndIcon) {
    ResetHooks();  // the real message box
    struct Case {
        MessageKind kind;
        const char* caption;
        QMessageBox::Icon icon;
    };
    for (const Case& c : {Case{MessageKind::Information, "Information", QMessageBox::Information},
                          Case{MessageKind::Warning, "Warning", QMessageBox::Warning},
                          Case{MessageKind::Error, "Error", QMessageBox::Critical}}) {
        SeenBox seen;
        CloseNextBox(seen);
        ReportMessage(c.kind, QStringLiteral("Conversion Aborted."));
        EXPECT_EQ(seen.caption, QLatin1String(c.caption));
        EXPECT_EQ(seen.text, "Conversion Aborted.");
        EXPECT_EQ(seen.icon, c.icon);
        EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    }
    // From a worker thread the box is shown by the window's thread; the worker waits for it.
    struct Silent : JobObserver {
        void SetProgress(int) override {}
        void ReportMessage(MessageKind kind, const std::string& text) override {
            varistrum::ReportMessage(kind, QString::fromStdString(text));
        }
    } target;
    GuiJobObserver bridge(&Form(), target);
    SeenBox seen;
    bool returned = false;
    std::thread worker([&] {
        bridge.ReportMessage(MessageKind::Warning, "from the worker");
        returned = true;
    });
    CloseNextBox(seen);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !seen.text.isEmpty(); }, 5000));
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(seen.text, "from the worker");
    EXPECT_EQ(seen.caption, "Warning");
}

}  // namespace
}  // namespace varistrum::test
