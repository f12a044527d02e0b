// SPDX-License-Identifier: GPL-3.0-or-later
// How the window asks the user things: messages, modal dialogs and file choosers, replaceable
// so that the offscreen tests can answer instead of a person.
#pragma once

#include <QString>
#include <functional>

#include "base/job_observer.h"

class QDialog;
class QWidget;

namespace varistrum {

enum class PathPrompt {
    OpenLog,
    SaveOutput,
    OpenConfiguration,
    SaveConfiguration,
    OpenBackground,
    SaveImage,
    SaveReport,
    SaveCoverage,
    OpenSites,              // a calibration's sites file
    SaveCalibrationReport,  // its report, as text or JSON
    SaveResidualLayer       // its residual layer
};

// The map layer file to export to, and whether a provenance record goes with it.
struct MapLayerChoice {
    QString path;  // empty when the user cancels
    bool provenance = false;
    bool spatialIndex = true;  // FlatGeobuf: with a spatial index (held in memory until closed)
};

struct UiHooks {
    // Shows a message and returns once the user has seen it.
    std::function<void(MessageKind, const QString&)> message;
    // Runs a dialog modally and returns its result code.
    std::function<int(QDialog&)> runModal;
    // Asks for a file path, starting at `start`; empty when the user cancels.
    std::function<QString(PathPrompt, QWidget* parent, const QString& start)> choosePath;
    // An information box with two buttons; true when the user chose `accept`.
    std::function<bool(const QString& text, const QString& accept, const QString& reject)> confirm;
    // The save dialog of a map layer export, starting at `start`.
    std::function<MapLayerChoice(QWidget* parent, const QString& start)> chooseMapLayer;
};

// The hooks in use; the interactive ones unless a test replaced them.
UiHooks& Hooks();
void ResetHooks();

// The one message helper: a modal box with the kind's caption and icon and an OK button only.
// Call it in the window's thread.
void ReportMessage(MessageKind kind, const QString& text);
int RunModal(QDialog& dialog);
QString ChoosePath(PathPrompt prompt, QWidget* parent, const QString& start = QString());
bool Confirm(const QString& text, const QString& accept, const QString& reject);
MapLayerChoice ChooseMapLayer(QWidget* parent, const QString& start);

// Texts and paths between the window (QString) and the core (UTF-8 std::string).
inline std::string StdText(const QString& text) {
    return text.toStdString();
}
inline QString QText(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace varistrum
