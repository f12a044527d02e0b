// SPDX-License-Identifier: GPL-3.0-or-later
// "Generate Average Information": runs the average-information pass over the input file.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "app/gui_bridge.h"
#include "index/average_information.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace varistrum {

class TGeneratorDlg : public QDialog, private GeneratorView {
    Q_OBJECT
  public:
    // `inputFilename` gives the main window's input file name when a pass starts.
    TGeneratorDlg(TavrelReader& reader, std::function<QString()> inputFilename,
                  QWidget* parent = nullptr);
    ~TGeneratorDlg() override;

    // A pass is using the reader.
    bool Busy() const { return worker_ != nullptr && !worker_->Finished(); }
    // The main window allows a new pass only while no other worker uses the reader.
    void SetGenerateEnabled(bool enabled);
    // Stops a running pass and waits for it.
    void StopPass();

  signals:
    void PassStarted();

  public slots:
    void reject() override;

  private slots:
    void OKBtnClick();
    void CancelBtnClick();

  private:
    // The pass's side, run in the window's thread.
    void SetPercent(int percent, const std::string& label) override;
    void ResetProgressBar() override;
    void ReportMessage(MessageKind kind, const std::string& text) override;

    TavrelReader& reader_;
    std::function<QString()> inputFilename_;
    GuiGeneratorView bridge_;
    std::unique_ptr<TMakeList> worker_;
    QLabel* Label1;
    QLabel* PercentComplete;
    QProgressBar* ProgressBar;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};

}  // namespace varistrum
