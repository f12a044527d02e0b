// SPDX-License-Identifier: GPL-3.0-or-later
// Scan tree widget.
#include "app/scan_tree_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace varistrum {

namespace {

constexpr int kNodeRole = Qt::UserRole;

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
    items_.clear();
    clear();
}

void TScanTreeView::AddRoot(int scanMode, const QString& text) {
    const std::size_t before = model_.Nodes().size();
    model_.AddRoot(scanMode, text.toStdString());
    if (model_.Nodes().size() == before) return;
    auto* item = new QTreeWidgetItem(this, QStringList{text});
    item->setData(0, kNodeRole, static_cast<qulonglong>(before));
    // Roots carry no check box: they only group the scans.
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    items_.push_back(item);
}

void TScanTreeView::AddScan(int scanMode, int scanIndex, const QString& text) {
    const std::size_t before = model_.Nodes().size();
    model_.AddScan(scanMode, scanIndex, text.toStdString());
    if (model_.Nodes().size() == before) return;
    const ScanTreeNode& node = model_.Nodes().back();
    QTreeWidgetItem* parent =
        node.parent >= 0 ? ItemOfNode(static_cast<std::size_t>(node.parent)) : nullptr;
    auto* item = parent != nullptr ? new QTreeWidgetItem(parent, QStringList{text})
                                   : new QTreeWidgetItem(this, QStringList{text});
    item->setData(0, kNodeRole, static_cast<qulonglong>(before));
    // The check box is drawn from the check state; the view itself never flips it, so that
    // every toggle goes through the model.
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setData(0, Qt::CheckStateRole, CheckStateOf(node.checked));
    items_.push_back(item);
}

bool TScanTreeView::Toggle(QTreeWidgetItem* item) {
    if (item == nullptr) return false;
    const auto node = static_cast<std::size_t>(item->data(0, kNodeRole).toULongLong());
    if (!model_.Toggle(node)) return false;
    item->setData(0, Qt::CheckStateRole, CheckStateOf(model_.Nodes()[node].checked));
    return true;
}

QTreeWidgetItem* TScanTreeView::ScanItem(int scanIndex) const {
    for (std::size_t n = 0; n < model_.Nodes().size(); ++n) {
        if (model_.Nodes()[n].scanIndex == scanIndex && scanIndex > 0) return ItemOfNode(n);
    }
    return nullptr;
}

QTreeWidgetItem* TScanTreeView::ItemOfNode(std::size_t node) const {
    return node < items_.size() ? items_[node] : nullptr;
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
