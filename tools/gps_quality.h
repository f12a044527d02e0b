// SPDX-License-Identifier: GPL-3.0-or-later
// Quality of the simulated GPS receiver second by second: 3D fixes with episodes of 2D fixes,
// fixes with a bad status and seconds without any GPS record (outages).
#pragma once

#include <deque>
#include <optional>

#include "tools/sim_random.h"

namespace varistrum::sim {

enum class EpisodeKind {
    TwoD,    // 2D fixes (status 6): still good fixes
    Silent,  // no GPS record at all
    Bad,     // records with a status below 6
    Mixed,   // some seconds silent, the others bad
};

struct GpsEpisode {
    int start = 0;  // simulated second
    int length = 0;
    EpisodeKind kind = EpisodeKind::TwoD;
};

inline constexpr int kStatus3D = 7;
inline constexpr int kStatus2D = 6;

class GpsQuality {
  public:
    // Scripted episodes come first (in order); after them episodes follow at random gaps.
    GpsQuality(std::deque<GpsEpisode> scripted, int gapMin, int gapMax);

    // The status code of the fix at second t (called with rising t), or nullopt when the
    // receiver writes no GPS record in that second.
    std::optional<int> StatusAt(int t, Rng& rng);

  private:
    GpsEpisode RandomEpisode(int after, Rng& rng) const;

    std::deque<GpsEpisode> scripted_;
    GpsEpisode current_{-1, 0, EpisodeKind::TwoD};
    int gapMin_, gapMax_;
};

}  // namespace varistrum::sim
