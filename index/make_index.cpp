// SPDX-License-Identifier: GPL-3.0-or-later
// One pass over a log file: scans found, counts of records, frequencies needed.
#include "index/make_index.h"

#include "base/number_format.h"
#include "logfile/record_loop.h"

namespace varistrum {

namespace {

std::string StatisticLine(const char* text, std::int64_t count) {
    std::string line(text);
    AppendInt(line, count);
    return line;
}

}  // namespace

std::vector<std::string> StatisticsLines(const StatisticsCounters& c) {
    return {StatisticLine("GPS Total Records = ", c.gpsTotal),
            StatisticLine("GPS 3D Lock Records = ", c.gps3dLock),
            StatisticLine("GPS 2D Lock Records = ", c.gps2dLock),
            StatisticLine("Rx1 Single Channel Records = ", c.rx1Single),
            StatisticLine("Rx2 Single Channel Records = ", c.rx2Single),
            StatisticLine("List Mode Records = ", c.listMode),
            StatisticLine("Table Mode Records = ", c.tableMode)};
}

std::string DamageLine(const DamageCounters& damage) {
    std::string line = StatisticLine("Damaged Records = ", damage.damagedRecords);
    line.append(" (");
    AppendInt(line, damage.skippedBytes);
    line.append(" Bytes Skipped)");
    return line;
}

IndexOutcome RunIndexPass(TavrelReader& reader, int inputFormat, const std::string& path,
                          IndexView& view, std::stop_token stop,
                          const DecodedRecordObserver& alongside) {
    view.ShowWait();
    view.ClearTree();
    if (inputFormat == kFormatTavrel) {
        view.AddRoot(ScanCode(ScanKind::SingleFrequency), "Single Frequency");
        view.AddRoot(ScanCode(ScanKind::List), "List Data");
        view.AddRoot(ScanCode(ScanKind::Table), "Table Data");
    }
    view.ExpandTree();
    reader.SetInputFormat(inputFormat);
    if (reader.Open(path) != 0) {
        view.HideWait();
        view.ReportMessage(MessageKind::Error, "Input File Does Not Exist!");
        return IndexOutcome::OpenFailed;
    }

    // The pass reads the file: the gauge shows the whole per cent read when it grows.
    view.SetWaitGauge(0);
    int scansSeen = reader.State().ScanIndex;
    const LoopResult loop = RunRecordLoop(
        reader, stop, [&](int percent) { view.SetWaitGauge(percent); },
        [&](const RecordBuffer& buffer) {
            const DecodedRecord& record = reader.DecodeRecord(buffer);
            if (alongside) alongside(record);
            const DecoderState& state = reader.State();
            if (state.HeaderPending) {
                view.AddScanNode(ScanCode(state.ScanMode), state.ScanIndex, state.ScanName);
                reader.ClearHeaderPending();
            } else if (state.ScanIndex != scansSeen) {
                view.AddScanWithoutNode(ScanCode(state.ScanMode), state.ScanIndex, state.ScanName);
            }
            scansSeen = state.ScanIndex;
            return true;
        });
    const std::string readFailure = reader.ReadFailureReason();
    reader.Close();
    view.SetWaitGauge(0);
    view.HideWait();
    view.ExpandTree();
    if (loop.end == LoopEnd::ReadError) {
        view.ReportFailure(MessageKind::Error, "Input File Cannot Be Read!", path, readFailure);
        return IndexOutcome::ReadFailed;
    }
    view.SetStatistics(StatisticsLines(reader.State().counters));
    if (loop.damage.Any()) view.ShowDamage(loop.damage);
    const DecoderState& s = reader.State();
    // Receiver data without a single-frequency definition: the user must type the frequencies.
    reader.SetFrequenciesNeeded((s.receiverDataSeen[0] || s.receiverDataSeen[1]) && !s.list32Seen);
    return loop.end == LoopEnd::Cancelled ? IndexOutcome::Stopped : IndexOutcome::Indexed;
}

TMakeIndex::TMakeIndex(std::function<IndexOutcome(std::stop_token)> pass, IndexView& view) {
    Start([this, pass = std::move(pass)](std::stop_token stop) { outcome_ = pass(stop); },
          [this, &view](const std::string& failure) {
              outcome_ = IndexOutcome::ReadFailed;
              view.HideWait();
              view.ReportMessage(MessageKind::Error, failure);
          });
}

TMakeIndex::TMakeIndex(TavrelReader& reader, int inputFormat, std::string path, IndexView& view) {
    Start(
        [this, &reader, inputFormat, path = std::move(path), &view](std::stop_token stop) {
            outcome_ = RunIndexPass(reader, inputFormat, path, view, stop);
        },
        [this, &view](const std::string& failure) {
            outcome_ = IndexOutcome::ReadFailed;
            view.HideWait();
            view.ReportMessage(MessageKind::Error, failure);
        });
}

}  // namespace varistrum
