// SPDX-License-Identifier: GPL-3.0-or-later
// Threshold reduction settings dialog.
#include "app/threshold_dlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui_hooks.h"
#include "base/number_format.h"

namespace varistrum {

TThresholdDlg::TThresholdDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ThresholdDlg"));
    setWindowTitle(QStringLiteral("Data Reduction via Threshold"));

    Label1 = new QLabel(QStringLiteral("Please choose a field-value combination for eliminating "
                                       "data records which do not meet the criteria selected "
                                       "below. (e.g. RSSI > -90 dBm)"),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    comboField = new QComboBox(this);
    comboField->setObjectName(QStringLiteral("comboField"));
    comboField->addItems({QStringLiteral("RSSI"), QStringLiteral("Velocity")});
    comboComparator = new QComboBox(this);
    comboComparator->setObjectName(QStringLiteral("comboComparator"));
    comboComparator->addItems({QStringLiteral(">"), QStringLiteral(">="), QStringLiteral("="),
                               QStringLiteral("<="), QStringLiteral("<")});
    edValue = new QLineEdit(QStringLiteral("-100"), this);
    edValue->setObjectName(QStringLiteral("edValue"));
    edValue->setMaximumWidth(80);
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);

    auto* rule = new QHBoxLayout;
    rule->addWidget(comboField);
    rule->addWidget(comboComparator);
    rule->addWidget(edValue);
    rule->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(rule);
    layout->addLayout(buttons);
    setFixedWidth(400);

    connect(OKBtn, &QPushButton::clicked, this, &TThresholdDlg::OKBtnClick);
}

void TThresholdDlg::SetRule(const ThresholdRule& rule) {
    rule_ = rule;
    ShowRule();
}

void TThresholdDlg::ShowRule() {
    comboField->setCurrentIndex(static_cast<int>(rule_.field));
    comboComparator->setCurrentIndex(static_cast<int>(rule_.comparator));
    if (ParseDecimal(StdText(edValue->text())) != rule_.value)
        edValue->setText(QText(ShortestText(rule_.value)));
}

void TThresholdDlg::reject() {
    ShowRule();
    QDialog::reject();
}

void TThresholdDlg::OKBtnClick() {
    const std::optional<double> value = ParseDecimal(StdText(edValue->text()));
    if (!value) {
        ReportMessage(MessageKind::Error,
                      QStringLiteral("The Value must be a number, with '.' as the decimal point "
                                     "(-90, 2.5)."));
        edValue->setFocus();
        return;
    }
    rule_.field = static_cast<ThresholdField>(comboField->currentIndex());
    rule_.comparator = static_cast<Comparator>(comboComparator->currentIndex());
    rule_.value = *value;
    accept();
}

}  // namespace varistrum
