// SPDX-License-Identifier: GPL-3.0-or-later
// "Coverage Bins": the file, cell size, channel and statistics of a coverage raster or layer.
#pragma once

#include <QDialog>
#include <array>
#include <optional>

#include "bins/bin_statistic.h"
#include "bins/binning.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace varistrum {

struct CoverageChoice {
    QString path;
    double cellMetres = kDefaultCellMetres;
    ChannelChoice channel;
    std::vector<BinStatistic> statistics;
};

class TCoverageBinsDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TCoverageBinsDlg(QWidget* parent = nullptr);
    // Starts the dialog with an output name (the log's name with .tif).
    void SetOutput(const QString& path);
    // The choices as typed; nullopt with the reason when one is not valid (an output that is no
    // .tif or .gpkg, a cell size outside 5..1000 m, a channel that is no number, no statistic).
    std::optional<CoverageChoice> Choice(QString* problem = nullptr) const;

  public slots:
    // Closes the dialog only with valid choices; otherwise says what is wrong.
    void accept() override;

  private slots:
    void BrowseClick();

  private:
    QLineEdit* edOutput;
    QPushButton* btnBrowse;
    QLineEdit* edCell;
    QLineEdit* edChannel;
    std::array<QCheckBox*, kAllBinStatistics.size()> cbStatistics{};
    QPushButton* btnOk;
    QPushButton* btnCancel;
};

}  // namespace varistrum
