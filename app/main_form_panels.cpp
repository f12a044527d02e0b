// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's panels: options, field lists, scans and statistics, and the bottom bar.
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QValidator>

#include "app/main_form.h"
#include "app/named_widget.h"
#include "app/radio_group.h"
#include "app/scan_tree_view.h"
#include "app/statistics_list.h"
#include "app/two_line_check_box.h"

namespace varistrum {

namespace {

// Whole seconds from 1 to 86400: other keys are refused as typed; an empty or zero text can be
// left standing and is refused at CONVERT.
class OutageValidator : public QValidator {
  public:
    explicit OutageValidator(QObject* parent) : QValidator(parent) {}
    State validate(QString& input, int&) const override {
        if (input.isEmpty()) return Intermediate;
        for (QChar c : input) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return Invalid;
        }
        if (input.size() > 5) return Invalid;
        const int value = input.toInt();
        if (value > 86400) return Invalid;
        return value >= 1 ? Acceptable : Intermediate;
    }
};

}  // namespace

QWidget* TMainForm::BuildOptions() {
    auto* box = Named(new QGroupBox(QStringLiteral("Options")), "gbOptions");

    AverageGroup = Named(new QGroupBox(QStringLiteral("Data Reduction"), box), "AverageGroup");
    NoAvg = Named(new QRadioButton(QStringLiteral("Convert All Data"), AverageGroup), "NoAvg");
    NoAvg->setChecked(true);
    BSAvg = Named(new QRadioButton(QStringLiteral("Best Server"), AverageGroup), "BSAvg");
    auto* average = new QVBoxLayout(AverageGroup);
    average->addWidget(NoAvg);
    average->addWidget(BSAvg);
    average->addStretch();

    GroupBox2 = Named(new QGroupBox(QStringLiteral("Average Type"), box), "GroupBox2");
    cbAT_None = Named(new QRadioButton(QStringLiteral("None"), GroupBox2), "cbAT_None");
    cbAT_None->setChecked(true);
    rbLambda = Named(new QRadioButton(QStringLiteral("40 Lambda"), GroupBox2), "rbLambda");
    auto* type = new QVBoxLayout(GroupBox2);
    type->addWidget(cbAT_None);
    type->addWidget(rbLambda);
    // On two lines, so the group keeps the width of its neighbours.
    cbLinearPower =
        Named(new TTwoLineCheckBox(QStringLiteral("Average in linear power (mW)"), GroupBox2),
              "cbLinearPower");
    type->addWidget(cbLinearPower);
    type->addStretch();

    ReceiverGroup = Named(new QGroupBox(QStringLiteral("Data Source"), box), "ReceiverGroup");
    Receiver1 = Named(new QRadioButton(QStringLiteral("Receiver #1"), ReceiverGroup), "Receiver1");
    Receiver1->setChecked(true);
    Receiver2 = Named(new QRadioButton(QStringLiteral("Receiver #2"), ReceiverGroup), "Receiver2");
    auto* source = new QVBoxLayout(ReceiverGroup);
    source->addWidget(Receiver1);
    source->addWidget(Receiver2);
    source->addStretch();

    GroupBox1 = Named(new QGroupBox(QStringLiteral("Field Data"), box), "GroupBox1");
    FrequencyField =
        Named(new QCheckBox(QStringLiteral("Freq (MHz)"), GroupBox1), "FrequencyField");
    FrequencyField->setChecked(true);
    ChannelField = Named(new QCheckBox(QStringLiteral("Channel"), GroupBox1), "ChannelField");
    RSSIField = Named(new QCheckBox(QStringLiteral("RSSI"), GroupBox1), "RSSIField");
    RSSIField->setChecked(true);
    auto* data = new QVBoxLayout(GroupBox1);
    data->addWidget(FrequencyField);
    data->addWidget(ChannelField);
    data->addWidget(RSSIField);

    cbSplit = Named(new QCheckBox(QStringLiteral("Output File Split"), box), "cbSplit");
    cbSplit->setToolTip(QStringLiteral("Split output file into 60000 record files"));
    auto* splitText = Named(
        new QLabel(QStringLiteral("The Output File Split option will split the output file into "
                                  "multiple files of no more than 60000 records if needed. A "
                                  "subfolder with the name of the original output folder will be "
                                  "created."),
                   box),
        "lblSplit");
    splitText->setWordWrap(true);
    splitText->setContentsMargins(20, 0, 0, 0);

    cbRecDrop =
        Named(new QCheckBox(QStringLiteral("Drop data during GPS outages of"), box), "cbRecDrop");
    edOutage = Named(new QLineEdit(QStringLiteral("30"), box), "edOutage");
    edOutage->setValidator(new OutageValidator(edOutage));
    edOutage->setFixedWidth(60);
    edOutage->setAlignment(Qt::AlignRight);
    edOutage->setEnabled(false);
    auto* outage = new QHBoxLayout;
    outage->addWidget(cbRecDrop);
    outage->addWidget(edOutage);
    outage->addWidget(new QLabel(QStringLiteral("seconds or more."), box));
    outage->addStretch();

    cbTraffic =
        Named(new QCheckBox(QStringLiteral("Drop data while standing still"), box), "cbTraffic");
    cbTraffic->setToolTip(
        QStringLiteral("Drop the data of every stop: the fixes stay within a "
                       "distance of the stop's first fix for a time"));
    btnTrafficSettings =
        Named(new QPushButton(QStringLiteral("Settings..."), box), "btnTrafficSettings");
    cbThreshold = Named(new QCheckBox(QStringLiteral("Threshold"), box), "cbThreshold");
    cbThreshold->setToolTip(
        QStringLiteral("Write only the rows whose level or speed meets a comparison"));
    btnThresholdSettings =
        Named(new QPushButton(QStringLiteral("Settings..."), box), "btnThresholdSettings");
    // As high as the outage's edit, so that the options keep their room.
    for (QPushButton* button : {btnTrafficSettings, btnThresholdSettings})
        button->setFixedHeight(edOutage->sizeHint().height());
    auto* filters = new QHBoxLayout;
    filters->addWidget(cbTraffic);
    filters->addWidget(btnTrafficSettings);
    filters->addSpacing(16);
    filters->addWidget(cbThreshold);
    filters->addWidget(btnThresholdSettings);
    filters->addStretch();

    FieldTitles = Named(new QCheckBox(QStringLiteral("Create Header Record"), box), "FieldTitles");
    FieldTitles->setChecked(true);
    DelimiterGroup =
        new TRadioGroup(QStringLiteral("DelimiterGroup"), QStringLiteral("Field Delimiter"),
                        {QStringLiteral("Comma"), QStringLiteral("Semi-Colon"),
                         QStringLiteral("Tab"), QStringLiteral("Space"), QStringLiteral("Other")},
                        5, box);
    DelimiterGroup->SetItemIndex(0);
    OtherDelimiter = Named(new QLineEdit(QStringLiteral(":"), DelimiterGroup), "OtherDelimiter");
    OtherDelimiter->setMaxLength(1);
    OtherDelimiter->setFixedWidth(30);
    OtherDelimiter->setAlignment(Qt::AlignCenter);
    DelimiterGroup->Grid()->addWidget(OtherDelimiter, 0, 5);
    DelimiterGroup->Grid()->setColumnStretch(6, 1);

    auto* groups = new QHBoxLayout;
    groups->addWidget(AverageGroup);
    groups->addWidget(GroupBox2);
    groups->addWidget(ReceiverGroup);
    groups->addWidget(GroupBox1);
    auto* layout = new QVBoxLayout(box);
    layout->addLayout(groups);
    layout->addSpacing(4);
    layout->addWidget(cbSplit);
    layout->addWidget(splitText);
    layout->addLayout(outage);
    layout->addLayout(filters);
    layout->addWidget(FieldTitles);
    layout->addWidget(DelimiterGroup);
    layout->addStretch();
    return box;
}

