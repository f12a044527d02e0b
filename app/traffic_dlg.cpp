// SPDX-License-Identifier: GPL-3.0-or-later
// Traffic averaging settings dialog; its controls read as one sentence.
#include "app/traffic_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <charconv>

#include "app/named_widget.h"
#include "app/ui_hooks.h"
#include "base/number_format.h"

namespace varistrum {

std::optional<int> ParseTrafficSeconds(const QString& text) {
    const std::string digits = StdText(text.trimmed());
    int value = 0;
    const char* end = digits.data() + digits.size();
    const auto result = std::from_chars(digits.data(), end, value);
    if (digits.empty() || result.ec != std::errc() || result.ptr != end || value < 1 ||
        value > kStandStillSecondsMax)
        return std::nullopt;
    return value;
}

TTrafficDlg::TTrafficDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TrafficDlg"));
    setWindowTitle(QStringLiteral("Traffic Averaging"));

    Label1 = Named(new QLabel(QStringLiteral("If the vehicle has not travelled "), this), "Label1");
    Distance = Named(new QLineEdit(QStringLiteral(".0005"), this), "Distance");
    Distance->setMaximumWidth(70);
    Degrees = Named(new QRadioButton(QStringLiteral("degrees"), this), "Degrees");
    Degrees->setChecked(true);
    Minutes = Named(new QRadioButton(QStringLiteral("minutes"), this), "Minutes");
    Metres = Named(new QRadioButton(QStringLiteral("metres"), this), "Metres");
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
    first->addWidget(Metres);
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
    setFixedWidth(480);

    connect(BitBtn1, &QPushButton::clicked, this, &TTrafficDlg::BitBtn1Click);
}

void TTrafficDlg::SetRule(const StandStillRule& rule) {
    rule_ = rule;
    ShowRule();
}

void TTrafficDlg::ShowRule() {
    if (ParseDecimal(StdText(Distance->text())) != rule_.distance)
        Distance->setText(QText(ShortestText(rule_.distance)));
    if (ParseTrafficSeconds(Time->text()) != rule_.seconds)
        Time->setText(QString::number(rule_.seconds));
    Degrees->setChecked(rule_.unit == DistanceUnit::Degrees);
    Minutes->setChecked(rule_.unit == DistanceUnit::Minutes);
    Metres->setChecked(rule_.unit == DistanceUnit::Metres);
}

void TTrafficDlg::reject() {
    ShowRule();
    QDialog::reject();
}

void TTrafficDlg::BitBtn1Click() {
    StandStillRule rule;
    rule.unit = Minutes->isChecked()  ? DistanceUnit::Minutes
                : Metres->isChecked() ? DistanceUnit::Metres
                                      : DistanceUnit::Degrees;
    const std::optional<double> distance = ParseDecimal(StdText(Distance->text()));
    rule.distance = distance.value_or(0.0);
    if (!distance || !(*distance > 0.0) || rule.Problem() != nullptr) {
        ReportMessage(MessageKind::Error,
                      QStringLiteral("The Distance must be a number above 0, with '.' as the "
                                     "decimal point (.0005)."));
        Distance->setFocus();
        return;
    }
    const std::optional<int> seconds = ParseTrafficSeconds(Time->text());
    if (!seconds) {
        ReportMessage(MessageKind::Error,
                      QStringLiteral("The Time must be a whole number of seconds from 1 to 3600."));
        Time->setFocus();
        return;
    }
    rule.seconds = *seconds;
    rule_ = rule;
    accept();
}

}  // namespace varistrum
