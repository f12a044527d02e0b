// SPDX-License-Identifier: GPL-3.0-or-later
// Warnings of undersampled 40-lambda windows.
#include "report/lambda_warnings.h"

#include "base/number_format.h"

namespace varistrum {

std::vector<LambdaWarning> LambdaWarningsOf(const DriveReport& report) {
    std::vector<LambdaWarning> warnings;
    for (const ScanReport& scan : report.scans) {
        for (const ChannelFigures& channel : scan.channels) {
            if (!channel.receiverSamples || !channel.lee || channel.lee->windows == 0) continue;
            if (channel.lee->median >= kLeeSamples) continue;
            warnings.push_back({scan.number, scan.name, channel.frequencyMHz, channel.lee->median});
            break;  // one line per scan
        }
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

std::vector<LambdaWarning> CheckLambdaSampling(TavrelReader& reader, const std::string& input,
                                               const ReportRequest& request, std::stop_token stop) {
    ReportRequest quick = request;
    quick.listOutages = false;
    const DriveReport report = BuildDriveReport(reader, input, quick, stop);
    if (!report.opened || report.end != LoopEnd::EndOfData) return {};
    return LambdaWarningsOf(report);
}

}  // namespace varistrum
