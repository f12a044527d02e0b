// SPDX-License-Identifier: GPL-3.0-or-later
// About box.
#include "app/about_dlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace varistrum {

TAboutDlg::TAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutDlg"));
    setWindowTitle(QStringLiteral("About"));

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setPixmap(QApplication::windowIcon().pixmap(64, 64));
    ProductName = new QLabel(QStringLiteral("QTX Varistrum CW"), this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont big = ProductName->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.4);
    ProductName->setFont(big);
    Version = new QLabel(QStringLiteral("Version %1").arg(QLatin1String(VARISTRUM_VERSION)), this);
    Version->setObjectName(QStringLiteral("Version"));
    Comments = new QLabel(
        QStringLiteral("Converts the drive-test log files of the Tavrel CW scanning receiver into "
                       "delimited text for mapping and post-processing programs, with best-server "
                       "reduction, 40-lambda averaging, GPS outage dropping and output "
                       "splitting."),
        this);
    Comments->setObjectName(QStringLiteral("Comments"));
    Comments->setWordWrap(true);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);

    auto* text = new QVBoxLayout;
    text->addWidget(ProductName);
    text->addWidget(Version);
    text->addSpacing(8);
    text->addWidget(Comments);
    auto* top = new QHBoxLayout;
    top->addWidget(ProgramIcon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setFixedWidth(420);

    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace varistrum
