// SPDX-License-Identifier: GPL-3.0-or-later
// The average-information pass.
#include "averaging/make_list.h"

#include "convert/number_format.h"

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
    const std::uint64_t size = reader.FileSize();
    view.SetPercent(0, "0% Complete");
    RecordBuffer buffer;
    int consumed = reader.ReadNextRecord(buffer);
    reader.RecordCount = 0;
    AverageInformation information;
    std::uint64_t total = 0;
    int shown = -1;
    while (!stop.stop_requested() && consumed > 0) {
        total += static_cast<std::uint64_t>(consumed);
        const int percent =
            size == 0 ? 0 : static_cast<int>(static_cast<unsigned __int128>(total) * 100 / size);
        if (percent != shown) {  // the dialog needs no more than a hundred updates
            shown = percent;
            std::string label;
            AppendInt(label, percent);
            label.append("% Complete");
            view.SetPercent(percent, label);
        }
        reader.DecodeRecord(buffer);
        consumed = reader.ReadNextRecord(buffer);
    }
    const bool stopped = stop.stop_requested();
    if (!stopped) {
        view.ReportMessage(MessageKind::Information, "Information Has Been Gathered!");
        view.ReportMessage(MessageKind::Information, AverageInformationText(information));
    }
    reader.Close();
    view.ResetProgressBar();
    return stopped ? MakeListOutcome::Stopped : MakeListOutcome::Gathered;
}

TMakeList::TMakeList(TavrelReader& reader, std::string path, GeneratorView& view) {
    Start([&reader, path = std::move(path), &view](std::stop_token stop) {
        RunAverageInformationPass(reader, path, view, stop);
    });
}

}  // namespace varistrum
