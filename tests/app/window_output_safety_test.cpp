// SPDX-License-Identifier: GPL-3.0-or-later
// What the window saves (pictures, the quality page, configurations, screenshots) goes through
// the one writer: never over the open log or the background, never into a pipe that blocks;
// configurations too large to be one are refused.
#include <sys/stat.h>

#include <QAction>
#include <QTest>
#include <filesystem>

#include "app/map_window.h"
#include "gui_fixture.h"
#include "tools/drive_simulator.h"

namespace varistrum::test {
namespace {

class WindowOutputSafetyTest : public GuiTest {
  protected:
    std::string Log() {
        const std::string path = dir.File("drive.klf");
        WriteFile(path, sim::SimulateLog(sim::Scenario::SingleGps, 8, 4, 120));
        return path;
    }
};

TEST_F(WindowOutputSafetyTest, SavedFilesNeverReplaceTheLog) {
    const std::string log = Log();
    const std::string bytes = ReadFile(log);
    ASSERT_EQ(::mkfifo(dir.File("fifo.html").c_str(), 0600), 0);
    BrowseAndWait(log);
    // The quality page: over the log, and into a named pipe nobody reads.
    for (const std::string& target : {log, dir.File("fifo.html")}) {
        messages.clear();
        paths.push_back(QString::fromStdString(target));
        modal = [&](QDialog& dialog) {
            Click("btnSaveHtml", &dialog);
            Click("btnClose", &dialog);
            return dialog.result();
        };
        Find<QAction>("DriveQuality1")->trigger();
        ASSERT_EQ(messages.size(), 1u) << target;
        EXPECT_EQ(messages[0].rfind("Error: ", 0), 0u) << messages[0];
    }
    EXPECT_EQ(messages[0], "Error: Output File Cannot Be Accessed! '" + dir.File("fifo.html") +
                               "': not a regular file; an HTML page needs one");
    // A configuration saved over the log.
    messages.clear();
    paths.push_back(QString::fromStdString(log));
    Find<QAction>("SaveConfiguration1")->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("The output file is the input file."), std::string::npos);
    // The map's picture over the log or its background.
    ASSERT_EQ(RunCli("convert -q " + log + " -o " + dir.File("bg.gpkg")), 0);
    Find<QAction>("Map1")->trigger();
    TMapWindow* map = Form().MapWindow();
    ASSERT_NE(map, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !map->Busy() && map->Data() != nullptr; }, 60000));
    ASSERT_TRUE(map->LoadBackgroundFile(QString::fromStdString(dir.File("bg.gpkg"))).isEmpty());
    const std::string background = ReadFile(dir.File("bg.gpkg"));
    for (const std::string& target : {log, dir.File("bg.gpkg")}) {
        QString error;
        EXPECT_FALSE(map->SaveImage(QString::fromStdString(target), QSize(200, 150), &error));
        EXPECT_TRUE(error.startsWith(QStringLiteral("The output file is the"))) << target;
    }
    EXPECT_EQ(ReadFile(dir.File("bg.gpkg")), background);
    EXPECT_EQ(ReadFile(log), bytes);
    EXPECT_TRUE(std::filesystem::is_fifo(dir.File("fifo.html")));
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_NE(entry.path().filename().string().front(), '.');
}

TEST_F(WindowOutputSafetyTest, AConfigurationLargerThanOneMebibyteIsRefused) {
    const std::string cfg = dir.File("big.cfg");
    WriteFile(cfg, "[OutputFile]\r\nFilename=big.out\r\n" + std::string(1 << 20, ';'));
    Form().OpenConfigurationFile(QString::fromStdString(cfg));
    EXPECT_EQ(messages, std::vector<std::string>{"Error: '" + cfg +
                                                 "' is not a configuration file: it is larger "
                                                 "than 1 MiB."});
    EXPECT_NE(Form().CurrentSettings().outputFilename, "big.out");
}

// The window's --screenshot and --map-screenshot never write over the log they show.
TEST_F(WindowOutputSafetyTest, ScreenshotsNeverReplaceTheLog) {
    const std::string log = Log();
    const std::string bytes = ReadFile(log);
    for (const char* option : {"--screenshot", "--map-screenshot"}) {
        SCOPED_TRACE(option);
        EXPECT_EQ(
            RunCommand("QT_QPA_PLATFORM=offscreen timeout 60 " + std::string(VARISTRUM_WINDOW) +
                       " " + option + " " + log + " " + log + " 2>" + dir.File("err")),
            1);
        EXPECT_NE(ReadFile(dir.File("err")).find("Error: The output file is the input file."),
                  std::string::npos);
        EXPECT_EQ(ReadFile(log), bytes);
    }
}

}  // namespace
}  // namespace varistrum::test
