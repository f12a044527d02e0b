// SPDX-License-Identifier: GPL-3.0-or-later
// Scan tree model and the check states the conversion reads.
#include "index/scan_tree.h"

#include <algorithm>

namespace varistrum {

void ScanTree::Clear() {
    nodes_.clear();
    std::fill(rootOfMode_.begin(), rootOfMode_.end(), -1);
    nodeOfScan_.clear();
}

void ScanTree::AddRoot(int scanMode, const std::string& text) {
    if (scanMode < 0 || scanMode >= static_cast<int>(rootOfMode_.size())) return;
    rootOfMode_[static_cast<std::size_t>(scanMode)] = static_cast<int>(nodes_.size());
    nodes_.push_back({0, scanMode, text, true, -1});
}

void ScanTree::AddScan(int scanMode, int scanIndex, const std::string& text) {
    int parent = -1;
    if (scanMode >= 0 && scanMode < static_cast<int>(rootOfMode_.size()))
        parent = rootOfMode_[static_cast<std::size_t>(scanMode)];
    if (scanIndex < 0) return;
    if (static_cast<std::size_t>(scanIndex) >= nodeOfScan_.size())
        nodeOfScan_.resize(static_cast<std::size_t>(scanIndex) + 1, -1);
    nodeOfScan_[static_cast<std::size_t>(scanIndex)] = static_cast<int>(nodes_.size());
    nodes_.push_back({scanIndex, scanMode, text, true, parent});
}

bool ScanTree::IsRoot(std::size_t node) const {
    return node < nodes_.size() && nodes_[node].scanIndex == 0 && nodes_[node].parent < 0;
}

bool ScanTree::Toggle(std::size_t node) {
    // Top-level scan nodes (files without category roots) toggle too; roots never do.
    if (node >= nodes_.size() || nodes_[node].scanIndex <= 0) return false;
    nodes_[node].checked = !nodes_[node].checked;
    return true;
}

void ScanTree::SetChecked(int scanIndex, bool checked) {
    if (scanIndex < 0 || static_cast<std::size_t>(scanIndex) >= nodeOfScan_.size()) return;
    const int node = nodeOfScan_[static_cast<std::size_t>(scanIndex)];
    if (node >= 0) nodes_[static_cast<std::size_t>(node)].checked = checked;
}

std::optional<bool> ScanTree::ScanChecked(int scanIndex) const {
    if (scanIndex < 0 || static_cast<std::size_t>(scanIndex) >= nodeOfScan_.size())
        return std::nullopt;
    const int node = nodeOfScan_[static_cast<std::size_t>(scanIndex)];
    if (node < 0) return std::nullopt;
    return nodes_[static_cast<std::size_t>(node)].checked;
}

ScanSelectionSnapshot ScanTree::Snapshot() const {
    std::vector<signed char> states(nodeOfScan_.size(), -1);
    for (std::size_t n = 0; n < nodeOfScan_.size(); ++n) {
        if (const auto checked = ScanChecked(static_cast<int>(n))) states[n] = *checked ? 1 : 0;
    }
    return ScanSelectionSnapshot(std::move(states));
}

std::string ScanTree::CategoryOf(const ScanTreeNode& node) const {
    return node.parent < 0 ? std::string() : nodes_[static_cast<std::size_t>(node.parent)].text;
}

std::vector<const ScanTreeNode*> ScanTree::Scans() const {
    std::vector<const ScanTreeNode*> scans;
    for (const ScanTreeNode& node : nodes_) {
        if (node.scanIndex > 0) scans.push_back(&node);
    }
    return scans;
}

}  // namespace varistrum
