// SPDX-License-Identifier: GPL-3.0-or-later
// "40 Lambda Averaging": the average vehicle speed of a drive study.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QRadioButton;
class QPushButton;

namespace varistrum {

class TLambdaDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TLambdaDlg(QWidget* parent = nullptr);

  private:
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* LambdaSpeed;
    QRadioButton* MPHchoice;
    QRadioButton* KMHchoice;
    QPushButton* BitBtn1;
};

}  // namespace varistrum
