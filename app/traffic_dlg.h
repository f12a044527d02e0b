// SPDX-License-Identifier: GPL-3.0-or-later
// "Traffic Averaging": the standing-still rule of the "Drop data while standing still" filter.
#pragma once

#include <QDialog>
#include <QString>
#include <optional>

#include "filters/stop_finder.h"

class QLabel;
class QLineEdit;
class QRadioButton;
class QPushButton;

namespace varistrum {

class TTrafficDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TTrafficDlg(QWidget* parent = nullptr);

    // The rule OK last accepted (the defaults until then).
    const StandStillRule& Rule() const { return rule_; }
    // Stores `rule` and shows it; a text that already reads as its value stays as typed.
    void SetRule(const StandStillRule& rule);

    // Closing without OK leaves the stored rule and shows it again.
    void reject() override;

  private slots:
    // Stores the shown values and closes, or names the control whose text is refused.
    void BitBtn1Click();

  private:
    void ShowRule();

    StandStillRule rule_;
    QLabel* Label1;
    QLineEdit* Distance;
    QRadioButton* Degrees;
    QRadioButton* Minutes;
    QRadioButton* Metres;
    QLabel* Label2;
    QLineEdit* Time;
    QLabel* Label3;
    QLabel* Label4;
    QPushButton* BitBtn1;
};

// The whole seconds of the Time text (1 to 3600, blanks around allowed); nullopt otherwise.
std::optional<int> ParseTrafficSeconds(const QString& text);

}  // namespace varistrum
