// SPDX-License-Identifier: GPL-3.0-or-later
// The collecting pass of the map: a conversion of one log whose rows become the map's points
// through the samples layer, so that the map shows exactly the points the GIS export writes.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>

#include "convert/convert_job.h"
#include "map/map_collector.h"

namespace varistrum {

struct MapCollection {
    FileOutcome outcome;
    std::int64_t leftOutRows = 0;  // rows without a valid position
};

// Reads `input` with the settings' data choices (receiver, reduction, outage drop, scans,
// typed frequencies) into `data`. The text-only settings do not matter; the conversion's text
// is not kept.
MapCollection CollectMap(TavrelReader& reader, const std::string& input,
                         ConversionSettings settings, JobObserver& observer, std::stop_token stop,
                         MapData& data);

// The collecting pass on a worker: created suspended, given its file and settings, resumed.
class TCollectMap : public WorkerThread {
  public:
    TCollectMap(TavrelReader& reader, JobObserver& observer)
        : reader_(reader), observer_(observer) {}
    ~TCollectMap() { StopAndWait(); }

    void SetInput(std::string input, ConversionSettings settings) {
        input_ = std::move(input);
        settings_ = std::move(settings);
    }
    void Resume();
    bool Running() const { return Started() && !Finished(); }
    // Valid once Finished(): the points, and how the pass ended.
    MapData& Data() { return data_; }
    const MapCollection& Result() const { return result_; }

  private:
    TavrelReader& reader_;
    JobObserver& observer_;
    std::string input_;
    ConversionSettings settings_;
    MapData data_;
    MapCollection result_;
};

}  // namespace varistrum
