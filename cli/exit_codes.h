// SPDX-License-Identifier: GPL-3.0-or-later
// Exit statuses of varistrum-cli, as scripts and batch schedulers see them.
#pragma once

namespace varistrum::cli {

inline constexpr int kExitDone = 0;
// A file could not be read, written or converted, a setting was refused, a file was skipped.
inline constexpr int kExitFailed = 1;
// An option malformed, empty, unknown or in conflict; nothing was read or written.
inline constexpr int kExitUsage = 2;

// The shell's status of a process ended by a signal: SIGINT 130, SIGHUP 129, SIGTERM 143.
constexpr int ExitStatusOfSignal(int signalNumber) {
    return 128 + signalNumber;
}

}  // namespace varistrum::cli
