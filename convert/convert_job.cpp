// SPDX-License-Identifier: GPL-3.0-or-later
// The record loop of a conversion and the worker that runs it.
#include "convert/convert_job.h"

#include "convert/gps_outage_pass.h"
#include "convert/output_file.h"
#include "convert/output_lines.h"
#include "convert/output_split.h"

namespace varistrum {

namespace {

constexpr const char* kInputMissing = "Input File Does Not Exist!";
constexpr const char* kOutputInaccessible = "Output File Cannot Be Accessed!";

FileOutcome Failure(std::string message) { return {JobOutcome::Failed, std::move(message)}; }

void PrepareReader(TavrelReader& reader, const ConversionSettings& settings) {
    reader.BindReceiverSelectors(settings.receivers);
    reader.SetConvertAllScans(settings.convertAllScans);
    reader.SetScanNodes(&settings.scans);
    reader.SetDataColumns(settings.columns);
    reader.SetDropOutages(settings.dropOutages);
}

}  // namespace

FileOutcome ConvertFile(TavrelReader& reader, const std::string& input, const std::string& output,
                        const ConversionSettings& settings, JobObserver& observer, std::stop_token stop) {
    PrepareReader(reader, settings);
    reader.SetOutageStarts({});
    if (settings.dropOutages) {
        auto starts = GpsOutagePass(reader, input, settings.outageSeconds, stop);
        if (!starts) return Failure(kInputMissing);
        reader.SetOutageStarts(std::move(*starts));
    }
    if (stop.stop_requested()) return {JobOutcome::Cancelled, {}};
    if (reader.Open(input) != 0) return Failure(kInputMissing);
    OutputFile file;
    if (!file.Create(output)) {
        reader.Close();
        return Failure(kOutputInaccessible);
    }
    reader.SetUseScanSelection(true);
    PercentGauge gauge(observer, reader.FileSize());
    gauge.Reset();
    reader.SetDelimiter(settings.Delimiter());
    reader.SetAverageType(static_cast<std::int16_t>(settings.averageType));

    OutputLines lines(reader, file, settings);
    RecordBuffer buffer;
    int consumed = reader.ReadNextRecord(buffer);
    reader.RecordCount = 0;
    while (!stop.stop_requested() && consumed != 0 && !file.Failed()) {
        gauge.Advance(static_cast<std::uint64_t>(consumed));
        switch (reader.DecodeRecord(buffer)) {
            case DecodeDataReady: lines.WriteDataLines(); break;
            case DecodeTextLine: file.Write(reader.TextLine()); break;
            case DecodeHeaderAndData:
                reader.HeaderDue = true;
                lines.WriteDataLines();
                break;
            default: break;  // a header change alone waits for the scan's first data line
        }
        consumed = reader.ReadNextRecord(buffer);
    }
    reader.Close();
    const bool written = file.Close();
    gauge.Show(100);
    if (!written) return Failure(kOutputInaccessible);
    if (settings.split && reader.RecordCount > kSplitLines) {
        if (auto problem = SplitOutputFile(output, observer)) return Failure(*problem);
    }
    return {stop.stop_requested() ? JobOutcome::Cancelled : JobOutcome::Completed, {}};
}

JobOutcome RunConversionJob(TavrelReader& reader, const std::vector<std::string>& inputs,
                            const std::vector<std::string>& outputs, const ConversionSettings& settings,
                            JobObserver& observer, std::stop_token stop) {
    if (auto problem = settings.Problem()) {
        observer.ReportMessage(MessageKind::Error, *problem);
        return JobOutcome::Failed;
    }
    reader.SelectReceiver(settings.receivers.receiver1 ? 1 : 2);
    for (std::size_t i = 0; i < inputs.size() && i < outputs.size(); ++i) {
        const FileOutcome result = ConvertFile(reader, inputs[i], outputs[i], settings, observer, stop);
        if (result.outcome == JobOutcome::Failed) {
            observer.ReportMessage(MessageKind::Error, result.message);
            return JobOutcome::Failed;
        }
        if (result.outcome == JobOutcome::Cancelled || stop.stop_requested()) {
            observer.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
            return JobOutcome::Cancelled;
        }
    }
    observer.SetProgress(100);
    observer.ReportMessage(MessageKind::Information, "Conversion Has Been Completed!");
    return JobOutcome::Completed;
}

TConvert::TConvert(TavrelReader& reader, JobObserver& observer, bool createSuspended)
    : reader_(reader), observer_(observer) {
    if (!createSuspended) Resume();
}

void TConvert::SetFiles(std::vector<std::string> inputs, std::vector<std::string> outputs) {
    inputs_ = std::move(inputs);
    outputs_ = std::move(outputs);
}

void TConvert::Resume() {
    Start([this](std::stop_token stop) {
        outcome_ = RunConversionJob(reader_, inputs_, outputs_, settings_, observer_, stop);
    });
}

}  // namespace varistrum
