// SPDX-License-Identifier: GPL-3.0-or-later
// Warnings of undersampled 40-lambda windows.
#include "report/lambda_warnings.h"

#include "averaging/averaging_engine.h"
#include "base/number_format.h"
#include "logfile/identify.h"

namespace varistrum {

std::optional<LambdaWarning> LambdaWarningOf(const ScanReport& scan) {
    for (const ChannelFigures& channel : scan.channels) {
        if (!channel.receiverSamples || !channel.lee || channel.lee->windows == 0) continue;
        if (channel.lee->median >= kLeeSamples) continue;
        return LambdaWarning{scan.number, scan.name, channel.frequencyMHz, channel.lee->median};
    }
    return std::nullopt;
}

std::vector<LambdaWarning> LambdaWarningsOf(const DriveReport& report) {
    std::vector<LambdaWarning> warnings;
    for (const ScanReport& scan : report.scans) {
        if (auto warning = LambdaWarningOf(scan)) warnings.push_back(std::move(*warning));
    }
    return warnings;
}

std::string LambdaWarningText(const LambdaWarning& warning) {
    std::string text = "Scan ";
    AppendInt(text, warning.scan);
    text += " (" + warning.name + "): ";
    AppendFixed(text, warning.frequencyMHz, 4);
    text += " MHz holds a median of ";
    AppendInt(text, warning.medianSamples);
    text += " samples per 40-lambda window, fewer than 36: its averages will be noisy.";
    return text;
}

std::string UnlistedWarningsText(std::int64_t unlisted) {
    std::string text = "... and ";
    AppendInt(text, unlisted);
    text += unlisted == 1 ? " more scan whose 40-lambda windows hold"
                          : " more scans whose 40-lambda windows hold";
    text += " a median below 36 samples.";
    return text;
}

LambdaWarnings CheckLambdaSampling(TavrelReader& reader, const std::string& input,
                                   const ReportRequest& request, std::stop_token stop) {
    ReportRequest quick = request;
    quick.listOutages = false;
    quick.samplingOnly = true;
    LambdaWarnings warnings;
    // Only the warnings are kept of each scan, and only so many of them.
    const DriveReport report = BuildDriveReport(reader, input, quick, stop, [&](ScanReport&& scan) {
        auto warning = LambdaWarningOf(scan);
        if (!warning) return;
        if (warnings.listed.size() < LambdaWarnings::kListedAtMost) {
            warnings.listed.push_back(std::move(*warning));
        } else {
            ++warnings.unlisted;
        }
    });
    if (!report.Complete()) return {};
    return warnings;
}

namespace {

// The sample check needs no outage pass.
ReportRequest SampleCheckOf(ReceiverChoice receivers) {
    ReportRequest request;
    request.receivers = receivers;
    request.listOutages = false;
    request.samplingOnly = true;
    return request;
}

}  // namespace

LambdaSamplingGatherer::LambdaSamplingGatherer(TavrelReader& reader, ReceiverChoice receivers)
    : pass_(reader, SampleCheckOf(receivers), [this](ScanReport&& scan) {
          auto warning = LambdaWarningOf(scan);
          if (!warning || overflowed_) return;
          if (warnings_.size() >= kKeptAtMost) {
              overflowed_ = true;
              warnings_ = {};
              return;
          }
          warnings_.push_back(std::move(*warning));
      }) {}

void LambdaSamplingGatherer::Decoded(const DecodedRecord& record) {
    pass_.Decoded(record);
}

std::optional<std::vector<LambdaWarning>> LambdaSamplingGatherer::Finish() {
    DriveReport report;
    pass_.Finish(report);
    if (overflowed_) return std::nullopt;
    return std::move(warnings_);
}

LambdaWarnings SelectedWarnings(const std::vector<LambdaWarning>& every,
                                const ScanSelection* selection) {
    LambdaWarnings warnings;
    for (const LambdaWarning& warning : every) {
        if (selection != nullptr && !selection->ScanChecked(warning.scan).value_or(true)) continue;
        if (warnings.listed.size() < LambdaWarnings::kListedAtMost) {
            warnings.listed.push_back(warning);
        } else {
            ++warnings.unlisted;
        }
    }
    return warnings;
}

}  // namespace varistrum

namespace varistrum {

SparseWindowSummary::SparseWindowSummary(JobObserver& target, std::optional<TypedCodes> typed,
                                         ReceiverChoice receivers, bool oneMessage)
    : target_(target), typed_(typed), receivers_(receivers), oneMessage_(oneMessage) {}

void SparseWindowSummary::ReportSummary(const JobSummary& summary) {
    target_.ReportSummary(summary);
    TavrelReader reader;
    ReportRequest request;
    request.receivers = receivers_;
    request.typed = typed_;
    std::vector<std::string> lines;
    for (const FileReport& file : summary.files) {
        if (file.state != FileReport::State::Converted) continue;
        const int format = IdentifyLogFile(file.input);
        if (format == kFormatNone) continue;
        reader.SetInputFormat(format);
        const LambdaWarnings warnings = CheckLambdaSampling(reader, file.input, request, {});
        for (const LambdaWarning& warning : warnings.listed)
            lines.push_back(file.input + ": " + LambdaWarningText(warning));
        if (warnings.unlisted > 0)
            lines.push_back(file.input + ": " + UnlistedWarningsText(warnings.unlisted));
    }
    if (lines.empty()) return;
    if (!oneMessage_) {
        for (const std::string& line : lines) target_.ReportMessage(MessageKind::Warning, line);
        return;
    }
    std::string text = "40-lambda windows with a median below 36 samples:";
    for (const std::string& line : lines) text += "\n" + line;
    target_.ReportMessage(MessageKind::Warning, text);
}

}  // namespace varistrum
