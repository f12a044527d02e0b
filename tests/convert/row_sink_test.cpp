// SPDX-License-Identifier: GPL-3.0-or-later
// The rows a conversion hands to its sinks carry the values its text lines show.
#include <gtest/gtest.h>

#include <sstream>

#include "averaging/averaging_engine.h"
#include "base/number_format.h"
#include "convert/convert_job.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"

namespace varistrum {
namespace {

using test::FieldSettings;
using test::ReadFile;
using test::RecordingObserver;
using test::TempDir;

// What a map view or a report would keep of each row: its values as text, samples copied.
class KeepingSink : public RowSink {
  public:
    void AcceptRow(const OutputRow& row) override {
        std::string text;
        AppendInt(text, row.number);
        text += ',';
        AppendFixed(text, row.latitude, 6);
        text += ',';
        AppendFixed(text, row.longitude, 6);
        text += ',';
        AppendInt(text, row.hours, 2);
        text += ':';
        AppendInt(text, row.minutes, 2);
        text += ':';
        AppendInt(text, row.seconds, 2);
        if (withLevels) {
            for (std::size_t j = 0; j < row.levels.size(); ++j) {
                text += ',';
                AppendFixed(text, row.SlotFrequencyMHz(static_cast<int>(j)), 5);
                text += ',';
                AppendInt(text, row.levels[j]);
            }
        }
        lines.push_back(text);
        receivers.push_back(row.receiver);
    }
    bool withLevels = false;

    std::vector<std::string> lines;
    std::vector<int> receivers;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

TEST(RowSinkTest, RowsCarryTheValuesOfTheTextLines) {
    struct Case {
        sim::Scenario scenario;
        int averageType;
        bool levels;  // every slot of the data block is written: the levels compare too
        bool receiver2;
    };
    const Case cases[] = {
        {sim::Scenario::SingleGps, kAverageNone, true, false},
        {sim::Scenario::SingleGps, kAverageNone, true, true},
        {sim::Scenario::SingleGps, kAverageLambda, true, false},
        {sim::Scenario::SingleRtc, kAverageNone, true, false},
        {sim::Scenario::Mixed, kAverageNone, false, false},
        {sim::Scenario::Table, kAverageBestServer, false, false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(sim::ScenarioName(c.scenario)) + " average " +
                     std::to_string(c.averageType) + (c.receiver2 ? " receiver 2" : ""));
        const std::string input = dir.File("in.klf");
        test::WriteFile(input, sim::SimulateLog(c.scenario, 8, 11, 90));
        std::vector<int> tags = {RecordNumber, LatitudeDecimalDegrees, LongitudeDecimalDegrees,
                                 GpsTime};
        if (c.levels) tags.push_back(DataField);
        auto settings = FieldSettings(tags);
        settings.averageType = c.averageType;
        settings.convertAllScans = true;
        settings.columns = {true, false, true};
        settings.receivers = {!c.receiver2, c.receiver2};
        KeepingSink sink;
        sink.withLevels = c.levels;
        RowSink* const extra[] = {&sink};
        TavrelReader reader;
        RecordingObserver observer;
        const FileOutcome outcome =
            ConvertFile(reader, input, dir.File("in.out"), settings, observer, {}, extra);
        ASSERT_EQ(outcome.outcome, JobOutcome::Completed);
        const std::vector<std::string> text = Lines(ReadFile(dir.File("in.out")));
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(sink.lines, text);
        for (int receiver : sink.receivers) EXPECT_EQ(receiver, c.receiver2 ? 2 : 1);
    }
}

// A sink is tested with rows made by hand: nothing of the reader is needed.
TEST(RowSinkTest, RowsAreMadeWithoutAReader) {
    const std::int8_t levels[] = {-80, -95};
    const std::uint32_t codes[] = {68000, 68032};
    const std::uint16_t channels[] = {12, 13};
    OutputRow row;
    row.number = 7;
    row.latitude = 51.5;
    row.levels = levels;
    row.channelCodes = codes;
    row.plan = FrequencyPlan{64480, 71680, 3200, 0};  // 12.5 kHz steps
    row.dataMode = DataKind::Samples;
    EXPECT_DOUBLE_EQ(row.SlotFrequencyMHz(0), 850.0);
    EXPECT_DOUBLE_EQ(row.SlotFrequencyMHz(1), 850.4);
    EXPECT_DOUBLE_EQ(row.SlotFrequencyMHz(5), 850.4);  // past the table: its last entry
    row.dataMode = DataKind::Table;
    row.tableChannels = channels;
    EXPECT_DOUBLE_EQ(row.SlotFrequencyMHz(1), row.plan.CodeToMHz(row.plan.CodeOfChannel(13)));
    KeepingSink sink;
    sink.AcceptRow(row);
    EXPECT_EQ(sink.lines, std::vector<std::string>{"7,51.500000,0.000000,00:00:00"});
}

}  // namespace
}  // namespace varistrum
