// Texts of the output fields and of the "<< DATA >>" block for one output line.
#pragma once

#include <string>

#include "logfile/tavrel_reader.h"

namespace varistrum {

inline constexpr char kLineEnd[] = "\r\n";  // output files are DOS text

class FieldFormatter {
public:
    // `pointIndex` is the line's index among the points of the current decode result.
    FieldFormatter(const TavrelReader& reader, int pointIndex);

    void AppendField(int tag, std::string& out) const;
    void AppendDataBlock(std::string& out, char delimiter) const;
    void AppendDataBlockTitles(std::string& out, char delimiter) const;

private:
    void AppendSlot(int slot, std::string& out, char delimiter, bool& first) const;
    void AppendBestServerEntry(std::string& out, char delimiter) const;
    int BestListSlot() const;
    void AppendLatitudeOrLongitude(int part, const GpsCoordinate& block, double rowValue,
                                   std::string& out) const;
    void AppendPointTime(int part, std::string& out) const;

    const TavrelReader& reader_;
    const DecoderState& s_;
    const PendingRow* row_;  // the line's pending row when rows carry the points
    bool bestServer_;
};

// Point index of the current line: the count of lines already written for this result.
int CurrentPointIndex(const TavrelReader& reader);

}  // namespace varistrum
