// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the map picture and its georeference, with or without a window around.
#include "mapdraw/map_picture_file.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QSysInfo>
#include <cstdio>
#include <memory>

#include "base/output_set.h"
#include "base/utf8_text.h"
#include "map/picture_georeference.h"

namespace varistrum {

namespace {

constexpr OutputKind kWorldFileOutput{"a world file", false, ""};
constexpr OutputKind kAuxFileOutput{"GDAL's side file", false, ""};
constexpr OutputKind kGeoTiffOutput{"a GeoTIFF", false, ".tif"};

bool NamesGeoTiff(const std::string& path) {
    const auto endsWith = [&](const char* ending) {
        const std::string tail(ending);
        if (path.size() < tail.size()) return false;
        for (std::size_t i = 0; i < tail.size(); ++i) {
            char c = path[path.size() - tail.size() + i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != tail[i]) return false;
        }
        return true;
    };
    return endsWith(".tif") || endsWith(".tiff");
}

bool EncodePngBytes(const QImage& image, const std::string& title, QByteArray& bytes,
                    std::string& reason) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "PNG");
    if (!title.empty())
        writer.setText(QStringLiteral("Title"), QString::fromStdString(ValidUtf8(title)));
    if (!writer.write(image)) {
        reason = writer.errorString().toStdString();
        return false;
    }
    return true;
}

// Qt's offscreen platform announces a runtime folder it makes for itself when XDG_RUNTIME_DIR
// is not set: nothing the user of the command line can act on. Every other message passes.
QtMessageHandler previousHandler = nullptr;
bool noticeQuietened = false;

void QuietRuntimeNotice(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg &&
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (previousHandler != nullptr) {
        previousHandler(type, context, message);
        return;
    }
    const QByteArray text = qFormatLogMessage(type, context, message).toLocal8Bit();
    std::fprintf(stderr, "%s\n", text.constData());
}

}  // namespace

std::vector<std::string> MapPictureFiles(const std::string& path) {
    if (NamesGeoTiff(path)) return {path};
    if (ClassifyTarget(path).TakesStream()) return {path};
    return {path, WorldFilePathOf(path), AuxPathOf(path)};
}

namespace {

void AddPictureFiles(OutputSet& files, const std::string& path) {
    const std::vector<std::string> names = MapPictureFiles(path);
    files.Add(path, NamesGeoTiff(path) ? kGeoTiffOutput : kPngOutput);
    if (names.size() > 1) {
        // Named after the picture: never written through a link.
        files.Add(names[1], kWorldFileOutput, OutputSet::Naming::Derived);
        files.Add(names[2], kAuxFileOutput, OutputSet::Naming::Derived);
    }
}

}  // namespace

std::optional<OutputRefusal> CheckMapPictureFiles(const std::string& path) {
    OutputSet files;
    AddPictureFiles(files, path);
    return files.Check();
}

bool WriteMapImage(const QImage& image, const MapViewport& view, const std::string& path,
                   const std::string& title, std::string& failedPath, std::string& reason) {
    const PictureGeoreference georeference = GeoreferenceOf(view);
    OutputSet files;
    const bool tiff = NamesGeoTiff(path);
    AddPictureFiles(files, path);
    const auto fail = [&](const std::string& file, const std::string& why) {
        failedPath = file;
        reason = why;
        return false;
    };
    if (const auto refusal = files.Check()) return fail(refusal->path, refusal->message);
    if (tiff) {
        StagedFile* work = files.WorkFile(0);
        if (work == nullptr) return fail(files.FailedPath(), files.FailureReason());
        const QImage rgb = image.format() == QImage::Format_RGB32
                               ? image
                               : image.convertToFormat(QImage::Format_RGB32);
        const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
        PicturePixels pixels;
        pixels.first = rgb.constBits();
        pixels.stride = rgb.bytesPerLine();
        pixels.width = rgb.width();
        pixels.height = rgb.height();
        pixels.redByte = little ? 2 : 1;
        pixels.greenByte = little ? 1 : 2;
        pixels.blueByte = little ? 0 : 3;
        std::string why;
        if (!WriteGeoTiff(work->WorkPath(), pixels, georeference, title, why))
            return fail(path, why);
    } else {
        // Encoded in memory first: the file is then written as one stream, so that a device or
        // a named pipe can take it and a full disk leaves no half picture.
        QByteArray bytes;
        std::string why;
        if (!EncodePngBytes(image, title, bytes, why)) return fail(path, why);
        const std::string texts[] = {
            std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())),
            WorldFileText(georeference), WebMercatorAuxXml()};
        for (std::size_t i = 0; i < files.Size(); ++i) {
            OutputFile* file = files.Stream(i);
            if (file == nullptr) return fail(files.FailedPath(), files.FailureReason());
            file->Write(texts[i]);
        }
    }
    if (!files.Commit()) return fail(files.FailedPath(), files.FailureReason());
    return true;
}

bool EncodePng(const QImage& image, const std::string& title, std::string& png,
               std::string& reason) {
    QByteArray bytes;
    if (!EncodePngBytes(image, title, bytes, reason)) return false;
    png.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

bool WriteMapPicture(const MapScene& scene, int width, int height, const std::string& path,
                     std::string& failedPath, std::string& reason, BackgroundDraw* background) {
    std::unique_ptr<QGuiApplication> application;
    static int argc = 1;
    static char name[] = "varistrum-cli";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!noticeQuietened) {
            previousHandler = qInstallMessageHandler(QuietRuntimeNotice);
            noticeQuietened = true;
        }
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
    const MapViewport view = FittedView(scene, QSize(width, height));
    BackgroundDraw drawn;
    const QImage image = RenderMap(view, scene, &drawn);
    if (background != nullptr) *background = drawn;
    // A background that was refused or failed is not silently left out of the picture.
    if (drawn.outcome == BackgroundDraw::Outcome::Refused ||
        drawn.outcome == BackgroundDraw::Outcome::Failed) {
        failedPath = path;
        reason = drawn.message;
        return false;
    }
    return WriteMapImage(image, view, path, scene.title, failedPath, reason);
}

bool WritePng(const QImage& image, const std::string& path, const std::string& title,
              std::string& reason) {
    QByteArray bytes;
    if (!EncodePngBytes(image, title, bytes, reason)) return false;
    return WriteWholeFile(
        path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
        kPngOutput, reason);
}

}  // namespace varistrum
