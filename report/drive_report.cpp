// SPDX-License-Identifier: GPL-3.0-or-later
// One pass over the records that gathers the report's figures, after the GPS-outage pass.
#include "report/drive_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "averaging/averaging_engine.h"
#include "base/geodesic.h"
#include "convert/gps_outage_pass.h"
#include "filters/standing_still_stage.h"
#include "logfile/tavrel_reader.h"
#include "report/ranked_values.h"

namespace varistrum {

namespace {

constexpr double kKmhPerMetrePerSecond = 3.6;

double FiniteOrZero(double value) {
    return std::isfinite(value) ? value : 0.0;
}

// The number of samples at each level (-128..127 dBm): exact minimum, median and maximum in a
// fixed room, however many samples.
using LevelCounts = std::array<std::int64_t, 256>;

LevelFigures LevelsOf(const LevelCounts& counts, std::int64_t total) {
    LevelFigures levels;
    if (total == 0) return levels;
    const std::int64_t medianRank = (total + 1) / 2;  // nearest rank of 50 %
    std::int64_t seen = 0;
    bool first = true;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] == 0) continue;
        const int level = static_cast<int>(i) - 128;
        if (first) levels.minimum = level;
        first = false;
        if (seen < medianRank && seen + counts[i] >= medianRank) levels.median = level;
        seen += counts[i];
        levels.maximum = level;
    }
    return levels;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Whether a fix carries a real date: GPS time begins in 1980, and the day exists.
bool HasCalendarDate(const GpsBlock& fix) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (fix.year < 1980 || fix.year > 9999 || fix.month < 1 || fix.month > 12 || fix.day < 1)
        return false;
    return fix.day <= kDays[fix.month - 1] + (fix.month == 2 && IsLeapYear(fix.year) ? 1 : 0);
}

FixPosition PositionOf(const GpsBlock& fix) {
    return {fix.latitudeB.decimalDegrees, fix.longitudeB.decimalDegrees};
}

// The summary per frequency: for each frequency of each kind (averaged or not), the scans, the
// samples, a count per level and the windows, in a fixed room per frequency. Beyond the
// request's number of frequencies, each kind's further ones are summed up together, so that a
// file of ever new frequencies needs no more.
class FrequencyTally {
  public:
    explicit FrequencyTally(std::size_t listedAtMost) : listedAtMost_(listedAtMost) {}

    void Add(const ChannelFigures& channel, const LevelCounts& levels) {
        Tally& tally = TallyOf(channel.frequencyMHz, channel.receiverSamples);
        ++tally.scans;
        tally.samples += channel.samples;
        for (std::size_t i = 0; i < levels.size(); ++i) tally.levels[i] += levels[i];
        if (channel.lee) {
            tally.windows += channel.lee->windows;
            tally.below36 += channel.lee->windowsBelow36;
        }
    }

    // Averaged channels first, each kind by frequency, its further frequencies last.
    std::vector<FrequencyFigures> Figures() const {
        std::vector<FrequencyFigures> out;
        for (const bool averaged : {true, false}) {
            for (const auto& [key, tally] : listed_) {
                if (key.first == !averaged)
                    out.push_back(FiguresOf(key.second, averaged, false, *tally));
            }
            if (const auto& further = further_[averaged ? 0 : 1])
                out.push_back(FiguresOf(0.0, averaged, true, *further));
        }
        return out;
    }

  private:
    struct Tally {
        std::int64_t scans = 0, samples = 0, windows = 0, below36 = 0;
        LevelCounts levels{};
    };

    Tally& TallyOf(double mhz, bool averaged) {
        const std::pair<bool, double> key{!averaged, mhz};  // averaged ones sort first
        const auto found = listed_.find(key);
        if (found != listed_.end()) return *found->second;
        std::size_t& count = kinds_[averaged ? 0 : 1];
        if (count < listedAtMost_) {
            ++count;
            return *listed_.emplace(key, std::make_unique<Tally>()).first->second;
        }
        auto& further = further_[averaged ? 0 : 1];
        if (!further) further = std::make_unique<Tally>();
        return *further;
    }

