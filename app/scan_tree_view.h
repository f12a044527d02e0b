// SPDX-License-Identifier: GPL-3.0-or-later
// The scan tree widget: category roots and one check-box node per scan, mirroring a ScanTree.
#pragma once

#include <QTreeWidget>

#include "index/scan_tree.h"

namespace varistrum {

class TScanTreeView : public QTreeWidget {
    Q_OBJECT
  public:
    explicit TScanTreeView(QWidget* parent = nullptr);

    void Clear();
    void AddRoot(int scanMode, const QString& text);
    void AddScan(int scanMode, int scanIndex, const QString& text);
    // Flips the check box of the node shown by `item`; roots and empty space change nothing.
    bool Toggle(QTreeWidgetItem* item);

    const ScanTree& Model() const { return model_; }
    // The widget item of scan n, or null.
    QTreeWidgetItem* ScanItem(int scanIndex) const;
    // The scan number of a scan node's item; 0 for a root or no item.
    int ScanOf(const QTreeWidgetItem* item) const;

  signals:
    // A mouse button went up over the view (viewport coordinates).
    void MouseUp(const QPoint& position);
    // The space bar toggles the current node, as a click would.
    void SpacePressed();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    ScanTree model_;
    std::vector<QTreeWidgetItem*> rootItems_;  // one per root, in the order added
    std::vector<QTreeWidgetItem*> scanItems_;  // by scan number; null where none
};

}  // namespace varistrum
