// SPDX-License-Identifier: GPL-3.0-or-later
// The text conversion job and the worker that runs jobs.
#include "convert/convert_job.h"

namespace varistrum {

JobOutcome RunConversionJob(TavrelReader& reader, const std::vector<std::string>& inputs,
                            const std::vector<std::string>& outputs,
                            const ConversionSettings& settings, JobObserver& observer,
                            std::stop_token stop, JobKind kind,
                            std::span<const CompanionFile> companions, FileOutcome* last,
                            int filesAtOnce) {
    const std::size_t count = std::min(inputs.size(), outputs.size());
    JobSpec job{{inputs.begin(), inputs.begin() + static_cast<std::ptrdiff_t>(count)},
                kind,
                settings,
                filesAtOnce};
    TextOutput text({outputs.begin(), outputs.begin() + static_cast<std::ptrdiff_t>(count)},
                    job.settings, observer);
    if (kind == JobKind::SingleFile) {
        for (const CompanionFile& companion : companions) text.AddCompanion(companion);
    }
    JobOutput* const written[] = {&text};
    std::vector<FileOutcome> outcomes;
    const JobOutcome outcome = RunJob(reader, job, written, observer, stop, &outcomes);
    if (last != nullptr && !outcomes.empty()) *last = outcomes.back();
    return outcome;
}

FileOutcome ConvertFile(TavrelReader& reader, const std::string& input, const std::string& output,
                        const ConversionSettings& settings, JobObserver& observer,
                        std::stop_token stop, std::span<RowSink* const> extraSinks) {
    const JobSpec job{{input}, JobKind::SingleFile, settings, 1};
    TextOutput text({output}, job.settings, observer);
    SinkOutput extra({extraSinks.begin(), extraSinks.end()});
    JobOutput* const outputs[] = {&text, &extra};
    return ConvertJobInput(reader, job, 0, outputs, observer, stop);
}

TConvert::TConvert(TavrelReader& reader, JobObserver& observer, bool createSuspended)
    : reader_(reader), observer_(observer) {
    if (!createSuspended) Resume();
}

void TConvert::SetFiles(std::vector<std::string> inputs, std::vector<std::string> outputs,
                        JobKind kind) {
    inputs_ = std::move(inputs);
    outputs_ = std::move(outputs);
    kind_ = kind;
}

void TConvert::Resume() {
    Start(
        [this](std::stop_token stop) {
            outcome_ = runner_
                           ? runner_(reader_, inputs_, outputs_, settings_, observer_, stop, kind_)
                           : RunConversionJob(reader_, inputs_, outputs_, settings_, observer_,
                                              stop, kind_);
        },
        [this](const std::string& failure) {
            outcome_ = JobOutcome::Failed;
            observer_.ReportMessage(MessageKind::Error, failure);
        });
}

}  // namespace varistrum
