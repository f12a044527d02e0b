// SPDX-License-Identifier: GPL-3.0-or-later
// The map's collecting pass.
#include "map/map_collection.h"

#include "geodata/sample_layer_sink.h"

namespace varistrum {

// The conversion's text is not wanted: it goes nowhere.
constexpr const char* kNoText = "";

MapCollection CollectMap(TavrelReader& reader, const std::string& input,
                         ConversionSettings settings, JobObserver& observer, std::stop_token stop,
                         MapData& data) {
    // The text that nobody reads is kept as short as the conversion allows.
    settings.split = false;
    settings.toStandardOutput = false;
    settings.fieldTitles = false;
    settings.selectedTitles.clear();
    settings.selectedTags.clear();
    MapCollection result;
    MapCollector collector(data);
    SampleLayerSink sink(collector);
    RowSink* const sinks[] = {&sink};
    result.outcome = ConvertFile(reader, input, kNoText, settings, observer, stop, sinks);
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
