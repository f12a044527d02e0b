// SPDX-License-Identifier: GPL-3.0-or-later
// Composition of header records and data lines from the field writers.
#include "convert/output_lines.h"

#include <cstring>

#include "convert/field_formatter.h"

namespace varistrum {

namespace {

// Encloses the text from `start` to the end of `line` in double quotes when it holds the
// delimiter ("3D Fix" with Space, "14:30:00" with ':'), so that it stays one column.
void QuoteIfDelimited(TextBuilder& line, std::size_t start, char delimiter) {
    const std::size_t length = line.size() - start;
    if (std::memchr(line.data() + start, delimiter, length) == nullptr) return;
    char* text = line.Room(2) - length;
    std::memmove(text + 1, text, length);
    text[0] = '"';
    text[length + 1] = '"';
    line.CommitTo(text + length + 2);
}

}  // namespace

OutputLines::OutputLines(OutputFile& file, const ConversionSettings& settings)
    : file_(file), settings_(settings), delimiter_(settings.Delimiter()) {}

void OutputLines::WriteHeaderRecord(const OutputRow& row) {
    if (!headerDue_) return;
    headerDue_ = false;
    if (!settings_.fieldTitles) return;
    header_.clear();
    for (std::size_t i = 0; i < settings_.selectedTags.size(); ++i) {
        const int tag = settings_.selectedTags[i];
        if (tag != DataField) {
            if (i > 0) header_.push_back(delimiter_);
            header_.push_back('"');
            if (i < settings_.selectedTitles.size()) header_.append(settings_.selectedTitles[i]);
            header_.push_back('"');
            continue;
        }
        text_.clear();
        FieldFormatter(row, settings_.columns, delimiter_).AppendDataBlockTitles(text_);
        if (i > 0 && !text_.empty()) header_.push_back(delimiter_);
        header_.append(text_);
    }
    header_.append(kLineEnd);
    file_.Write(header_);
}

void OutputLines::AcceptRow(const OutputRow& row) {
    if (row.opensTableScan) headerDue_ = true;
    const FieldFormatter fields(row, settings_.columns, delimiter_, &frequencies_);
    line_.clear();
    bool anyText = false;
    for (std::size_t i = 0; i < settings_.selectedTags.size(); ++i) {
        if (i > 0) line_.push_back(delimiter_);
        const std::size_t before = line_.size();
        const int tag = settings_.selectedTags[i];
        fields.AppendField(tag, line_);
        // The data block's values are numbers: the delimiter only ever stands between them.
        if (tag != DataField) QuoteIfDelimited(line_, before, delimiter_);
        anyText = anyText || line_.size() != before;
    }
    if (anyText) {
        WriteHeaderRecord(row);
        line_.append(kLineEnd);
        file_.Write(line_.View());
    }
}

}  // namespace varistrum
