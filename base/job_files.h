// SPDX-License-Identifier: GPL-3.0-or-later
// Checks of a job's files made before anything is opened for writing: no output is a file the
// job reads, no two outputs are one file.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace varistrum {

// True when the two paths name one file: the same device and inode where the file exists
// (so links and other spellings are caught), the same normalised absolute path otherwise.
bool SameFile(const std::string& a, const std::string& b);

// Why a job cannot run with these files. `path` names the file concerned.
struct FilesRefusal {
    std::string message;
    std::string path;
};

inline constexpr const char* kOutputIsInput = "The output file is the input file.";
inline constexpr const char* kOutputIsBackground = "The output file is the background file.";

// Every file one job reads and writes. outputs[i] holds the files the output of inputs[i]
// makes (a layer, its route file, its provenance record); a job of one output for many inputs
// (a merged GeoPackage) has a single entry.
struct JobFileList {
    std::vector<std::string> inputs;
    std::vector<std::string> backgrounds;  // read besides the inputs (a map's background file)
    std::vector<std::vector<std::string>> outputs;
    // Names that differ only in letter case are one file (folder jobs, whose patterns match any
    // case, so that the outputs stay apart on any file system).
    bool caseInsensitive = false;
};

// The first refusal: an output that is an input or a background (by device and inode after
// following links, so hard links count), an output named twice ("'a.klf' and 'b.klf' give the
// same output file.").
std::optional<FilesRefusal> CheckJobFiles(const JobFileList& files);

// The common job: one output file per input.
std::optional<FilesRefusal> CheckJobFiles(const std::vector<std::string>& inputs,
                                          const std::vector<std::string>& outputs);

inline constexpr const char* kNotRegularFile = "not a regular file";

// The system's reason why `path` cannot be opened for reading, or kNotRegularFile for a named
// pipe or device (never opened, so nothing blocks); empty when it can be read.
std::string InputFailureReason(const std::string& path);

}  // namespace varistrum
