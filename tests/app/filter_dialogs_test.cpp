// SPDX-License-Identifier: GPL-3.0-or-later
// The standing-still and threshold filters in the window: their dialogs store what OK accepts,
// a conversion with them matches the command line, and Save Configuration keeps them.
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTextBrowser>

#include "app/threshold_dlg.h"
#include "app/traffic_dlg.h"
#include "convert/field_catalog.h"
#include "gui_fixture.h"

namespace varistrum::test {
namespace {

using FilterDialogsTest = GuiTest;

void SetText(QDialog& dialog, const char* name, const char* text) {
    dialog.findChild<QLineEdit*>(QLatin1String(name))->setText(QString::fromLatin1(text));
}

TEST_F(FilterDialogsTest, TrafficStoresWhatOkAcceptsAndNamesWhatItRefuses) {
    TTrafficDlg& dialog = Windows().TrafficDlg();
    EXPECT_EQ(Find<QLineEdit>("Distance", &dialog)->text(), ".0005");
    EXPECT_TRUE(Find<QRadioButton>("Degrees", &dialog)->isChecked());
    EXPECT_EQ(Find<QRadioButton>("Metres", &dialog)->text(), "metres");
    EXPECT_EQ(Find<QLineEdit>("Time", &dialog)->text(), "30");
    EXPECT_EQ(dialog.Rule(), StandStillRule{});
    struct Case {
        const char* distance;
        const char* unit;
        const char* time;
        const char* refusal;  // nullptr: accepted
    };
    const Case cases[] = {
        {"0", "Metres", "30", "Error: The Distance must be a number above 0"},
        {"0,5", "Metres", "30", "Error: The Distance must be a number above 0"},
        {"abc", "Minutes", "30", "Error: The Distance must be a number above 0"},
        {"50", "Metres", "0", "Error: The Time must be a whole number of seconds from 1 to 3600."},
        {"50", "Metres", "3601", "Error: The Time must be a whole number"},
        {"50", "Metres", "2.5", "Error: The Time must be a whole number"},
        {"50", "Metres", "45", nullptr},
        {"1.5", "Minutes", "3600", nullptr},
    };
    StandStillRule stored;
    for (const Case& c : cases) {
        messages.clear();
        dialog.show();
        SetText(dialog, "Distance", c.distance);
        Find<QRadioButton>(c.unit, &dialog)->setChecked(true);
        SetText(dialog, "Time", c.time);
        Click("BitBtn1", &dialog);
        if (c.refusal != nullptr) {
            ASSERT_EQ(messages.size(), 1u) << c.distance << ' ' << c.time;
            EXPECT_EQ(messages[0].rfind(c.refusal, 0), 0u) << messages[0];
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_EQ(dialog.Rule(), stored) << c.distance << ' ' << c.time;
            dialog.reject();  // closing shows the stored rule again
            EXPECT_EQ(ParseTrafficSeconds(Find<QLineEdit>("Time", &dialog)->text()),
                      stored.seconds);
            continue;
        }
        EXPECT_TRUE(messages.empty()) << messages.front();
        EXPECT_FALSE(dialog.isVisible());
        stored = dialog.Rule();
    }
    EXPECT_EQ(stored, (StandStillRule{1.5, DistanceUnit::Minutes, 3600}));
}

TEST_F(FilterDialogsTest, ThresholdStoresWhatOkAcceptsAndAnyNumberIsAValue) {
    TThresholdDlg& dialog = Windows().ThresholdDlg();
    EXPECT_EQ(Find<QComboBox>("comboField", &dialog)->currentText(), "RSSI");
    EXPECT_EQ(Find<QComboBox>("comboComparator", &dialog)->currentText(), ">");
    EXPECT_EQ(Find<QComboBox>("comboComparator", &dialog)->count(), 5);
    EXPECT_EQ(Find<QLineEdit>("edValue", &dialog)->text(), "-100");
    dialog.show();
    SetText(dialog, "edValue", "fast");
    Click("OKBtn", &dialog);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.Rule(), ThresholdRule{});
    Find<QComboBox>("comboField", &dialog)->setCurrentIndex(1);
    Find<QComboBox>("comboComparator", &dialog)->setCurrentIndex(3);
    SetText(dialog, "edValue", " 1e3 ");
    Click("OKBtn", &dialog);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Rule(),
              (ThresholdRule{ThresholdField::Velocity, Comparator::LessOrEqual, 1000.0}));
}

