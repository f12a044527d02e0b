// SPDX-License-Identifier: GPL-3.0-or-later
// "Calibrate Model": a propagation model fitted to the input log's local means against a sites
// file; the figures and the plot shown, the report, plot and residual layer saved as one set.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/ui_hooks.h"
#include "calibration/calibration.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace varistrum {

class TCalibrationDlg : public QDialog {
  public:
    // Runs the calibration of the window's log against a sites file with the options; nullopt
    // when it did not complete (the caller has said why).
    using Calibrate = std::function<std::optional<CalibrationResult>(const std::string& sites,
                                                                     const CalibrationOptions&)>;

    TCalibrationDlg(Calibrate calibrate, QWidget* parent = nullptr);

    // The files the calibration read (never written over): the logs and the sites file.
    void SetInputs(std::vector<std::string> logs) { logs_ = std::move(logs); }

    // The options the controls give; the message for the user when one is not a number or out
    // of range.
    std::optional<CalibrationOptions> Options(QString* problem) const;
    const std::optional<CalibrationResult>& Result() const { return result_; }

    // Asks for a sites file.
    void btnSitesClick();
    // Calibrates and shows the figures and the plot; false when it did not complete.
    bool btnCalibrateClick();
    // Writes the files named (report, plot, residual layer) as one set; false when not written.
    bool btnSaveClick();

  private:
    void ShowPlot();
    void ChooseInto(PathPrompt prompt, QLineEdit* target);

    Calibrate calibrate_;
    std::vector<std::string> logs_;
    std::optional<CalibrationResult> result_;
    std::string sitesRead_;

    QLineEdit* edSites;
    QPushButton* btnSites;
    QLineEdit* edRxGain;
    QLineEdit* edCableLoss;
    QLineEdit* edRxHeight;
    QLineEdit* edMinDistance;
    QLineEdit* edMaxDistance;
    QLineEdit* edNoiseFloor;
    QComboBox* cbFit;
    QComboBox* cbEnvironment;
    QPushButton* btnCalibrate;
    QPlainTextEdit* tbFigures;
    QComboBox* cbPlotSite;
    QLabel* lbPlot;
    QLineEdit* edReport;
    QPushButton* btnReport;
    QLineEdit* edPlot;
    QPushButton* btnPlot;
    QLineEdit* edResiduals;
    QPushButton* btnResiduals;
    QPushButton* btnSave;
    QPushButton* btnClose;
};

}  // namespace varistrum
