// SPDX-License-Identifier: GPL-3.0-or-later
// Reads that fail part way (a flaky card) and files cut while they are read: every pass ends
// with a distinct outcome, a conversion as a failure that leaves no output behind; and damage
// reaches the front ends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "averaging/averaging_engine.h"
#include "convert/convert_job.h"
#include "index/average_information.h"
#include "index/make_index.h"
#include "logfile/record_loop.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using Bytes = std::vector<std::uint8_t>;

// Passes the file's bytes on in small pieces; once `failAfter` bytes have been read it either
// fails with an I/O error or cuts the file at `cutTo` and reads on.
class FaultySource : public InputSource {
  public:
    enum class Fault { IoError, Shrink };
    FaultySource(std::unique_ptr<InputSource> file, Fault fault, std::uint64_t failAfter,
                 std::string path, std::uint64_t cutTo)
        : file_(std::move(file)),
          fault_(fault),
          failAfter_(failAfter),
          path_(std::move(path)),
          cutTo_(cutTo) {}

    std::size_t Read(std::uint8_t* into, std::size_t size) override {
        if (read_ >= failAfter_) {
            if (fault_ == Fault::IoError) {
                error_ = EIO;
                return 0;
            }
            if (!cut_) cut_ = ::truncate(path_.c_str(), static_cast<off_t>(cutTo_)) == 0;
        }
        const std::size_t got = file_->Read(into, std::min<std::size_t>(size, 512));
        read_ += got;
        return got;
    }
    bool Seek(std::uint64_t offset) override { return file_->Seek(offset); }
    int Error() const override { return error_ != 0 ? error_ : file_->Error(); }

  private:
    std::unique_ptr<InputSource> file_;
    Fault fault_;
    std::uint64_t failAfter_;
    std::string path_;
    std::uint64_t cutTo_;
    std::uint64_t read_ = 0;
    bool cut_ = false;
    int error_ = 0;
};

struct FaultCase {
    const char* name;
    FaultySource::Fault fault;
    std::uint64_t failAfter;  // bytes
    bool dropOutages;
    const char* reason;  // empty: the conversion completes
};

InputSourceWrapper Faulty(const FaultCase& c, const std::string& path, std::uint64_t cutTo) {
    return [c, path, cutTo](std::unique_ptr<InputSource> file) -> std::unique_ptr<InputSource> {
        return std::make_unique<FaultySource>(std::move(file), c.fault, c.failAfter, path, cutTo);
    };
}

// Keeps failures with their path and reason, and the damage reported.
class FailureObserver : public test::RecordingObserver {
  public:
    void ReportFailure(MessageKind kind, const std::string& text, const std::string& path,
                       const std::string& reason) override {
        messages.push_back(std::string(MessageCaption(kind)) + ": " + text + " '" + path +
                           "': " + reason);
    }
    void ReportDamage(const std::string& path, const DamageCounters& damage) override {
        damagePath = path;
        damage_ = damage;
        ++damageReports;
    }
    std::string damagePath;
    DamageCounters damage_;
    int damageReports = 0;
};

Bytes GpsLog() {
    return sim::SimulateLog(sim::Scenario::SingleGps, 8, 4, 30);
}

