// SPDX-License-Identifier: GPL-3.0-or-later
// Header records and data lines of an output file.
#pragma once

#include <string>

#include "base/output_file.h"
#include "convert/conversion_settings.h"
#include "convert/field_formatter.h"
#include "convert/output_row.h"
#include "logfile/tavrel_reader.h"

namespace varistrum {

// The delimited-text writer: the first sink of a conversion's rows. Its fields are formatted
// from the decoder state the row was taken from, which is what the text output has always
// shown; further sinks read the row alone.
class OutputLines : public RowSink {
  public:
    OutputLines(const TavrelReader& reader, OutputFile& file, const ConversionSettings& settings);

    // A header record is due again.
    void BeginScan() override { headerDue_ = true; }
    // Writes the row's data line. A due header record goes just before the first line that
    // is written; a line whose every field is empty is not written.
    void AcceptRow(const OutputRow& row) override;
    void AcceptText(std::string_view text) override { file_.Write(text); }
    bool Failed() const override { return file_.Failed(); }

  private:
    // Writes the header record while one is due; with titles off it only clears the due flag.
    void WriteHeaderRecord(int pointIndex);

    const TavrelReader& reader_;
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
