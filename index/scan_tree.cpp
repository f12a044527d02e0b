// SPDX-License-Identifier: GPL-3.0-or-later
// Scan tree model and the check states the conversion reads.
#include "index/scan_tree.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace varistrum {

void ScanTree::Clear() {
    roots_.clear();
    std::fill(rootOfMode_.begin(), rootOfMode_.end(), -1);
    nodeScans_ = 0;
    // Release the memory: a tree of millions of scans is followed by one of a few.
    std::vector<std::uint8_t>().swap(flags_);
    std::vector<std::uint8_t>().swap(modes_);
    std::vector<std::uint32_t>().swap(nameStart_);
    std::string().swap(names_);
    lastName_ = 0;
    anyName_ = false;
}

void ScanTree::AddRoot(int scanMode, const std::string& text) {
    if (scanMode < 0 || scanMode >= static_cast<int>(rootOfMode_.size())) return;
    rootOfMode_[static_cast<std::size_t>(scanMode)] = static_cast<int>(roots_.size());
    roots_.push_back({scanMode, text});
}

void ScanTree::AddScan(int scanMode, int scanIndex, std::string_view text) {
    if (scanIndex <= 0) return;
    std::uint8_t flags = kListed | kNode | kChecked;
    if (scanMode >= 0 && scanMode < static_cast<int>(rootOfMode_.size()) &&
        rootOfMode_[static_cast<std::size_t>(scanMode)] >= 0)
        flags |= kUnderRoot;
    if (!Has(scanIndex, kNode)) ++nodeScans_;
    Add(scanMode, scanIndex, text, flags);
}

void ScanTree::AddScanWithoutNode(int scanMode, int scanIndex, std::string_view text) {
    if (scanIndex <= 0 || Has(scanIndex, kNode)) return;
    Add(scanMode, scanIndex, text, kListed);
}

void ScanTree::Add(int scanMode, int scanIndex, std::string_view text, std::uint8_t flags) {
    const auto n = static_cast<std::size_t>(scanIndex);
    if (n >= flags_.size()) {
        flags_.resize(n + 1, 0);
        modes_.resize(n + 1, 0xFF);
        nameStart_.resize(n + 1, 0);
    }
    flags_[n] = flags;
    modes_[n] = scanMode >= 0 && scanMode < 0xFF ? static_cast<std::uint8_t>(scanMode) : 0xFF;
    // Names change only with a clock or fix record: most scans share the name before theirs.
    if (!anyName_ || NameAt(lastName_) != text) {
        const auto length = static_cast<std::uint32_t>(text.size());
        if (names_.size() + sizeof length + text.size() > std::numeric_limits<std::uint32_t>::max())
            throw std::length_error("too many scan names");
        lastName_ = static_cast<std::uint32_t>(names_.size());
        names_.append(reinterpret_cast<const char*>(&length), sizeof length);
        names_.append(text);
        anyName_ = true;
    }
    nameStart_[n] = lastName_;
}

bool ScanTree::Has(int scanIndex, std::uint8_t flag) const {
    return scanIndex >= 0 && static_cast<std::size_t>(scanIndex) < flags_.size() &&
           (flags_[static_cast<std::size_t>(scanIndex)] & flag) != 0;
}

bool ScanTree::Toggle(int scanIndex) {
    if (!Has(scanIndex, kNode)) return false;
    flags_[static_cast<std::size_t>(scanIndex)] ^= kChecked;
    return true;
}

void ScanTree::SetChecked(int scanIndex, bool checked) {
    if (Has(scanIndex, kNode) && Has(scanIndex, kChecked) != checked) Toggle(scanIndex);
}

std::optional<bool> ScanTree::ScanChecked(int scanIndex) const {
    if (!Has(scanIndex, kNode)) return std::nullopt;
    return Has(scanIndex, kChecked);
}

ScanSelectionSnapshot ScanTree::Snapshot() const {
    std::vector<signed char> states(flags_.size(), -1);
    for (std::size_t n = 0; n < flags_.size(); ++n) {
        if (flags_[n] & kNode) states[n] = (flags_[n] & kChecked) ? 1 : 0;
    }
    return ScanSelectionSnapshot(std::move(states));
}

std::size_t ScanTree::NodeCount() const {
    return roots_.size() + nodeScans_;
}

int ScanTree::RootOf(int scanIndex) const {
    if (!Has(scanIndex, kUnderRoot)) return -1;
    const std::uint8_t mode = modes_[static_cast<std::size_t>(scanIndex)];
    return mode < rootOfMode_.size() ? rootOfMode_[mode] : -1;
}

std::string_view ScanTree::NameOf(int scanIndex) const {
    if (scanIndex < 0 || static_cast<std::size_t>(scanIndex) >= flags_.size() ||
        flags_[static_cast<std::size_t>(scanIndex)] == 0)
        return {};
    return NameAt(nameStart_[static_cast<std::size_t>(scanIndex)]);
}

std::string_view ScanTree::NameAt(std::uint32_t start) const {
    std::uint32_t length = 0;
    std::memcpy(&length, names_.data() + start, sizeof length);
    return std::string_view(names_).substr(start + sizeof length, length);
}

std::string_view ScanTree::CategoryOf(int scanIndex) const {
    const int root = RootOf(scanIndex);
    return root < 0 ? std::string_view()
                    : std::string_view(roots_[static_cast<std::size_t>(root)].text);
}

std::vector<ScanTreeNode> ScanTree::Scans() const {
    std::vector<ScanTreeNode> scans;
    ForEachScan([&](int scanIndex, bool hasNode) {
        if (!hasNode) return;
        const std::uint8_t mode = modes_[static_cast<std::size_t>(scanIndex)];
        scans.push_back({scanIndex, mode == 0xFF ? -1 : mode, std::string(NameOf(scanIndex)),
                         Has(scanIndex, kChecked)});
    });
    return scans;
}

}  // namespace varistrum
