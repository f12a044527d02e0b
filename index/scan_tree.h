// SPDX-License-Identifier: GPL-3.0-or-later
// The scan tree: category roots and one check-box node per scan, Qt-free.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "logfile/scan_selection.h"

namespace varistrum {

struct ScanTreeNode {
    int scanIndex = 0;  // 0 for a root
    int scanMode = -1;  // the category (ScanMode) the node was added under
    std::string text;
    bool checked = true;
    int parent = -1;  // index of the parent node, -1 for a top-level node
};

class ScanTree : public ScanSelection {
  public:
    void Clear();
    // Adds a top-level category node for a scan mode (0..21).
    void AddRoot(int scanMode, const std::string& text);
    // Adds a checked scan node under the root of its scan mode, or at the top level.
    void AddScan(int scanMode, int scanIndex, const std::string& text);
    // Flips a scan node's check state; category roots do not toggle.
    bool Toggle(std::size_t node);
    bool IsRoot(std::size_t node) const;
    void SetChecked(int scanIndex, bool checked);

    std::optional<bool> ScanChecked(int scanIndex) const override;
    ScanSelectionSnapshot Snapshot() const;

    const std::vector<ScanTreeNode>& Nodes() const { return nodes_; }
    // Category name of a node's parent; empty for a top-level node.
    std::string CategoryOf(const ScanTreeNode& node) const;
    std::vector<const ScanTreeNode*> Scans() const;

  private:
    std::vector<ScanTreeNode> nodes_;
    std::vector<int> rootOfMode_ = std::vector<int>(22, -1);
    std::vector<int> nodeOfScan_;  // ScanNodes: node of scan n, -1 for none
};

}  // namespace varistrum
