// SPDX-License-Identifier: GPL-3.0-or-later
// "Traffic Averaging": a standing-vehicle rule kept with the settings dialogs.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QRadioButton;
class QPushButton;

namespace varistrum {

class TTrafficDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TTrafficDlg(QWidget* parent = nullptr);

  private:
    QLabel* Label1;
    QLineEdit* Distance;
    QRadioButton* Degrees;
    QRadioButton* Minutes;
    QLabel* Label2;
    QLineEdit* Time;
    QLabel* Label3;
    QLabel* Label4;
    QPushButton* BitBtn1;
};

}  // namespace varistrum
