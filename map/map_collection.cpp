// SPDX-License-Identifier: GPL-3.0-or-later
// The map's collecting pass.
#include "map/map_collection.h"

#include "geodata/sample_layer_sink.h"

namespace varistrum {

MapCollection CollectMap(TavrelReader& reader, const std::string& input,
                         ConversionSettings settings, JobObserver& observer, std::stop_token stop,
                         MapData& data) {
    MapCollection result;
    MapCollector collector(data);
    SampleLayerSink sink(collector);
    SinkOutput points({&sink});
    JobOutput* const outputs[] = {&points};
    const JobSpec job{{input}, JobKind::SingleFile, std::move(settings), 1};
    result.outcome = ConvertJobInput(reader, job, 0, outputs, observer, stop);
    collector.Finish();
    result.leftOutRows = sink.LeftOutRows();
    return result;
}

void TCollectMap::Resume() {
    Start(
        [this](std::stop_token stop) {
            result_ = CollectMap(reader_, input_, settings_, observer_, stop, data_);
        },
        [this](const std::string& failure) {
            data_ = MapData();  // what was collected goes: the memory may be wanted
            result_ = MapCollection();
            result_.outcome.outcome = JobOutcome::Failed;
            result_.outcome.message = failure;
        });
}

}  // namespace varistrum