    static FrequencyFigures FiguresOf(double mhz, bool averaged, bool further, const Tally& t) {
        FrequencyFigures figures;
        figures.frequencyMHz = mhz;
        figures.receiverSamples = averaged;
        figures.further = further;
        figures.scans = t.scans;
        figures.samples = t.samples;
        figures.levels = LevelsOf(t.levels, t.samples);
        figures.windows = t.windows;
        figures.windowsBelow36 = t.below36;
        figures.verdict = VerdictOf(t.windows, t.below36);
        figures.meetsPerMille = MeetsPerMille(t.windows, t.below36);
        return figures;
    }

    std::size_t listedAtMost_;
    std::map<std::pair<bool, double>, std::unique_ptr<Tally>> listed_;
    std::array<std::size_t, 2> kinds_{};  // frequencies listed of each kind
    std::array<std::unique_ptr<Tally>, 2> further_;
};

// The samples of one channel in one scan, and a 40-lambda engine of its own that lays the
// bins exactly as a conversion's engine would and counts their sizes; for receiver samples it
// also averages each bin's power and counts the bins at or above the thresholds (it keeps no
// values of other channels).
struct ChannelWork {
    double frequencyMHz = 0.0;
    bool receiverSamples = false;
    bool windowMeans = false;  // the windows' means are counted at or above the thresholds
    std::int64_t samples = 0;
    LevelCounts levelCounts{};  // by level + 128
    AveragingEngine engine;
    BinSizeCounts binSizes;
    const LevelRamp::Bounds& bounds;
    ThresholdCounts windows;

    // `sizesOnly`: the bins' sizes are all that is asked, not their means.
    ChannelWork(double mhz, bool fromReceiver, const LevelRamp::Bounds& thresholds, bool sizesOnly)
        : frequencyMHz(mhz),
          receiverSamples(fromReceiver),
          windowMeans(fromReceiver && !sizesOnly),
          bounds(thresholds) {
        if (AveragingEngine::WavelengthMetres(mhz) == 0.0) return;
        engine.RecordBinSizes(&binSizes);
        engine.SetSizesOnly(!windowMeans);
        engine.SetLinearPower(true);
        engine.StartAveraging(mhz, kLambdaSampleSpacing, kLambdaBinLength);
    }
    void Add(const std::int8_t* levels, std::size_t count) {
        samples += static_cast<std::int64_t>(count);
        for (std::size_t i = 0; i < count; ++i)
            ++levelCounts[static_cast<std::size_t>(levels[i] + 128)];
        if (engine.IsActive()) engine.AddLevels(levels, count);
    }
    void Position(double latitude, double longitude) {
        if (!engine.IsActive()) return;
        engine.AddPosition(latitude, longitude);
        double lat = 0.0, lon = 0.0, value = 0.0;
        while (engine.NextAveragedPoint(lat, lon, value) == 0) {
            ++windows.counted;
            for (std::size_t i = 0; i < bounds.size(); ++i)
                if (value >= bounds[i]) ++windows.atOrAbove[i];
        }
    }
};

// The samples with a level (-120 dBm is none) at or above each threshold.
ThresholdCounts SamplesAtOrAbove(const LevelCounts& counts, const LevelRamp::Bounds& bounds) {
    ThresholdCounts shares;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        const int level = static_cast<int>(i) - 128;
        if (counts[i] == 0 || level == -120) continue;
        shares.counted += counts[i];
        for (std::size_t b = 0; b < bounds.size(); ++b)
            if (level >= bounds[b]) shares.atOrAbove[b] += counts[i];
    }
    return shares;
}

// The drive figures of a stretch of the file (a scan, or the whole file) as records arrive.
class DriveWork {
  public:
    // `samplingOnly`: the channels' window sizes and sample rates alone (no route, no means).
    DriveWork(const DamageCounters& damageAtStart, const LevelRamp::Bounds& bounds,
              bool samplingOnly)
        : damageAtStart_(damageAtStart), bounds_(bounds), samplingOnly_(samplingOnly) {}

