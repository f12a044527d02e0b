// SPDX-License-Identifier: GPL-3.0-or-later
// The map window driven as a user drives it: View > Map..., a double-click on a scan, the
// channel chooser, thresholds, zoom and pan, cancel, and the picture against the command line.
#include "app/map_window.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidgetItem>
#include <QtTest/QTest>
#include <cstdio>
#include <filesystem>

#include "app/map_canvas.h"
#include "app/scan_tree_view.h"
#include "app/statistics_panel.h"
#include "app/tile_source_dlg.h"
#include "gui_fixture.h"
#include "support/tile_server.h"
#include "tools/drive_simulator.h"

namespace varistrum::test {
namespace {

class MapWindowTest : public GuiTest {
  protected:
    // Opens the map from the View menu and waits for its points.
    TMapWindow& OpenMap() {
        QAction* item = Find<QAction>("Map1");
        EXPECT_EQ(item->text(), QStringLiteral("&Map..."));
        item->trigger();
        return WaitForMap();
    }
    TMapWindow& WaitForMap() {
        TMapWindow* window = Form().MapWindow();
        EXPECT_NE(window, nullptr);
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return !window->Busy() && window->Data() != nullptr; }, 60000));
        QTest::qWait(20);
        return *window;
    }
    std::string Log(sim::Scenario scenario, int seed = 4) {
        const std::string path = dir.File("drive.klf");
        WriteFile(path, sim::SimulateLog(scenario, 8, seed, 240));
        return path;
    }
};

TEST_F(MapWindowTest, TheViewMenuShowsTheCheckedScansWithTheirChannels) {
    BrowseAndWait(Log(sim::Scenario::List));
    TMapWindow& map = OpenMap();
    ASSERT_NE(map.Data(), nullptr);
    EXPECT_EQ(map.Result().outcome.outcome, JobOutcome::Completed);
    QComboBox* channels = map.ChannelBox();
    ASSERT_GE(channels->count(), 2);
    EXPECT_EQ(channels->itemText(0), QStringLiteral("Strongest channel"));
    EXPECT_TRUE(channels->itemText(1).startsWith(QStringLiteral("Channel ")));
    EXPECT_TRUE(channels->itemText(1).endsWith(QStringLiteral(" MHz)")));
    // The statistics follow the chosen channel.
    const std::int64_t strongest = map.Statistics()->Summary().points;
    EXPECT_EQ(strongest, map.Data()->LevelsOf(MapChannels::kStrongest).Points());
    channels->setCurrentIndex(1);
    const auto id = static_cast<std::uint16_t>(channels->itemData(1).toInt());
    EXPECT_EQ(map.Canvas()->Scene().channel, id);
    EXPECT_EQ(map.Statistics()->Summary().points, map.Data()->LevelsOf(id).Points());
    // Thresholds: five increasing levels change the legend; others are refused.
    EXPECT_FALSE(map.SetThresholdsText(QStringLiteral("-70,-80,-90,-100,-110")));
    EXPECT_TRUE(map.SetThresholdsText(QStringLiteral("-105,-95,-85,-75,-65")));
    EXPECT_EQ(map.Canvas()->Scene().ramp.Text(), "-105,-95,-85,-75,-65");
    EXPECT_EQ(map.Statistics()->Summary().bounds[0], -105.0);
}

TEST_F(MapWindowTest, ADoubleClickedScanIsShownAloneAndUncheckedScansAreAbsent) {
    BrowseAndWait(Log(sim::Scenario::Mixed, 6));
    auto* tree = Find<TScanTreeView>("tvIndex");
    // The first scan of the tree that has a node.
    int scan = 0;
    for (int n = 1; n < 10000 && scan == 0; ++n)
        if (tree->ScanItem(n) != nullptr) scan = n;
    ASSERT_GT(scan, 0);
    emit tree->itemDoubleClicked(tree->ScanItem(scan), 0);
    TMapWindow& map = WaitForMap();
    ASSERT_EQ(map.Data()->scans.size(), 1u);
    EXPECT_EQ(map.Data()->scans[0].number, scan);
    EXPECT_LE(map.Data()->routes.size(), 1u);
    EXPECT_TRUE(map.windowTitle().endsWith(QStringLiteral("scan ") + QString::number(scan)));
}

