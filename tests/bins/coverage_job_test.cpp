// SPDX-License-Identifier: GPL-3.0-or-later
// The coverage job on the one runner: its cells against cells computed here from the text
// conversion of the same log (levels, channels and times as the text writes them, positions as
// the samples layer keeps them, projected with PROJ directly); the job's settings; its refusals.
#include <gtest/gtest.h>
#include <proj.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "bins/coverage_output.h"
#include "convert/convert_job.h"
#include "geodata/sample_layer_sink.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"

namespace varistrum {
namespace {

using test::ReadFile;
using test::RecordingObserver;
using test::TempDir;

const std::vector<int> kTags = {RecordNumber, DataField};

// The rows' positions (full precision) and times (ISO 8601, "Z" for GPS time) as the samples
// layer keeps them; rows it leaves out have no position.
class Positions : public SampleLayerConsumer {
  public:
    struct Place {
        double longitude, latitude;
        std::string time;
    };
    void BeginScan(int, ScanKind) override {}
    void AcceptPoint(const SamplePoint& p) override {
        rows[p.row] = {p.longitude, p.latitude, std::string(p.time)};
    }
    void AcceptRoute(const RouteLine&) override {}
    std::map<std::int64_t, Place> rows;
};

struct Reference {
    std::vector<int> levels;
    std::string first, last;
};
using Key = std::tuple<std::int32_t, std::int32_t, int, std::string>;  // x, y, channel, MHz

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    return fields;
}

// The cells of the text's samples: WGS 84 onto the UTM zone of the first sample's position
// through PROJ, cells of `size` metres.
std::map<Key, Reference> ReferenceCells(const std::string& text, const Positions& positions,
                                        double size, int* epsg) {
    std::map<Key, Reference> cells;
    PJ_CONTEXT* context = proj_context_create();
    PJ* transform = nullptr;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto f = Split(line);
        const auto at = positions.rows.find(std::stoll(f[0]));
        if (at == positions.rows.end()) continue;
        const auto& [longitude, latitude, time] = at->second;
        if (transform == nullptr) {
            *epsg = (latitude < 0 ? 32700 : 32600) +
                    static_cast<int>(std::floor((longitude + 180.0) / 6.0)) + 1;
            PJ* raw = proj_create_crs_to_crs(context, "EPSG:4326",
                                             ("EPSG:" + std::to_string(*epsg)).c_str(), nullptr);
            transform = proj_normalize_for_visualization(context, raw);
            proj_destroy(raw);
        }
        const PJ_COORD utm = proj_trans(transform, PJ_FWD, proj_coord(longitude, latitude, 0, 0));
        const auto x = static_cast<std::int32_t>(std::floor(utm.xy.x / size));
        const auto y = static_cast<std::int32_t>(std::floor(utm.xy.y / size));
        for (std::size_t i = 1; i + 2 < f.size(); i += 3) {
            const int level = std::stoi(f[i + 2]);
            if (level == -120) continue;
            Reference& cell = cells[{x, y, std::stoi(f[i + 1]), f[i]}];
            cell.levels.push_back(level);
            if (cell.first.empty()) cell.first = time;
            cell.last = time;
        }
    }
    proj_destroy(transform);
    proj_context_destroy(context);
    return cells;
}

std::string Fixed5(double mhz) {
    std::ostringstream text;
    text.precision(5);
    text << std::fixed << mhz;
    return text.str();
}