    // `standing`: the vehicle stood still since the stamp before (a stop's time).
    void TimeStamp(const GpsBlock& stamp, bool standing = false) {
        if (lastStamp_) {
            const std::int64_t step = SecondsBetweenFixes(*lastStamp_, stamp);
            if (step > 0) {
                figures_.durationSeconds += static_cast<double>(step);
                if (standing && figures_.standing)
                    figures_.standing->seconds += static_cast<double>(step);
            }
        }
        lastStamp_ = stamp;
    }

    // The stretch counts the time standing still and the stops.
    void CountStanding() { figures_.standing.emplace(); }
    void StopBegins() {
        if (figures_.standing) ++figures_.standing->stops;
    }

    void Gps(const GpsBlock& fix, bool standing) {
        TimeStamp(fix, standing);
        if (fix.statusCode == static_cast<int>(GpsFixStatus::ThreeDFix)) {
            ++figures_.gps.fixes3d;
        } else if (fix.statusCode == static_cast<int>(GpsFixStatus::TwoDFix)) {
            ++figures_.gps.fixes2d;
        } else {
            ++figures_.gps.bad;
            return;
        }
        if (lastGood_ && !samplingOnly_) {
            const double metres = RouteMetres(
                lastGood_->latitudeB.decimalDegrees, lastGood_->longitudeB.decimalDegrees,
                fix.latitudeB.decimalDegrees, fix.longitudeB.decimalDegrees);
            figures_.distanceMetres = figures_.distanceMetres.value_or(0.0) + metres;
            const std::int64_t seconds = SecondsBetweenFixes(*lastGood_, fix);
            if (seconds > 0)
                speeds_.Add(metres / static_cast<double>(seconds) * kKmhPerMetrePerSecond);
        }
        lastGood_ = fix;
    }

    bool Timed() const { return lastStamp_.has_value(); }
    bool HasChannels() const { return !channels_.empty(); }
    void AddOutage(const OutageFigure& outage) { figures_.outages.push_back(outage); }

    // Receiver samples and list or table entries of one frequency are two channels: only the
    // first are averaged.
    ChannelWork& Channel(double frequencyMHz, bool receiverSamples) {
        for (auto& channel : channels_) {
            if (channel->frequencyMHz == frequencyMHz &&
                channel->receiverSamples == receiverSamples)
                return *channel;
        }
        channels_.push_back(
            std::make_unique<ChannelWork>(frequencyMHz, receiverSamples, bounds_, samplingOnly_));
        return *channels_.back();
    }

    void Position(double latitude, double longitude) {
        for (auto& channel : channels_) channel->Position(latitude, longitude);
    }

    // `outagesLooked`: whether the outage pass ran; the list is known when it did and a good fix
    // bounds it.
    DriveFigures Finish(const DamageCounters& damageAtEnd, bool outagesLooked) {
        if (speeds_.Size() > 0)
            figures_.speedKmh = SpeedFigures{speeds_.NearestRank(50), speeds_.NearestRank(95)};
        figures_.outagesKnown = outagesLooked && figures_.gps.Good() > 0;
        figures_.damage.damagedRecords = damageAtEnd.damagedRecords - damageAtStart_.damagedRecords;
        figures_.damage.skippedBytes = damageAtEnd.skippedBytes - damageAtStart_.skippedBytes;
        return std::move(figures_);  // called once, at the end of the stretch
    }

    // The channels' figures, by frequency, receiver samples before list and table entries; each
    // goes into the summary too.
    std::vector<ChannelFigures> ChannelFiguresOf(double seconds, FrequencyTally& tally) const {
        std::vector<ChannelFigures> out;
        for (const auto& work : channels_) {
            out.push_back(FiguresOf(*work, seconds));
            tally.Add(out.back(), work->levelCounts);
        }
        std::sort(out.begin(), out.end(), [](const ChannelFigures& a, const ChannelFigures& b) {
            if (a.frequencyMHz != b.frequencyMHz) return a.frequencyMHz < b.frequencyMHz;
            return a.receiverSamples > b.receiverSamples;
        });
        return out;
    }

