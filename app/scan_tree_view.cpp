// SPDX-License-Identifier: GPL-3.0-or-later
// Scan tree widget.
#include "app/scan_tree_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace varistrum {

namespace {

constexpr int kScanRole = Qt::UserRole;  // the scan number of a node; 0 for a root

Qt::CheckState CheckStateOf(bool checked) {
    return checked ? Qt::Checked : Qt::Unchecked;
}

}  // namespace

TScanTreeView::TScanTreeView(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    header()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
}

void TScanTreeView::Clear() {
    model_.Clear();
    rootItems_.clear();
    scanItems_.clear();
    clear();
}

void TScanTreeView::AddRoot(int scanMode, const QString& text) {
    const std::size_t before = model_.RootCount();
    model_.AddRoot(scanMode, text.toStdString());
    if (model_.RootCount() == before) return;
    auto* item = new QTreeWidgetItem(this, QStringList{text});
    item->setData(0, kScanRole, 0);
    // Roots carry no check box: they only group the scans.
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    rootItems_.push_back(item);
}

void TScanTreeView::AddScan(int scanMode, int scanIndex, const QString& text) {
    if (model_.ScanChecked(scanIndex)) return;  // the scan has its node already
    model_.AddScan(scanMode, scanIndex, text.toStdString());
    const std::optional<bool> checked = model_.ScanChecked(scanIndex);
    if (!checked) return;
    const int root = model_.RootOf(scanIndex);
    QTreeWidgetItem* parent = root >= 0 ? rootItems_[static_cast<std::size_t>(root)] : nullptr;
    auto* item = parent != nullptr ? new QTreeWidgetItem(parent, QStringList{text})
                                   : new QTreeWidgetItem(this, QStringList{text});
    item->setData(0, kScanRole, scanIndex);
    // The check box is drawn from the check state; the view itself never flips it, so that
    // every toggle goes through the model.
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setData(0, Qt::CheckStateRole, CheckStateOf(*checked));
    if (static_cast<std::size_t>(scanIndex) >= scanItems_.size())
        scanItems_.resize(static_cast<std::size_t>(scanIndex) + 1, nullptr);
    scanItems_[static_cast<std::size_t>(scanIndex)] = item;
}

bool TScanTreeView::Toggle(QTreeWidgetItem* item) {
    if (item == nullptr) return false;
    const int scanIndex = item->data(0, kScanRole).toInt();
    if (!model_.Toggle(scanIndex)) return false;
    item->setData(0, Qt::CheckStateRole,
                  CheckStateOf(model_.ScanChecked(scanIndex).value_or(true)));
    return true;
}

QTreeWidgetItem* TScanTreeView::ScanItem(int scanIndex) const {
    if (scanIndex <= 0 || static_cast<std::size_t>(scanIndex) >= scanItems_.size()) return nullptr;
    return scanItems_[static_cast<std::size_t>(scanIndex)];
}

int TScanTreeView::ScanOf(const QTreeWidgetItem* item) const {
    if (item == nullptr) return 0;
    for (std::size_t n = 1; n < scanItems_.size(); ++n) {
        if (scanItems_[n] == item) return static_cast<int>(n);
    }
    return 0;
}

void TScanTreeView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    emit MouseUp(event->position().toPoint());  // any button, as a mouse-up
}

void TScanTreeView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        emit SpacePressed();
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

}  // namespace varistrum
