// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's stops, level offset, clean levels, calibration drive and truth files, checked
// against the logs it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/geodesic.h"
#include "logfile/bytes.h"
#include "logfile/records.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"
#include "tools/log_builder.h"
#include "tools/portable_math.h"
#include "tools/radio_model.h"
#include "tools/truth_files.h"

namespace varistrum::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rec {
    std::uint8_t type;
    ByteSpan payload;  // after the type byte
};

// The records of a simulated log (its framing is checked by drive_simulator_test).
std::vector<Rec> Records(const Bytes& file, int variant = 8) {
    std::vector<Rec> records;
    for (std::size_t at = variant == 8 ? 6 : 10; at + 2 < file.size();) {
        const std::size_t length = U16LE(file, at);
        records.push_back({file[at + 2], ByteSpan(file).subspan(at + 3, length - 1)});
        at += 2 + length;
    }
    return records;
}
std::vector<Rec> Records(Bytes&&, int = 8) = delete;  // records point into the file

// A GPS record with its number (from 1 in file order) and the index of its record.
struct Fix {
    std::uint32_t number;
    std::size_t record;
    GpsBlock block;
    bool Good() const { return block.HasFix(); }
    std::pair<std::int32_t, std::int32_t> Place() const {
        return {block.latitudeA.milliArcSeconds, block.longitudeA.milliArcSeconds};
    }
};

std::vector<Fix> Fixes(const std::vector<Rec>& records) {
    std::vector<Fix> fixes;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (records[i].type == 0)
            fixes.push_back({static_cast<std::uint32_t>(fixes.size() + 1), i,
                             GpsBlock::Decode(records[i].payload)});
    return fixes;
}

double Metres(const GpsBlock& a, double latitude, double longitude) {
    return GeodesicMetres(a.latitudeA.decimalDegrees, a.longitudeA.decimalDegrees, latitude,
                          longitude);
}

// Levels of the first receiver-1 record after record `from`, or none.
std::vector<int> NextLevels(const std::vector<Rec>& records, std::size_t from) {
    for (std::size_t i = from + 1; i < records.size(); ++i) {
        if (records[i].type == 0) break;
        if (records[i].type != 2) continue;
        std::vector<int> levels;
        for (std::uint8_t b : records[i].payload.first(records[i].payload.size() - 1))
            levels.push_back(static_cast<std::int8_t>(b));
        return levels;
    }
    return {};
}

SimulationOptions Options(Scenario scenario, double seconds, std::uint64_t seed = 1) {
    SimulationOptions o;
    o.scenario = scenario;
    o.durationSeconds = seconds;
    o.seed = seed;
    return o;
}

std::vector<std::string> Split(const std::string& line, char by = ',') {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, by);) fields.push_back(field);
    return fields;
}

// Rows of a CRLF CSV text, the header first.
std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "every line ends in CRLF";
        if (end == std::string::npos) break;
        rows.push_back(Split(text.substr(at, end - at)));
        at = end + 2;
    }
    return rows;
}

std::uint64_t Fnv1a(const Bytes& bytes) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (std::uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ULL;
    return h;
}

