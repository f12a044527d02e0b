// SPDX-License-Identifier: GPL-3.0-or-later
// Whole conversions of small hand-built logs: bytes in, exact text out.
#include <gtest/gtest.h>

#include "support/test_files.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

using sim::GpsFix;
using sim::ListEntry;
using sim::LogBuilder;
using sim::TableEntry;
using test::ConvertBytes;
using test::FieldSettings;

using test::kBand800;
const FrequencyPlan kBand30k{29600, 30400, 7680, 0};  // 888-912 MHz, 30 kHz steps
constexpr std::uint32_t k850MHz = 68000;

GpsFix Fix(int h, int m, int s, std::int32_t latMas, std::int32_t lonMas, int status = 7) {
    GpsFix fix;
    fix.hours = h;
    fix.minutes = m;
    fix.seconds = s;
    fix.latitudeMas = latMas;
    fix.longitudeMas = lonMas;
    fix.statusCode = status;
    return fix;
}

constexpr std::int32_t kLat40 = 40 * 3600000;
constexpr std::int32_t kLonW75 = -75 * 3600000;

std::vector<std::uint8_t> GpsTimedSingleFrequency() {
    LogBuilder log(8);
    const int early[1] = {-99};
    const int first[2] = {-60, -61};
    const int second[1] = {-70};
    log.Config(3, kBand800, kBand30k)
        .ScanList32(k850MHz, 29700)  // before any time record: the scan starts at the first fix
        .Samples(1, early)           // before the first fix: never written
        .Gps(Fix(12, 0, 0, kLat40, kLonW75))
        .Samples(1, first)
        .Samples(1, second)
        .Samples(2, second)  // receiver 2 is not the data source
        .Gps(Fix(12, 0, 2, kLat40 + 3600, kLonW75));
    return log.Bytes();
}

TEST(ConversionTextTest, GpsTimedSamplesArePlacedBetweenFixes) {
    const auto settings = FieldSettings({LatitudeDecimalDegrees, LongitudeDecimalDegrees, GpsTime,
                                         DataField, ReceiverField, RecordNumber},
                                        true);
    EXPECT_EQ(
        ConvertBytes(GpsTimedSingleFrequency(), settings),
        "\"Latitude (Decimal Degrees)\",\"Longitude (Decimal Degrees)\",\"GPS Time (HH:MM:SS)\","
        "\"Frequency\",\"RSSI\",\"Receiver\",\"Record Number\"\r\n"
        "40.000000,-75.000000,12:00:00,850.00000,-60,850.00000,-61,1,1\r\n"
        "40.000500,-75.000000,12:00:01,850.00000,-70,1,2\r\n");
}

// A field text that holds the delimiter is quoted so that it stays one column; the data
// block's numbers and the header's quoted titles are written as ever.
TEST(ConversionTextTest, FieldTextsHoldingTheDelimiterAreQuoted) {
    struct Case {
        int choice;
        const char* other;
        const char* text;
    };
    const Case cases[] = {
        {kSpace, "",
         "\"GPS Status\" \"GPS Time (HH:MM:SS)\" \"Frequency\" \"RSSI\" \"Latitude Hemisphere\"\r\n"
         "\"3D Fix\" 12:00:00 850.00000 -60 850.00000 -61 N\r\n"
         "\"3D Fix\" 12:00:01 850.00000 -70 N\r\n"},
        {kOther, ":",
         "\"GPS Status\":\"GPS Time (HH:MM:SS)\":\"Frequency\":\"RSSI\":\"Latitude Hemisphere\"\r\n"
         "3D Fix:\"12:00:00\":850.00000:-60:850.00000:-61:N\r\n"
         "3D Fix:\"12:00:01\":850.00000:-70:N\r\n"},
        {kOther, "N",
         "\"GPS Status\"N\"GPS Time (HH:MM:SS)\"N\"Frequency\"N\"RSSI\"N\"Latitude Hemisphere\"\r\n"
         "3D FixN12:00:00N850.00000N-60N850.00000N-61N\"N\"\r\n"
         "3D FixN12:00:01N850.00000N-70N\"N\"\r\n"},
        {kTab, "",
         "\"GPS Status\"\t\"GPS Time (HH:MM:SS)\"\t\"Frequency\"\t\"RSSI\"\t\"Latitude "
         "Hemisphere\"\r\n"
         "3D Fix\t12:00:00\t850.00000\t-60\t850.00000\t-61\tN\r\n"
         "3D Fix\t12:00:01\t850.00000\t-70\tN\r\n"},
    };
    for (const Case& c : cases) {
        auto settings = FieldSettings({GpsStatus, GpsTime, DataField, LatitudeHemisphere}, true);
        settings.delimiterChoice = c.choice;
        settings.otherDelimiter = c.other;
        EXPECT_EQ(ConvertBytes(GpsTimedSingleFrequency(), settings), c.text) << c.other;
    }
}

