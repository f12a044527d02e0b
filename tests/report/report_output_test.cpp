// SPDX-License-Identifier: GPL-3.0-or-later
// The report as an output of the job runner: beside a conversion that drops outages and stops
// it reports what it reports on its own, and the conversion's text stays as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "convert/field_catalog.h"
#include "convert/job_runner.h"
#include "convert/text_output.h"
#include "report/drive_report.h"
#include "report/report_format.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"

namespace varistrum {
namespace {

using test::ReadFile;
using test::TempDir;

TEST(ReportOutputTest, RidesAlongAConversionWithoutChangingEither) {
    TempDir dir;
    sim::SimulationOptions drive;
    drive.seed = 7;
    drive.scenario = sim::Scenario::Mixed;
    drive.durationSeconds = 400;
    drive.stops.count = 2;
    drive.stops.seconds = 60;
    const std::string log = dir.File("drive.klf");
    test::WriteFile(log, sim::SimulateLog(drive));

    const StandStillRule rule{5.0, DistanceUnit::Metres, 30};
    ReportRequest request;
    request.outageSeconds = 3;
    request.standStill = rule;
    TavrelReader reader;
    reader.SetInputFormat(8);
    const DriveReport alone = BuildDriveReport(reader, log, request, {});
    ASSERT_TRUE(alone.Complete());
    // Not a report of nothing: the pre-pass listed outages and stops for it.
    ASSERT_TRUE(alone.file.standing);
    EXPECT_GT(alone.file.standing->stops, 0);
    ASSERT_TRUE(alone.file.outagesKnown);
    EXPECT_GT(alone.file.outages.size(), 0u);

    // The conversion drops what the report leaves out, with the same rules.
    ConversionSettings settings = test::FieldSettings({GpsTime, LatitudeDecimalDegrees, DataField});
    settings.convertAllScans = true;
    settings.dropOutages = true;
    settings.outageSeconds = 3;
    settings.dropStandingStill = true;
    settings.standStill = rule;
    const auto convert = [&](const std::string& output, bool withReport) {
        test::RecordingObserver observer;
        TextOutput text({output}, settings, observer);
        ReportOutput report(request, {});
        std::vector<JobOutput*> outputs{&text};
        if (withReport) outputs.push_back(&report);
        const JobSpec job{{log}, JobKind::SingleFile, settings, 1};
        const FileOutcome outcome = ConvertJobInput(reader, job, 0, outputs, observer, {});
        EXPECT_EQ(outcome.outcome, JobOutcome::Completed);
        EXPECT_GT(outcome.dropped.standingStill, 0);
        EXPECT_GT(outcome.dropped.outages, 0);
        DriveReport result = report.TakeReport();
        result.input = log;
        return result;
    };
    convert(dir.File("alone.txt"), false);
    const DriveReport together = convert(dir.File("together.txt"), true);
    EXPECT_EQ(ReadFile(dir.File("together.txt")), ReadFile(dir.File("alone.txt")));
    EXPECT_EQ(ReportJson(together), ReportJson(alone));
    EXPECT_EQ(ReportText(together), ReportText(alone));
}

// One pre-pass lists one length of outage: a report that wants other outages than the
// conversion drops would get the conversion's, so the input fails and nothing is written.
TEST(ReportOutputTest, OutagesOfOtherLengthsThanTheConversionDropsFailTheInput) {
    TempDir dir;
    const std::string log = dir.File("drive.klf");
    test::WriteFile(log, sim::SimulateLog(sim::Scenario::Mixed, 8, 3, 120));
    ConversionSettings settings = test::FieldSettings({GpsTime, DataField});
    settings.dropOutages = true;
    settings.outageSeconds = 3;
    ReportRequest request;
    request.outageSeconds = 5;
    test::RecordingObserver observer;
    TextOutput text({dir.File("out.txt")}, settings, observer);
    ReportOutput report(request, {});
    JobOutput* const outputs[] = {&text, &report};
    TavrelReader reader;
    reader.SetInputFormat(8);
    const JobSpec job{{log}, JobKind::SingleFile, settings, 1};
    const FileOutcome outcome = ConvertJobInput(reader, job, 0, outputs, observer, {});
    EXPECT_EQ(outcome.outcome, JobOutcome::Failed);
    EXPECT_NE(outcome.message.find("GPS outages or stops of other lengths"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.txt")));
    EXPECT_FALSE(report.TakeReport().Complete());
}

}  // namespace
}  // namespace varistrum
