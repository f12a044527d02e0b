// SPDX-License-Identifier: GPL-3.0-or-later
// The window's side of measurement quality: the sparse-window box before a 40-lambda conversion
// and the linear-power check box.
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QTextBrowser>
#include <filesystem>

#include "convert/field_catalog.h"
#include "gui_fixture.h"
#include "tools/steady_drive.h"

namespace varistrum::test {
namespace {

class DriveQualityWindowTest : public GuiTest {
  protected:
    std::string SteadyDrive(double speedKmh, int samplesPerSecond) {
        sim::SteadyDriveOptions drive;
        drive.seconds = 120;
        drive.speedKmh = speedKmh;
        drive.samplesPerSecond = samplesPerSecond;
        const std::string path = dir.File("steady.klf");
        WriteFile(path, sim::SteadyDriveLog(drive));
        return path;
    }
    void Press(const char* name) { Find<QAbstractButton>(name)->click(); }
    void ConvertInWindow(const std::string& log, const std::string& output) {
        BrowseAndWait(log);
        for (int tag : {LatitudeDecimalDegrees, LongitudeDecimalDegrees, DataField})
            SelectField(tag);
        paths.push_back(QString::fromStdString(output));
        Click("OutBrowse");
        Click("btnConvert");
        ASSERT_TRUE(WaitIdle());
    }
};

TEST_F(DriveQualityWindowTest, SparseWindowsAskBeforeA40LambdaConversion) {
    struct Case {
        double speedKmh;
        bool answer;
        std::size_t boxes;
        bool written;
    };
    const Case cases[] = {
        {80, false, 1, false},  // 13 samples a window: asked, cancelled
        {80, true, 1, true},    // asked, converted
        {20, false, 0, true},   // 50 samples a window: not asked
    };
    int run = 0;
    for (const Case& c : cases) {
        confirmations.clear();
        confirmAnswer = c.answer;
        const std::string output = dir.File("out" + std::to_string(run++) + ".out");
        Press("rbLambda");
        ConvertInWindow(SteadyDrive(c.speedKmh, 20), output);
        ASSERT_EQ(confirmations.size(), c.boxes);
        if (c.boxes > 0) {
            EXPECT_NE(confirmations[0].find("Scan 1 (GPS 10:00:00): 873.0750 MHz holds a median "
                                            "of 13 samples per 40-lambda window"),
                      std::string::npos);
        }
        EXPECT_EQ(std::filesystem::exists(output), c.written);
    }
}

TEST_F(DriveQualityWindowTest, LinearPowerCheckBoxGivesTheCommandLinesLinearAverages) {
    const std::string log = SteadyDrive(20, 40);
    Press("rbLambda");
    Find<QCheckBox>("cbLinearPower")->setChecked(true);
    ConvertInWindow(log, dir.File("gui.out"));
    ASSERT_EQ(RunCli("convert -q " + log + " -o " + dir.File("cli.out") +
                     " --tags 5,11,0 --average 40-lambda --average-domain linear"),
              0);
    ASSERT_EQ(RunCli("convert -q " + log + " -o " + dir.File("db.out") +
                     " --tags 5,11,0 --average 40-lambda"),
              0);
    const std::string linear = ReadFile(dir.File("cli.out"));
    EXPECT_GT(linear.size(), 100u);
    EXPECT_TRUE(ReadFile(dir.File("gui.out")) == linear);
    EXPECT_FALSE(ReadFile(dir.File("db.out")) == linear);
}

}  // namespace
}  // namespace varistrum::test

namespace varistrum::test {
namespace {

TEST_F(DriveQualityWindowTest, ViewMenuShowsTheReportAndSavesItAsHtml) {
    BrowseAndWait(SteadyDrive(80, 20));
    auto* action = Form().findChild<QAction*>(QStringLiteral("DriveQuality1"));
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), "Drive Quality...");
    QString shown;
    bool saved = false;
    paths.push_back(QString::fromStdString(dir.File("quality.html")));
    modal = [&](QDialog& dialog) {
        shown = dialog.findChild<QTextBrowser*>(QStringLiteral("tbReport"))->toPlainText();
        Click("btnSaveHtml", &dialog);
        saved = true;
        Click("btnClose", &dialog);
        return dialog.result();
    };
    action->trigger();
    ASSERT_TRUE(saved);
    EXPECT_TRUE(shown.contains("Scan 1 (GPS 10:00:00)")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QString::fromUtf8("873.075\u00a0MHz: window 13.7\u00a0m")) ||
                shown.contains("873.075 MHz: window 13.7 m"))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains("does not meet"));
    // The summary per frequency first, as the command line's report gives it.
    EXPECT_TRUE(
        shown.contains("Verdict of the file (its worst scan, averaged channels): does not "
                       "meet"))
        << shown.toStdString();
    EXPECT_LT(shown.indexOf("Averaged channels (receiver samples)"), shown.indexOf("Whole file"));
    EXPECT_GE(shown.indexOf("Averaged channels (receiver samples)"), 0);
    const std::string html = ReadFile(dir.File("quality.html"));
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(html.find("<h2>Summary of 1 scan</h2>"), std::string::npos);
    EXPECT_NE(html.find("<h2>Scan 1 (GPS 10:00:00)</h2>"), std::string::npos);
    EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace varistrum::test

namespace varistrum::test {
namespace {

// Never a box between the files of a folder job: the sparse scans come with the end summary.
TEST_F(DriveQualityWindowTest, AFolderJobListsSparseWindowsAtTheEnd) {
    const std::string in = (dir.Path() / "in").string(), out = (dir.Path() / "out").string();
    std::filesystem::create_directories(in);
    std::filesystem::create_directories(out);
    std::filesystem::rename(SteadyDrive(80, 20), in + "/a.klf");
    Find<QAbstractButton>("rbMultipleFiles")->click();
    AnswerFolder(in);
    Click("btnInFolder");
    AnswerFolder(out);
    Click("btnOutFolder");
    for (int tag : {LatitudeDecimalDegrees, LongitudeDecimalDegrees, DataField}) SelectField(tag);
    Press("rbLambda");
    Click("btnConvert");
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(confirmations.empty());
    EXPECT_TRUE(std::filesystem::exists(out + "/a.out"));
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(),
              "Warning: 40-lambda windows with a median below 36 samples:\n" + in +
                  "/a.klf: Scan 1 (GPS 10:00:00): 873.0750 MHz holds a median of 13 samples per "
                  "40-lambda window, fewer than 36: its averages will be noisy.");
}

}  // namespace
}  // namespace varistrum::test
