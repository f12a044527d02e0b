// SPDX-License-Identifier: GPL-3.0-or-later
// Listing a folder's log files for a multiple-files job.
#include "convert/folder_files.h"

#include <fnmatch.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace varistrum {

namespace {

// Log files copied from flash cards often carry upper-case names: "RUN1.KLF" matches "*.klf".
bool MatchesPattern(const std::string& pattern, const std::string& name) {
    return fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

}  // namespace

FileLists ListFolderFiles(const std::string& inputFolder, const std::string& pattern,
                          const std::string& outputFolder, const std::string& outputExt) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(inputFolder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        // Folders and devices whose names match are not logs; listing them would end the job.
        if (MatchesPattern(pattern, name) && it->is_regular_file(error)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    FileLists lists;
    for (const std::string& name : names) {
        lists.inputs.push_back(inputFolder + "/" + name);
        lists.outputs.push_back(outputFolder + "/" + WithoutExtension(name) + outputExt);
    }
    return lists;
}

std::string WithoutExtension(const std::string& path) {
    const std::size_t nameStart = path.find_last_of('/') + 1;  // npos + 1 == 0
    const std::size_t dot = path.find_last_of('.');
    return dot != std::string::npos && dot >= nameStart ? path.substr(0, dot) : path;
}

std::string DefaultOutputName(const std::string& inputPath) {
    return WithoutExtension(inputPath) + ".out";
}

}  // namespace varistrum
