// SPDX-License-Identifier: GPL-3.0-or-later
// Coverage in the window: View > Coverage Bins... writes what the command line's bins writes,
// its dialog refuses what bins refuses; the map's cells, shares by cells and Compare With....
#include <gdal_priv.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest/QTest>
#include <filesystem>

#include "app/map_canvas.h"
#include "app/map_window.h"
#include "app/statistics_panel.h"
#include "export/gdal_support.h"
#include "gui_fixture.h"
#include "mapdraw/map_renderer.h"
#include "tools/drive_simulator.h"

namespace varistrum::test {
namespace {

// Every band of a raster, as floats.
std::vector<std::vector<float>> Bands(const std::string& path) {
    RegisterGdalDrivers();
    GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER));
    std::vector<std::vector<float>> bands;
    if (!dataset) return bands;
    const int width = dataset->GetRasterXSize(), height = dataset->GetRasterYSize();
    for (int b = 1; b <= dataset->GetRasterCount(); ++b) {
        std::vector<float> values(static_cast<std::size_t>(width) * height);
        if (dataset->GetRasterBand(b)->RasterIO(GF_Read, 0, 0, width, height, values.data(), width,
                                                height, GDT_Float32, 0, 0) != CE_None)
            return {};
        bands.push_back(std::move(values));
    }
    return bands;
}

class CoverageWindowTest : public GuiTest {
  protected:
    // Answers the Coverage Bins dialog: output, cell size, and the statistics checked.
    void AnswerDialog(const std::string& output, const QString& cell,
                      const std::vector<const char*>& statistics) {
        modal = [=](QDialog& dialog) {
            dialog.findChild<QLineEdit*>(QStringLiteral("edCoverageOutput"))
                ->setText(QString::fromStdString(output));
            dialog.findChild<QLineEdit*>(QStringLiteral("edCellMetres"))->setText(cell);
            for (QCheckBox* box : dialog.findChildren<QCheckBox*>()) box->setChecked(false);
            for (const char* name : statistics)
                dialog.findChild<QCheckBox*>(QStringLiteral("cbStatistic_") + name)
                    ->setChecked(true);
            return static_cast<int>(QDialog::Accepted);
        };
    }
    std::string Log(sim::Scenario scenario, int seed, double seconds) {
        const std::string path = dir.File("drive.klf");
        WriteFile(path, sim::SimulateLog(scenario, 8, seed, seconds));
        return path;
    }
    TMapWindow& OpenMap() {
        Find<QAction>("Map1")->trigger();
        TMapWindow* window = Form().MapWindow();
        EXPECT_NE(window, nullptr);
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return !window->Busy() && window->Data() != nullptr; }, 60000));
        return *window;
    }
    bool WaitForCells(TMapWindow& map) {
        return QTest::qWaitFor([&] { return !map.CellsWorking(); }, 60000);
    }
};

