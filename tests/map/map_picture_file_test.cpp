// SPDX-License-Identifier: GPL-3.0-or-later
// The map picture's file: a PNG whose title is valid UTF-8 whatever the log's name, written
// through the one writer (an earlier picture stays when a write cannot be made).
#include "mapdraw/map_picture_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>
#include <QImageReader>
#include <filesystem>

#include "support/test_files.h"

namespace varistrum {
namespace {

using test::ReadFile;
using test::TempDir;

TEST(MapPictureFileTest, TheTitleIsValidUtf8AndTheFileWholeOrAbsent) {
    TempDir dir;
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::white);
    const struct {
        const char* title;
        QString read;  // the title a PNG reader finds
    } cases[] = {
        {"drive.klf", QStringLiteral("drive.klf")},
        {"caf\xc3\xa9 \xe2\x82\xac.klf", QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac.klf")},
        {"caf\xe9\xff.klf", QString::fromUtf8("caf\xef\xbf\xbd\xef\xbf\xbd.klf")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        std::string reason;
        ASSERT_TRUE(WritePng(image, dir.File("map.png"), c.title, reason)) << reason;
        QImageReader reader(QString::fromStdString(dir.File("map.png")));
        EXPECT_EQ(reader.text(QStringLiteral("Title")), c.read);
        EXPECT_EQ(reader.read().size(), image.size());
    }
    // A named pipe nobody reads and a folder are refused without waiting; the earlier picture
    // under a name stays when the new one cannot be written.
    ASSERT_EQ(::mkfifo(dir.File("fifo.png").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.File("folder.png"));
    const std::string earlier = ReadFile(dir.File("map.png"));
    std::string reason;
    EXPECT_FALSE(WritePng(image, dir.File("fifo.png"), "x", reason));
    EXPECT_EQ(reason, "no process reads the named pipe");
    EXPECT_FALSE(WritePng(image, dir.File("folder.png"), "x", reason));
    EXPECT_EQ(reason, "Is a directory");
    EXPECT_FALSE(WritePng(image, dir.File("no/such/map.png"), "x", reason));
    EXPECT_EQ(ReadFile(dir.File("map.png")), earlier);
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_NE(entry.path().filename().string().front(), '.');
}

}  // namespace
}  // namespace varistrum
