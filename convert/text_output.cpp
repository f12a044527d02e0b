// SPDX-License-Identifier: GPL-3.0-or-later
// Text files of a job, put in place when complete.
#include "convert/text_output.h"

#include "convert/output_split.h"

namespace varistrum {

namespace {

constexpr const char* kOutputInaccessible = "Output File Cannot Be Accessed!";

FileOutcome OutputFailure(std::string path, std::string reason, const FileOutcome& from) {
    FileOutcome failure = from;
    failure.outcome = JobOutcome::Failed;
    failure.message = kOutputInaccessible;
    failure.path = std::move(path);
    failure.reason = std::move(reason);
    return failure;
}

// Splits the finished output when asked, and removes the parts of an earlier, longer run.
std::optional<FileOutcome> SplitAndTidy(std::int64_t lines, const std::string& output,
                                        JobObserver& observer, const FileOutcome& from) {
    int parts = 0;
    if (lines > kSplitLines) {
        SplitReport report;
        if (auto problem = SplitOutputFile(output, observer, &report)) {
            FileOutcome failure = OutputFailure(report.path, report.reason, from);
            failure.message = *problem;
            return failure;
        }
        parts = report.parts;
    }
    if (const int removed = RemoveStaleParts(output, parts); removed > 0) {
        observer.ReportMessage(
            MessageKind::Information,
            std::to_string(removed) + " part file(s) of an earlier run removed.");
    }
    return std::nullopt;
}

}  // namespace

TextOutput::TextOutput(std::vector<std::string> outputs, const ConversionSettings& settings,
                       JobObserver& observer)
    : outputs_(std::move(outputs)), settings_(settings), observer_(observer) {
    written_.resize(outputs_.size());
}

TextOutput::~TextOutput() = default;

std::vector<std::string> TextOutput::FilesOf(std::size_t input) const {
    if (input >= outputs_.size() || settings_.toStandardOutput) return {};
    std::vector<std::string> files{outputs_[input]};
    for (const CompanionFile& companion : companions_) files.push_back(companion.path);
    if (settings_.split) {
        for (std::string& part : ExistingParts(outputs_[input])) files.push_back(std::move(part));
    }
    return files;
}

std::optional<FilesRefusal> TextOutput::Check() const {
    if (settings_.toStandardOutput) return std::nullopt;
    for (const std::string& output : outputs_) {
        // A split reads its output back: the output must be a file.
        if (settings_.split && ClassifyTarget(output).TakesStream())
            return FilesRefusal{
                "'" + output + "' is not a regular file; an output split into parts needs one.",
                {}};
        if (companions_.empty()) continue;
        OutputSet files;
        files.Add(output, kTextOutput);
        for (const CompanionFile& companion : companions_)
            files.Add(companion.path, *companion.kind, OutputSet::Naming::Derived);
        if (const auto refusal = files.Check()) return FilesRefusal{refusal->message, {}};
    }
    return std::nullopt;
}

std::optional<FileOutcome> TextOutput::Open(std::size_t input, InputSinks& sinks) {
    auto written = std::make_unique<Written>();
    const std::string& output = outputs_[input];
    if (settings_.toStandardOutput) {
        written->direct.UseStandardOutput();
        written->text = &written->direct;
    } else {
        const std::size_t index = written->files.Add(output, kTextOutput);
        for (const CompanionFile& companion : companions_)
            written->files.Add(companion.path, *companion.kind, OutputSet::Naming::Derived);
        written->text = written->files.Stream(index);
    }
    if (written->text == nullptr || written->text->Failed()) {
        const std::string reason = written->text != nullptr ? written->text->FailureReason()
                                                            : written->files.FailureReason();
        return OutputFailure(output, reason, {});
    }
    written->lines = std::make_unique<OutputLines>(*written->text, settings_);
    sinks.rows.push_back(written->lines.get());
    written_[input] = std::move(written);
    return std::nullopt;
}

FileOutcome TextOutput::Close(std::size_t input, const FilePass& pass, FileOutcome outcome) {
    std::unique_ptr<Written> written = std::move(written_[input]);
    if (written == nullptr) return outcome;  // never opened
    return Finish(input, *written, pass, std::move(outcome));
}

FileOutcome TextOutput::Finish(std::size_t input, Written& written, const FilePass& pass,
                               FileOutcome outcome) {
    OutputFile& file = *written.text;
    const std::string& output = outputs_[input];
    // A read error or a skipped file leaves no text; an earlier output of the name stays.
    if (outcome.outcome == JobOutcome::Failed || outcome.outcome == JobOutcome::Skipped) {
        file.Discard();
        return outcome;
    }
    // A cancelled file is put in place as far as it was written, in whole lines.
    if (file.Failed() || !file.Finish()) {
        const std::string reason = file.FailureReason();
        file.Discard();
        return OutputFailure(output, reason, outcome);
    }
    if (settings_.toStandardOutput) {
        if (!written.direct.Close())
            return OutputFailure(output, written.direct.FailureReason(), outcome);
        return outcome;
    }
    const bool cancelled = outcome.outcome == JobOutcome::Cancelled;
    for (std::size_t i = 0; !cancelled && i < companions_.size(); ++i) {
        OutputFile* companion = written.files.Stream(i + 1);
        if (companion == nullptr) break;
        companion->Write(companions_[i].contents(file.WrittenPath(), pass));
    }
    if (!written.files.FailedPath().empty() || !written.files.Commit())
        return OutputFailure(written.files.FailedPath(), written.files.FailureReason(), outcome);
    if (settings_.split) {
        if (auto failure = SplitAndTidy(pass.rows, output, observer_, outcome)) return *failure;
    }
    return outcome;
}

}  // namespace varistrum
