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
// in name order; output = outputFolder + "/" + name without its extension + outputExt.
FileLists ListFolderFiles(const std::string& inputFolder, const std::string& pattern,
                          const std::string& outputFolder, const std::string& outputExt);

// The path without the extension of its file name (from the name's last '.'; a '.' in a
// folder name is no extension): "/d/run1.klf" and "/d/run1" give "/d/run1".
std::string WithoutExtension(const std::string& path);

// The window's default output name: the input path with its extension replaced by ".out",
// or ".out" appended when it has none.
std::string DefaultOutputName(const std::string& inputPath);

}  // namespace varistrum
