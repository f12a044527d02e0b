// SPDX-License-Identifier: GPL-3.0-or-later
// Export Map Layer... writes what the command line's --format writes, with the window's settings.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <filesystem>

#include "gui_fixture.h"

namespace varistrum::test {
namespace {

QAction* ExportAction(TMainForm& form) {
    auto* application = form.menuBar()->findChild<QMenu*>(QStringLiteral("Application1"));
    return application ? application->findChild<QAction*>(QStringLiteral("ExportMapLayer1"))
                       : form.findChild<QAction*>(QStringLiteral("ExportMapLayer1"));
}

TEST_F(GuiTest, ExportMapLayerWritesTheChosenFormat) {
    QAction* action = ExportAction(Form());
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), QStringLiteral("Export Map Layer..."));
    const std::string log = Simulate(dir, "mixed", 7, 120);
    BrowseAndWait(log);
    Click("rbLambda");
    struct Case {
        const char* file;
        const char* format;
    };
    for (const Case& c : {Case{"gui.gpkg", "gpkg"}, Case{"gui.kml", "kml"}}) {
        SCOPED_TRACE(c.file);
        messages.clear();
        paths.push_back(QString::fromStdString(dir.File(c.file)));
        action->trigger();
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(messages,
                  std::vector<std::string>{"Information: Conversion Has Been Completed!"});
        ASSERT_TRUE(std::filesystem::exists(dir.File(c.file)));
        // The command line with the same data settings gives a file of the same features.
        const std::string cli = dir.File(std::string("cli.") + c.format);
        ASSERT_EQ(RunCli("convert -q " + log + " --average 40-lambda -o " + cli), 0);
        EXPECT_EQ(RunCommand("ogrinfo -ro -al -q " + dir.File(c.file) +
                             " | grep -v '^ *OGRFeature\\|^INFO\\|DOCUMENT\\|NAME=' > " +
                             dir.File("gui.txt")),
                  0);
        EXPECT_EQ(RunCommand("ogrinfo -ro -al -q " + cli +
                             " | grep -v '^ *OGRFeature\\|^INFO\\|DOCUMENT\\|NAME=' > " +
                             dir.File("cli.txt")),
                  0);
        const std::string gui = ReadFile(dir.File("gui.txt"));
        EXPECT_GT(gui.size(), 1000u);
        EXPECT_TRUE(gui == ReadFile(dir.File("cli.txt")));
    }
    // The dialog's provenance check box: the record beside the file and in its metadata.
    EXPECT_FALSE(std::filesystem::exists(dir.File("gui.gpkg.provenance.json")));
    mapLayerProvenance = true;
    paths.push_back(QString::fromStdString(dir.File("gui.gpkg")));
    action->trigger();
    ASSERT_TRUE(WaitIdle());
    const std::string record = ReadFile(dir.File("gui.gpkg.provenance.json"));
    EXPECT_NE(record.find("\"average_type\":\"40_lambda\""), std::string::npos) << record;
    EXPECT_EQ(RunCommand("ogrinfo -ro -so " + dir.File("gui.gpkg") + " | grep -q PROVENANCE="), 0);
    // A cancelled save dialog starts nothing.
    messages.clear();
    action->trigger();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace varistrum::test
