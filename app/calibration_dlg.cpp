// SPDX-License-Identifier: GPL-3.0-or-later
// The Calibrate Model dialog.
#include "app/calibration_dlg.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>

#include "calibration/calibration_format.h"
#include "mapdraw/calibration_plot.h"
#include "workflow/calibration_job.h"

namespace varistrum {

namespace {

constexpr int kShownPlotWidth = 760, kShownPlotHeight = 440;

QLineEdit* Edit(const char* name, const QString& text, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QPushButton* Button(const char* name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

// A number as typed, read without the locale ("1.5"); nullopt when it is none.
std::optional<double> NumberOf(const QString& text) {
    const std::string typed = StdText(text.trimmed());
    double value = 0.0;
    const char* end = typed.data() + typed.size();
    const auto result = std::from_chars(typed.data(), end, value);
    if (typed.empty() || result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool EndsWithJson(const QString& path) {
    return path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive);
}

}  // namespace

TCalibrationDlg::TCalibrationDlg(Calibrate calibrate, QWidget* parent)
    : QDialog(parent), calibrate_(std::move(calibrate)) {
    setObjectName(QStringLiteral("CalibrationDlg"));
    setWindowTitle(QStringLiteral("Calibrate Model"));
    resize(1180, 760);

    auto* model = new QGroupBox(QStringLiteral("Sites and options"), this);
    edSites = Edit("edSites", {}, model);
    btnSites = Button("btnSites", QStringLiteral("Browse"), model);
    edRxGain = Edit("edRxGain", QStringLiteral("0"), model);
    edCableLoss = Edit("edCableLoss", QStringLiteral("0"), model);
    edRxHeight = Edit("edRxHeight", QStringLiteral("1.5"), model);
    edMinDistance = Edit("edMinDistance", QStringLiteral("100"), model);
    edMaxDistance = Edit("edMaxDistance", {}, model);
    edMaxDistance->setPlaceholderText(QStringLiteral("no limit"));
    edNoiseFloor = Edit("edNoiseFloor", {}, model);
    edNoiseFloor->setPlaceholderText(QStringLiteral("each channel's lowest level"));
    cbFit = new QComboBox(model);
    cbFit->setObjectName(QStringLiteral("cbFit"));
    cbFit->addItem(QStringLiteral("Each tenth of a decade alike (weighted)"),
                   QStringLiteral("wls"));
    cbFit->addItem(QStringLiteral("Every point alike (ordinary)"), QStringLiteral("ols"));
    cbEnvironment = new QComboBox(model);
    cbEnvironment->setObjectName(QStringLiteral("cbEnvironment"));
    for (const char* name : {"urban", "suburban", "open", "metropolitan"})
        cbEnvironment->addItem(QString::fromLatin1(name));
    btnCalibrate = Button("btnCalibrate", QStringLiteral("Calibrate"), model);
    auto* sites = new QHBoxLayout;
    sites->addWidget(edSites);
    sites->addWidget(btnSites);
    auto* form = new QFormLayout(model);
    form->addRow(QStringLiteral("Sites file:"), sites);
    form->addRow(QStringLiteral("Receiver antenna gain (dBi):"), edRxGain);
    form->addRow(QStringLiteral("Cable loss (dB):"), edCableLoss);
    form->addRow(QStringLiteral("Receiver antenna height (m):"), edRxHeight);
    form->addRow(QStringLiteral("Minimum distance (m):"), edMinDistance);
    form->addRow(QStringLiteral("Maximum distance (km):"), edMaxDistance);
    form->addRow(QStringLiteral("Noise floor (dBm):"), edNoiseFloor);
    form->addRow(QStringLiteral("Fit:"), cbFit);
    form->addRow(QStringLiteral("Hata environment:"), cbEnvironment);
    form->addRow(btnCalibrate);

    tbFigures = new QPlainTextEdit(this);
    tbFigures->setObjectName(QStringLiteral("tbFigures"));
    tbFigures->setReadOnly(true);
    tbFigures->setLineWrapMode(QPlainTextEdit::NoWrap);
    tbFigures->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    cbPlotSite = new QComboBox(this);
    cbPlotSite->setObjectName(QStringLiteral("cbPlotSite"));
    lbPlot = new QLabel(this);
    lbPlot->setObjectName(QStringLiteral("lbPlot"));
    lbPlot->setMinimumSize(kShownPlotWidth, kShownPlotHeight);
    lbPlot->setAlignment(Qt::AlignCenter);

    auto* save = new QGroupBox(QStringLiteral("Save"), this);
    edReport = Edit("edReport", {}, save);
    edReport->setPlaceholderText(QStringLiteral("report: .txt, or .json for JSON"));
    btnReport = Button("btnReport", QStringLiteral("Browse"), save);
    edPlot = Edit("edPlot", {}, save);
    edPlot->setPlaceholderText(QStringLiteral("plot of the chosen site (PNG)"));
    btnPlot = Button("btnPlot", QStringLiteral("Browse"), save);
    edResiduals = Edit("edResiduals", {}, save);
    edResiduals->setPlaceholderText(QStringLiteral("residual layer (GeoPackage)"));
    btnResiduals = Button("btnResiduals", QStringLiteral("Browse"), save);
    btnSave = Button("btnSave", QStringLiteral("Save"), save);
    btnSave->setEnabled(false);
    auto* files = new QGridLayout(save);
    files->addWidget(new QLabel(QStringLiteral("Report:"), save), 0, 0);
    files->addWidget(edReport, 0, 1);
    files->addWidget(btnReport, 0, 2);
    files->addWidget(new QLabel(QStringLiteral("Plot:"), save), 1, 0);
    files->addWidget(edPlot, 1, 1);
    files->addWidget(btnPlot, 1, 2);
    files->addWidget(new QLabel(QStringLiteral("Residual layer:"), save), 2, 0);
    files->addWidget(edResiduals, 2, 1);
    files->addWidget(btnResiduals, 2, 2);
    files->addWidget(btnSave, 3, 2);

    btnClose = Button("btnClose", QStringLiteral("Close"), this);
    auto* left = new QVBoxLayout;
    left->addWidget(model);
    left->addWidget(save);
    left->addStretch();
    auto* plotRow = new QHBoxLayout;
    plotRow->addWidget(new QLabel(QStringLiteral("Plot of site:"), this));
    plotRow->addWidget(cbPlotSite, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(tbFigures, 1);
    right->addLayout(plotRow);
    right->addWidget(lbPlot);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);

    connect(btnSites, &QPushButton::clicked, this, [this] { btnSitesClick(); });
    connect(btnCalibrate, &QPushButton::clicked, this, [this] { btnCalibrateClick(); });
    connect(btnReport, &QPushButton::clicked, this,
            [this] { ChooseInto(PathPrompt::SaveCalibrationReport, edReport); });
    connect(btnPlot, &QPushButton::clicked, this,
            [this] { ChooseInto(PathPrompt::SaveImage, edPlot); });
    connect(btnResiduals, &QPushButton::clicked, this,
            [this] { ChooseInto(PathPrompt::SaveResidualLayer, edResiduals); });
    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(cbPlotSite, &QComboBox::currentIndexChanged, this, [this] { ShowPlot(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
}

void TCalibrationDlg::ChooseInto(PathPrompt prompt, QLineEdit* target) {
    const QString path = ChoosePath(prompt, this, target->text());
    if (!path.isEmpty()) target->setText(path);
}

void TCalibrationDlg::btnSitesClick() {
    ChooseInto(PathPrompt::OpenSites, edSites);
}

std::optional<CalibrationOptions> TCalibrationDlg::Options(QString* problem) const {
    CalibrationOptions options;
    struct Field {
        QLineEdit* edit;
        const char* name;
        double* target;
    };
    const Field fields[] = {{edRxGain, "receiver antenna gain", &options.rxGainDbi},
                            {edCableLoss, "cable loss", &options.cableLossDb},
                            {edRxHeight, "receiver antenna height", &options.rxHeightM},
                            {edMinDistance, "minimum distance", &options.minDistanceM}};
    for (const Field& f : fields) {
        const auto value = NumberOf(f.edit->text());
        if (!value) {
            *problem = QStringLiteral("The %1 must be a number, not '%2'.")
                           .arg(QString::fromLatin1(f.name), f.edit->text());
            return std::nullopt;
        }
        *f.target = *value;
    }
    const std::pair<QLineEdit*, std::optional<double>*> optional[] = {
        {edMaxDistance, &options.maxDistanceKm}, {edNoiseFloor, &options.noiseFloorDbm}};
    for (const auto& [edit, target] : optional) {
        if (edit->text().trimmed().isEmpty()) continue;
        *target = NumberOf(edit->text());
        if (!*target) {
            *problem = QStringLiteral("'%1' is not a number: leave the field empty for %2.")
                           .arg(edit->text(), edit->placeholderText());
            return std::nullopt;
        }
    }
    options.weighting = cbFit->currentData().toString() == QStringLiteral("ols")
                            ? FitWeighting::Ordinary
                            : FitWeighting::TenthDecadeBins;
    options.environment = ParseHataEnvironment(StdText(cbEnvironment->currentText()))
                              .value_or(HataEnvironment::Urban);
    if (const std::string refused = CheckCalibrationOptions(options); !refused.empty()) {
        *problem = QText("The calibration cannot run: " + refused + '.');
        return std::nullopt;
    }
    return options;
}

bool TCalibrationDlg::btnCalibrateClick() {
    if (edSites->text().trimmed().isEmpty()) {
        ReportMessage(MessageKind::Error, QStringLiteral("A sites file must be chosen."));
        return false;
    }
    QString problem;
    const auto options = Options(&problem);
    if (!options) {
        ReportMessage(MessageKind::Error, problem);
        return false;
    }
    const std::string sites = StdText(edSites->text().trimmed());
    result_ = calibrate_ ? calibrate_(sites, *options) : std::nullopt;
    cbPlotSite->blockSignals(true);
    cbPlotSite->clear();
    cbPlotSite->blockSignals(false);
    btnSave->setEnabled(result_.has_value());
    if (!result_) {
        tbFigures->clear();
        lbPlot->clear();
        return false;
    }
    sitesRead_ = sites;
    tbFigures->setPlainText(QText(CalibrationText(*result_)));
    // The site with the most points first: what the command line plots by default.
    const CalibrationFit* first = PlottedFit(*result_, {});
    cbPlotSite->blockSignals(true);
    if (first != nullptr) cbPlotSite->addItem(QText(first->site));
    for (const CalibrationFit& fit : result_->fits) {
        if (fit.pooled && cbPlotSite->findText(QText(fit.site)) < 0)
            cbPlotSite->addItem(QText(fit.site));
    }
    cbPlotSite->blockSignals(false);
    ShowPlot();
    return true;
}

void TCalibrationDlg::ShowPlot() {
    const CalibrationFit* fit =
        result_ ? PlottedFit(*result_, StdText(cbPlotSite->currentText())) : nullptr;
    if (fit == nullptr) {
        lbPlot->clear();
        return;
    }
    lbPlot->setPixmap(QPixmap::fromImage(
        RenderCalibrationPlot(*result_, *fit, QSize(kShownPlotWidth, kShownPlotHeight))));
}

bool TCalibrationDlg::btnSaveClick() {
    if (!result_) return false;
    CalibrationFiles files;
    files.report = StdText(edReport->text().trimmed());
    files.json = EndsWithJson(edReport->text().trimmed());
    files.plot = StdText(edPlot->text().trimmed());
    files.plotSite = StdText(cbPlotSite->currentText());
    files.residuals = StdText(edResiduals->text().trimmed());
    if (!files.Any()) {
        ReportMessage(MessageKind::Error,
                      QStringLiteral("Name a file to save: the report, the plot or the residual "
                                     "layer."));
        return false;
    }
    if (const auto refusal = CheckCalibrationFiles(files, logs_, sitesRead_)) {
        ReportMessage(MessageKind::Error, QText(refusal->message));
        return false;
    }
    if (const auto failure = WriteCalibrationFiles(*result_, files, EncodeCalibrationPlot)) {
        QString text = QText(failure->message);
        if (!failure->path.empty()) text += QStringLiteral(" '") + QText(failure->path) + '\'';
        if (!failure->reason.empty()) text += QStringLiteral(": ") + QText(failure->reason);
        ReportMessage(MessageKind::Error, text);
        return false;
    }
    ReportMessage(MessageKind::Information, QStringLiteral("The calibration has been saved."));
    return true;
}

}  // namespace varistrum