TEST(CoverageJob, CellsEqualAReferenceOfTheTextsSamples) {
    struct Case {
        sim::Scenario scenario;
        int seed;
        double cell;
    };
    const Case cases[] = {{sim::Scenario::List, 3, 25.0},
                          {sim::Scenario::Table, 4, 25.0},
                          {sim::Scenario::SingleGps, 5, 10.0},
                          {sim::Scenario::Mixed, 6, 50.0}};
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::ScenarioName(c.scenario));
        const std::string input = dir.File("in.klf");
        test::WriteFile(input, sim::SimulateLog(c.scenario, 8, c.seed, 300));
        ConversionSettings settings = test::FieldSettings(kTags);
        settings.convertAllScans = true;
        settings.columns = {true, true, true};
        // The text without any reduction, with the rows' positions beside it.
        Positions positions;
        SampleLayerSink layer(positions);
        RowSink* const extra[] = {&layer};
        TavrelReader reader;
        RecordingObserver observer;
        ASSERT_EQ(
            ConvertFile(reader, input, dir.File("in.txt"), settings, observer, {}, extra).outcome,
            JobOutcome::Completed);
        int epsg = 0;
        const auto expected =
            ReferenceCells(ReadFile(dir.File("in.txt")), positions, c.cell, &epsg);
        ASSERT_FALSE(expected.empty());

        // The coverage job asked with 40-lambda averaging: its cells take the samples before it.
        settings.averageType = kAverageLambda;
        CoverageRequest request;
        request.binning.cellMetres = c.cell;
        CoverageOutput cells(request, observer);
        JobOutput* const outputs[] = {&cells};
        const JobSpec job{{input}, JobKind::SingleFile, CoverageSettingsOf(settings), 1};
        ASSERT_EQ(RunJob(reader, job, outputs, observer, {}), JobOutcome::Completed);
        const Binning* binning = cells.Result();
        ASSERT_NE(binning, nullptr);
        EXPECT_EQ(binning->Grid().zone.Epsg(), epsg);

        std::size_t seen = 0;
        double worst = 0.0;
        binning->ForEachCell([&](const BinCell& cell) {
            for (const BinCellChannel& channel : cell.channels) {
                const ChannelKey& key =
                    binning->Channels()[static_cast<std::size_t>(channel.channel)];
                const auto found = expected.find(
                    {cell.cell.x, cell.cell.y, key.channel, Fixed5(key.frequencyMHz)});
                ASSERT_NE(found, expected.end())
                    << cell.cell.x << "," << cell.cell.y << " channel " << key.channel;
                ++seen;
                std::vector<int> levels = found->second.levels;
                std::sort(levels.begin(), levels.end());
                const double n = static_cast<double>(levels.size());
                double power = 0.0, sum = 0.0;
                for (int level : levels) {
                    power += std::pow(10.0, level / 10.0);
                    sum += level;
                }
                double squares = 0.0;
                for (int level : levels) squares += (level - sum / n) * (level - sum / n);
                const CellChannelStatistics& s = channel.statistics;
                EXPECT_EQ(s.count, levels.size());
                EXPECT_EQ(s.minDbm, levels.front());
                EXPECT_EQ(s.maxDbm, levels.back());
                EXPECT_EQ(s.medianDbm,
                          (levels[(levels.size() - 1) / 2] + levels[levels.size() / 2]) / 2.0);
                worst = std::max({worst, std::fabs(s.linearMeanDbm - 10.0 * std::log10(power / n)),
                                  std::fabs(s.dbMeanDbm - sum / n),
                                  std::fabs(s.stdDb - std::sqrt(squares / n))});
                EXPECT_EQ(IsoTimeText(s.first), found->second.first);
                EXPECT_EQ(IsoTimeText(s.last), found->second.last);
            }
        });
        EXPECT_EQ(seen, expected.size());
        EXPECT_LE(worst, 1e-9);
    }
}

// A log of rows at one place: fixes and single-frequency samples, built here.
class OneSpot {
  public:
    OneSpot(double latitude, double longitude) {
        gps_.statusCode = static_cast<int>(GpsFixStatus::ThreeDFix);
        gps_.latitudeA.decimalDegrees = latitude;
        gps_.longitudeA.decimalDegrees = longitude;
        gps_.year = 2026;
        gps_.month = 6;
        gps_.day = 15;
        codes_.fill(test::kBand800.CodeOfChannel(100));
    }
    // `rows` rows of three samples at `level`, after one fix.
    void Feed(RowSink& sink, int rows, std::int8_t level) {
        sink.AcceptFix({gps_, 1, ScanKind::SingleFrequency, true});
        for (int i = 0; i < rows; ++i) {
            levels_.fill(level);
            OutputRow row;
            row.number = ++number_;
            row.latitude = gps_.latitudeA.decimalDegrees;
            row.longitude = gps_.longitudeA.decimalDegrees;
            row.gps = &gps_;
            row.timing = Timing::Gps;
            row.hours = 12;
            row.scanNumber = 1;
            row.dataMode = DataKind::Samples;
            row.levels = std::span<const std::int8_t>(levels_.data(), 3);
            row.lastSlot = 2;
            row.channelCodes = codes_;
            row.plan = test::kBand800;
            sink.AcceptRow(row);
        }
    }

