// SPDX-License-Identifier: GPL-3.0-or-later
// Generator dialog and its side of the average-information pass.
#include "app/generator_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui_hooks.h"

namespace varistrum {

TGeneratorDlg::TGeneratorDlg(TavrelReader& reader, std::function<QString()> inputFilename,
                             QWidget* parent)
    : QDialog(parent),
      reader_(reader),
      inputFilename_(std::move(inputFilename)),
      bridge_(this, *this) {
    setObjectName(QStringLiteral("GeneratorDlg"));
    setWindowTitle(QStringLiteral("Generate Average Information"));

    Label1 = new QLabel(QStringLiteral("Varistrum will now generate the necessary average "
                                       "information which is needed for performing the "
                                       "conversion using the selected filter. This may take a "
                                       "few minutes."),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    PercentComplete = new QLabel(QStringLiteral("0% Complete"), this);
    PercentComplete->setObjectName(QStringLiteral("PercentComplete"));
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    OKBtn = new QPushButton(QStringLiteral("Generate"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Exit"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(PercentComplete);
    layout->addWidget(ProgressBar);
    layout->addLayout(buttons);
    setFixedWidth(420);

    connect(OKBtn, &QPushButton::clicked, this, &TGeneratorDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TGeneratorDlg::CancelBtnClick);
}

TGeneratorDlg::~TGeneratorDlg() {
    StopPass();
}

void TGeneratorDlg::SetGenerateEnabled(bool enabled) {
    OKBtn->setEnabled(enabled);
}

void TGeneratorDlg::StopPass() {
    if (worker_ == nullptr) return;
    worker_->Terminate();
    PumpEventsUntil([this] { return worker_->Finished(); });
    worker_.reset();
}

void TGeneratorDlg::OKBtnClick() {
    if (Busy()) return;  // one pass at a time on the one reader
    StopPass();
    worker_ = std::make_unique<TMakeList>(reader_, StdText(inputFilename_()), bridge_);
    emit PassStarted();
}

void TGeneratorDlg::CancelBtnClick() {
    reject();
}

void TGeneratorDlg::reject() {
    if (worker_ != nullptr) worker_->Terminate();
    QDialog::reject();
}

void TGeneratorDlg::SetPercent(int percent, const std::string& label) {
    ProgressBar->setValue(percent);
    PercentComplete->setText(QText(label));
}

void TGeneratorDlg::ResetProgressBar() {
    ProgressBar->setValue(0);
}

void TGeneratorDlg::ReportMessage(MessageKind kind, const std::string& text) {
    varistrum::ReportMessage(kind, QText(text));
}

}  // namespace varistrum
