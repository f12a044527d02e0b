// SPDX-License-Identifier: GPL-3.0-or-later
// The 40-lambda sample check gathered along the index pass gives what a pass of its own gives.
#include <gtest/gtest.h>

#include "index/make_index.h"
#include "logfile/identify.h"
#include "support/test_files.h"
#include "workflow/workflow.h"

namespace varistrum {
namespace {

void ExpectSame(const LambdaWarnings& gathered, const LambdaWarnings& own) {
    ASSERT_EQ(gathered.listed.size(), own.listed.size());
    EXPECT_EQ(gathered.unlisted, own.unlisted);
    for (std::size_t i = 0; i < own.listed.size(); ++i) {
        EXPECT_EQ(gathered.listed[i].scan, own.listed[i].scan);
        EXPECT_EQ(gathered.listed[i].name, own.listed[i].name);
        EXPECT_EQ(gathered.listed[i].frequencyMHz, own.listed[i].frequencyMHz);
        EXPECT_EQ(gathered.listed[i].medianSamples, own.listed[i].medianSamples);
    }
}

TEST(SparseWindowsTest, GatheredAlongTheIndexPassAsByAPassOfItsOwn) {
    test::TempDir dir;
    const std::string path = dir.File("sparse.klf");
    test::WriteFile(path, test::SparseScanLog(160, true));
    const int format = IdentifyLogFile(path);
    ASSERT_NE(format, kFormatNone);
    // Scans 2 and 5 unchecked; the rest checked, so that more than a hundred are listed.
    std::vector<signed char> states(161, 1);
    states[0] = -1;
    states[2] = states[5] = 0;
    const ScanSelectionSnapshot selection(states);
    for (const ReceiverChoice receivers :
         {ReceiverChoice{true, false}, ReceiverChoice{true, true}, ReceiverChoice{false, true}}) {
        SCOPED_TRACE(receivers.receiver2 ? (receivers.receiver1 ? "both" : "receiver 2") : "1");
        JobRequest job;
        job.inputs = {path};
        job.settings.averageType = kAverageLambda;
        job.settings.receivers = receivers;
        job.settings.scans = selection;
        SilentIndexView view;
        TavrelReader alongReader, ownReader;
        Workflow along(alongReader), own(ownReader);
        ASSERT_EQ(along.Index(path, format, view, {}, receivers), IndexOutcome::Indexed);
        ASSERT_EQ(own.Index(path, format, view, {}), IndexOutcome::Indexed);
        const LambdaWarnings gathered = along.SparseWindows(job, {});
        const LambdaWarnings read = own.SparseWindows(job, {});
        EXPECT_FALSE(read.empty());
        ExpectSame(gathered, read);
        // Gathered for other receivers, the check reads the log again.
        job.settings.receivers = ReceiverChoice{!receivers.receiver1, true};
        ExpectSame(along.SparseWindows(job, {}), own.SparseWindows(job, {}));
    }
}

}  // namespace
}  // namespace varistrum
