// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of a conversion as the binning takes them: each level the text writes, at its row's
// position and time.
#pragma once

#include <cstdint>
#include <functional>

#include "bins/binning.h"
#include "filters/row_stage.h"

namespace varistrum {

// Seconds since 1970 of a GPS date and time (UTC); nullopt when they are no calendar date and
// time of day.
std::optional<std::int64_t> GpsSeconds(int year, int month, int day, int hours, int minutes,
                                       int seconds);

// Hands every level a row writes to a binner: one sample per slot the text writes with a
// channel (its frequency and channel number as the text gives them), at the row's position and
// time. Rows before the drive's first good fix, or with a position that is none, give samples
// without a position (counted by the binner, not binned). Slots the text writes without a
// channel, and a placed row's slots past its own samples, are no samples of a channel.
class BinSampleSink : public RowSink {
  public:
    explicit BinSampleSink(Binner& binner) : binner_(&binner) {}

    void AcceptRow(const OutputRow& row) override;
    void AcceptFix(const GpsFixEvent& fix) override;
    // A binner that stopped ends the conversion, unless the sink was told to go on (the
    // binner then ignores the rest of its samples).
    bool Failed() const override { return stopsOnFailure_ && binner_->Failed(); }
    void SetStopsOnFailure(bool on) { stopsOnFailure_ = on; }

    // The binner of the rows that follow (a binning per scan).
    void SetBinner(Binner& binner) { binner_ = &binner; }
    // Called before the first row of each scan, with the scan's number.
    void OnScan(std::function<void(int scan)> call) { onScan_ = std::move(call); }
    std::int64_t Samples() const { return samples_; }

  private:
    void Add(BinSample& sample, int channel, double frequencyMHz, int level);

    Binner* binner_;
    std::function<void(int)> onScan_;
    int scan_ = -1;
    bool goodFixSeen_ = false;
    bool stopsOnFailure_ = true;
    std::int64_t samples_ = 0;
};

}  // namespace varistrum