TEST(ReadFailureTest, AConversionWhoseInputFailsEndsAsAFailureAndLeavesNoOutput) {
    const Bytes log = GpsLog();
    ASSERT_GT(log.size(), 20000u);
    const std::string shrunk = "the file has become shorter while it was read";
    const FaultCase cases[] = {
        {"io error at the start", FaultySource::Fault::IoError, 0, false, "Input/output error"},
        {"io error part way", FaultySource::Fault::IoError, 9000, false, "Input/output error"},
        {"io error in the outage pass", FaultySource::Fault::IoError, 9000, true,
         "Input/output error"},
        {"file cut part way", FaultySource::Fault::Shrink, 9000, false, shrunk.c_str()},
        {"file cut in the outage pass", FaultySource::Fault::Shrink, 9000, true, shrunk.c_str()},
        {"fault past the end", FaultySource::Fault::IoError, 1 << 30, false, ""},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string input = dir.File("in.klf"), output = dir.File("in.out");
        WriteFile(input, log);
        WriteFile(output, std::string("earlier output"));
        TavrelReader reader;
        reader.WrapInputSources(Faulty(c, input, 6000));
        FailureObserver observer;
        auto settings = test::FieldSettings({GpsTime, RecordNumber, DataField});
        settings.dropOutages = c.dropOutages;
        const JobOutcome outcome =
            RunConversionJob(reader, {input}, {output}, settings, observer, {});
        if (*c.reason == '\0') {
            EXPECT_EQ(outcome, JobOutcome::Completed);
            EXPECT_NE(ReadFile(output), "earlier output");
            continue;
        }
        EXPECT_EQ(outcome, JobOutcome::Failed);
        EXPECT_EQ(observer.messages,
                  std::vector<std::string>{"Error: Input File Cannot Be Read! '" + input +
                                           "': " + c.reason});
        EXPECT_EQ(ReadFile(output), "earlier output");  // the earlier output stays as it was
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            ++files;
        EXPECT_EQ(files, 2u) << "a temporary output was left behind";
    }
}

// Records the index pass's outcome-relevant calls.
class IndexRecording : public SilentIndexView {
  public:
    void SetStatistics(const std::vector<std::string>& lines) override { statistics = lines; }
    void ShowDamage(const DamageCounters& damage) override { damageLine = DamageLine(damage); }
    void ReportMessage(MessageKind kind, const std::string& text) override {
        messages.push_back(std::string(MessageCaption(kind)) + ": " + text);
    }
    std::vector<std::string> statistics;
    std::string damageLine;
    std::vector<std::string> messages;
};

TEST(ReadFailureTest, TheIndexPassAndTheInformationPassReportAFailedRead) {
    TempDir dir;
    const std::string input = dir.File("in.klf");
    for (const auto fault : {FaultySource::Fault::IoError, FaultySource::Fault::Shrink}) {
        WriteFile(input, GpsLog());
        TavrelReader reader;
        reader.WrapInputSources(Faulty({"", fault, 5000, false, ""}, input, 3000));
        IndexRecording view;
        EXPECT_EQ(RunIndexPass(reader, kFormatTavrel, input, view, {}), IndexOutcome::ReadFailed);
        EXPECT_EQ(view.messages, std::vector<std::string>{"Error: Input File Cannot Be Read!"});
        EXPECT_TRUE(view.statistics.empty());

        struct Gauge : GeneratorView {
            void SetPercent(int, const std::string&) override {}
            void ResetProgressBar() override {}
            void ReportMessage(MessageKind kind, const std::string& text) override {
                messages.push_back(std::string(MessageCaption(kind)) + ": " + text);
            }
            std::vector<std::string> messages;
        } generator;
        WriteFile(input, GpsLog());
        EXPECT_EQ(RunAverageInformationPass(reader, input, generator, {}),
                  MakeListOutcome::ReadFailed);
        EXPECT_EQ(generator.messages,
                  std::vector<std::string>{"Error: Input File Cannot Be Read!"});
    }
}

