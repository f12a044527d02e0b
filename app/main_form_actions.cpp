// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's event handlers: browsing, field lists, folders, CONVERT, CANCEL and menus.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTime>
#include <atomic>
#include <optional>
#include <thread>

#include "app/about_dlg.h"
#include "app/drive_quality_dlg.h"
#include "app/frequency_entry_form.h"
#include "app/help_form.h"
#include "app/main_form.h"
#include "app/map_window.h"
#include "app/open_folder_dlg.h"
#include "app/radio_group.h"
#include "app/read_off_window.h"
#include "app/scan_tree_view.h"
#include "app/ui_hooks.h"
#include "base/resource_error.h"
#include "convert/filter_counts.h"
#include "convert/folder_files.h"
#include "export/map_export.h"
#include "logfile/identify.h"
#include "report/lambda_warnings.h"
#include "report/report_format.h"
#include "settings/settings_snapshot.h"
#include "workflow/coverage_jobs.h"

namespace varistrum {

namespace {

// The scans the Drive Quality page lists at most; it counts the rest.
constexpr std::size_t kDriveQualityScansListed = 1000;

// Before a 40-lambda conversion of one file: one box listing the scans whose windows would hold
// a median below 36 samples; false when the user cancels.
bool ConfirmSparseWindows(Workflow& workflow, const JobRequest& job) {
    const auto checked = ReadOffTheWindow([&] { return workflow.SparseWindows(job, {}); });
    if (!checked) return false;
    const LambdaWarnings& warnings = *checked;
    if (warnings.empty()) return true;
    QString text = QStringLiteral(
        "These scans are sampled too sparsely for 40-lambda averaging (Lee's criterion asks "
        "for 36 samples a window):\n");
    for (const LambdaWarning& warning : warnings.listed)
        text += QText(LambdaWarningText(warning)) + '\n';
    if (warnings.unlisted > 0) text += QText(UnlistedWarningsText(warnings.unlisted)) + '\n';
    return Confirm(text, QStringLiteral("Convert"), QStringLiteral("Cancel"));
}

// The first local file of a drag, or empty.
QString DroppedFile(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls() || mime->urls().isEmpty()) return {};
    const QUrl& url = mime->urls().constFirst();
    return url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile() ? url.toLocalFile()
                                                                      : QString();
}

QString TimeOfDayFormat() {
    // The system's long time format, without a time zone name.
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}

}  // namespace

void TMainForm::FormCreate() {
    FillAvailableBox(DefaultAvailableFields());
    Timer->start();  // the clock reads "HH:MM:SS" until the first tick
}

void TMainForm::InBrowseClick() {
    const QString path = ChoosePath(PathPrompt::OpenLog, this, InputFilename->text());
    if (!path.isEmpty()) BrowseInput(path);
}

void TMainForm::BrowseInput(const QString& path) {
    if (ReaderBusy()) return;  // one pass at a time on the one reader
    SetConvertAllScans(false);
    const int index = IdentifyLogFile(StdText(path));
    if (index == kFormatNone) {
        SetInputFormatIndex(0);
        varistrum::ReportMessage(MessageKind::Warning,
                                 QStringLiteral("File is not from a QTX CW product."));
        return;
    }
    InputFilename->setText(path);
    OutputFilename->setText(QText(DefaultOutputName(StdText(path))));
    fileCount_ = 1;
    inputNames_ = {InputFilename->text()};
    outputNames_ = {OutputFilename->text()};
    // Through 0 so that the handler runs even when the format is unchanged.
    SetInputFormatIndex(0);
    SetInputFormatIndex(index);
}

void TMainForm::OutBrowseClick() {
    const QString path = ChoosePath(PathPrompt::SaveOutput, this, OutputFilename->text());
    if (!path.isEmpty()) OutputFilename->setText(path);
}

void TMainForm::SetInputFormatIndex(int index) {
    InputFormatGroup->SetItemIndex(index);
    InputFormatGroupClick();
}

void TMainForm::SetConvertAllScans(bool on) {
    convertAllScans_ = on;
}

