// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion's data lines give exactly the text of the plain path: every line composed
// from the formatter's std::string writers, on simulator files of every scan kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text_builder.h"
#include "convert/conversion_stages.h"
#include "convert/convert_job.h"
#include "convert/field_formatter.h"
#include "filters/row_pipeline.h"
#include "index/make_index.h"
#include "logfile/typed_frequencies.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"

namespace varistrum {
namespace {

using test::FieldSettings;
using test::ReadFile;
using test::RecordingObserver;
using test::TempDir;

// Files without a scan definition need typed frequencies; they take their steps from the
// plans the index pass finds, as the command line does.
std::optional<TypedCodes> FrequenciesIfNeeded(TavrelReader& reader, const std::string& path,
                                              int format) {
    SilentIndexView view;
    RunIndexPass(reader, format, path, view, {});
    if (!reader.State().frequenciesNeeded) return std::nullopt;
    return TypedFrequenciesOf(reader.State().plans, 851.0125, 890.1).codes;
}

// The plain path: the conversion's stages and rows, each line composed field by field from
// the formatter's std::string writers and the header from its data block titles.
class PlainLines : public RowSink {
  public:
    explicit PlainLines(const ConversionSettings& settings) : settings_(settings) {}

    void AcceptRow(const OutputRow& row) override {
        const char delimiter = settings_.Delimiter();
        const FieldFormatter fields(row, settings_.columns, delimiter);
        if (row.opensTableScan) headerDue_ = true;
        std::string line, field;
        bool anyText = false;
        for (std::size_t i = 0; i < settings_.selectedTags.size(); ++i) {
            if (i > 0) line += delimiter;
            field.clear();
            fields.AppendField(settings_.selectedTags[i], field);
            line += field;
            anyText = anyText || !field.empty();
        }
        if (!anyText) return;
        if (headerDue_) HeaderRecord(fields);
        text += line + kLineEnd;
    }

    std::string text;

  private:
    void HeaderRecord(const FieldFormatter& fields) {
        headerDue_ = false;
        if (!settings_.fieldTitles) return;
        const char delimiter = settings_.Delimiter();
        for (std::size_t i = 0; i < settings_.selectedTags.size(); ++i) {
            if (settings_.selectedTags[i] != DataField) {
                if (i > 0) text += delimiter;
                text += '"' + settings_.selectedTitles[i] + '"';
                continue;
            }
            std::string titles;
            fields.AppendDataBlockTitles(titles);
            if (i > 0 && !titles.empty()) text += delimiter;
            text += titles;
        }
        text += kLineEnd;
    }

