// SPDX-License-Identifier: GPL-3.0-or-later
// Frequency entry dialog.
#include "app/frequency_entry_form.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/ui_hooks.h"
#include "logfile/typed_frequencies.h"

namespace varistrum {

namespace {

QLabel* NamedLabel(const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QString NotANumber(const QString& receiver, const QString& text) {
    return QStringLiteral(
               "'%1' is not a valid frequency for %2. Type the frequency in MHz, "
               "for example 850.00000.")
        .arg(text, receiver);
}

}  // namespace

TFrequencyEntryForm::TFrequencyEntryForm(Workflow& workflow, QWidget* parent)
    : QDialog(parent), workflow_(workflow) {
    setObjectName(QStringLiteral("FrequencyEntryForm"));
    setWindowTitle(QStringLiteral("Frequency Information Needed"));

    Label3 = NamedLabel("Label3", QString::fromLatin1(kFrequencyExplanation), this);
    Label3->setWordWrap(true);
    Label1 = NamedLabel("Label1", QStringLiteral("Receiver 1"), this);
    Label2 = NamedLabel("Label2", QStringLiteral("Receiver 2"), this);
    lRx1Info = NamedLabel("lRx1Info", QStringLiteral("(no receiver information)"), this);
    lRx2Info = NamedLabel("lRx2Info", QStringLiteral("(no receiver information)"), this);
    edRx1 = new QLineEdit(QStringLiteral("0"), this);
    edRx1->setObjectName(QStringLiteral("edRx1"));
    edRx2 = new QLineEdit(QStringLiteral("0"), this);
    edRx2->setObjectName(QStringLiteral("edRx2"));
    Label5 = NamedLabel("Label5", QStringLiteral("MHz"), this);
    Label6 = NamedLabel("Label6", QStringLiteral("MHz"), this);
    btnDone = new QPushButton(QStringLiteral("Set"), this);
    btnDone->setObjectName(QStringLiteral("btnDone"));
    btnDone->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    Label1->setBuddy(edRx1);
    Label2->setBuddy(edRx2);

    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(edRx1, 0, 1);
    grid->addWidget(Label5, 0, 2);
    grid->addWidget(lRx1Info, 0, 3);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(edRx2, 1, 1);
    grid->addWidget(Label6, 1, 2);
    grid->addWidget(lRx2Info, 1, 3);
    grid->setColumnStretch(3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnDone);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label3);
    layout->addSpacing(8);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setFixedWidth(520);

    connect(btnDone, &QPushButton::clicked, this, &TFrequencyEntryForm::btnDoneClick);
    connect(btnCancel, &QPushButton::clicked, this, &TFrequencyEntryForm::btnCancelClick);
}

void TFrequencyEntryForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window coming back from being minimised is no new question.
    if (!event->spontaneous()) FormShow();
}

void TFrequencyEntryForm::FormShow() {
    const FrequencyQuestion question = workflow_.Question();
    const FrequencyRange rx1 = question.receiver1;
    const FrequencyRange rx2 = question.receiver2;
    lRx1Info->setText(QText(RangeText(rx1)));
    edRx1->setText(QText(ProposedFrequencyText(rx1)));
    lRx2Info->setText(QText(RangeText(rx2)));
    edRx2->setText(QText(ProposedFrequencyText(rx2)));
    // Forgotten while the question is open: only accepted frequencies are typed in again.
    workflow_.ForgetFrequencies();
    edRx1->setFocus();
    edRx1->selectAll();
}

void TFrequencyEntryForm::btnDoneClick() {
    const auto rx1 = ParseFrequencyText(StdText(edRx1->text()));
    if (!rx1) {
        ReportMessage(MessageKind::Error, NotANumber(Label1->text(), edRx1->text()));
        edRx1->setFocus();
        return;
    }
    const auto rx2 = ParseFrequencyText(StdText(edRx2->text()));
    if (!rx2) {
        ReportMessage(MessageKind::Error, NotANumber(Label2->text(), edRx2->text()));
        edRx2->setFocus();
        return;
    }
    if (const auto refusal = workflow_.TypeFrequencies(*rx1, *rx2)) {
        ReportMessage(MessageKind::Error, QText(RangeRefusalText(*refusal)));
        return;
    }
    accept();
}

void TFrequencyEntryForm::btnCancelClick() {
    reject();
}

}  // namespace varistrum
