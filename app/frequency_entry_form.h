// SPDX-License-Identifier: GPL-3.0-or-later
// "Frequency Information Needed": asks for the receiver frequencies of a file that lacks them.
#pragma once

#include <QDialog>

#include "workflow/workflow.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace varistrum {

class TFrequencyEntryForm : public QDialog {
    Q_OBJECT
  public:
    explicit TFrequencyEntryForm(Workflow& workflow, QWidget* parent = nullptr);

  protected:
    void showEvent(QShowEvent* event) override;

  private slots:
    void FormShow();
    void btnDoneClick();
    void btnCancelClick();

  private:
    Workflow& workflow_;
    QLabel* Label3;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* lRx1Info;
    QLabel* lRx2Info;
    QLineEdit* edRx1;
    QLineEdit* edRx2;
    QLabel* Label5;
    QLabel* Label6;
    QPushButton* btnDone;
    QPushButton* btnCancel;
};

}  // namespace varistrum
