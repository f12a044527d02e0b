// SPDX-License-Identifier: GPL-3.0-or-later
// Scenario schedules of the drive simulator and the records each simulated second produces.
#include "tools/drive_simulator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>

#include "tools/gps_quality.h"
#include "tools/log_builder.h"
#include "tools/portable_math.h"
#include "tools/radio_model.h"
#include "tools/sim_clock.h"
#include "tools/vehicle_route.h"

namespace varistrum::sim {

namespace {

constexpr std::array<Scenario, 8> kScenarios{
    Scenario::Mixed, Scenario::SingleGps,   Scenario::SingleRtc, Scenario::List,
    Scenario::Table, Scenario::NoFrequency, Scenario::Bench,     Scenario::Calibration};
constexpr std::array<std::string_view, 8> kScenarioNames{
    "mixed", "single-gps", "single-rtc", "list", "table", "no-frequency", "bench", "calibration"};

// Record types without a meaning that real files carry now and then.
constexpr std::array<std::uint8_t, 4> kUnknownTypes{0x08, 0x55, 0x80, 0xD0};

constexpr std::size_t kChunkBytes = std::size_t{4} << 20;
constexpr int kMaxSamples = kMaxRecordLength - 2;  // the longest data record a reader accepts
constexpr int kForever = 1 << 30;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The site the calibration route circles, and the smallest spread of its channels' EIRP: the
// levels then stay more than 20 dB above the noise floor 3.4 km away (shadowing aside).
constexpr std::size_t kCalibrationSite = 0;
constexpr int kCalibrationMinSpread = 0;

// The vehicle advances in steps of this many seconds when stops are planned, whatever the
// scan's record rate, so that its path depends on the driving time alone.
constexpr int kStepsPerSecond = 4;

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

// The receivers' band a frequency code belongs to (the bands' codes do not overlap).
const FrequencyPlan& PlanOfCode(std::uint32_t code) {
    for (const FrequencyPlan* plan : {&kBandWrap, &kBand30kHz})
        if (code >= plan->first && code <= plan->last) return *plan;
    return kBand800;
}

// The vehicle's state as the GPS receiver reports it at the start of a second.
struct Reported {
    Point position;
    double speed = 0.0;
    int heading = 0;
};

// The moving seconds (counted from 0) before which the planned stops begin, in rising order.
std::vector<std::int64_t> PlanStops(const SimulationOptions& options, const Vehicle& vehicle,
                                    const Rng& vehicleRng) {
    const StopOptions& stops = options.stops;
    std::vector<std::int64_t> at;
    if (stops.count <= 0) return at;
    const std::int64_t n = stops.count;
    const std::int64_t moving =
        static_cast<std::int64_t>(std::ceil(options.durationSeconds)) - n * stops.seconds;
    switch (stops.placement) {
        case StopPlacement::Even:
            for (std::int64_t k = 1; k <= n; ++k) at.push_back(k * moving / (n + 1));
            break;
        case StopPlacement::End:
            for (std::int64_t k = 1; k <= n; ++k) at.push_back(k * (moving - 1) / n);
            break;
        case StopPlacement::NearSite: {
            // Drive the route once without stops, as the simulation will.
            Vehicle probe = vehicle;
            Rng rng = vehicleRng;
            const Point site = RadioModel::Sites()[stops.site].place;
            std::int64_t second = 0;
            for (std::int64_t k = 1; k <= n; ++k) {
                const std::int64_t end = k * moving / n;
                double nearest = 0.0;
                std::int64_t best = -1;
                for (; second < end; ++second) {
                    const double dx = probe.Position().x - site.x;
                    const double dy = probe.Position().y - site.y;
                    const double distance = dx * dx + dy * dy;
                    if (best < 0 || distance < nearest) {
                        nearest = distance;
                        best = second;
                    }
                    for (int step = 0; step < kStepsPerSecond; ++step)
                        probe.Advance(1.0 / kStepsPerSecond, rng);
                }
                at.push_back(best);
            }
            break;
        }
    }
    return at;
}

class DriveSimulator {
  public:
    DriveSimulator(const SimulationOptions& options, SimulationTruth* truth);
    bool Run(const ChunkSink& sink, SimulationSummary& summary);

