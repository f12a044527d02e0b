// SPDX-License-Identifier: GPL-3.0-or-later
// Identification of log files.
#include "logfile/identify.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>

namespace varistrum {

namespace {

constexpr std::string_view kMagic = "QTXTAVREL";

// Searches the zero-terminated text from `from` on, as a C string search would.
bool TextFrom(const std::array<char, 33>& text, std::size_t from) {
    return std::strstr(text.data() + from, kMagic.data()) != nullptr;
}

}  // namespace

int IdentifyLogFile(const std::string& path) {
    // Opened without waiting, so that a named pipe cannot block; only a regular file is read
    // (a pipe's writer could hold the read forever).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return 0;
    }
    std::FILE* file = fcntl(fd, F_SETFL, 0) == 0 ? fdopen(fd, "rb") : nullptr;
    if (file == nullptr) {
        ::close(fd);
        return 0;
    }
    std::array<char, 33> text{};  // zeroed, so the text ends at byte 32 at the latest
    const std::size_t got = std::fread(text.data(), 1, 32, file);
    std::fclose(file);
    (void)got;
    if (TextFrom(text, 13)) return 9;
    if (TextFrom(text, 9)) return 8;
    return 0;
}

std::string_view InputFormatName(int format) {
    static constexpr std::array<std::string_view, 10> kNames = {"(None)",
                                                                "QTX Glimmet",
                                                                "QTX Parvelock",
                                                                "QTX Vel (PC CARD)",
                                                                "QTX Vel (PC DUMP)",
                                                                "QTX Brindlet",
                                                                "QTX ULMOR",
                                                                "QTX Glimmet (new)",
                                                                "QTX Tavrel",
                                                                "QTX Tavrel (PC CARD)"};
    if (format < 0 || format >= static_cast<int>(kNames.size())) return {};
    return kNames[static_cast<std::size_t>(format)];
}

}  // namespace varistrum