TEST_F(MapWindowTest, ZoomAndPanKeepThePointUnderTheCursor) {
    BrowseAndWait(Log(sim::Scenario::SingleGps));
    TMapWindow& map = OpenMap();
    TMapCanvas* canvas = map.Canvas();
    const QPointF cursors[] = {{100, 80}, {canvas->width() - 5.0, canvas->height() / 2.0}};
    for (const QPointF cursor : cursors) {
        const WorldPoint before = canvas->View().ToWorld({cursor.x(), cursor.y()});
        QWheelEvent wheel(cursor, canvas->mapToGlobal(cursor), {}, QPoint(0, 240), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas, &wheel);
        const ScreenPoint after = canvas->View().ToScreen(before);
        EXPECT_NEAR(after.x, cursor.x(), 1e-6);
        EXPECT_NEAR(after.y, cursor.y(), 1e-6);
        // A drag of 30 pixels right and 20 down takes the point along.
        QTest::mousePress(canvas, Qt::LeftButton, {}, cursor.toPoint());
        QTest::mouseMove(canvas, (cursor + QPointF(30, 20)).toPoint());
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, (cursor + QPointF(30, 20)).toPoint());
        const ScreenPoint dragged = canvas->View().ToScreen(before);
        // The status bar tells the cursor's position.
        EXPECT_TRUE(Find<QLabel>("MapPosition", &map)->text().startsWith(QStringLiteral("lat ")));
        EXPECT_NEAR(dragged.x,
                    std::floor(cursor.x()) + 30.0 + (cursor.x() - std::floor(cursor.x())), 1.0);
        EXPECT_NEAR(dragged.y, cursor.y() + 20.0, 1.0);
    }
}

TEST_F(MapWindowTest, APointsTooltipTellsWhatItIs) {
    BrowseAndWait(Log(sim::Scenario::SingleGps, 8));
    TMapWindow& map = OpenMap();
    TMapCanvas* canvas = map.Canvas();
    const ChannelPoints& points = map.Data()->points.Group(MapChannels::kStrongest);
    ASSERT_GT(points.Size(), 0u);
    const std::size_t last = points.Size() - 1;  // drawn last, so on top
    const ScreenPoint at =
        canvas->View().ToScreen({points.x[last] * kFixedStep, points.y[last] * kFixedStep});
    const QPoint position(static_cast<int>(at.x), static_cast<int>(at.y));
    QHelpEvent help(QEvent::ToolTip, position, canvas->mapToGlobal(position));
    QApplication::sendEvent(canvas, &help);
    const QString text = QToolTip::text();
    EXPECT_TRUE(text.startsWith(QStringLiteral("Scan "))) << text.toStdString();
    for (const char* line : {"\nTime ", "\nChannel ", "\nFrequency ", "\nLevel ", "\nSamples "})
        EXPECT_TRUE(text.contains(QLatin1String(line))) << line;
}

TEST_F(MapWindowTest, SaveImageEqualsTheCommandLinePictureAtTheSameSize) {
    const std::string log = Log(sim::Scenario::Table, 9);
    BrowseAndWait(log);
    TMapWindow& map = OpenMap();
    ASSERT_TRUE(map.SetThresholdsText(QStringLiteral("-100,-95,-90,-85,-80")));
    const std::string window = dir.File("window.png"), cli = dir.File("cli.png");
    ASSERT_TRUE(map.SaveImage(QString::fromStdString(window), QSize(640, 420)));
    ASSERT_EQ(RunCli("map -q " + log + " -o " + cli +
                     " --size 640x420 --rssi-thresholds -100,-95,-90,-85,-80"),
              0);
    const QImage fromWindow(QString::fromStdString(window)), fromCli(QString::fromStdString(cli));
    ASSERT_EQ(fromWindow.size(), QSize(640, 420));
    EXPECT_TRUE(fromWindow == fromCli);
    // At the canvas's size the picture is the view as shown.
    ASSERT_TRUE(map.SaveImage(QString::fromStdString(window), map.Canvas()->size()));
    EXPECT_EQ(QImage(QString::fromStdString(window)).size(), map.Canvas()->size());
    // A GIS places it: its world file and coordinate system lie beside it.
    EXPECT_TRUE(std::filesystem::exists(dir.File("window.pgw")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("window.png.aux.xml")));
    EXPECT_FALSE(
        map.SaveImage(QString::fromStdString(dir.File("no/such/folder/x.png")), QSize(100, 100)));
}

// Save Image takes the size the command line takes: beyond 8192 a side it is refused with the
// limit named, before anything is drawn.
TEST_F(MapWindowTest, SaveImageRefusesAPictureBeyondTheLimit) {
    BrowseAndWait(Log(sim::Scenario::SingleGps));
    TMapWindow& map = OpenMap();
    const struct {
        const char* size;
        bool written;
    } cases[] = {{"8193x1000", false}, {"16384x16384", false}, {"320x8192", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        messages.clear();
        const std::string picture = dir.File("picture.png");
        std::remove(picture.c_str());
        paths = {QString::fromStdString(picture)};
        // The size box is answered as soon as it shows.
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(
                QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 5000));
            auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            box->setTextValue(QString::fromLatin1(c.size));
            box->accept();
        });
        Click("MapSaveImage", &map);
        EXPECT_EQ(std::filesystem::exists(picture), c.written);
        if (!c.written) {
            EXPECT_EQ(messages, std::vector<std::string>{
                                    "Error: The size must be WIDTHxHEIGHT, each from 64 to 8192 "
                                    "pixels."});
        }
    }
}

