// SPDX-License-Identifier: GPL-3.0-or-later
// The interactive message box, modal dialog runner and file choosers.
#include "app/ui_hooks.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

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
QString AskMapLayerPath(QWidget* parent, const QString& start) {
    const MapFormat formats[] = {MapFormat::GeoPackage, MapFormat::GeoJson, MapFormat::FlatGeobuf,
                                 MapFormat::Kml};
    QStringList filters;
    for (MapFormat format : formats) filters.append(QString::fromLatin1(FormatDescription(format)));
    QFileDialog dialog(parent, QStringLiteral("Export Map Layer"), start);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    QString path = dialog.selectedFiles().constFirst();
    const auto chosen = filters.indexOf(dialog.selectedNameFilter());
    const MapFormat format = formats[chosen < 0 ? 0 : chosen];
    if (MapFormatOfPath(StdText(path)) != format)
        path += QString::fromLatin1(FormatExtension(format));
    return path;
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
                parent, QStringLiteral("Add Background"), start,
                QStringLiteral("Vector Files (*.gpkg *.shp *.geojson *.json *.fgb *.kml *.gml "
                               "*.sqlite);;All Files (*)"));
        case PathPrompt::SaveImage: {
            QFileDialog dialog(parent, QStringLiteral("Save Image"), start,
                               QStringLiteral("PNG Image (*.png)"));
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setDefaultSuffix(QStringLiteral("png"));
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
            return dialog.selectedFiles().constFirst();
        }
        case PathPrompt::SaveMapLayer:
            return AskMapLayerPath(parent, start);
    }
    return {};
}

UiHooks InteractiveHooks() {
    return {ShowMessageBox, [](QDialog& dialog) { return dialog.exec(); }, AskPath};
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

}  // namespace varistrum
