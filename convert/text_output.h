// SPDX-License-Identifier: GPL-3.0-or-later
// The delimited text as an output of a job: one text file per input (or standard output), its
// part files when split, and files put in place with it (its provenance record).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/output_file.h"
#include "base/output_set.h"
#include "base/output_target.h"
#include "convert/job_runner.h"
#include "convert/output_lines.h"

namespace varistrum {

// A file put in place together with a conversion's text (its provenance record), written once
// the text is complete: when either cannot be written, neither replaces anything. A cancelled
// conversion writes none (its text alone is put in place).
struct CompanionFile {
    std::string path;
    const OutputKind* kind = nullptr;
    // Its bytes, given the file the text was written into (a temporary name until then) and
    // how the file's pass went.
    std::function<std::string(const std::string& writtenText, const FilePass& pass)> contents;
};

class TextOutput : public JobOutput {
  public:
    // `outputs[i]` receives the text of the job's input i (ignored when the settings send the
    // text to standard output). `observer` hears of the part files of a split.
    TextOutput(std::vector<std::string> outputs, const ConversionSettings& settings,
               JobObserver& observer);
    ~TextOutput() override;
    // Files put in place with the text of a single-file job.
    void AddCompanion(CompanionFile companion) { companions_.push_back(std::move(companion)); }

    std::vector<std::string> FilesOf(std::size_t input) const override;
    std::optional<FilesRefusal> Check() const override;
    std::optional<FileOutcome> Open(std::size_t input, InputSinks& sinks) override;
    FileOutcome Close(std::size_t input, const FilePass& pass, FileOutcome outcome) override;

  private:
    // One input's text on its way into place.
    struct Written {
        OutputSet files;
        OutputFile direct;  // standard output
        OutputFile* text = nullptr;
        std::unique_ptr<OutputLines> lines;
    };

    FileOutcome Finish(std::size_t input, Written& written, const FilePass& pass,
                       FileOutcome outcome);

    std::vector<std::string> outputs_;
    const ConversionSettings& settings_;
    JobObserver& observer_;
    std::vector<CompanionFile> companions_;
    std::vector<std::unique_ptr<Written>> written_;  // by input; each touched by one thread
};

}  // namespace varistrum