  private:
    static ChannelFigures FiguresOf(const ChannelWork& work, double seconds) {
        ChannelFigures figures;
        figures.frequencyMHz = work.frequencyMHz;
        figures.receiverSamples = work.receiverSamples;
        figures.samples = work.samples;
        figures.samplesPerSecond =
            seconds > 0.0 ? static_cast<double>(work.samples) / seconds : 0.0;
        figures.levels = LevelsOf(work.levelCounts, work.samples);
        figures.samplesAtOrAbove = SamplesAtOrAbove(work.levelCounts, work.bounds);
        if (work.windowMeans && work.engine.IsActive()) figures.windowsAtOrAbove = work.windows;
        if (work.engine.IsActive() && figures.samplesPerSecond > 0.0) {
            const double window =
                AveragingEngine::WavelengthMetres(work.frequencyMHz) * kLambdaBinLength;
            figures.lee = LeeFiguresOf(work.binSizes, figures.samplesPerSecond, window);
        }
        return figures;
    }

    DamageCounters damageAtStart_;
    const LevelRamp::Bounds& bounds_;
    bool samplingOnly_;
    DriveFigures figures_;
    std::optional<GpsBlock> lastStamp_;
    std::optional<GpsBlock> lastGood_;
    RankedValues speeds_;  // of the steps between good fixes, in km/h
    std::vector<std::unique_ptr<ChannelWork>> channels_;
};

struct ScanWork {
    int number = 0;
    std::string name;
    DriveWork drive;
    DriveFigures figures;
};

GpsBlock StampOf(const RtcClock& clock) {
    GpsBlock stamp;  // no calendar date: the step is taken within the day
    stamp.hours = clock.hours;
    stamp.minutes = clock.minutes;
    stamp.seconds = clock.seconds;
    return stamp;
}

// The report's own walk through the records, after the outage pass listed the gaps. Each scan
// is handed on as soon as it ends, and nothing of it is kept: memory does not grow with the
// number of scans.
class ReportPass : public RecordSink {
  public:
    ReportPass(const ReportRequest& request, std::vector<std::int64_t> outageStarts,
               SpillArray<StandingStop> stops, const ScanReportSink& sink)
        : request_(request),
          sink_(sink),
          outageStarts_(std::move(outageStarts)),
          file_(DamageCounters{}, request.ramp.Thresholds(), request.samplingOnly),
          tally_(request.summaryFrequenciesAtMost) {
        if (request.standStill) {
            standing_.emplace(std::move(stops), request.receivers);
            file_.CountStanding();
        }
        if (const auto& typed = request.typed) {
            codesA_.fill(typed->receiver1);
            codesB_.fill(typed->receiver2);
        }
    }

    void AcceptRecord(const DecodedRecord& record, const DecoderState& s,
                      const DamageCounters& damage) override {
        if (!current_ || s.ScanIndex != current_->number) StartScan(s, damage);
        // The stops' data is left out as a conversion leaves it out.
        const bool standing = standing_ && standing_->Standing();
        const std::int64_t stopsBegun = standing_ ? standing_->StopsBegun() : 0;
        const bool kept = !standing_ || standing_->Keep(record, s);
        if (standing_ && standing_->StopsBegun() > stopsBegun) {
            file_.StopBegins();
            current_->drive.StopBegins();
        }
        switch (record.kind) {
            case RecordKind::Gps:
                Gps(s, standing);
                break;
            case RecordKind::Rtc:
                file_.TimeStamp(StampOf(s.rtc), standing);
                current_->drive.TimeStamp(StampOf(s.rtc), standing);
                break;
            case RecordKind::Samples:
                if (kept) Samples(record, s);
                break;
            case RecordKind::ScanList32:
                codesA_.fill(U32LE(record.payload, 0));
                codesB_.fill(U32LE(record.payload, 4));
                break;
            case RecordKind::ScanList10:
                for (std::size_t i = 0; i < 10; ++i) {
                    codesA_[i] = U32LE(record.payload, 4 * i);
                    codesB_[i] = U32LE(record.payload, 40 + 4 * i);
                }
                break;
            case RecordKind::ChannelList:
                if (kept) ListEntries(record.payload, s);
                break;
            case RecordKind::ChannelTable:
                if (kept) TableEntries(record.payload, s);
                break;
            default:
                break;
        }
    }

