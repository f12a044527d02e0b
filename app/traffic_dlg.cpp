// SPDX-License-Identifier: GPL-3.0-or-later
// Traffic averaging settings dialog; its controls read as one sentence.
#include "app/traffic_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/named_widget.h"

namespace varistrum {

TTrafficDlg::TTrafficDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TrafficDlg"));
    setWindowTitle(QStringLiteral("Traffic Averaging"));

    Label1 = Named(new QLabel(QStringLiteral("If the vehicle has not travelled "), this), "Label1");
    Distance = Named(new QLineEdit(QStringLiteral(".0005"), this), "Distance");
    Distance->setMaximumWidth(70);
    Degrees = Named(new QRadioButton(QStringLiteral("degrees"), this), "Degrees");
    Degrees->setChecked(true);
    Minutes = Named(new QRadioButton(QStringLiteral("minutes"), this), "Minutes");
    Label2 = Named(new QLabel(QStringLiteral("in the span of "), this), "Label2");
    Time = Named(new QLineEdit(QStringLiteral("30"), this), "Time");
    Time->setMaximumWidth(50);
    Label3 = Named(new QLabel(QStringLiteral("seconds"), this), "Label3");
    Label4 = Named(new QLabel(QStringLiteral(", drop all of the points until the required distance "
                                             "has been travelled."),
                              this),
                   "Label4");
    Label4->setWordWrap(true);
    BitBtn1 = Named(new QPushButton(QStringLiteral("OK"), this), "BitBtn1");
    BitBtn1->setDefault(true);
    Label1->setBuddy(Distance);
    Label2->setBuddy(Time);

    auto* first = new QHBoxLayout;
    first->addWidget(Label1);
    first->addWidget(Distance);
    first->addWidget(Degrees);
    first->addWidget(Minutes);
    first->addStretch();
    auto* second = new QHBoxLayout;
    second->addWidget(Label2);
    second->addWidget(Time);
    second->addWidget(Label3);
    second->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(first);
    layout->addLayout(second);
    layout->addWidget(Label4);
    layout->addLayout(buttons);
    setFixedWidth(440);

    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace varistrum