  private:
    void Second(int t);
    void SecondWithStops(int t);
    Segment PlanSegment(int index);
    void BeginSegment(bool atFileStart);
    int TicksPerSecond() const;
    void EmitTimeRecord(int t);
    void EmitGps(int status);
    void EmitRtc();
    void EmitExtras(int t, int segmentSecond);
    void EmitTick();
    void EmitSamples(int receiver, int count);
    void EmitListSweep();
    void EmitTableSweep();
    std::uint32_t RandomCode(const FrequencyPlan& plan);
    std::uint32_t CalibrationCode(const FrequencyPlan& plan, std::uint32_t other);
    void NoteChannel(std::uint32_t code);
    bool Flush(const ChunkSink& sink);

    SimulationOptions options_;
    SimulationTruth* truth_;
    bool stopMode_;
    Rng rng_;
    // With planned stops the vehicle, the shadowing and the scan plan draw from streams of
    // their own, so that time spent standing changes none of them.
    Rng vehicleRng_, planRng_, shadowRng_;
    Rng& vehicleDraws_;
    Rng& planDraws_;
    Rng& shadowDraws_;
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
    Reported reported_;
    std::set<std::uint32_t> channels_;  // measured so far, when the truth is wanted

    // Planned stops.
    std::vector<std::int64_t> stopAt_;
    std::size_t nextStop_ = 0;
    int movingSeconds_ = 0;         // moving seconds so far
    int standLeft_ = 0;             // seconds of the current stop still to stand
    bool departing_ = false;        // the first moving second after a stop
    std::size_t openStop_ = kNone;  // the truth row the fixes now belong to
    int second_ = 0;                // the drive's second now
    int openStopFirstSecond_ = 0;
    std::array<Point, kStepsPerSecond + 1> path_{};  // the second's path at each step
    std::array<double, kStepsPerSecond + 1> pathMetres_{};
};

RouteOptions RouteFor(const SimulationOptions& options) {
    RouteOptions route;
    route.star = options.scenario == Scenario::Calibration;
    route.centre = RadioModel::Sites()[kCalibrationSite].place;
    route.junctionWaits = !options.stops.Planned();
    return route;
}

RadioSettings RadioFor(const SimulationOptions& options) {
    return {options.shadowSigmaDb, options.fading, options.levelOffsetDb};
}

std::deque<GpsEpisode> ScriptedEpisodes(Scenario scenario) {
    if (scenario != Scenario::Mixed) return {};
    return {{8, 5, EpisodeKind::TwoD},
            {25, 12, EpisodeKind::Silent},
            {60, 1, EpisodeKind::Bad},
            {125, 35, EpisodeKind::Bad}};
}

DriveSimulator::DriveSimulator(const SimulationOptions& options, SimulationTruth* truth)
    : options_(options),
      truth_(truth),
      stopMode_(options.stops.Planned()),
      rng_(stopMode_ ? Mix64(options.seed ^ 0x5709ULL) : options.seed),
      vehicleRng_(options.seed),  // the classic drive's first draws: the same route
      planRng_(Mix64(options.seed ^ 0x91A4ULL)),
      shadowRng_(Mix64(options.seed ^ 0x5AD0ULL)),
      vehicleDraws_(stopMode_ ? vehicleRng_ : rng_),
      planDraws_(stopMode_ ? planRng_ : rng_),
      shadowDraws_(stopMode_ ? shadowRng_ : rng_),
      log_(options.variant),
      clock_{options.startYear, options.startMonth, options.startDay, options.startSecondOfDay},
      vehicle_(vehicleDraws_, RouteFor(options)),
      radio_(options.seed, RadioFor(options)),
      gps_(ScriptedEpisodes(options.scenario), options.scenario == Scenario::Bench ? 600 : 60,
           options.scenario == Scenario::Bench ? 1800 : 200),
      samples_(kMaxSamples) {
    extras_ = options.scenario == Scenario::Mixed;
    tpEvery_ =
        options.scenario == Scenario::Mixed ? 5 : (options.scenario == Scenario::SingleRtc ? 2 : 0);
    recordsPerSecond_ = options.scenario == Scenario::Bench ? 10 : 4;
    lastFixPlace_ = vehicle_.Position();
    if (stopMode_) {
        stopAt_ = PlanStops(options, vehicle_, vehicleRng_);
    } else {
        vehicle_.Park(rng_.Range(5, 15));  // the drive starts from a parked car
    }
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
                            : planDraws_.Range(step.minSeconds, step.maxSeconds);
            break;
        }
        case Scenario::SingleGps:
            s.seconds = planDraws_.Range(120, 300);
            break;
        case Scenario::SingleRtc:
            s.rtcTimed = true;
            s.seconds = planDraws_.Range(120, 300);
            break;
        case Scenario::List:
            s.kind = ScanKind::List;
            s.listPositions = index % 2 == 0 ? 10 : 7;
            s.seconds = planDraws_.Range(90, 200);
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
            s.seconds = planDraws_.Range(600, 1800);
            break;
        case Scenario::Calibration:
            s.seconds = kForever;
            break;
    }
    return s;
}

