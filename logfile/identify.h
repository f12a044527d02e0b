// SPDX-License-Identifier: GPL-3.0-or-later
// Recognising a log file by the identification text of its first record.
#pragma once

#include <string>
#include <string_view>

namespace varistrum {

// Input Format index of the file: 9 (PC card header), 8, or 0 when it is no log file.
int IdentifyLogFile(const std::string& path);
// The same, reading the file once; when it cannot be read, 0 and `failure` receives the
// system's reason, or kNotRegularFile for a named pipe, a device and the like.
int IdentifyLogFile(const std::string& path, std::string* failure);

// Name of an Input Format item ("QTX Tavrel", ...); empty for an unknown index.
std::string_view InputFormatName(int format);

}  // namespace varistrum
