// SPDX-License-Identifier: GPL-3.0-or-later
// Checks of a job's file lists made before anything is opened for writing.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace varistrum {

// True when the two paths name one file: the same device and inode where the file exists
// (so links and other spellings are caught), the same normalised absolute path otherwise.
bool SameFile(const std::string& a, const std::string& b);

// Why a job cannot run with these lists: an output that is one of the job's inputs, or two
// inputs with one output. `path` names the file concerned.
struct FilesRefusal {
    std::string message;
    std::string path;
};

inline constexpr const char* kOutputIsInput = "The output file is the input file.";

std::optional<FilesRefusal> CheckJobFiles(const std::vector<std::string>& inputs,
                                          const std::vector<std::string>& outputs);

inline constexpr const char* kNotRegularFile = "not a regular file";

// The system's reason why `path` cannot be opened for reading, or kNotRegularFile for a named
// pipe or device (never opened, so nothing blocks); empty when it can be read.
std::string InputFailureReason(const std::string& path);

}  // namespace varistrum