    const ConversionSettings& settings_;
    bool headerDue_ = true;
};

std::string PlainConversion(const std::string& path, int format,
                            const ConversionSettings& settings) {
    TavrelReader reader;
    ConversionSettings typed = settings;
    typed.typed = FrequenciesIfNeeded(reader, path, format);
    if (reader.Open(path) != 0) return "cannot open";
    ConversionStages stages(typed, {});
    RowAssembler assembler(stages.Assembly(), stages.Placement());
    PlainLines lines(settings);
    RowPipeline pipeline(assembler, stages.RecordStages(), stages.RowStages(), {&lines});
    RecordBuffer buffer;
    while (reader.ReadNextRecord(buffer) != 0)
        pipeline.Feed(reader.DecodeRecord(buffer), reader.State());
    reader.Close();
    return lines.text;
}

// The conversion job itself.
std::string JobConversion(const TempDir& dir, const std::string& path, int format,
                          const ConversionSettings& settings) {
    TavrelReader reader;
    ConversionSettings typed = settings;
    typed.typed = FrequenciesIfNeeded(reader, path, format);
    RecordingObserver observer;
    const std::string output = dir.File("job.out");
    EXPECT_EQ(RunConversionJob(reader, {path}, {output}, typed, observer, {}),
              JobOutcome::Completed);
    return ReadFile(output);
}

// Where two texts first differ, with a little of each around it.
std::string FirstDifference(const std::string& a, const std::string& b) {
    const auto at = static_cast<std::size_t>(
        std::mismatch(a.begin(),
                      a.begin() + static_cast<std::ptrdiff_t>(std::min(a.size(), b.size())),
                      b.begin())
            .first -
        a.begin());
    const std::size_t from = at < 80 ? 0 : at - 80;
    return "byte " + std::to_string(at) + " of " + std::to_string(a.size()) + " / " +
           std::to_string(b.size()) + "\nplain: " + a.substr(from, 160) +
           "\njob:   " + b.substr(from, 160);
}

struct FieldSet {
    const char* name;
    ConversionSettings settings;
};

std::vector<FieldSet> FieldSets() {
    std::vector<FieldSet> sets;
    sets.push_back({"typical", FieldSettings({LatitudeDecimalDegrees, LongitudeDecimalDegrees,
                                              GpsTime, RecordNumber, DataField},
                                             true)});
    std::vector<int> every = OfferedFields();
    if (std::find(every.begin(), every.end(), DataField) == every.end()) every.push_back(DataField);
    auto all = FieldSettings(every, true);
    all.columns = {true, true, true};
    all.delimiterChoice = kSemiColon;
    sets.push_back({"every field, every column", all});
    // The data block alone, in the middle of a line, from receiver 2, without a frequency.
    auto receiver2 = FieldSettings({RecordNumber, DataField, ReceiverField}, true);
    receiver2.receivers = {false, true};
    receiver2.columns = {false, true, true};
    receiver2.delimiterChoice = kTab;
    sets.push_back({"receiver 2, channel and rssi", receiver2});
    auto best = FieldSettings({GpsTime, DataField}, true);
    best.averageType = kAverageBestServer;
    best.columns = {true, true, true};
    sets.push_back({"best server", best});
    auto lambda = FieldSettings({LatitudeDecimalDegrees, LongitudeDecimalDegrees, DataField}, true);
    lambda.averageType = kAverageLambda;
    sets.push_back({"40-lambda", lambda});
    for (FieldSet& set : sets) set.settings.convertAllScans = true;
    return sets;
}

TEST(FastPathTest, DataLinesEqualThePlainPathForEveryScanKindAndFieldSet) {
    TempDir dir;
    const std::vector<FieldSet> sets = FieldSets();
    for (const sim::Scenario scenario : sim::AllScenarios()) {
        for (int variant : {8, 9}) {
            sim::SimulationOptions options;
            options.scenario = scenario;
            options.variant = variant;
            options.seed = static_cast<std::uint64_t>(variant) * 7 + 3;
            options.durationSeconds = 240;
            // Crossing midnight exercises the placement of pending rows across the day's end.
            if (variant == 9) options.startSecondOfDay = 23 * 3600 + 58 * 60;
            const std::string path = dir.File("in.klf");
            test::WriteFile(path, sim::SimulateLog(options));
            for (const FieldSet& set : sets) {
                SCOPED_TRACE(std::string(sim::ScenarioName(scenario)) + " variant " +
                             std::to_string(variant) + ", " + set.name);
                const std::string plain = PlainConversion(path, variant, set.settings);
                const std::string job = JobConversion(dir, path, variant, set.settings);
                EXPECT_FALSE(plain.empty() && set.settings.averageType == kAverageNone);
                EXPECT_TRUE(plain == job) << FirstDifference(plain, job);
            }
        }
    }
}

// The number texts of the data lines equal those of the plain writers for every value they
// can meet: each level byte, and frequencies of every band's channels.
TEST(FastPathTest, LevelAndFrequencyTextsEqualThePlainWriters) {
    for (int level = -128; level < 128; ++level) {
        char text[8];
        std::string plain;
        AppendInt(plain, level);
        const char* end = kByteIntTexts.Write(text, static_cast<std::int8_t>(level));
        EXPECT_EQ(std::string(static_cast<const char*>(text), end), plain) << level;
    }
    FrequencyTexts frequencies;
    for (const FrequencyPlan& plan : {sim::kBand800, sim::kBand30kHz, sim::kBandWrap}) {
        for (std::int64_t channel = 0; channel <= plan.ChannelCount() + 2; ++channel) {
            const double mhz = plan.CodeToMHz(plan.CodeOfChannel(channel));
            for (int pass = 0; pass < 2; ++pass) {  // made, then taken from the kept text
                char text[kMaxFixedText];
                std::string plain;
                AppendFixed(plain, mhz, 5);
                const char* end = frequencies.Write(text, static_cast<int>(channel % 3), mhz);
                EXPECT_EQ(std::string(static_cast<const char*>(text), end), plain) << channel;
            }
        }
    }
}

// Zero padding, signs and the extremes of the integer writer, against printf's known texts.
TEST(FastPathTest, IntegerTextsMatchPrintf) {
    const struct {
        std::int64_t value;
        int width;
        const char* text;
    } cases[] = {{0, 0, "0"},
                 {7, 2, "07"},
                 {-7, 2, "-7"},
                 {-7, 3, "-07"},
                 {123, 2, "123"},
                 {5, 6, "000005"},
                 {-128, 0, "-128"},
                 {INT64_MIN, 0, "-9223372036854775808"},
                 {INT64_MAX, 4, "9223372036854775807"}};
    for (const auto& c : cases) {
        std::string plain;
        AppendInt(plain, c.value, c.width);
        EXPECT_EQ(plain, c.text);
        TextBuilder built;
        AppendInt(built, c.value, c.width);
        EXPECT_EQ(built.View(), c.text);
    }
}

}  // namespace
}  // namespace varistrum