  private:
    GpsBlock gps_;
    std::array<std::int8_t, 3> levels_{};
    std::array<std::uint32_t, kChannelTableSize> codes_{};
    std::int64_t number_ = 0;
};

// Runs an output's Open, rows and Close as a job would; the file's outcome.
FileOutcome RunOutput(CoverageOutput& output, const std::function<void(RowSink&)>& rows) {
    const OutageListing none;
    InputSinks sinks(none);
    if (auto failure = output.Open(0, sinks)) return *failure;
    rows(*sinks.rows.front());
    return output.Close(0, FilePass{}, FileOutcome{});
}

TEST(CoverageJob, RefusalsAndFailuresWriteNothing) {
    TempDir dir;
    RecordingObserver observer;
    // Refused before anything is read: the cell size, the output's kind, a folder of the
    // style's name.
    std::filesystem::create_directory(dir.File("s.qml"));
    struct Refusal {
        std::string output;
        double cell;
        const char* says;
    };
    for (const Refusal& r : {Refusal{dir.File("a.tif"), 4.0, "5 to 1000"},
                             Refusal{dir.File("a.tif"), 1001.0, "5 to 1000"},
                             Refusal{dir.File("a.shp"), 25.0, "GeoTIFF (.tif) or a GeoPackage"},
                             Refusal{dir.File("s.tif"), 25.0, "s.qml"}}) {
        CoverageRequest request;
        request.output = r.output;
        request.binning.cellMetres = r.cell;
        const CoverageOutput output(request, observer);
        const auto refusal = output.Check();
        ASSERT_TRUE(refusal.has_value()) << r.output;
        EXPECT_NE(refusal->message.find(r.says), std::string::npos) << refusal->message;
    }

    // Fixes above 84 N: no cell, and the message says why; no file is written.
    CoverageRequest request;
    request.output = dir.File("north.tif");
    CoverageOutput north(request, observer);
    OneSpot pole(85.2, 10.0);
    FileOutcome outcome = RunOutput(north, [&](RowSink& sink) { pole.Feed(sink, 5, -80); });
    EXPECT_EQ(outcome.outcome, JobOutcome::Failed);
    EXPECT_NE(outcome.message.find("above 84 N"), std::string::npos) << outcome.message;
    EXPECT_FALSE(std::filesystem::exists(dir.File("north.tif")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("north.qml")));

    // A channel the drive lacks: the earlier files stay as they were.
    test::WriteFile(dir.File("old.tif"), std::string("earlier"));
    request.output = dir.File("old.tif");
    request.channel = ChannelChoice::Channel(7);
    CoverageOutput missing(request, observer);
    OneSpot spot(52.5, 13.4);
    outcome = RunOutput(missing, [&](RowSink& sink) { spot.Feed(sink, 5, -80); });
    EXPECT_EQ(outcome.outcome, JobOutcome::Failed);
    EXPECT_NE(outcome.message.find("Channel 7 has no level"), std::string::npos) << outcome.message;
    EXPECT_EQ(ReadFile(dir.File("old.tif")), "earlier");

    // More cells than the budget: the job stops naming the count and a larger cell, and the
    // sink says so at once, so that the conversion stops reading.
    request = CoverageRequest();
    request.binning.cellMetres = 5.0;
    request.binning.memoryBudgetBytes = 256 << 10;
    CoverageOutput full(request, observer);
    bool stopped = false;
    outcome = RunOutput(full, [&](RowSink& sink) {
        for (int i = 0; i < 4000 && !sink.Failed(); ++i) {
            OneSpot step(52.5 + i * 0.0001, 13.4);
            step.Feed(sink, 1, -70);
        }
        stopped = sink.Failed();
    });
    EXPECT_TRUE(stopped);
    EXPECT_EQ(outcome.outcome, JobOutcome::Failed);
    EXPECT_NE(outcome.message.find("Binning stopped at "), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find("10 m"), std::string::npos) << outcome.message;

    // A cancelled or failed pass writes nothing, even with cells.
    request = CoverageRequest();
    request.output = dir.File("cut.gpkg");
    CoverageOutput cut(request, observer);
    const OutageListing none;
    InputSinks sinks(none);
    ASSERT_FALSE(cut.Open(0, sinks).has_value());
    spot.Feed(*sinks.rows.front(), 5, -80);
    FileOutcome cancelled;
    cancelled.outcome = JobOutcome::Cancelled;
    EXPECT_EQ(cut.Close(0, FilePass{}, cancelled).outcome, JobOutcome::Cancelled);
    EXPECT_FALSE(std::filesystem::exists(dir.File("cut.gpkg")));
    EXPECT_EQ(cut.Result(), nullptr);
    // So does a stop that comes while the files are written.
    std::stop_source stop;
    CoverageOutput late(request, observer, stop.get_token());
    sinks.rows.clear();
    ASSERT_FALSE(late.Open(0, sinks).has_value());
    spot.Feed(*sinks.rows.front(), 5, -80);
    stop.request_stop();
    EXPECT_EQ(late.Close(0, FilePass{}, FileOutcome{}).outcome, JobOutcome::Cancelled);
    EXPECT_FALSE(std::filesystem::exists(dir.File("cut.gpkg")));
}

