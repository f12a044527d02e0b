// SPDX-License-Identifier: GPL-3.0-or-later
// The coverage bins dialog.
#include "app/coverage_bins_dlg.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <charconv>

#include "app/named_widget.h"
#include "app/ui_hooks.h"
#include "bins/bin_files.h"

namespace varistrum {

TCoverageBinsDlg::TCoverageBinsDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CoverageBinsDlg"));
    setWindowTitle(QStringLiteral("Coverage Bins"));
    auto* intro = new QLabel(
        QStringLiteral("Bins every sample of the checked scans (before any averaging) into square "
                       "cells of a UTM grid, and writes each cell's statistics as a Cloud "
                       "Optimized GeoTIFF with its QGIS style (.tif) or as a GeoPackage layer "
                       "(.gpkg)."),
        this);
    intro->setWordWrap(true);
    edOutput = Named(new QLineEdit(this), "edCoverageOutput");
    btnBrowse = Named(new QPushButton(QStringLiteral("Browse"), this), "btnCoverageBrowse");
    edCell = Named(new QLineEdit(QStringLiteral("25"), this), "edCellMetres");
    edCell->setToolTip(QStringLiteral("The side of a cell in metres, 5 to 1000"));
    edChannel = Named(new QLineEdit(QStringLiteral("strongest"), this), "edCoverageChannel");
    edChannel->setToolTip(
        QStringLiteral("A channel number, or \"strongest\": in each cell the channel with the "
                       "highest linear mean"));
    auto* statistics = new QGroupBox(QStringLiteral("Raster bands, in this order"), this);
    auto* statisticsLayout = new QVBoxLayout(statistics);
    for (std::size_t i = 0; i < kAllBinStatistics.size(); ++i) {
        const std::string name(StatisticName(kAllBinStatistics[i]));
        cbStatistics[i] = new QCheckBox(QText(name), statistics);
        cbStatistics[i]->setObjectName(QText("cbStatistic_" + name));
        const auto defaults = DefaultStatistics();
        cbStatistics[i]->setChecked(
            std::find(defaults.begin(), defaults.end(), kAllBinStatistics[i]) != defaults.end());
        statisticsLayout->addWidget(cbStatistics[i]);
    }
    btnOk = Named(new QPushButton(QStringLiteral("OK"), this), "btnCoverageOk");
    btnOk->setDefault(true);
    btnCancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "btnCoverageCancel");

    auto* output = new QHBoxLayout;
    output->addWidget(edOutput, 1);
    output->addWidget(btnBrowse);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Output file:"), output);
    form->addRow(QStringLiteral("Cell size (m):"), edCell);
    form->addRow(QStringLiteral("Channel:"), edChannel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(statistics);
    layout->addLayout(buttons);

    connect(btnBrowse, &QPushButton::clicked, this, &TCoverageBinsDlg::BrowseClick);
    connect(btnOk, &QPushButton::clicked, this, &TCoverageBinsDlg::accept);
    connect(btnCancel, &QPushButton::clicked, this, &TCoverageBinsDlg::reject);
}

void TCoverageBinsDlg::SetOutput(const QString& path) {
    edOutput->setText(path);
}

std::optional<CoverageChoice> TCoverageBinsDlg::Choice(QString* problem) const {
    const auto fail = [&](const QString& text) -> std::optional<CoverageChoice> {
        if (problem != nullptr) *problem = text;
        return std::nullopt;
    };
    CoverageChoice choice;
    choice.path = edOutput->text().trimmed();
    if (choice.path.isEmpty() || !CoverageFormatOfPath(StdText(choice.path)))
        return fail(QStringLiteral("The output must be a GeoTIFF (.tif) or a GeoPackage (.gpkg)."));
    // Either decimal sign: the cell size is typed, not shown in the system's number format.
    const std::string cell =
        StdText(edCell->text().trimmed().replace(QLatin1Char(','), QLatin1Char('.')));
    const auto parsed = std::from_chars(cell.data(), cell.data() + cell.size(), choice.cellMetres);
    if (parsed.ec != std::errc() || parsed.ptr != cell.data() + cell.size() ||
        CheckCellMetres(choice.cellMetres))
        return fail(QStringLiteral("The cell size must be a number of metres from 5 to 1000."));
    const auto channel = ChannelChoice::Parse(StdText(edChannel->text().trimmed()));
    if (!channel)
        return fail(QStringLiteral("The channel must be a channel number or \"strongest\"."));
    choice.channel = *channel;
    for (std::size_t i = 0; i < kAllBinStatistics.size(); ++i) {
        if (cbStatistics[i]->isChecked()) choice.statistics.push_back(kAllBinStatistics[i]);
    }
    if (choice.statistics.empty()) return fail(QStringLiteral("Choose at least one statistic."));
    return choice;
}

void TCoverageBinsDlg::accept() {
    QString problem;
    if (!Choice(&problem)) {
        ReportMessage(MessageKind::Error, problem);
        return;
    }
    QDialog::accept();
}

void TCoverageBinsDlg::BrowseClick() {
    const QString path = ChoosePath(PathPrompt::SaveCoverage, this, edOutput->text());
    if (!path.isEmpty()) edOutput->setText(path);
}

}  // namespace varistrum
