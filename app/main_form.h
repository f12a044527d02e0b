// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: input and output, options, field lists, the scan tree and the conversion.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "app/gui_bridge.h"
#include "convert/convert_job.h"
#include "index/make_index.h"
#include "index/scan_tree.h"
#include "report/lambda_warnings.h"
#include "settings/configuration.h"
#include "workflow/workflow.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeWidgetItem;

namespace varistrum {

class TAboutDlg;
class TMapWindow;
class TFrequencyEntryForm;
class TGeneratorDlg;
class THelp_Form;
class TOpenFolderDlg;
class TRadioGroup;
class TScanTreeView;
class TStatisticsList;
class TThresholdDlg;
class TTrafficDlg;
class TWaitDlg;

class TMainForm : public QMainWindow, private IndexView, private JobObserver {
    Q_OBJECT
  public:
    // The windows the main window opens; all live as long as it does.
    struct Dialogs {
        TAboutDlg* about = nullptr;
        TGeneratorDlg* generator = nullptr;
        TWaitDlg* wait = nullptr;
        THelp_Form* help = nullptr;
        TOpenFolderDlg* folder = nullptr;
        TFrequencyEntryForm* frequency = nullptr;
        TTrafficDlg* traffic = nullptr;
        TThresholdDlg* threshold = nullptr;
    };

    TMainForm(TavrelReader& reader, Workflow& workflow, QWidget* parent = nullptr);
    ~TMainForm() override;
    void BindDialogs(const Dialogs& dialogs);

    // What Browse does once a file is chosen (also a dropped file).
    void BrowseInput(const QString& path);
    // Open and Save Configuration once a file is chosen.
    void OpenConfigurationFile(const QString& path);
    // False, with the reason when it is known, when the configuration cannot be saved.
    bool SaveConfigurationFile(const QString& path, QString* reason = nullptr);

    // The settings that the controls show.
    SettingsModel CurrentSettings() const;
    // The catalog tags of the Selected Fields rows.
    std::vector<int> SelectedTags() const;
    const ScanTree& Scans() const;
    int FileCount() const { return fileCount_; }
    QString InputFilenameText() const;

    // A worker (index pass, conversion or average-information pass) is using the reader.
    bool ReaderBusy() const;
    // Stops every worker and waits for it, keeping the window's events flowing.
    void StopWorkers();
    // Opens the map window on the checked scans, or on scan `scan` alone (main_form_map.cpp).
    void ShowMap(int scan = 0);
    TMapWindow* MapWindow() const { return mapWindow_; }

  signals:
    // The index pass has shown its statistics, its last change of the window.
    void IndexPassShown();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private slots:
    void FormCreate();
    void InBrowseClick();
    void OutBrowseClick();
    void InputFormatGroupClick();
    void SelectClick();
    void DeselectClick();
    void SelectAllClick();
    void DeselectAllClick();
    void tvIndexMouseUp(const QPoint& position);
    void tvIndexKeySpace();
    void rbSingleFileClick();
    void rbMultipleFilesClick();
    void btnInFolderClick();
    void btnOutFolderClick();
    void btnConvertClick();
    void btnCancelClick();
    void TimerTimer();
    void cbRecDropClick();
    // The "Settings..." buttons of the two filters: their dialogs with the window's rules; OK
    // stores what the dialog accepted.
    void btnTrafficSettingsClick();
    void btnThresholdSettingsClick();
    void OpenConfiguration1Click();
    void SaveConfiguration1Click();
    // Converts the current file with the window's settings into a map layer file.
    void ExportMapLayer1Click();
    void Exit1Click();
    void ContentsIndex1Click();
    void About1Click();
    void tvIndexDoubleClick(QTreeWidgetItem* item);
    // The measurement-quality report of the input file, as a page.
    void DriveQuality1Click();
    // The checked scans binned into cells and written as a coverage raster or GeoPackage.
    void CoverageBins1Click();
    // A propagation model fitted to the input file's local means (main_form_calibration.cpp).
    void CalibrateModel1Click();
    // Enables the actions that start a pass exactly when no worker uses the reader.
    void RefreshBusy();

  private:
    // Construction of the window (main_form.cpp).
    void BuildMenus();
    QWidget* BuildInputOutput();
    QWidget* BuildOptions();
    QWidget* BuildFieldLists();
    QWidget* BuildScans();
    QWidget* BuildBottomBar();
    void BuildHiddenGroups(QWidget* owner);
    void SetTabOrder();
    void ConnectHandlers();

    // Workflow steps (main_form_actions.cpp).
    void SetInputFormatIndex(int index);
    void SetConvertAllScans(bool on);
    void FillAvailableBox(const std::vector<std::string>& names);
    void AddSelectedRow(const QString& text, int tag);
    int ListFolderFiles();
    void ChooseFolder(QLineEdit* target, QLineEdit* other);
    void StartIndexPass(int format);
    // A runner makes it a single-file job of another output (a map layer export).
    // The window's files and settings as a job of `kind`.
    JobRequest JobOfWindow(JobKind kind) const;
    // Runs the job on the conversion worker.
    void StartJob(JobRequest request);
    // Asks for the typed frequencies when the log needs them; false when the job must not run.
    bool FrequenciesReady();
    void ApplyStoredSettings(const SettingsModel& settings);