    // `damage`: what the reader met in the whole file.
    void Finish(DriveReport& report, const DamageCounters& damage) {
        EndScan(damage);
        report.file = file_.Finish(damage, request_.listOutages);
        report.frequencies = tally_.Figures();
        report.reportedScans = reportedScans_;
        report.verdict = verdict_;
    }

  private:
    bool Wanted(int number) const {
        if (request_.selection != nullptr &&
            !request_.selection->ScanChecked(number).value_or(true))
            return false;
        if (request_.scans.empty()) return true;
        return std::find(request_.scans.begin(), request_.scans.end(), number) !=
               request_.scans.end();
    }

    void StartScan(const DecoderState& s, const DamageCounters& damage) {
        // What came before the file's first time stamp belongs to the scan that it starts.
        if (current_ && current_->number == 0 && s.ScanIndex == 1 &&
            current_->figures.durationSeconds == 0.0 && !current_->drive.Timed()) {
            current_->number = 1;
            current_->name = s.ScanName;
            return;
        }
        EndScan(damage);
        current_.emplace(
            ScanWork{s.ScanIndex,
                     s.ScanName,
                     DriveWork(damage, request_.ramp.Thresholds(), request_.samplingOnly),
                     {}});
        if (standing_) current_->drive.CountStanding();
        ++scanSerial_;
    }

    // The scan's figures are final: an outage that ends in a later scan is the file's only.
    void EndScan(const DamageCounters& damage) {
        if (!current_) return;
        ScanWork& scan = *current_;
        scan.figures = scan.drive.Finish(damage, request_.listOutages);
        // Records before the first scan without samples are in the file's figures only.
        if (Wanted(scan.number) && !(scan.number == 0 && !scan.drive.HasChannels())) {
            ScanReport out;
            out.number = scan.number;
            out.name = scan.number == 0 ? "no scan definition" : scan.name;
            // Without the stops' samples, the rate is that of the time the vehicle moved.
            const double moving = scan.figures.durationSeconds -
                                  (scan.figures.standing ? scan.figures.standing->seconds : 0.0);
            out.channels = scan.drive.ChannelFiguresOf(moving, tally_);
            out.thresholds = request_.ramp.Thresholds();
            if (request_.cells) {
                out.cellMetres = request_.cellMetres;
                for (ChannelFigures& channel : out.channels)
                    channel.cellsAtOrAbove = request_.cells(out.number, channel.frequencyMHz);
            }
            out.drive = std::move(scan.figures);
            // Only what a 40-lambda conversion averages decides.
            for (const ChannelFigures& channel : out.channels) {
                if (channel.receiverSamples && channel.lee)
                    out.verdict = WorseVerdict(out.verdict, channel.lee->verdict);
            }
            verdict_ = WorseVerdict(verdict_, out.verdict);
            ++reportedScans_;
            sink_(std::move(out));
        }
        current_.reset();
    }

