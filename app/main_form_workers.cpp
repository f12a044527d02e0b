// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's workers: starting them, their window side, and what is allowed meanwhile.
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "app/generator_dlg.h"
#include "app/main_form.h"
#include "app/map_window.h"
#include "app/scan_tree_view.h"
#include "app/statistics_list.h"
#include "app/ui_hooks.h"
#include "app/wait_dlg.h"

namespace varistrum {

TMainForm::~TMainForm() {
    StopWorkers();
}

void TMainForm::BindDialogs(const Dialogs& dialogs) {
    dialogs_ = dialogs;
    if (dialogs_.generator != nullptr)
        connect(dialogs_.generator, &TGeneratorDlg::PassStarted, this, &TMainForm::RefreshBusy);
    RefreshBusy();
}

const ScanTree& TMainForm::Scans() const {
    return tvIndex->Model();
}

QString TMainForm::InputFilenameText() const {
    return InputFilename->text();
}

bool TMainForm::ReaderBusy() const {
    return (indexWorker_ != nullptr && !indexWorker_->Finished()) ||
           (convertWorker_ != nullptr && convertWorker_->Running()) ||
           (dialogs_.generator != nullptr && dialogs_.generator->Busy()) ||
           (mapWindow_ != nullptr && mapWindow_->Busy());
}

void TMainForm::RefreshBusy() {
    const bool busy = ReaderBusy();
    // Every action that would start another pass on the reader waits for the running one.
    for (QWidget* control :
         {static_cast<QWidget*>(InBrowse), static_cast<QWidget*>(OutBrowse),
          static_cast<QWidget*>(btnInFolder), static_cast<QWidget*>(btnOutFolder),
          static_cast<QWidget*>(btnConvert)})
        control->setEnabled(!busy);
    OpenConfiguration1->setEnabled(!busy);
    ExportMapLayer1->setEnabled(!busy);
    CoverageBins1->setEnabled(!busy);
    if (dialogs_.generator != nullptr) dialogs_.generator->SetGenerateEnabled(!busy);
    btnCancel->setEnabled(true);
    if (busy && !busyPoll_.isActive()) busyPoll_.start();
    if (!busy) busyPoll_.stop();
}

void TMainForm::StopWorkers() {
    if (indexWorker_ != nullptr) {
        indexWorker_->Terminate();
        PumpEventsUntil([this] { return indexWorker_->Finished(); });
        indexWorker_.reset();
    }
    if (convertWorker_ != nullptr) {
        convertWorker_->Terminate();
        PumpEventsUntil([this] { return !convertWorker_->Running(); });
        convertWorker_.reset();
    }
    if (dialogs_.generator != nullptr) dialogs_.generator->StopPass();
    if (mapWindow_ != nullptr) mapWindow_->StopWorker();
    RefreshBusy();
}

void TMainForm::StartIndexPass(int format) {
    indexWorker_.reset();  // finished: no pass starts while another runs
    indexWorker_ = std::make_unique<TMakeIndex>(
        [this, format, path = StdText(InputFilename->text())](std::stop_token stop) {
            return workflow_.Index(path, format, indexBridge_, stop);
        },
        indexBridge_);
    RefreshBusy();
}

void TMainForm::StartJob(JobRequest request) {
    // A folder job lists sparse 40-lambda windows in one box at its end, never between files.
    request.sparseWindowsInOneMessage = true;
    convertWorker_ = std::make_unique<TConvert>(reader_, convertBridge_, true);
    convertWorker_->SetFiles(request.inputs, request.outputs, request.kind);
    convertWorker_->SetSettings(request.settings);
    convertWorker_->SetRunner([this, request = std::move(request)](
                                  TavrelReader&, const std::vector<std::string>&,
                                  const std::vector<std::string>&, const ConversionSettings&,
                                  JobObserver& observer, std::stop_token stop,
                                  JobKind) { return workflow_.Run(request, observer, stop); });
    convertWorker_->Resume();
    RefreshBusy();
}

void TMainForm::ShowWait() {
    if (dialogs_.wait != nullptr) dialogs_.wait->ShowCentred();
}

void TMainForm::SetWaitGauge(int percent) {
    if (dialogs_.wait != nullptr) dialogs_.wait->SetGauge(percent);
}

void TMainForm::HideWait() {
    if (dialogs_.wait != nullptr) dialogs_.wait->hide();
}

void TMainForm::ClearTree() {
    tvIndex->Clear();
}

void TMainForm::AddRoot(int scanMode, const std::string& text) {
    tvIndex->AddRoot(scanMode, QText(text));
}

void TMainForm::AddScanNode(int scanMode, int scanIndex, const std::string& text) {
    tvIndex->AddScan(scanMode, scanIndex, QText(text));
}

void TMainForm::ExpandTree() {
    tvIndex->expandAll();
}

void TMainForm::SetStatistics(const std::vector<std::string>& lines) {
    QStringList texts;
    for (const std::string& line : lines) texts.append(QText(line));
    lbStats->SetLines(texts);
    emit IndexPassShown();
}

void TMainForm::ShowDamage(const DamageCounters& damage) {
    QStringList texts;
    for (int i = 0; i < lbStats->count(); ++i) texts.append(lbStats->item(i)->text());
    texts.append(QText(DamageLine(damage)));
    lbStats->SetLines(texts);
}

void TMainForm::SetProgress(int percent) {
    ProgressBar->setValue(percent);
}

void TMainForm::ReportMessage(MessageKind kind, const std::string& text) {
    if (!closing_) varistrum::ReportMessage(kind, QText(text));
}

}  // namespace varistrum