    // The index pass's window side, run in the window's thread (main_form_workers.cpp).
    void ShowWait() override;
    void SetWaitGauge(int percent) override;
    void HideWait() override;
    void ClearTree() override;
    void AddRoot(int scanMode, const std::string& text) override;
    void AddScanNode(int scanMode, int scanIndex, const std::string& text) override;
    void ExpandTree() override;
    void SetStatistics(const std::vector<std::string>& lines) override;
    // The eighth statistics line, shown only for a damaged file.
    void ShowDamage(const DamageCounters& damage) override;
    // The conversion's window side, run in the window's thread.
    void SetProgress(int percent) override;
    void ReportMessage(MessageKind kind, const std::string& text) override;

    TavrelReader& reader_;
    Workflow& workflow_;
    Dialogs dialogs_;
    GuiIndexView indexBridge_;
    GuiJobObserver convertBridge_;
    std::unique_ptr<TMakeIndex> indexWorker_;
    std::unique_ptr<TConvert> convertWorker_;
    QTimer busyPoll_;

    // The job's file lists: same index = one file.
    QStringList inputNames_;
    QStringList outputNames_;
    int fileCount_ = 1;
    int currentFormat_ = 0;
    bool convertAllScans_ = false;
    bool closing_ = false;  // the workers' last messages are not shown while the window closes
    QString workingDirectory_;

    // Menu.
    QAction* OpenConfiguration1;
    QAction* SaveConfiguration1;
    QAction* ExportMapLayer1;
    QAction* Exit1;
    QAction* ContentsIndex1;
    QAction* About1;
    QAction* DriveQuality1;
    class TDriveQualityDlg* driveQualityDlg_ = nullptr;
    QAction* CoverageBins1 = nullptr;
    class TCoverageBinsDlg* coverageBinsDlg_ = nullptr;
    QAction* CalibrateModel1 = nullptr;
    class TCalibrationDlg* calibrationDlg_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    QAction* Map1 = nullptr;
    TMapWindow* mapWindow_ = nullptr;      // made on first use, owned by the window
    std::vector<TileSource> tileSources_;  // the map's tile sources the user added

    // Input and output.
    QRadioButton* rbSingleFile;
    QRadioButton* rbMultipleFiles;
    QGroupBox* gbSingleFile;
    QLineEdit* InputFilename;
    QPushButton* InBrowse;
    QLineEdit* OutputFilename;
    QPushButton* OutBrowse;
    QGroupBox* gbMultipleFiles;
    QLineEdit* edInFolder;
    QPushButton* btnInFolder;
    QComboBox* cbInputExt;
    QLineEdit* edOutFolder;
    QPushButton* btnOutFolder;
    QLineEdit* edOutputExt;
    QLineEdit* edFileCount;

    // Options.
    QCheckBox* cbSplit;
    QGroupBox* AverageGroup;
    QRadioButton* NoAvg;
    QRadioButton* BSAvg;
    QGroupBox* GroupBox2;
    QRadioButton* cbAT_None;
    QRadioButton* rbLambda;
    QCheckBox* cbLinearPower;
    QGroupBox* ReceiverGroup;
    QRadioButton* Receiver1;
    QRadioButton* Receiver2;
    QGroupBox* GroupBox1;
    QCheckBox* FrequencyField;
    QCheckBox* ChannelField;
    QCheckBox* RSSIField;
    QCheckBox* cbRecDrop;
    QLineEdit* edOutage;
    QCheckBox* cbTraffic;
    QPushButton* btnTrafficSettings;
    QCheckBox* cbThreshold;
    QPushButton* btnThresholdSettings;
    // The rules of the two filters, as their dialogs last accepted them or a configuration
    // gave them.
    StandStillRule trafficRule_;
    ThresholdRule thresholdRule_;
    QCheckBox* FieldTitles;
    TRadioGroup* DelimiterGroup;
    QLineEdit* OtherDelimiter;

    // Field lists.
    QListWidget* AvailableBox;
    QListWidget* SelectedBox;
    QPushButton* SelectField;
    QPushButton* DeselectField;
    QPushButton* SelectAll;
    QPushButton* DeselectAll;

    // Scans and statistics.
    TScanTreeView* tvIndex;
    TStatisticsList* lbStats;

    // Bottom bar.
    QPushButton* btnConvert;
    QPushButton* btnCancel;
    QFrame* pProgressBar;
    QProgressBar* ProgressBar;
    QLabel* olClock;
    QTimer* Timer;

    // Kept for the configuration file; never shown.
    TRadioGroup* InputFormatGroup;
    TRadioGroup* BrindletMode;
    TRadioGroup* ScanTypeGroup;
};

}  // namespace varistrum
