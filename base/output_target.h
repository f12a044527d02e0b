// SPDX-License-Identifier: GPL-3.0-or-later
// What an output path names once its links are followed, and which outputs may go where.
#pragma once

#include <string>
#include <string_view>

namespace varistrum {

// What a kind of output is, for the rules of where it may be written.
struct OutputKind {
    // What it is, for messages: "text", "a GeoPackage" ("... is not a regular file; a
    // GeoPackage needs one").
    std::string_view what;
    // Whether it can be written as one stream straight into a device, a named pipe or a
    // terminal. Other kinds are written into a regular file only.
    bool streams = false;
    // The extension a library needs to see on the name of the file it creates (".fgb"); empty
    // for outputs written as a stream of bytes.
    std::string_view extension;
};

inline constexpr OutputKind kTextOutput{"text", true, ""};
inline constexpr OutputKind kPngOutput{"a PNG picture", true, ""};
inline constexpr OutputKind kJsonRecordOutput{"a JSON record", false, ""};
inline constexpr OutputKind kHtmlOutput{"an HTML page", false, ""};
inline constexpr OutputKind kConfigurationOutput{"a configuration", false, ""};

enum class TargetKind {
    Missing,     // nothing there yet: a new file
    Regular,     // an earlier output
    Folder,      //
    Device,      // /dev/null, a terminal
    NamedPipe,   //
    Socket,      //
    Descriptor,  // /dev/stdout, /dev/fd/N, /proc/...: an open descriptor of some process
};

struct OutputTarget {
    std::string path;      // as named
    std::string resolved;  // its symbolic links followed: where the bytes go
    TargetKind kind = TargetKind::Missing;
    unsigned mode = 0;  // permission bits of an existing regular file

    // Written directly, never replaced: the target takes a stream of bytes as it comes.
    bool TakesStream() const {
        return kind == TargetKind::Device || kind == TargetKind::NamedPipe ||
               kind == TargetKind::Descriptor;
    }
};

// The path a symbolic link (or a chain of them) leads to; `path` itself when it is none. A
// dangling link gives the path of the file it would create.
std::string ResolveLinks(const std::string& path);

// Follows the path's links and says what is there.
OutputTarget ClassifyTarget(const std::string& path);

// Why an output of `kind` cannot be written to `target`, before anything is written: a folder,
// a socket, or a device or named pipe for a kind that needs a regular file ("'/dev/null' is not
// a regular file; a GeoPackage needs one"). Empty when it can.
std::string TargetRefusal(const OutputTarget& target, const OutputKind& kind);

}  // namespace varistrum