std::uint32_t DriveSimulator::RandomCode(const FrequencyPlan& plan) {
    Rng& rng = planDraws_;
    std::uint32_t code = 0;
    for (int attempt = 0; attempt < 16; ++attempt) {  // prefer channels that carry a signal
        if (plan.Wraps()) {
            code = CodeOfChannel(plan, rng.Chance(0.8) ? rng.Range(1, 124) : rng.Range(991, 1023));
        } else {
            code = plan.first + static_cast<std::uint32_t>(
                                    rng.Range(0, static_cast<int>(plan.last - plan.first)));
        }
        if (!RadioModel::IsIdle(code)) break;
    }
    NoteChannel(code);
    return code;
}

// A channel of the calibration site with a strong EIRP, from a random place in the band on,
// never on the frequency of `other` (another band's channel, 0 for none).
std::uint32_t DriveSimulator::CalibrationCode(const FrequencyPlan& plan, std::uint32_t other) {
    const auto count = plan.last - plan.first + 1;
    const auto start = static_cast<std::uint32_t>(planDraws_.Range(0, static_cast<int>(count) - 1));
    const double otherMhz = other == 0 ? 0.0 : PlanOfCode(other).CodeToMHz(other);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t code = plan.first + (start + i) % count;
        if (!RadioModel::IsIdle(code) && RadioModel::SiteOfChannel(code) == kCalibrationSite &&
            RadioModel::ChannelSpreadDb(code) >= kCalibrationMinSpread &&
            std::fabs(plan.CodeToMHz(code) - otherMhz) > 0.05) {
            NoteChannel(code);
            return code;
        }
    }
    return RandomCode(plan);  // not reached with the receivers' bands
}

void DriveSimulator::NoteChannel(std::uint32_t code) {
    if (truth_) channels_.insert(code);
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
            if (options_.scenario == Scenario::Calibration) {
                rx1Code_ = CalibrationCode(kBand800, 0);
                rx2Code_ = CalibrationCode(rx2Plan_, rx1Code_);
            } else {
                rx1Code_ = RandomCode(kBand800);
                rx2Code_ = RandomCode(rx2Plan_);
            }
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
            const int start1 = planDraws_.Range(1, 180);
            for (int k = 0; k < 40; ++k) sweep1_.push_back(start1 + 180 * k);
            if (rx2Plan_.Wraps()) {
                for (int k = 0; k < 31; ++k) sweep2_.push_back(1 + 4 * k);
                for (int k = 0; k < 9; ++k) sweep2_.push_back(991 + 4 * k);
            } else {
                const int start2 = planDraws_.Range(1, 21);
                for (int k = 0; k < 38; ++k) sweep2_.push_back(start2 + 21 * k);
            }
            for (const int channel : sweep1_) NoteChannel(CodeOfChannel(kBand800, channel));
            for (const int channel : sweep2_) NoteChannel(CodeOfChannel(rx2Plan_, channel));
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
    const Point place = good ? reported_.position : lastFixPlace_;  // bad fixes repeat the last
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
    fix.speedCmPerS = good ? static_cast<std::uint16_t>(RoundHalfUp(reported_.speed * 100.0)) : 0;
    fix.speed2 = fix.speedCmPerS;
    fix.heading = static_cast<std::uint16_t>(reported_.heading);
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
    if (good && openStop_ != kNone && truth_) {
        StopTruth& stop = truth_->stops[openStop_];
        if (stop.firstGpsRecord == 0) {
            stop.firstGpsRecord = fixCount_;
            openStopFirstSecond_ = second_;
        }
        stop.lastGpsRecord = fixCount_;
        stop.seconds = second_ - openStopFirstSecond_;
    }
}

