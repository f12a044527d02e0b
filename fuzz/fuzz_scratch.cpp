// SPDX-License-Identifier: GPL-3.0-or-later
// Per-process scratch folder of the fuzz targets.
#include "fuzz/fuzz_scratch.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace varistrum::fuzz {

namespace fs = std::filesystem;

namespace {

// Each process of a parallel fuzz run (-jobs, -fork) gets its own folder.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::error_code error;
        const fs::path shm("/dev/shm");
        const fs::path base = fs::is_directory(shm, error) && access("/dev/shm", W_OK) == 0
                                  ? shm
                                  : fs::temp_directory_path();
        path_ = base / ("varistrum-fuzz-" + std::to_string(getpid()));
        fs::create_directories(path_, error);
    }
    ~ScratchFolder() {
        std::error_code error;
        fs::remove_all(path_, error);
    }
    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

}  // namespace

std::string ScratchPath(const std::string& name) {
    static const ScratchFolder folder;
    return (folder.Path() / name).string();
}

std::string WriteScratch(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = ScratchPath(name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {  // the folder may have been cleaned away under a long run
        std::error_code error;
        fs::create_directories(fs::path(path).parent_path(), error);
        file = std::fopen(path.c_str(), "wb");
    }
    if (file == nullptr) PropertyFailed("cannot write a scratch file");
    if (size > 0 && std::fwrite(data, 1, size, file) != size) PropertyFailed("short scratch write");
    std::fclose(file);
    return path;
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void PropertyFailed(const char* what) {
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

}  // namespace varistrum::fuzz