TEST(CoverageJob, RowsGiveTheTextsSamplesAndTimes) {
    // Times: GPS dates as UTC seconds, none for a date that is none.
    struct Time {
        int year, month, day, hours, minutes, seconds;
        std::optional<std::int64_t> expected;
    };
    for (const Time& t :
         {Time{1970, 1, 1, 0, 0, 0, 0}, Time{2024, 2, 29, 23, 59, 59, 1709251199},
          Time{2023, 2, 29, 0, 0, 0, std::nullopt}, Time{2026, 13, 1, 0, 0, 0, std::nullopt},
          Time{2026, 6, 15, 24, 0, 0, std::nullopt}})
        EXPECT_EQ(GpsSeconds(t.year, t.month, t.day, t.hours, t.minutes, t.seconds), t.expected)
            << t.year << "-" << t.month << "-" << t.day;

    // Rows before the first good fix have no position; a list row's best slot alone counts;
    // slots without a channel and a placed row's slots past its samples give no sample.
    Binner binner;
    BinSampleSink sink(binner);
    OneSpot spot(52.5, 13.4);
    GpsBlock gps;
    std::array<std::int8_t, 10> levels{};
    levels.fill(-70);
    std::array<std::uint32_t, kChannelTableSize> codes{};
    codes[0] = test::kBand800.CodeOfChannel(10);
    codes[1] = 0;
    codes[2] = test::kBand800.CodeOfChannel(12);
    OutputRow row;
    row.gps = &gps;
    row.latitude = 52.5;
    row.longitude = 13.4;
    row.dataMode = DataKind::List;
    row.levels = levels;
    row.lastSlot = 2;
    row.channelCodes = codes;
    row.plan = test::kBand800;
    sink.AcceptRow(row);  // before any fix
    spot.Feed(sink, 0, 0);
    sink.AcceptRow(row);  // slots 0 and 2
    row.bestSlot = 2;
    sink.AcceptRow(row);  // slot 2
    row.bestSlot = -1;
    row.placed = true;
    row.levels = std::span<const std::int8_t>(levels.data(), 1);
    sink.AcceptRow(row);  // slot 0 only
    EXPECT_EQ(sink.Samples(), 2 + 2 + 1 + 1);
    const auto binning = binner.Finish();
    ASSERT_TRUE(binning.has_value());
    EXPECT_EQ(binning->Counts().withoutPosition, 2);
    EXPECT_EQ(binning->Counts().binned, 4);
    ASSERT_EQ(binning->Channels().size(), 2u);
    EXPECT_EQ(binning->Channels()[0].channel, 10);
    // The frequency as the text writes it, to 10 Hz.
    const double mhz = test::kBand800.CodeToMHz(test::kBand800.CodeOfChannel(12));
    EXPECT_EQ(binning->Channels()[1].frequencyMHz, std::round(mhz * 1e5) / 1e5);
}

}  // namespace
}  // namespace varistrum
