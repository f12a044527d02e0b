// SPDX-License-Identifier: GPL-3.0-or-later
// The drive quality page.
#include "app/drive_quality_dlg.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "app/ui_hooks.h"
#include "base/job_files.h"
#include "base/output_file.h"

namespace varistrum {

TDriveQualityDlg::TDriveQualityDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("DriveQualityDlg"));
    setWindowTitle(QStringLiteral("Drive Quality"));
    resize(760, 620);
    tbReport = new QTextBrowser(this);
    tbReport->setObjectName(QStringLiteral("tbReport"));
    btnSaveHtml = new QPushButton(QStringLiteral("Save as HTML..."), this);
    btnSaveHtml->setObjectName(QStringLiteral("btnSaveHtml"));
    btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnSaveHtml);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tbReport);
    layout->addLayout(buttons);
    connect(btnSaveHtml, &QPushButton::clicked, this, [this] { btnSaveHtmlClick(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
}

void TDriveQualityDlg::SetReport(const std::string& html, const std::string& input) {
    html_ = QText(html);
    input_ = input;
    tbReport->setHtml(html_);
}

bool TDriveQualityDlg::btnSaveHtmlClick() {
    const QString path = ChoosePath(PathPrompt::SaveReport, this);
    if (path.isEmpty()) return false;
    if (!input_.empty() && SameFile(StdText(path), input_)) {
        ReportMessage(MessageKind::Error, QString::fromLatin1(kOutputIsInput));
        return false;
    }
    const QByteArray bytes = html_.toUtf8();
    std::string reason;
    if (!WriteWholeFile(StdText(path),
                        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                        kHtmlOutput, reason)) {
        ReportMessage(MessageKind::Error, QStringLiteral("Output File Cannot Be Accessed! '") +
                                              path + QStringLiteral("': ") + QText(reason));
        return false;
    }
    return true;
}

}  // namespace varistrum
