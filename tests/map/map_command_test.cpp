// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli map run as a user runs it: the picture, its size, and the failures that leave
// no file behind.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "support/test_files.h"
#include "support/tile_server.h"
#include "tools/drive_simulator.h"

namespace varistrum {
namespace {

TEST(MapCommand, WritesThePictureOrFailsWithoutAFile) {
    test::TempDir dir;
    const std::string log = dir.File("drive.klf");
    test::WriteFile(log, sim::SimulateLog(sim::Scenario::List, 8, 7, 180));
    struct Case {
        std::string arguments;
        int status;
        int width, height;  // of the picture; 0 when no picture may be written
    } const cases[] = {
        {"--size 300x200", 0, 300, 200},
        {"--size 320x240 --best-server --receiver 1", 0, 320, 240},
        {"--size 300x200 --channel 99999", 1, 0, 0},
        {"--size 300x200 --background " + dir.File("missing.gpkg"), 1, 0, 0},
        {"--size 300x200 --scans 999", 1, 0, 0},
    };
    for (const Case& c : cases) {
        const std::string picture = dir.File("drive.png");
        std::filesystem::remove(picture);
        const int status = test::RunCommand(std::string(VARISTRUM_CLI) + " map -q " + log + " -o " +
                                            picture + " " + c.arguments + " 2>/dev/null");
        EXPECT_EQ(status, c.status) << c.arguments;
        EXPECT_EQ(std::filesystem::exists(picture), c.width > 0) << c.arguments;
        if (c.width > 0) {
            EXPECT_EQ(QImage(QString::fromStdString(picture)).size(), QSize(c.width, c.height));
        }
    }
    // An output that cannot be written: exit 1 and nothing left.
    const std::string unwritable = dir.File("no-such-folder/drive.png");
    EXPECT_EQ(test::RunCommand(std::string(VARISTRUM_CLI) + " map -q " + log + " -o " + unwritable +
                               " 2>/dev/null"),
              1);
    EXPECT_FALSE(std::filesystem::exists(unwritable));
    // Without -o the picture takes the input's name.
    EXPECT_EQ(test::RunCommand(std::string(VARISTRUM_CLI) + " map -q " + log + " --size 100x100"),
              0);
    EXPECT_TRUE(std::filesystem::exists(dir.File("drive.png")));
}

// Runs the command line as a user would, in a clean environment for tiles: the cache in
// `cache`, no runtime folder, no proxy. The exit status; its error output in `err`.
int RunMap(const test::TempDir& dir, const std::string& arguments, std::string& err) {
    const int status = test::RunCommand(
        "env -u XDG_RUNTIME_DIR -u http_proxy -u HTTP_PROXY -u https_proxy -u HTTPS_PROXY "
        "-u all_proxy -u ALL_PROXY no_proxy=127.0.0.1 XDG_CACHE_HOME=" +
        dir.File("cache") + " " + VARISTRUM_CLI + " map " + arguments + " 2>" + dir.File("err"));
    err = test::ReadFile(dir.File("err"));
    return status;
}

TEST(MapCommand, BackgroundOptionsAreCheckedBeforeAnythingIsRead) {
    test::TempDir dir;
    const std::string log = dir.File("drive.klf");
    test::WriteFile(log, sim::SimulateLog(sim::Scenario::List, 8, 7, 60));
    std::filesystem::create_directory(dir.File("logs"));
    const std::string picture = dir.File("drive.png");
    const struct {
        std::string arguments;
        const char* said;
    } cases[] = {
        {"--tiles osm --background " + log, "--tiles and --background cannot be given together"},
        {"--offline", "--offline needs --tiles"},
        {"--attribution X", "--attribution needs --tiles"},
        {"--tiles nowhere", "no tile source is named 'nowhere'"},
        {"--tiles https://t.example/{z}/{x}.png", "{z}, {x} and {y} once each"},
        {"--tiles osm --input-folder " + dir.File("logs"),
         "online tiles are not fetched for folder jobs"},
        {"--fade 101", "--fade takes a percent from 0 (full colour) to 100"},
        {"--fade x", "--fade takes a percent"},
    };
    for (const auto& c : cases) {
        std::string err;
        EXPECT_EQ(RunMap(dir, "-q " + log + " -o " + picture + " " + c.arguments, err), 2)
            << c.arguments;
        EXPECT_NE(err.find(c.said), std::string::npos) << c.arguments << ": " << err;
        EXPECT_FALSE(std::filesystem::exists(picture));
    }
    // The help lists what map takes, and its own default name.
    ASSERT_EQ(test::RunCommand(std::string(VARISTRUM_CLI) + " map --help >" + dir.File("help")), 0);
    const std::string text = test::ReadFile(dir.File("help"));
    for (const char* shown : {"--tiles", "--offline", "--attribution", "--fade", "--background",
                              "default: the input name with .png", "--scans", "--average"})
        EXPECT_NE(text.find(shown), std::string::npos) << shown;
    for (const char* hidden : {"--tags", "--delimiter", "--split", "--input-folder", "--jobs",
                               "--merge", "--provenance", "--format", "the input name with .out"})
        EXPECT_EQ(text.find(hidden), std::string::npos) << hidden;
}

// Tiles from a server the test runs: the attribution is drawn into the picture, the cache
// serves a second run, offline with an empty cache leaves the paper white and says so, and
// nothing of Qt's start-up reaches the console.
TEST(MapCommand, TilesFromAServerCarryTheirAttributionIntoThePicture) {
    test::TempDir dir;
    test::TileServer server;
    ASSERT_TRUE(server.Running());
    {
        QImage blue(256, 256, QImage::Format_RGB32);
        blue.fill(qRgb(0, 0, 255));
        ASSERT_TRUE(blue.save(QString::fromStdString(server.DefaultTilePath()), "PNG"));
    }
    const std::string log = dir.File("drive.klf");
    test::WriteFile(log, sim::SimulateLog(sim::Scenario::List, 8, 7, 60));
    const std::string tiles = " --size 400x300 --fade 0 --tiles " + server.UrlTemplate();
    // The bottom right corner: the attribution's light box and dark letters, or blue tiles.
    const auto corner = [](const QImage& image, int& light, int& dark, int& blue) {
        light = dark = blue = 0;
        for (int y = image.height() - 14; y < image.height(); ++y) {
            for (int x = image.width() - 60; x < image.width(); ++x) {
                const QRgb c = image.pixel(x, y);
                light += qRed(c) > 220 && qGreen(c) > 220 && qBlue(c) > 220;
                dark += qRed(c) < 110 && qGreen(c) < 110 && qBlue(c) < 110;
                blue += c == qRgb(0, 0, 255);
            }
        }
    };
    const struct {
        std::string arguments;
        int status;
        const char* said;  // on the error output; nullptr: nothing at all
        bool attribution, requests;
    } runs[] = {
        {tiles + " --attribution 'Tiles by Test'", 0, nullptr, true, true},
        {tiles + " --attribution 'Tiles by Test'", 0, nullptr, true, false},  // from the cache
        {tiles, 0, "Warning: The tiles have no attribution", false, false},
        {tiles + " --offline --attribution T", 0,
         "Warning: The map has no background: no cached tiles for this view.", true, false},
    };
    std::size_t requests = 0;
    for (const auto& run : runs) {
        SCOPED_TRACE(run.arguments);
        if (&run == &runs[3]) std::filesystem::remove_all(dir.File("cache"));
        const std::string picture = dir.File("drive.png");
        std::string err;
        EXPECT_EQ(RunMap(dir, "-q " + log + " -o " + picture + run.arguments, err), run.status);
        if (run.said == nullptr)
            EXPECT_EQ(err, "");
        else
            EXPECT_NE(err.find(run.said), std::string::npos) << err;
        const QImage image(QString::fromStdString(picture));
        ASSERT_EQ(image.size(), QSize(400, 300));
        int light = 0, dark = 0, blue = 0;
        corner(image, light, dark, blue);
        if (run.attribution) {
            EXPECT_GT(light, 50);
            EXPECT_GT(dark, 10);
        } else {
            EXPECT_EQ(dark, 0);
            EXPECT_GT(blue, 700);
        }
        const std::size_t now = server.Requests().size();
        EXPECT_EQ(now > requests, run.requests);
        requests = now;
    }
    for (const auto& request : server.Requests())
        EXPECT_EQ(request.userAgent, std::string("Varistrum-CW/") + VARISTRUM_VERSION);
}

// A source saved in the configuration's [Map] section is named by --tiles.
TEST(MapCommand, TilesNamedInTheConfiguration) {
    test::TempDir dir;
    test::TileServer server;
    ASSERT_TRUE(server.Running());
    {
        QImage green(256, 256, QImage::Format_RGB32);
        green.fill(qRgb(0, 200, 0));
        ASSERT_TRUE(green.save(QString::fromStdString(server.DefaultTilePath()), "PNG"));
    }
    const std::string log = dir.File("drive.klf");
    test::WriteFile(log, sim::SimulateLog(sim::Scenario::List, 8, 7, 60));
    test::WriteFile(dir.File("map.cfg"),
                    "[Map]\r\nCount=1\r\nName0=Local green\r\nTemplate0=" + server.UrlTemplate() +
                        "\r\nAttribution0=Green\r\nMaxZoom0=15\r\n");
    std::string err;
    EXPECT_EQ(RunMap(dir,
                     "-q --config " + dir.File("map.cfg") + " " + log + " -o " + dir.File("g.png") +
                         " --size 300x200 --fade 0 --tiles 'local green'",
                     err),
              0)
        << err;
    EXPECT_EQ(err, "");
    for (const auto& request : server.Requests()) {
        int zoom = -1;
        std::sscanf(request.path.c_str(), "/%d/", &zoom);
        EXPECT_LE(zoom, 15) << request.path;  // the source's maximum zoom
    }
    EXPECT_FALSE(server.Requests().empty());
    // The tiles fill the picture where the legend, the title and the drive leave room.
    const QImage image(QString::fromStdString(dir.File("g.png")));
    int green = 0;
    for (int y = 30; y < 170; ++y)
        for (int x = 0; x < 130; ++x) green += image.pixel(x, y) == qRgb(0, 200, 0);
    EXPECT_GT(green, 130 * 140 / 2);
}

}  // namespace
}  // namespace varistrum