void DriveSimulator::EmitRtc() {
    if (rng_.Chance(1.0 / 40.0)) marker_ = rng_.Chance(0.5) ? 0 : rng_.Range(1, 150);
    log_.Rtc(clock_.Hours(), clock_.Minutes(), clock_.Seconds(), clock_.day, clock_.month,
             clock_.year % 100, marker_);
}

// `segmentSecond`: the seconds of the scan so far, -1 while standing at a planned stop.
void DriveSimulator::EmitExtras(int t, int segmentSecond) {
    if (tpEvery_ > 0 && t % tpEvery_ == tpEvery_ / 2) {
        TpFix tp;
        tp.hours = clock_.Hours();
        tp.minutes = clock_.Minutes();
        tp.seconds = clock_.Seconds();
        tp.day = clock_.day;
        tp.month = clock_.month;
        tp.year = clock_.year;
        tp.SetLatitude(grid_.LatitudeMicrodegrees(reported_.position));
        tp.SetLongitude(grid_.LongitudeMicrodegrees(reported_.position));
        log_.TpPosition(tp);
        log_.TpTime(static_cast<std::int16_t>(RoundHalfUp(reported_.speed * 3.6)),
                    static_cast<std::uint16_t>(reported_.heading));
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
        if (segmentSecond == 5) EmitSamples(1, 0);  // a data record without samples
        if (segmentSecond == 12 && segment_.cyclePosition == 4) EmitSamples(1, kMaxSamples);
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
        if (stopMode_) {
            SecondWithStops(t);
        } else {
            Second(t);
        }
        clock_.Tick();
        if (log_.PendingSize() >= kChunkBytes && !Flush(sink)) return false;
    }
    if (!Flush(sink)) return false;
    summary.bytes = log_.Size();
    summary.records = log_.RecordCount();
    summary.seconds = t;
    if (truth_) {
        truth_->channels.clear();
        for (const std::uint32_t code : channels_)
            truth_->channels.push_back({code, PlanOfCode(code).CodeToMHz(code)});
    }
    return true;
}

// One second of the classic drive: the vehicle moves in steps of the scan's record rate.
void DriveSimulator::Second(int t) {
    const bool newSegment = t - segmentStart_ >= segment_.seconds;
    if (newSegment) {
        segment_ = PlanSegment(++segmentIndex_);
        segmentStart_ = t;
    }
    reported_ = {vehicle_.Position(), vehicle_.Speed(), vehicle_.HeadingDegrees()};
    EmitTimeRecord(t);
    if (newSegment) BeginSegment(false);
    const int ticks = TicksPerSecond();
    for (int tick = 0; tick < ticks; ++tick) {
        radio_.Locate(vehicle_.Position());
        EmitTick();
        if (tick == 0) EmitExtras(t, t - segmentStart_);
        radio_.Move(vehicle_.Advance(1.0 / ticks, rng_), rng_);
    }
}