TEST(RecordLoopTest, EndsWithADistinctOutcome) {
    TempDir dir;
    const std::string input = dir.File("in.klf");
    WriteFile(input, GpsLog());
    TavrelReader reader;
    const auto run = [&](std::stop_token stop, int haltAfter) {
        EXPECT_EQ(reader.Open(input), 0);
        int records = 0;
        std::vector<int> percents;
        const LoopResult result = RunRecordLoop(
            reader, stop, [&](int percent) { percents.push_back(percent); },
            [&](const RecordBuffer&) { return ++records != haltAfter; });
        reader.Close();
        if (result.end == LoopEnd::EndOfData) {
            // Each whole per cent once; the header is no record, so the last may be 99.
            EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end(), std::less_equal<>()));
            EXPECT_GE(percents.size(), 99u);
            EXPECT_GE(percents.back(), 99);
        }
        return result.end;
    };
    EXPECT_EQ(run({}, -1), LoopEnd::EndOfData);
    EXPECT_EQ(run({}, 10), LoopEnd::Halted);
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_EQ(run(stopped.get_token(), -1), LoopEnd::Cancelled);
    reader.WrapInputSources(Faulty({"", FaultySource::Fault::IoError, 100, false, ""}, input, 0));
    EXPECT_EQ(run({}, -1), LoopEnd::ReadError);
}

TEST(DamageReportTest, DamagedFilesAreReportedCleanOnesAreNot) {
    const Bytes clean = GpsLog();
    Bytes cut(clean.begin(), clean.end() - 7);  // the last record cut short
    // The twentieth record's length field made longer than any record.
    Bytes garbled = clean;
    std::size_t at = static_cast<std::size_t>(sim::HeaderSize(8));
    for (int record = 1; record < 20; ++record) at += 2 + (clean[at] | clean[at + 1] << 8);
    garbled[at] = 0xFF;
    garbled[at + 1] = 0xFF;
    struct Case {
        const char* name;
        const Bytes& log;
        bool damaged;
    };
    for (const Case& c : {Case{"clean", clean, false}, Case{"cut", cut, true}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string input = dir.File("in.klf");
        WriteFile(input, c.log);
        TavrelReader reader;
        IndexRecording view;
        ASSERT_EQ(RunIndexPass(reader, kFormatTavrel, input, view, {}), IndexOutcome::Indexed);
        EXPECT_EQ(view.statistics.size(), 7u);
        FailureObserver observer;
        ASSERT_EQ(RunConversionJob(reader, {input}, {dir.File("in.out")},
                                   test::FieldSettings({GpsTime, DataField}), observer, {}),
                  JobOutcome::Completed);
        if (!c.damaged) {
            EXPECT_EQ(view.damageLine, "");
            EXPECT_EQ(observer.damageReports, 0);
            continue;
        }
        EXPECT_EQ(view.damageLine, "Damaged Records = 0 (" +
                                       std::to_string(reader.Damage().skippedBytes) +
                                       " Bytes Skipped)");
        EXPECT_GT(reader.Damage().skippedBytes, 0);
        EXPECT_EQ(observer.damageReports, 1);
        EXPECT_EQ(observer.damagePath, "");  // a single-file job names no file
        EXPECT_EQ(observer.damage_.skippedBytes, reader.Damage().skippedBytes);
    }
    EXPECT_EQ(DamageLine({3, 120}), "Damaged Records = 3 (120 Bytes Skipped)");
    EXPECT_EQ(DamageText({3, 120}), "3 damaged record(s), 120 byte(s) skipped");

    // The command line warns on standard error for index and convert, and only when damaged.
    TempDir dir;
    for (const Case& c : {Case{"clean", clean, false}, Case{"garbled", garbled, true}}) {
        SCOPED_TRACE(c.name);
        WriteFile(dir.File("in.klf"), c.log);
        for (const std::string command : {"index", "convert"}) {
            const std::string err = dir.File("err.txt");
            ASSERT_EQ(test::RunCommand(std::string(VARISTRUM_CLI) + " " + command + " -q '" +
                                       dir.File("in.klf") + "' > /dev/null 2> '" + err + "'"),
                      0);
            const std::string text = ReadFile(err);
            if (!c.damaged) {
                EXPECT_EQ(text, "") << command;
                continue;
            }
            EXPECT_NE(text.find("Warning: 1 damaged record(s), "), std::string::npos)
                << command << ": " << text;
            EXPECT_NE(text.find(" byte(s) skipped\n"), std::string::npos) << command;
        }
    }
}

}  // namespace
}  // namespace varistrum
