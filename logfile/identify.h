// SPDX-License-Identifier: GPL-3.0-or-later
// Recognising a log file by the identification text of its first record.
#pragma once

#include <string>
#include <string_view>

namespace varistrum {

// Input Format index of the file: 9 (PC card header), 8, or 0 when it is no log file.
int IdentifyLogFile(const std::string& path);

// Name of an Input Format item ("QTX Tavrel", ...); empty for an unknown index.
std::string_view InputFormatName(int format);

}  // namespace varistrum
