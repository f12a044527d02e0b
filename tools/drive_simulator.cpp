// SPDX-License-Identifier: GPL-3.0-or-later
// Scenario schedules of the drive simulator and the records each simulated second produces.
#include "tools/drive_simulator.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "tools/gps_quality.h"
#include "tools/log_builder.h"
#include "tools/portable_math.h"
#include "tools/radio_model.h"
#include "tools/sim_clock.h"
#include "tools/vehicle_route.h"

namespace varistrum::sim {

namespace {

constexpr std::array<Scenario, 7> kScenarios{
    Scenario::Mixed, Scenario::SingleGps,   Scenario::SingleRtc, Scenario::List,
    Scenario::Table, Scenario::NoFrequency, Scenario::Bench};
constexpr std::array<std::string_view, 7> kScenarioNames{
    "mixed", "single-gps", "single-rtc", "list", "table", "no-frequency", "bench"};

// Record types without a meaning that real files carry now and then.
constexpr std::array<std::uint8_t, 4> kUnknownTypes{0x08, 0x55, 0x80, 0xD0};

constexpr std::size_t kChunkBytes = std::size_t{4} << 20;
constexpr int kMaxSamples = kMaxRecordLength - 2;  // the longest data record a reader accepts
constexpr int kForever = 1 << 30;

enum class ScanKind {
    Single,     // ScanList32Record, then receiver sample records
    List,       // ScanList10Record, then ChannelListRecords
    Table,      // ChannelTableRecord sweeps (no definition record)
    Undefined,  // receiver sample records without any scan definition
};

struct Segment {
    ScanKind kind = ScanKind::Single;
    bool rtcTimed = false;
    int seconds = 60;
    int listPositions = 10;  // list positions actually scanned (the rest are padding)
    int cyclePosition = 0;   // place in the mixed scenario's cycle
};

// One cycle of the mixed scenario; the first cycle uses the scripted lengths so that even a
// short file holds every scan kind and a long GPS outage.
struct CycleStep {
    ScanKind kind;
    bool rtcTimed;
    int scripted, minSeconds, maxSeconds, listPositions;
};
constexpr std::array<CycleStep, 7> kMixedCycle{{
    {ScanKind::Single, false, 45, 30, 90, 10},
    {ScanKind::List, false, 20, 15, 30, 10},
    {ScanKind::Table, false, 20, 15, 30, 10},
    {ScanKind::List, false, 15, 10, 25, 7},
    {ScanKind::Single, false, 70, 40, 120, 10},
    {ScanKind::Single, true, 20, 15, 40, 10},
    {ScanKind::Single, false, 30, 20, 60, 10},
}};

std::uint32_t CodeOfChannel(const FrequencyPlan& plan, int channel) {
    if (plan.Wraps()) channel = channel < 991 ? channel + 34 : channel - 990;
    return plan.first + static_cast<std::uint32_t>(channel) - 1;
}

class DriveSimulator {
  public:
    explicit DriveSimulator(const SimulationOptions& options);
    bool Run(const ChunkSink& sink, SimulationSummary& summary);

  private:
    Segment PlanSegment(int index);
    void BeginSegment(bool atFileStart);
    int TicksPerSecond() const;
    void EmitTimeRecord(int t);
    void EmitGps(int status);
    void EmitRtc();
    void EmitExtras(int t);
    void EmitTick();
    void EmitSamples(int receiver, int count);
    void EmitListSweep();
    void EmitTableSweep();
    std::uint32_t RandomCode(const FrequencyPlan& plan);
    bool Flush(const ChunkSink& sink);

    SimulationOptions options_;
    Rng rng_;
    LogBuilder log_;
    SimClock clock_;
    LocalGrid grid_;
    Vehicle vehicle_;
    RadioModel radio_;
    GpsQuality gps_;
    bool extras_ = false;       // unknown types, edge-case records, RTC stamps in GPS scans
    int tpEvery_ = 0;           // seconds between TP records, 0 for none
    int recordsPerSecond_ = 4;  // per receiver, in sample scans

