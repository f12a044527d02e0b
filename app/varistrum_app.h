// SPDX-License-Identifier: GPL-3.0-or-later
// The program's objects for the whole run: the one reader and every window.
#pragma once

#include <QApplication>
#include <memory>

#include "logfile/tavrel_reader.h"
#include "workflow/workflow.h"

namespace varistrum {

class TAboutDlg;
class TFrequencyEntryForm;
class TGeneratorDlg;
class THelp_Form;
class TLambdaDlg;
class TMainForm;
class TOpenFolderDlg;
class TThresholdDlg;
class TTrafficDlg;
class TWaitDlg;

inline constexpr char kApplicationTitle[] = "QTX Varistrum CW";

// The application object: its title, icon, and a box for an exception that escapes a handler.
class TApplication : public QApplication {
    Q_OBJECT
  public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Every window, created once in start-up order and kept until the program ends; dialogs are
// shown and hidden, never re-created.
class TVaristrumWindows {
  public:
    TVaristrumWindows();
    ~TVaristrumWindows();
    TVaristrumWindows(const TVaristrumWindows&) = delete;
    TVaristrumWindows& operator=(const TVaristrumWindows&) = delete;

    TavrelReader& Reader() { return reader_; }
    Workflow& JobWorkflow() { return workflow_; }
    TMainForm& MainForm() { return *mainForm_; }
    TAboutDlg& AboutDlg() { return *aboutDlg_; }
    TLambdaDlg& LambdaDlg() { return *lambdaDlg_; }
    TTrafficDlg& TrafficDlg() { return *trafficDlg_; }
    TGeneratorDlg& GeneratorDlg() { return *generatorDlg_; }
    TWaitDlg& WaitDlg() { return *waitDlg_; }
    TThresholdDlg& ThresholdDlg() { return *thresholdDlg_; }
    THelp_Form& HelpForm() { return *helpForm_; }
    TOpenFolderDlg& OpenFolderDlg() { return *openFolderDlg_; }
    TFrequencyEntryForm& FrequencyEntryForm() { return *frequencyEntryForm_; }

  private:
    TavrelReader reader_;
    Workflow workflow_{reader_};  // the steps of every job, through the one reader
    std::unique_ptr<TMainForm> mainForm_;
    // Children of the main window, which owns them.
    TAboutDlg* aboutDlg_;
    TLambdaDlg* lambdaDlg_;
    TTrafficDlg* trafficDlg_;
    TGeneratorDlg* generatorDlg_;
    TWaitDlg* waitDlg_;
    TThresholdDlg* thresholdDlg_;
    THelp_Form* helpForm_;
    TOpenFolderDlg* openFolderDlg_;
    TFrequencyEntryForm* frequencyEntryForm_;
};

}  // namespace varistrum