QWidget* TMainForm::BuildFieldLists() {
    auto* box = Named(new QGroupBox(QStringLiteral("Output Fields")), "gbFields");
    AvailableBox = Named(new QListWidget(box), "AvailableBox");
    SelectedBox = Named(new QListWidget(box), "SelectedBox");
    SelectField = Named(new QPushButton(QStringLiteral(">"), box), "SelectField");
    DeselectField = Named(new QPushButton(QStringLiteral("<"), box), "DeselectField");
    SelectAll = Named(new QPushButton(QStringLiteral(">>"), box), "SelectAll");
    DeselectAll = Named(new QPushButton(QStringLiteral("<<"), box), "DeselectAll");
    SelectField->setToolTip(QStringLiteral("Add the highlighted field"));
    DeselectField->setToolTip(QStringLiteral("Remove the highlighted field"));
    SelectAll->setToolTip(QStringLiteral("Add every field"));
    DeselectAll->setToolTip(QStringLiteral("Remove every field"));

    auto* buttons = new QVBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {SelectField, DeselectField, SelectAll, DeselectAll}) {
        button->setFixedWidth(44);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    auto* available = new QLabel(QStringLiteral("Available Fields"), box);
    available->setBuddy(AvailableBox);
    auto* selected = new QLabel(QStringLiteral("Selected Fields"), box);
    selected->setBuddy(SelectedBox);
    auto* layout = new QGridLayout(box);
    layout->addWidget(available, 0, 0);
    layout->addWidget(selected, 0, 2);
    layout->addWidget(AvailableBox, 1, 0);
    layout->addLayout(buttons, 1, 1);
    layout->addWidget(SelectedBox, 1, 2);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(2, 1);
    return box;
}

