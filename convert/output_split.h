// SPDX-License-Identifier: GPL-3.0-or-later
// Splitting a converted output into part files of at most 60000 lines.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/job_observer.h"

namespace varistrum {

// The folder of the parts: the output path without its file name's extension ("run1.out"
// and "run1" give "run1"); empty when no name is left.
std::string SplitFolderOf(const std::string& outputPath);

// Where a split failed, for the command line's message.
struct SplitReport {
    int parts = 0;  // part files written
    std::string path, reason;
};

// Copies the output's lines into "<folder>/<base>-<n>.out", 60000 whole lines a part, where
// base is the folder's last path component. Returns the error message when the split failed.
std::optional<std::string> SplitOutputFile(const std::string& outputPath, JobObserver& observer,
                                           SplitReport* report = nullptr);

// The part files "<base>-<n>.out" already in the output's split folder (of an earlier run),
// which a split would replace.
std::vector<std::string> ExistingParts(const std::string& outputPath);

// Removes the parts "<base>-<n>.out" of the output's split folder from n = `partsWritten` + 1
// on (those of an earlier, longer run), and the folder itself when it is then empty. Nothing
// else is touched. Returns how many part files were removed.
int RemoveStaleParts(const std::string& outputPath, int partsWritten);

}  // namespace varistrum
