// SPDX-License-Identifier: GPL-3.0-or-later
// The interactive message box, modal dialog runner and file choosers.
#include "app/ui_hooks.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

#include "export/map_format.h"

namespace varistrum {

namespace {

void ShowMessageBox(MessageKind kind, const QString& text) {
    QMessageBox::Icon icon = QMessageBox::Critical;
    if (kind == MessageKind::Information) icon = QMessageBox::Information;
    if (kind == MessageKind::Warning) icon = QMessageBox::Warning;
    QWidget* parent = QApplication::activeModalWidget();
    if (parent == nullptr) parent = QApplication::activeWindow();
    QMessageBox box(icon, QString::fromLatin1(MessageCaption(kind)), text, QMessageBox::Ok, parent);
    box.exec();
}

// The save dialog's filter picks the format: a name typed without one of the map extensions
// gets the chosen filter's.
MapLayerChoice AskMapLayer(QWidget* parent, const QString& start) {
    const MapFormat formats[] = {MapFormat::GeoPackage, MapFormat::GeoJson, MapFormat::FlatGeobuf,
                                 MapFormat::Kml};
    QStringList filters;
    for (MapFormat format : formats) filters.append(QString::fromLatin1(FormatDescription(format)));
    QFileDialog dialog(parent, QStringLiteral("Export Map Layer"), start);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    // Qt's own dialog, which takes the check box below its file name and type fields.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The last choices, for the next export of the session.
    static bool provenance = false;
    static bool noSpatialIndex = false;
    auto* check = new QCheckBox(
        QStringLiteral("Write a provenance record (NAME.EXT.provenance.json)"), &dialog);
    check->setObjectName(QStringLiteral("cbProvenance"));
    check->setChecked(provenance);
    auto* noIndex = new QCheckBox(
        QStringLiteral(
            "FlatGeobuf without a spatial index (written as a stream, in little memory)"),
        &dialog);
    noIndex->setObjectName(QStringLiteral("cbNoSpatialIndex"));
    noIndex->setChecked(noSpatialIndex);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        grid->addWidget(check, grid->rowCount(), 0, 1, grid->columnCount());
        grid->addWidget(noIndex, grid->rowCount(), 0, 1, grid->columnCount());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    provenance = check->isChecked();
    noSpatialIndex = noIndex->isChecked();
    QString path = dialog.selectedFiles().constFirst();
    const auto chosen = filters.indexOf(dialog.selectedNameFilter());
    const MapFormat format = formats[chosen < 0 ? 0 : chosen];
    if (MapFormatOfPath(StdText(path)) != format)
        path += QString::fromLatin1(FormatExtension(format));
    return {path, provenance, !noSpatialIndex};
}

QString AskPath(PathPrompt prompt, QWidget* parent, const QString& start) {
    switch (prompt) {
        case PathPrompt::OpenLog:
            return QFileDialog::getOpenFileName(
                parent, QStringLiteral("Open"), start,
                QStringLiteral("Tavrel Log File (*.klf);;Qel Truncated File (*.qel)"));
        case PathPrompt::SaveOutput:
            return QFileDialog::getSaveFileName(parent, QStringLiteral("Save As"), start);
        case PathPrompt::OpenConfiguration:
            return QFileDialog::getOpenFileName(parent, QStringLiteral("Open Configuration"), start,
                                                QStringLiteral("Configuration Files (*.cfg)"));
        case PathPrompt::SaveReport:
            return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Drive Quality"), start,
                                                QStringLiteral("HTML Page (*.html)"));
        case PathPrompt::SaveConfiguration: {
            // A save over an existing file keeps its other entries, so no overwrite prompt.
            QFileDialog dialog(parent, QStringLiteral("Save Configuration"), start,
                               QStringLiteral("Configuration Files (*.cfg)"));
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setDefaultSuffix(QStringLiteral("cfg"));
            dialog.setOption(QFileDialog::DontConfirmOverwrite);
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
            return dialog.selectedFiles().constFirst();
        }
        case PathPrompt::OpenBackground:
            return QFileDialog::getOpenFileName(
                parent, QStringLiteral("Background File"), start,
                QStringLiteral("Map Files (*.gpkg *.shp *.geojson *.json *.fgb *.kml *.gml "
                               "*.sqlite *.csv *.tif *.tiff *.mbtiles *.png *.jpg *.jpeg);;Vector "
                               "Files (*.gpkg *.shp *.geojson *.json *.fgb *.kml *.gml *.sqlite "
                               "*.csv);;Raster Files (*.tif *.tiff *.mbtiles *.gpkg *.png *.jpg "
                               "*.jpeg);;All Files (*)"));
        case PathPrompt::OpenSites:
            return QFileDialog::getOpenFileName(
                parent, QStringLiteral("Sites File"), start,
                QStringLiteral("Vector Files (*.csv *.gpkg *.geojson *.json *.shp *.fgb *.kml "
                               "*.gml *.sqlite);;All Files (*)"));
        case PathPrompt::SaveCalibrationReport:
            return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Calibration Report"),
                                                start,
                                                QStringLiteral("Text (*.txt);;JSON (*.json)"));
        case PathPrompt::SaveResidualLayer:
            return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Residual Layer"),
                                                start, QStringLiteral("GeoPackage (*.gpkg)"));
        case PathPrompt::SaveCoverage: {
            QFileDialog dialog(parent, QStringLiteral("Coverage Bins"), start,
                               QStringLiteral("GeoTIFF (*.tif);;GeoPackage (*.gpkg)"));
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setDefaultSuffix(QStringLiteral("tif"));
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
            return dialog.selectedFiles().constFirst();
        }
        case PathPrompt::SaveImage: {
            QFileDialog dialog(parent, QStringLiteral("Save Image"), start,
                               QStringLiteral("PNG Image with World File (*.png);;GeoTIFF "
                                              "(*.tif)"));
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setDefaultSuffix(QStringLiteral("png"));
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
            return dialog.selectedFiles().constFirst();
        }
    }
    return {};
}

bool AskConfirmation(const QString& text, const QString& accept, const QString& reject) {
    QWidget* parent = QApplication::activeModalWidget();
    if (parent == nullptr) parent = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Information,
                    QString::fromLatin1(MessageCaption(MessageKind::Information)), text,
                    QMessageBox::NoButton, parent);
    const QPushButton* yes = box.addButton(accept, QMessageBox::AcceptRole);
    box.addButton(reject, QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == yes;
}

UiHooks InteractiveHooks() {
    return {ShowMessageBox, [](QDialog& dialog) { return dialog.exec(); }, AskPath, AskConfirmation,
            AskMapLayer};
}

}  // namespace

UiHooks& Hooks() {
    static UiHooks hooks = InteractiveHooks();
    return hooks;
}

void ResetHooks() {
    Hooks() = InteractiveHooks();
}

void ReportMessage(MessageKind kind, const QString& text) {
    Hooks().message(kind, text);
}

int RunModal(QDialog& dialog) {
    return Hooks().runModal(dialog);
}

QString ChoosePath(PathPrompt prompt, QWidget* parent, const QString& start) {
    return Hooks().choosePath(prompt, parent, start);
}

bool Confirm(const QString& text, const QString& accept, const QString& reject) {
    return Hooks().confirm(text, accept, reject);
}

MapLayerChoice ChooseMapLayer(QWidget* parent, const QString& start) {
    return Hooks().chooseMapLayer(parent, start);
}

}  // namespace varistrum
