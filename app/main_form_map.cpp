// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's way into the map: View > Map... and a double-click on a scan.
#include <QLineEdit>
#include <QRadioButton>
#include <QTreeWidgetItem>
#include <algorithm>

#include "app/frequency_entry_form.h"
#include "app/main_form.h"
#include "app/map_window.h"
#include "app/scan_tree_view.h"
#include "app/ui_hooks.h"
#include "settings/settings_snapshot.h"

namespace varistrum {

void TMainForm::tvIndexDoubleClick(QTreeWidgetItem* item) {
    if (const int scan = tvIndex->ScanOf(item); scan > 0) ShowMap(scan);
}

void TMainForm::ShowMap(int scan) {
    if (ReaderBusy()) return;
    if (InputFilename->text().isEmpty()) {
        varistrum::ReportMessage(MessageKind::Error,
                                 QStringLiteral("Input and Output Files Must Be Selected."));
        return;
    }
    if (!FrequenciesReady()) return;  // asked for as CONVERT asks for them
    ConversionSettings settings = ConversionSettingsOf(CurrentSettings());
    settings.convertAllScans = false;
    settings.typed = workflow_.TypedChannelCodes();
    QString what = QStringLiteral("checked scans");
    if (scan > 0) {
        // Every scan of the file is named: a scan past the list would count as checked.
        const int scans = std::max(reader_.State().ScanIndex, scan);
        std::vector<signed char> states(static_cast<std::size_t>(scans) + 1, 0);
        states[static_cast<std::size_t>(scan)] = 1;
        settings.scans = ScanSelectionSnapshot(std::move(states));
        what = QStringLiteral("scan ") + QString::number(scan);
    } else {
        settings.scans = tvIndex->Model().Snapshot();
    }
    if (mapWindow_ == nullptr) {
        mapWindow_ = new TMapWindow(reader_, this);
        connect(mapWindow_, &TMapWindow::BusyChanged, this, &TMainForm::RefreshBusy);
        // Save Configuration stores the sources the user adds in the map.
        mapWindow_->SetTileSources(tileSources_);
        connect(mapWindow_, &TMapWindow::TileSourcesChanged, this,
                [this] { tileSources_ = mapWindow_->TileSources(); });
    }
    mapWindow_->show();
    mapWindow_->raise();
    mapWindow_->Collect(InputFilename->text(), settings, what);
}

}  // namespace varistrum
