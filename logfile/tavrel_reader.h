// SPDX-License-Identifier: GPL-3.0-or-later
// The reader of this product's log files: record framing, decoder and field writers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/job_observer.h"
#include "logfile/decoded_record.h"
#include "logfile/decoder_state.h"
#include "logfile/log_reader.h"

namespace varistrum {

class TavrelReader : public LogReader {
  public:
    TavrelReader() = default;

    std::int16_t Open(const std::string& path) override;
    int Close() override;
    int ReadNextRecord(RecordBuffer& buffer) override;
    // Folds the record into the decoder state and says what it was; the result is valid until
    // the next call.
    const DecodedRecord& DecodeRecord(const RecordBuffer& buffer);

    // The input format whose header Open reads (8 or 9).
    void SetInputFormat(int format) { inputFormat_ = format; }
    int InputFormat() const { return inputFormat_; }

    void ClearHeaderPending() { state_.HeaderPending = false; }
    void ClearNewGpsRecordMark() { state_.newGpsRecord = false; }
    // The index pass's finding at the end of a log (see DecoderState::frequenciesNeeded).
    void SetFrequenciesNeeded(bool on) { state_.frequenciesNeeded = on; }

    const DecoderState& State() const { return state_; }
    const DamageCounters& Damage() const { return damage_; }
    // Whether ReadNextRecord's 0 meant a failed read (an error, or a file that has become
    // shorter than it was at Open) rather than the end of the data; the system's reason.
    bool ReadFailed() const { return readFailed_; }
    std::string ReadFailureReason() const;
    // Every later Open reads through the wrapper's source (tests inject failing reads).
    void WrapInputSources(InputSourceWrapper wrapper) { input_.WrapSources(std::move(wrapper)); }
    std::uint64_t FileSize() const { return input_.FileSize(); }
    std::uint64_t DataEnd() const { return dataEnd_; }

  private:
    bool ResyncAfterDamage(std::uint64_t damagedAt);
    int EndWithCutRecord(std::uint64_t position);
    int EndWithReadFailure();
    bool ChainPlausible(std::uint64_t offset);
    void ResetForOpen();

    // One decoder step per record type.
    void DecodeGps(ByteSpan payload);
    void DecodeConfig(ByteSpan payload);
    void DecodeSamples(int receiver);
    void DecodeRtc(ByteSpan payload);
    void DecodeScanList32();
    void DecodeScanList10();
    void DecodeChannelList();
    void DecodeChannelTable();

    void BeginScan(ScanKind scanMode);
    void CompleteWaitingScanStart();

    DecoderState state_;
    DecodedRecord decoded_;
    DamageCounters damage_;
    int inputFormat_ = kFormatTavrel;
    std::uint64_t dataEnd_ = 0;
    std::uint64_t readEnd_ = 0;  // the lesser of DataEnd and the file size
    bool readFailed_ = false;
};

// MinimumPayload by type byte, -1 for the types that are skipped: a table look-up, as the
// reader asks it for every record twice (framing and decoding).
inline int MinimumPayloadOf(std::uint8_t type) {
    static const std::array<std::int16_t, 256> table = [] {
        std::array<std::int16_t, 256> t{};
        for (std::size_t i = 0; i < t.size(); ++i) {
            const auto needed = MinimumPayload(static_cast<std::uint8_t>(i));
            t[i] = static_cast<std::int16_t>(needed.value_or(-1));
        }
        return t;
    }();
    return table[type];
}

}  // namespace varistrum
