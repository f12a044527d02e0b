// SPDX-License-Identifier: GPL-3.0-or-later
// The cell store: 64-byte cell-channel slots in fixed chunks, one open-addressing index over
// slots and cells, level histograms kept inline while they are narrow.
#include "bins/binning.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <new>

#include "base/number_format.h"

namespace varistrum {

namespace {

constexpr int kInlineBins = 30;
constexpr int kLowestLevel = -128;
constexpr int kHighestLevel = 127;
constexpr int kLevels = kHighestLevel - kLowestLevel + 1;

// Slot flags.
constexpr std::uint8_t kFirstKnown = 1;
constexpr std::uint8_t kFirstGps = 2;
constexpr std::uint8_t kLastKnown = 4;
constexpr std::uint8_t kLastGps = 8;
constexpr std::uint8_t kCellHead = 16;  // the cell's first slot: the cell's index entry names it

// A key: cell y (24 bits), cell x (24 bits), channel (16 bits). The channel field of a cell's
// own index entry is all ones, which no channel uses.
constexpr int kCellBits = 24;
constexpr std::int64_t kCellOffset = std::int64_t{1} << (kCellBits - 1);
constexpr std::uint64_t kChannelField = 0xFFFF;
constexpr int kMaxChannels = 0xFFFF;

// Index entries: 0 is empty; bit 31 marks a cell's entry, bits 24-30 hold hash bits to skip
// most foreign slots without reading them, bits 0-23 the slot number plus one.
constexpr std::uint32_t kCellEntry = 0x80000000u;
constexpr std::uint32_t kSlotMask = 0x00FFFFFFu;
constexpr std::uint32_t kMaxSlots = kSlotMask - 1;

constexpr std::size_t kSlotsPerChunk = 1024;
constexpr std::size_t kWidePerChunk = 16;
constexpr std::size_t kFirstTableSize = 1024;

struct Slot {
    std::uint64_t key;
    std::int64_t firstTime;
    std::int64_t lastTime;
    std::uint32_t nextInCell;  // the cell's next slot plus one; 0: the last
    std::uint32_t wide;        // the wide histogram plus one; 0: the inline bins hold the levels
    std::int8_t low;           // the level of bins[0]
    std::uint8_t flags;
    std::uint8_t bins[kInlineBins];
};
static_assert(sizeof(Slot) == 64);
static_assert(sizeof(Slot) + 2 * 16 == kCellChannelBytes);  // + two index entries at their worst
static_assert(sizeof(std::uint32_t) * kLevels == kWideHistogramBytes);

using WideHistogram = std::array<std::uint32_t, kLevels>;

std::uint64_t PackCell(std::int64_t x, std::int64_t y) {
    return (static_cast<std::uint64_t>(y + kCellOffset) << (kCellBits + 16)) |
           (static_cast<std::uint64_t>(x + kCellOffset) << 16);
}

CellIndex UnpackCell(std::uint64_t key) {
    constexpr std::uint64_t kField = (std::uint64_t{1} << kCellBits) - 1;
    CellIndex cell;
    cell.x =
        static_cast<std::int32_t>(static_cast<std::int64_t>((key >> 16) & kField) - kCellOffset);
    cell.y =
        static_cast<std::int32_t>(static_cast<std::int64_t>(key >> (kCellBits + 16)) - kCellOffset);
    return cell;
}

std::uint64_t Mix(std::uint64_t key) {
    key ^= key >> 30;
    key *= 0xbf58476d1ce4e5b9ull;
    key ^= key >> 27;
    key *= 0x94d049bb133111ebull;
    key ^= key >> 31;
    return key;
}

// Milliwatts of every level.
const std::array<double, kLevels>& Powers() {
    static const std::array<double, kLevels> table = [] {
        std::array<double, kLevels> powers{};
        for (int i = 0; i < kLevels; ++i) powers[i] = std::pow(10.0, (kLowestLevel + i) / 10.0);
        return powers;
    }();
    return table;
}

std::string DegreesText(double latitude, double longitude) {
    std::string text;
    AppendFixed(text, std::fabs(latitude), 5);
    text += latitude < 0 ? " S, " : " N, ";
    AppendFixed(text, std::fabs(longitude), 5);
    text += longitude < 0 ? " W" : " E";
    return text;
}

std::string MetresText(double metres) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, metres);
    return std::string(text, result.ptr) + " m";
}

}  // namespace

