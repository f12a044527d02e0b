// SPDX-License-Identifier: GPL-3.0-or-later
// The report and the 40-lambda check in bounded memory give the figures and bytes of the
// report that kept everything: exact percentiles from spilled values, bin sizes from engines
// that keep no values, scans written down as they end, warnings beyond a hundred counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include "averaging/averaging_engine.h"
#include "base/spill_array.h"
#include "logfile/tavrel_reader.h"
#include "report/drive_report.h"
#include "report/lambda_warnings.h"
#include "report/ranked_values.h"
#include "report/report_format.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

// Every test may make the spill arrays' parts tiny; each gets the normal size back.
class BoundedReportTest : public ::testing::Test {
  protected:
    void TearDown() override { SetSpillChunkBytes(normal_); }
    std::size_t normal_ = SpillChunkBytes();
};

double SortedNearestRank(std::vector<double> values, double percent) {
    std::sort(values.begin(), values.end());
    const double n = static_cast<double>(values.size());
    auto rank = static_cast<std::size_t>(percent / 100.0 * n);
    if (static_cast<double>(rank) < percent / 100.0 * n) ++rank;
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

TEST_F(BoundedReportTest, RankedValuesGiveTheNearestRanksOfASortedCopy) {
    struct Case {
        const char* name;
        std::size_t count;
        int distinct;            // values drawn from this many (0: any double in 0..200)
        std::size_t chunkBytes;  // of the spill array
    } cases[] = {
        {"one value", 1, 0, 2 << 20},
        {"a few, in memory", 37, 0, 2 << 20},
        {"sorted in memory, spilled", 5000, 0, 256},
        {"the last sorted count", 65536, 0, 2 << 20},
        {"selected by digits", 65537, 0, 2 << 20},
        {"selected by digits, spilled", 200000, 0, 4096},
        {"many equal values", 150000, 3, 4096},
        {"all equal", 70000, 1, 2 << 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetSpillChunkBytes(c.chunkBytes);
        std::mt19937_64 random(c.count);
        std::uniform_real_distribution<double> speed(0.0, 200.0);
        std::vector<double> values;
        RankedValues ranked;
        for (std::size_t i = 0; i < c.count; ++i) {
            const double value =
                c.distinct > 0 ? static_cast<double>(random() % c.distinct) * 12.5 : speed(random);
            values.push_back(value);
            ranked.Add(value);
        }
        ASSERT_EQ(ranked.Size(), c.count);
        for (const double percent : {0.001, 1.0, 10.0, 50.0, 95.0, 99.999, 100.0}) {
            EXPECT_EQ(ranked.NearestRank(percent), SortedNearestRank(values, percent)) << percent;
        }
    }
    EXPECT_EQ(RankedValues().NearestRank(50), 0.0);
    // What is not a speed counts as standing still.
    RankedValues odd;
    for (double value : {-3.0, std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity(), -0.0})
        odd.Add(value);
    EXPECT_EQ(odd.NearestRank(100), 0.0);
}

// The same positions and levels into an engine that averages and one that only counts: the
// same bins, and nothing waiting in memory in the second.
TEST_F(BoundedReportTest, AnEngineThatOnlyCountsLaysTheSameBins) {
    struct Drive {
        const char* name;
        double stepDegrees;  // between fixes
        int valuesPerFix;
        int fixes;
    } drives[] = {
        {"walking pace, many samples", 0.00001, 40, 300},
        {"fast, few samples", 0.001, 3, 300},
        {"a long gap", 0.02, 200000, 3},
        {"standing still", 0.0, 50, 30},
    };
    for (const Drive& d : drives) {
        SCOPED_TRACE(d.name);
        AveragingEngine full, counting;
        BinSizeCounts fullSizes, countedSizes;
        full.RecordBinSizes(&fullSizes);
        counting.RecordBinSizes(&countedSizes);
        counting.SetSizesOnly(true);
        for (AveragingEngine* engine : {&full, &counting})
            engine->StartAveraging(873.075, kLambdaSampleSpacing, kLambdaBinLength);
        const std::vector<std::int8_t> levels(static_cast<std::size_t>(d.valuesPerFix), -70);
        for (int f = 0; f < d.fixes; ++f) {
            for (AveragingEngine* engine : {&full, &counting}) {
                engine->AddLevels(levels.data(), levels.size());
                engine->AddValue(-80.0);
                EXPECT_EQ(engine->PendingValueCount(), levels.size() + 1);
                engine->AddPosition(51.0 + f * d.stepDegrees, 7.0 + f * d.stepDegrees / 2);
            }
        }
        EXPECT_EQ(countedSizes.BySize(), fullSizes.BySize());
        double lat = 0, lon = 0, value = 0;
        EXPECT_EQ(counting.NextAveragedPoint(lat, lon, value), -1);  // no averages are made
    }
}

// The report written down scan by scan, with its text and its outages through the temporary
// file, is the report that kept every scan, byte for byte.
TEST_F(BoundedReportTest, ASpilledReportIsTheWholeReport) {
    test::TempDir dir;
    for (const sim::Scenario scenario : sim::AllScenarios()) {
        SCOPED_TRACE(sim::ScenarioName(scenario));
        const std::string path = dir.File("drive.klf");
        test::WriteFile(path, sim::SimulateLog(scenario, 8, 3, 400));
        TavrelReader reader;
        // Short outages, so that the lists of outages go through the temporary file too.
        ReportRequest request;
        request.outageSeconds = 2;
        SetSpillChunkBytes(2 << 20);
        const DriveReport whole = BuildDriveReport(reader, path, request, {});
        ASSERT_TRUE(whole.Complete());
        for (const bool json : {false, true}) {
            for (const bool summaryOnly : {false, true}) {
                SetSpillChunkBytes(97);  // the scans' text goes through the temporary file
                SpilledReport spilled(json, whole.outageSeconds, summaryOnly);
                const DriveReport head = BuildDriveReport(
                    reader, path, request, {}, [&](ScanReport&& scan) { spilled.Add(scan); });
                EXPECT_EQ(head.file.outages.size(), whole.file.outages.size());
                EXPECT_TRUE(head.scans.empty());
                EXPECT_EQ(head.verdict, whole.verdict);
                EXPECT_EQ(head.reportedScans, whole.reportedScans);
                std::ostringstream out;
                ASSERT_TRUE(spilled.WriteTo(out, head));
                EXPECT_EQ(out.str(),
                          json ? ReportJson(whole, summaryOnly) : ReportText(whole, summaryOnly));
            }
        }
    }
}

TEST_F(BoundedReportTest, AHundredSparseScansAreListedAndTheRestCounted) {
    test::TempDir dir;
    const struct {
        int scans;
        std::size_t listed;
        std::int64_t unlisted;
    } cases[] = {{3, 3, 0}, {100, 100, 0}, {104, 100, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scans);
        const std::string path = dir.File("sparse.klf");
        test::WriteFile(path, test::SparseScanLog(c.scans, false));
        TavrelReader reader;
        reader.SetInputFormat(9);
        const LambdaWarnings warnings = CheckLambdaSampling(reader, path, {}, {});
        ASSERT_EQ(warnings.listed.size(), c.listed);
        EXPECT_EQ(warnings.unlisted, c.unlisted);
        EXPECT_EQ(warnings.listed.front().scan, 1);
        EXPECT_EQ(warnings.listed.back().scan, static_cast<int>(c.listed));
        EXPECT_LT(warnings.listed.back().medianSamples, kLeeSamples);
    }
    EXPECT_EQ(UnlistedWarningsText(1),
              "... and 1 more scan whose 40-lambda windows hold a median below 36 samples.");
    EXPECT_EQ(UnlistedWarningsText(4),
              "... and 4 more scans whose 40-lambda windows hold a median below 36 samples.");
}

// The window lists so many scans and counts the rest; its verdict is every scan's.
TEST_F(BoundedReportTest, AListOfScansStopsAtItsLimit) {
    test::TempDir dir;
    const std::string path = dir.File("sparse.klf");
    test::WriteFile(path, test::SparseScanLog(12, false));
    TavrelReader reader;
    reader.SetInputFormat(9);
    const DriveReport all = BuildDriveReport(reader, path, {}, {});
    ASSERT_EQ(all.scans.size(), 12u);
    ReportRequest request;
    request.listedScansAtMost = 5;
    const DriveReport some = BuildDriveReport(reader, path, request, {});
    ASSERT_EQ(some.scans.size(), 5u);
    EXPECT_EQ(some.unlistedScans, 7);
    EXPECT_EQ(some.scans.back().number, all.scans[4].number);
    EXPECT_EQ(some.verdict, all.verdict);
    EXPECT_NE(ReportHtml(some).find("7 further scans are not listed here"), std::string::npos);
    EXPECT_EQ(ReportHtml(all).find("further scans"), std::string::npos);
}

}  // namespace
}  // namespace varistrum
