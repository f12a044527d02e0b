// SPDX-License-Identifier: GPL-3.0-or-later
// GPS outage listing: one pass over the file, good fix to good fix.
#include "convert/gps_outage_pass.h"

namespace varistrum {

std::optional<std::vector<int>> GpsOutagePass(TavrelReader& reader, const std::string& input,
                                              int minimumSeconds, std::stop_token stop) {
    if (reader.Open(input) != 0) return std::nullopt;
    reader.SetUseScanSelection(false);
    reader.RecordCount = 0;
    std::vector<int> starts;
    bool first = true;
    int previous = 0, current = 0;
    RecordBuffer buffer;
    while (!stop.stop_requested() && reader.ReadNextRecord(buffer) != 0) {
        reader.DecodeRecord(buffer);
        if (!reader.State().newGpsRecord) continue;
        if (!first) previous = current;
        const GpsBlock& fix = reader.State().gps;
        if (fix.statusCode > 5) {
            current = fix.SecondOfDay();
            if (first) {
                previous = current;
                first = false;
            } else if (current - previous >= minimumSeconds) {
                starts.push_back(previous);
            }
        }
        reader.ClearNewGpsRecordMark();
    }
    reader.Close();
    return starts;
}

}  // namespace varistrum
