// Field texts of an output line, read from the decoder state.
#include "convert/field_formatter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "convert/number_format.h"

namespace varistrum {

namespace {

enum CoordinatePart { kDecimalDegrees, kDegrees, kMinutes, kDecimalMinutes, kSeconds };
enum TimePart { kClock, kHour, kMinute, kSecond };

void AppendDelimited(std::string& out, char delimiter, bool& first) {
    if (!first) out.push_back(delimiter);
    first = false;
}

void AppendClock(std::string& out, int hours, int minutes, int seconds) {
    AppendInt(out, hours, 2);
    out.push_back(':');
    AppendInt(out, minutes, 2);
    out.push_back(':');
    AppendInt(out, seconds, 2);
}

void AppendDate(std::string& out, int a, int b, int c, int lastWidth = 2) {
    AppendInt(out, a, 2);
    out.push_back('/');
    AppendInt(out, b, 2);
    out.push_back('/');
    AppendInt(out, c, lastWidth);
}

// Whole degrees and millionths, negative for any hemisphere but the positive one.
void AppendTpCoordinate(std::string& out, char hemisphere, char positive, std::uint16_t degrees,
                        std::uint32_t millionths) {
    if (hemisphere != positive) out.push_back('-');
    AppendInt(out, degrees);
    out.push_back('.');
    AppendInt(out, millionths, 6);
}

}  // namespace

int CurrentPointIndex(const TavrelReader& reader) {
    return std::max(0, reader.State().OutputCount - reader.LinesLeft);
}

FieldFormatter::FieldFormatter(const TavrelReader& reader, int pointIndex)
    : reader_(reader),
      s_(reader.State()),
      row_(nullptr),
      bestServer_(reader.AverageType() == kAverageBestServer) {
    if (s_.RowsCarryPoints() && !s_.rows.empty()) {
        const auto k = static_cast<std::size_t>(std::clamp<int>(pointIndex, 0, static_cast<int>(s_.rows.size()) - 1));
        row_ = &s_.rows[k];
    }
}

void FieldFormatter::AppendLatitudeOrLongitude(int part, const GpsCoordinate& block, double rowValue,
                                               std::string& out) const {
    if (row_ == nullptr) {
        switch (part) {
            case kDecimalDegrees: AppendFixed(out, block.decimalDegrees, 6); return;
            case kDegrees: AppendInt(out, block.degrees); return;
            case kMinutes: AppendInt(out, block.minutes); return;
            case kDecimalMinutes: AppendFixed(out, block.decimalMinutes, 6); return;
            default: AppendInt(out, block.seconds); return;
        }
    }
    const double v = rowValue;
    const double whole = std::trunc(v);
    const double m = (v - whole) * 60;
    switch (part) {
        case kDecimalDegrees: AppendFixed(out, v, 6); return;
        case kDegrees: AppendInt(out, static_cast<std::int64_t>(std::fabs(whole))); return;
        case kMinutes: AppendInt(out, static_cast<std::int64_t>(std::fabs(std::trunc(m)))); return;
        case kDecimalMinutes: AppendFixed(out, std::fabs(m), 6); return;
        default:
            AppendInt(out, static_cast<std::int64_t>(std::fabs(std::trunc((m - std::trunc(m)) * 60))));
            return;
    }
}

void FieldFormatter::AppendPointTime(int part, std::string& out) const {
    const int h = row_ ? row_->hours : s_.gps.hours;
    const int m = row_ ? row_->minutes : s_.gps.minutes;
    const int sec = row_ ? row_->seconds : s_.gps.seconds;
    switch (part) {
        case kClock: AppendClock(out, h, m, sec); return;
        case kHour: AppendInt(out, h, 2); return;
        case kMinute: AppendInt(out, m, 2); return;
        default: AppendInt(out, sec, 2); return;
    }
}

void FieldFormatter::AppendField(int tag, std::string& out) const {
    const GpsBlock& g = s_.gps;
    const RtcClock& rtc = s_.rtc;
    const TpPositionBlock& tp = s_.tpPosition;
    const double rowLatitude = row_ ? row_->latitude : 0.0;
    const double rowLongitude = row_ ? row_->longitude : 0.0;
    switch (tag) {
        case DataField: AppendDataBlock(out, reader_.Delimiter()); return;
        case LineBreakField: out.append(kLineEnd); return;
        case LatitudeDecimalDegrees: AppendLatitudeOrLongitude(kDecimalDegrees, g.latitudeA, rowLatitude, out); return;
        case LatitudeDegrees: AppendLatitudeOrLongitude(kDegrees, g.latitudeA, rowLatitude, out); return;
        case LatitudeMinutes: AppendLatitudeOrLongitude(kMinutes, g.latitudeA, rowLatitude, out); return;
        case LatitudeDecimalMinutes: AppendLatitudeOrLongitude(kDecimalMinutes, g.latitudeA, rowLatitude, out); return;
        case LatitudeSeconds: AppendLatitudeOrLongitude(kSeconds, g.latitudeA, rowLatitude, out); return;
        case LatitudeHemisphere: out.push_back(g.latitudeHemisphere); return;
        case LongitudeDecimalDegrees: AppendLatitudeOrLongitude(kDecimalDegrees, g.longitudeA, rowLongitude, out); return;
        case LongitudeDegrees: AppendLatitudeOrLongitude(kDegrees, g.longitudeA, rowLongitude, out); return;
        case LongitudeMinutes: AppendLatitudeOrLongitude(kMinutes, g.longitudeA, rowLongitude, out); return;
        case LongitudeDecimalMinutes: AppendLatitudeOrLongitude(kDecimalMinutes, g.longitudeA, rowLongitude, out); return;
        case LongitudeSeconds: AppendLatitudeOrLongitude(kSeconds, g.longitudeA, rowLongitude, out); return;
        case LongitudeHemisphere: out.push_back(g.longitudeHemisphere); return;
        case GpsStatus: out.append(ReceiverStatusTexts[static_cast<std::size_t>(g.statusCode & 7)]); return;
        case GpsTime: AppendPointTime(kClock, out); return;
        case GpsHour: AppendPointTime(kHour, out); return;
        case GpsMinute: AppendPointTime(kMinute, out); return;
        case GpsSecond: AppendPointTime(kSecond, out); return;
        case GpsDate: AppendDate(out, g.month, g.day, g.year, 4); return;
        case GpsMonth: AppendInt(out, g.month, 2); return;
        case GpsDay: AppendInt(out, g.day, 2); return;
        case GpsYear: AppendInt(out, g.year, 2); return;
        case GpsAltitude: AppendFixed(out, g.height3 * 0.01, 0); return;
        case GpsVelocity: AppendFixed(out, g.speed1 * 0.02237, 0); return;
        case MarkerValue: AppendInt(out, rtc.marker % 100, 2); return;
        case RecordNumber: AppendInt(out, reader_.RecordCount); return;
        case RtcDate: AppendDate(out, rtc.month, rtc.day, rtc.year); return;
        case RtcMonth: AppendInt(out, rtc.month, 2); return;
        case RtcDay: AppendInt(out, rtc.day, 2); return;
        case RtcYear: AppendInt(out, rtc.year, 2); return;
        case RtcTime: AppendClock(out, rtc.hours, rtc.minutes, rtc.seconds); return;
        case RtcHour: AppendInt(out, rtc.hours, 2); return;
        case RtcMinute: AppendInt(out, rtc.minutes, 2); return;
        case RtcSecond: AppendInt(out, rtc.seconds, 2); return;
        case MinFrequency: AppendFixed(out, s_.SelectedPlan().MinMHz(), 5); return;
        case MaxFrequency: AppendFixed(out, s_.SelectedPlan().MaxMHz(), 5); return;
        case StepSize: AppendFixed(out, s_.SelectedPlan().StepKHz(), 2); return;
        case ReceiverField: AppendInt(out, (row_ ? row_->receiver : s_.SelectedReceiver) + 1); return;
        case TpLatitude:
            AppendTpCoordinate(out, tp.latitudeHemisphere, 'N', tp.latitudeDegrees, tp.latitudeMillionths);
            return;
        case TpLongitude:
            AppendTpCoordinate(out, tp.longitudeHemisphere, 'E', tp.longitudeDegrees, tp.longitudeMillionths);
            return;
        case TpDate: AppendDate(out, tp.monthMinus1 + 1, tp.day, tp.yearMinus1900 + 1900); return;
        case TpTime: AppendClock(out, tp.hours, tp.minutes, tp.seconds); return;
        case TpSpeed: AppendInt(out, s_.tpTime.speed); return;
        case TpDirection: AppendInt(out, s_.tpTime.direction); return;
        default: return;  // fields without a writer are empty
    }
}

// Best server over a channel list: the strongest slot that has a channel; slot 0 if none.
int FieldFormatter::BestListSlot() const {
    int best = -1;
    for (int j = 0; j < 10; ++j) {
        const int rssi = s_.levels[static_cast<std::size_t>(j)];
        if (s_.ChannelValue(s_.SelectedReceiver, j) == 0 || rssi <= -150) continue;
        if (best < 0 || rssi > s_.levels[static_cast<std::size_t>(best)]) best = j;
    }
    return best < 0 ? 0 : best;
}

void FieldFormatter::AppendSlot(int j, std::string& out, char delimiter, bool& first) const {
    const bool table = s_.DataMode == kDataTable;
    const std::uint16_t channelNumber = s_.ChannelNumber(j);
    const std::uint32_t code = s_.ChannelValue(s_.SelectedReceiver, j);
    if (channelNumber == 0 && code == 0 && !table) return;
    const bool hasChannel = code != 0 || table;
    const FrequencyPlan& plan = s_.SelectedPlan();
    const DataColumns columns = reader_.Columns();
    if (columns.frequency && hasChannel) {
        AppendDelimited(out, delimiter, first);
        AppendFixed(out, table ? plan.CodeToMHz(plan.CodeOfChannel(channelNumber)) : plan.CodeToMHz(code), 5);
    }
    if (columns.channel && hasChannel) {
        AppendDelimited(out, delimiter, first);
        AppendInt(out, table ? channelNumber : plan.ChannelOfCode(code));
    }
    if (columns.rssi) {
        if (row_ != nullptr) {
            AppendDelimited(out, delimiter, first);
            AppendInt(out, s_.RowSample(*row_, j));
        } else if (hasChannel) {
            AppendDelimited(out, delimiter, first);
            AppendInt(out, s_.levels[static_cast<std::size_t>(std::clamp(j, 0, kMaxRecordLength - 1))]);
        }
    }
}

void FieldFormatter::AppendBestServerEntry(std::string& out, char delimiter) const {
    const BestServerState& best = s_.bestServer;
    const FrequencyPlan& plan = s_.SelectedPlan();
    const DataColumns columns = reader_.Columns();
    bool first = true;
    if (columns.frequency) {
        AppendDelimited(out, delimiter, first);
        AppendFixed(out, plan.CodeToMHz(plan.CodeOfChannel(best.heldChannel)), 5);
    }
    if (columns.channel) {
        AppendDelimited(out, delimiter, first);
        AppendInt(out, best.heldChannel);
    }
    if (columns.rssi) {
        AppendDelimited(out, delimiter, first);
        AppendInt(out, best.heldRssi);
    }
}

void FieldFormatter::AppendDataBlock(std::string& out, char delimiter) const {
    int firstSlot = 0, lastSlot = -1;
    switch (s_.DataMode) {
        case kDataSamples: lastSlot = row_ ? row_->lastSample : s_.lastSampleIndex; break;
        case kDataList:
            if (bestServer_) {
                firstSlot = lastSlot = BestListSlot();
            } else {
                lastSlot = 9;
            }
            break;
        case kDataTable:
            if (bestServer_) {
                AppendBestServerEntry(out, delimiter);
                return;
            }
            lastSlot = s_.tableEntries - 1;
            break;
        default: return;
    }
    bool first = true;
    for (int j = firstSlot; j <= lastSlot; ++j) AppendSlot(j, out, delimiter, first);
}

void FieldFormatter::AppendDataBlockTitles(std::string& out, char delimiter) const {
    int repeat = 0;
    switch (s_.DataMode) {
        case kDataSamples: repeat = 1; break;
        case kDataList: repeat = bestServer_ ? 1 : 10; break;
        case kDataTable: repeat = bestServer_ ? 1 : 4; break;
        default: return;
    }
    const DataColumns columns = reader_.Columns();
    bool first = true;
    for (int i = 0; i < repeat; ++i) {
        if (columns.frequency) {
            AppendDelimited(out, delimiter, first);
            out.append("\"Frequency\"");
        }
        if (columns.channel) {
            AppendDelimited(out, delimiter, first);
            out.append("\"Channel\"");
        }
        if (columns.rssi) {
            AppendDelimited(out, delimiter, first);
            out.append("\"RSSI\"");
        }
    }
}

// The reader's writer slots: each empties its text first.
void TavrelReader::DataBlockTitles(std::string& out, char delimiter) {
    out.clear();
    FieldFormatter(*this, CurrentPointIndex(*this)).AppendDataBlockTitles(out, delimiter);
}

void TavrelReader::WriteDataBlock(std::string& out, char delimiter) {
    out.clear();
    FieldFormatter(*this, CurrentPointIndex(*this)).AppendDataBlock(out, delimiter);
}

void TavrelReader::WriteField(std::int16_t tag, std::string& out) {
    out.clear();
    FieldFormatter(*this, CurrentPointIndex(*this)).AppendField(tag, out);
}

}  // namespace varistrum
