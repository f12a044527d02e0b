// SPDX-License-Identifier: GPL-3.0-or-later
// The scan tree: category roots and one check-box node per scan, Qt-free.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logfile/scan_selection.h"

namespace varistrum {

// One scan as the tree shows it, made on demand.
struct ScanTreeNode {
    int scanIndex = 0;
    int scanMode = -1;  // the category (ScanMode) the scan was added under
    std::string text;
    bool checked = true;
};

// Logs may hold millions of scans, so a scan costs six bytes here: its mode, its flags and
// where its name starts in one shared text of names (a name equal to the one before is
// stored once). Scans are kept by number; numbers are given in increasing order.
class ScanTree : public ScanSelection {
  public:
    void Clear();
    // Adds a top-level category node for a scan mode (0..21).
    void AddRoot(int scanMode, const std::string& text);
    // Adds a checked scan node (n >= 1) under the root of its scan mode, or at the top level.
    void AddScan(int scanMode, int scanIndex, std::string_view text);
    // A numbered scan the tree does not show (a table scan): only listed by ForEachScan.
    void AddScanWithoutNode(int scanMode, int scanIndex, std::string_view text);
    // Flips a scan node's check state; scans without a node do not toggle.
    bool Toggle(int scanIndex);
    void SetChecked(int scanIndex, bool checked);

    std::optional<bool> ScanChecked(int scanIndex) const override;
    ScanSelectionSnapshot Snapshot() const;

    // Number of category roots and of scan nodes.
    std::size_t NodeCount() const;
    std::size_t RootCount() const { return roots_.size(); }
    // Root number (0-based, in the order added) a scan node hangs under; -1 for none.
    int RootOf(int scanIndex) const;
    std::string_view NameOf(int scanIndex) const;
    // Category name of a scan node: its root's text; empty for a top-level node.
    std::string_view CategoryOf(int scanIndex) const;

    // Calls visit(scanIndex, hasNode) for every added scan, in number order.
    template <class Visit>
    void ForEachScan(Visit visit) const {
        for (std::size_t n = 0; n < flags_.size(); ++n) {
            if (flags_[n] & kListed) visit(static_cast<int>(n), (flags_[n] & kNode) != 0);
        }
    }
    // The scan nodes in number order, made on demand (a copy: for small trees and tests).
    std::vector<ScanTreeNode> Scans() const;

  private:
    enum : std::uint8_t { kListed = 1, kNode = 2, kChecked = 4, kUnderRoot = 8 };
    struct Root {
        int scanMode;
        std::string text;
    };

    void Add(int scanMode, int scanIndex, std::string_view text, std::uint8_t flags);
    bool Has(int scanIndex, std::uint8_t flag) const;
    std::string_view NameAt(std::uint32_t start) const;

    std::vector<Root> roots_;
    std::vector<int> rootOfMode_ = std::vector<int>(22, -1);
    std::size_t nodeScans_ = 0;
    // Per scan number (index 0 unused): flags, the scan mode (0xFF: none) and name start.
    std::vector<std::uint8_t> flags_;
    std::vector<std::uint8_t> modes_;
    std::vector<std::uint32_t> nameStart_;
    std::string names_;  // every stored name: its length (4 bytes) and its bytes
    std::uint32_t lastName_ = 0;
    bool anyName_ = false;
};

}  // namespace varistrum
