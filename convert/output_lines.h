// Header records and data lines of an output file.
#pragma once

#include <string>

#include "convert/conversion_settings.h"
#include "convert/field_formatter.h"
#include "convert/output_file.h"
#include "logfile/tavrel_reader.h"

namespace varistrum {

class OutputLines {
public:
    OutputLines(TavrelReader& reader, OutputFile& file, const ConversionSettings& settings);

    // A header record is due again (a new scan's data follows).
    void MarkHeaderDue() { headerDue_ = true; }
    // Writes OutputCount data lines. A due header record goes just before the first line
    // that is written; a line whose every field is empty is counted but not written.
    void WriteDataLines();
    // Data lines counted so far (the last line's Record Number).
    std::int64_t RecordCount() const { return recordCount_; }

private:
    // Writes the header record while one is due; with titles off it only clears the due flag.
    void WriteHeaderRecord(int pointIndex);

    TavrelReader& reader_;
    OutputFile& file_;
    const ConversionSettings& settings_;
    char delimiter_;
    TextBuilder line_;
    FrequencyTexts frequencies_;  // kept from line to line: most lines repeat them
    std::string header_;
    std::string text_;
    bool headerDue_ = true;  // a header record is still due in this file
    std::int64_t recordCount_ = 0;
};

}  // namespace varistrum