struct BinStore {
    BinGrid grid;
    std::size_t budget = kDefaultBinningBudget;
    std::size_t bytes = 0;

    std::vector<std::unique_ptr<Slot[]>> slotChunks;
    std::uint32_t slots = 0;
    std::vector<std::unique_ptr<WideHistogram[]>> wideChunks;
    std::uint32_t wides = 0;
    std::vector<std::uint32_t> table;
    std::size_t tableEntries = 0;
    std::size_t cells = 0;

    // Channels in the order they came; after Finish also sorted.
    std::vector<ChannelKey> channels;
    std::map<std::pair<int, std::uint64_t>, int> channelIndex;
    struct LastSlot {
        std::uint64_t cell = 0;
        std::uint32_t slot = 0;  // plus one; 0: none yet
    };
    std::vector<LastSlot> lastSlot;  // per channel: the slot its previous sample went to
    int lastChannel = -1;
    ChannelKey lastChannelKey;

    std::vector<ChannelKey> sorted;  // Channels(): by number, then frequency
    std::vector<int> rankOf;         // channel as it came -> its place in `sorted`
    std::vector<int> arrivalOf;      // place in `sorted` -> channel as it came

    BinCounts counts;
    std::vector<std::string> warnings;
    bool meridianWarned = false;
    double beyondLatitude = 0.0, beyondLongitude = 0.0;
    std::string error;

    Slot& At(std::uint32_t slot) {
        return slotChunks[slot / kSlotsPerChunk][slot % kSlotsPerChunk];
    }
    const Slot& At(std::uint32_t slot) const {
        return slotChunks[slot / kSlotsPerChunk][slot % kSlotsPerChunk];
    }
    WideHistogram& Wide(std::uint32_t wide) {
        return wideChunks[wide / kWidePerChunk][wide % kWidePerChunk];
    }
    const WideHistogram& Wide(std::uint32_t wide) const {
        return wideChunks[wide / kWidePerChunk][wide % kWidePerChunk];
    }

    // Stops binning with a message naming where it stopped and a larger cell.
    bool Stop(const std::string& why) {
        error = "binning stopped at " + std::to_string(slots) + " cells and channels (" +
                std::to_string(cells) + " cells of " + MetresText(grid.cellMetres) + "): " + why +
                "; ";
        if (grid.cellMetres * 2 <= kMaxCellMetres)
            error += "choose a larger cell, such as " + MetresText(grid.cellMetres * 2) +
                     " (a quarter of the cells)";
        else
            error += "choose fewer channels";
        return false;
    }

    // Room for `more` bytes beside the cells' and their files'.
    bool Afford(std::size_t more) {
        if (bytes + cells * kCellWritingBytes + more <= budget) return true;
        return Stop("the cells and the files they make would need more than the " +
                    std::to_string(budget >> 20) + " MB a binning may use");
    }

    // The slot of an index entry, or nullopt for an empty one.
    static std::uint32_t SlotOf(std::uint32_t entry) { return (entry & kSlotMask) - 1; }
    static std::uint32_t Tag(std::uint64_t hash) {
        return static_cast<std::uint32_t>(hash >> 57) << 24;
    }
    std::uint64_t EntryKey(std::uint32_t entry) const {
        const std::uint64_t key = At(SlotOf(entry)).key;
        return (entry & kCellEntry) ? (key | kChannelField) : key;
    }

