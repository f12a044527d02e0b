// SPDX-License-Identifier: GPL-3.0-or-later
// The average-information pass.
#include "index/average_information.h"

#include "base/number_format.h"
#include "logfile/record_loop.h"

namespace varistrum {

std::string AverageInformationText(AverageInformation& information) {
    // Nothing in the pass counts seconds: a rate over zero seconds reads 0, not a crash.
    information.recordsPerSecond =
        information.seconds == 0 ? 0 : information.records / information.seconds;
    std::string text;
    AppendInt(text, information.records);
    text.append(" Records\n");
    AppendInt(text, information.seconds);
    text.append(" Seconds\n");
    AppendInt(text, information.recordsPerSecond);
    text.append(" Records Per Second");
    return text;
}

MakeListOutcome RunAverageInformationPass(TavrelReader& reader, const std::string& path,
                                          GeneratorView& view, std::stop_token stop) {
    if (reader.Open(path) != 0) {
        view.ReportMessage(MessageKind::Error, "Input File Does Not Exist!");
        return MakeListOutcome::OpenFailed;
    }
    view.SetPercent(0, "0% Complete");
    AverageInformation information;
    const LoopResult loop = RunRecordLoop(
        reader, stop,
        [&](int percent) {  // the dialog needs no more than a hundred updates
            std::string label;
            AppendInt(label, percent);
            label.append("% Complete");
            view.SetPercent(percent, label);
        },
        [&](const RecordBuffer& buffer) {
            reader.DecodeRecord(buffer);
            return true;
        });
    reader.Close();
    if (loop.end == LoopEnd::ReadError) {
        view.ReportMessage(MessageKind::Error, "Input File Cannot Be Read!");
    } else if (loop.end != LoopEnd::Cancelled) {
        view.ReportMessage(MessageKind::Information, "Information Has Been Gathered!");
        view.ReportMessage(MessageKind::Information, AverageInformationText(information));
    }
    view.ResetProgressBar();
    if (loop.end == LoopEnd::ReadError) return MakeListOutcome::ReadFailed;
    return loop.end == LoopEnd::Cancelled ? MakeListOutcome::Stopped : MakeListOutcome::Gathered;
}

TMakeList::TMakeList(TavrelReader& reader, std::string path, GeneratorView& view) {
    Start([&reader, path = std::move(path),
           &view](std::stop_token stop) { RunAverageInformationPass(reader, path, view, stop); },
          [&view](const std::string& failure) {
              view.ResetProgressBar();
              view.ReportMessage(MessageKind::Error, failure);
          });
}

}  // namespace varistrum
