// SPDX-License-Identifier: GPL-3.0-or-later
// Texts of the output fields and of the "<< DATA >>" block for one output line.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/text_builder.h"
#include "convert/field_catalog.h"
#include "logfile/log_reader.h"
#include "logfile/output_row.h"

namespace varistrum {

inline constexpr char kLineEnd[] = "\r\n";  // output files are DOS text

// The "%.5f" frequency texts of the data block, remembered per slot: a single-frequency scan
// writes one frequency for every sample of every line, and formatting a double costs far
// more than copying its text. The text is a function of the value alone, so a slot's entry
// is reused exactly when the value it was made from comes again.
class FrequencyTexts {
  public:
    // Writes the text of `mhz` for data block slot `slot` at `at` (room for kMaxFixedText).
    char* Write(char* at, int slot, double mhz);

  private:
    static constexpr std::size_t kTextSize = 24;  // "%.5f" of every frequency code fits
    struct Entry {
        std::uint64_t valueBits = 0;
        bool valid = false;
        std::uint8_t length = 0;
        char text[kTextSize] = {};
    };
    // Formats `mhz` at `at` and keeps the text in `e`.
    static char* FormatAndKeep(Entry& e, std::uint64_t valueBits, char* at, double mhz);

    std::array<Entry, 32> entries_{};
};

inline char* FrequencyTexts::Write(char* at, int slot, double mhz) {
    Entry& e = entries_[static_cast<std::size_t>(slot) % entries_.size()];
    std::uint64_t bits = 0;
    std::memcpy(&bits, &mhz, sizeof bits);
    if (!e.valid || e.valueBits != bits) return FormatAndKeep(e, bits, at, mhz);
    std::memcpy(at, e.text, kTextSize);  // one fixed-size copy; the length says what counts
    return at + e.length;
}

class FieldFormatter {
  public:
    // The texts of `row`'s fields, with the data block's `columns` and `delimiter`;
    // `frequencies`, when given, remembers frequency texts from line to line.
    FieldFormatter(const OutputRow& row, DataColumns columns, char delimiter,
                   FrequencyTexts* frequencies = nullptr)
        : row_(row), columns_(columns), delimiter_(delimiter), frequencies_(frequencies) {}

    // Out is std::string (the header record) or TextBuilder (the data lines); both give the same
    // text.
    template <class Out>
    void AppendField(int tag, Out& out) const;
    template <class Out>
    void AppendDataBlock(Out& out) const;
    void AppendDataBlockTitles(std::string& out) const;

  private:
    void AppendSlots(std::string& out, int firstSlot, int lastSlot) const;
    void AppendSlots(TextBuilder& out, int firstSlot, int lastSlot) const;
    template <class Out>
    void AppendBestServerEntry(Out& out) const;
    template <class Out>
    void AppendLatitudeOrLongitude(int part, const GpsCoordinate& block, double rowValue,
                                   Out& out) const;
    template <class Out>
    void AppendPointTime(int part, Out& out) const;

    const OutputRow& row_;
    DataColumns columns_;
    char delimiter_;
    FrequencyTexts* frequencies_;
};

}  // namespace varistrum