    // The slot a key names (a cell key: the cell's first slot), or -1.
    std::int64_t Find(std::uint64_t key, bool cell) const {
        if (table.empty()) return -1;
        const std::uint64_t hash = Mix(key);
        const std::uint32_t expected = (cell ? kCellEntry : 0) | Tag(hash);
        const std::size_t mask = table.size() - 1;
        for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
            const std::uint32_t entry = table[at];
            if (entry == 0) return -1;
            if ((entry & ~kSlotMask) == expected && EntryKey(entry) == key) return SlotOf(entry);
        }
    }

    void Place(std::vector<std::uint32_t>& into, std::uint64_t key, std::uint32_t slot,
               bool cell) const {
        const std::uint64_t hash = Mix(key);
        const std::size_t mask = into.size() - 1;
        std::size_t at = hash & mask;
        while (into[at] != 0) at = (at + 1) & mask;
        into[at] = (cell ? kCellEntry : 0) | Tag(hash) | (slot + 1);
    }

    // Room in the index for two more entries (a slot and its cell).
    bool IndexRoom() {
        if (!table.empty() && (tableEntries + 2) * 4 <= table.size() * 3) return true;
        const std::size_t size = table.empty() ? kFirstTableSize : table.size() * 2;
        if (!Afford(size * sizeof(std::uint32_t))) return false;
        std::vector<std::uint32_t> grown(size, 0);
        for (const std::uint32_t entry : table)
            if (entry != 0) Place(grown, EntryKey(entry), SlotOf(entry), entry & kCellEntry);
        bytes += size * sizeof(std::uint32_t);
        bytes -= table.size() * sizeof(std::uint32_t);
        table.swap(grown);
        return true;
    }

    // A new slot for the key holding one level; nullopt when memory is exhausted.
    std::optional<std::uint32_t> NewSlot(std::uint64_t key, int level) {
        if (slots >= kMaxSlots) {
            Stop("too many for the index");
            return std::nullopt;
        }
        if (!IndexRoom()) return std::nullopt;
        const std::uint64_t cellKey = key | kChannelField;
        const std::int64_t head = Find(cellKey, true);
        if (head < 0 && !Afford(kCellWritingBytes)) return std::nullopt;
        if (slots % kSlotsPerChunk == 0) {
            if (!Afford(kSlotsPerChunk * sizeof(Slot))) return std::nullopt;
            slotChunks.push_back(std::make_unique<Slot[]>(kSlotsPerChunk));
            bytes += kSlotsPerChunk * sizeof(Slot);
        }
        const std::uint32_t slot = slots++;
        Slot& s = At(slot);
        std::memset(&s, 0, sizeof s);
        s.key = key;
        s.low = static_cast<std::int8_t>(
            std::clamp(level - kInlineBins / 2, kLowestLevel, kHighestLevel - kInlineBins + 1));
        if (head >= 0) {
            Slot& first = At(static_cast<std::uint32_t>(head));
            s.nextInCell = first.nextInCell;
            first.nextInCell = slot + 1;
        } else {
            s.flags = kCellHead;
            Place(table, cellKey, slot, true);
            ++tableEntries;
            ++cells;
        }
        Place(table, key, slot, false);
        ++tableEntries;
        return slot;
    }

    bool Spill(Slot& slot, int level) {
        if (wides % kWidePerChunk == 0) {
            if (!Afford(kWidePerChunk * sizeof(WideHistogram))) return false;
            wideChunks.push_back(std::make_unique<WideHistogram[]>(kWidePerChunk));
            bytes += kWidePerChunk * sizeof(WideHistogram);
        }
        WideHistogram& wide = Wide(wides);
        wide.fill(0);
        for (int i = 0; i < kInlineBins; ++i) wide[slot.low + i - kLowestLevel] = slot.bins[i];
        ++wide[level - kLowestLevel];
        slot.wide = ++wides;
        return true;
    }

    bool AddLevel(Slot& slot, int level) {
        if (slot.wide != 0) {
            ++Wide(slot.wide - 1)[level - kLowestLevel];
            return true;
        }
        const int at = level - slot.low;
        if (at >= 0 && at < kInlineBins) {
            if (slot.bins[at] == 255) return Spill(slot, level);
            ++slot.bins[at];
            return true;
        }
        // Outside the window: move it when the levels so far and this one fit.
        int lowest = level, highest = level;
        for (int i = 0; i < kInlineBins; ++i) {
            if (slot.bins[i] == 0) continue;
            lowest = std::min(lowest, slot.low + i);
            highest = std::max(highest, slot.low + i);
        }
        const int span = highest - lowest + 1;
        if (span > kInlineBins) return Spill(slot, level);
        const int low = std::clamp(lowest - (kInlineBins - span) / 2, kLowestLevel,
                                   kHighestLevel - kInlineBins + 1);
        std::uint8_t moved[kInlineBins] = {};
        for (int i = 0; i < kInlineBins; ++i)
            if (slot.bins[i] != 0) moved[slot.low + i - low] = slot.bins[i];
        std::memcpy(slot.bins, moved, sizeof moved);
        slot.low = static_cast<std::int8_t>(low);
        ++slot.bins[level - low];
        return true;
    }

    // Every level of a slot with its count, lowest first.
    template <class Visit>
    void Levels(const Slot& slot, Visit visit) const {
        if (slot.wide != 0) {
            const WideHistogram& wide = Wide(slot.wide - 1);
            for (int i = 0; i < kLevels; ++i)
                if (wide[i] != 0) visit(kLowestLevel + i, std::uint64_t{wide[i]});
        } else {
            for (int i = 0; i < kInlineBins; ++i)
                if (slot.bins[i] != 0) visit(slot.low + i, std::uint64_t{slot.bins[i]});
        }
    }

    // The mean power in dBm. Levels all alike give that level exactly, so that a cell of -110
    // dBm samples is at or above -110 dBm and two such cells differ by whole dB.
    double LinearMean(const Slot& slot, std::uint64_t* samples = nullptr) const {
        const auto& powers = Powers();
        double sum = 0.0;
        std::uint64_t count = 0;
        int lowest = kHighestLevel + 1, highest = kLowestLevel - 1;
        Levels(slot, [&](int level, std::uint64_t n) {
            sum += static_cast<double>(n) * powers[level - kLowestLevel];
            count += n;
            lowest = std::min(lowest, level);
            highest = std::max(highest, level);
        });
        if (samples != nullptr) *samples = count;
        if (lowest == highest) return lowest;
        return 10.0 * std::log10(sum / static_cast<double>(count));
    }

    CellChannelStatistics Statistics(const Slot& slot) const {
        CellChannelStatistics s;
        s.linearMeanDbm = LinearMean(slot, &s.count);
        const double n = static_cast<double>(s.count);
        std::int64_t sum = 0;
        bool first = true;
        Levels(slot, [&](int level, std::uint64_t count) {
            sum += static_cast<std::int64_t>(count) * level;
            if (first) s.minDbm = level;
            first = false;
            s.maxDbm = level;
        });
        s.dbMeanDbm = static_cast<double>(sum) / n;
        double squares = 0.0;
        Levels(slot, [&](int level, std::uint64_t count) {
            const double deviation = level - s.dbMeanDbm;
            squares += static_cast<double>(count) * deviation * deviation;
        });
        s.stdDb = std::sqrt(squares / n);
        // The middle sample (two of an even count), counted from 0.
        const std::uint64_t lower = (s.count - 1) / 2, upper = s.count / 2;
        std::uint64_t below = 0;
        int lowerLevel = 0, upperLevel = 0;
        Levels(slot, [&](int level, std::uint64_t count) {
            if (below <= lower && lower < below + count) lowerLevel = level;
            if (below <= upper && upper < below + count) upperLevel = level;
            below += count;
        });
        s.medianDbm = (lowerLevel + upperLevel) / 2.0;
        s.first = {slot.firstTime, (slot.flags & kFirstKnown) != 0, (slot.flags & kFirstGps) != 0};
        s.last = {slot.lastTime, (slot.flags & kLastKnown) != 0, (slot.flags & kLastGps) != 0};
        return s;
    }

    int ChannelOf(const Slot& slot) const { return static_cast<int>(slot.key & kChannelField); }

    // The channel's index as it came; -1 when there are too many channels.
    int ChannelFor(const BinSample& sample) {
        const double frequency = sample.frequencyMHz == 0.0 ? 0.0 : sample.frequencyMHz;
        if (lastChannel >= 0 && lastChannelKey.channel == sample.channel &&
            std::bit_cast<std::uint64_t>(lastChannelKey.frequencyMHz) ==
                std::bit_cast<std::uint64_t>(frequency))
            return lastChannel;
        const auto key = std::make_pair(sample.channel, std::bit_cast<std::uint64_t>(frequency));
        auto found = channelIndex.find(key);
        if (found == channelIndex.end()) {
            if (static_cast<int>(channels.size()) >= kMaxChannels) {
                error = "the drive has more than " + std::to_string(kMaxChannels) +
                        " channels: too many to bin";
                return -1;
            }
            found = channelIndex.emplace(key, static_cast<int>(channels.size())).first;
            channels.push_back({sample.channel, frequency});
            lastSlot.emplace_back();
        }
        lastChannel = found->second;
        lastChannelKey = {sample.channel, frequency};
        return lastChannel;
    }

    bool Add(const BinSample& sample, std::int32_t x, std::int32_t y, int channel) {
        const std::uint64_t cell = PackCell(x, y);
        LastSlot& last = lastSlot[static_cast<std::size_t>(channel)];
        std::uint32_t slot = 0;
        if (last.slot != 0 && last.cell == cell) {
            slot = last.slot - 1;
        } else {
            const std::uint64_t key = cell | static_cast<std::uint64_t>(channel);
            const std::int64_t found = Find(key, false);
            if (found >= 0) {
                slot = static_cast<std::uint32_t>(found);
            } else {
                const auto created = NewSlot(key, sample.levelDbm);
                if (!created) return false;
                slot = *created;
            }
            last = {cell, slot + 1};
        }
        Slot& s = At(slot);
        if (!AddLevel(s, sample.levelDbm)) return false;
        if (sample.timeKnown) {
            if (!(s.flags & kFirstKnown)) {
                s.firstTime = sample.time;
                s.flags |= kFirstKnown | (sample.timeIsGps ? kFirstGps : 0);
            }
            s.lastTime = sample.time;
            s.flags = static_cast<std::uint8_t>((s.flags & ~kLastGps) | kLastKnown |
                                                (sample.timeIsGps ? kLastGps : 0));
        }
        ++counts.binned;
        return true;
    }

    void SortChannels() {
        sorted = channels;
        arrivalOf.resize(channels.size());
        for (std::size_t i = 0; i < channels.size(); ++i) arrivalOf[i] = static_cast<int>(i);
        std::sort(arrivalOf.begin(), arrivalOf.end(), [&](int a, int b) {
            const ChannelKey& ka = channels[a];
            const ChannelKey& kb = channels[b];
            return ka.channel != kb.channel ? ka.channel < kb.channel
                                            : ka.frequencyMHz < kb.frequencyMHz;
        });
        rankOf.assign(channels.size(), 0);
        for (std::size_t rank = 0; rank < arrivalOf.size(); ++rank) {
            sorted[rank] = channels[arrivalOf[rank]];
            rankOf[arrivalOf[rank]] = static_cast<int>(rank);
        }
    }

    // The cell's strongest slot: the highest linear mean, of equals the first channel.
    std::uint32_t StrongestSlot(std::uint32_t head) const {
        std::uint32_t best = head;
        double bestMean = LinearMean(At(head));
        for (std::uint32_t next = At(head).nextInCell; next != 0; next = At(next - 1).nextInCell) {
            const double mean = LinearMean(At(next - 1));
            const int rank = rankOf[ChannelOf(At(next - 1))];
            if (mean > bestMean || (mean == bestMean && rank < rankOf[ChannelOf(At(best))])) {
                best = next - 1;
                bestMean = mean;
            }
        }
        return best;
    }
};

