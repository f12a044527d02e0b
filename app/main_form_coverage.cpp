// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's View > Coverage Bins...: the checked scans of the input binned into cells and
// written as the command line's bins command writes them.
#include <QLineEdit>

#include "app/coverage_bins_dlg.h"
#include "app/main_form.h"
#include "app/map_window.h"
#include "app/ui_hooks.h"
#include "convert/folder_files.h"

namespace varistrum {

void TMainForm::CoverageBins1Click() {
    if (ReaderBusy()) return;
    const QString input = InputFilename->text();
    if (input.isEmpty()) {
        varistrum::ReportMessage(MessageKind::Error,
                                 QStringLiteral("Input and Output Files Must Be Selected."));
        return;
    }
    if (coverageBinsDlg_ == nullptr) coverageBinsDlg_ = new TCoverageBinsDlg(this);
    coverageBinsDlg_->SetOutput(QText(WithoutExtension(StdText(input)) + ".tif"));
    if (RunModal(*coverageBinsDlg_) != QDialog::Accepted) return;
    QString problem;
    const auto choice = coverageBinsDlg_->Choice(&problem);
    if (!choice) {
        varistrum::ReportMessage(MessageKind::Error, problem);
        return;
    }
    convertWorker_.reset();
    if (!FrequenciesReady()) return;
    SetConvertAllScans(false);
    fileCount_ = 1;
    inputNames_ = {input};
    outputNames_ = {choice->path};
    // The window's data settings; the cells take every sample before any averaging.
    JobRequest job = JobOfWindow(JobKind::SingleFile);
    job.product = JobProduct::CoverageBins;
    job.coverage.binning.cellMetres = choice->cellMetres;
    job.coverage.channel = choice->channel;
    job.coverage.statistics = choice->statistics;
    // The map's thresholds colour the style, when the map is open.
    if (mapWindow_ != nullptr) job.coverage.ramp = mapWindow_->Ramp();
    if (const auto refusal = Workflow::CheckFiles(job)) {
        varistrum::ReportMessage(MessageKind::Error, QText(refusal->message));
        return;
    }
    StartJob(std::move(job));
}

}  // namespace varistrum
