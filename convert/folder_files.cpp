// SPDX-License-Identifier: GPL-3.0-or-later
// Listing a folder's log files for a multiple-files job.
#include "convert/folder_files.h"

#include <fnmatch.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace varistrum {

namespace {

// The text without its last four characters (UTF-8: a character's continuation bytes go with it).
std::string WithoutLast4(const std::string& text) {
    std::size_t end = text.size();
    for (int characters = 0; characters < 4 && end > 0; ++characters) {
        const std::size_t lead = end - 1;
        std::size_t start = lead;
        while (start > 0 && lead - start < 3 &&
               (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
            --start;
        }
        // A stray continuation byte without its lead byte counts as a character of its own.
        end = (static_cast<unsigned char>(text[start]) & 0xC0) == 0xC0 ? start : lead;
    }
    return text.substr(0, end);
}

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
        lists.outputs.push_back(outputFolder + "/" + WithoutLast4(name) + outputExt);
    }
    return lists;
}

std::string DefaultOutputName(const std::string& inputPath) {
    return WithoutLast4(inputPath) + ".out";
}

}  // namespace varistrum