    // `standing`: the vehicle stood still since the record before.
    void Gps(const DecoderState& s, bool standing) {
        const GpsBlock& fix = s.gps;
        if (openOutage_ && fix.HasFix()) {
            OutageFigure outage;
            if (HasCalendarDate(outageFix_)) {
                outage.year = outageFix_.year;
                outage.month = outageFix_.month;
                outage.day = outageFix_.day;
            }
            outage.startSecondOfDay = outageFix_.SecondOfDay();
            outage.durationSeconds = static_cast<double>(SecondsBetweenFixes(outageFix_, fix));
            outage.before = PositionOf(outageFix_);
            outage.after = PositionOf(fix);
            outage.jumpMetres = RouteMetres(outage.before.latitude, outage.before.longitude,
                                            outage.after.latitude, outage.after.longitude);
            file_.AddOutage(outage);
            if (outageScan_ == scanSerial_) current_->drive.AddOutage(outage);
            openOutage_ = false;
        }
        file_.Gps(fix, standing);
        current_->drive.Gps(fix, standing);
        // Every GPS record moves the engines on, as in a conversion.
        current_->drive.Position(fix.latitudeB.decimalDegrees, fix.longitudeB.decimalDegrees);
        if (nextOutage_ < outageStarts_.size() &&
            outageStarts_[nextOutage_] == s.counters.gpsTotal) {
            ++nextOutage_;
            openOutage_ = true;
            outageFix_ = fix;
            outageScan_ = scanSerial_;
        }
    }

    void Samples(const DecodedRecord& record, const DecoderState& s) {
        if (!request_.receivers.Takes(record.receiver) || record.payload.size() < 2) return;
        const auto& codes = record.receiver == 0 ? codesA_ : codesB_;
        const double mhz = s.plans[static_cast<std::size_t>(record.receiver)].CodeToMHz(codes[0]);
        ChannelWork& channel = current_->drive.Channel(mhz, true);
        // The last byte of a sample record is not a sample.
        channel.Add(reinterpret_cast<const std::int8_t*>(record.payload.data()),
                    record.payload.size() - 1);
    }

    const FrequencyPlan& SelectedPlan(const DecoderState& s) const {
        return s.plans[static_cast<std::size_t>(request_.receivers.Selected())];
    }

    // The selected receiver's entries of a list record: receiver, list position and level.
    void ListEntries(ByteSpan payload, const DecoderState& s) {
        const int selected = request_.receivers.Selected();
        const auto& codes = selected == 1 ? codesB_ : codesA_;
        for (std::size_t e = 0; e < 5; ++e) {
            const ListEntry entry = ListEntryAt(payload, e);
            if (entry.receiver != selected) continue;
            const auto slot = static_cast<std::size_t>(entry.position);
            if (slot >= codes.size()) continue;
            current_->drive.Channel(SelectedPlan(s).CodeToMHz(codes[slot]), false)
                .Add(&entry.rssi, 1);
        }
    }

    void TableEntries(ByteSpan payload, const DecoderState& s) {
        const int selected = request_.receivers.Selected();
        const FrequencyPlan& plan = SelectedPlan(s);
        for (std::size_t e = 0; e < 4; ++e) {
            const TableEntry entry = TableEntryAt(payload, e);
            if (entry.receiver != selected) continue;
            const double mhz = plan.CodeToMHz(plan.CodeOfChannel(entry.channel));
            current_->drive.Channel(mhz, false).Add(&entry.rssi, 1);
        }
    }

    const ReportRequest& request_;
    // The receivers' channel codes as the scan definitions (or typed frequencies) give them.
    std::array<std::uint32_t, kChannelTableSize> codesA_{};
    std::array<std::uint32_t, kChannelTableSize> codesB_{};
    const ScanReportSink& sink_;
    std::vector<std::int64_t> outageStarts_;
    std::optional<StandingStillStage> standing_;
    std::size_t nextOutage_ = 0;
    bool openOutage_ = false;
    GpsBlock outageFix_;
    std::size_t outageScan_ = 0;  // the serial number of the scan the open outage began in
    DriveWork file_;
    std::optional<ScanWork> current_;
    std::size_t scanSerial_ = 0;  // of the current scan, counting every scan started
    FrequencyTally tally_;
    std::int64_t reportedScans_ = 0;
    LeeVerdict verdict_ = LeeVerdict::NotApplicable;  // the worst scan's so far
};

}  // namespace