void TMainForm::InputFormatGroupClick() {
    const int index = InputFormatGroup->ItemIndex();
    if (index <= 0) {
        currentFormat_ = 0;
        return;
    }
    // Only this edition's formats have a reader; another product's index is remembered only.
    if (index == kFormatTavrel || index == kFormatTavrelPcCard) {
        reader_.SetInputFormat(index);
        ScanTypeGroup->setEnabled(true);
        ScanTypeGroup->SetItemIndex(1);
        FillAvailableBox(DefaultAvailableFields());
        if (!convertAllScans_ && rbSingleFile->isChecked()) StartIndexPass(index);
    }
    currentFormat_ = index;
}

void TMainForm::FillAvailableBox(const std::vector<std::string>& names) {
    AvailableBox->clear();
    for (const std::string& name : names) AvailableBox->addItem(QText(name));
}

void TMainForm::AddSelectedRow(const QString& text, int tag) {
    auto* item = new QListWidgetItem(text, SelectedBox);
    // The reader keeps tags for the first rows only; later rows are listed without one.
    item->setData(Qt::UserRole, SelectedBox->count() <= kSelectedFieldRows ? tag : kNoTag);
}

void TMainForm::SelectClick() {
    QListWidgetItem* item = AvailableBox->currentItem();
    if (item == nullptr || !item->isSelected() || SelectedBox->count() >= kSelectedFieldRows)
        return;
    const int tag = FieldTagOf(StdText(item->text()));
    AddSelectedRow(item->text(), tag >= 0 ? tag : kNoTag);
}

void TMainForm::DeselectClick() {
    QListWidgetItem* item = SelectedBox->currentItem();
    if (item == nullptr || !item->isSelected()) return;
    const int row = SelectedBox->row(item);
    // The tags travel with their rows, so the rows below move up with theirs.
    delete SelectedBox->takeItem(row);
    if (SelectedBox->count() > 0)
        SelectedBox->setCurrentRow(std::min(row, SelectedBox->count() - 1));
}

void TMainForm::SelectAllClick() {
    for (int row = 0; row < AvailableBox->count() && SelectedBox->count() < kSelectedFieldRows;
         ++row) {
        const QString text = AvailableBox->item(row)->text();
        const int tag = FieldTagOf(StdText(text));
        AddSelectedRow(text, tag >= 0 ? tag : kNoTag);
    }
}

void TMainForm::DeselectAllClick() {
    SelectedBox->clear();
}

std::vector<int> TMainForm::SelectedTags() const {
    std::vector<int> tags;
    for (int row = 0; row < SelectedBox->count(); ++row)
        tags.push_back(SelectedBox->item(row)->data(Qt::UserRole).toInt());
    return tags;
}

void TMainForm::tvIndexMouseUp(const QPoint& position) {
    tvIndex->Toggle(tvIndex->itemAt(position));
}

void TMainForm::tvIndexKeySpace() {
    tvIndex->Toggle(tvIndex->currentItem());
}

void TMainForm::rbSingleFileClick() {
    gbSingleFile->setEnabled(true);
    gbMultipleFiles->setEnabled(false);
}

void TMainForm::rbMultipleFilesClick() {
    gbSingleFile->setEnabled(false);
    gbMultipleFiles->setEnabled(true);
}

void TMainForm::btnInFolderClick() {
    ChooseFolder(edInFolder, edOutFolder);
}

void TMainForm::btnOutFolderClick() {
    ChooseFolder(edOutFolder, edInFolder);
}

void TMainForm::ChooseFolder(QLineEdit* target, QLineEdit* other) {
    RunModal(*dialogs_.folder);
    target->setText(dialogs_.folder->ChosenFolder());
    // A count needs the other folder; an emptied chosen folder counts none.
    if (!other->text().isEmpty()) {
        fileCount_ = ListFolderFiles();
        edFileCount->setText(QString::number(fileCount_));
    }
}

int TMainForm::ListFolderFiles() {
    const FileLists lists =
        varistrum::ListFolderFiles(StdText(edInFolder->text()), StdText(cbInputExt->currentText()),
                                   StdText(edOutFolder->text()), StdText(edOutputExt->text()));
    inputNames_.clear();
    outputNames_.clear();
    // Every matching file: a job is not cut short at some number of files.
    for (std::size_t i = 0; i < lists.inputs.size(); ++i) {
        inputNames_.append(QText(lists.inputs[i]));
        outputNames_.append(QText(lists.outputs[i]));
    }
    if (!inputNames_.isEmpty()) {
        // The first file gives the format of the job; no index pass runs in this mode.
        const int index = IdentifyLogFile(StdText(inputNames_.constFirst()));
        SetConvertAllScans(true);
        SetInputFormatIndex(0);
        SetInputFormatIndex(index);
    }
    return static_cast<int>(inputNames_.size());
}