TEST(DriveTruthTest, ClassicDrivesAreByteForByteThoseOfBefore) {
    // Sizes and FNV-1a hashes of logs from the simulator before stops, offsets and the
    // calibration drive existed: the golden files, the example and the benchmark rely on them.
    const struct {
        const char* scenario;
        std::uint64_t seed;
        double seconds;
        int variant;
        bool nearMidnight;
        std::size_t size;
        std::uint64_t hash;
    } cases[] = {
        {"mixed", 1, 30, 8, false, 29554u, 0x9D4F1A76F5469C7DULL},
        {"mixed", 7, 95, 9, false, 77017u, 0x95FA60902EEA12D9ULL},
        {"mixed", 12345, 240, 8, false, 219779u, 0x73D93AA6A235ECE6ULL},
        {"single-gps", 1, 30, 8, false, 30130u, 0xEDDDEF130EAC4E7EULL},
        {"single-gps", 7, 95, 9, false, 94200u, 0xA048F2B4AA81054AULL},
        {"single-gps", 12345, 240, 8, false, 237626u, 0xD5BCEB9BE397B23CULL},
        {"single-rtc", 1, 30, 8, false, 26197u, 0xBA22F5F01D6E5506ULL},
        {"single-rtc", 7, 95, 9, false, 82107u, 0xBCEE812BB15F6042ULL},
        {"single-rtc", 12345, 240, 8, false, 206512u, 0x0C78ED8C756BD616ULL},
        {"list", 1, 30, 8, false, 15732u, 0x58574DD8E81772D5ULL},
        {"list", 7, 95, 9, false, 47449u, 0x54B18C9B1BDBE7AAULL},
        {"list", 12345, 240, 8, false, 113885u, 0x2E2DA3F55104E558ULL},
        {"table", 1, 30, 8, false, 28265u, 0x81AADD7BE49BFF84ULL},
        {"table", 7, 95, 9, false, 87744u, 0x6963DB5C3EA4E10AULL},
        {"table", 12345, 240, 8, false, 217160u, 0x584992DB449F1718ULL},
        {"no-frequency", 1, 30, 8, false, 30277u, 0x2EB0885561C2ABCFULL},
        {"no-frequency", 7, 95, 9, false, 94286u, 0xE791F5696E785BAAULL},
        {"no-frequency", 12345, 240, 8, false, 237631u, 0x2ABD60F23DF74F10ULL},
        {"bench", 1, 30, 8, false, 67493u, 0x5B3030C60440B241ULL},
        {"bench", 7, 95, 9, false, 212457u, 0xB74382BDC28B4780ULL},
        {"bench", 12345, 240, 8, false, 536773u, 0xE4022DF4AE27D69DULL},
        {"mixed", 1, 220, 8, false, 200378u, 0xFA6EB5372F212748ULL},  // the example
        {"single-gps", 3, 600, 8, true, 590022u, 0x3E3CA47120FDCF57ULL},
    };
    for (const auto& c : cases) {
        SimulationOptions o = Options(*ScenarioFromName(c.scenario), c.seconds, c.seed);
        o.variant = c.variant;
        if (c.nearMidnight) o.startSecondOfDay = 23 * 3600 + 58 * 60;
        SimulationTruth truth;  // asking for the truth changes nothing
        const Bytes file = SimulateLog(o, &truth);
        EXPECT_EQ(file.size(), c.size) << c.scenario << " seed " << c.seed;
        EXPECT_EQ(Fnv1a(file), c.hash) << c.scenario << " seed " << c.seed;
        EXPECT_TRUE(truth.stops.empty());
    }
}

// The moving seconds before which the stops begin, by the documented rules for even and end.
std::vector<int> StopSeconds(StopPlacement placement, int count, int seconds, int duration) {
    const int moving = duration - count * seconds;
    std::vector<int> at;
    for (int k = 1; k <= count; ++k)
        at.push_back(placement == StopPlacement::End ? k * (moving - 1) / count
                                                     : k * moving / (count + 1));
    return at;
}