TEST_F(CoverageWindowTest, CoverageBinsWritesWhatTheCommandLineWrites) {
    auto* view = Form().menuBar()->findChild<QMenu*>(QStringLiteral("View1"));
    ASSERT_NE(view, nullptr);
    QAction* action = view->findChild<QAction*>(QStringLiteral("CoverageBins1"));
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), QStringLiteral("Coverage Bins..."));
    const std::string log = Log(sim::Scenario::SingleGps, 5, 300);
    BrowseAndWait(log);
    // 40-lambda averaging in the window: the cells still take every sample.
    Click("rbLambda");
    AnswerDialog(dir.File("gui.tif"), QStringLiteral("50"), {"linear-mean", "median", "count"});
    action->trigger();
    ASSERT_TRUE(WaitIdle());
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "Information: Conversion Has Been Completed!");
    ASSERT_TRUE(std::filesystem::exists(dir.File("gui.qml")));
    ASSERT_EQ(RunCli("bins -q " + log + " -o " + dir.File("cli.tif") +
                     " --cell 50 --statistics linear-mean,median,count"),
              0);
    const auto gui = Bands(dir.File("gui.tif"));
    ASSERT_EQ(gui.size(), 3u);
    EXPECT_TRUE(gui == Bands(dir.File("cli.tif")));

    // What the dialog refuses starts nothing and says why.
    struct Case {
        std::string output;
        QString cell;
        std::vector<const char*> statistics;
        const char* says;
    };
    for (const Case& c :
         {Case{dir.File("x.tif"), QStringLiteral("4"), {"count"}, "5 to 1000"},
          Case{dir.File("x.tif"), QStringLiteral("12,5x"), {"count"}, "5 to 1000"},
          Case{dir.File("x.csv"), QStringLiteral("25"), {"count"}, "GeoTIFF (.tif)"},
          Case{dir.File("x.gpkg"), QStringLiteral("25"), {}, "at least one statistic"}}) {
        messages.clear();
        AnswerDialog(c.output, c.cell, c.statistics);
        action->trigger();
        ASSERT_TRUE(WaitIdle());
        ASSERT_EQ(messages.size(), 1u) << c.says;
        EXPECT_NE(messages.front().find(c.says), std::string::npos) << messages.front();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.tif")));
    // A decimal comma is a cell size too.
    messages.clear();
    AnswerDialog(dir.File("comma.gpkg"), QStringLiteral("12,5"), {"count"});
    action->trigger();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(std::filesystem::exists(dir.File("comma.gpkg")));
}

TEST_F(CoverageWindowTest, TheMapDrawsCellsAndComparesDrives) {
    const std::string log = Log(sim::Scenario::SingleGps, 6, 900);
    BrowseAndWait(log);
    TMapWindow& map = OpenMap();
    EXPECT_TRUE(map.Cells().Empty());
    EXPECT_TRUE(map.Statistics()->AreaLines().empty());
    map.SetCells(50.0);
    ASSERT_TRUE(WaitForCells(map));
    ASSERT_NE(map.CellBinning(), nullptr);
    EXPECT_EQ(map.Cells().cells.size(), map.CellBinning()->CellCount());
    ASSERT_NE(map.Canvas()->Scene().cells, nullptr);
    // The whole drive in a small view piles its points up: cells are drawn.
    EXPECT_TRUE(
        ShowsCells(FittedView(map.Canvas()->Scene(), QSize(200, 150)), map.Canvas()->Scene()));
    // The shares by cells, strongest threshold first, beside the points' shares.
    const auto& lines = map.Statistics()->AreaLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(lines.front().find(" cells at or above -70 dBm"), std::string::npos) << lines.front();
    // Medians instead of linear means: the same cells.
    map.SetCells(50.0, BinStatistic::Median);
    ASSERT_TRUE(WaitForCells(map));
    EXPECT_EQ(map.Cells().cells.size(), map.CellBinning()->CellCount());
    EXPECT_NE(map.Cells().what.find("median"), std::string::npos);

    // The drive against itself: B - A is 0 in every cell, shown with the diverging colours.
    paths.push_back(QString::fromStdString(log));
    map.findChild<QPushButton*>(QStringLiteral("MapCompare"))->click();
    ASSERT_TRUE(WaitForCells(map));
    ASSERT_NE(map.Comparison(), nullptr);
    EXPECT_EQ(map.Comparison()->Summary().meanDifferenceDb, 0.0);
    EXPECT_EQ(map.Cells().colouring, CellColouring::Difference);
    for (const MapCell& cell : map.Cells().cells) EXPECT_EQ(cell.value, 0.0f);
    const auto& figures = map.Statistics()->AreaLines();
    EXPECT_NE(std::find(figures.begin(), figures.end(), "mean difference B - A: +0.00 dB"),
              figures.end());
    // Clicked again, the comparison ends and the drive's own cells are back.
    map.findChild<QPushButton*>(QStringLiteral("MapCompare"))->click();
    EXPECT_EQ(map.Comparison(), nullptr);
    EXPECT_EQ(map.Cells().colouring, CellColouring::Level);
    // No cells: points only, as before.
    map.SetCells(0.0);
    EXPECT_TRUE(map.Cells().Empty());
    EXPECT_EQ(map.Canvas()->Scene().cells, nullptr);
}

}  // namespace
}  // namespace varistrum::test
