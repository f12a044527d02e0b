// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum: the desktop window of the log file converter.
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTextStream>
#include <QTimer>
#include <cstdio>
#include <exception>

#include "app/main_form.h"
#include "app/map_window.h"
#include "app/timed_run.h"
#include "app/varistrum_app.h"
#include "base/job_files.h"
#include "export/gdal_support.h"
#include "mapdraw/map_picture_file.h"

namespace {

using varistrum::TMainForm;

struct StartOptions {
    QString open;         // a log file to browse at start
    QString config;       // a configuration to open at start
    QString screenshot;   // save a picture of the window there and quit
    QString convert;      // convert the log into this file once it is indexed, then quit
    bool timing = false;  // print the time of each pass, then quit
    QString mapShot;      // open the map, save a picture of its window there and quit

    bool Unattended() const { return !convert.isEmpty() || timing; }
};

StartOptions ParseOptions(const QApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Converts drive-test log files into delimited text."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption config(QStringLiteral("config"),
                                    QStringLiteral("Open a configuration file at start."),
                                    QStringLiteral("CFG"));
    const QCommandLineOption open(QStringLiteral("open"),
                                  QStringLiteral("Browse and index a log file at start."),
                                  QStringLiteral("LOG"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the window once the log is indexed, then quit."),
        QStringLiteral("PNG"));
    const QCommandLineOption convert(
        QStringLiteral("convert"),
        QStringLiteral("Convert the log into OUT once it is indexed, then quit; messages go to "
                       "the standard error."),
        QStringLiteral("OUT"));
    const QCommandLineOption timing(
        QStringLiteral("timing"),
        QStringLiteral("Print how long the index pass (and the conversion) took, then quit."));
    const QCommandLineOption mapShot(
        QStringLiteral("map-screenshot"),
        QStringLiteral("Open the map of the indexed log, save a picture of its window, then quit."),
        QStringLiteral("PNG"));
    parser.addOptions({config, open, screenshot, convert, timing, mapShot});
    // What a file manager hands over: the log to open.
    parser.addPositionalArgument(QStringLiteral("log"), QStringLiteral("A log file to open."),
                                 QStringLiteral("[log]"));
    parser.process(app);
    StartOptions options{parser.value(open),    parser.value(config), parser.value(screenshot),
                         parser.value(convert), parser.isSet(timing), parser.value(mapShot)};
    const QStringList logs = parser.positionalArguments();
    if (logs.size() > 1) parser.showHelp(2);
    if (!logs.isEmpty()) {
        if (!options.open.isEmpty()) parser.showHelp(2);
        options.open = logs.constFirst();
    }
    if (options.Unattended() && options.open.isEmpty()) parser.showHelp(2);
    return options;
}

// Writes a picture of the widget through the one output writer; never over the log or the
// configuration the window was started with. Failures are said on standard error.
bool SavePicture(QWidget& widget, const QString& path, const StartOptions& options) {
    using namespace varistrum;
    JobFileList files;
    for (const QString& input : {options.open, options.config}) {
        if (!input.isEmpty()) files.inputs.push_back(input.toStdString());
    }
    files.outputs = {{path.toStdString()}};
    std::string error;
    if (const auto refusal = CheckJobFiles(files)) {
        error = refusal->message + " '" + refusal->path + "'";
    } else {
        std::string reason;
        const std::string title = options.open.section(QLatin1Char('/'), -1).toStdString();
        if (WritePng(widget.grab().toImage(), path.toStdString(), title, reason)) return true;
        error = "Output File Cannot Be Accessed! '" + path.toStdString() + "': " + reason;
    }
    std::fprintf(stderr, "Error: %s\n", error.c_str());
    return false;
}

// Saves the window once no worker uses the reader any more, then ends the program.
void SaveScreenshotWhenIdle(TMainForm& form, const QString& path, const StartOptions& options) {
    auto* poll = new QTimer(&form);
    QObject::connect(poll, &QTimer::timeout, &form, [&form, poll, path, options] {
        if (form.ReaderBusy()) return;
        poll->stop();
        // One more turn of the event loop so that the last changes are painted.
        QTimer::singleShot(200, &form, [&form, path, options] {
            QCoreApplication::exit(SavePicture(form, path, options) ? 0 : 1);
        });
    });
    poll->start(50);
}

// Opens the map once the log is indexed, saves its window when its points are shown, then ends
// the program.
void SaveMapScreenshotWhenIdle(TMainForm& form, const QString& path, const StartOptions& options) {
    auto* poll = new QTimer(&form);
    QObject::connect(poll, &QTimer::timeout, &form, [&form, poll, path, options] {
        if (form.ReaderBusy()) return;
        if (form.MapWindow() == nullptr) {
            form.ShowMap();
            if (form.MapWindow() == nullptr) QCoreApplication::exit(1);
            return;
        }
        if (form.MapWindow()->Data() == nullptr) return;
        poll->stop();
        QTimer::singleShot(300, &form, [&form, path, options] {
            QCoreApplication::exit(SavePicture(*form.MapWindow(), path, options) ? 0 : 1);
        });
    });
    poll->start(50);
}

}  // namespace

int main(int argc, char** argv) {
    varistrum::TApplication app(argc, argv);
    try {
        const StartOptions options = ParseOptions(app);
        varistrum::TVaristrumWindows windows;
        TMainForm& form = windows.MainForm();
        form.show();
        QTextStream errors(stderr), times(stdout);
        QTimer::singleShot(0, &form, [&form, options, &errors, &times] {
            if (!options.config.isEmpty()) form.OpenConfigurationFile(options.config);
            if (options.Unattended()) {
                auto* run = new varistrum::TimedRun(form, options.open, options.convert, errors,
                                                    options.timing ? &times : nullptr);
                run->Start();
                return;
            }
            if (!options.open.isEmpty()) {
                if (form.ReaderBusy()) form.StopWorkers();
                form.BrowseInput(options.open);
            }
            if (!options.screenshot.isEmpty())
                SaveScreenshotWhenIdle(form, options.screenshot, options);
            if (!options.mapShot.isEmpty())
                SaveMapScreenshotWhenIdle(form, options.mapShot, options);
        });
        const int status = app.exec();
        varistrum::WaitForDroppedDatasets();  // no thread uses GDAL while the libraries end
        return status;
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Error"),
                              QString::fromLocal8Bit(error.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QStringLiteral("Error"),
                              QStringLiteral("An unexpected error occurred."));
    }
    return 1;
}