struct ReportRecordPass::Pass : ReportPass {
    using ReportPass::ReportPass;
};

ReportRecordPass::ReportRecordPass(TavrelReader& reader, const ReportRequest& request,
                                   ScanReportSink scans)
    : reader_(reader),
      request_(request),
      scans_(std::move(scans)),
      pass_(std::make_unique<Pass>(request_, std::vector<std::int64_t>{},
                                   SpillArray<StandingStop>{}, scans_)) {}

ReportRecordPass::~ReportRecordPass() = default;

void ReportRecordPass::Decoded(const DecodedRecord& record) {
    pass_->AcceptRecord(record, reader_.State(), reader_.Damage());
}

void ReportRecordPass::Finish(DriveReport& report) {
    pass_->Finish(report, reader_.Damage());
}

struct ReportOutput::Pass : ReportPass {
    using ReportPass::ReportPass;
};

ReportOutput::ReportOutput(const ReportRequest& request, const ScanReportSink& scans)
    : request_(request), scans_(scans) {
    // Without a sink of their own the scans are listed in the report, up to the request's limit.
    if (!scans_) {
        scans_ = [this](ScanReport&& scan) {
            if (report_.scans.size() < request_.listedScansAtMost) {
                report_.scans.push_back(std::move(scan));
            } else {
                ++report_.unlistedScans;
            }
        };
    }
    report_.outageSeconds = request.outageSeconds;
    report_.standStill = request.standStill;
    report_.thresholds = request.ramp.Thresholds();
    if (request.cells) report_.cellMetres = request.cellMetres;
}

ReportOutput::~ReportOutput() = default;

PrePassRequest ReportOutput::PrePassWanted() const {
    PrePassRequest wanted;
    if (request_.listOutages) wanted.outageSeconds = request_.outageSeconds;
    wanted.standStill = request_.standStill;
    return wanted;
}

std::optional<FileOutcome> ReportOutput::Open(std::size_t, InputSinks& sinks) {
    // The conversion's stages keep their own copy of the stops.
    SpillArray<StandingStop> stops;
    for (std::size_t k = 0; k < sinks.prePass.stops.size(); ++k)
        stops.push_back(sinks.prePass.stops[k]);
    pass_ = std::make_unique<Pass>(request_, sinks.prePass.starts, std::move(stops), scans_);
    sinks.records.push_back(pass_.get());
    return std::nullopt;
}

FileOutcome ReportOutput::Close(std::size_t, const FilePass& pass, FileOutcome outcome) {
    report_.outcome = outcome;
    if (pass_) {
        report_.fileBytes = pass.fileBytes;
        pass_->Finish(report_, pass.damage);
        pass_.reset();
    }
    return outcome;
}

DriveReport ReportOutput::TakeReport() {
    return std::move(report_);
}

double RouteMetres(double lat1, double lon1, double lat2, double lon2) {
    return FiniteOrZero(GeodesicMetres(lat1, lon1, lat2, lon2));
}

bool ScanReport::HasAveragedChannel() const {
    return std::any_of(channels.begin(), channels.end(),
                       [](const ChannelFigures& c) { return c.receiverSamples; });
}

DriveReport BuildDriveReport(TavrelReader& reader, const std::string& input,
                             const ReportRequest& request, std::stop_token stop,
                             const ScanReportSink& scans) {
    ReportOutput output(request, scans);
    JobOutput* const outputs[] = {&output};
    // The report sees every record: no filter stands before it.
    ConversionSettings settings;
    settings.receivers = request.receivers;
    settings.typed = request.typed;
    settings.convertAllScans = true;
    const JobSpec job{{input}, JobKind::SingleFile, std::move(settings), 1};
    SilentObserver silent;
    ConvertJobInput(reader, job, 0, outputs, silent, stop);
    DriveReport report = output.TakeReport();
    report.input = input;
    return report;
}

}  // namespace varistrum
