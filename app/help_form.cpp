// SPDX-License-Identifier: GPL-3.0-or-later
// Help window.
#include "app/help_form.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace varistrum {

THelp_Form::THelp_Form(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Help_Form"));
    setWindowTitle(QStringLiteral("Varistrum Help"));
    resize(696, 480);

    RichEdit1 = new QTextBrowser(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setOpenLinks(false);
    RichEdit1->setHtml(UserManualHtml());
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RichEdit1, 1);
    layout->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, &THelp_Form::btnOKClick);
}

}  // namespace varistrum
