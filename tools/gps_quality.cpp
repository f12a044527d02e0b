// SPDX-License-Identifier: GPL-3.0-or-later
// Episode schedule of the simulated GPS receiver.
#include "tools/gps_quality.h"

namespace varistrum::sim {

namespace {

int BadStatus(Rng& rng) {
    return rng.Chance(0.5) ? 3 : rng.Range(0, 5);
}

}  // namespace

GpsQuality::GpsQuality(std::deque<GpsEpisode> scripted, int gapMin, int gapMax)
    : scripted_(std::move(scripted)), gapMin_(gapMin), gapMax_(gapMax) {}

GpsEpisode GpsQuality::RandomEpisode(int after, Rng& rng) const {
    GpsEpisode e;
    e.start = after + rng.Range(gapMin_, gapMax_);
    const double pick = rng.Uniform();
    if (pick < 0.35) {
        e.kind = EpisodeKind::TwoD;
        e.length = rng.Range(2, 10);
    } else if (pick < 0.55) {
        e.kind = EpisodeKind::Bad;
        e.length = rng.Range(1, 3);
    } else {
        // Outages both shorter and longer than the usual 30 s drop threshold.
        const int kind = rng.Range(0, 2);
        e.kind =
            kind == 0 ? EpisodeKind::Silent : (kind == 1 ? EpisodeKind::Bad : EpisodeKind::Mixed);
        e.length = rng.Chance(0.5) ? rng.Range(3, 9) : rng.Range(10, 60);
    }
    return e;
}

std::optional<int> GpsQuality::StatusAt(int t, Rng& rng) {
    while (t >= current_.start + current_.length) {
        if (!scripted_.empty()) {
            current_ = scripted_.front();
            scripted_.pop_front();
        } else {
            current_ = RandomEpisode(t, rng);
        }
    }
    if (t >= current_.start) {
        switch (current_.kind) {
            case EpisodeKind::TwoD:
                return kStatus2D;
            case EpisodeKind::Silent:
                return std::nullopt;
            case EpisodeKind::Bad:
                return BadStatus(rng);
            case EpisodeKind::Mixed:
                if (rng.Chance(0.5)) return std::nullopt;
                return BadStatus(rng);
        }
    }
    // Between episodes: a rare single bad or missing second, as real receivers have.
    const double pick = rng.Uniform();
    if (pick < 0.003) return 5;
    if (pick < 0.005) return std::nullopt;
    return kStatus3D;
}

}  // namespace varistrum::sim