TEST(ConversionTextTest, ReceiverTwoAndTheChannelColumn) {
    auto settings = FieldSettings({DataField, ReceiverField});
    settings.receivers = {false, true};
    settings.columns = {true, true, true};
    // Receiver 2's code 29700 in the 30 kHz band is 891 MHz, channel 101.
    EXPECT_EQ(ConvertBytes(GpsTimedSingleFrequency(), settings), "891.00000,101,-70,2\r\n");
}

TEST(ConversionTextTest, RtcTimedSamplesGiveOneLineEach) {
    LogBuilder log(9);
    const int samples[2] = {-55, -56};
    log.Config(1, kBand800, kBand800)
        .Rtc(10, 0, 0, 24, 12, 26, 107)
        .ScanList32(k850MHz, 0)
        .Samples(1, samples);
    auto settings =
        FieldSettings({RtcTime, RtcDate, MarkerValue, DataField, LatitudeHemisphere}, false);
    settings.delimiterChoice = kSemiColon;
    EXPECT_EQ(ConvertBytes(log.Bytes(), settings, 9),
              "10:00:00;12/24/26;07;850.00000;-55;850.00000;-56;S\r\n");
}

std::vector<std::uint8_t> ListScan() {
    LogBuilder log(8);
    std::array<std::uint32_t, 10> rx1{k850MHz, 68080, 0, 0, 0, 0, 0, 0, 0, 0};
    std::array<std::uint32_t, 10> rx2{};
    const ListEntry entries[3] = {{0, 0, -65}, {0, 1, -75}, {1, 2, -99}};
    log.Config(1, kBand800, kBand800)
        .Gps(Fix(8, 30, 0, kLat40, kLonW75))
        .ScanList10(rx1, rx2)
        .ChannelList(entries);
    return log.Bytes();
}

TEST(ConversionTextTest, ChannelListWithAndWithoutBestServer) {
    auto settings = FieldSettings({GpsTime, DataField}, true);
    settings.columns = {true, true, true};
    EXPECT_EQ(ConvertBytes(ListScan(), settings),
              "\"GPS Time "
              "(HH:MM:SS)\",\"Frequency\",\"Channel\",\"RSSI\",\"Frequency\",\"Channel\",\"RSSI\","
              "\"Frequency\",\"Channel\",\"RSSI\",\"Frequency\",\"Channel\",\"RSSI\",\"Frequency\","
              "\"Channel\","
              "\"RSSI\",\"Frequency\",\"Channel\",\"RSSI\",\"Frequency\",\"Channel\",\"RSSI\","
              "\"Frequency\","
              "\"Channel\",\"RSSI\",\"Frequency\",\"Channel\",\"RSSI\",\"Frequency\",\"Channel\","
              "\"RSSI\"\r\n"
              "08:30:00,850.00000,3521,-65,851.00000,3601,-75\r\n");
    settings.averageType = kAverageBestServer;
    settings.columns = {true, false, true};
    EXPECT_EQ(ConvertBytes(ListScan(), settings),
              "\"GPS Time (HH:MM:SS)\",\"Frequency\",\"RSSI\"\r\n08:30:00,850.00000,-65\r\n");
}

std::vector<std::uint8_t> TableSweeps() {
    LogBuilder log(8);
    const TableEntry first[3] = {{0, 1, -80}, {0, 2, -60}, {0, 3, -70}};
    const TableEntry second[3] = {
        {0, 4, -90}, {1, 9, -10}, {0, 1, -81}};  // restarts at its last entry
    const TableEntry third[2] = {{0, 2, -61}, {0, 3, -71}};
    log.Config(1, kBand800, kBand800)
        .Gps(Fix(9, 0, 0, kLat40, kLonW75))
        .ChannelTable(first)
        .ChannelTable(second)
        .ChannelTable(third);
    return log.Bytes();
}

TEST(ConversionTextTest, ChannelTableSweeps) {
    auto settings = FieldSettings({DataField}, true);
    EXPECT_EQ(ConvertBytes(TableSweeps(), settings),
              "\"Frequency\",\"RSSI\",\"Frequency\",\"RSSI\",\"Frequency\",\"RSSI\",\"Frequency\","
              "\"RSSI\"\r\n"
              "806.00000,-80,806.01250,-60,806.02500,-70\r\n"
              "806.03750,-90,806.00000,-81\r\n"
              "806.01250,-61,806.02500,-71\r\n");
    // Best server: the second record ends the first sweep (channel 1 is not above the best
    // channel 2) and writes its strongest entry; the last sweep never ends.
    settings.averageType = kAverageBestServer;
    EXPECT_EQ(ConvertBytes(TableSweeps(), settings), "\"Frequency\",\"RSSI\"\r\n806.01250,-60\r\n");
}

