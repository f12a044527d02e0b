// SPDX-License-Identifier: GPL-3.0-or-later
// The map window.
#include "app/map_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <new>

#include "app/map_canvas.h"
#include "app/named_widget.h"
#include "app/statistics_panel.h"
#include "app/tile_source_dlg.h"
#include "app/ui_hooks.h"
#include "base/job_files.h"
#include "geodata/sample_layer_sink.h"
#include "map/map_query.h"
#include "map/map_title.h"
#include "mapdraw/map_picture_file.h"

namespace varistrum {

namespace {

// "1600x1000"; an invalid size for any other text.
QSize ParseSize(const QString& text) {
    const QStringList parts = text.trimmed().split(QLatin1Char('x'));
    if (parts.size() != 2) return {};
    bool okWidth = false, okHeight = false;
    const int width = parts[0].toInt(&okWidth), height = parts[1].toInt(&okHeight);
    if (!okWidth || !okHeight || width < kPictureSideMin || height < kPictureSideMin ||
        width > kPictureSideMax || height > kPictureSideMax)
        return {};
    return {width, height};
}

QString SizeText(QSize size) {
    return QString::number(size.width()) + QLatin1Char('x') + QString::number(size.height());
}

}  // namespace

TMapWindow::TMapWindow(TavrelReader& reader, QWidget* parent)
    : QMainWindow(parent, Qt::Window), reader_(reader), bridge_(this, *this) {
    setObjectName(QStringLiteral("MapWindow"));
    setWindowTitle(QStringLiteral("Map"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(BuildToolBar());
    auto* splitter = new QSplitter(Qt::Horizontal, central);
    canvas_ = Named(new TMapCanvas(splitter), "MapCanvas");
    statistics_ = Named(new TStatisticsPanel(splitter), "MapStatistics");
    splitter->addWidget(canvas_);
    splitter->addWidget(statistics_);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    layout->addWidget(splitter, 1);
    setCentralWidget(central);

    positionLabel_ = Named(new QLabel(this), "MapPosition");
    progressBar_ = Named(new QProgressBar(this), "MapProgress");
    progressBar_->setRange(0, 100);
    progressBar_->setMaximumWidth(200);
    cancelButton_ = Named(new QPushButton(QStringLiteral("CANCEL"), this), "MapCancel");
    statusBar()->addWidget(positionLabel_, 1);
    statusBar()->addPermanentWidget(progressBar_);
    statusBar()->addPermanentWidget(cancelButton_);
    cancelButton_->setEnabled(false);

    connect(cancelButton_, &QPushButton::clicked, this, &TMapWindow::Cancel);
    connect(canvas_, &TMapCanvas::CursorMoved, this, &TMapWindow::ShowCursor);
    connect(canvas_, &TMapCanvas::BackgroundDrawn, this, &TMapWindow::ShowBackgroundProblem);
    poll_.setInterval(50);
    connect(&poll_, &QTimer::timeout, this, &TMapWindow::PollWorker);
    resize(1100, 700);
}

TMapWindow::~TMapWindow() {
    StopWorker();
}

QWidget* TMapWindow::BuildToolBar() {
    auto* bar = new QWidget(this);
    // The drive's controls on the first row, the background's on the second.
    auto* rows = new QVBoxLayout(bar);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    auto* second = new QHBoxLayout;
    rows->addLayout(row);
    rows->addLayout(second);
    row->addWidget(new QLabel(QStringLiteral("Channel:"), bar));
    channelBox_ = Named(new QComboBox(bar), "MapChannel");
    channelBox_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    row->addWidget(channelBox_);
    row->addWidget(new QLabel(QStringLiteral("Thresholds (dBm):"), bar));
    thresholdsEdit_ = Named(new QLineEdit(QText(ramp_.Text()), bar), "MapThresholds");
    thresholdsEdit_->setMinimumWidth(190);
    thresholdsEdit_->setToolTip(
        QStringLiteral("Five increasing levels in dBm that divide the six colours"));
    row->addWidget(thresholdsEdit_);
    row->addWidget(new QLabel(QStringLiteral("Cells:"), bar));
    cellsBox_ = Named(new QComboBox(bar), "MapCells");
    cellsBox_->addItem(QStringLiteral("None"), 0.0);
    for (const int metres : {25, 50, 100, 250, 500, 1000})
        cellsBox_->addItem(QString::number(metres) + QStringLiteral(" m"),
                           static_cast<double>(metres));
    cellsBox_->setToolTip(
        QStringLiteral("Square cells of a UTM grid, drawn instead of the points where the points "
                       "would pile up; the statistics then give the share of cells too"));
    row->addWidget(cellsBox_);
    cellValueBox_ = Named(new QComboBox(bar), "MapCellValue");
    cellValueBox_->addItem(QStringLiteral("Linear mean"),
                           static_cast<int>(BinStatistic::LinearMean));
    cellValueBox_->addItem(QStringLiteral("Median"), static_cast<int>(BinStatistic::Median));
    row->addWidget(cellValueBox_);
    fitButton_ = Named(new QPushButton(QStringLiteral("Fit"), bar), "MapFit");
    compareButton_ = Named(new QPushButton(QStringLiteral("Compare With..."), bar), "MapCompare");
    compareButton_->setToolTip(
        QStringLiteral("Another drive of the same route, B, against this one, A: B - A in the "
                       "cells both cover"));
    backgroundBox_ = Named(new QComboBox(bar), "MapBackground");
    backgroundBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    backgroundBox_->setMinimumContentsLength(16);
    backgroundBox_->setToolTip(
        QStringLiteral("What lies under the drive: a vector or raster file GDAL reads, or a tile "
                       "service (its tiles are cached in the user's cache folder)"));
    fadeSlider_ = Named(new QSlider(Qt::Horizontal, bar), "MapFade");
    fadeSlider_->setRange(0, 100);
    fadeSlider_->setValue(fade_);
    fadeSlider_->setFixedWidth(90);
    fadeSlider_->setTracking(false);  // read again when the slider is let go
    fadeSlider_->setToolTip(
        QStringLiteral("How far a raster or tile background fades to white (0: full colour)"));
    offlineBox_ = Named(new QCheckBox(QStringLiteral("Offline"), bar), "MapOffline");
    offlineBox_->setToolTip(QStringLiteral("Tiles from the cache only: nothing is fetched"));
    saveButton_ = Named(new QPushButton(QStringLiteral("Save Image..."), bar), "MapSaveImage");
    row->addWidget(fitButton_);
    row->addStretch(1);
    row->addWidget(compareButton_);
    row->addWidget(saveButton_);
    second->addWidget(new QLabel(QStringLiteral("Background:"), bar));
    second->addWidget(backgroundBox_);
    second->addWidget(new QLabel(QStringLiteral("Fade:"), bar));
    second->addWidget(fadeSlider_);
    second->addWidget(offlineBox_);
    second->addStretch(1);
    FillBackgroundBox();
    connect(channelBox_, &QComboBox::currentIndexChanged, this, &TMapWindow::ChannelChanged);
    connect(thresholdsEdit_, &QLineEdit::editingFinished, this, &TMapWindow::ThresholdsEdited);
    connect(fitButton_, &QPushButton::clicked, this, &TMapWindow::FitClick);
    connect(cellsBox_, &QComboBox::currentIndexChanged, this, &TMapWindow::CellsChanged);
    connect(cellValueBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) return;
        cellValue_ = static_cast<BinStatistic>(cellValueBox_->itemData(index).toInt());
        RefreshScene();
    });
    connect(compareButton_, &QPushButton::clicked, this, &TMapWindow::CompareClick);
    connect(backgroundBox_, &QComboBox::activated, this, &TMapWindow::BackgroundChosen);
    connect(fadeSlider_, &QSlider::valueChanged, this, &TMapWindow::SetFade);
    connect(offlineBox_, &QCheckBox::toggled, this, &TMapWindow::SetOffline);
    connect(saveButton_, &QPushButton::clicked, this, &TMapWindow::SaveImageClick);
    return bar;
}

void TMapWindow::Collect(const QString& input, const ConversionSettings& settings,
                         const QString& what) {
    StopWorker();
    input_ = StdText(input);
    binning_.reset();
    comparison_ = DriveComparison();
    compareButton_->setText(QStringLiteral("Compare With..."));
    title_ = QStringLiteral("Map - ") + input.section(QLatin1Char('/'), -1) +
             QStringLiteral(" - ") + what;
    setWindowTitle(title_);
    data_.reset();
    RefreshScene();
    progressBar_->setValue(0);
    worker_ = std::make_unique<TCollectMap>(reader_, bridge_);
    settings_ = settings;
    worker_->SetInput(StdText(input), settings);
    worker_->Resume();
    cancelButton_->setEnabled(true);
    poll_.start();
    emit BusyChanged();
}

bool TMapWindow::Busy() const {
    return (worker_ != nullptr && worker_->Running()) ||
           (cellsWorker_ != nullptr && cellsWorker_->Running());
}

void TMapWindow::Cancel() {
    if (worker_ != nullptr) worker_->Terminate();
    if (cellsWorker_ != nullptr) cellsWorker_->Terminate();
}

void TMapWindow::StopWorker() {
    if (worker_ == nullptr && cellsWorker_ == nullptr) return;
    Cancel();
    PumpEventsUntil([this] {
        return (worker_ == nullptr || !worker_->Running()) &&
               (cellsWorker_ == nullptr || !cellsWorker_->Running());
    });
    poll_.stop();
    worker_.reset();
    cellsWorker_.reset();
    cellsJob_ = CellsJob::None;
    cancelButton_->setEnabled(false);
    emit BusyChanged();
}

void TMapWindow::PollWorker() {
    if (worker_ != nullptr) {
        if (worker_->Running()) return;
        poll_.stop();
        // The worker's last progress and messages reach the window before its points do.
        PumpEventsUntil([] { return true; });
        result_ = worker_->Result();
        data_ = std::make_unique<MapData>(std::move(worker_->Data()));
        worker_.reset();
        cancelButton_->setEnabled(false);
        ShowCollection();
        // The cells follow the points, for a drive read to its end.
        if (cellMetres_ > 0.0 && result_.outcome.outcome == JobOutcome::Completed) StartBinning();
        emit BusyChanged();
        emit CollectionShown();
        return;
    }
    if (cellsWorker_ == nullptr || cellsWorker_->Running()) return;
    poll_.stop();
    PumpEventsUntil([] { return true; });
    const std::string failure = cellsWorker_->Failure();
    cellsWorker_.reset();
    cancelButton_->setEnabled(false);
    const CellsJob job = cellsJob_;
    cellsJob_ = CellsJob::None;
    if (!failure.empty()) {
        varistrum::ReportMessage(MessageKind::Error, QText(failure));
    } else if (job == CellsJob::Binning) {
        ShowBinning();
    } else if (job == CellsJob::Comparison) {
        ShowComparison();
    }
    emit BusyChanged();
    emit CellsShown();
}

void TMapWindow::StartBinning() {
    binning_.reset();
    if (data_ == nullptr || input_.empty() || cellMetres_ <= 0.0) return;
    BinOptions options;
    options.cellMetres = cellMetres_;
    // The map keeps its points too: the cells take half of what a binning may.
    options.memoryBudgetBytes = kComparisonBinningBudget;
    binned_ = BinnedDrive();
    cellsJob_ = CellsJob::Binning;
    cellsWorker_ = std::make_unique<TCoverageJob>();
    progressBar_->setValue(0);
    cellsWorker_->Resume([this, options](std::stop_token stop) {
        binned_ = BinDrive(reader_, input_, settings_, options, bridge_, stop);
    });
    cancelButton_->setEnabled(true);
    poll_.start();
    emit BusyChanged();
}

void TMapWindow::ShowBinning() {
    const FileOutcome& outcome = binned_.outcome;
    if (outcome.outcome == JobOutcome::Completed && binned_.binning) {
        binning_ = std::make_unique<Binning>(std::move(*binned_.binning));
        statusBar()->showMessage(QText(std::to_string(binning_->CellCount()) + " cells"));
    } else if (outcome.outcome == JobOutcome::Cancelled) {
        statusBar()->showMessage(QStringLiteral("Conversion Cancelled."));
    } else {
        // The points stay; the reason (a binning that needs a larger cell) is said.
        std::string text = outcome.message;
        if (!outcome.path.empty()) text += " '" + outcome.path + "'";
        if (!outcome.reason.empty()) text += ": " + outcome.reason;
        statusBar()->showMessage(QText(text + " Points are shown."));
    }
    binned_ = BinnedDrive();
    RefreshScene();
}

void TMapWindow::SetCells(double metres, BinStatistic value) {
    const int valueIndex = cellValueBox_->findData(static_cast<int>(value));
    if (valueIndex >= 0) cellValueBox_->setCurrentIndex(valueIndex);
    int index = cellsBox_->findData(metres);
    if (index < 0) {
        cellsBox_->addItem(QString::number(metres) + QStringLiteral(" m"), metres);
        index = cellsBox_->count() - 1;
    }
    if (index == cellsBox_->currentIndex())
        CellsChanged(index);
    else
        cellsBox_->setCurrentIndex(index);
}

void TMapWindow::CellsChanged(int index) {
    if (index < 0) return;
    // A binning under way is for the cells chosen before.
    if (cellsWorker_ != nullptr && cellsJob_ == CellsJob::Binning) {
        cellsWorker_->Terminate();
        PumpEventsUntil([this] { return !cellsWorker_->Running(); });
        cellsWorker_.reset();
        cellsJob_ = CellsJob::None;
        emit BusyChanged();
    }
    cellMetres_ = cellsBox_->itemData(index).toDouble();
    binning_.reset();
    if (cellMetres_ > 0.0 && !Busy()) StartBinning();
    RefreshScene();
}

ChannelChoice TMapWindow::ChannelShown() const {
    if (data_ == nullptr || channel_ == MapChannels::kStrongest) return {};
    const MapChannel& entry = data_->channels.Entry(channel_);
    ChannelChoice choice = ChannelChoice::Channel(entry.channel);
    // The frequency as the cells keep it (as the text writes it).
    choice.frequencyMHz = std::round(entry.frequencyMHz * 1e5) / 1e5;
    return choice;
}

void TMapWindow::CompareWith(const QString& other) {
    if (Busy() || data_ == nullptr || input_.empty()) return;
    ComparisonRequest request;
    request.inputA = input_;
    request.inputB = StdText(other);
    request.settingsA = settings_;
    // Drive B with every scan: its scans need not be numbered as A's are.
    request.settingsB = settings_;
    request.settingsB.convertAllScans = true;
    request.cellMetres = cellMetres_ > 0.0 ? cellMetres_ : kDefaultCellMetres;
    request.channel = ChannelShown();
    comparison_ = DriveComparison();
    cellsJob_ = CellsJob::Comparison;
    cellsWorker_ = std::make_unique<TCoverageJob>();
    progressBar_->setValue(0);
    cellsWorker_->Resume([this, request](std::stop_token stop) {
        comparison_ = CompareDrives(reader_, request, bridge_, stop);
    });
    cancelButton_->setEnabled(true);
    poll_.start();
    emit BusyChanged();
}

void TMapWindow::ShowComparison() {
    if (Comparison() != nullptr) {
        compareButton_->setText(QStringLiteral("End Comparison"));
        statusBar()->showMessage(QText("Drive B: " + comparison_.comparison->ChannelText() + ", " +
                                       std::to_string(comparison_.comparison->Summary().cellsBoth) +
                                       " cells both drives cover"));
    } else {
        comparison_ = DriveComparison();
    }
    RefreshScene();
}

void TMapWindow::EndComparison() {
    comparison_ = DriveComparison();
    compareButton_->setText(QStringLiteral("Compare With..."));
    RefreshScene();
}

void TMapWindow::CompareClick() {
    if (Comparison() != nullptr) {
        EndComparison();
        return;
    }
    if (Busy() || data_ == nullptr) return;
    const QString path = ChoosePath(PathPrompt::OpenLog, this);
    if (!path.isEmpty()) CompareWith(path);
}

void TMapWindow::RefreshCells() {
    cellLayer_ = MapCellLayer();
    if (const BinComparison* comparison = Comparison()) {
        cellLayer_ = DifferenceCellsOf(*comparison);
        return;
    }
    if (binning_ == nullptr) return;
    if (const auto selection = binning_->Select(ChannelShown()))
        cellLayer_ = LevelCellsOf(*binning_, *selection, cellValue_);
}

void TMapWindow::ShowCollection() {
    const FileOutcome& outcome = result_.outcome;
    QString status;
    if (outcome.outcome == JobOutcome::Failed) {
        QString text = QText(outcome.message);
        if (!outcome.path.empty())
            text += QStringLiteral(" '") + QText(outcome.path) + QLatin1Char('\'');
        if (!outcome.reason.empty()) text += QStringLiteral(": ") + QText(outcome.reason);
        varistrum::ReportMessage(MessageKind::Error, text);
        status = text;
    } else if (outcome.outcome == JobOutcome::Cancelled) {
        status = QStringLiteral("Conversion Cancelled.");
    } else if (result_.leftOutRows > 0) {
        status = QText(LeftOutRowsText(result_.leftOutRows));
    }
    statusBar()->showMessage(status);
    channelBox_->blockSignals(true);
    channelBox_->clear();
    for (const std::uint16_t id : data_->channels.ChooserOrder())
        channelBox_->addItem(QText(data_->channels.Label(id)), static_cast<int>(id));
    channelBox_->blockSignals(false);
    channel_ = MapChannels::kStrongest;
    progressBar_->setValue(100);
    RefreshScene();
    canvas_->Fit();
}

void TMapWindow::RefreshScene() {
    try {
        RefreshCells();
    } catch (const std::bad_alloc&) {
        cellLayer_ = MapCellLayer();
        statusBar()->showMessage(QStringLiteral("Not enough memory for the cells."));
    }
    canvas_->SetScene({data_.get(),
                       background_.get(),
                       channel_,
                       ramp_,
                       fade_,
                       {},
                       cellLayer_.Empty() ? nullptr : &cellLayer_});
    statistics_->SetSummary(
        data_ == nullptr ? LevelSummary() : Summarise(data_->LevelsOf(channel_), ramp_), ramp_);
    std::vector<std::string> area;
    if (const BinComparison* comparison = Comparison()) {
        area = ComparisonLines(*comparison);
    } else if (binning_ != nullptr) {
        if (const auto selection = binning_->Select(ChannelShown())) {
            area = AreaShareLines(CellSharesAtOrAbove(*binning_, *selection, ramp_), ramp_);
            std::reverse(area.begin(), area.end());  // the strongest first, as the points'
        }
    }
    statistics_->SetAreaLines(std::move(area));
}

void TMapWindow::ChooseChannel(std::uint16_t id) {
    const int index = channelBox_->findData(static_cast<int>(id));
    if (index >= 0) channelBox_->setCurrentIndex(index);
}

void TMapWindow::ChannelChanged(int index) {
    if (index < 0) return;
    channel_ = static_cast<std::uint16_t>(channelBox_->itemData(index).toInt());
    RefreshScene();
}

bool TMapWindow::SetThresholdsText(const QString& text) {
    std::string error;
    const auto ramp = LevelRamp::Parse(StdText(text), &error);
    if (!ramp) {
        statusBar()->showMessage(QText(error));
        return false;
    }
    ramp_ = *ramp;
    thresholdsEdit_->setText(QText(ramp_.Text()));
    RefreshScene();
    return true;
}

void TMapWindow::ThresholdsEdited() {
    if (!SetThresholdsText(thresholdsEdit_->text())) thresholdsEdit_->setText(QText(ramp_.Text()));
}

void TMapWindow::FitClick() {
    canvas_->Fit();
}

void TMapWindow::FillBackgroundBox() {
    backgroundBox_->blockSignals(true);
    backgroundBox_->clear();
    backgroundBox_->addItem(QStringLiteral("None"), QStringLiteral("none"));
    backgroundBox_->addItem(QStringLiteral("File..."), QStringLiteral("file"));
    if (!backgroundName_.empty())
        backgroundBox_->addItem(QStringLiteral("File: ") + QText(backgroundName_),
                                QStringLiteral("shown-file"));
    const std::vector<TileSource> sources = AllTileSources();
    for (std::size_t i = 0; i < sources.size(); ++i)
        backgroundBox_->addItem(QStringLiteral("Tiles: ") + QText(sources[i].name),
                                QStringLiteral("tiles:") + QString::number(i));
    backgroundBox_->addItem(QStringLiteral("Add Tile Source..."), QStringLiteral("add"));
    backgroundBox_->setCurrentIndex(std::max(backgroundBox_->findData(backgroundKey_), 0));
    backgroundBox_->blockSignals(false);
}

void TMapWindow::UseBackground(std::unique_ptr<MapBackground> background, const QString& key) {
    background_ = std::move(background);
    backgroundKey_ = key;
    if (key != QStringLiteral("shown-file")) {
        backgroundPath_.clear();
        backgroundName_.clear();
    }
    FillBackgroundBox();
    statusBar()->clearMessage();
    RefreshScene();
    canvas_->BackgroundChanged();
    if (data_ == nullptr && background_ != nullptr) canvas_->Fit();
}

QString TMapWindow::LoadBackgroundFile(const QString& path) {
    std::string error;
    std::unique_ptr<MapBackground> background = OpenBackgroundFile(StdText(path), error);
    if (background == nullptr) return QText(error) + QLatin1Char('.');
    backgroundPath_ = StdText(path);
    backgroundName_ = background->Name();
    UseBackground(std::move(background), QStringLiteral("shown-file"));
    return {};
}

std::vector<TileSource> TMapWindow::AllTileSources() const {
    std::vector<TileSource> all = {BuiltInTileSource()};
    all.insert(all.end(), tileSources_.begin(), tileSources_.end());
    return all;
}

QString TMapWindow::ShowTileSource(int index) {
    const std::vector<TileSource> sources = AllTileSources();
    if (index < 0 || static_cast<std::size_t>(index) >= sources.size()) return {};
    const TileSource& source = sources[static_cast<std::size_t>(index)];
    TileService service{source.name, source.urlTemplate, source.attribution, source.maxZoom,
                        offline_};
    std::string error;
    std::unique_ptr<MapBackground> background = OpenTileService(service, error);
    if (background == nullptr) return QText(error) + QLatin1Char('.');
    UseBackground(std::move(background), QStringLiteral("tiles:") + QString::number(index));
    return {};
}

void TMapWindow::ClearBackground() {
    UseBackground(nullptr, QStringLiteral("none"));
}

void TMapWindow::SetTileSources(const std::vector<TileSource>& sources) {
    // A tile source shown keeps its place only when the list is unchanged.
    if (backgroundKey_.startsWith(QStringLiteral("tiles:")) && sources != tileSources_ &&
        backgroundKey_ != QStringLiteral("tiles:0"))
        ClearBackground();
    tileSources_ = sources;
    FillBackgroundBox();
}

QString TMapWindow::AddTileSource(const TileSource& source) {
    if (const auto problem = TileSourceProblem(source)) return QText(*problem) + QLatin1Char('.');
    for (const TileSource& known : AllTileSources()) {
        if (QText(known.name).compare(QText(source.name), Qt::CaseInsensitive) == 0)
            return QStringLiteral("A tile source is named '") + QText(source.name) +
                   QStringLiteral("' already.");
    }
    tileSources_.push_back(source);
    FillBackgroundBox();
    emit TileSourcesChanged();
    return {};
}

void TMapWindow::SetFade(int percent) {
    if (percent == fade_) return;
    fade_ = std::clamp(percent, 0, 100);
    if (fadeSlider_->value() != fade_) fadeSlider_->setValue(fade_);
    RefreshScene();
}

void TMapWindow::SetOffline(bool offline) {
    if (offline == offline_) return;
    offline_ = offline;
    if (offlineBox_->isChecked() != offline) offlineBox_->setChecked(offline);
    // The tiles shown are read again, from the cache only or not.
    if (backgroundKey_.startsWith(QStringLiteral("tiles:"))) {
        if (const QString error = ShowTileSource(backgroundKey_.mid(6).toInt()); !error.isEmpty())
            varistrum::ReportMessage(MessageKind::Error, error);
    }
}

void TMapWindow::BackgroundChosen(int index) {
    const QString key = backgroundBox_->itemData(index).toString();
    QString error;
    if (key == QStringLiteral("none")) {
        ClearBackground();
    } else if (key == QStringLiteral("file")) {
        const QString path = ChoosePath(PathPrompt::OpenBackground, this);
        if (!path.isEmpty()) error = LoadBackgroundFile(path);
    } else if (key.startsWith(QStringLiteral("tiles:"))) {
        error = ShowTileSource(key.mid(6).toInt());
    } else if (key == QStringLiteral("add")) {
        TTileSourceDlg dialog(this);
        if (RunModal(dialog) == QDialog::Accepted) {
            error = AddTileSource(dialog.Source());
            if (error.isEmpty()) error = ShowTileSource(static_cast<int>(tileSources_.size()));
        }
    }
    // Whatever was not taken leaves the chooser on what is shown.
    FillBackgroundBox();
    if (!error.isEmpty()) varistrum::ReportMessage(MessageKind::Error, error);
}

void TMapWindow::ShowBackgroundProblem(const QString& problem) {
    if (!problem.isEmpty()) statusBar()->showMessage(problem);
}

std::string TMapWindow::PictureTitle() const {
    if (data_ == nullptr) return {};
    return MapTitle(input_.substr(input_.find_last_of('/') + 1), *data_, channel_, settings_);
}

bool TMapWindow::SaveImage(const QString& path, QSize size, QString* error) {
    JobFileList files;
    if (!input_.empty()) files.inputs = {input_};
    if (!backgroundPath_.empty()) files.backgrounds = {backgroundPath_};
    files.outputs = {MapPictureFiles(StdText(path))};
    QString ignored;
    QString& why = error != nullptr ? *error : ignored;
    if (const auto refusal = CheckJobFiles(files)) {
        why = QText(refusal->message);
        return false;
    }
    const std::string title = PictureTitle();
    std::string failedPath, reason;
    BackgroundDraw drawn;
    bool written = false;
    if (size == canvas_->size()) {
        written = WriteMapImage(canvas_->Picture(title), canvas_->View(), StdText(path), title,
                                failedPath, reason);
    } else {
        MapScene scene = canvas_->Scene();
        scene.title = title;
        written = WriteMapPicture(scene, size.width(), size.height(), StdText(path), failedPath,
                                  reason, &drawn);
    }
    if (written) return true;
    if (drawn.outcome == BackgroundDraw::Outcome::Refused ||
        drawn.outcome == BackgroundDraw::Outcome::Failed)
        why = QText(drawn.message) + QStringLiteral("; no picture is written.");
    else
        why = QStringLiteral("Output File Cannot Be Accessed! '") + QText(failedPath) +
              QStringLiteral("': ") + QText(reason);
    return false;
}

void TMapWindow::SaveImageClick() {
    const QString path = ChoosePath(PathPrompt::SaveImage, this);
    if (path.isEmpty()) return;
    bool ok = false;
    const QString sizeText = QInputDialog::getText(
        this, QStringLiteral("Save Image"),
        QStringLiteral("Size in pixels (WIDTHxHEIGHT); the window's size keeps the view as shown, "
                       "another size shows the whole drive:"),
        QLineEdit::Normal, SizeText(canvas_->size()), &ok);
    if (!ok) return;
    const QSize size = ParseSize(sizeText);
    if (!size.isValid()) {
        varistrum::ReportMessage(MessageKind::Error,
                                 QStringLiteral("The size must be WIDTHxHEIGHT, each from %1 to "
                                                "%2 pixels.")
                                     .arg(kPictureSideMin)
                                     .arg(kPictureSideMax));
        return;
    }
    QString error;
    bool saved = false;
    try {
        saved = SaveImage(path, size, &error);
    } catch (const std::bad_alloc&) {
        varistrum::ReportMessage(MessageKind::Error, QStringLiteral("Not enough memory."));
        return;
    }
    if (!saved) varistrum::ReportMessage(MessageKind::Error, error);
}

void TMapWindow::ShowCursor(double latitude, double longitude) {
    positionLabel_->setText(QText(PositionText({longitude, latitude})));
}

void TMapWindow::SetProgress(int percent) {
    progressBar_->setValue(percent);
}

void TMapWindow::ReportMessage(MessageKind kind, const std::string& text) {
    if (kind == MessageKind::Information)
        statusBar()->showMessage(QText(text));
    else
        varistrum::ReportMessage(kind, QText(text));
}

void TMapWindow::closeEvent(QCloseEvent* event) {
    StopWorker();
    event->accept();
}

}  // namespace varistrum
