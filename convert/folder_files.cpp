// Listing a folder's log files for a multiple-files job.
#include "convert/folder_files.h"

#include <algorithm>
#include <filesystem>
#include <fnmatch.h>
#include <system_error>

namespace varistrum {

namespace {
std::string WithoutLast4(const std::string& text) {
    return text.size() > 4 ? text.substr(0, text.size() - 4) : std::string();
}
}  // namespace

FileLists ListFolderFiles(const std::string& inputFolder, const std::string& pattern,
                          const std::string& outputFolder, const std::string& outputExt) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(inputFolder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (fnmatch(pattern.c_str(), name.c_str(), 0) == 0 && it->is_regular_file(error)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    FileLists lists;
    for (const std::string& name : names) {
        lists.inputs.push_back(inputFolder + "/" + name);
        lists.outputs.push_back(outputFolder + "/" + WithoutLast4(name) + outputExt);
    }
    return lists;
}

std::string DefaultOutputName(const std::string& inputPath) { return WithoutLast4(inputPath) + ".out"; }

}  // namespace varistrum