// Each record writes the best of the sweep that ended in it, at that record.
TEST(ConversionTextTest, BestServerWritesTheStrongestChannelOfEachFinishedSweep) {
    const TableEntry sweeps[][4] = {
        {{0, 1, -70}, {0, 2, -50}, {0, 3, -90}, {0, 4, -60}},
        {{0, 1, -40}, {0, 2, -80}, {0, 3, -85}, {0, 4, -95}},
        {{0, 1, -99}, {0, 2, -98}, {0, 3, -97}, {0, 4, -96}},
    };
    LogBuilder log(8);
    log.Config(1, kBand800, kBand800).Gps(Fix(9, 0, 0, kLat40, kLonW75));
    for (const auto& sweep : sweeps) log.ChannelTable(sweep);
    auto settings = FieldSettings({DataField, RecordNumber});
    settings.averageType = kAverageBestServer;
    settings.columns = {false, true, true};
    EXPECT_EQ(ConvertBytes(log.Bytes(), settings), "2,-50,1\r\n1,-40,2\r\n");
}

// Sweeps shorter than a record: only the later of two that end in one record is written; a
// new table scan starts afresh, so its first record ends no sweep of the scan before.
TEST(ConversionTextTest, BestServerSweepsEndWithinARecordAndNeverSpanTwoScans) {
    const TableEntry twoEnd[4] = {{0, 1, -70}, {0, 2, -50}, {0, 1, -60}, {0, 1, -55}};
    const TableEntry next[2] = {{0, 1, -90}, {1, 7, -10}};  // receiver 2's entry is not ours
    const TableEntry scanTwo[2] = {{0, 1, -30}, {0, 2, -35}};
    std::array<std::uint32_t, 10> codes{k850MHz};
    const ListEntry listed[1] = {{0, 0, -77}};
    LogBuilder log(8);
    log.Config(1, kBand800, kBand800)
        .Gps(Fix(9, 0, 0, kLat40, kLonW75))
        .ChannelTable(twoEnd)  // (1,-70) (2,-50) and then (1,-60) end here: (1,-60) is written
        .ChannelTable(next)    // (1,-55) ends here
        .ScanList10(codes, codes)
        .ChannelList(listed)
        .ChannelTable(scanTwo)  // a new scan: its channel 1 ends nothing
        .ChannelTable(next);    // (1,-30) (2,-35) ends here
    auto settings = FieldSettings({DataField});
    settings.averageType = kAverageBestServer;
    settings.columns = {false, true, true};
    EXPECT_EQ(ConvertBytes(log.Bytes(), settings), "1,-60\r\n1,-55\r\n3521,-77\r\n1,-30\r\n");
}

TEST(ConversionTextTest, GpsBlockFields) {
    LogBuilder log(8);
    GpsFix fix = Fix(23, 59, 58, -1800000, 145234567, 6);
    fix.month = 2;
    fix.day = 9;
    fix.year = 2027;
    fix.heightCm = 12345;    // 123.45 m
    fix.speedCmPerS = 2500;  // 55.925 mph
    log.Config(1, kBand800, kBand800).Gps(fix).ScanList32(k850MHz, 0).Rtc(1, 2, 3, 4, 5, 6, 99);
    const int samples[1] = {-77};
    log.Samples(1, samples);
    const auto settings = FieldSettings({LatitudeDecimalDegrees,
                                         LatitudeDegrees,
                                         LatitudeMinutes,
                                         LatitudeDecimalMinutes,
                                         LatitudeSeconds,
                                         LatitudeHemisphere,
                                         LongitudeDecimalDegrees,
                                         LongitudeDegrees,
                                         LongitudeMinutes,
                                         LongitudeDecimalMinutes,
                                         LongitudeSeconds,
                                         LongitudeHemisphere,
                                         GpsStatus,
                                         GpsTime,
                                         GpsHour,
                                         GpsMinute,
                                         GpsSecond,
                                         GpsDate,
                                         GpsMonth,
                                         GpsDay,
                                         GpsYear,
                                         GpsAltitude,
                                         GpsVelocity,
                                         MinFrequency,
                                         MaxFrequency,
                                         StepSize,
                                         ReceiverField,
                                         RtcHour,
                                         RtcMinute,
                                         RtcSecond,
                                         RtcMonth,
                                         RtcDay,
                                         RtcYear});
    EXPECT_EQ(
        ConvertBytes(log.Bytes(), settings),
        "-0.500000,0,30,30.000000,0,S,40.342935,40,20,20.576117,34,E,2D Fix,23:59:58,23,59,58,"
        "02/09/2027,02,09,2027,123,56,806.00000,896.00000,12.50,1,01,02,03,05,04,06\r\n");
}

