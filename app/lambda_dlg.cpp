// SPDX-License-Identifier: GPL-3.0-or-later
// 40-lambda averaging settings dialog (its values are kept, not read: the bin distances are fixed).
#include "app/lambda_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace varistrum {

TLambdaDlg::TLambdaDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("LambdaDlg"));
    setWindowTitle(QStringLiteral("40 Lambda Averaging"));

    Label1 = new QLabel(QStringLiteral("Average Speed"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label2 = new QLabel(
        QStringLiteral("Enter the average speed of the vehicle for the drive study.  The resulting "
                       "data will provide a single averaged point for every 40 wavelengths of "
                       "driving distance."),
        this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    LambdaSpeed = new QLineEdit(QStringLiteral("30"), this);
    LambdaSpeed->setObjectName(QStringLiteral("LambdaSpeed"));
    LambdaSpeed->setMaximumWidth(80);
    MPHchoice = new QRadioButton(QStringLiteral("MPH"), this);
    MPHchoice->setObjectName(QStringLiteral("MPHchoice"));
    MPHchoice->setChecked(true);
    KMHchoice = new QRadioButton(QStringLiteral("KM / H"), this);
    KMHchoice->setObjectName(QStringLiteral("KMHchoice"));
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    Label1->setBuddy(LambdaSpeed);

    auto* speed = new QHBoxLayout;
    speed->addWidget(Label1);
    speed->addWidget(LambdaSpeed);
    speed->addWidget(MPHchoice);
    speed->addWidget(KMHchoice);
    speed->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label2);
    layout->addLayout(speed);
    layout->addLayout(buttons);
    setFixedWidth(420);

    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace varistrum
