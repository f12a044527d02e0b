// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the map picture, with or without a window around.
#include "mapdraw/map_picture_file.h"

#include <QGuiApplication>
#include <cstdio>
#include <memory>

namespace varistrum {

bool WritePng(const QImage& image, const std::string& path) {
    if (image.save(QString::fromStdString(path), "PNG")) return true;
    std::remove(path.c_str());  // a half-written picture is no picture
    return false;
}

bool WriteMapPicture(const MapScene& scene, int width, int height, const std::string& path) {
    std::unique_ptr<QGuiApplication> application;
    static int argc = 1;
    static char name[] = "varistrum-cli";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
    return WritePng(RenderMap(FittedView(scene, QSize(width, height)), scene), path);
}

}  // namespace varistrum