TEST(ConversionTextTest, TpFieldsCarryTheSignAlsoBelowOneDegree) {
    LogBuilder log(8);
    sim::TpFix tp;
    tp.hours = 7;
    tp.minutes = 8;
    tp.seconds = 9;
    tp.day = 3;
    tp.month = 4;
    tp.year = 2026;
    tp.latitudeHemisphere = 'S';
    tp.latitudeDegrees = 0;
    tp.latitudeMillionths = 500000;
    tp.longitudeHemisphere = 'E';
    tp.longitudeDegrees = 12;
    tp.longitudeMillionths = 34;
    const int samples[1] = {-77};
    log.Config(1, kBand800, kBand800)
        .Rtc(1, 2, 3)
        .ScanList32(k850MHz, 0)
        .Samples(1, samples)  // before any TP block: zero has no sign
        .TpPosition(tp)
        .TpTime(-5, 270)
        .Samples(1, samples);
    tp.latitudeMillionths = 0;
    tp.longitudeHemisphere = 'W';
    tp.longitudeDegrees = 0;
    tp.longitudeMillionths = 0;
    log.TpPosition(tp).Samples(1, samples);
    const auto settings = FieldSettings({TpLatitude, TpLongitude, TpDate, TpTime});
    EXPECT_EQ(ConvertBytes(log.Bytes(), settings),
              "0.000000,0.000000,01/00/1900,00:00:00\r\n"
              "-0.500000,12.000034,04/03/2026,07:08:09\r\n"
              "0.000000,0.000000,04/03/2026,07:08:09\r\n");
}

TEST(ConversionTextTest, DataFirstHasNoLeadingDelimiterAndEmptyLinesAreNotWritten) {
    auto settings = FieldSettings({DataField, LineBreakField, GpsHour}, true);
    settings.columns = {false, false, false};
    settings.delimiterChoice = kTab;
    // With no data column every field but the line break and the hour is empty.
    EXPECT_EQ(ConvertBytes(GpsTimedSingleFrequency(), settings),
              "\t\"CR / LF\"\t\"GPS Hour (HH)\"\r\n\t\r\n\t12\r\n\t\r\n\t12\r\n");
    auto empty = FieldSettings({GpsHeading, DataField});
    empty.columns = {false, false, false};
    EXPECT_EQ(ConvertBytes(GpsTimedSingleFrequency(), empty), "");
}

TEST(ConversionTextTest, HeaderTitlesOffWritesNoHeaderAndFilesWithoutDataHaveNone) {
    EXPECT_EQ(ConvertBytes(GpsTimedSingleFrequency(), FieldSettings({GpsSecond})), "00\r\n01\r\n");
    LogBuilder noData(8);
    noData.Config(1, kBand800, kBand800).Rtc(1, 1, 1).ScanList32(k850MHz, 0).ScanList32(k850MHz, 0);
    EXPECT_EQ(ConvertBytes(noData.Bytes(), FieldSettings({GpsSecond}, true)), "");
}

TEST(ConversionTextTest, EveryHeaderAndDataResultWritesItsOwnHeader) {
    LogBuilder log(8);
    const TableEntry sweep[2] = {{0, 1, -80}, {0, 2, -60}};
    std::array<std::uint32_t, 10> rx1{k850MHz};
    const ListEntry list[1] = {{0, 0, -65}};
    log.Config(1, kBand800, kBand800).Gps(Fix(9, 0, 0, kLat40, kLonW75));
    log.ChannelTable(sweep).ChannelTable(sweep).ScanList10(rx1, {}).ChannelList(list).ChannelTable(
        sweep);
    auto settings = FieldSettings({DataField}, true);
    EXPECT_EQ(ConvertBytes(log.Bytes(), settings),
              "\"Frequency\",\"RSSI\",\"Frequency\",\"RSSI\",\"Frequency\",\"RSSI\",\"Frequency\","
              "\"RSSI\"\r\n"
              "806.00000,-80,806.01250,-60\r\n806.00000,-80,806.01250,-60\r\n850.00000,-65\r\n"
              "\"Frequency\",\"RSSI\",\"Frequency\",\"RSSI\",\"Frequency\",\"RSSI\",\"Frequency\","
              "\"RSSI\"\r\n"
              "806.00000,-80,806.01250,-60\r\n");
}

}  // namespace
}  // namespace varistrum
