// SPDX-License-Identifier: GPL-3.0-or-later
// Control bytes of the conversion fuzz target.
#include "fuzz/convert_input.h"

#include <string>

#include "convert/field_catalog.h"

namespace varistrum::fuzz {

namespace {
constexpr std::size_t kFixedBytes = 4;
constexpr int kScanStates = 9;  // scans 1..8 get a tree entry, later ones none
constexpr double kCodesPerMHz = 64.0;
}  // namespace

ConvertInput DecodeConvertInput(std::span<const std::uint8_t> data) {
    ConvertInput in;
    if (data.size() < kFixedBytes) return in;
    const std::uint8_t flags = data[0], look = data[1], fields = data[2], other = data[3];
    std::size_t at = kFixedBytes;

    in.variant = (flags & 1) != 0 ? kFormatTavrelPcCard : kFormatTavrel;
    const int average = (flags >> 1) & 3;
    ConversionSettings& s = in.settings;
    s.averageType = AverageTypeOf((average & 1) != 0, (average & 2) != 0);
    s.receivers.receiver1 = (flags & 8) == 0;
    s.receivers.receiver2 = (flags & 8) != 0;
    s.fieldTitles = (flags & 16) != 0;
    s.split = (flags & 32) != 0;
    s.convertAllScans = (flags & 64) != 0;
    s.dropOutages = (flags & 128) != 0;

    s.columns.frequency = (look & 1) != 0;
    s.columns.channel = (look & 2) != 0;
    s.columns.rssi = (look & 4) != 0;
    s.delimiterChoice = (look >> 3) & 7;
    in.typedFrequencies = (look & 64) != 0;
    in.indexFirst = (look & 128) != 0;

    s.otherDelimiter = std::string(1, static_cast<char>(other));
    s.outageSeconds = other;  // 0 is refused before anything is written

    std::vector<signed char> states(kScanStates);
    for (int n = 0; n < kScanStates; ++n)
        states[static_cast<std::size_t>(n)] = (fields >> (4 + n % 4)) & 1;
    s.scans = ScanSelectionSnapshot(std::move(states));

    const std::size_t count = fields & 15;
    for (std::size_t i = 0; i < count && at < data.size(); ++i, ++at) {
        const int tag = static_cast<std::int8_t>(data[at]);
        s.selectedTags.push_back(tag);
        s.selectedTitles.emplace_back(FieldName(tag));
    }
    if (in.typedFrequencies && at + 4 <= data.size()) {
        in.rx1MHz = (data[at] | data[at + 1] << 8) / kCodesPerMHz;
        in.rx2MHz = (data[at + 2] | data[at + 3] << 8) / kCodesPerMHz;
        at += 4;
    }
    in.log = data.subspan(std::min(at, data.size()));
    return in;
}

std::vector<std::uint8_t> EncodeConvertChoices(const ConvertChoices& c) {
    std::vector<std::uint8_t> out(kFixedBytes);
    out[0] =
        static_cast<std::uint8_t>((c.variant == 9 ? 1 : 0) | (c.averageIndex & 3) << 1 |
                                  (c.receiver2 ? 8 : 0) | (c.titles ? 16 : 0) | (c.split ? 32 : 0) |
                                  (c.allScans ? 64 : 0) | (c.dropOutages ? 128 : 0));
    out[1] = static_cast<std::uint8_t>((c.columns & 7) | (c.delimiter & 7) << 3 |
                                       (c.typed ? 64 : 0) | (c.indexFirst ? 128 : 0));
    out[2] = static_cast<std::uint8_t>((c.tags.size() & 15) | (c.scanPattern & 15) << 4);
    out[3] = c.otherByte;
    for (std::size_t i = 0; i < c.tags.size() && i < 15; ++i)
        out.push_back(static_cast<std::uint8_t>(c.tags[i]));
    if (c.typed) {
        for (std::uint16_t code : {c.rx1Code, c.rx2Code}) {
            out.push_back(static_cast<std::uint8_t>(code & 0xFF));
            out.push_back(static_cast<std::uint8_t>(code >> 8));
        }
    }
    return out;
}

}  // namespace varistrum::fuzz