TEST(DriveTruthTest, StopsStandWhereTheStopsFileSays) {
    const struct {
        const char* name;
        Scenario scenario;
        int count, seconds;
        StopPlacement placement;
        int duration;
        int recordsPerSecond;  // receiver 1 records a second, 0 when the scan changes
    } cases[] = {
        {"three even", Scenario::SingleGps, 3, 60, StopPlacement::Even, 900, 4},
        {"one at the end", Scenario::SingleGps, 1, 45, StopPlacement::End, 300, 4},
        {"calibration near S1", Scenario::Calibration, 3, 60, StopPlacement::NearSite, 900, 4},
        {"mixed scans", Scenario::Mixed, 2, 40, StopPlacement::Even, 400, 0},
        {"bench, end", Scenario::Bench, 2, 30, StopPlacement::End, 200, 10},
    };
    int complete = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulationOptions o = Options(c.scenario, c.duration, 5);
        o.stops.count = c.count;
        o.stops.seconds = c.seconds;
        o.stops.placement = c.placement;
        SimulationTruth truth;
        const Bytes file = SimulateLog(o, &truth);
        const auto records = Records(file);
        const auto fixes = Fixes(records);
        const int startSecond = o.startSecondOfDay;
        ASSERT_EQ(truth.stops.size(), static_cast<std::size_t>(c.count));
        std::set<std::uint32_t> inStops;
        const auto planned = StopSeconds(c.placement, c.count, c.seconds, c.duration);
        for (std::size_t k = 0; k < truth.stops.size(); ++k) {
            const StopTruth& stop = truth.stops[k];
            ASSERT_GE(stop.firstGpsRecord, 1u);
            ASSERT_LE(stop.firstGpsRecord, stop.lastGpsRecord);
            ASSERT_LE(stop.lastGpsRecord, fixes.size());
            const Fix& first = fixes[stop.firstGpsRecord - 1];
            const Fix& last = fixes[stop.lastGpsRecord - 1];
            EXPECT_TRUE(first.Good() && last.Good());
            EXPECT_EQ(stop.seconds, last.block.SecondOfDay() - first.block.SecondOfDay());
            EXPECT_LE(stop.seconds, c.seconds);
            complete += stop.seconds == c.seconds;
            // Every GPS record of the stop: its place, standing.
            for (std::uint32_t n = stop.firstGpsRecord; n <= stop.lastGpsRecord; ++n) {
                const Fix& fix = fixes[n - 1];
                EXPECT_EQ(fix.Place(), std::make_pair(stop.latitudeMas, stop.longitudeMas)) << n;
                EXPECT_EQ(fix.block.speed1, 0) << n;
                inStops.insert(n);
            }
            // The good fixes just outside are elsewhere: the stop is no longer than it says.
            if (stop.firstGpsRecord > 1 && fixes[stop.firstGpsRecord - 2].Good()) {
                EXPECT_NE(fixes[stop.firstGpsRecord - 2].Place(), first.Place());
            }
            if (stop.lastGpsRecord < fixes.size() && fixes[stop.lastGpsRecord].Good()) {
                EXPECT_NE(fixes[stop.lastGpsRecord].Place(), last.Place());
            }
            // The stand begins before the planned moving second and lasts its seconds.
            if (c.placement != StopPlacement::NearSite) {
                const int begins = planned[k] + static_cast<int>(k) * c.seconds;
                EXPECT_GE(first.block.SecondOfDay() - startSecond, begins);
                EXPECT_LE(last.block.SecondOfDay() - startSecond, begins + c.seconds);
            }
            // The receiver keeps logging at its rate.
            if (c.recordsPerSecond > 0) {
                int logged = 0;
                for (std::size_t i = first.record; i < last.record; ++i)
                    logged += records[i].type == 2;
                EXPECT_EQ(logged, c.recordsPerSecond * static_cast<int>(stop.seconds));
            }
        }
        if (c.placement == StopPlacement::End) {
            EXPECT_EQ(fixes.back().block.SecondOfDay() - startSecond, c.duration - 1);
            if (fixes.back().Good()) {
                EXPECT_EQ(truth.stops.back().lastGpsRecord, fixes.size());
            }
        }
        // Nowhere else does the vehicle stand: no junction waits, no parking at the start.
        for (std::size_t i = 1; i < fixes.size(); ++i) {
            const Fix &a = fixes[i - 1], &b = fixes[i];
            if (a.Good() && b.Good() && a.Place() == b.Place()) {
                EXPECT_TRUE(inStops.count(a.number) && inStops.count(b.number)) << b.number;
            }
        }
        const std::string text = StopsCsv(truth);
        const auto rows = CsvRows(text);
        ASSERT_EQ(rows.size(), truth.stops.size() + 1);
        EXPECT_EQ(text.substr(0, text.find("\r\n")),
                  "first_gps_record,last_gps_record,latitude,longitude,seconds");
        for (std::size_t k = 0; k < truth.stops.size(); ++k) {
            const auto& row = rows[k + 1];
            ASSERT_EQ(row.size(), 5u);
            const GpsBlock& first = fixes[truth.stops[k].firstGpsRecord - 1].block;
            EXPECT_EQ(row[0], std::to_string(truth.stops[k].firstGpsRecord));
            EXPECT_EQ(row[1], std::to_string(truth.stops[k].lastGpsRecord));
            EXPECT_EQ(std::stod(row[2]), first.latitudeA.decimalDegrees);
            EXPECT_EQ(std::stod(row[3]), first.longitudeA.decimalDegrees);
            EXPECT_EQ(row[4], std::to_string(truth.stops[k].seconds));
        }
    }
    EXPECT_GE(complete, 5) << "stops with good fixes at both ends";
}