bool TMainForm::FrequenciesReady() {
    // Asked while the frequencies are needed and not typed yet: once typed they serve every
    // following conversion.
    if (workflow_.FrequenciesNeeded()) {
        RunModal(*dialogs_.frequency);
        if (workflow_.FrequenciesNeeded()) {
            // Still unknown: the next CONVERT asks again rather than convert without them.
            varistrum::ReportMessage(MessageKind::Information,
                                     QStringLiteral("Conversion Aborted."));
            return false;
        }
    }
    return true;
}

JobRequest TMainForm::JobOfWindow(JobKind kind) const {
    JobRequest job;
    job.kind = kind;
    const auto count = static_cast<qsizetype>(fileCount_);
    for (qsizetype i = 0; i < count && i < inputNames_.size() && i < outputNames_.size(); ++i) {
        job.inputs.push_back(StdText(inputNames_[i]));
        job.outputs.push_back(StdText(outputNames_[i]));
    }
    // The job works on a snapshot: controls changed while it runs do not reach it.
    job.settings = ConversionSettingsOf(CurrentSettings());
    job.settings.convertAllScans = convertAllScans_;
    job.settings.scans = tvIndex->Model().Snapshot();
    return job;
}

void TMainForm::btnConvertClick() {
    if (ReaderBusy()) return;
    convertWorker_.reset();  // the previous job has ended: CONVERT is disabled while it runs
    if (!FrequenciesReady()) return;
    if (rbSingleFile->isChecked()) {
        if (InputFilename->text().isEmpty() || OutputFilename->text().isEmpty()) {
            varistrum::ReportMessage(MessageKind::Error,
                                     QStringLiteral("Input and Output Files Must Be Selected."));
            return;
        }
        SetConvertAllScans(false);
        fileCount_ = 1;
        inputNames_ = {InputFilename->text()};
        outputNames_ = {OutputFilename->text()};
    } else {
        if (edInFolder->text().isEmpty() || edOutFolder->text().isEmpty()) {
            varistrum::ReportMessage(MessageKind::Error,
                                     QStringLiteral("Input and Output Folders Must Be Selected."));
            return;
        }
        SetConvertAllScans(true);
        fileCount_ = ListFolderFiles();
        edFileCount->setText(QString::number(fileCount_));
    }
    JobRequest job = JobOfWindow(rbSingleFile->isChecked() ? JobKind::SingleFile : JobKind::Folder);
    if (const auto problem = job.settings.Problem()) {
        varistrum::ReportMessage(MessageKind::Error, QText(*problem));
        return;
    }
    // Lines without fields would be empty: nothing worth a file is written.
    if (job.settings.selectedTitles.empty()) {
        varistrum::ReportMessage(MessageKind::Warning,
                                 QStringLiteral("No output fields are selected."));
        return;
    }
    if (job.settings.averageType == kAverageLambda && job.kind == JobKind::SingleFile &&
        !ConfirmSparseWindows(workflow_, job))
        return;
    StartJob(std::move(job));
}

void TMainForm::ExportMapLayer1Click() {
    if (ReaderBusy()) return;
    const QString input = InputFilename->text();
    if (input.isEmpty()) {
        varistrum::ReportMessage(MessageKind::Error,
                                 QStringLiteral("Input and Output Files Must Be Selected."));
        return;
    }
    const QString start = QText(WithoutExtension(StdText(input)) +
                                std::string(FormatExtension(MapFormat::GeoPackage)));
    const MapLayerChoice choice = ChooseMapLayer(this, start);
    const QString output = choice.path;
    if (output.isEmpty()) return;
    convertWorker_.reset();
    if (!FrequenciesReady()) return;
    SetConvertAllScans(false);
    fileCount_ = 1;
    inputNames_ = {input};
    outputNames_ = {output};
    // The data settings of the window; its fields, delimiter, header and split are for text.
    JobRequest job = JobOfWindow(JobKind::SingleFile);
    if (const auto problem = job.settings.Problem()) {
        varistrum::ReportMessage(MessageKind::Error, QText(*problem));
        return;
    }
    job.product = JobProduct::MapLayers;
    job.layers.format = MapFormatOfPath(StdText(output)).value_or(MapFormat::GeoPackage);
    job.layers.spatialIndex = choice.spatialIndex;
    job.provenance = choice.provenance;
    StartJob(std::move(job));
}

