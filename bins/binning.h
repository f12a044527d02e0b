// SPDX-License-Identifier: GPL-3.0-or-later
// Binning a drive into square cells of a UTM grid: per cell and channel the count, means,
// spread, median and times of the levels logged there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bins/bin_sample.h"
#include "bins/utm_zone.h"

namespace varistrum {

inline constexpr double kMinCellMetres = 5.0;
inline constexpr double kMaxCellMetres = 1000.0;
inline constexpr double kDefaultCellMetres = 25.0;

// What one cell and channel costs at most while a drive is binned: 64 bytes hold its level
// histogram (30 whole-dBm levels, up to 255 samples each) and its first and last time; the
// index that finds it again takes up to 32 more while it grows.
inline constexpr std::size_t kCellChannelBytes = 96;
// Writing a cell's files takes up to this much more (GDAL's spatial index of a GeoPackage, the
// raster's tile order); a binning keeps it free for each cell.
inline constexpr std::size_t kCellWritingBytes = 64;
// A cell and channel whose levels spread over more than 30 dB, or that logs one level more
// than 255 times (a long stop), keeps a histogram of every level instead: this much more.
inline constexpr std::size_t kWideHistogramBytes = 1024;
// What the cells, and the files they will make, may take: with PROJ's and GDAL's own 20 MB or
// so, binning and writing stay below 64 MB above a job's start, a few MB left to the
// conversion. That is about 220,000 cells of one channel, 400,000 cells and channels of ten.
inline constexpr std::size_t kDefaultBinningBudget = std::size_t{32} << 20;
// The two drives of a comparison share it.
inline constexpr std::size_t kComparisonBinningBudget = kDefaultBinningBudget / 2;

// A channel: its number and frequency (two receivers may give one number two frequencies).
struct ChannelKey {
    int channel = 0;
    double frequencyMHz = 0.0;
    friend bool operator==(const ChannelKey&, const ChannelKey&) = default;
};

// A cell of the grid: eastings from x * size to (x + 1) * size, northings from y * size to
// (y + 1) * size, in metres of the zone's grid.
struct CellIndex {
    std::int32_t x = 0, y = 0;
    friend bool operator==(const CellIndex&, const CellIndex&) = default;
};

struct BinGrid {
    UtmZone zone;  // number 0 while no position fixed it
    double cellMetres = kDefaultCellMetres;

    double West(CellIndex cell) const { return cell.x * cellMetres; }
    double South(CellIndex cell) const { return cell.y * cellMetres; }
    double East(CellIndex cell) const { return (cell.x + 1.0) * cellMetres; }
    double North(CellIndex cell) const { return (cell.y + 1.0) * cellMetres; }
};

// A sample's time as the binning keeps it.
struct BinTime {
    std::int64_t seconds = 0;  // since 1970: UTC when gps, else the receiver clock's own
    bool known = false;
    bool gps = false;
};

// "2024-05-01T12:00:05Z" (GPS time, UTC), "2024-05-01T12:00:05" (receiver clock, no zone), or
// empty for an unknown time.
std::string IsoTimeText(const BinTime& time);

struct CellChannelStatistics {
    std::uint64_t count = 0;     // samples with a level
    double linearMeanDbm = 0.0;  // mean of the powers (mW), back in dBm
    double dbMeanDbm = 0.0;      // mean of the levels in dBm
    double medianDbm = 0.0;      // of an even count: the mean of the two middle levels
    double stdDb = 0.0;          // standard deviation of the levels (of the cell's samples)
    int minDbm = 0;
    int maxDbm = 0;
    BinTime first, last;  // of the first and last sample in log order that had a time
};

// What became of the samples given to a binner; each is counted once.
struct BinCounts {
    std::int64_t binned = 0;
    std::int64_t noLevel = 0;          // -120 dBm: the receiver measured nothing
    std::int64_t withoutPosition = 0;  // not finite, or beyond -90..90 / -180..180
    std::int64_t beyondUtmReach = 0;   // above 84 N or below 80 S
    std::int64_t outsideGrid = 0;      // too far from the zone for its grid
    std::int64_t levelOutOfRange = 0;  // not a level a receiver logs (-128..127 dBm)
};

// Which channel a map, a raster or a figure shows.
struct ChannelChoice {
    bool strongest = true;               // per cell, the channel with the highest linear mean
    int channel = 0;                     // otherwise this channel
    std::optional<double> frequencyMHz;  // needed when the channel has two frequencies

