// SPDX-License-Identifier: GPL-3.0-or-later
// The second step of decoding in a conversion: the records the filters keep become the
// measurement state of the output lines (levels, channels, timing, points between fixes) and
// then rows.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "logfile/decode_result.h"
#include "logfile/decoded_record.h"
#include "logfile/decoder_state.h"
#include "logfile/log_reader.h"
#include "logfile/output_row.h"
#include "logfile/sample_placement.h"
#include "logfile/typed_codes.h"

namespace varistrum {

// What the assembly takes from a conversion's settings.
struct AssemblySettings {
    ReceiverChoice receivers;  // the data source
    int averageType = kAverageNone;
    std::optional<TypedCodes> typed;  // typed-in frequencies, when the log needs them
};

class RowAssembler {
  public:
    // `placement` places the sample records of GPS-timed scans: interpolation when null, else
    // the given one (the 40-lambda engine); it must outlive the assembler.
    explicit RowAssembler(const AssemblySettings& settings, SamplePlacement* placement = nullptr);

    // Takes one decoded record: `kept` tells whether the filters keep its data. Returns what
    // the record gives: OutputCount() rows (DecodeDataReady, DecodeHeaderAndData) or none.
    DecodeResult Assemble(const DecodedRecord& record, const DecoderState& log, bool kept);
    int OutputCount() const { return outputCount_; }
    // Row `point` (< OutputCount()) of the last result.
    void FillRow(int point, const DecoderState& log, OutputRow& row) const;

    // Whether the kept records held receiver samples (of either receiver).
    bool SamplesSeen() const { return samplesSeen_; }

  private:
    DecodeResult Gps(const DecoderState& log);
    DecodeResult Samples(const DecodedRecord& record, const DecoderState& log);
    DecodeResult ScanList32(ByteSpan payload, const DecoderState& log);
    void ScanList10(ByteSpan payload);
    DecodeResult ChannelList(ByteSpan payload, const DecoderState& log);
    DecodeResult ChannelTable(ByteSpan payload, const DecoderState& log);
    bool PrerequisitesMet(const DecoderState& log) const;
    bool RowsCarryPoints() const {
        return dataMode_ == DataKind::Samples && timing_ == Timing::Gps;
    }
    const std::array<std::uint32_t, kChannelTableSize>& SelectedCodes() const {
        return selectedReceiver_ == 1 ? channelValuesB_ : channelValuesA_;
    }
    // Frequency (MHz) of the data source's first channel: what the engine is started with.
    double ChannelMHz(const DecoderState& log) const;

    AssemblySettings settings_;
    InterpolatedPlacement interpolation_;
    SamplePlacement& placement_;
    int selectedReceiver_ = 0;

    DataKind dataMode_ = DataKind::None;
    Timing timing_ = Timing::None;
    std::array<std::uint32_t, kChannelTableSize> channelValuesA_{};
    std::array<std::uint32_t, kChannelTableSize> channelValuesB_{};
    std::array<std::uint16_t, kChannelTableSize> channelNumbers_{};
    std::vector<std::int8_t> levels_;  // of the current data record, one per sample or entry
    int lastSampleIndex_ = -1;         // of the current sample record
    int tableEntries_ = 0;             // entries kept from the current table record

    int outputCount_ = 0;
    int pendingRecords_ = 0;  // sample records since the last GPS record
    bool firstFix_ = true;    // the first GPS record only starts the timing
    double previousLatitude_ = 0.0, previousLongitude_ = 0.0;
    int previousHours_ = 0, previousMinutes_ = 0, previousSeconds_ = 0;

    // Strongest channel over a sweep of table records: `best` of the sweep under way, `held`
    // the best of the sweep that ended in the current record.
    struct Sweep {
        bool held = false;
        int bestRssi = kNoLevel;
        int bestChannel = 1000000;  // no sweep has begun
        int heldRssi = kNoLevel;
        int heldChannel = 0;
    } sweep_;
    bool tableHeaderDue_ = false;  // a table scan began and has written no row yet
    bool samplesSeen_ = false;
};

}  // namespace varistrum
