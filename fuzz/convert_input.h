// SPDX-License-Identifier: GPL-3.0-or-later
// How the conversion fuzz target reads its settings from the first bytes of an input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "convert/conversion_settings.h"

namespace varistrum::fuzz {

// Input layout: flags, columns/delimiter, field count/scan pattern, delimiter/outage byte,
// one signed byte per field tag, two 16-bit typed frequencies when asked for, then the log.
struct ConvertInput {
    int variant = kFormatTavrel;
    bool indexFirst = false;        // run the index pass on the reader before converting
    bool typedFrequencies = false;  // enter frequencies as the user would for such files
    double rx1MHz = 0.0, rx2MHz = 0.0;
    ConversionSettings settings;
    std::span<const std::uint8_t> log;
};

// Reads the control bytes; an input too short for them gives the defaults and no log.
ConvertInput DecodeConvertInput(std::span<const std::uint8_t> data);

// The control bytes that DecodeConvertInput reads back as these choices (for seed files).
struct ConvertChoices {
    int variant = 8;
    int averageIndex = 0;  // 0 none, 1 40 lambda, 2 best server, 3 both ticked
    bool receiver2 = false, titles = true, split = false, allScans = true, dropOutages = false;
    int columns = 5;    // bit 0 frequency, 1 channel, 2 rssi
    int delimiter = 0;  // choice 0..7 (5..7 are not offered by the window)
    bool typed = false, indexFirst = true;
    int scanPattern = 0xF;
    std::uint8_t otherByte = ':';
    std::vector<std::int8_t> tags;
    std::uint16_t rx1Code = 0, rx2Code = 0;  // MHz x 64
};
std::vector<std::uint8_t> EncodeConvertChoices(const ConvertChoices& choices);

}  // namespace varistrum::fuzz
