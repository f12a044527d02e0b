// SPDX-License-Identifier: GPL-3.0-or-later
// The map window: the checked scans' points coloured by level, the channel chooser, editable
// thresholds, the background chooser (none, a file, a tile source) with its fade and offline
// switch, the level statistics and the picture export.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <memory>
#include <vector>

#include "app/gui_bridge.h"
#include "bins/map_cells.h"
#include "map/map_background.h"
#include "map/map_collection.h"
#include "settings/tile_sources.h"
#include "workflow/coverage_jobs.h"

class QCheckBox;
class QComboBox;
class QSlider;
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
    const LevelRamp& Ramp() const { return ramp_; }
    // Cells of `metres` (0: none) drawn where the points would pile up, valued by their linear
    // mean or median; the statistics then give the shares by cells too. The drive is binned on
    // a worker.
    void SetCells(double metres, BinStatistic value = BinStatistic::LinearMean);
    // The cells shown (empty while none are), and the binning behind them.
    const MapCellLayer& Cells() const { return cellLayer_; }
    const Binning* CellBinning() const { return binning_.get(); }
    // Compares the drive shown (A) with the log `other` (B, every scan) on A's grid: the map
    // shows B - A in the cells both cover, the statistics the comparison's figures. On a worker.
    void CompareWith(const QString& other);
    // Back to the drive alone.
    void EndComparison();
    // A binning or comparison is under way or not yet shown.
    bool CellsWorking() const { return cellsWorker_ != nullptr; }
    const BinComparison* Comparison() const {
        return comparison_.comparison ? &*comparison_.comparison : nullptr;
    }
    // Shows channel `id` of the data (MapChannels::kStrongest for the strongest channel).
    void ChooseChannel(std::uint16_t id);
    // The thresholds as typed ("a,b,c,d,e"); false, with the reason in the status bar, when
    // they are not five increasing levels.
    bool SetThresholdsText(const QString& text);
    // The error text, empty when the background was loaded.
    QString LoadBackgroundFile(const QString& path);
    // Shows tile source `index` of AllTileSources() under the drive; the error text, empty when
    // it is shown.
    QString ShowTileSource(int index);
    void ClearBackground();
    // The built-in tile source, then the user's.
    std::vector<TileSource> AllTileSources() const;
    // The user's tile sources (a configuration's [Map] section).
    const std::vector<TileSource>& TileSources() const { return tileSources_; }
    void SetTileSources(const std::vector<TileSource>& sources);
    // Adds a source to the chooser; the error text when it cannot be used or its name is taken.
    QString AddTileSource(const TileSource& source);
    // The raster or tile background's fade to white in percent; tiles from the cache only.
    void SetFade(int percent);
    void SetOffline(bool offline);
    // The picture at `size`: at the canvas's size the view as shown, at another size the
    // whole drive (as the command line draws it), with the title line and the georeference
    // files. False, with the error's text in `error`, when it cannot be written (never over
    // the log or the background file).
    bool SaveImage(const QString& path, QSize size, QString* error = nullptr);

    TMapCanvas* Canvas() const { return canvas_; }
    TStatisticsPanel* Statistics() const { return statistics_; }
    QComboBox* ChannelBox() const { return channelBox_; }
    QComboBox* BackgroundBox() const { return backgroundBox_; }

  signals:
    void BusyChanged();
    // The user added a tile source: Save Configuration stores it.
    void TileSourcesChanged();
    // The collecting pass has ended and its points are shown.
    void CollectionShown();
    // The cells' binning or the comparison has ended and what it found is shown.
    void CellsShown();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private slots:
    void PollWorker();
    void FitClick();
    void BackgroundChosen(int index);
    void ShowBackgroundProblem(const QString& problem);
    void SaveImageClick();
    void ChannelChanged(int index);
    void ThresholdsEdited();
    void CellsChanged(int index);
    void CompareClick();
    void ShowCursor(double latitude, double longitude);

  private:
    QWidget* BuildToolBar();
    void ShowCollection();
    void RefreshScene();
    // Bins the drive shown for its cells, on the cells' worker.
    void StartBinning();
    void ShowBinning();
    void ShowComparison();
    // The binning's channel of the one shown (the strongest of each cell for the strongest).
    ChannelChoice ChannelShown() const;
    void RefreshCells();
    // Puts `background` under the drive (null: none) and the chooser on `key`.
    void UseBackground(std::unique_ptr<MapBackground> background, const QString& key);
    void FillBackgroundBox();
    std::string PictureTitle() const;
    // The collecting pass's window side, run in the window's thread.
    void SetProgress(int percent) override;
    void ReportMessage(MessageKind kind, const std::string& text) override;

    TavrelReader& reader_;
    GuiJobObserver bridge_;
    std::unique_ptr<TCollectMap> worker_;
    // The cells: the worker that bins or compares, what it found, and what the map draws.
    std::unique_ptr<TCoverageJob> cellsWorker_;
    enum class CellsJob { None, Binning, Comparison } cellsJob_ = CellsJob::None;
    BinnedDrive binned_;
    std::unique_ptr<Binning> binning_;
    DriveComparison comparison_;
    double cellMetres_ = 0.0;
    BinStatistic cellValue_ = BinStatistic::LinearMean;
    MapCellLayer cellLayer_;
    std::unique_ptr<MapData> data_;
    MapCollection result_;
    std::unique_ptr<MapBackground> background_;
    QString backgroundKey_ = QStringLiteral("none");  // the chooser's entry shown
    std::vector<TileSource> tileSources_;
    int fade_ = 50;
    bool offline_ = false;
    ConversionSettings settings_;  // of the points shown
    LevelRamp ramp_;
    std::uint16_t channel_ = MapChannels::kStrongest;
    QString title_;
    std::string input_;           // the log shown
    std::string backgroundPath_;  // the background file shown, if any
    std::string backgroundName_;  // its name, for the chooser
    QTimer poll_;

    TMapCanvas* canvas_;
    TStatisticsPanel* statistics_;
    QComboBox* channelBox_;
    QLineEdit* thresholdsEdit_;
    QComboBox* cellsBox_;
    QComboBox* cellValueBox_;
    QPushButton* compareButton_;
    QPushButton* fitButton_;
    QComboBox* backgroundBox_;
    QSlider* fadeSlider_;
    QCheckBox* offlineBox_;
    QPushButton* saveButton_;
    QLabel* positionLabel_;
    QProgressBar* progressBar_;
    QPushButton* cancelButton_;
};

}  // namespace varistrum
