// SPDX-License-Identifier: GPL-3.0-or-later
// The map's point arrays and their thinning.
#include "map/map_points.h"

#include <algorithm>
#include <numeric>

namespace varistrum {

namespace {

const ChannelPoints kNoPoints;
constexpr int kFirstCellShift = 6;  // 64 fixed steps: about 60 cm at the equator

template <typename T>
void KeepMarked(std::vector<T>& values, const std::vector<std::uint32_t>& kept) {
    for (std::size_t i = 0; i < kept.size(); ++i) values[i] = values[kept[i]];
    // A drive of many channels keeps a few points of each: no array keeps its old capacity.
    values.resize(kept.size());
    values.shrink_to_fit();
}

}  // namespace

void ChannelPoints::Clear() {
    *this = ChannelPoints();
}

void MapPointStore::Reserve(ChannelPoints& points, std::size_t count) {
    const std::size_t before = points.x.capacity();
    points.x.reserve(count);
    points.y.reserve(count);
    points.levelCentiDbm.reserve(count);
    points.channel.reserve(count);
    points.scan.reserve(count);
    points.samples.reserve(count);
    points.time.reserve(count);
    reserved_ += points.x.capacity() - before;
}

bool MapPointStore::Grow(ChannelPoints& points) {
    const std::size_t room = capacity_ > reserved_ ? capacity_ - reserved_ : 0;
    if (room == 0) return false;
    // By a quarter: the arrays of all channels together hold room for at most a quarter more
    // points than they hold (and 64 a channel), so thinning comes only after many more points.
    const std::size_t size = points.Size();
    Reserve(points, size + std::min(room, std::max<std::size_t>(size / 4, 64)));
    return true;
}

void MapPointStore::Add(std::uint16_t group, const StoredPoint& point) {
    if (group >= groups_.size()) groups_.resize(group + std::size_t{1});
    ChannelPoints& points = groups_[group];
    if (points.Size() == points.x.capacity() && !Grow(points)) {
        Thin();
        // Thinning leaves half the capacity free, unless a great many channels hold a few
        // points each: then their arrays grow a little beyond it.
        if (!Grow(points)) Reserve(points, points.Size() + 16);
    }
    points.x.push_back(point.position.x);
    points.y.push_back(point.position.y);
    points.levelCentiDbm.push_back(point.levelCentiDbm);
    points.channel.push_back(point.channel);
    points.scan.push_back(point.scan);
    points.samples.push_back(point.samples);
    points.time.push_back(point.time);
    const WorldPoint world{point.position.x * kFixedStep, point.position.y * kFixedStep};
    minimum_ = {std::min(minimum_.x, world.x), std::min(minimum_.y, world.y)};
    maximum_ = {std::max(maximum_.x, world.x), std::max(maximum_.y, world.y)};
    ++total_;
}

const ChannelPoints& MapPointStore::Group(std::uint16_t group) const {
    return group < groups_.size() ? groups_[group] : kNoPoints;
}

void MapPointStore::Clear() {
    groups_.clear();
    total_ = 0;
    reserved_ = 0;
    cellShift_ = 0;
    minimum_ = {1.0, 1.0};
    maximum_ = {0.0, 0.0};
}

void MapPointStore::Thin() {
    // Repeated visits of the same cells are merged first; only then do the cells grow.
    if (cellShift_ == 0) cellShift_ = kFirstCellShift;
    for (;;) {
        total_ = 0;
        reserved_ = 0;
        for (ChannelPoints& points : groups_) {
            ThinGroup(points);
            total_ += points.Size();
            reserved_ += points.x.capacity();
        }
        if (total_ <= capacity_ / 2 || cellShift_ >= 31) break;
        ++cellShift_;
    }
}

void MapPointStore::ThinGroup(ChannelPoints& points) {
    const std::size_t n = points.Size();
    const auto cellOf = [&](std::uint32_t i) {
        return (std::uint64_t{points.x[i] >> cellShift_} << 32) | (points.y[i] >> cellShift_);
    };
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return cellOf(a) < cellOf(b); });
    std::vector<std::uint32_t> kept;
    for (std::size_t i = 0; i < n; ++i) {
        if (i == 0 || cellOf(order[i]) != cellOf(order[i - 1])) kept.push_back(order[i]);
    }
    order = {};
    std::sort(kept.begin(), kept.end());  // back to file order: later points draw on top
    KeepMarked(points.x, kept);
    KeepMarked(points.y, kept);
    KeepMarked(points.levelCentiDbm, kept);
    KeepMarked(points.channel, kept);
    KeepMarked(points.scan, kept);
    KeepMarked(points.samples, kept);
    KeepMarked(points.time, kept);
}

}  // namespace varistrum