TEST(DriveTruthTest, StopsNearASiteAreWhereTheDriveComesNearestIt) {
    // The drive without stops, as long as the drive with them moves.
    const int count = 3, seconds = 60, duration = 1200, moving = duration - count * seconds;
    SimulationOptions o = Options(Scenario::SingleGps, moving, 8);
    o.stops.count = 0;
    const Bytes plainFile = SimulateLog(o);
    const auto plainRecords = Records(plainFile);
    const auto plain = Fixes(plainRecords);
    for (const char* name : {"S2", "S3"}) {
        SCOPED_TRACE(name);
        const std::size_t site = *SiteIndex(name);
        const Point place = RadioModel::Sites()[site].place;
        const LocalGrid grid;
        const double latitude = DegreesOfMas(grid.LatitudeMas(place));
        const double longitude = DegreesOfMas(grid.LongitudeMas(place));
        SimulationOptions withStops = Options(Scenario::SingleGps, duration, 8);
        withStops.stops = {count, seconds, 0.0, StopPlacement::NearSite, site};
        SimulationTruth truth;
        SimulateLog(withStops, &truth);
        ASSERT_EQ(truth.stops.size(), 3u);
        for (int k = 0; k < count; ++k) {
            // The good fixes of the k-th third of the moving time, in the drive without stops.
            double nearest = 1e9, stopToFix = 1e9;
            const GpsBlock stopPlace = [&] {
                GpsBlock b;
                b.latitudeA = GpsCoordinate::FromMilliArcSeconds(truth.stops[k].latitudeMas);
                b.longitudeA = GpsCoordinate::FromMilliArcSeconds(truth.stops[k].longitudeMas);
                return b;
            }();
            for (const Fix& fix : plain) {
                const int second = fix.block.SecondOfDay() - o.startSecondOfDay;
                if (!fix.Good() || second < k * moving / count ||
                    second >= (k + 1) * moving / count)
                    continue;
                nearest = std::min(nearest, Metres(fix.block, latitude, longitude));
                stopToFix =
                    std::min(stopToFix, Metres(fix.block, stopPlace.latitudeA.decimalDegrees,
                                               stopPlace.longitudeA.decimalDegrees));
            }
            EXPECT_LE(Metres(stopPlace, latitude, longitude), nearest + 0.01) << k;
            EXPECT_LT(stopToFix, 25.0) << k << ": the stop lies on that stretch";
        }
    }
}

TEST(DriveTruthTest, ADriveWithStopsIsTheDriveWithoutThemWithTheStopsInserted) {
    // Shadowing on, fading off: equal levels mean the same place, channel and shadowing.
    const int count = 3, seconds = 50, moving = 700;
    SimulationOptions o = Options(Scenario::SingleGps, moving, 21);
    o.fading = false;
    o.stops.count = 0;
    const Bytes plainFile = SimulateLog(o);
    o.stops.count = count;
    o.stops.seconds = seconds;
    o.durationSeconds = moving + count * seconds;
    const Bytes stopsFile = SimulateLog(o);
    const auto plainRecords = Records(plainFile), stopsRecords = Records(stopsFile);

    // Moving second -> (place, levels) of the good fixes of each drive.
    const auto bySecond = [&](const std::vector<Rec>& records, bool withStops) {
        const auto at = StopSeconds(StopPlacement::Even, count, seconds, moving + count * seconds);
        std::map<int, std::pair<std::pair<std::int32_t, std::int32_t>, std::vector<int>>> out;
        for (const Fix& fix : Fixes(records)) {
            int second = fix.block.SecondOfDay() - o.startSecondOfDay;
            bool standing = false;
            if (withStops) {
                int before = 0;  // stops wholly before this second
                for (int k = 0; k < count; ++k) {
                    const int begins = at[static_cast<std::size_t>(k)] + k * seconds;
                    if (second >= begins + seconds) ++before;
                    standing |= second >= begins && second < begins + seconds;
                }
                second -= before * seconds;
            }
            if (fix.Good() && !standing)
                out[second] = {fix.Place(), NextLevels(records, fix.record)};
        }
        return out;
    };
    const auto plain = bySecond(plainRecords, false);
    const auto stops = bySecond(stopsRecords, true);
    int compared = 0;
    for (const auto& [second, seen] : stops) {
        const auto other = plain.find(second);
        if (other == plain.end()) continue;
        ++compared;
        ASSERT_EQ(seen.first, other->second.first) << "moving second " << second;
        ASSERT_EQ(seen.second.at(0), other->second.second.at(0)) << "moving second " << second;
    }
    EXPECT_GT(compared, moving * 9 / 10);
    // The scans change at the same moving seconds: the same channels in the same order.
    const auto scans = [](const std::vector<Rec>& records) {
        std::vector<std::uint32_t> codes;
        for (const Rec& r : records)
            if (r.type == 5) codes.push_back(U32LE(r.payload, 0));
        return codes;
    };
    EXPECT_EQ(scans(plainRecords), scans(stopsRecords));
    EXPECT_GE(scans(plainRecords).size(), 3u);
}

