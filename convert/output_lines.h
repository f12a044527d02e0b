// SPDX-License-Identifier: GPL-3.0-or-later
// Header records and data lines of an output file.
#pragma once

#include <string>

#include "base/output_file.h"
#include "convert/conversion_settings.h"
#include "convert/field_formatter.h"
#include "filters/row_stage.h"

namespace varistrum {

// The delimited-text writer: formats each row's fields from the row alone.
class OutputLines : public RowSink {
  public:
    OutputLines(OutputFile& file, const ConversionSettings& settings);

    // Writes the row's data line. A due header record goes just before the first line that
    // is written; a line whose every field is empty is not written.
    void AcceptRow(const OutputRow& row) override;
    bool Failed() const override { return file_.Failed(); }

  private:
    // Writes the header record of `row`'s data while one is due; with titles off it only
    // clears the due flag.
    void WriteHeaderRecord(const OutputRow& row);

    OutputFile& file_;
    const ConversionSettings& settings_;
    char delimiter_;
    TextBuilder line_;
    FrequencyTexts frequencies_;  // kept from line to line: most lines repeat them
    std::string header_;
    std::string text_;
    bool headerDue_ = true;  // a header record is still due in this file
};

}  // namespace varistrum
