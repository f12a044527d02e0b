// SPDX-License-Identifier: GPL-3.0-or-later
// The about box: program name, version and what the program is for.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace varistrum {

class TAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutDlg(QWidget* parent = nullptr);

  private:
    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* Comments;
    QPushButton* OKButton;
};

}  // namespace varistrum
