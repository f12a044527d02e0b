// SPDX-License-Identifier: GPL-3.0-or-later
// "Data Reduction via Threshold": a field-value rule kept with the settings dialogs.
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace varistrum {

class TThresholdDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TThresholdDlg(QWidget* parent = nullptr);

  private slots:
    void OKBtnClick() { accept(); }

  private:
    QLabel* Label1;
    QComboBox* comboField;
    QComboBox* comboComparator;
    QLineEdit* edValue;
    QPushButton* OKBtn;
};

}  // namespace varistrum