// Ticked and set in the window, the two filters convert as the command line's options do, say
// what they dropped, and come back from a saved configuration.
TEST_F(FilterDialogsTest, TheWindowsFiltersMatchTheCommandLineAndAreSaved) {
    const std::string log = dir.File("stops.klf");
    ASSERT_EQ(RunCommand(std::string(VARISTRUM_SIM) +
                         " --seed 7 --scenario single-gps --duration 300 --stops 2,60 --out " +
                         log + " 2>/dev/null"),
              0);
    const std::string cliOut = dir.File("cli.out");
    ASSERT_EQ(RunCli("convert -q " + log + " -o " + cliOut +
                     " --tags 5,11,18,0 --drop-stationary 3m,30 --threshold 'rssi>=-95'"),
              0);
    BrowseAndWait(log);
    for (int tag : {LatitudeDecimalDegrees, LongitudeDecimalDegrees, GpsTime, DataField})
        SelectField(tag);
    modal = [](QDialog& dialog) {
        if (qobject_cast<TTrafficDlg*>(&dialog) != nullptr) {
            SetText(dialog, "Distance", "3");
            dialog.findChild<QRadioButton*>(QStringLiteral("Metres"))->setChecked(true);
            dialog.findChild<QAbstractButton*>(QStringLiteral("BitBtn1"))->click();
        } else if (qobject_cast<TThresholdDlg*>(&dialog) != nullptr) {
            dialog.findChild<QComboBox*>(QStringLiteral("comboComparator"))->setCurrentIndex(1);
            SetText(dialog, "edValue", "-95");
            dialog.findChild<QAbstractButton*>(QStringLiteral("OKBtn"))->click();
        }
        return dialog.result();
    };
    Click("cbTraffic");
    Click("btnTrafficSettings");
    Click("cbThreshold");
    Click("btnThresholdSettings");
    paths.push_back(QString::fromStdString(dir.File("gui.out")));
    Click("OutBrowse");
    Click("btnConvert");
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].rfind("Information: Filters dropped ", 0), 0u) << messages[0];
    EXPECT_EQ(messages[1], "Information: Conversion Has Been Completed!");
    EXPECT_TRUE(ReadFile(dir.File("gui.out")) == ReadFile(cliOut));

    const SettingsModel saved = Form().CurrentSettings();
    const std::string cfg = dir.File("filters.cfg");
    paths.push_back(QString::fromStdString(cfg));
    Find<QAction>("SaveConfiguration1")->trigger();
    EXPECT_NE(ReadFile(cfg).find("Traffic=1\r\nTrafficDistance=3\r\nTrafficUnit=2\r\n"
                                 "TrafficSeconds=30\r\nThreshold=1\r\nThresholdField=0\r\n"
                                 "ThresholdComparator=1\r\nThresholdValue=-95\r\n"),
              std::string::npos);
    Click("cbTraffic");
    Click("cbThreshold");
    modal = nullptr;
    paths.push_back(QString::fromStdString(cfg));
    Find<QAction>("OpenConfiguration1")->trigger();
    ASSERT_TRUE(WaitIdle());
    const SettingsModel opened = Form().CurrentSettings();
    EXPECT_TRUE(Find<QCheckBox>("cbTraffic")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("cbThreshold")->isChecked());
    EXPECT_EQ(std::tie(opened.trafficDistance, opened.trafficUnit, opened.trafficSeconds),
              std::tie(saved.trafficDistance, saved.trafficUnit, saved.trafficSeconds));
    EXPECT_EQ(std::tie(opened.thresholdField, opened.thresholdComparator, opened.thresholdValue),
              std::tie(saved.thresholdField, saved.thresholdComparator, saved.thresholdValue));
}

// Drive Quality drops standing still as a conversion does and tells its time; it ignores the
// threshold and says so once.
TEST_F(FilterDialogsTest, DriveQualityDropsStandingStillAndIgnoresTheThreshold) {
    const std::string log = dir.File("stops.klf");
    ASSERT_EQ(RunCommand(std::string(VARISTRUM_SIM) +
                         " --seed 7 --scenario single-gps --duration 300 --stops 2,60 --out " +
                         log + " 2>/dev/null"),
              0);
    BrowseAndWait(log);
    Click("cbTraffic");
    Click("cbThreshold");
    QString shown;
    modal = [&shown](QDialog& dialog) {
        if (auto* browser = dialog.findChild<QTextBrowser*>(QStringLiteral("tbReport")))
            shown = browser->toPlainText();
        dialog.reject();
        return dialog.result();
    };
    Find<QAction>("DriveQuality1")->trigger();
    EXPECT_TRUE(shown.contains("Standing still dropped: stops within 55.6")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(", 2 stops")) << shown.toStdString();
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "Information: The threshold (RSSI > -100) is not applied here: "
                            "coverage, comparisons, calibration and the report take every "
                            "reading, as dropping weak ones would inflate coverage and bias a "
                            "fit."}));
}

}  // namespace
}  // namespace varistrum::test