std::string IsoTimeText(const BinTime& time) {
    if (!time.known) return {};
    // Days and seconds of the day; then the civil date of the day (proleptic Gregorian).
    std::int64_t days = time.seconds / 86400;
    std::int64_t second = time.seconds % 86400;
    if (second < 0) {
        second += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    std::string text;
    AppendInt(text, year, 4);
    text += '-';
    AppendInt(text, month, 2);
    text += '-';
    AppendInt(text, day, 2);
    text += 'T';
    AppendInt(text, second / 3600, 2);
    text += ':';
    AppendInt(text, second / 60 % 60, 2);
    text += ':';
    AppendInt(text, second % 60, 2);
    if (time.gps) text += 'Z';
    return text;
}

std::optional<ChannelChoice> ChannelChoice::Parse(std::string_view text, std::string* error) {
    if (text == "strongest") return ChannelChoice{};
    int number = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), number);
    if (!text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size())
        return Channel(number);
    if (error != nullptr) *error = "give a channel number or \"strongest\"";
    return std::nullopt;
}

std::optional<std::string> CheckCellMetres(double metres) {
    if (metres >= kMinCellMetres && metres <= kMaxCellMetres) return std::nullopt;
    return "a cell is 5 to 1000 m wide";
}

// ---------------------------------------------------------------------------------------------