    // "strongest" or a channel number; nullopt (with a message) for anything else.
    static std::optional<ChannelChoice> Parse(std::string_view text, std::string* error = nullptr);
    static ChannelChoice Channel(int number) { return {false, number, std::nullopt}; }
};

// A channel choice resolved against one binning.
struct ChannelSelection {
    bool strongest = true;
    int channel = -1;  // index into Binning::Channels() when not strongest
};

struct BinCellChannel {
    int channel = 0;  // index into Binning::Channels()
    CellChannelStatistics statistics;
};

// A cell with every channel measured in it, the channels in the order of Channels().
struct BinCell {
    CellIndex cell;
    std::span<const BinCellChannel> channels;
    int strongest = 0;  // index into `channels`: the highest linear mean, the first of equals
};

struct BinStore;

// The cells of a finished binning. Cells come in the order the drive first entered them.
class Binning {
  public:
    Binning();
    ~Binning();
    Binning(Binning&&) noexcept;
    Binning& operator=(Binning&&) noexcept;

    const BinGrid& Grid() const;
    bool Empty() const { return CellCount() == 0; }
    // Why no cell was filled, for a message; empty when there are cells.
    std::string WhyEmpty() const;
    // Every channel with a level in some cell, by number and then frequency.
    const std::vector<ChannelKey>& Channels() const;
    // "channel 7 (851.0125 MHz)"
    std::string ChannelName(int channel) const;
    std::size_t CellCount() const;
    std::size_t CellChannelCount() const;
    std::size_t WideHistogramCount() const;
    // Bytes the cells take (statistics, histograms and index).
    std::size_t MemoryBytes() const;
    const BinCounts& Counts() const;
    // Messages for the user (no "Warning:" prefix): a drive that left its zone, positions UTM
    // does not reach.
    const std::vector<std::string>& Warnings() const;

    std::optional<CellChannelStatistics> Find(CellIndex cell, int channel) const;
    // Index into Channels() of the cell's strongest channel; nullopt for a cell not driven.
    std::optional<int> StrongestChannel(CellIndex cell) const;

    void ForEachCell(const std::function<void(const BinCell&)>& visit) const;

    // Resolves a choice; nullopt with a message when the drive has no such channel or has it on
    // two frequencies and the choice does not say which.
    std::optional<ChannelSelection> Select(const ChannelChoice& choice,
                                           std::string* error = nullptr) const;
    // "strongest channel" or "channel 7 (851.0125 MHz)".
    std::string SelectionName(const ChannelSelection& selection) const;
    // Every cell where the selection has a level; `channel` is the channel shown there.
    void ForEachSelected(const ChannelSelection& selection,
                         const std::function<void(CellIndex cell, int channel,
                                                  const CellChannelStatistics&)>& visit) const;
    // The selection's statistics in one cell; nullopt where it has none.
    std::optional<CellChannelStatistics> FindSelected(CellIndex cell,
                                                      const ChannelSelection& selection,
                                                      int* channel = nullptr) const;

  private:
    friend class Binner;
    std::unique_ptr<BinStore> store_;
};

struct BinOptions {
    double cellMetres = kDefaultCellMetres;
    // The zone to bin in (the second drive of a comparison takes the first one's); without
    // it, the zone of the first position given.
    std::optional<UtmZone> zone;
    std::size_t memoryBudgetBytes = kDefaultBinningBudget;
};

// A message when the cell size is outside 5..1000 m; nullopt when it is fine.
std::optional<std::string> CheckCellMetres(double metres);

// Takes the samples of one drive in log order and bins them. Not thread-safe; one binner per
// drive (or per scan).
class Binner {
  public:
    explicit Binner(const BinOptions& options = {});
    ~Binner();
    Binner(const Binner&) = delete;
    Binner& operator=(const Binner&) = delete;

    // False once binning has stopped (Error() says why: memory, a cell size out of range,
    // PROJ); later samples are ignored then.
    bool Add(const BinSample& sample);
    bool Add(std::span<const BinSample> samples);
    // The cells; nullopt when binning failed (Error() says why). The binner is spent: later
    // samples are refused.
    std::optional<Binning> Finish();

    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }
    // Bytes the cells take so far; with kCellWritingBytes a cell, never more than the budget.
    std::size_t MemoryBytes() const;

  private:
    static constexpr std::size_t kBatch = 4096;
    void Flush();
    bool Fail(std::string message);

    BinOptions options_;
    std::unique_ptr<BinStore> store_;
    std::unique_ptr<UtmProjector> projector_;
    std::vector<BinSample> pending_;
    std::vector<double> x_, y_;
    std::vector<std::int32_t> position_;  // per pending sample: its index in x_/y_, or -1
    std::string error_;
    bool finished_ = false;
};

}  // namespace varistrum
