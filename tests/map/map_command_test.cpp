// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli map run as a user runs it: the picture, its size, and the failures that leave
// no file behind.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "support/test_files.h"
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

}  // namespace
}  // namespace varistrum