TEST(DriveTruthTest, ACreepMovesAtItsSpeedForItsSeconds) {
    for (const double speed : {1.5, 2.2, 4.0}) {
        SCOPED_TRACE(speed);
        SimulationOptions o = Options(Scenario::SingleGps, 600, 3);
        o.stops = {2, 40, speed, StopPlacement::Even, 0};
        SimulationTruth truth;
        const Bytes file = SimulateLog(o, &truth);
        const auto fixes = Fixes(Records(file));
        ASSERT_EQ(truth.stops.size(), 2u);
        for (const StopTruth& stop : truth.stops) {
            ASSERT_GE(stop.firstGpsRecord, 1u);
            const Fix& first = fixes[stop.firstGpsRecord - 1];
            EXPECT_EQ(first.Place(), std::make_pair(stop.latitudeMas, stop.longitudeMas));
            const Fix* previous = nullptr;
            for (std::uint32_t n = stop.firstGpsRecord; n <= stop.lastGpsRecord; ++n) {
                const Fix& fix = fixes[n - 1];
                if (!fix.Good()) continue;
                EXPECT_EQ(fix.block.speed1, static_cast<int>(std::lround(speed * 100))) << n;
                if (previous) {
                    const int apart = fix.block.SecondOfDay() - previous->block.SecondOfDay();
                    const double metres =
                        Metres(fix.block, previous->block.latitudeA.decimalDegrees,
                               previous->block.longitudeA.decimalDegrees);
                    EXPECT_LE(metres, speed * apart * 1.003 + 0.1) << n;  // corners cut a little
                    EXPECT_GE(metres, speed * apart * 0.9) << n;
                }
                previous = &fix;
            }
            const double span =
                Metres(fixes[stop.lastGpsRecord - 1].block, first.block.latitudeA.decimalDegrees,
                       first.block.longitudeA.decimalDegrees);
            EXPECT_LE(span, speed * stop.seconds * 1.003 + 0.1);
        }
    }
}

// The level bytes of a record, with their offsets into the payload.
std::vector<std::size_t> LevelOffsets(const Rec& r) {
    std::vector<std::size_t> at;
    if (r.type == 2 || r.type == 3)
        for (std::size_t i = 0; i + 1 < r.payload.size(); ++i) at.push_back(i);
    if (r.type == 7)
        for (std::size_t e = 0; e < 5; ++e)
            if (r.payload[3 * e] != kNoReceiver) at.push_back(3 * e + 2);
    if (r.type == 9)
        for (std::size_t e = 0; e < 4; ++e)
            if (r.payload[4 * e] != kNoReceiver) at.push_back(4 * e + 3);
    return at;
}

TEST(DriveTruthTest, TheLevelOffsetShiftsEveryLevelExceptWhereItIsClamped) {
    const auto clamp = [](int level) { return std::clamp(level, -120, -20); };
    for (const Scenario scenario : {Scenario::Mixed, Scenario::Table, Scenario::Calibration}) {
        const Bytes base = SimulateLog(Options(scenario, 150, 4));
        const auto baseRecords = Records(base);
        for (const int offset : {6, -6, 1, -90, 90}) {
            SCOPED_TRACE(std::string(ScenarioName(scenario)) + " " + std::to_string(offset));
            SimulationOptions o = Options(scenario, 150, 4);
            o.levelOffsetDb = offset;
            const Bytes shifted = SimulateLog(o);
            const auto records = Records(shifted);
            ASSERT_EQ(records.size(), baseRecords.size());
            int exact = 0;
            for (std::size_t i = 0; i < records.size(); ++i) {
                const Rec &a = baseRecords[i], &b = records[i];
                ASSERT_EQ(a.type, b.type);
                ASSERT_EQ(a.payload.size(), b.payload.size());
                std::vector<std::uint8_t> rest(b.payload.begin(), b.payload.end());
                for (std::size_t at : LevelOffsets(a)) {
                    const int was = static_cast<std::int8_t>(a.payload[at]);
                    const int is = static_cast<std::int8_t>(b.payload[at]);
                    if (was > -120 && was < -20) {
                        ASSERT_EQ(is, clamp(was + offset)) << "record " << i;
                        ++exact;
                    } else if (was == -120) {
                        ASSERT_TRUE(is >= -120 && is <= clamp(-120 + offset)) << "record " << i;
                    } else {
                        ASSERT_TRUE(is <= -20 && is >= clamp(-20 + offset)) << "record " << i;
                    }
                    rest[at] = a.payload[at];
                }
                ASSERT_TRUE(std::equal(rest.begin(), rest.end(), a.payload.begin()))
                    << "record " << i << " differs beyond its levels";
            }
            EXPECT_GT(exact, 1000);
        }
    }
}