    Segment segment_;
    int segmentIndex_ = 0;
    int segmentStart_ = 0;
    FrequencyPlan rx2Plan_ = kBand30kHz;
    std::uint32_t rx1Code_ = 0, rx2Code_ = 0;
    std::array<std::uint32_t, 10> list1_{}, list2_{};
    std::vector<int> sweep1_, sweep2_;  // table channel numbers, rising
    std::vector<int> samples_;
    std::vector<std::uint8_t> chunk_;
    std::uint8_t trailing_ = 0;
    int marker_ = 0;
    Point lastFixPlace_;
    std::uint32_t fixCount_ = 0;
};

std::deque<GpsEpisode> ScriptedEpisodes(Scenario scenario) {
    if (scenario != Scenario::Mixed) return {};
    return {{8, 5, EpisodeKind::TwoD},
            {25, 12, EpisodeKind::Silent},
            {60, 1, EpisodeKind::Bad},
            {125, 35, EpisodeKind::Bad}};
}

DriveSimulator::DriveSimulator(const SimulationOptions& options)
    : options_(options),
      rng_(options.seed),
      log_(options.variant),
      clock_{options.startYear, options.startMonth, options.startDay, options.startSecondOfDay},
      vehicle_(rng_),
      radio_(options.seed),
      gps_(ScriptedEpisodes(options.scenario), options.scenario == Scenario::Bench ? 600 : 60,
           options.scenario == Scenario::Bench ? 1800 : 200),
      samples_(kMaxSamples) {
    extras_ = options.scenario == Scenario::Mixed;
    tpEvery_ =
        options.scenario == Scenario::Mixed ? 5 : (options.scenario == Scenario::SingleRtc ? 2 : 0);
    recordsPerSecond_ = options.scenario == Scenario::Bench ? 10 : 4;
    lastFixPlace_ = vehicle_.Position();
    vehicle_.Park(rng_.Range(5, 15));  // the drive starts from a parked car
}

Segment DriveSimulator::PlanSegment(int index) {
    Segment s;
    switch (options_.scenario) {
        case Scenario::Mixed: {
            const auto position = static_cast<std::size_t>(index) % kMixedCycle.size();
            const CycleStep& step = kMixedCycle[position];
            s.kind = step.kind;
            s.rtcTimed = step.rtcTimed;
            s.listPositions = step.listPositions;
            s.cyclePosition = static_cast<int>(position);
            s.seconds = index < static_cast<int>(kMixedCycle.size())
                            ? step.scripted
                            : rng_.Range(step.minSeconds, step.maxSeconds);
            break;
        }
        case Scenario::SingleGps:
            s.seconds = rng_.Range(120, 300);
            break;
        case Scenario::SingleRtc:
            s.rtcTimed = true;
            s.seconds = rng_.Range(120, 300);
            break;
        case Scenario::List:
            s.kind = ScanKind::List;
            s.listPositions = index % 2 == 0 ? 10 : 7;
            s.seconds = rng_.Range(90, 200);
            break;
        case Scenario::Table:
            s.kind = ScanKind::Table;
            s.seconds = kForever;
            break;
        case Scenario::NoFrequency:
            s.kind = ScanKind::Undefined;
            s.seconds = kForever;
            break;
        case Scenario::Bench:
            s.seconds = rng_.Range(600, 1800);
            break;
    }
    return s;
}

std::uint32_t DriveSimulator::RandomCode(const FrequencyPlan& plan) {
    std::uint32_t code = 0;
    for (int attempt = 0; attempt < 16; ++attempt) {  // prefer channels that carry a signal
        if (plan.Wraps()) {
            code =
                CodeOfChannel(plan, rng_.Chance(0.8) ? rng_.Range(1, 124) : rng_.Range(991, 1023));
        } else {
            code = plan.first + static_cast<std::uint32_t>(
                                    rng_.Range(0, static_cast<int>(plan.last - plan.first)));
        }
        if (!RadioModel::IsIdle(code)) break;
    }
    return code;
}

void DriveSimulator::BeginSegment(bool atFileStart) {
    if (atFileStart) {
        log_.Config(3, kBand800, rx2Plan_);
    } else if (options_.scenario == Scenario::Mixed && segment_.cyclePosition == 0) {
        // Each cycle swaps receiver 2 between the 30 kHz band and the wrapping band.
        const int cycle = segmentIndex_ / static_cast<int>(kMixedCycle.size());
        rx2Plan_ = cycle % 2 == 1 ? kBandWrap : kBand30kHz;
        log_.Config(3, kBand800, rx2Plan_);
    }
    switch (segment_.kind) {
        case ScanKind::Single:
            rx1Code_ = RandomCode(kBand800);
            rx2Code_ = RandomCode(rx2Plan_);
            log_.ScanList32(rx1Code_, rx2Code_);
            break;
        case ScanKind::Undefined:  // the receiver still measures a channel; the file just lacks it
            rx1Code_ = RandomCode(kBand800);
            rx2Code_ = RandomCode(rx2Plan_);
            break;
        case ScanKind::List:
            list1_.fill(0);
            list2_.fill(0);
            for (int i = 0; i < segment_.listPositions; ++i) {
                list1_[static_cast<std::size_t>(i)] = RandomCode(kBand800);
                list2_[static_cast<std::size_t>(i)] = RandomCode(rx2Plan_);
            }
            log_.ScanList10(list1_, list2_);
            break;
        case ScanKind::Table: {
            // Channel numbers rise through each sweep; both cross multiples of 256.
            sweep1_.clear();
            sweep2_.clear();
            const int start1 = rng_.Range(1, 180);
            for (int k = 0; k < 40; ++k) sweep1_.push_back(start1 + 180 * k);
            if (rx2Plan_.Wraps()) {
                for (int k = 0; k < 31; ++k) sweep2_.push_back(1 + 4 * k);
                for (int k = 0; k < 9; ++k) sweep2_.push_back(991 + 4 * k);
            } else {
                const int start2 = rng_.Range(1, 21);
                for (int k = 0; k < 38; ++k) sweep2_.push_back(start2 + 21 * k);
            }
            break;
        }
    }
}

int DriveSimulator::TicksPerSecond() const {
    switch (segment_.kind) {
        case ScanKind::List:
            return 5;
        case ScanKind::Table:
            return 2;
        default:
            return recordsPerSecond_;
    }
}

void DriveSimulator::EmitTimeRecord(int t) {
    // Drawn every second, so the GPS schedule does not depend on the scan schedule.
    const std::optional<int> status = gps_.StatusAt(t, rng_);
    if (segment_.rtcTimed) {
        EmitRtc();
    } else if (status) {
        EmitGps(*status);
    }
}

void DriveSimulator::EmitGps(int status) {
    const bool good = status >= kStatus2D;
    const Point place = good ? vehicle_.Position() : lastFixPlace_;  // bad fixes repeat the last
    if (good) lastFixPlace_ = place;
    GpsFix fix;
    fix.year = clock_.year;
    fix.month = clock_.month;
    fix.day = clock_.day;
    fix.hours = clock_.Hours();
    fix.minutes = clock_.Minutes();
    fix.seconds = clock_.Seconds();
    fix.latitudeMas = grid_.LatitudeMas(place);
    fix.longitudeMas = grid_.LongitudeMas(place);
    fix.latitudeBMas = fix.latitudeMas + rng_.Range(-25, 25);
    fix.longitudeBMas = fix.longitudeMas + rng_.Range(-25, 25);
    const double metres = 35.0 + 12.0 * Sin(place.x / 700.0) + 8.0 * Cos(place.y / 500.0);
    fix.heightCm = static_cast<std::int32_t>(RoundHalfUp(metres * 100.0));
    fix.height1 = fix.heightCm + 4700;
    fix.height2 = fix.heightCm / 10;
    fix.height4 = rng_.Range(-300, 300);
    fix.speedCmPerS = good ? static_cast<std::uint16_t>(RoundHalfUp(vehicle_.Speed() * 100.0)) : 0;
    fix.speed2 = fix.speedCmPerS;
    fix.heading = static_cast<std::uint16_t>(vehicle_.HeadingDegrees());
    fix.statusCode = status;
    fix.statusLowBits = static_cast<std::uint8_t>(rng_.Range(0, 31));
    fix.satellites = status == kStatus3D
                         ? rng_.Range(6, 11)
                         : (status == kStatus2D ? rng_.Range(3, 4) : rng_.Range(0, 3));
    fix.satellitesTracked = std::max(0, fix.satellites - rng_.Range(0, 1));
    fix.geometry = static_cast<std::uint16_t>(rng_.Range(90, 260));
    fix.value133 = static_cast<std::uint16_t>(fixCount_);
    fix.value135 = static_cast<std::uint32_t>(clock_.secondOfDay) * 1000u;
    fix.temperatureHalfDegrees = static_cast<std::uint16_t>(rng_.Range(56, 64));
    fix.byte141 = static_cast<std::uint8_t>(0x80 | fix.satellites);
    fix.byte142 = good ? 1 : 0;
    fix.value143 = 1;
    fix.value144 = 2;
    for (int i = 0; i < fix.satellites && i < 12; ++i) {
        std::uint8_t* entry = &fix.channels[static_cast<std::size_t>(6 * i)];
        entry[0] = static_cast<std::uint8_t>(rng_.Range(1, 32));   // satellite number
        entry[1] = static_cast<std::uint8_t>(rng_.Range(5, 85));   // elevation
        entry[2] = static_cast<std::uint8_t>(rng_.Range(0, 179));  // azimuth / 2
        entry[5] = static_cast<std::uint8_t>(rng_.Range(30, 50));  // signal to noise
    }
    fix.leadingWord = fixCount_++;
    log_.Gps(fix);
}

void DriveSimulator::EmitRtc() {
    if (rng_.Chance(1.0 / 40.0)) marker_ = rng_.Chance(0.5) ? 0 : rng_.Range(1, 150);
    log_.Rtc(clock_.Hours(), clock_.Minutes(), clock_.Seconds(), clock_.day, clock_.month,
             clock_.year % 100, marker_);
}

void DriveSimulator::EmitExtras(int t) {
    if (tpEvery_ > 0 && t % tpEvery_ == tpEvery_ / 2) {
        TpFix tp;
        tp.hours = clock_.Hours();
        tp.minutes = clock_.Minutes();
        tp.seconds = clock_.Seconds();
        tp.day = clock_.day;
        tp.month = clock_.month;
        tp.year = clock_.year;
        tp.SetLatitude(grid_.LatitudeMicrodegrees(vehicle_.Position()));
        tp.SetLongitude(grid_.LongitudeMicrodegrees(vehicle_.Position()));
        log_.TpPosition(tp);
        log_.TpTime(static_cast<std::int16_t>(RoundHalfUp(vehicle_.Speed() * 3.6)),
                    static_cast<std::uint16_t>(vehicle_.HeadingDegrees()));
    }
    if (!extras_) return;
    if (t % 10 == 4) {
        const std::uint8_t type =
            kUnknownTypes[static_cast<std::size_t>(t / 10) % kUnknownTypes.size()];
        std::vector<std::uint8_t> payload(
            type == 0x80 ? 0 : static_cast<std::size_t>(rng_.Range(1, 48)));
        for (auto& b : payload) b = static_cast<std::uint8_t>(rng_.Next() >> 56);
        log_.Record(type, payload);
    }
    const bool gpsScan =
        !segment_.rtcTimed && (segment_.kind == ScanKind::List || segment_.kind == ScanKind::Table);
    if (gpsScan && t % 10 == 7) EmitRtc();
    if (segment_.kind == ScanKind::Single && !segment_.rtcTimed) {
        const int second = t - segmentStart_;
        if (second == 5) EmitSamples(1, 0);  // a data record without samples
        if (second == 12 && segment_.cyclePosition == 4) EmitSamples(1, kMaxSamples);
    }
}

void DriveSimulator::EmitSamples(int receiver, int count) {
    const int mean = radio_.MeanLevel(receiver == 1 ? rx1Code_ : rx2Code_);
    const std::span<int> levels(samples_.data(), static_cast<std::size_t>(count));
    radio_.FillSamples(mean, levels);
    log_.Samples(receiver, levels, trailing_++);
}

void DriveSimulator::EmitListSweep() {
    std::array<ListEntry, 20> entries{};
    std::size_t n = 0;
    for (int position = 0; position < segment_.listPositions; ++position) {
        const auto p = static_cast<std::size_t>(position);
        entries[n++] = {0, position, radio_.Sample(radio_.MeanLevel(list1_[p]))};
        entries[n++] = {1, position, radio_.Sample(radio_.MeanLevel(list2_[p]))};
    }
    for (std::size_t at = 0; at < n; at += 5)
        log_.ChannelList(
            std::span<const ListEntry>(entries).subspan(at, std::min<std::size_t>(5, n - at)));
}

void DriveSimulator::EmitTableSweep() {
    std::vector<TableEntry> entries;
    const std::size_t longest = std::max(sweep1_.size(), sweep2_.size());
    for (std::size_t k = 0; k < longest; ++k) {
        if (k < sweep1_.size()) {
            const int mean = radio_.MeanLevel(CodeOfChannel(kBand800, sweep1_[k]));
            entries.push_back({0, sweep1_[k], radio_.Sample(mean)});
        }
        if (k < sweep2_.size()) {
            const int mean = radio_.MeanLevel(CodeOfChannel(rx2Plan_, sweep2_[k]));
            entries.push_back({1, sweep2_[k], radio_.Sample(mean)});
        }
    }
    for (std::size_t at = 0; at < entries.size(); at += 4)
        log_.ChannelTable(std::span<const TableEntry>(entries).subspan(
            at, std::min<std::size_t>(4, entries.size() - at)));
}

void DriveSimulator::EmitTick() {
    switch (segment_.kind) {
        case ScanKind::Single:
        case ScanKind::Undefined:
            EmitSamples(1, rng_.Range(90, 110));
            EmitSamples(2, rng_.Range(90, 110));
            break;
        case ScanKind::List:
            EmitListSweep();
            break;
        case ScanKind::Table:
            EmitTableSweep();
            break;
    }
}

bool DriveSimulator::Flush(const ChunkSink& sink) {
    log_.TakeRecords(chunk_);
    return chunk_.empty() || sink(chunk_);
}

bool DriveSimulator::Run(const ChunkSink& sink, SimulationSummary& summary) {
    const bool bySize = options_.sizeMb > 0.0;
    const double targetBytes = options_.sizeMb * 1048576.0;
    const double seconds = std::ceil(options_.durationSeconds);

    // The file opens with the scan definition and a few records measured before the first fix.
    segment_ = PlanSegment(0);
    BeginSegment(true);
    radio_.Locate(vehicle_.Position());
    for (int tick = 0; tick < 2; ++tick) EmitTick();

    int t = 0;
    for (;; ++t) {
        if (bySize ? static_cast<double>(log_.Size()) >= targetBytes : t >= seconds) break;
        const bool newSegment = t - segmentStart_ >= segment_.seconds;
        if (newSegment) {
            segment_ = PlanSegment(++segmentIndex_);
            segmentStart_ = t;
        }
        EmitTimeRecord(t);
        if (newSegment) BeginSegment(false);
        const int ticks = TicksPerSecond();
        for (int tick = 0; tick < ticks; ++tick) {
            radio_.Locate(vehicle_.Position());
            EmitTick();
            if (tick == 0) EmitExtras(t);
            radio_.Move(vehicle_.Advance(1.0 / ticks, rng_), rng_);
        }
        clock_.Tick();
        if (log_.PendingSize() >= kChunkBytes && !Flush(sink)) return false;
    }
    if (!Flush(sink)) return false;
    summary.bytes = log_.Size();
    summary.records = log_.RecordCount();
    summary.seconds = t;
    return true;
}

}  // namespace

std::string SimulationOptionsError(const SimulationOptions& o) {
    if (o.variant != kFormatTavrel && o.variant != kFormatTavrelPcCard)
        return "variant must be 8 or 9";
    if (!(o.durationSeconds > 0.0 || o.sizeMb > 0.0)) return "duration or size must be positive";
    if (!(o.durationSeconds <= 1e9) || !(o.sizeMb <= 1e5)) return "duration or size too large";
    if (o.startSecondOfDay < 0 || o.startSecondOfDay >= 86400) return "start time outside the day";
    SimClock probe{o.startYear, o.startMonth, o.startDay, 0};
    if (o.startYear < 1990 || o.startYear > 2155 || o.startMonth < 1 || o.startMonth > 12 ||
        o.startDay < 1 || o.startDay > probe.DaysInMonth())
        return "invalid start date";
    return {};
}

std::string_view ScenarioName(Scenario scenario) {
    return kScenarioNames[static_cast<std::size_t>(scenario)];
}

std::optional<Scenario> ScenarioFromName(std::string_view name) {
    for (std::size_t i = 0; i < kScenarioNames.size(); ++i)
        if (kScenarioNames[i] == name) return kScenarios[i];
    return std::nullopt;
}

std::span<const Scenario> AllScenarios() {
    return kScenarios;
}

bool SimulateRecords(const SimulationOptions& options, const ChunkSink& sink,
                     SimulationSummary& summary, std::string* error) {
    const std::string invalid = SimulationOptionsError(options);
    if (!invalid.empty()) {
        if (error) *error = invalid;
        return false;
    }
    DriveSimulator simulator(options);
    // The identification record is part of the records; the header comes separately.
    if (!simulator.Run(sink, summary)) {
        if (error) *error = "write failed";
        return false;
    }
    return true;
}

}  // namespace varistrum::sim
