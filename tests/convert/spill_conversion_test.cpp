// SPDX-License-Identifier: GPL-3.0-or-later
// Conversions whose pending rows and 40-lambda values go through the temporary file write the
// same bytes as conversions that keep them in memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/spill_array.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

using sim::GpsFix;
using sim::LogBuilder;

// Two fixes close together, a long gap of sample records of `samples` levels each, a fix far
// away, one more record and fix.
std::vector<std::uint8_t> GapLog(int records, int samples) {
    LogBuilder log(9);
    log.Config(3, sim::kBand800, sim::kBand30kHz);
    log.ScanList32(sim::kBand800.first + 100, sim::kBand30kHz.first + 7);
    GpsFix fix;
    fix.latitudeMas = 185000000;  // 51.39 degrees
    fix.longitudeMas = 25000000;
    log.Gps(fix);
    std::vector<int> levels(static_cast<std::size_t>(samples), -60);
    log.Samples(1, levels);
    fix.seconds = 1;
    log.Gps(fix);  // the first fix only starts the timing: the gap follows the second
    for (int r = 0; r < records; ++r) {
        for (int k = 0; k < samples; ++k)
            levels[static_cast<std::size_t>(k)] = -40 - (r * 7 + k) % 80;
        log.Samples(1, levels);
    }
    fix.seconds = 59;
    fix.minutes = 40;          // 40 minutes later
    fix.latitudeMas += 60000;  // some 1.8 km north
    fix.longitudeMas += 30000;
    log.Gps(fix);
    log.Samples(1, levels);
    fix.minutes = 41;
    log.Gps(fix);
    return log.Bytes();
}

class SpillConversionTest : public ::testing::Test {
  protected:
    void TearDown() override { SetSpillChunkBytes(normal_); }

    // The output with everything in memory, then with parts of `chunkBytes`.
    void ExpectSameBytes(const std::vector<std::uint8_t>& log, int format, std::size_t chunkBytes,
                         bool writesLines = true) {
        for (int average : {kAverageNone, kAverageLambda}) {
            SCOPED_TRACE(average == kAverageNone ? "plain" : "40-lambda");
            ConversionSettings settings = test::FieldSettings(
                {LatitudeDecimalDegrees, LongitudeDecimalDegrees, GpsTime, RecordNumber, DataField},
                true);
            settings.averageType = average;
            SetSpillChunkBytes(normal_);
            const std::string kept = test::ConvertBytes(log, settings, format);
            SetSpillChunkBytes(chunkBytes);
            const std::string spilled = test::ConvertBytes(log, settings, format);
            if (writesLines) {
                EXPECT_GT(kept.size(), 100u);
            }
            EXPECT_TRUE(kept == spilled)
                << kept.size() << " bytes kept, " << spilled.size() << " spilled";
        }
    }

    std::size_t normal_ = SpillChunkBytes();
};

TEST_F(SpillConversionTest, LongGapsBetweenFixes) {
    struct Case {
        const char* name;
        int records, samples;
        std::size_t chunkBytes;
    } cases[] = {
        {"one-sample records", 20000, 1, 64},
        {"longest records", 60, 4094, 1000},
        {"parts of one byte", 300, 37, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectSameBytes(GapLog(c.records, c.samples), 9, c.chunkBytes);
    }
}

TEST_F(SpillConversionTest, SimulatedDrivesOfEveryScanKind) {
    for (const sim::Scenario scenario : sim::AllScenarios()) {
        SCOPED_TRACE(sim::ScenarioName(scenario));
        // Without a frequency in the file and none typed in, nothing is written.
        ExpectSameBytes(sim::SimulateLog(scenario, 8, 11, 300), 8, 48,
                        scenario != sim::Scenario::NoFrequency);
    }
}

}  // namespace
}  // namespace varistrum
