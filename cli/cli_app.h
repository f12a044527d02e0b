// SPDX-License-Identifier: GPL-3.0-or-later
// The command line front end: identify, fields, index and convert.
#pragma once

namespace varistrum::cli {

// Exit status: 0 the job completed, 1 it failed or was aborted or cancelled, 2 a usage error.
int Run(int argc, char** argv);

}  // namespace varistrum::cli
