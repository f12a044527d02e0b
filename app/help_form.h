// SPDX-License-Identifier: GPL-3.0-or-later
// "Varistrum Help": the user manual in a window beside the main window.
#pragma once

#include <QDialog>

class QPushButton;
class QTextBrowser;

namespace varistrum {

// The manual as rich text (HTML).
QString UserManualHtml();

class THelp_Form : public QDialog {
    Q_OBJECT
  public:
    explicit THelp_Form(QWidget* parent = nullptr);

  private slots:
    void btnOKClick() { close(); }

  private:
    QTextBrowser* RichEdit1;
    QPushButton* btnOK;
};

}  // namespace varistrum