TEST(DriveTruthTest, CleanLevelsAreTheModelsAtEveryDistance) {
    const nlohmann::json model = nlohmann::json::parse(SiteModelJson(SimulationOptions{}));
    const auto sites = RadioModel::Sites();
    ASSERT_EQ(model["sites"].size(), sites.size());
    for (std::size_t s = 0; s < sites.size(); ++s) {
        const auto& entry = model["sites"][s];
        ASSERT_EQ(entry["site"], std::string(sites[s].name));
        // A channel of this site, and its row in the sites file.
        std::uint32_t code = kBand800.first;
        while (RadioModel::IsIdle(code) || RadioModel::SiteOfChannel(code) != s) ++code;
        const auto rows = CsvRows(SitesCsv({{}, {{code, kBand800.CodeToMHz(code)}}}));
        ASSERT_EQ(rows.size(), 2u);
        const double eirp = std::stod(rows[1][4]);
        const double intercept = entry["intercept_db_at_1km"];
        const double slope = entry["db_per_decade"];
        const double minimum = model["min_distance_m"];
        for (const double metres : {5.0, 30.0, 99.0, 250.0, 1000.0, 3162.0, 9000.0}) {
            for (const int offset : {0, 6, -40}) {
                RadioModel radio(7, {0.0, false, offset});
                radio.Locate({sites[s].place.x + metres * 0.6, sites[s].place.y - metres * 0.8});
                const double expected =
                    eirp - (intercept + slope * std::log10(std::max(metres, minimum) / 1000.0));
                const int mean = radio.MeanLevel(code);
                EXPECT_LE(std::fabs(mean - expected), 0.5 + 1e-9) << sites[s].name << " " << metres;
                for (int i = 0; i < 50; ++i)
                    ASSERT_EQ(radio.Sample(mean), std::clamp(mean + offset, -120, -20));
            }
        }
    }
    // Fading off: its mean is nothing; on: the Rayleigh table's, about -2.5 dB in dB and 0 dB
    // in power.
    EXPECT_EQ(nlohmann::json::parse(SiteModelJson([] {
                  SimulationOptions o;
                  o.fading = false;
                  return o;
              }()))["fading_mean_db"],
              0);
    EXPECT_NEAR(model["fading_mean_db"].get<double>(), -2.51, 0.02);
    EXPECT_NEAR(model["fading_power_mean_db"].get<double>(), 0.0, 0.05);
}

TEST(DriveTruthTest, TheSitesFileHasEveryMeasuredChannelAroundTheRoute) {
    for (const Scenario scenario : {Scenario::SingleGps, Scenario::List, Scenario::Table}) {
        SCOPED_TRACE(ScenarioName(scenario));
        SimulationTruth truth;
        const Bytes file = SimulateLog(Options(scenario, 400, 2), &truth);
        const auto records = Records(file);
        const auto rows = CsvRows(SitesCsv(truth));
        ASSERT_EQ(rows.at(0),
                  (std::vector<std::string>{"site", "latitude", "longitude", "antenna_height_m",
                                            "eirp_dbm", "frequency_mhz"}));
        std::vector<double> frequencies;
        std::map<std::string, std::pair<double, double>> places;
        for (std::size_t i = 1; i < rows.size(); ++i) {
            ASSERT_EQ(rows[i].size(), 6u);
            const auto site = SiteIndex(rows[i][0]);
            ASSERT_TRUE(site.has_value()) << rows[i][0];
            const double spread = std::stod(rows[i][4]) - RadioModel::Sites()[*site].eirpDbm;
            EXPECT_TRUE(spread >= -6 && spread <= 2) << rows[i][4];
            EXPECT_GE(std::stod(rows[i][3]), 20.0);
            places[rows[i][0]] = {std::stod(rows[i][1]), std::stod(rows[i][2])};
            frequencies.push_back(std::stod(rows[i][5]));
        }
        // Every channel the log names has its row, unless it is idle.
        std::array<FrequencyPlan, 2> plans{};
        int checked = 0;
        const auto expect = [&](std::size_t receiver, std::int64_t code) {
            const auto c = static_cast<std::uint32_t>(code);
            if (c == 0 || RadioModel::IsIdle(c)) return;
            const double mhz = plans[receiver].CodeToMHz(code);
            ++checked;
            EXPECT_TRUE(std::any_of(frequencies.begin(), frequencies.end(), [&](double f) {
                return std::fabs(f - mhz) < 1e-6;
            })) << mhz;
        };
        for (const Rec& r : records) {
            if (r.type == 1)
                for (std::size_t k = 0; k < 2; ++k)
                    plans[k] = FrequencyPlan::Decode(r.payload.subspan(1 + 12 * k));
            if (r.type == 5 || r.type == 6)
                for (std::size_t k = 0; k < (r.type == 5 ? 2u : 20u); ++k)
                    expect(r.type == 5 ? k : k / 10, U32LE(r.payload, 4 * k));
            if (r.type == 9)
                for (std::size_t e = 0; e < 4; ++e)
                    if (r.payload[4 * e] != kNoReceiver)
                        expect(r.payload[4 * e],
                               plans[r.payload[4 * e]].CodeOfChannel(
                                   r.payload[4 * e + 1] +
                                   256 * static_cast<std::int8_t>(r.payload[4 * e + 2]) + 1));
        }
        EXPECT_GE(checked, 4);
        // The sites stand around the route: each within 4.5 km of a fix, one nearer.
        const auto fixes = Fixes(records);
        double nearestOfAll = 1e9;
        for (const auto& [name, place] : places) {
            double nearest = 1e9;
            for (const Fix& fix : fixes)
                if (fix.Good())
                    nearest = std::min(nearest, Metres(fix.block, place.first, place.second));
            EXPECT_LT(nearest, 4500.0) << name;
            nearestOfAll = std::min(nearestOfAll, nearest);
        }
        EXPECT_LT(nearestOfAll, 2500.0);
    }
}

