// SPDX-License-Identifier: GPL-3.0-or-later
// "Data Reduction via Threshold": the field-value rule of the "Threshold" filter.
#pragma once

#include <QDialog>

#include "filters/threshold_stage.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace varistrum {

class TThresholdDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TThresholdDlg(QWidget* parent = nullptr);

    // The rule OK last accepted (the defaults until then).
    const ThresholdRule& Rule() const { return rule_; }
    // Stores `rule` and shows it; a value text that already reads as its value stays as typed.
    void SetRule(const ThresholdRule& rule);

    // Closing without OK leaves the stored rule and shows it again.
    void reject() override;

  private slots:
    // Stores the shown rule and closes, or says that the value is no number.
    void OKBtnClick();

  private:
    void ShowRule();

    ThresholdRule rule_;
    QLabel* Label1;
    QComboBox* comboField;
    QComboBox* comboComparator;
    QLineEdit* edValue;
    QPushButton* OKBtn;
};

}  // namespace varistrum
