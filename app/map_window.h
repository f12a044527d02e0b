// SPDX-License-Identifier: GPL-3.0-or-later
// The map window: the checked scans' points coloured by level, the channel chooser, editable
// thresholds, a background file, the level statistics and the picture export.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <memory>

#include "app/gui_bridge.h"
#include "map/background_layer.h"
#include "map/map_collection.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace varistrum {

class TMapCanvas;
class TStatisticsPanel;

class TMapWindow : public QMainWindow, private JobObserver {
    Q_OBJECT
  public:
    explicit TMapWindow(TavrelReader& reader, QWidget* parent = nullptr);
    ~TMapWindow() override;

    // Reads `input` with `settings` on a worker and shows its points; `what` names the shown
    // scans in the title.
    void Collect(const QString& input, const ConversionSettings& settings, const QString& what);
    bool Busy() const;
    void Cancel();
    // Stops the worker and waits for it, keeping the window's events flowing.
    void StopWorker();

    const MapData* Data() const { return data_.get(); }
    const MapCollection& Result() const { return result_; }
    // Shows channel `id` of the data (MapChannels::kStrongest for the strongest channel).
    void ChooseChannel(std::uint16_t id);
    // The thresholds as typed ("a,b,c,d,e"); false, with the reason in the status bar, when
    // they are not five increasing levels.
    bool SetThresholdsText(const QString& text);
    // The error text, empty when the background was loaded.
    QString LoadBackgroundFile(const QString& path);
    // The picture at `size`: at the canvas's size the view as shown, at another size the
    // whole drive (as the command line draws it). False, with the error's text in `error`,
    // when it cannot be written (never over the log or the background file).
    bool SaveImage(const QString& path, QSize size, QString* error = nullptr);

    TMapCanvas* Canvas() const { return canvas_; }
    TStatisticsPanel* Statistics() const { return statistics_; }
    QComboBox* ChannelBox() const { return channelBox_; }

  signals:
    void BusyChanged();
    // The collecting pass has ended and its points are shown.
    void CollectionShown();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private slots:
    void PollWorker();
    void FitClick();
    void AddBackgroundClick();
    void SaveImageClick();
    void ChannelChanged(int index);
    void ThresholdsEdited();
    void ShowCursor(double latitude, double longitude);

  private:
    QWidget* BuildToolBar();
    void ShowCollection();
    void RefreshScene();
    // The collecting pass's window side, run in the window's thread.
    void SetProgress(int percent) override;
    void ReportMessage(MessageKind kind, const std::string& text) override;

    TavrelReader& reader_;
    GuiJobObserver bridge_;
    std::unique_ptr<TCollectMap> worker_;
    std::unique_ptr<MapData> data_;
    MapCollection result_;
    BackgroundLayer background_;
    bool hasBackground_ = false;
    LevelRamp ramp_;
    std::uint16_t channel_ = MapChannels::kStrongest;
    QString title_;
    std::string input_;           // the log shown
    std::string backgroundPath_;  // the background file shown, if any
    QTimer poll_;

    TMapCanvas* canvas_;
    TStatisticsPanel* statistics_;
    QComboBox* channelBox_;
    QLineEdit* thresholdsEdit_;
    QPushButton* fitButton_;
    QPushButton* backgroundButton_;
    QPushButton* saveButton_;
    QLabel* positionLabel_;
    QProgressBar* progressBar_;
    QPushButton* cancelButton_;
};

}  // namespace varistrum