Binning::Binning() : store_(std::make_unique<BinStore>()) {}
Binning::~Binning() = default;
Binning::Binning(Binning&&) noexcept = default;
Binning& Binning::operator=(Binning&&) noexcept = default;

const BinGrid& Binning::Grid() const {
    return store_->grid;
}

std::string Binning::WhyEmpty() const {
    if (!Empty()) return {};
    const BinCounts& c = store_->counts;
    std::string text = "no sample had a level at a position the grid reaches";
    std::string reasons;
    const auto add = [&](std::int64_t count, const char* what) {
        if (count == 0) return;
        reasons += reasons.empty() ? ": " : ", ";
        reasons += std::to_string(count) + " " + what;
    };
    add(c.withoutPosition, "without a position");
    add(c.beyondUtmReach, "above 84 N or below 80 S, beyond UTM's reach");
    add(c.outsideGrid, "too far from the grid's zone");
    add(c.noLevel, "without a level (-120 dBm)");
    add(c.levelOutOfRange, "with a level outside -128..127 dBm");
    return text + (reasons.empty() ? ": the drive gave no samples" : reasons);
}

const std::vector<ChannelKey>& Binning::Channels() const {
    return store_->sorted;
}

std::string Binning::ChannelName(int channel) const {
    const ChannelKey& key = store_->sorted.at(static_cast<std::size_t>(channel));
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, key.frequencyMHz);
    return "channel " + std::to_string(key.channel) + " (" + std::string(text, result.ptr) +
           " MHz)";
}

