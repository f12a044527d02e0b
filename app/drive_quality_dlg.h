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

    // Shows the page (HTML) of a report on `input` (the log, never written over).
    void SetReport(const std::string& html, const std::string& input = {});
    const QString& Html() const { return html_; }

    // Asks for a path and writes the page there; false when cancelled or not written.
    bool btnSaveHtmlClick();

  private:
    QTextBrowser* tbReport;
    QPushButton* btnSaveHtml;
    QPushButton* btnClose;
    QString html_;
    std::string input_;
};

}  // namespace varistrum