QWidget* TMainForm::BuildScans() {
    auto* box = Named(new QGroupBox(QStringLiteral("Scans and Statistics")), "gbScans");
    tvIndex = Named(new TScanTreeView(box), "tvIndex");
    lbStats = Named(new TStatisticsList(box), "lbStats");
    auto* scans = new QLabel(QStringLiteral("Scans : Checked scans are to be converted."), box);
    scans->setBuddy(tvIndex);
    auto* layout = new QGridLayout(box);
    layout->addWidget(scans, 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("FILE STATISTICS"), box), 0, 1);
    layout->addWidget(tvIndex, 1, 0);
    layout->addWidget(lbStats, 1, 1);
    layout->setColumnStretch(0, 5);
    layout->setColumnStretch(1, 4);
    return box;
}

QWidget* TMainForm::BuildBottomBar() {
    auto* bar = Named(new QWidget, "pBottom");
    btnConvert = Named(new QPushButton(QStringLiteral("CONVERT"), bar), "btnConvert");
    btnCancel = Named(new QPushButton(QStringLiteral("CANCEL"), bar), "btnCancel");
    QFont bold = btnConvert->font();
    bold.setBold(true);
    for (QPushButton* button : {btnConvert, btnCancel}) {
        button->setFont(bold);
        button->setMinimumSize(110, 32);
    }
    btnConvert->setDefault(true);

    pProgressBar = Named(new QFrame(bar), "pProgressBar");
    pProgressBar->setFrameShape(QFrame::StyledPanel);
    pProgressBar->setFrameShadow(QFrame::Sunken);
    ProgressBar = Named(new QProgressBar(pProgressBar), "ProgressBar");
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    QPalette navy = ProgressBar->palette();
    navy.setColor(QPalette::Highlight, QColor(0, 0, 128));
    ProgressBar->setPalette(navy);
    auto* fit = new QHBoxLayout(pProgressBar);  // the gauge always fills its panel
    fit->setContentsMargins(0, 0, 0, 0);
    fit->addWidget(ProgressBar);

    olClock = Named(new QLabel(QStringLiteral("HH:MM:SS"), bar), "olClock");
    olClock->setFrameShape(QFrame::StyledPanel);
    olClock->setFrameShadow(QFrame::Sunken);
    olClock->setAlignment(Qt::AlignCenter);
    olClock->setMinimumWidth(100);
    Timer = Named(new QTimer(this), "Timer");
    Timer->setInterval(1000);

    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(btnConvert);
    layout->addWidget(btnCancel);
    layout->addSpacing(6);
    layout->addWidget(pProgressBar, 1);
    layout->addSpacing(6);
    layout->addWidget(olClock);
    return bar;
}

}  // namespace varistrum