std::size_t Binning::CellCount() const {
    return store_->cells;
}
std::size_t Binning::CellChannelCount() const {
    return store_->slots;
}
std::size_t Binning::WideHistogramCount() const {
    return store_->wides;
}
std::size_t Binning::MemoryBytes() const {
    return store_->bytes;
}
const BinCounts& Binning::Counts() const {
    return store_->counts;
}
const std::vector<std::string>& Binning::Warnings() const {
    return store_->warnings;
}

std::optional<CellChannelStatistics> Binning::Find(CellIndex cell, int channel) const {
    if (channel < 0 || channel >= static_cast<int>(store_->sorted.size())) return std::nullopt;
    const std::uint64_t key =
        PackCell(cell.x, cell.y) | static_cast<std::uint64_t>(store_->arrivalOf[channel]);
    const std::int64_t slot = store_->Find(key, false);
    if (slot < 0) return std::nullopt;
    return store_->Statistics(store_->At(static_cast<std::uint32_t>(slot)));
}

std::optional<int> Binning::StrongestChannel(CellIndex cell) const {
    const std::int64_t head = store_->Find(PackCell(cell.x, cell.y) | kChannelField, true);
    if (head < 0) return std::nullopt;
    const std::uint32_t best = store_->StrongestSlot(static_cast<std::uint32_t>(head));
    return store_->rankOf[store_->ChannelOf(store_->At(best))];
}

void Binning::ForEachCell(const std::function<void(const BinCell&)>& visit) const {
    const BinStore& s = *store_;
    std::vector<BinCellChannel> channels;
    for (std::uint32_t slot = 0; slot < s.slots; ++slot) {
        const Slot& head = s.At(slot);
        if (!(head.flags & kCellHead)) continue;
        channels.clear();
        for (std::uint32_t at = slot + 1; at != 0; at = s.At(at - 1).nextInCell)
            channels.push_back({s.rankOf[s.ChannelOf(s.At(at - 1))], s.Statistics(s.At(at - 1))});
        std::sort(
            channels.begin(), channels.end(),
            [](const BinCellChannel& a, const BinCellChannel& b) { return a.channel < b.channel; });
        BinCell cell;
        cell.cell = UnpackCell(head.key);
        cell.channels = channels;
        for (std::size_t i = 1; i < channels.size(); ++i)
            if (channels[i].statistics.linearMeanDbm >
                channels[static_cast<std::size_t>(cell.strongest)].statistics.linearMeanDbm)
                cell.strongest = static_cast<int>(i);
        visit(cell);
    }
}

