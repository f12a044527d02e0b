// SPDX-License-Identifier: GPL-3.0-or-later
// Identification of log files.
#include "logfile/identify.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "base/job_files.h"

namespace varistrum {

namespace {

constexpr std::string_view kMagic = "QTXTAVREL";

// Searches the zero-terminated text from `from` on, as a C string search would.
bool TextFrom(const std::array<char, 33>& text, std::size_t from) {
    return std::strstr(text.data() + from, kMagic.data()) != nullptr;
}

}  // namespace

int IdentifyLogFile(const std::string& path) {
    return IdentifyLogFile(path, nullptr);
}

int IdentifyLogFile(const std::string& path, std::string* failure) {
    const auto fail = [failure](std::string reason) {
        if (failure != nullptr) *failure = std::move(reason);
        return 0;
    };
    // Only a regular file is opened (a named pipe could block, its writer hold the read
    // forever); opened without waiting all the same, should it have become one meanwhile.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return fail(std::generic_category().message(errno));
    if (S_ISDIR(info.st_mode)) return fail(std::generic_category().message(EISDIR));
    if (!S_ISREG(info.st_mode)) return fail(kNotRegularFile);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(std::generic_category().message(errno));
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail(kNotRegularFile);
    }
    std::FILE* file = fcntl(fd, F_SETFL, 0) == 0 ? fdopen(fd, "rb") : nullptr;
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        return fail(std::generic_category().message(error));
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
