// SPDX-License-Identifier: GPL-3.0-or-later
// Simulated benchmark inputs, made once per run and removed at exit.
#include "bench/bench_files.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "tools/drive_simulator.h"

namespace varistrum::bench {

namespace {

// The temporary folder of this run; removed with its files when the program ends.
class BenchFolder {
  public:
    BenchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "varistrum-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
        path_ = pattern;
    }
    ~BenchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace

std::string SimulatedFile(const std::string& scenario, double sizeMb, double seconds) {
    static BenchFolder folder;
    static std::map<std::string, std::string> made;
    const std::string key = scenario + "-" + std::to_string(sizeMb) + "-" + std::to_string(seconds);
    if (auto found = made.find(key); found != made.end()) return found->second;
    sim::SimulationOptions options;
    const auto kind = sim::ScenarioFromName(scenario);
    if (!kind) throw std::invalid_argument("unknown scenario " + scenario);
    options.scenario = *kind;
    options.sizeMb = sizeMb;
    options.durationSeconds = seconds;
    const std::string path = (folder.Path() / (key + ".klf")).string();
    std::string error;
    if (!sim::WriteSimulatedLog(options, path, &error)) throw std::runtime_error(error);
    made.emplace(key, path);
    return path;
}

ConversionSettings TypicalSettings() {
    ConversionSettings settings;
    for (int tag :
         {LatitudeDecimalDegrees, LongitudeDecimalDegrees, GpsTime, RecordNumber, DataField}) {
        settings.selectedTags.push_back(tag);
        settings.selectedTitles.emplace_back(FieldName(tag));
    }
    settings.convertAllScans = true;
    return settings;
}

OpenedConversion::OpenedConversion(const std::string& path, const ConversionSettings& settings) {
    if (settings.averageType != kAverageNone) {
        lambda.emplace(LambdaAveragingStage::Options{settings.averageType == kAverageLambda,
                                                     settings.averageLinearPower, false});
    }
    assembler = std::make_unique<RowAssembler>(
        AssemblySettings{settings.receivers, settings.averageType, std::nullopt},
        lambda ? &*lambda : nullptr);
    opened = reader.Open(path) == 0;
}

}  // namespace varistrum::bench
