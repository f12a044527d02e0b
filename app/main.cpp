// varistrum: the desktop window of the log file converter.
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTimer>
#include <exception>

#include "app/main_form.h"
#include "app/varistrum_app.h"

namespace {

using varistrum::TMainForm;

struct StartOptions {
    QString open;        // a log file to browse at start
    QString config;      // a configuration to open at start
    QString screenshot;  // save a picture of the window there and quit
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
    parser.addOptions({config, open, screenshot});
    parser.process(app);
    return {parser.value(open), parser.value(config), parser.value(screenshot)};
}

// Saves the window once no worker uses the reader any more, then ends the program.
void SaveScreenshotWhenIdle(TMainForm& form, const QString& path) {
    auto* poll = new QTimer(&form);
    QObject::connect(poll, &QTimer::timeout, &form, [&form, poll, path] {
        if (form.ReaderBusy()) return;
        poll->stop();
        // One more turn of the event loop so that the last changes are painted.
        QTimer::singleShot(200, &form, [&form, path] {
            const bool saved = form.grab().save(path, "PNG");
            QCoreApplication::exit(saved ? 0 : 1);
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
        QTimer::singleShot(0, &form, [&form, options] {
            if (!options.config.isEmpty()) form.OpenConfigurationFile(options.config);
            if (!options.open.isEmpty()) {
                if (form.ReaderBusy()) form.StopWorkers();
                form.BrowseInput(options.open);
            }
            if (!options.screenshot.isEmpty()) SaveScreenshotWhenIdle(form, options.screenshot);
        });
        return app.exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Error"),
                              QString::fromLocal8Bit(error.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QStringLiteral("Error"),
                              QStringLiteral("An unexpected error occurred."));
    }
    return 1;
}
