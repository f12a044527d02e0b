// SPDX-License-Identifier: GPL-3.0-or-later
// Splitting a converted output into part files of at most 60000 lines.
#pragma once

#include <optional>
#include <string>

#include "convert/job_observer.h"

namespace varistrum {

// The folder of the parts: the output path without its last 4 characters (".out").
std::string SplitFolderOf(const std::string& outputPath);

// Copies the output's lines into "<folder>/<base>-<n>.out", 60000 whole lines a part, where
// base is the folder's last path component. Returns the error message when the split failed.
std::optional<std::string> SplitOutputFile(const std::string& outputPath, JobObserver& observer);

}  // namespace varistrum
