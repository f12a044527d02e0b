// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the map picture, with or without a window around.
#include "mapdraw/map_picture_file.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>
#include <memory>

#include "base/output_file.h"
#include "base/utf8_text.h"

namespace varistrum {

bool EncodePng(const QImage& image, const std::string& title, std::string& png,
               std::string& reason) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "PNG");
    if (!title.empty())
        writer.setText(QStringLiteral("Title"), QString::fromStdString(ValidUtf8(title)));
    if (!writer.write(image)) {
        reason = writer.errorString().toStdString();
        return false;
    }
    png.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

bool WritePng(const QImage& image, const std::string& path, const std::string& title,
              std::string& reason) {
    // Encoded in memory first: the file is then written as one stream, so that a device or a
    // named pipe can take it and a full disk leaves no half picture.
    std::string png;
    if (!EncodePng(image, title, png, reason)) return false;
    return WriteWholeFile(path, png, kPngOutput, reason);
}

bool WriteMapPicture(const MapScene& scene, int width, int height, const std::string& path,
                     const std::string& title, std::string& reason) {
    std::unique_ptr<QGuiApplication> application;
    static int argc = 1;
    static char name[] = "varistrum-cli";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
    return WritePng(RenderMap(FittedView(scene, QSize(width, height)), scene), path, title, reason);
}

}  // namespace varistrum