void TMainForm::btnCancelClick() {
    if (convertWorker_ != nullptr) convertWorker_->Terminate();
}

void TMainForm::TimerTimer() {
    static const QString format = TimeOfDayFormat();
    olClock->setText(QLocale::system().toString(QTime::currentTime(), format));
}

void TMainForm::cbRecDropClick() {
    edOutage->setEnabled(cbRecDrop->isChecked());
}

void TMainForm::OpenConfiguration1Click() {
    if (ReaderBusy()) return;
    const QString path = ChoosePath(PathPrompt::OpenConfiguration, this, workingDirectory_);
    if (!path.isEmpty()) OpenConfigurationFile(path);
}

void TMainForm::SaveConfiguration1Click() {
    const QString path = ChoosePath(PathPrompt::SaveConfiguration, this, workingDirectory_);
    QString reason;
    if (!path.isEmpty() && !SaveConfigurationFile(path, &reason)) {
        QString text = QStringLiteral("The configuration could not be saved to %1.").arg(path);
        if (!reason.isEmpty()) text += QLatin1Char(' ') + reason;
        varistrum::ReportMessage(MessageKind::Error, text);
    }
}

void TMainForm::Exit1Click() {
    close();
}

void TMainForm::ContentsIndex1Click() {
    dialogs_.help->show();
    dialogs_.help->raise();
    dialogs_.help->activateWindow();
}

void TMainForm::About1Click() {
    RunModal(*dialogs_.about);
}

void TMainForm::DriveQuality1Click() {
    if (ReaderBusy()) return;
    if (InputFilename->text().isEmpty()) {
        varistrum::ReportMessage(MessageKind::Error,
                                 QStringLiteral("Input and Output Files Must Be Selected."));
        return;
    }
    const SettingsModel window = CurrentSettings();
    ReportRequest request;
    request.receivers = {window.receiver1, window.receiver2};
    request.outageSeconds = ParseOutageSeconds(window.outageSeconds).value_or(30);
    // A page of millions of scans helps nobody and would not fit in memory.
    request.listedScansAtMost = kDriveQualityScansListed;
    request.typed = workflow_.TypedChannelCodes();
    // Standing still is dropped here as in a conversion; the threshold is not.
    const ConversionSettings filters = ConversionSettingsOf(window);
    if (filters.dropStandingStill) request.standStill = filters.standStill;
    if (filters.threshold)
        varistrum::ReportMessage(MessageKind::Information,
                                 QText(ThresholdNotAppliedText(filters.thresholdRule)));
    // The shares at or above the map's thresholds, when the map is open; by area in cells of
    // 25 m. The binning's warnings are the command line's to give.
    if (mapWindow_ != nullptr) request.ramp = mapWindow_->Ramp();
    SilentObserver quiet;
    const std::string input = StdText(InputFilename->text());
    const auto built = ReadOffTheWindow(
        [&] { return BuildAreaReport(reader_, input, request, kDefaultCellMetres, quiet, {}); });
    if (!built) return;
    const DriveReport& report = *built;
    if (!report.Complete()) {
        varistrum::ReportMessage(MessageKind::Error, QStringLiteral("Input File Cannot Be Read!"));
        return;
    }
    if (driveQualityDlg_ == nullptr) driveQualityDlg_ = new TDriveQualityDlg(this);
    driveQualityDlg_->SetReport(ReportHtml(report), input);
    RunModal(*driveQualityDlg_);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    closing_ = true;
    StopWorkers();
    if (dialogs_.help != nullptr) dialogs_.help->close();
    event->accept();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (!ReaderBusy() && !DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty() || ReaderBusy()) return;
    event->acceptProposedAction();
    // A dropped file is a single file to convert.
    if (!rbSingleFile->isChecked()) {
        rbSingleFile->setChecked(true);
        rbSingleFileClick();
    }
    BrowseInput(path);
}

}  // namespace varistrum