std::optional<ChannelSelection> Binning::Select(const ChannelChoice& choice,
                                                std::string* error) const {
    if (choice.strongest) return ChannelSelection{true, -1};
    std::vector<int> matches;
    for (std::size_t i = 0; i < store_->sorted.size(); ++i) {
        const ChannelKey& key = store_->sorted[i];
        if (key.channel == choice.channel &&
            (!choice.frequencyMHz || *choice.frequencyMHz == key.frequencyMHz))
            matches.push_back(static_cast<int>(i));
    }
    if (matches.size() == 1) return ChannelSelection{false, matches[0]};
    if (error != nullptr) {
        if (matches.empty()) {
            *error = "channel " + std::to_string(choice.channel) + " has no level in any cell";
            std::string measured;
            for (std::size_t i = 0; i < store_->sorted.size() && i < 20; ++i)
                measured += (i > 0 ? ", " : "") + std::to_string(store_->sorted[i].channel);
            if (store_->sorted.size() > 20) measured += ", ...";
            if (!measured.empty()) *error += " (the drive's channels: " + measured + ")";
        } else {
            *error = "channel " + std::to_string(choice.channel) + " was measured on " +
                     std::to_string(matches.size()) + " frequencies:";
            for (std::size_t i = 0; i < matches.size(); ++i)
                *error += (i > 0 ? ", " : " ") + ChannelName(matches[i]);
            *error += "; say which";
        }
    }
    return std::nullopt;
}

std::string Binning::SelectionName(const ChannelSelection& selection) const {
    return selection.strongest ? "strongest channel" : ChannelName(selection.channel);
}

void Binning::ForEachSelected(
    const ChannelSelection& selection,
    const std::function<void(CellIndex, int, const CellChannelStatistics&)>& visit) const {
    const BinStore& s = *store_;
    const int wanted = selection.strongest ? -1 : s.arrivalOf.at(selection.channel);
    for (std::uint32_t slot = 0; slot < s.slots; ++slot) {
        const Slot& at = s.At(slot);
        std::uint32_t chosen = slot;
        if (selection.strongest) {
            if (!(at.flags & kCellHead)) continue;
            chosen = s.StrongestSlot(slot);
        } else if (s.ChannelOf(at) != wanted) {
            continue;
        }
        const Slot& found = s.At(chosen);
        visit(UnpackCell(found.key), s.rankOf[s.ChannelOf(found)], s.Statistics(found));
    }
}

std::optional<CellChannelStatistics> Binning::FindSelected(CellIndex cell,
                                                           const ChannelSelection& selection,
                                                           int* channel) const {
    std::optional<int> shown;
    if (selection.strongest)
        shown = StrongestChannel(cell);
    else
        shown = selection.channel;
    if (!shown) return std::nullopt;
    auto statistics = Find(cell, *shown);
    if (statistics && channel != nullptr) *channel = *shown;
    return statistics;
}

// ---------------------------------------------------------------------------------------------

Binner::Binner(const BinOptions& options)
    : options_(options), store_(std::make_unique<BinStore>()) {
    store_->grid.cellMetres = options.cellMetres;
    store_->budget = options.memoryBudgetBytes;
    if (const auto problem = CheckCellMetres(options.cellMetres)) {
        Fail(*problem);
        return;
    }
    pending_.reserve(kBatch);
    x_.reserve(kBatch);
    y_.reserve(kBatch);
    position_.reserve(kBatch);
    if (options.zone) {
        store_->grid.zone = *options.zone;
        projector_ = std::make_unique<UtmProjector>(*options.zone);
        if (!projector_->Valid()) Fail(projector_->Error());
    }
}

Binner::~Binner() = default;

bool Binner::Fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return false;
}

std::size_t Binner::MemoryBytes() const {
    return store_->bytes;
}

bool Binner::Add(const BinSample& sample) {
    if (Failed() || finished_) return false;
    pending_.push_back(sample);
    if (pending_.size() == kBatch) Flush();
    return !Failed();
}

bool Binner::Add(std::span<const BinSample> samples) {
    for (const BinSample& sample : samples)
        if (!Add(sample)) return false;
    return true;
}

