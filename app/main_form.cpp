// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's construction: menus, input and output, hidden groups, tab order, handlers.
#include "app/main_form.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/named_widget.h"
#include "app/radio_group.h"
#include "app/scan_tree_view.h"

namespace varistrum {

namespace {

constexpr int kWidth = 1161;
constexpr int kHeight = 712;

QLineEdit* ReadOnlyEdit(const char* name, QWidget* parent, const QString& text = QString()) {
    auto* edit = Named(new QLineEdit(text, parent), name);
    edit->setReadOnly(true);
    return edit;
}

QLabel* Caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

}  // namespace

TMainForm::TMainForm(TavrelReader& reader, Workflow& workflow, QWidget* parent)
    : QMainWindow(parent),
      reader_(reader),
      workflow_(workflow),
      indexBridge_(this, static_cast<IndexView&>(*this)),
      convertBridge_(this, static_cast<JobObserver&>(*this)),
      workingDirectory_(QDir::currentPath()) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("QTX Varistrum (Tavrel Edition) 6.15"));
    setAcceptDrops(true);

    BuildMenus();
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Central"));
    setCentralWidget(central);

    auto* left = new QVBoxLayout;
    left->addWidget(BuildInputOutput());
    left->addWidget(BuildOptions(), 1);
    auto* right = new QVBoxLayout;
    right->addWidget(BuildFieldLists(), 1);
    right->addWidget(BuildScans(), 1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addSpacing(6);
    columns->addLayout(right, 1);
    auto* layout = new QVBoxLayout(central);
    layout->addLayout(columns, 1);
    layout->addWidget(BuildBottomBar());
    BuildHiddenGroups(central);

    SetTabOrder();
    ConnectHandlers();
    FormCreate();

    setFixedSize(kWidth, kHeight);
    if (const QScreen* screen = this->screen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TMainForm::BuildMenus() {
    QMenu* application = menuBar()->addMenu(QStringLiteral("&Application"));
    application->setObjectName(QStringLiteral("Application1"));
    OpenConfiguration1 = application->addAction(QStringLiteral("Open Configuration"));
    OpenConfiguration1->setObjectName(QStringLiteral("OpenConfiguration1"));
    OpenConfiguration1->setShortcut(QKeySequence::Open);
    SaveConfiguration1 = application->addAction(QStringLiteral("Save Configuration"));
    SaveConfiguration1->setObjectName(QStringLiteral("SaveConfiguration1"));
    SaveConfiguration1->setShortcut(QKeySequence::Save);
    application->addSeparator();
    ExportMapLayer1 = application->addAction(QStringLiteral("Export Map Layer..."));
    ExportMapLayer1->setObjectName(QStringLiteral("ExportMapLayer1"));
    application->addSeparator();
    Exit1 = application->addAction(QStringLiteral("E&xit"));
    Exit1->setObjectName(QStringLiteral("Exit1"));
    Exit1->setShortcut(QKeySequence::Quit);

    // What a drive looks like and how far it can be trusted; filled by the map and report views.
    viewMenu_ = menuBar()->addMenu(QStringLiteral("&View"));
    viewMenu_->setObjectName(QStringLiteral("View1"));
    Map1 = viewMenu_->addAction(QStringLiteral("&Map..."));
    Map1->setObjectName(QStringLiteral("Map1"));
    Map1->setStatusTip(QStringLiteral("The checked scans on a map, coloured by signal level"));
    DriveQuality1 = viewMenu_->addAction(QStringLiteral("Drive Quality..."));
    DriveQuality1->setObjectName(QStringLiteral("DriveQuality1"));
    CoverageBins1 = viewMenu_->addAction(QStringLiteral("Coverage Bins..."));
    CoverageBins1->setObjectName(QStringLiteral("CoverageBins1"));
    CoverageBins1->setStatusTip(
        QStringLiteral("The checked scans in square cells: a coverage raster or layer"));
    CalibrateModel1 = viewMenu_->addAction(QStringLiteral("Calibrate Model..."));
    CalibrateModel1->setObjectName(QStringLiteral("CalibrateModel1"));
    CalibrateModel1->setStatusTip(
        QStringLiteral("A propagation model fitted to the drive's local means against its sites"));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    // "&&" is a literal ampersand in a menu text.
    ContentsIndex1 = help->addAction(QStringLiteral("Contents && Index"));
    ContentsIndex1->setObjectName(QStringLiteral("ContentsIndex1"));
    ContentsIndex1->setShortcut(QKeySequence::HelpContents);
    help->addSeparator();
    About1 = help->addAction(QStringLiteral("About"));
    About1->setObjectName(QStringLiteral("About1"));
}

QWidget* TMainForm::BuildInputOutput() {
    auto* box = Named(new QGroupBox(QStringLiteral("Input / Output")), "gbInputOutput");

    rbSingleFile = Named(new QRadioButton(QStringLiteral("Single File"), box), "rbSingleFile");
    rbSingleFile->setChecked(true);
    gbSingleFile = Named(new QGroupBox(box), "gbSingleFile");
    gbSingleFile->setFlat(true);
    InputFilename = ReadOnlyEdit("InputFilename", gbSingleFile);
    InBrowse = Named(new QPushButton(QStringLiteral("Browse"), gbSingleFile), "InBrowse");
    OutputFilename = ReadOnlyEdit("OutputFilename", gbSingleFile);
    OutBrowse = Named(new QPushButton(QStringLiteral("Browse"), gbSingleFile), "OutBrowse");
    auto* single = new QGridLayout(gbSingleFile);
    single->setContentsMargins(20, 2, 2, 2);
    single->addWidget(new QLabel(QStringLiteral("Input:"), gbSingleFile), 0, 0);
    single->addWidget(InputFilename, 0, 1);
    single->addWidget(InBrowse, 0, 2);
    single->addWidget(new QLabel(QStringLiteral("Output:"), gbSingleFile), 1, 0);
    single->addWidget(OutputFilename, 1, 1);
    single->addWidget(OutBrowse, 1, 2);

    rbMultipleFiles =
        Named(new QRadioButton(QStringLiteral("Multiple Files"), box), "rbMultipleFiles");
    gbMultipleFiles = Named(new QGroupBox(box), "gbMultipleFiles");
    gbMultipleFiles->setFlat(true);
    gbMultipleFiles->setEnabled(false);
    edInFolder = ReadOnlyEdit("edInFolder", gbMultipleFiles);
    btnInFolder = Named(new QPushButton(QStringLiteral("Browse"), gbMultipleFiles), "btnInFolder");
    cbInputExt = Named(new QComboBox(gbMultipleFiles), "cbInputExt");
    cbInputExt->setEditable(true);
    cbInputExt->addItems({QStringLiteral("*.klf"), QStringLiteral("*.qel")});
    cbInputExt->model()->sort(0);
    cbInputExt->setCurrentText(QStringLiteral("*.klf"));
    edOutFolder = ReadOnlyEdit("edOutFolder", gbMultipleFiles);
    btnOutFolder =
        Named(new QPushButton(QStringLiteral("Browse"), gbMultipleFiles), "btnOutFolder");
    edOutputExt = Named(new QLineEdit(QStringLiteral(".out"), gbMultipleFiles), "edOutputExt");
    edFileCount = ReadOnlyEdit("edFileCount", gbMultipleFiles, QStringLiteral("0"));
    edFileCount->setAlignment(Qt::AlignRight);
    for (QWidget* narrow : {static_cast<QWidget*>(cbInputExt), static_cast<QWidget*>(edOutputExt),
                            static_cast<QWidget*>(edFileCount)})
        narrow->setFixedWidth(70);
    auto* multiple = new QGridLayout(gbMultipleFiles);
    multiple->setContentsMargins(20, 2, 2, 2);
    multiple->addWidget(Caption(QStringLiteral("FOLDER"), gbMultipleFiles), 0, 1);
    multiple->addWidget(Caption(QStringLiteral("FILES"), gbMultipleFiles), 0, 3);
    multiple->addWidget(Caption(QStringLiteral("COUNT"), gbMultipleFiles), 0, 4);
    multiple->addWidget(new QLabel(QStringLiteral("Input:"), gbMultipleFiles), 1, 0);
    multiple->addWidget(edInFolder, 1, 1);
    multiple->addWidget(btnInFolder, 1, 2);
    multiple->addWidget(cbInputExt, 1, 3);
    multiple->addWidget(edFileCount, 1, 4);
    multiple->addWidget(new QLabel(QStringLiteral("Output:"), gbMultipleFiles), 2, 0);
    multiple->addWidget(edOutFolder, 2, 1);
    multiple->addWidget(btnOutFolder, 2, 2);
    multiple->addWidget(edOutputExt, 2, 3);
    multiple->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(box);
    layout->setSpacing(2);
    layout->addWidget(rbSingleFile);
    layout->addWidget(gbSingleFile);
    layout->addSpacing(4);
    layout->addWidget(rbMultipleFiles);
    layout->addWidget(gbMultipleFiles);
    return box;
}
void TMainForm::BuildHiddenGroups(QWidget* owner) {
    InputFormatGroup =
        new TRadioGroup(QStringLiteral("InputFormatGroup"), QStringLiteral("Input Format"),
                        {QStringLiteral("(None)"), QStringLiteral("QTX Glimmet"),
                         QStringLiteral("QTX Parvelock"), QStringLiteral("QTX Vel (PC CARD)"),
                         QStringLiteral("QTX Vel (PC DUMP)"), QStringLiteral("QTX Brindlet"),
                         QStringLiteral("QTX ULMOR"), QStringLiteral("QTX Glimmet (new)"),
                         QStringLiteral("QTX Tavrel"), QStringLiteral("QTX Tavrel (PC CARD)")},
                        1, owner);
    InputFormatGroup->SetItemIndex(0);
    BrindletMode = new TRadioGroup(
        QStringLiteral("BrindletMode"), QStringLiteral("Scan Mode"),
        {QStringLiteral("1 Channel"), QStringLiteral("3 Channel"), QStringLiteral("Scan Table")}, 1,
        owner);
    BrindletMode->SetItemIndex(0);
    ScanTypeGroup =
        new TRadioGroup(QStringLiteral("ScanTypeGroup"), QStringLiteral("Scan Type"),
                        {QStringLiteral("Scan Table"), QStringLiteral("Fast Data")}, 1, owner);
    ScanTypeGroup->SetItemIndex(1);
    for (TRadioGroup* group : {InputFormatGroup, BrindletMode, ScanTypeGroup}) {
        group->setEnabled(false);
        group->hide();
    }
}

void TMainForm::SetTabOrder() {
    const QList<QWidget*> order = {rbSingleFile,
                                   InputFilename,
                                   InBrowse,
                                   OutputFilename,
                                   OutBrowse,
                                   rbMultipleFiles,
                                   edInFolder,
                                   btnInFolder,
                                   cbInputExt,
                                   edFileCount,
                                   edOutFolder,
                                   btnOutFolder,
                                   edOutputExt,
                                   NoAvg,
                                   BSAvg,
                                   cbAT_None,
                                   rbLambda,
                                   Receiver1,
                                   Receiver2,
                                   FrequencyField,
                                   ChannelField,
                                   RSSIField,
                                   cbSplit,
                                   cbRecDrop,
                                   edOutage,
                                   cbTraffic,
                                   btnTrafficSettings,
                                   cbThreshold,
                                   btnThresholdSettings,
                                   FieldTitles,
                                   DelimiterGroup->Item(0),
                                   DelimiterGroup->Item(1),
                                   DelimiterGroup->Item(2),
                                   DelimiterGroup->Item(3),
                                   DelimiterGroup->Item(4),
                                   OtherDelimiter,
                                   AvailableBox,
                                   SelectField,
                                   DeselectField,
                                   SelectAll,
                                   DeselectAll,
                                   SelectedBox,
                                   tvIndex,
                                   btnConvert,
                                   btnCancel};
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void TMainForm::ConnectHandlers() {
    connect(OpenConfiguration1, &QAction::triggered, this, &TMainForm::OpenConfiguration1Click);
    connect(SaveConfiguration1, &QAction::triggered, this, &TMainForm::SaveConfiguration1Click);
    connect(ExportMapLayer1, &QAction::triggered, this, &TMainForm::ExportMapLayer1Click);
    connect(Exit1, &QAction::triggered, this, &TMainForm::Exit1Click);
    connect(ContentsIndex1, &QAction::triggered, this, &TMainForm::ContentsIndex1Click);
    connect(About1, &QAction::triggered, this, &TMainForm::About1Click);
    connect(Map1, &QAction::triggered, this, [this] { ShowMap(); });
    connect(tvIndex, &QTreeWidget::itemDoubleClicked, this, &TMainForm::tvIndexDoubleClick);
    connect(DriveQuality1, &QAction::triggered, this, &TMainForm::DriveQuality1Click);
    connect(CoverageBins1, &QAction::triggered, this, &TMainForm::CoverageBins1Click);
    connect(CalibrateModel1, &QAction::triggered, this, &TMainForm::CalibrateModel1Click);
    connect(InBrowse, &QPushButton::clicked, this, &TMainForm::InBrowseClick);
    connect(OutBrowse, &QPushButton::clicked, this, &TMainForm::OutBrowseClick);
    connect(InputFormatGroup, &TRadioGroup::Clicked, this, &TMainForm::InputFormatGroupClick);
    connect(SelectField, &QPushButton::clicked, this, &TMainForm::SelectClick);
    connect(DeselectField, &QPushButton::clicked, this, &TMainForm::DeselectClick);
    connect(SelectAll, &QPushButton::clicked, this, &TMainForm::SelectAllClick);
    connect(DeselectAll, &QPushButton::clicked, this, &TMainForm::DeselectAllClick);
    connect(AvailableBox, &QListWidget::itemDoubleClicked, this, &TMainForm::SelectClick);
    connect(SelectedBox, &QListWidget::itemDoubleClicked, this, &TMainForm::DeselectClick);
    connect(tvIndex, &TScanTreeView::MouseUp, this, &TMainForm::tvIndexMouseUp);
    connect(tvIndex, &TScanTreeView::SpacePressed, this, &TMainForm::tvIndexKeySpace);
    connect(rbSingleFile, &QRadioButton::clicked, this, &TMainForm::rbSingleFileClick);
    connect(rbMultipleFiles, &QRadioButton::clicked, this, &TMainForm::rbMultipleFilesClick);
    connect(btnInFolder, &QPushButton::clicked, this, &TMainForm::btnInFolderClick);
    connect(btnOutFolder, &QPushButton::clicked, this, &TMainForm::btnOutFolderClick);
    connect(btnConvert, &QPushButton::clicked, this, &TMainForm::btnConvertClick);
    connect(btnCancel, &QPushButton::clicked, this, &TMainForm::btnCancelClick);
    connect(Timer, &QTimer::timeout, this, &TMainForm::TimerTimer);
    connect(cbRecDrop, &QCheckBox::clicked, this, &TMainForm::cbRecDropClick);
    connect(btnTrafficSettings, &QPushButton::clicked, this, &TMainForm::btnTrafficSettingsClick);
    connect(btnThresholdSettings, &QPushButton::clicked, this,
            &TMainForm::btnThresholdSettingsClick);
    busyPoll_.setInterval(50);
    connect(&busyPoll_, &QTimer::timeout, this, &TMainForm::RefreshBusy);
}

}  // namespace varistrum
