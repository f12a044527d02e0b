// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: the application object and the windows in their creation order.
#include "app/varistrum_app.h"

#include <QIcon>
#include <exception>

#include "app/about_dlg.h"
#include "app/frequency_entry_form.h"
#include "app/generator_dlg.h"
#include "app/help_form.h"
#include "app/lambda_dlg.h"
#include "app/main_form.h"
#include "app/open_folder_dlg.h"
#include "app/threshold_dlg.h"
#include "app/traffic_dlg.h"
#include "app/ui_hooks.h"
#include "app/wait_dlg.h"

namespace varistrum {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromLatin1(kApplicationTitle));
    setApplicationVersion(QStringLiteral(VARISTRUM_VERSION));
    setDesktopFileName(QStringLiteral("varistrum"));
    setWindowIcon(QIcon(QStringLiteral(":/varistrum/varistrum.png")));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    // An exception must not unwind through the event loop: show it and carry on.
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ReportMessage(MessageKind::Error, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ReportMessage(MessageKind::Error, QStringLiteral("An unexpected error occurred."));
    }
    return false;
}

TVaristrumWindows::TVaristrumWindows()
    : mainForm_(std::make_unique<TMainForm>(reader_, workflow_)) {
    QWidget* owner = mainForm_.get();
    aboutDlg_ = new TAboutDlg(owner);
    lambdaDlg_ = new TLambdaDlg(owner);
    trafficDlg_ = new TTrafficDlg(owner);
    generatorDlg_ = new TGeneratorDlg(
        reader_, [form = mainForm_.get()] { return form->InputFilenameText(); }, owner);
    waitDlg_ = new TWaitDlg(owner);
    thresholdDlg_ = new TThresholdDlg(owner);
    helpForm_ = new THelp_Form(owner);
    openFolderDlg_ = new TOpenFolderDlg(owner);
    frequencyEntryForm_ = new TFrequencyEntryForm(workflow_, owner);
    mainForm_->BindDialogs({aboutDlg_, generatorDlg_, waitDlg_, helpForm_, openFolderDlg_,
                            frequencyEntryForm_, trafficDlg_, thresholdDlg_});
}

TVaristrumWindows::~TVaristrumWindows() {
    // Workers first: they reach the windows and the reader until they end.
    mainForm_->StopWorkers();
    mainForm_.reset();
}

}  // namespace varistrum