void Binner::Flush() {
    try {
        BinStore& s = *store_;
        x_.clear();
        y_.clear();
        position_.clear();
        double lastLatitude = std::nan(""), lastLongitude = std::nan("");
        std::int32_t lastPosition = -1;
        for (const BinSample& sample : pending_) {
            const double latitude = sample.latitude, longitude = sample.longitude;
            if (!std::isfinite(latitude) || !std::isfinite(longitude) || latitude < -90.0 ||
                latitude > 90.0 || longitude < -180.0 || longitude > 180.0) {
                ++s.counts.withoutPosition;
                position_.push_back(-1);
                continue;
            }
            if (!WithinUtmReach(latitude)) {
                if (s.counts.beyondUtmReach++ == 0) {
                    s.beyondLatitude = latitude;
                    s.beyondLongitude = longitude;
                }
                position_.push_back(-1);
                continue;
            }
            if (latitude == lastLatitude && longitude == lastLongitude) {
                position_.push_back(lastPosition);
                continue;
            }
            if (!projector_) {
                s.grid.zone = *UtmZoneOf(latitude, longitude);
                projector_ = std::make_unique<UtmProjector>(s.grid.zone);
                if (!projector_->Valid()) {
                    Fail(projector_->Error());
                    return;
                }
            }
            if (!s.meridianWarned && DegreesFromCentralMeridian(s.grid.zone, longitude) > 3.0) {
                s.meridianWarned = true;
                s.warnings.push_back(
                    "the drive goes more than 3 degrees from the central meridian of UTM zone " +
                    s.grid.zone.Name() + " (first at " + DegreesText(latitude, longitude) +
                    "); its cells stay on that zone's grid");
            }
            lastLatitude = latitude;
            lastLongitude = longitude;
            lastPosition = static_cast<std::int32_t>(x_.size());
            x_.push_back(longitude);
            y_.push_back(latitude);
            position_.push_back(lastPosition);
        }
        if (projector_ && !x_.empty()) projector_->Project(x_.data(), y_.data(), x_.size());
        const double size = s.grid.cellMetres;
        constexpr double kLimit = static_cast<double>(kCellOffset);
        for (std::size_t i = 0; i < pending_.size(); ++i) {
            const std::int32_t position = position_[i];
            if (position < 0) continue;
            const BinSample& sample = pending_[i];
            if (sample.levelDbm == kBinNoLevel) {
                ++s.counts.noLevel;
                continue;
            }
            if (sample.levelDbm < kLowestLevel || sample.levelDbm > kHighestLevel) {
                ++s.counts.levelOutOfRange;
                continue;
            }
            const double x = std::floor(x_[static_cast<std::size_t>(position)] / size);
            const double y = std::floor(y_[static_cast<std::size_t>(position)] / size);
            if (!(x >= -kLimit && x < kLimit && y >= -kLimit && y < kLimit)) {
                ++s.counts.outsideGrid;
                continue;
            }
            const int channel = s.ChannelFor(sample);
            if (channel < 0 || !s.Add(sample, static_cast<std::int32_t>(x),
                                      static_cast<std::int32_t>(y), channel)) {
                Fail(s.error);
                return;
            }
        }
        pending_.clear();
    } catch (const std::bad_alloc&) {
        Fail("not enough memory");
    }
}

std::optional<Binning> Binner::Finish() {
    if (finished_) return std::nullopt;
    finished_ = true;
    if (!Failed()) Flush();
    if (Failed()) return std::nullopt;
    BinStore& s = *store_;
    try {
        s.SortChannels();
        if (s.counts.beyondUtmReach > 0)
            s.warnings.push_back(
                std::to_string(s.counts.beyondUtmReach) +
                " positions above 84 N or below 80 S were left out (the first at " +
                DegreesText(s.beyondLatitude, s.beyondLongitude) +
                "): UTM cells do not reach them");
        if (s.counts.outsideGrid > 0)
            s.warnings.push_back(std::to_string(s.counts.outsideGrid) +
                                 " positions too far from UTM zone " + s.grid.zone.Name() +
                                 " for its grid were left out");
    } catch (const std::bad_alloc&) {
        Fail("not enough memory");
        return std::nullopt;
    }
    Binning binning;
    binning.store_ = std::move(store_);
    store_ = std::make_unique<BinStore>();
    return binning;
}

}  // namespace varistrum
