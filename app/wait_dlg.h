// SPDX-License-Identifier: GPL-3.0-or-later
// The "Wait" box shown while a log file is indexed.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

namespace varistrum {

class TWaitDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TWaitDlg(QWidget* parent = nullptr);

    // Shows the box modeless, centred on the screen.
    void ShowCentred();
    void SetGauge(int percent);
    int Gauge() const;

  protected:
    void reject() override {}  // no buttons: Escape must not hide it while the pass runs

  private:
    QLabel* Label1;
    QProgressBar* ProgressBar;
};

}  // namespace varistrum
