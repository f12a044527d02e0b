// SPDX-License-Identifier: GPL-3.0-or-later
// The map's collecting pass.
#include "map/map_collection.h"

#include <stdlib.h>

#include <filesystem>

#include "geodata/sample_layer_sink.h"

namespace varistrum {

namespace {

// A private folder for the throw-away text of the pass, removed with it.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::error_code error;
        std::string pattern =
            (std::filesystem::temp_directory_path(error) / "varistrum-map-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code error;
        if (!path_.empty()) std::filesystem::remove_all(path_, error);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace

MapCollection CollectMap(TavrelReader& reader, const std::string& input,
                         ConversionSettings settings, JobObserver& observer, std::stop_token stop,
                         MapData& data) {
    // The throw-away text is kept as short as the conversion allows: no fields, no headers.
    settings.split = false;
    settings.toStandardOutput = false;
    settings.fieldTitles = false;
    settings.selectedTitles.clear();
    settings.selectedTags.clear();
    ScratchFolder scratch;
    MapCollection result;
    if (scratch.Path().empty()) {
        result.outcome = {JobOutcome::Failed,
                          "Output File Cannot Be Accessed!",
                          std::filesystem::temp_directory_path().string(),
                          {},
                          {}};
        return result;
    }
    MapCollector collector(data);
    SampleLayerSink sink(collector);
    RowSink* const sinks[] = {&sink};
    result.outcome =
        ConvertFile(reader, input, scratch.Path() + "/rows.txt", settings, observer, stop, sinks);
    collector.Finish();
    result.leftOutRows = sink.LeftOutRows();
    return result;
}

void TCollectMap::Resume() {
    Start([this](std::stop_token stop) {
        result_ = CollectMap(reader_, input_, settings_, observer_, stop, data_);
    });
}

}  // namespace varistrum