// One second of a drive with planned stops. The scan schedule counts moving seconds only, and
// the vehicle's path over the second is worked out first, in fixed steps, then sampled at the
// scan's record rate.
void DriveSimulator::SecondWithStops(int t) {
    second_ = t;
    if (standLeft_ == 0 && nextStop_ < stopAt_.size() && stopAt_[nextStop_] == movingSeconds_) {
        ++nextStop_;
        standLeft_ = options_.stops.seconds;
        if (truth_) {
            StopTruth stop;
            stop.latitudeMas = grid_.LatitudeMas(vehicle_.Position());
            stop.longitudeMas = grid_.LongitudeMas(vehicle_.Position());
            truth_->stops.push_back(stop);
            openStop_ = truth_->stops.size() - 1;
        }
    }
    const bool standing = standLeft_ > 0;
    const bool creeping = standing && options_.stops.creepSpeed > 0.0;
    reported_ = {vehicle_.Position(), vehicle_.Speed(), vehicle_.HeadingDegrees()};
    if (creeping) {
        reported_.speed = options_.stops.creepSpeed;
    } else if (standing || (departing_ && options_.stops.creepSpeed <= 0.0)) {
        reported_.speed = 0.0;  // the car stands, or starts from a stand
    }

    const bool newSegment = !standing && movingSeconds_ - segmentStart_ >= segment_.seconds;
    if (newSegment) {
        segment_ = PlanSegment(++segmentIndex_);
        segmentStart_ = movingSeconds_;
    }
    EmitTimeRecord(t);
    if (newSegment) BeginSegment(false);

    path_[0] = vehicle_.Position();
    pathMetres_[0] = 0.0;
    for (int step = 1; step <= kStepsPerSecond; ++step) {
        const double dt = 1.0 / kStepsPerSecond;
        double metres = 0.0;
        if (creeping) {
            metres = vehicle_.Creep(dt, options_.stops.creepSpeed, vehicleDraws_);
        } else if (!standing) {
            metres = vehicle_.Advance(dt, vehicleDraws_);
        }
        path_[static_cast<std::size_t>(step)] = vehicle_.Position();
        pathMetres_[static_cast<std::size_t>(step)] =
            pathMetres_[static_cast<std::size_t>(step - 1)] + metres;
    }
    // Position and metres driven at a fraction of the second, between the steps' ends.
    const auto at = [this](int tick, int ticks, Point* place) {
        const double x = static_cast<double>(kStepsPerSecond) * tick / ticks;
        const auto step = std::min(static_cast<std::size_t>(x), std::size_t{kStepsPerSecond - 1});
        const double part = x - static_cast<double>(step);
        const Point a = path_[step], b = path_[step + 1];
        if (place) *place = {a.x + (b.x - a.x) * part, a.y + (b.y - a.y) * part};
        return pathMetres_[step] + (pathMetres_[step + 1] - pathMetres_[step]) * part;
    };
    const int ticks = TicksPerSecond();
    for (int tick = 0; tick < ticks; ++tick) {
        Point place;
        const double from = at(tick, ticks, &place);
        radio_.Locate(place);
        EmitTick();
        if (tick == 0) EmitExtras(t, standing ? -1 : movingSeconds_ - segmentStart_);
        radio_.Move(at(tick + 1, ticks, nullptr) - from, shadowDraws_);
    }

    if (standing) {
        departing_ = --standLeft_ == 0;
    } else {
        if (departing_) openStop_ = kNone;  // the stop's last fix is this second's
        departing_ = false;
        ++movingSeconds_;
    }
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
    if (!(o.shadowSigmaDb >= 0.0 && o.shadowSigmaDb <= kMaxShadowSigmaDb))
        return "shadowing sigma outside 0-30 dB";
    if (o.levelOffsetDb < -kMaxLevelOffsetDb || o.levelOffsetDb > kMaxLevelOffsetDb)
        return "level offset outside -200..200 dB";
    const StopOptions& stops = o.stops;
    if (!stops.Planned()) return {};
    if (stops.count > kMaxStops) return "more than 10000 stops";
    if (stops.seconds < 1 || stops.seconds > 86400) return "stop length outside 1-86400 s";
    if (!(stops.creepSpeed >= 0.0 && stops.creepSpeed <= kMaxCreepSpeed))
        return "creep speed outside 0-50 m/s";
    if (stops.placement == StopPlacement::NearSite && stops.site >= RadioModel::kSites)
        return "no such site";
    if (stops.count == 0) return {};
    if (o.sizeMb > 0.0) return "stops need a duration, not a size";
    const double moving =
        std::ceil(o.durationSeconds) - static_cast<double>(stops.count) * stops.seconds;
    if (moving < stops.count + 1.0) return "the stops leave too little driving time";
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
                     SimulationSummary& summary, std::string* error, SimulationTruth* truth) {
    const std::string invalid = SimulationOptionsError(options);
    if (!invalid.empty()) {
        if (error) *error = invalid;
        return false;
    }
    if (truth) *truth = {};
    DriveSimulator simulator(options, truth);
    // The identification record is part of the records; the header comes separately.
    if (!simulator.Run(sink, summary)) {
        if (error) *error = "write failed";
        return false;
    }
    return true;
}

}  // namespace varistrum::sim
