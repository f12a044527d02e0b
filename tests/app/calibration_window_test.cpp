// SPDX-License-Identifier: GPL-3.0-or-later
// View > Calibrate Model...: the input log calibrated against a sites file, the figures as the
// command line prints them, the plot shown, the files saved as one set; options refused.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>

#include "app/calibration_dlg.h"
#include "gui_fixture.h"

namespace varistrum::test {
namespace {

class CalibrationWindowTest : public GuiTest {
  protected:
    // A calibration drive with its sites file; the log is the window's input.
    void OpenDrive() {
        log_ = dir.File("cal.klf");
        sites_ = dir.File("sites.csv");
        ASSERT_EQ(
            RunCommand(std::string(VARISTRUM_SIM) + " --seed 3 --scenario calibration --out " +
                       log_ + " --sites-out " + sites_ + " 2>/dev/null"),
            0);
        BrowseAndWait(log_);
    }
    // Opens the dialog and runs `script` in it.
    void InDialog(const std::function<void(QDialog&)>& script) {
        auto* action = Form().findChild<QAction*>(QStringLiteral("CalibrateModel1"));
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), "Calibrate Model...");
        bool shown = false;
        modal = [&](QDialog& dialog) {
            if (dialog.objectName() != QStringLiteral("CalibrationDlg")) return 0;
            shown = true;
            script(dialog);
            return 0;
        };
        action->trigger();
        EXPECT_TRUE(shown);
    }

    std::string log_, sites_;
};

TEST_F(CalibrationWindowTest, FiguresAndPlotAsTheCommandLineGivesThemSavedAsOneSet) {
    OpenDrive();
    const std::string report = dir.File("fit.txt"), plot = dir.File("fit.png"),
                      layer = dir.File("res.gpkg");
    InDialog([&](QDialog& dialog) {
        paths.push_back(QString::fromStdString(sites_));
        Click("btnSites", &dialog);
        Find<QLineEdit>("edCableLoss", &dialog)->setText(QStringLiteral("1.5"));
        Find<QComboBox>("cbEnvironment", &dialog)->setCurrentText(QStringLiteral("suburban"));
        EXPECT_FALSE(Find<QPushButton>("btnSave", &dialog)->isEnabled());
        Click("btnCalibrate", &dialog);
        EXPECT_TRUE(Find<QPushButton>("btnSave", &dialog)->isEnabled());
        const std::string figures =
            Find<QPlainTextEdit>("tbFigures", &dialog)->toPlainText().toStdString();
        ASSERT_EQ(RunCli("calibrate -q " + log_ + " --sites " + sites_ +
                         " --cable-loss-db 1.5 --environment suburban -o " + dir.File("cli.txt")),
                  0);
        EXPECT_EQ(figures, ReadFile(dir.File("cli.txt")));
        EXPECT_NE(figures.find("Okumura-Hata suburban"), std::string::npos) << figures;
        EXPECT_FALSE(Find<QLabel>("lbPlot", &dialog)->pixmap().isNull());
        EXPECT_EQ(Find<QComboBox>("cbPlotSite", &dialog)->currentText(), "S1");
        // The log itself is never a save target; nothing is written then.
        Find<QLineEdit>("edReport", &dialog)->setText(QString::fromStdString(log_));
        Find<QLineEdit>("edPlot", &dialog)->setText(QString::fromStdString(plot));
        Click("btnSave", &dialog);
        EXPECT_FALSE(std::filesystem::exists(plot));
        paths.push_back(QString::fromStdString(report));
        Click("btnReport", &dialog);
        paths.push_back(QString::fromStdString(layer));
        Click("btnResiduals", &dialog);
        Click("btnSave", &dialog);
    });
    EXPECT_EQ(ReadFile(report), ReadFile(dir.File("cli.txt")));
    EXPECT_EQ(ReadFile(plot).substr(1, 3), "PNG");
    EXPECT_TRUE(std::filesystem::exists(layer));
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0], "Error: The output file is the input file.");
    EXPECT_EQ(messages.back(), "Information: The calibration has been saved.");
}

TEST_F(CalibrationWindowTest, OptionsAndSitesFilesThatCannotServeAreSaid) {
    OpenDrive();
    test::WriteFile(dir.File("bad.csv"),
                    std::string("site,latitude,longitude,antenna_height_m,eirp_dbm,frequency_mhz\n"
                                "S1,51.48,0.0,30,forty,872.3\n"));
    struct Case {
        const char* field;
        QString value;
        std::string sites;
        std::string message;
    };
    const std::string good = dir.File("sites.csv");
    const Case cases[] = {
        {"edRxHeight", QStringLiteral("1,5"), good,
         "Error: The receiver antenna height must be a number, not '1,5'."},
        {"edRxHeight", QStringLiteral("0"), good,
         "Error: The calibration cannot run: the receiver antenna height must be above 0 and at "
         "most 1000 m."},
        {"edMaxDistance", QStringLiteral("far"), good,
         "Error: 'far' is not a number: leave the field empty for no limit."},
        {"edRxHeight", QStringLiteral("1.5"), dir.File("bad.csv"),
         "Error: " + dir.File("bad.csv") +
             ": row 1, field eirp_dbm: the value 'forty' is not a number"},
    };
    for (const Case& c : cases) {
        messages.clear();
        InDialog([&](QDialog& dialog) {
            Find<QLineEdit>("edSites", &dialog)->setText(QString::fromStdString(c.sites));
            Find<QLineEdit>(c.field, &dialog)->setText(c.value);
            Click("btnCalibrate", &dialog);
            EXPECT_FALSE(Find<QPushButton>("btnSave", &dialog)->isEnabled()) << c.message;
            EXPECT_TRUE(Find<QPlainTextEdit>("tbFigures", &dialog)->toPlainText().isEmpty());
            Find<QLineEdit>(c.field, &dialog)
                ->setText(c.field == std::string("edMaxDistance") ? QString()
                                                                  : QStringLiteral("1.5"));
        });
        ASSERT_EQ(messages.size(), 1u) << c.message;
        EXPECT_EQ(messages[0], c.message);
    }
}

}  // namespace
}  // namespace varistrum::test
