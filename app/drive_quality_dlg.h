// SPDX-License-Identifier: GPL-3.0-or-later
// "Drive Quality": the measurement-quality report of the input file as a page, savable as HTML.
#pragma once

#include <QDialog>
#include <string>

class QPushButton;
class QTextBrowser;

namespace varistrum {

class TDriveQualityDlg : public QDialog {
  public:
    explicit TDriveQualityDlg(QWidget* parent = nullptr);

    // Shows the page (HTML) of a report.
    void SetReport(const std::string& html);
    const QString& Html() const { return html_; }

    // Asks for a path and writes the page there; false when cancelled or not written.
    bool btnSaveHtmlClick();

  private:
    QTextBrowser* tbReport;
    QPushButton* btnSaveHtml;
    QPushButton* btnClose;
    QString html_;
};

}  // namespace varistrum