TEST(DriveTruthTest, TheCalibrationDriveSpansADecadeWellAboveTheNoiseFloor) {
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        SimulationOptions o = Options(Scenario::Calibration, 600, seed);  // the default duration
        o.shadowSigmaDb = 0;
        o.fading = false;
        const Bytes file = SimulateLog(o);
        const auto records = Records(file);
        const Point site = RadioModel::Sites()[0].place;
        const LocalGrid grid;
        double nearest = 1e9, farthest = 0;
        int weakest = 0, scans = 0;
        for (const Rec& r : records) scans += r.type == 5;
        for (const Fix& fix : Fixes(records)) {
            if (!fix.Good()) continue;
            const double d = Metres(fix.block, DegreesOfMas(grid.LatitudeMas(site)),
                                    DegreesOfMas(grid.LongitudeMas(site)));
            nearest = std::min(nearest, d);
            farthest = std::max(farthest, d);
            const auto levels = NextLevels(records, fix.record);
            if (!levels.empty()) weakest = std::min(weakest, levels[0]);
        }
        EXPECT_EQ(scans, 1) << "one scan of two channels all along";
        EXPECT_GT(farthest / nearest, 10.0);
        EXPECT_GE(weakest, RadioModel::kNoiseFloor + 10);
    }
}

#ifdef VARISTRUM_SIM
// A least-squares fit of level against log10(distance) over the clean calibration drive, from
// the files the command line writes, gives the model file's slope and intercept.
TEST(DriveTruthTest, AFitToTheCleanCalibrationDriveRecoversTheModel) {
    test::TempDir dir;
    const std::string log = dir.File("cal.klf"), sites = dir.File("sites.csv");
    const std::string command = std::string(VARISTRUM_SIM) + " --seed 4 --out " + log +
                                " --scenario calibration --duration 900 --no-fading" +
                                " --shadow-sigma 0 --sites-out " + sites + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const nlohmann::json model =
        nlohmann::json::parse(test::ReadFile(dir.File("sites.model.json")));
    EXPECT_EQ(model["shadow_sigma_db"], 0);
    EXPECT_EQ(model["decorrelation_m"], 50);
    EXPECT_EQ(model["fading"], "none");
    const auto rows = CsvRows(test::ReadFile(sites));
    ASSERT_EQ(rows.at(0),
              (std::vector<std::string>{"site", "latitude", "longitude", "antenna_height_m",
                                        "eirp_dbm", "frequency_mhz"}));
    const Bytes file = [&] {
        const std::string text = test::ReadFile(log);
        return Bytes(text.begin(), text.end());
    }();
    const auto records = Records(file);
    // Receiver 1's channel and plan, from the log.
    std::uint32_t code = 0;
    FrequencyPlan plan;
    for (const Rec& r : records) {
        if (r.type == 1) plan = FrequencyPlan::Decode(r.payload.subspan(1));
        if (r.type == 5) code = U32LE(r.payload, 0);
    }
    const double mhz = plan.CodeToMHz(code);
    const std::vector<std::string>* row = nullptr;
    for (const auto& r : rows)
        if (r.size() == 6 && r[0] != "site" && std::fabs(std::stod(r[5]) - mhz) < 1e-6) row = &r;
    ASSERT_NE(row, nullptr) << mhz << " MHz has no site";
    double intercept = 0, slope = 0;
    for (const auto& entry : model["sites"])
        if (entry["site"] == (*row)[0]) {
            intercept = entry["intercept_db_at_1km"];
            slope = entry["db_per_decade"];
        }
    const double eirp = std::stod((*row)[4]);
    const double latitude = std::stod((*row)[1]), longitude = std::stod((*row)[2]);

    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, worst = 0;
    for (const Fix& fix : Fixes(records)) {
        const auto levels = NextLevels(records, fix.record);
        if (!fix.Good() || levels.empty()) continue;
        ASSERT_TRUE(std::all_of(levels.begin(), levels.end(), [&](int l) {
            return l == levels[0];
        })) << "no fading: every sample is the local mean";
        const double x = std::log10(Metres(fix.block, latitude, longitude) / 1000.0);
        const double y = levels[0];
        worst = std::max(worst, std::fabs(y - (eirp - intercept - slope * x)));
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    ASSERT_GT(n, 500);
    const double fittedSlope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    const double fittedLevelAt1km = (sy - fittedSlope * sx) / n;
    EXPECT_NEAR(-fittedSlope, slope, 0.1);
    EXPECT_NEAR(eirp - fittedLevelAt1km, intercept, 0.1);
    EXPECT_LE(worst, 0.55) << "whole dBm, and the plane's distances within 0.3 % of WGS 84";
}

TEST(DriveTruthTest, CommandLineWritesTheTruthFilesBesideTheLog) {
    test::TempDir dir;
    const std::string sim = VARISTRUM_SIM;
    const std::string log = dir.File("d.klf");
    const std::string command = sim + " --seed 6 --out " + log +
                                " --scenario single-gps --duration 400 --stops 2,30" +
                                " --stops-at end --creep 1.2 --level-offset -3 --shadow-sigma 4" +
                                " --no-fading --stops-out " + dir.File("stops.csv") +
                                " --sites-out " + dir.File("net.txt") + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    SimulationOptions o = Options(Scenario::SingleGps, 400, 6);
    o.stops = {2, 30, 1.2, StopPlacement::End, 0};
    o.levelOffsetDb = -3;
    o.shadowSigmaDb = 4;
    o.fading = false;
    SimulationTruth truth;
    const Bytes expected = SimulateLog(o, &truth);
    const std::string written = test::ReadFile(log);
    EXPECT_TRUE(written == std::string(expected.begin(), expected.end()));
    EXPECT_EQ(test::ReadFile(dir.File("stops.csv")), StopsCsv(truth));
    EXPECT_EQ(test::ReadFile(dir.File("net.txt")), SitesCsv(truth));
    EXPECT_EQ(test::ReadFile(dir.File("net.txt.model.json")), SiteModelJson(o));
    EXPECT_EQ(ModelPathFor("a/b.csv"), "a/b.model.json");
    EXPECT_EQ(ModelPathFor(".csv"), ".csv.model.json");

    // The defaults given explicitly change nothing.
    ASSERT_EQ(std::system((sim + " --seed 6 --out " + log +
                           " --duration 50 --shadow-sigma 7 --level-offset 0 2>/dev/null")
                              .c_str()),
              0);
    const Bytes classic = SimulateLog(Options(Scenario::Mixed, 50, 6));
    EXPECT_TRUE(test::ReadFile(log) == std::string(classic.begin(), classic.end()));

    const std::string f = " --seed 1 --out " + dir.File("x.klf");
    for (const std::string& bad :
         {f + " --stops -1", f + " --stops 3,0", f + " --stops 2,x", f + " --stops 10001",
          f + " --stops 1 --creep 0", f + " --creep 2", f + " --stops-at end",
          f + " --stops 1 --stops-at S9", f + " --stops-out " + dir.File("s.csv"),
          f + " --level-offset 2.5", f + " --level-offset 201", f + " --shadow-sigma -1",
          f + " --stops 2 --size-mb 1", f + " --stops 5,100 --duration 505",
          f + " --sites-out " + dir.File("x.klf"),
          f + " --stops 1 --stops-out " + dir.File("n.csv") + " --sites-out " + dir.File("n.csv"),
          f + " --sites-out " + dir.File("m.csv") + " --stops 1 --stops-out " +
              dir.File("m.model.json")}) {
        const int status = std::system((sim + bad + " 2>/dev/null").c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << bad;
    }
}
#endif

}  // namespace
}  // namespace varistrum::sim