// The background chooser: none, a file, the built-in tiles and the user's, which Save
// Configuration keeps; tiles drawn faded, offline from the cache; a saved picture's title.
TEST_F(MapWindowTest, TheBackgroundChooserOffersFilesAndTileSourcesTheConfigurationKeeps) {
    UseTileCache(dir.File("cache"));
    TileServer server;
    ASSERT_TRUE(server.Running());
    QImage blue(256, 256, QImage::Format_RGB32);
    blue.fill(qRgb(0, 0, 255));
    ASSERT_TRUE(blue.save(QString::fromStdString(server.DefaultTilePath()), "PNG"));
    BrowseAndWait(Log(sim::Scenario::SingleGps));
    TMapWindow& map = OpenMap();
    const auto items = [&] {
        QStringList texts;
        for (int i = 0; i < map.BackgroundBox()->count(); ++i)
            texts << map.BackgroundBox()->itemText(i);
        return texts;
    };
    EXPECT_EQ(items(),
              (QStringList{"None", "File...", "Tiles: OpenStreetMap", "Add Tile Source..."}));

    const TileSource local{"Local", server.UrlTemplate(), "Local tiles", 17};
    const struct {
        TileSource source;
        const char* said;  // empty: added
    } additions[] = {
        {local, ""},
        {{"local", "https://x.example/{z}/{x}/{y}.png", "", 10}, "is named 'local' already"},
        {{"Broken", "https://x.example/{z}/{x}.png", "", 10}, "once each"},
    };
    for (const auto& a : additions) {
        const QString error = map.AddTileSource(a.source);
        EXPECT_TRUE(error.contains(QLatin1String(a.said))) << error.toStdString();
        EXPECT_EQ(error.isEmpty(), std::string(a.said).empty());
    }
    EXPECT_EQ(items(), (QStringList{"None", "File...", "Tiles: OpenStreetMap", "Tiles: Local",
                                    "Add Tile Source..."}));
    // The dialog refuses what cannot be used, in place.
    TTileSourceDlg dialog;
    dialog.SetSource({"Bad", "ftp://x/{z}/{x}/{y}", "", 3});
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(Find<QLabel>("lbProblem", &dialog)->text().isEmpty());

    // The tiles under the drive at half strength, then offline from the cache alone.
    ASSERT_EQ(map.ShowTileSource(1), QString());
    const auto fadedBlue = [&] {
        const QImage picture = map.Canvas()->Picture();
        int count = 0;
        for (int y = 0; y < picture.height(); y += 3)
            for (int x = 0; x < picture.width() / 2; x += 3)
                count += picture.pixel(x, y) == qRgb(128, 128, 255);
        return count;
    };
    EXPECT_GT(fadedBlue(), 1000);
    const std::size_t fetched = server.Requests().size();
    EXPECT_GT(fetched, 0u);
    map.SetOffline(true);
    EXPECT_GT(fadedBlue(), 1000);
    EXPECT_EQ(server.Requests().size(), fetched);
    map.SetFade(100);
    EXPECT_EQ(fadedBlue(), 0);

    // The saved picture has the title line across its top.
    const std::string picture = dir.File("tiles.png");
    ASSERT_TRUE(map.SaveImage(QString::fromStdString(picture), map.Canvas()->size()));
    const QImage saved(QString::fromStdString(picture));
    int dark = 0;
    for (int x = 0; x < 200; ++x)
        for (int y = 2; y < 14; ++y) dark += qRed(saved.pixel(x, y)) < 90;
    EXPECT_GT(dark, 20);

    // Save Configuration keeps the user's source; a configuration without one takes it away.
    const std::string cfg = dir.File("map.cfg");
    ASSERT_TRUE(Form().SaveConfigurationFile(QString::fromStdString(cfg)));
    EXPECT_NE(ReadFile(cfg).find("[Map]\r\nCount=1\r\nName0=Local\r\n"), std::string::npos);
    WriteFile(dir.File("plain.cfg"), "[OutputFile]\r\nFilename=x.out\r\n");
    Form().OpenConfigurationFile(QString::fromStdString(dir.File("plain.cfg")));
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(map.TileSources().empty());
    EXPECT_EQ(map.Canvas()->Scene().background, nullptr);
    Form().OpenConfigurationFile(QString::fromStdString(cfg));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(map.TileSources(), std::vector<TileSource>{local});
    map.ClearBackground();
    EXPECT_EQ(map.BackgroundBox()->currentText(), QStringLiteral("None"));
}

TEST_F(MapWindowTest, CancelStopsTheCollectingPass) {
    const std::string path = dir.File("long.klf");
    WriteFile(path, sim::SimulateLog(sim::Scenario::Mixed, 8, 2, 3600));
    BrowseAndWait(path);
    Find<QAction>("Map1")->trigger();
    TMapWindow* map = Form().MapWindow();
    ASSERT_NE(map, nullptr);
    map->Cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !map->Busy() && map->Data() != nullptr; }, 60000));
    EXPECT_NE(map->Result().outcome.outcome, JobOutcome::Failed);
    EXPECT_TRUE(WaitIdle());
}

}  // namespace
}  // namespace varistrum::test
