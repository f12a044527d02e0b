// SPDX-License-Identifier: GPL-3.0-or-later
// The file lists of a folder job: matching inputs and their output names.
#pragma once

#include <string>
#include <vector>

namespace varistrum {

struct FileLists {
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;  // same index = one file
};

// Every regular file of `inputFolder` whose name matches `pattern` (wildcards * and ?, any case),
// in name order; output = outputFolder + "/" + name without its last 4 characters + outputExt.
FileLists ListFolderFiles(const std::string& inputFolder, const std::string& pattern,
                          const std::string& outputFolder, const std::string& outputExt);

// The window's default output name: the input path without its last 4 characters, plus ".out".
std::string DefaultOutputName(const std::string& inputPath);

}  // namespace varistrum
