// SPDX-License-Identifier: GPL-3.0-or-later
// A scratch folder on the RAM disk when there is one, for tests that write thousands of files.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace varistrum::test {

// On a disk file system, creating and truncating thousands of files costs seconds of waiting
// for the disk; /dev/shm keeps them in memory. Removed with its contents when it goes.
class RamDir {
  public:
    RamDir() {
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::path base =
            access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm") : fs::temp_directory_path();
        path_ =
            base / ("varistrum-test-" + std::to_string(getpid()) + "-" + std::to_string(++count_));
        fs::remove_all(path_, error);
        fs::create_directories(path_);
    }
    ~RamDir() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    RamDir(const RamDir&) = delete;
    RamDir& operator=(const RamDir&) = delete;
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    static inline int count_ = 0;
    std::filesystem::path path_;
};

}  // namespace varistrum::test
