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
#include "logfile/conversion_mode.h"
#include "logfile/decoder_state.h"
#include "logfile/log_reader.h"

namespace varistrum {

class AveragingEngine;

class TavrelReader : public LogReader {
  public:
    explicit TavrelReader(AveragingEngine& engine);

    std::int16_t Open(const std::string& path) override;
    int Close() override;
    int ReadNextRecord(RecordBuffer& buffer) override;
    DecodeResult DecodeRecord(const RecordBuffer& buffer) override;
    void ClearReceiverFlags() override;

    // The input format whose header Open reads (8 or 9).
    void SetInputFormat(int format) { inputFormat_ = format; }
    int InputFormat() const { return inputFormat_; }

    bool SelectReceiver(int n);
    bool PrerequisitesMet() const;
    // Typed-in receiver frequencies (MHz) for files that lack them.
    void SetEnteredFrequencies(double rx1MHz, double rx2MHz);
    // The typed-in frequencies (MHz, receivers 1 and 2) while they are in use.
    std::optional<std::pair<double, double>> EnteredFrequencies() const {
        if (!state_.userFrequencies) return std::nullopt;
        return enteredMHz_;
    }
    // 40-lambda bins average the samples' power (mW) instead of their dBm values.
    void SetLinearPowerAverage(bool on);

    // Decodes as a conversion under `mode` (which must outlive it) until the next Open or
    // Close: scan selection, outage dropping, pending rows and the averaging engine.
    void BeginConversion(const ConversionMode& mode) { conversion_ = &mode; }
    bool Converting() const { return conversion_ != nullptr; }

    void ClearHeaderPending() { state_.HeaderPending = false; }
    void ClearNewGpsRecordMark() { state_.newGpsRecord = false; }
    void SetUserFrequencies(bool on) { state_.userFrequencies = on; }
    // Takes over another reader's typed-in frequencies (for readers working side by side).
    void CopyTypedFrequenciesFrom(const TavrelReader& other);

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

  protected:
    void ResetAveragingWork() override;

  private:
    bool ResyncAfterDamage(std::uint64_t damagedAt);
    int EndWithCutRecord(std::uint64_t position);
    int EndWithReadFailure();
    bool ChainPlausible(std::uint64_t offset);
    void ResetForOpen();

    // One decoder step per record type.
    DecodeResult DecodeGps(ByteSpan payload);
    DecodeResult DecodeConfig(ByteSpan payload);
    DecodeResult DecodeSamples(int receiver, ByteSpan payload);
    DecodeResult DecodeRtc(ByteSpan payload);
    DecodeResult DecodeScanList32(ByteSpan payload);
    DecodeResult DecodeScanList10(ByteSpan payload);
    DecodeResult DecodeChannelList(ByteSpan payload);
    DecodeResult DecodeChannelTable(ByteSpan payload);

    void BeginScan(ScanKind scanMode);
    void CompleteWaitingScanStart();
    void SelectCurrentScan();
    void TestGpsOutage();
    void InterpolatePendingRows();
    DecodeResult AverageAtFix();
    void StartEngine();
    void StartEngineIfTyped();
    bool ReceiverChecked(int receiver) const;

    AveragingEngine& engine_;
    DecoderState state_;
    DamageCounters damage_;
    int inputFormat_ = kFormatTavrel;
    std::uint64_t dataEnd_ = 0;
    std::uint64_t readEnd_ = 0;  // the lesser of DataEnd and the file size
    bool readFailed_ = false;
    const ConversionMode* conversion_ = nullptr;  // set while a conversion reads the file
    std::size_t outageCursor_ = 0;
    // Channel tables of typed-in frequencies, restored at every Open while they are in force.
    std::array<std::uint32_t, kChannelTableSize> typedChannelValuesA_{};
    std::array<std::uint32_t, kChannelTableSize> typedChannelValuesB_{};
    std::optional<std::pair<double, double>> enteredMHz_;
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

// Channel code of a frequency typed in MHz for a plan step in kHz: rounded to whole kHz,
// then down to a multiple of the step. A step of 0 gives 0.
std::uint32_t ChannelNumberOf(double frequencyMHz, double stepKHz);

}  // namespace varistrum
