// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-fuzz-seeds: writes the seed inputs of every fuzz target from the simulator and
// the log builder; regenerate_seeds.sh minimizes them into the committed corpora.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "convert/field_catalog.h"
#include "fuzz/convert_input.h"
#include "settings/configuration.h"
#include "tools/drive_simulator.h"
#include "tools/log_builder.h"

namespace {

using namespace varistrum;
using fuzz::ConvertChoices;
namespace fs = std::filesystem;

void Put(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> Join(std::vector<std::uint8_t> head,
                               const std::vector<std::uint8_t>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// Small hand-made logs for record kinds and damage the simulator does not write.
std::vector<std::vector<std::uint8_t>> BuiltLogs(int variant) {
    const FrequencyPlan band{64480, 71680, 3200, 0};
    const FrequencyPlan wrap{4675, 4832, 51200, 1};
    std::vector<std::vector<std::uint8_t>> logs;

    sim::GpsFix fix;
    fix.latitudeMas = 40 * 3600000;
    fix.longitudeMas = -75 * 3600000;
    const int samples[3] = {-60, -70, -80};
    sim::LogBuilder tp(variant);
    sim::TpFix tpFix;
    tpFix.SetLatitude(-33500000);
    tpFix.SetLongitude(151200000);
    tp.Config(3, band, wrap).ScanList32(68000, 4700).Gps(fix).TpPosition(tpFix).TpTime(-12, 270);
    tp.Samples(1, samples).Samples(2, samples);
    fix.seconds = 1;
    fix.latitudeMas += 2000;
    tp.Gps(fix);
    logs.push_back(tp.Bytes());

    sim::LogBuilder table(variant);
    const sim::TableEntry entries[4] = {{0, 5, -50}, {1, 990, -60}, {0, 1023, -70}, {0, 1, -40}};
    table.Config(1, wrap, wrap).Rtc(23, 59, 59).ChannelTable(entries).ChannelTable(entries);
    table.Gps(fix).ChannelTable(entries);
    logs.push_back(table.Bytes());

    sim::LogBuilder list(variant);
    const sim::ListEntry listEntries[5] = {
        {0, 0, -50}, {0, 9, -90}, {1, 3, -40}, {0, 2, -128}, {0, 1, 127}};
    std::array<std::uint32_t, 10> codes{};
    for (std::size_t i = 0; i < codes.size(); ++i)
        codes[i] = 64480 + 100 * static_cast<std::uint32_t>(i);
    list.Config(1, band, band).ScanList10(codes, codes).Gps(fix).ChannelList(listEntries);
    logs.push_back(list.Bytes());

    // Damage: a zero length, an oversized length, a record too short for its type, 0xFF runs.
    sim::LogBuilder damaged(variant);
    damaged.Config(1, band, band).Rtc(1, 2, 3).ScanList32(68000, 0).Samples(1, samples);
    damaged.RawBytes(std::vector<std::uint8_t>{0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x10});
    damaged.Record(GpsRecord, std::vector<std::uint8_t>(20, 7));
    damaged.Samples(1, samples).Samples(1, samples);
    logs.push_back(damaged.Bytes());

    // A header whose data end lies inside the records, and one past the file's end.
    sim::LogBuilder cut(variant);
    cut.Config(1, band, band)
        .Rtc(1, 2, 3)
        .ScanList32(68000, 0)
        .Samples(1, samples)
        .Samples(1, samples);
    logs.push_back(cut.Bytes(cut.Size() - 5));
    logs.push_back(cut.Bytes(cut.Size() + 1000));
    return logs;
}

void ConvertSeeds(const fs::path& dir) {
    int n = 0;
    const auto put = [&](const ConvertChoices& c, const std::vector<std::uint8_t>& log) {
        Put(dir / ("seed-" + std::to_string(n++)), Join(fuzz::EncodeConvertChoices(c), log));
    };
    const std::vector<std::int8_t> everyField = {
        DataField,        GpsTime,       LatitudeDecimalDegrees,
        LongitudeSeconds, RecordNumber,  RtcTime,
        MinFrequency,     ReceiverField, TpLatitude,
        TpDate,           TpSpeed,       GpsStatus,
        GpsAltitude,      MarkerValue,   LineBreakField};
    int pick = 0;
    for (int variant : {8, 9}) {
        for (sim::Scenario scenario : sim::AllScenarios()) {
            if (scenario == sim::Scenario::Bench) continue;
            ConvertChoices c;
            c.variant = variant;
            c.tags = everyField;
            c.averageIndex = pick % 4;
            c.receiver2 = pick % 3 == 1;
            c.columns = 1 + pick % 7;
            c.delimiter = pick % 5;
            c.typed = scenario == sim::Scenario::NoFrequency;
            c.rx1Code = 850 * 64;
            c.rx2Code = 900 * 64;
            c.dropOutages = pick % 4 == 3;
            c.otherByte = 5;
            c.allScans = pick % 2 == 0;
            c.scanPattern = 0x5;
            ++pick;
            put(c, sim::SimulateLog(scenario, variant, 11 + static_cast<std::uint64_t>(pick), 5));
        }
        for (const auto& log : BuiltLogs(variant)) {
            ConvertChoices c;
            c.variant = variant;
            c.tags = everyField;
            c.averageIndex = pick % 4;
            c.columns = 7;
            ++pick;
            put(c, log);
        }
    }
    // Settings the job refuses: an outage of 0 seconds, an Other delimiter of NUL.
    ConvertChoices refused;
    refused.dropOutages = true;
    refused.otherByte = 0;
    refused.delimiter = kOther;
    refused.tags = {DataField, -10, 59, -128, 127};
    put(refused, sim::SimulateLog(sim::Scenario::Mixed, 8, 3, 2));
}

void ConfigurationSeeds(const fs::path& dir) {
    SettingsModel s;
    s.inputFormat = 8;
    s.inputFilename = "/data/drive 1.klf";
    s.selectedFields = {"GPS Status", "<< DATA >>"};
    s.selectedTags = {GpsStatus, DataField};
    s.outputFilename = "/data/drive 1.out";
    SaveConfiguration((dir / "saved.cfg").string(), s);
    s.receiver1 = false;
    s.receiver2 = true;
    s.noAvg = false;
    s.bsAvg = true;
    s.delimiter = 4;
    s.availableFields.resize(3);
    SaveConfiguration((dir / "other.cfg").string(), s);
    const char* texts[] = {
        "; comment\n[InputFormat]\nProduct=9\n[OutputFilter]\nReceiver2=1\nBSAvg=1\n",
        ("[SelectedFields]\r\nCount=2147483647\r\nField0=x\r\n"
         "[SelectedTags]\r\nTag0=-2147483648\r\n"),
        "[AvailableFields]\rCount=3\rField1=a\r",
        "Orphan=1\n[ InputFile ]junk\n Filename = spaced \n[inputfile]\nFilename=second\n",
        "[OutputFieldSelection\nDelimiter=+4\nFieldTitles=0x1\n[]\n=\n[a]b]\nk==v\n",
    };
    int n = 0;
    for (const char* text : texts) {
        std::ofstream(dir / ("text-" + std::to_string(n++) + ".cfg"), std::ios::binary) << text;
    }
}

void IdentifySeeds(const fs::path& dir) {
    for (int variant : {8, 9}) {
        auto log = sim::SimulateLog(sim::Scenario::Mixed, variant, 1, 1);
        log.resize(std::min<std::size_t>(log.size(), 40));
        Put(dir / ("log-" + std::to_string(variant)), log);
    }
    std::vector<std::uint8_t> text(32, ' ');
    const std::string magic(sim::kIdentificationText);
    std::copy(magic.begin(), magic.end(), text.begin() + 20);
    Put(dir / "late-magic", text);
    text[25] = 0;
    Put(dir / "cut-magic", text);
    Put(dir / "empty", {});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    for (const char* target : {"convert", "configuration", "identify"})
        fs::create_directories(out / target);
    ConvertSeeds(out / "convert");
    ConfigurationSeeds(out / "configuration");
    IdentifySeeds(out / "identify");
    return 0;
}
